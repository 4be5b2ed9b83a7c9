// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportWrites.h"

#include "Amount.h"
#include "Database.h"

#include <sqlite3.h>

namespace {

const QString debitMemo = QStringLiteral("自動引落処理");

} // namespace

ImportWrites::ImportWrites(Database &db)
    : m_db(db)
    , m_statements(db)
{ }

qint64 ImportWrites::lastRow()
{
    return sqlite3_last_insert_rowid(m_db.handle());
}

void ImportWrites::finish()
{
    if (m_pending.isEmpty())
        return;
    const QList<Ledger::Movement> pending = std::exchange(m_pending, {});
    if (!Ledger(m_db).move(pending).done())
        throw DbError(QStringLiteral("lines checked before refused when written"));
}

ImportWrites::Written ImportWrites::posting(
    Ledger::Kind kind, const QString &item, const QString &place, qint32 money, int date, const QString &memo)
{
    // The rows as the posting window and the debit run write them; the balance with the rest.
    m_pending.append({place, kind == Ledger::Kind::Income ? money : Amount::sub(0, money), date});
    if (kind == Ledger::Kind::Income) {
        m_statements.run("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES (?,?,?,?,?)",
            {item, place, money, date, memo});
        return {QStringLiteral("N"), lastRow(), 0};
    }
    qint64 debitRow = 0;
    if (kind == Ledger::Kind::Debit) {
        m_statements.run("INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES (?,?,?,?)",
            {item, place, money, date});
        debitRow = lastRow();
    }
    m_statements.run("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES (?,?,?,?,?)",
        {item, place, money, date, kind == Ledger::Kind::Debit ? debitMemo : memo});
    return {kind == Ledger::Kind::Debit ? QStringLiteral("Z") : QStringLiteral("S"), lastRow(), debitRow};
}

ImportWrites::Written ImportWrites::transfer(
    const QString &from, const QString &to, qint32 money, int date, const QString &memo)
{
    m_pending.append({from, Amount::sub(0, money), date});
    m_pending.append({to, money, date});
    m_statements.run(
        "INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES (?,?,?,?,?)",
        {from, to, money, date, memo});
    return {QStringLiteral("I"), lastRow(), 0};
}

ImportWrites::Written ImportWrites::recount(const Ledger::Stocktake &stocktake, qint32 before, qint32 today)
{
    finish();
    Ledger(m_db).recount(stocktake, before, today);
    return {QStringLiteral("Ktanaorosi_T"), lastRow(), before};
}

qint64 ImportWrites::turnIntoTransfer(
    qint64 expenseRow, const QString &bank, const QString &card, qint32 money, int date, const QString &memo)
{
    finish();
    m_db.execute(QStringLiteral("DELETE FROM S WHERE rowid = ?"), {expenseRow});
    if (!Ledger(m_db).move({{card, money, date}}).done())
        throw DbError(QStringLiteral("a card's balance could not take its payment"));
    m_db.insert(QStringLiteral("Idourireki_T"),
        {{QStringLiteral("I_hokanmoto"), bank}, {QStringLiteral("I_hokansaki"), card},
            {QStringLiteral("I_money"), money}, {QStringLiteral("I_day"), date},
            {QStringLiteral("I_memo"), memo}});
    return lastRow();
}

qint64 ImportWrites::turnIntoExpense(
    qint64 transferRow, const QString &bank, const QString &item, qint32 money, int date, const QString &memo)
{
    finish();
    m_db.execute(QStringLiteral("DELETE FROM Idourireki_T WHERE rowid = ?"), {transferRow});
    m_db.insert(QStringLiteral("S"),
        {{QStringLiteral("S_index"), item}, {QStringLiteral("S_hokan"), bank},
            {QStringLiteral("S_money"), money}, {QStringLiteral("S_date"), date},
            {QStringLiteral("S_memo"), memo}});
    return lastRow();
}

void ImportWrites::remove(const QString &table, qint64 rowid)
{
    static const QStringList history {QStringLiteral("N"), QStringLiteral("S"),
        QStringLiteral("Idourireki_T"), QStringLiteral("Zidourireki_T"), QStringLiteral("Ktanaorosi_T")};
    if (!history.contains(table))
        throw DbError(QStringLiteral("no table of the history: %1").arg(table));
    m_db.execute(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(table), {rowid});
}

void ImportWrites::followCorrection(
    Database &db, const PostingChange::Row &row, const std::optional<PostingChange::Values> &now)
{
    // A ledger that never imported has no records.
    if (db.lookup(
              QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'X_import_line'"),
              {})
            .eof())
        return;
    const QString code = row.table == u"N" ? QStringLiteral("N")
        : row.table == u"S"                ? (row.debit ? QStringLiteral("Z") : QStringLiteral("S"))
                                           : QStringLiteral("I");
    Cursor c = db.lookup(QStringLiteral("SELECT rowid, XL_money FROM X_import_line WHERE XL_table = ? AND "
                                        "XL_rowid = ? AND XL_state <> 2"),
        {code, row.rowid});
    if (c.eof())
        return;
    const qint64 line = c.integer64(0);
    if (!now) {
        db.execute(QStringLiteral("UPDATE X_import_line SET XL_state = 2, XL_rowid = 0, XL_before = 0 WHERE "
                                  "rowid = ?"),
            {line});
        return;
    }
    const PostingChange::Values &was = row.values;
    const PostingChange::Values &v = *now;
    // The record keeps the line's amount as the statement signs it: a deposit positive. An
    // income is one, an expense (a refund too) and a debit the opposite; a transfer either.
    const int sign = code == u"N" ? 1 : code == u"I" ? (c.integer64(1) < 0 ? -1 : 1) : -1;
    const bool changed = v.money != was.money || v.place != was.place || v.place2 != was.place2;
    db.execute(
        QStringLiteral("UPDATE X_import_line SET XL_money = ?, XL_date = ?, XL_memo = COALESCE(?, XL_memo),"
                       " XL_item = COALESCE(?, XL_item), XL_state = MAX(XL_state, ?) WHERE rowid = ?"),
        {sign * qint64(v.money), v.date,
            // A debit's row keeps the run's memo; its record keeps the statement's description.
            row.debit ? QVariant() : QVariant(v.memo), code == u"I" ? QVariant() : QVariant(v.item),
            changed ? 1 : 0, line});
}
