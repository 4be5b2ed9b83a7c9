// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

class Database;

// The reads the master windows share: lists and rows. What they write, and the checks that
// guard it, are the ledger's (MasterChange).
namespace MasterQueries {

// The values of one column, in table order ("SELECT column FROM table").
QStringList readColumn(Database &db, const QString &table, const QString &column);
// The given columns of every row `select` returns, one list of texts per row.
QList<QStringList> readRows(Database &db, const QString &select, const QStringList &columns);

} // namespace MasterQueries
