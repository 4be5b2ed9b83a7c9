// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

class Database;

// The statements the master windows share: reading lists and rows, the "is this name
// already there" checks, and rewriting a name in one column.
namespace MasterQueries {

// The values of one column, in table order ("SELECT column FROM table").
QStringList readColumn(Database &db, const QString &table, const QString &column);
// The given columns of every row `select` returns, one list of texts per row.
QList<QStringList> readRows(Database &db, const QString &select, const QStringList &columns);

// Whether any row of the table holds `value` in `column`: reads the whole table
// ("SELECT * FROM table") and stops at the first match.
bool anyRowHas(Database &db, const QString &table, const QString &column, const QString &value);
// Whether a row holds `value` in `column`, by a query on that column alone.
bool hasRow(Database &db, const QString &table, const QString &column, const QString &value);

// Which item master still names `value` in its column: the expense master is examined
// first, so a value both use reports Expense.
enum class ItemUse { None, Expense, Income };
ItemUse itemUse(
    Database &db, const QString &expenseColumn, const QString &incomeColumn, const QString &value);

// Rewrites `from` to `to` in every row of table.column.
void rename(
    Database &db, const QString &table, const QString &column, const QString &from, const QString &to);
// The same, but only when some row holds `from` (checked by hasRow first).
void renameWhereUsed(
    Database &db, const QString &table, const QString &column, const QString &from, const QString &to);

} // namespace MasterQueries
