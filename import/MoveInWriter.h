// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BulkWrites.h"
#include "PreparedStatements.h"

#include <QString>

class Database;

// Every row a move-in writes, one function per kind of row, each a prepared statement with
// bound values that is prepared once and run for every row: the masters' rows here, the
// history's rows and the balances through the ledger's BulkWrites. The balances are the
// caller's: it works them out for the whole move-in and sets each place's once.
class MoveInWriter
{
public:
    explicit MoveInWriter(Database &db);

    void addPlace(const QString &name, qint32 balance) { m_ledger.addPlace(name, balance); }
    void setBalance(const QString &place, qint32 balance) { m_ledger.setBalance(place, balance); }
    void addCategory(const QString &name);
    void addItem(bool income, const QString &name, const QString &category, const QString &place);
    void post(
        bool income, const QString &item, const QString &place, qint32 money, int date, const QString &memo)
    {
        m_ledger.post(income, item, place, money, date, memo);
    }
    void transfer(const QString &from, const QString &to, qint32 money, int date, const QString &memo)
    {
        m_ledger.transfer(from, to, money, date, memo);
    }
    void stocktake(const QString &place, int date, qint32 before, qint32 after, const QString &reason)
    {
        m_ledger.stocktake(place, date, before, after, reason);
    }
    // The source's id of a line moved in, so that a later move-in passes over it.
    void remember(const QString &layout, const QString &id);

private:
    PreparedStatements m_statements;
    BulkWrites m_ledger;
};
