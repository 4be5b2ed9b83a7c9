// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Database;

// A trigram index over the folded text of X_meisai (see SearchText), keyed by X_meisai's rowid
// and kept current by triggers on X_meisai, so that every writer keeps it right. It narrows a
// word search to the rows whose text holds every trigram of the word; the caller still tests
// the text itself, so the index only ever has to find too many rows, never too few.
//
// Each row is indexed as its folded text followed by one separator, so that every occurrence of
// a two-character word starts some trigram: the trigrams that begin with the word lead to it.
namespace SearchIndex {

// The statements that make the index and its triggers. They drop an index already there, so
// build() must follow to fill it from the rows folded so far.
QStringList createStatements();

// The statements that drop the index and its triggers.
QStringList dropStatements();

using Progress = std::function<void(qint64 done, qint64 total)>;

// Indexes every folded row of X_meisai, inside the caller's write transaction. Rows folded later
// reach the index through its triggers. Returns how many rows were indexed.
qint64 build(Database &db, const Progress &progress = {});

// True when the ledger has the index (a ledger made before it, replaced behind the program's
// back, has not: it is searched without).
bool exists(Database &db);

// What the index answers for a folded word.
struct Match
{
    // The full-text query that finds every row whose text holds the word, and some more; empty
    // when no row holds it.
    QString expression;
    // At most this many rows hold it, as the index counts them for a two-character word; -1
    // for a longer word, which is not counted (that would read what the query reads).
    qint64 rows = -1;
};

// nullopt when the index cannot narrow the search: a word of one character, or a two-character
// word followed by too many different characters.
std::optional<Match> match(Database &db, const QString &word);

// The number of characters of a word as the index counts them (code points).
int length(const QString &word);

} // namespace SearchIndex
