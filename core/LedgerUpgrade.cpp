// SPDX-License-Identifier: GPL-3.0-or-later
#include "LedgerUpgrade.h"

#include "Database.h"
#include "Migrations.h"

#include <QFileInfo>

namespace LedgerUpgrade {

Result run(const QString &dbPath, const QDateTime &now, const std::function<void(qint64, qint64)> &progress)
{
    Result result;
    bool backupTried = false;
    try {
        const Migrations::Outcome o = Migrations::migrate(
            dbPath,
            [&](int, int) {
                backupTried = true;
                result.backup = Backup::take(dbPath, now);
                return result.backup.outcome == Backup::Outcome::Taken
                    || result.backup.outcome == Backup::Outcome::Unchanged;
            },
            progress);
        if (o == Migrations::Outcome::Migrated)
            result.outcome = Outcome::Upgraded;
        else if (o == Migrations::Outcome::Declined)
            result.outcome = Outcome::BackupFailed;
        return result;
    } catch (const DbError &e) {
        // SQLite opens a write-protected file for reading without a word; the first write fails.
        const QFileInfo ledger(dbPath);
        const bool readOnly = backupTried
            && ((e.nativeCode() & 0xff) == 8 || !ledger.isWritable()
                || !QFileInfo(ledger.canonicalPath()).isWritable());
        result.outcome = readOnly ? Outcome::ReadOnly : Outcome::Failed;
        return result;
    }
}

} // namespace LedgerUpgrade
