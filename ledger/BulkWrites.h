// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PreparedStatements.h"

#include <QString>
#include <QtGlobal>

class Database;

// Rows of the history and balances written many at a time, each kind by one prepared statement
// with bound values, inside the caller's write transaction: moving a whole household in. The
// caller has worked out every balance and stocktake by the ledger's rules for the whole batch;
// this writes them as given.
class BulkWrites
{
public:
    explicit BulkWrites(Database &db);

    // A new storage place with its opening balance.
    void addPlace(const QString &name, qint32 balance);
    void setBalance(const QString &place, qint32 balance);
    void post(
        bool income, const QString &item, const QString &place, qint32 money, int date, const QString &memo);
    void transfer(const QString &from, const QString &to, qint32 money, int date, const QString &memo);
    void stocktake(const QString &place, int date, qint32 before, qint32 after, const QString &reason);

private:
    PreparedStatements m_statements;
};
