// SPDX-License-Identifier: GPL-3.0-or-later
#include "PostingChange.h"

#include "Amount.h"
#include "Database.h"
#include "ImportWrites.h"
#include "Ledger.h"

namespace PostingChange {

namespace {

const QString debitMemo = QStringLiteral("自動引落処理");

// The movements a row makes: (place, signed amount) at its date.
QList<std::pair<QString, qint32>> effects(const QString &table, const Values &v)
{
    if (table == u"N")
        return {{v.place, v.money}};
    if (table == u"S")
        return {{v.place, Amount::sub(0, v.money)}};
    return {{v.place, Amount::sub(0, v.money)}, {v.place2, v.money}};
}

// The debit history row that goes with a debit's S row.
qint64 debitHistoryRow(Database &db, const Values &v)
{
    Cursor c = db.query(QStringLiteral("SELECT rowid FROM Zidourireki_T WHERE Z_index = ? AND Z_hokan = ?"
                                       " AND Z_money = ? AND Z_beforeday = ? ORDER BY rowid LIMIT 1"),
        {v.item, v.place, v.money, v.date});
    return c.eof() ? 0 : c.integer64(0);
}

} // namespace

std::optional<Row> read(Database &db, const QString &table, qint64 rowid)
{
    Row row;
    row.table = table;
    row.rowid = rowid;
    if (table == u"N" || table == u"S") {
        Cursor c = db.query(
            QStringLiteral("SELECT %1_index, %1_hokan, %1_money, %1_date, %1_memo FROM %1 WHERE rowid = ?")
                .arg(table),
            {rowid});
        if (c.eof())
            return std::nullopt;
        row.values = {c.integer(3), c.text(0), c.text(1), QString(), c.integer(2), c.text(4)};
        row.debit = table == u"S" && row.values.memo == debitMemo;
    } else if (table == u"Idourireki_T") {
        Cursor c = db.query(QStringLiteral("SELECT I_hokanmoto, I_hokansaki, I_money, I_day, I_memo"
                                           " FROM Idourireki_T WHERE rowid = ?"),
            {rowid});
        if (c.eof())
            return std::nullopt;
        row.values = {c.integer(3), QString(), c.text(0), c.text(1), c.integer(2), c.text(4)};
    } else {
        return std::nullopt;
    }
    return row;
}

Plan plan(Database &db, const Row &row, const std::optional<Values> &newValues)
{
    // Take the old movements back and make the new ones; differences of one target add up.
    QList<Ledger::Movement> movements;
    for (const auto &[place, amount] : effects(row.table, row.values))
        movements.append({place, Amount::sub(0, amount), row.values.date});
    if (newValues)
        for (const auto &[place, amount] : effects(row.table, *newValues))
            movements.append({place, amount, newValues->date});
    return Ledger::plan(db, movements);
}

void apply(Database &db, const Row &row, const std::optional<Values> &newValues, const Plan &plan)
{
    Ledger(db).apply(plan);
    ImportWrites::followCorrection(db, row, newValues);
    const qint64 history = row.debit ? debitHistoryRow(db, row.values) : 0;
    if (!newValues) {
        db.execute(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(row.table), {row.rowid});
        if (history != 0)
            db.execute(QStringLiteral("DELETE FROM Zidourireki_T WHERE rowid = ?"), {history});
        return;
    }
    const Values &v = *newValues;
    if (row.table == u"Idourireki_T") {
        db.execute(QStringLiteral("UPDATE Idourireki_T SET I_hokanmoto = ?, I_hokansaki = ?, I_money = ?,"
                                  " I_day = ?, I_memo = ? WHERE rowid = ?"),
            {v.place, v.place2, v.money, v.date, v.memo, row.rowid});
        return;
    }
    db.execute(QStringLiteral("UPDATE %1 SET %1_index = ?, %1_hokan = ?, %1_money = ?, %1_date = ?,"
                              " %1_memo = ? WHERE rowid = ?")
                   .arg(row.table),
        {v.item, v.place, v.money, v.date, row.debit ? debitMemo : v.memo, row.rowid});
    if (history != 0)
        db.execute(QStringLiteral("UPDATE Zidourireki_T SET Z_index = ?, Z_hokan = ?, Z_money = ?,"
                                  " Z_beforeday = ? WHERE rowid = ?"),
            {v.item, v.place, v.money, v.date, history});
}

} // namespace PostingChange
