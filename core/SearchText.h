// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

class Database;

// The searchable text of every posting, transfer and stocktake, kept in X_meisai: one row per
// row of N, S, Idourireki_T and Ktanaorosi_T with its kind, date, amount, places and item,
// kept current by triggers on those tables, so every writer keeps it right. The triggers copy
// only what SQLite can copy; the folded text (XM_norm: the item and the memo) is filled by the
// program and is NULL until then ("pending"). The places stay out of the text: the copy holds
// them as numbers of their names (X_meisai_hokan), which a search matches by the names, so that
// renaming a place renames its number's name and writes no row of the copy.
namespace SearchText {

// The text as the search compares it: NFKC (full-width letters and digits to half width,
// half-width katakana with their voiced marks to full-width ones), lower case, and hiragana
// shifted to katakana. "ｶﾞｽ", "がす" and "ガス" all give "ガス".
QString fold(const QString &text);

// The words of a search box, folded, split at white space of either width; empty words dropped.
QStringList words(const QString &text);

// The statements that drop the copy, its numbers of places and their triggers, whatever their
// earlier form (the index of the text is dropped first, see SearchIndex).
QStringList dropStatements();

// The statements that make X_meisai, its numbered places (X_meisai_hokan), indexes and triggers,
// and fill it from the rows already there, every row pending.
QStringList createStatements();

// The triggers on the four tables and on the places of the masters.
QStringList triggerStatements();

// The expression of the copy's row id of the row `rowid` (an expression) of a table by its key
// (N, S, I or K): the copy's row of any row is found without a search.
QString rowidOf(QChar key, const QString &rowid);

// Marks the span in which an action is taken back, inside the caller's transaction: only then
// may rows of a place be renamed before the place of the masters (see triggerStatements()).
void setTakingBack(Database &db, bool on);

// A place renamed inside the caller's write transaction, by the masters or by taking such a
// rename back. When `to` names no number of the copy yet and `from` does, the number of `from`
// takes the name `to` at once and the triggers that would confirm that on every row of the
// place are set aside until finish(): a rename of a place with many rows then costs the
// engine's own updates of those rows. finish() gives the rows that still hold `from` (ones the
// rename did not reach) a number of that name again and puts the triggers back. Otherwise the
// triggers do the work, as for any change of a row's place.
class PlaceRename
{
public:
    PlaceRename(Database &db, const QString &from, const QString &to);
    // Puts the triggers back if finish() was not reached (an error: the caller rolls back).
    ~PlaceRename();
    PlaceRename(const PlaceRename &) = delete;
    PlaceRename &operator=(const PlaceRename &) = delete;

    void finish();
    bool renames(const QString &from, const QString &to) const { return m_from == from && m_to == to; }

private:
    void restoreTriggers();

    Database &m_db;
    QString m_from, m_to;
    QStringList m_triggers; // the statements of the triggers set aside
    bool m_renamed = false; // the number of `from` took the name `to`
};

// Whether table.column is a place of rows the copy holds (N_hokan, I_hokanmoto...).
bool holdsPlace(const QString &table, const QString &column);

// Every place name some row holds or has held, with its number in the copy (XM_place,
// XM_place2).
QList<std::pair<qint64, QString>> places(Database &db);

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
