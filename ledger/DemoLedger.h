// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

// The demo household: what one family would have kept over the two years up to a day, laid out
// in a new ledger so that the program can be tried (velmo --demo, make demo, the guide's pictures)
// without touching anyone's own ledger.
//
// Five storage places (one a credit card), six categories, three income and seven expense items
// of which two are automatic debits (電気, ガス: the program writes "代" after an expense item's
// name), a salary every month and a bonus twice a year, daily expenses with memos, cash drawn
// from the bank, monthly savings, a stocktake each half year, the expense budget of the last
// day's year and the year before, the last year's outings and amusements paid by card with the
// bank paying each month's bill, and the schedules of the salary, the bonus and the debits. Days
// that fall on a bank holiday move as the bank moves them. The same seed and day give the same
// ledger; nothing is dated after the day.
namespace DemoLedger {

struct Counts
{
    qint64 income = 0; // rows of N
    qint64 expense = 0; // rows of S (automatic debits included)
    qint64 debits = 0; // rows of Zidourireki_T; each has its S row
    qint64 transfers = 0; // rows of Idourireki_T
    qint64 stocktakes = 0; // rows of Ktanaorosi_T (the opening balances included)
    qint64 budgetRows = 0; // rows of X_budget_row
};

// Creates the ledger at path (which must not exist), brings it to the newest layout and fills
// it in one transaction. On failure nothing is left at path and errorText says why.
bool create(const QString &path, const QDate &lastDay, quint64 seed = 1, QString *errorText = nullptr,
    Counts *counts = nullptr);

// Lays out a new application directory for the demo in `folder` (made if missing; it must not
// hold a ledger yet): the ledger up to lastDay, an empty AP.log and the arrow picture copied
// from arrowGif. On failure errorText says why.
bool layOut(
    const QString &folder, const QDate &lastDay, const QString &arrowGif, QString *errorText = nullptr);

} // namespace DemoLedger
