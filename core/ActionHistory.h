// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class Database;

// The history of actions: every write action of the windows is one entry (when, which window,
// what) with the row changes it made, kept in X_undo_action. Taking entries back plays their
// changes backwards, newest first, and is itself an action of the history.
namespace ActionHistory {

// What is kept: at least the newest KeptActions entries, and every entry of the last KeptDays.
constexpr int KeptActions = 1000;
constexpr int KeptDays = 400;

struct Entry
{
    qint64 no = 0;
    QString when; // yyyy/MM/dd hh:mm:ss
    QString window;
    QString text;
};

// Writes one entry and prunes the old ones, inside the caller's write transaction. A ledger
// without the history's table (made before it, not yet migrated) keeps no history.
void append(Database &db, const QDateTime &when, const QString &window, const QString &text,
    const QByteArray &changes);

// The entries, newest first; at most `limit` of them.
QList<Entry> recent(Database &db, int limit = KeptActions);

// The entries numbered `from` and later, oldest first.
QList<Entry> entriesFrom(Database &db, qint64 from);

// The newest entry that inserted the row `rowid` of `table`, if the history still holds one.
std::optional<qint64> insertedBy(Database &db, const QString &table, qint64 rowid);

// The description of taking back `taken` (oldest first) as one action.
QString undoText(const QList<Entry> &taken);

// Puts back what the entries numbered `from` and later changed, newest first, inside the
// caller's action (which records the putting back). Returns why it cannot be done (the caller
// then rolls back), or an empty text when it was done.
QString takeBack(Database &db, qint64 from);

struct Outcome
{
    bool done = false;
    QString refusal; // why nothing was taken back; empty when done or when there was nothing
    QList<Entry> taken;
};

// Opens the ledger at path and takes back the entries numbered `from` and later in one
// transaction, recorded as an action of `window`. `expected` is how many entries the caller
// asked about: when the history holds another number of them by now (another program acted
// meanwhile), nothing is taken back. Throws DbError.
Outcome takeBackFrom(
    const QString &path, qint64 from, const QString &window, const QDateTime &when, int expected);

} // namespace ActionHistory
