// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Backup.h"

#include <QDateTime>
#include <QString>

#include <functional>

// Brings a ledger's own X_ tables up to this program's version, after a backup of the ledger
// as it was: at start, and after a restore put an older ledger in place.
namespace LedgerUpgrade {

enum class Outcome {
    Current, // nothing to do (or a ledger newer than the program)
    Upgraded,
    BackupFailed, // the backup before the first step failed: the ledger is left as it is
    ReadOnly, // the ledger or its folder may not be written: left as it is
    Failed, // the ledger could not be opened or written for another reason
};

struct Result
{
    Outcome outcome = Outcome::Current;
    Backup::Result backup; // the backup before the first step; read it only after BackupFailed
};

// The backup before the first step is taken only when the ledger changed since the newest
// backup: an unchanged ledger is already held by that backup, so a ledger that can never be
// upgraded (a read-only one) is backed up once, not at every start.
// `progress` hears of long work inside the upgrade (see Migrations::migrate).
Result run(const QString &dbPath, const QDateTime &now,
    const std::function<void(qint64 done, qint64 total)> &progress = {});

} // namespace LedgerUpgrade
