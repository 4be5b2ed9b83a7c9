// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Makes large, realistic ledgers for benchmarks and tests: the masters a household with a
// small shop would register (20 storage places, 99 income and 99 expense items of which 10
// are automatic debits, a score of categories) and thirty years of postings, transfers,
// automatic debits and stocktakes whose replay gives exactly the stored balances.
namespace LedgerGenerator {

// The sizes we measure: a household over thirty years, a small shop, a busy shop.
constexpr qint64 SmallPostings = 5'000;
constexpr qint64 LargePostings = 500'000;
constexpr qint64 HugePostings = 2'000'000;

// Bumped whenever the content generated for a (size, seed) changes, so cached ledgers of an
// older generator (or of an older schema: the search copy's triggers) are not reused.
constexpr int Version = 3;

// Postings are day-stamped from this date through LastDate; the opening balances are
// counted (stocktakes) on the day before FirstDate.
constexpr int FirstDate = 19960101;
constexpr int LastDate = 20251231;

struct Summary
{
    qint64 income = 0; // rows of N
    qint64 expense = 0; // rows of S (automatic debits included)
    qint64 debits = 0; // rows of Zidourireki_T; each has its S row
    qint64 transfers = 0; // rows of Idourireki_T
    qint64 stocktakes = 0; // rows of Ktanaorosi_T (the opening balances included)
};

// Creates a new ledger at path (LedgerFile::create; the file must not exist) and fills it
// with `postings` rows of N and S together, the same for the same seed. On failure the file
// is removed and errorText says why.
bool generate(const QString &path, qint64 postings, quint64 seed, QString *errorText = nullptr,
    Summary *summary = nullptr);

// The demo household's ledger up to lastDay (DemoLedger::create).
bool generateDemo(const QString &path, const QDate &lastDay, quint64 seed, QString *errorText = nullptr,
    Summary *summary = nullptr);

// The names the generator registers, in the order it inserts them.
QStringList storagePlaceNames();
QStringList incomeItemNames();
QStringList expenseItemNames(); // the ten automatic-debit items come first

} // namespace LedgerGenerator
