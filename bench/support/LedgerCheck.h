// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Checks that a ledger is consistent: the engine's own integrity check, every amount and
// date a 32-bit integer, and every storage place's balance equal to the replay of its
// history. PRAGMA integrity_check alone passes on a ledger whose balance update was lost
// while its posting row was kept; the replay does not.
//
// The replay starts each place at 0 (its balance when registered) and walks its history
// by date: an income (N) adds, an expense (S, automatic debits included) subtracts, a
// transfer subtracts from its source and adds to its destination, and a stocktake sets the
// balance to K_amoney after recording the balance before in K_bmoney. Zidourireki_T is not
// replayed: each debit's money is in its S row. The history carries only days, so a
// stocktake is matched against the other movements of its day in every order that is
// cheap to try (all before it, all after it, or a subset before it when the day is short).
namespace LedgerCheck {

struct Result
{
    QStringList problems; // empty when the ledger is consistent; at most a few dozen are listed
    qint64 rowsReplayed = 0;
    bool ok() const { return problems.isEmpty(); }
};

Result check(const QString &path);

} // namespace LedgerCheck
