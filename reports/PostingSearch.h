// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <optional>

class Database;

// The search over every posting, debit, transfer and stocktake through the folded copy in
// X_meisai (see SearchText).
namespace PostingSearch {

// Kinds as X_meisai keeps them: N income, S expense, Z automatic debit, I transfer, K stocktake.
struct Conditions
{
    QString words; // as typed; each word must occur
    std::optional<int> from, to; // yyyymmdd, inclusive
    std::optional<qint64> min, max; // amounts, inclusive
    QString hokan; // a storage place; empty for all
    QSet<QChar> kinds {u'N', u'S', u'Z', u'I', u'K'};
};

struct Hit
{
    QString table; // N, S, I or K
    qint64 rowid = 0;
    QChar kind;
    int date = 0;
    QString item; // the item; for a stocktake empty
    QString kubun; // the item's category
    QString place; // for a transfer "from→to"
    qint64 money = 0; // for a stocktake the amount counted minus the balance before
    QString memo; // for a stocktake the reason
};

struct Result
{
    QList<Hit> hits; // newest first, at most the limit
    qint64 count = 0; // every hit, also those past the limit
    qint64 income = 0, expense = 0; // totals of the income and of the expense and debit hits
    // The ledger has no search copy (one older than the program, put in place behind its back):
    // nothing was searched or written.
    bool noCopy = false;
    qint64 more() const { return count - hits.size(); }
};

constexpr int RowLimit = 1000;
// A limit that lists every hit (the CSV file).
constexpr int NoLimit = -1;

// The caption of a kind: 収入, 支出, 自動引落, 移動, 棚卸.
QString kindName(QChar kind);

// Folds what is still pending (a short write transaction when there is any) and searches.
// A ledger without the search copy gives a result with noCopy set. Throws DbError.
Result search(const QString &dbPath, const Conditions &conditions, int limit = RowLimit);

// The same on an open connection; the copy must be folded already.
Result search(Database &db, const Conditions &conditions, int limit = RowLimit);

} // namespace PostingSearch
