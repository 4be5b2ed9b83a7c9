// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Ledger.h"
#include "PostingChange.h"
#include "PreparedStatements.h"

#include <QString>
#include <QtGlobal>

class Database;

// The rows a statement import writes into the history, each as the window of its kind writes
// it, inside the caller's write transaction, by prepared statements with bound values. The
// balances the lines move, through Ledger by the order of the day (a line dated before a
// stocktake of its place goes into that count), are moved together by finish(), netted by
// place: the caller checked every line against the floors in its order first.
//
// What a written line is, as the import's record keeps it: the table ("N", "S", "I" for a
// transfer, "Z" for an automatic debit, "Ktanaorosi_T" for the import's own stocktake), the
// row id (a debit: that of its expense row) and, for a debit, the row id of its Zidourireki_T
// row; for the stocktake, its balance-before.
class ImportWrites
{
public:
    explicit ImportWrites(Database &db);

    // Moves the balances of the lines written so far. A refusal (the caller's check let through
    // what the floors do not) is a DbError: the caller rolls back.
    void finish();

    struct Written
    {
        QString table;
        qint64 rowid = 0;
        qint64 before = 0;
    };

    // An income (N), an expense (S; a card's refund has a negative amount) or an automatic
    // debit (Zidourireki_T, then S with the run's memo; the memo given is not stored).
    Written posting(Ledger::Kind kind, const QString &item, const QString &place, qint32 money, int date,
        const QString &memo);
    // Both balances, then the history row, as the transfer window writes it.
    Written transfer(const QString &from, const QString &to, qint32 money, int date, const QString &memo);
    // The import's stocktake at the start of the first line's day (see Ledger::recount).
    Written recount(const Ledger::Stocktake &stocktake, qint32 before, qint32 today);

    // (Each of the following moves what is pending first.)

    // A card's bill paid by a bank line an import booked as the expense `expenseRow`: that row
    // goes and the transfer from the bank to the card takes its place. The bank's balance went
    // down with the expense already; only the card's goes up. The transfer's row id.
    qint64 turnIntoTransfer(qint64 expenseRow, const QString &bank, const QString &card, qint32 money,
        int date, const QString &memo);
    // The other way, when the card's statement is taken back: the transfer `transferRow` goes and
    // the expense of `item` comes back. Rows only: the caller moves the card's balance back with
    // the rest of what it takes back. The expense's row id.
    qint64 turnIntoExpense(qint64 transferRow, const QString &bank, const QString &item, qint32 money,
        int date, const QString &memo);

    // Takes one written row out, without touching a balance (the caller moves them back, by a
    // plan of Ledger, with everything else it takes back). `table` is a table of the history.
    void remove(const QString &table, qint64 rowid);

    // A posting corrected or deleted after the fact (PostingChange): when an import wrote it,
    // the import's record of its line follows in the same action, so that the next import of
    // that line sees the ledger as it now stands. Deleted, the line is no longer known as
    // imported; with another amount or place neither; otherwise (a date, an item, a memo) the
    // record takes the new values and the line stays imported. Either way taking the batch back
    // takes the row back as it stands.
    static void followCorrection(
        Database &db, const PostingChange::Row &row, const std::optional<PostingChange::Values> &now);

private:
    qint64 lastRow();

    Database &m_db;
    PreparedStatements m_statements;
    QList<Ledger::Movement> m_pending;
};
