// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Preset.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class Database;

// Moving a household's books in from another household program or a spreadsheet: reading the
// files (no widgets), the preview of what the ledger will gain, and writing it in one go.
namespace MoveIn {

// The layouts read: the cloud service's 入出金履歴 export (one file holds every account), the
// other program's CSV download, and a spreadsheet's columns named by a preset.
enum class Layout { Unknown, History, Zaim, Sheet };
QString layoutName(Layout layout);

struct SourceFile
{
    QString name; // shown in messages
    QByteArray bytes;
};

// One line of the files, as the ledger will take it.
struct Row
{
    int file = 0; // index into the files read
    int lineNo = 0; // 1-based, in its file
    int date = 0; // yyyymmdd
    qint32 amount = 0; // into the place positive, out of it negative; never 0
    QString place;
    // A transfer: the money moves between place and otherPlace (out of place when the amount is
    // negative). An empty otherPlace is a half whose partner the files do not hold: the user
    // picks the other place.
    bool transfer = false;
    QString otherPlace;
    QString category, item; // the source's names; empty for a transfer
    QString memo;
    // What recognises the line when a later move-in reads it again: the source's ids, or a key
    // made of the line's contents.
    QStringList ids;
    bool counted = true; // false: the source left it out of its totals
};

struct BadLine
{
    int file = 0;
    int lineNo = 0;
    QString text;
    QString reason;
};

struct Reading
{
    Layout layout = Layout::Unknown;
    QStringList files;
    QList<Row> rows; // oldest first
    QList<BadLine> bad;
    QString refusal; // non-empty: nothing can be moved in (a file of another kind, a mixed encoding)
};

// The most lines all files together may hold.
constexpr int MaxLines = 200000;

// Reads every file in one layout (the first file's decides; a spreadsheet needs its preset,
// whose optional category, item and place columns are used when named). Lines dated after
// `today` or before 1900 are bad lines.
Reading read(const QList<SourceFile> &files, const QDate &today, const std::optional<Preset> &sheet = {});

// The preview: the masters the move-in creates (each may be renamed, or named as an existing
// one to map onto it), the lines and their state, and each place's balance for today.
struct PlaceEntry
{
    QString source;
    QString name;
    bool exists = false;
    qint64 fileSum = 0; // what the ticked lines move
    qint64 balance = 0; // the balance today the move-in ends at (offered: today's plus fileSum)
};
struct CategoryEntry
{
    QString source;
    QString name;
    bool exists = false;
};
struct ItemEntry
{
    bool income = false;
    QString sourceCategory, source;
    QString name;
    QString category; // the source category's entry name, for a new item
    bool exists = false;
};
struct Plan
{
    Layout layout = Layout::Unknown;
    QList<PlaceEntry> places;
    QList<CategoryEntry> categories;
    QList<ItemEntry> items;
    QList<Row> rows;
    QList<bool> take; // per row: ticked
    QList<bool> already; // per row: moved in before (never taken again)
    QList<BadLine> bad;
    QString otherPlace; // the place of the halves of transfers without a partner

    // The entries of a row, or -1.
    int placeOf(const QString &source) const;
    int itemOf(const Row &row) const;
    // Each place's fileSum again, after the ticks changed; the balances keep their difference.
    void sumAgain();
};
Plan plan(Database &db, const Reading &reading);

struct Summary
{
    int postings = 0, transfers = 0, stocktakes = 0;
    int places = 0, categories = 0, items = 0;
};

// Checks everything first and writes nothing when something stands in the way (the refusal
// says what); otherwise creates the masters, writes the ticked lines, sets each place's balance
// by a stocktake, and remembers the lines' ids. Runs in the caller's write transaction.
std::optional<Summary> apply(Database &db, const Plan &plan, const QDate &today, QString &refusal);

} // namespace MoveIn
