// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Database;

// The ledger's own tables keep their layout for good; features that store more keep it in
// tables named X_..., made by numbered steps. PRAGMA user_version holds the number of the
// last step applied. A ledger newer than the program is used as it is.
namespace Migrations {

// The number of the newest step: the version a new ledger is made at.
int latest();
// The statements of step n (1..latest()): CREATE TABLE / INDEX / TRIGGER IF NOT EXISTS, and the
// filling of a new X_ table from the rows already there.
QStringList step(int n);

// Runs before the first step is applied to a ledger, outside any transaction (the place to
// take a backup); from and to are the versions. Returning false leaves the ledger untouched.
using BeforeFirst = std::function<bool(int from, int to)>;

enum class Outcome { Current, Migrated, Newer, Declined };

// Brings the ledger at path up to latest() in one write transaction. A DbError leaves the
// ledger as it was.
// `progress` hears of long work (the indexing and folding of the search copy of an existing
// ledger).
Outcome migrate(const QString &path, const BeforeFirst &beforeFirst = {},
    const std::function<void(qint64 done, qint64 total)> &progress = {});

// The version of an open ledger.
int version(Database &db);

} // namespace Migrations
