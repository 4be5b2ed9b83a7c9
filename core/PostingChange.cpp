// SPDX-License-Identifier: GPL-3.0-or-later
#include "PostingChange.h"

#include "Amount.h"
#include "Database.h"

#include <QMap>

namespace PostingChange {

namespace {

QString quoted(const QString &text)
{
    return u'\'' + Database::escape(text) + u'\'';
}

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

// The first stocktake of a place dated on or after `date`: its row id and day.
std::pair<qint64, int> stocktakeFrom(Database &db, const QString &place, int date)
{
    Cursor c
        = db.query(QStringLiteral("SELECT rowid, K_day FROM Ktanaorosi_T WHERE K_hokan = %1 AND K_day >= %2"
                                  " ORDER BY K_day, rowid LIMIT 1")
                       .arg(quoted(place), QString::number(date)));
    if (c.eof())
        return {0, 0};
    return {c.integer64(0), c.value(1).toInt()};
}

// The debit history row that goes with a debit's S row.
qint64 debitHistoryRow(Database &db, const Values &v)
{
    Cursor c = db.query(
        QStringLiteral("SELECT rowid FROM Zidourireki_T WHERE Z_index = %1 AND Z_hokan = %2"
                       " AND Z_money = %3 AND Z_beforeday = %4 ORDER BY rowid LIMIT 1")
            .arg(quoted(v.item), quoted(v.place), QString::number(v.money), QString::number(v.date)));
    return c.eof() ? 0 : c.integer64(0);
}

} // namespace

std::optional<Row> read(Database &db, const QString &table, qint64 rowid)
{
    Row row;
    row.table = table;
    row.rowid = rowid;
    if (table == u"N" || table == u"S") {
        Cursor c = db.query(QStringLiteral("SELECT %1_index, %1_hokan, %1_money, %1_date, %1_memo FROM %1"
                                           " WHERE rowid = %2")
                                .arg(table)
                                .arg(rowid));
        if (c.eof())
            return std::nullopt;
        row.values = {c.integer(3), c.text(0), c.text(1), QString(), c.integer(2), c.text(4)};
        row.debit = table == u"S" && row.values.memo == debitMemo;
    } else if (table == u"Idourireki_T") {
        Cursor c = db.query(QStringLiteral("SELECT I_hokanmoto, I_hokansaki, I_money, I_day, I_memo"
                                           " FROM Idourireki_T WHERE rowid = %1")
                                .arg(rowid));
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
    Plan out;
    // Take the old movements back and make the new ones; differences of one target add up.
    QList<std::tuple<QString, qint32, int>> changes;
    for (const auto &[place, amount] : effects(row.table, row.values))
        changes.append({place, Amount::sub(0, amount), row.values.date});
    if (newValues)
        for (const auto &[place, amount] : effects(row.table, *newValues))
            changes.append({place, amount, newValues->date});
    QMap<std::pair<QString, qint64>, Move> moves;
    for (const auto &[place, delta, date] : changes) {
        const auto [stocktake, day] = stocktakeFrom(db, place, date);
        Move &m = moves[{place, stocktake}];
        m.place = place;
        m.stocktake = stocktake;
        m.stocktakeDay = day;
        m.delta = Amount::add(m.delta, delta);
    }
    for (const Move &m : std::as_const(moves)) {
        if (m.delta == 0)
            continue;
        out.moves << m;
        if (m.stocktake != 0) {
            if (out.stocktakeDay == 0 || m.stocktakeDay < out.stocktakeDay)
                out.stocktakeDay = m.stocktakeDay;
            continue;
        }
        Cursor c
            = db.query(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = %1").arg(quoted(m.place)));
        if (c.eof()) {
            // The place was deleted after the posting: its balance cannot take the difference.
            if (out.refusal.isEmpty())
                out.refusal = QStringLiteral("保管場所") + m.place + QStringLiteral("がありません");
            continue;
        }
        const qint32 before = c.integer(0);
        if (m.delta < 0 && Amount::add(before, m.delta) < 0 && out.refusal.isEmpty())
            out.refusal = m.place + QStringLiteral("に \\") + QString::number(before)
                + QStringLiteral("しかありません");
    }
    return out;
}

void apply(Database &db, const Row &row, const std::optional<Values> &newValues, const Plan &plan)
{
    for (const Move &m : plan.moves) {
        if (m.stocktake != 0) {
            Cursor c = db.query(
                QStringLiteral("SELECT K_bmoney FROM Ktanaorosi_T WHERE rowid = %1").arg(m.stocktake));
            const qint32 after = Amount::add(c.eof() ? 0 : c.integer(0), m.delta);
            db.execute(QStringLiteral("UPDATE Ktanaorosi_T SET K_bmoney = %1 WHERE rowid = %2")
                           .arg(after)
                           .arg(m.stocktake));
        } else {
            Cursor c = db.query(
                QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = %1").arg(quoted(m.place)));
            const qint32 after = Amount::add(c.eof() ? 0 : c.integer(0), m.delta);
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = %1 WHERE H_index = %2")
                           .arg(QString::number(after), quoted(m.place)));
        }
    }
    const qint64 history = row.debit ? debitHistoryRow(db, row.values) : 0;
    if (!newValues) {
        db.execute(QStringLiteral("DELETE FROM %1 WHERE rowid = %2").arg(row.table).arg(row.rowid));
        if (history != 0)
            db.execute(QStringLiteral("DELETE FROM Zidourireki_T WHERE rowid = %1").arg(history));
        return;
    }
    const Values &v = *newValues;
    if (row.table == u"Idourireki_T") {
        db.execute(QStringLiteral("UPDATE Idourireki_T SET I_hokanmoto = %1, I_hokansaki = %2, I_money = %3,"
                                  " I_day = %4, I_memo = %5 WHERE rowid = %6")
                       .arg(quoted(v.place), quoted(v.place2), QString::number(v.money),
                           QString::number(v.date), quoted(v.memo), QString::number(row.rowid)));
        return;
    }
    db.execute(QStringLiteral("UPDATE %1 SET %1_index = %2, %1_hokan = %3, %1_money = %4, %1_date = %5,"
                              " %1_memo = %6 WHERE rowid = %7")
                   .arg(row.table, quoted(v.item), quoted(v.place), QString::number(v.money),
                       QString::number(v.date), row.debit ? quoted(debitMemo) : quoted(v.memo),
                       QString::number(row.rowid)));
    if (history != 0)
        db.execute(QStringLiteral("UPDATE Zidourireki_T SET Z_index = %1, Z_hokan = %2, Z_money = %3,"
                                  " Z_beforeday = %4 WHERE rowid = %5")
                       .arg(quoted(v.item), quoted(v.place), QString::number(v.money),
                           QString::number(v.date), QString::number(history)));
}

} // namespace PostingChange
