// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportWrites.h"

#include "Amount.h"
#include "Database.h"

namespace {

const QString debitMemo = QStringLiteral("自動引落処理");

} // namespace

ImportWrites::ImportWrites(Database &db)
    : m_db(db)
{ }

qint64 ImportWrites::lastRow()
{
    return m_db.lookup(QStringLiteral("SELECT last_insert_rowid()"), {}).integer64(0);
}

ImportWrites::Written ImportWrites::posting(
    Ledger::Kind kind, const QString &item, const QString &place, qint32 money, int date, const QString &memo)
{
    // The balance first, then the rows, in the order of the posting window and the debit run.
    const qint32 delta = kind == Ledger::Kind::Income ? money : Amount::sub(0, money);
    if (!Ledger(m_db).move({{place, delta, date}}).done())
        throw DbError(QStringLiteral("a line checked before refused when written"));
    if (kind == Ledger::Kind::Income) {
        m_db.insert(QStringLiteral("N"),
            {{QStringLiteral("N_index"), item}, {QStringLiteral("N_hokan"), place},
                {QStringLiteral("N_money"), money}, {QStringLiteral("N_date"), date},
                {QStringLiteral("N_memo"), memo}});
        return {QStringLiteral("N"), lastRow(), 0};
    }
    qint64 debitRow = 0;
    if (kind == Ledger::Kind::Debit) {
        m_db.insert(QStringLiteral("Zidourireki_T"),
            {{QStringLiteral("Z_index"), item}, {QStringLiteral("Z_hokan"), place},
                {QStringLiteral("Z_money"), money}, {QStringLiteral("Z_beforeday"), date}});
        debitRow = lastRow();
    }
    m_db.insert(QStringLiteral("S"),
        {{QStringLiteral("S_index"), item}, {QStringLiteral("S_hokan"), place},
            {QStringLiteral("S_money"), money}, {QStringLiteral("S_date"), date},
            {QStringLiteral("S_memo"), kind == Ledger::Kind::Debit ? debitMemo : memo}});
    return {kind == Ledger::Kind::Debit ? QStringLiteral("Z") : QStringLiteral("S"), lastRow(), debitRow};
}

ImportWrites::Written ImportWrites::transfer(
    const QString &from, const QString &to, qint32 money, int date, const QString &memo)
{
    if (!Ledger(m_db).move({{from, Amount::sub(0, money), date}, {to, money, date}}).done())
        throw DbError(QStringLiteral("a transfer checked before refused when written"));
    m_db.insert(QStringLiteral("Idourireki_T"),
        {{QStringLiteral("I_hokanmoto"), from}, {QStringLiteral("I_hokansaki"), to},
            {QStringLiteral("I_money"), money}, {QStringLiteral("I_day"), date},
            {QStringLiteral("I_memo"), memo}});
    return {QStringLiteral("I"), lastRow(), 0};
}

ImportWrites::Written ImportWrites::recount(const Ledger::Stocktake &stocktake, qint32 before, qint32 today)
{
    Ledger(m_db).recount(stocktake, before, today);
    return {QStringLiteral("Ktanaorosi_T"), lastRow(), before};
}

qint64 ImportWrites::turnIntoTransfer(
    qint64 expenseRow, const QString &bank, const QString &card, qint32 money, int date, const QString &memo)
{
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
