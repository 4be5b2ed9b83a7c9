// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Ledger.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

class Database;

// Changing and deleting one posting (N), expense or debit (S, with its Zidourireki_T row) or
// transfer (Idourireki_T) after the fact, with every balance it touched moved by the
// difference, by the order of the day (see Ledger). A movement dated before a later stocktake
// of its place does not reach the balance of today: the stocktake counted the real money, so
// the difference goes into that stocktake's balance-before (K_bmoney) instead. Refusals
// follow the ledger's rule of what a place may give, cards included.
namespace PostingChange {

// A row as the change window shows and takes it. For a transfer, `place` is the source and
// `place2` the destination, and `item` is empty.
struct Values
{
    int date = 0;
    QString item;
    QString place;
    QString place2;
    qint32 money = 0;
    QString memo;
    bool operator==(const Values &) const = default;
};

struct Row
{
    QString table; // N, S or Idourireki_T
    qint64 rowid = 0;
    bool debit = false; // an S row of the debit run, with its Zidourireki_T row
    Values values;
};

// Where a difference goes, and what a change would move (see Ledger::plan).
using Move = Ledger::Target;
using Plan = Ledger::MovePlan;

// The row `rowid` of `table` (N, S, Idourireki_T); nullopt when it is gone.
std::optional<Row> read(Database &db, const QString &table, qint64 rowid);

// What taking the row out (newValues empty) or replacing its values would move. Reads only.
Plan plan(Database &db, const Row &row, const std::optional<Values> &newValues);

// Does what plan() planned, inside the caller's write transaction: the balances and stocktakes
// moved, the row (and a debit's history row) deleted or rewritten in place.
void apply(Database &db, const Row &row, const std::optional<Values> &newValues, const Plan &plan);

} // namespace PostingChange
