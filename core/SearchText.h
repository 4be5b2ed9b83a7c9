// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Database;

// The searchable text of every posting, transfer and stocktake, kept in X_meisai: one row per
// row of N, S, Idourireki_T and Ktanaorosi_T with its kind, date, amount, places and item,
// kept current by triggers on those tables, so every writer keeps it right. The triggers copy
// only what SQLite can copy; the folded text (XM_norm: the item and the memo) is filled by the
// program and is NULL until then ("pending"). The places stay out of the folded text: a search
// matches them by their names, and a rename of a place rewrites only the two place columns.
namespace SearchText {

// The text as the search compares it: NFKC (full-width letters and digits to half width,
// half-width katakana with their voiced marks to full-width ones), lower case, and hiragana
// shifted to katakana. "ｶﾞｽ", "がす" and "ガス" all give "ガス".
QString fold(const QString &text);

// The words of a search box, folded, split at white space of either width; empty words dropped.
QStringList words(const QString &text);

// The statements that make X_meisai, its triggers, and fill it from the rows already there.
QStringList createStatements();

// The statements that make the triggers on the four tables; with `replace`, each trigger of
// the same name is dropped first (a ledger made with an earlier form of them).
QStringList triggerStatements(bool replace);

// The indexes of the places (XM_hokan with what a search counts, and XM_hokan2).
QStringList placeIndexStatements();

// The statements that give a ledger of an earlier form the present triggers and indexes and mark
// every row pending, so that the folded text is made anew (the caller drops the text's index
// first and builds it again after folding).
QStringList refoldStatements();

// Every place name some row holds (XM_hokan or XM_hokan2), each once.
QStringList placesHeld(Database &db);

// Told how many pending rows have been folded of how many, after each batch.
using Progress = std::function<void(qint64 done, qint64 total)>;

// Fills the folded text of every pending row, inside the caller's write transaction. Returns
// how many rows were filled.
int foldPending(Database &db, const Progress &progress = {});

// True when the ledger has the copy (every ledger of the program's versions since the copy has).
bool exists(Database &db);

// True when some row still waits for its folded text.
bool hasPending(Database &db);

} // namespace SearchText
