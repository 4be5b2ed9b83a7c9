// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// Dated, verified copies of the ledger in the folder backup/ beside it, and the ways back.
//
// A backup is a page-by-page snapshot of one committed state, made with SQLite's online
// backup API inside one read transaction, written under a temporary name, flushed, checked
// (quick_check, or integrity_check when asked, and the nine tables' row counts against the
// snapshot's source), and only then renamed to backup/velmo-yyyyMMdd-HHmmss.mdb. It carries
// the ledger's access rights, and beside it velmo-yyyyMMdd-HHmmss.summary records what the
// restore list shows of it. Every function here uses connections of its own through the C
// API, so it may run on any thread.
namespace Backup {

struct Entry
{
    QString path;
    QDateTime created; // local time, from the file name
};

// backup/ beside the ledger.
QString folder(const QString &dbPath);
// "velmo-yyyyMMdd-HHmmss.mdb".
QString fileName(const QDateTime &at);
// The finished backups beside this ledger, newest first. Other files are ignored.
QList<Entry> list(const QString &dbPath);

// A second folder elsewhere (another disk, a USB stick, a folder a cloud client keeps in step)
// gets a copy of every backup with its summary, checked there and rotated by the same rule.
// It is recorded in velmo.ini beside the ledger, not in the ledger: a restore puts an older
// ledger in place (with an older setting, or none), and a damaged or read-only ledger must
// still be copied away. Empty: none.
QString secondFolder(const QString &dbPath);
// Records the second folder (empty: none). False when the setting cannot be written.
bool setSecondFolder(const QString &dbPath, const QString &folder);

// What became of the copy into the second folder. A copy that fails never touches the
// backup it was made from, and leaves no file under a backup's name in the folder.
enum class CopyOutcome {
    None, // no second folder, or it already holds the newest backup
    Copied,
    Missing, // the folder is not there (a USB stick not plugged in, a drive not mounted)
    ReadOnly, // it may not be written
    Full, // no room for the copy
    Failed, // anything else, the check of the copy included
};
struct Copy
{
    CopyOutcome outcome = CopyOutcome::None;
    QString folder;
    QString path; // the copy, when Copied
    QString error; // for the log of the developer
};

enum class Outcome { Taken, Unchanged, NoLedger, Failed };
struct Result
{
    Outcome outcome = Outcome::Failed;
    QString path; // the new backup, when Taken
    QString error; // what went wrong, when Failed (for the log of the developer, not the user)
    bool ledgerDamaged = false; // Failed because the ledger itself is damaged
    // The copy into the second folder: of the new backup when Taken, and when Unchanged of the
    // newest backup if the folder does not hold it yet (it was missing last time).
    Copy second;
};

// How thoroughly the copy is checked before it is put in place: quick_check (every page and
// record readable, the structure sound) or integrity_check (indexes against their tables too).
enum class Check { Quick, Full };

// True when the ledger differs from what the newest backup was taken from. The state is the
// header's file change counter and page count with the file's size and modification time,
// recorded beside the backups when one is taken; anything unknown counts as changed.
bool changedSinceBackup(const QString &dbPath);

// Takes a backup named after `now` when the ledger changed (or always, with force), then
// rotates. Never writes to the ledger; on failure leaves no file under a backup's name.
// Whether the program may still write while the backup is taken. When its writing is done (at
// the exit), the check reads the ledger on a second thread while it is copied, holding off other
// writers until it ends, instead of reading the copy afterwards: the backup takes about the
// longer of the copy and the check rather than both.
enum class Writers { Expected, Done };

Result take(const QString &dbPath, const QDateTime &now, bool force = false, Check check = Check::Quick,
    Writers writers = Writers::Expected);

// The backup at start, meant for a worker thread: as take(), and once a week (by the record of
// the last one) with the full check, of a new copy or, when the ledger is unchanged, of the
// newest backup; a newest backup that fails it is replaced by a new copy.
Result takeAtStart(const QString &dbPath, const QDateTime &now);
// True when the last full check is a week or more from now (either way: the clock may be wrong).
bool fullCheckDue(const QString &dbPath, const QDateTime &now);

// Which of these backup times the rotation keeps. The clock may be wrong either way, so the
// windows are set by the backups themselves: every backup dated after now, and of the others
// the 10 newest, the newest of each of the 12 newest calendar months that hold one, and the
// newest of each year before those months.
QList<QDateTime> kept(QList<QDateTime> times, const QDateTime &now);
// Deletes the backups the rotation does not keep; returns their paths.
QStringList rotate(const QString &dbPath, const QDateTime &now);

// Copies a finished backup with its summary into `folder` under a name of its own, checks the
// copy there (integrity_check and the nine tables), then rotates that folder by kept().
Copy copyTo(const QString &backupPath, const QString &folder, const QDateTime &now);
// The backups in a folder, newest first, as list() gives those beside the ledger.
QList<Entry> listFolder(const QString &folder);

// Faults of the second folder's file system, for tests (a test may run as root, whom
// permissions do not stop): creating a file there fails with `createError`, or writing more
// than `room` bytes into it fails with ENOSPC, or the byte at `wrongByteAt` is written wrong.
// Zero and -1: no fault.
struct CopyFault
{
    int createError = 0;
    qint64 room = -1;
    qint64 wrongByteAt = -1; // a byte of the copy written wrong, as by a failing disk
};
void setCopyFault(const CopyFault &fault);

// Opens a backup read-only and runs integrity_check over it, checking the nine tables are there.
bool verify(const QString &path, QString *error = nullptr);

// What the restore list shows of one backup; nullopt when it cannot be read.
struct Summary
{
    qint64 incomes = 0;
    qint64 expenses = 0;
    qint64 balance = 0; // the sum of every storage place's balance
};
std::optional<Summary> summarize(const QString &path);
// The same from the record written beside the backup when it was taken, without opening the
// backup; counted from the backup itself (and recorded for the next time) when there is no
// record or it belongs to another file.
std::optional<Summary> recordedSummary(const QString &path);

enum class LedgerState { Sound, Damaged, Missing, Unknown };
// The quick check at start: the file opens as a database (which also settles a hot journal),
// its header's page count fits the file's size, and the nine tables are in its schema.
// Unknown: it could not be looked at (locked, no permission); that is not damage.
LedgerState checkLedger(const QString &dbPath);
// The integrity check of the whole ledger, for comparison with the quick one.
bool deepCheck(const QString &dbPath);

// The newest backup that passes verify().
std::optional<Entry> newestGood(const QString &dbPath);

// Whether a ledger file chosen anywhere may be put in the ledger's place, checked in this order:
// it opens as a database, passes integrity_check, holds the nine tables, and its version
// (PRAGMA user_version) is not above `newestVersion`.
enum class FileCheck { Good, CannotOpen, Damaged, NotALedger, Newer };
FileCheck checkFile(const QString &path, int newestVersion);

// Puts a verified backup in the ledger's place: the current ledger is backed up first (when it
// changed), opened and closed so that SQLite settles an interrupted action, then the backup's
// copy replaces it by rename. Fails, changing nothing, when any of that cannot be done; a
// ledger that cannot be backed up because it is damaged gives LedgerDamaged. A ledger that is
// a symbolic link stays one: the file it points to is replaced.
enum class RestoreOutcome { Restored, BadBackup, BackupFailed, LedgerDamaged, Failed };
RestoreOutcome restore(const QString &dbPath, const QString &backupPath, const QDateTime &now);
// The same for a damaged or missing ledger: a damaged one (with its journal) is kept as
// velmo.mdb.damaged-yyyyMMdd-HHmmss instead of being backed up.
RestoreOutcome restoreOverDamaged(const QString &dbPath, const QString &backupPath, const QDateTime &now);

} // namespace Backup
