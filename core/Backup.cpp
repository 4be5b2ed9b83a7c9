// SPDX-License-Identifier: GPL-3.0-or-later
#include "Backup.h"

#include "LedgerChanges.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QThread>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <future>
#include <mutex>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Backup {

namespace {

const QString StampFormat = QStringLiteral("yyyyMMdd-HHmmss");
const QString StateFile = QStringLiteral("velmo.state");
const QString CheckedFile = QStringLiteral("velmo.checked");
const QString SummarySuffix = QStringLiteral(".summary");
constexpr qint64 FullCheckEverySecs = 7 * 24 * 3600;
constexpr int BusyTimeoutMs = 3000;
// Pages copied per step; the snapshot stays one state because the source's read transaction
// spans every step.
constexpr int PagesPerStep = 1024;

// One backup or restore at a time in this process: the start's backup runs on a worker
// thread while the user may already be restoring.
std::recursive_mutex &serial()
{
    static std::recursive_mutex m;
    return m;
}

const std::array<const char *, 9> &tables()
{
    static const std::array<const char *, 9> t {"Hokan_T", "Kubun_T", "Nyuukin_T", "Syukkin_T", "N", "S",
        "Zidourireki_T", "Idourireki_T", "Ktanaorosi_T"};
    return t;
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(QFileInfo(path).absoluteFilePath());
}

// Waits for a lock in short, even steps, up to BusyTimeoutMs: a lock another connection holds
// only while it commits is taken in the first gap between two of its commits, where SQLite's
// own growing waits can keep missing every gap of a busy writer.
int retryBusy(void *, int attempts)
{
    if (attempts >= BusyTimeoutMs)
        return 0;
    ::usleep(1000);
    return 1;
}

// One connection through the C API, closed when it goes out of scope.
class Connection
{
public:
    Connection(const QString &path, int flags)
    {
        m_rc = sqlite3_open_v2(nativePath(path).constData(), &m_db, flags, nullptr);
        if (m_rc == SQLITE_OK)
            sqlite3_busy_handler(m_db, retryBusy, nullptr);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3 *handle() const { return m_db; }
    int code() const { return m_db ? sqlite3_extended_errcode(m_db) : m_rc; }
    QString error() const
    {
        return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(m_rc));
    }

    bool exec(const char *sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    // The first column of every row; nullopt on an error.
    std::optional<QStringList> column(const QByteArray &sql)
    {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            return std::nullopt;
        QStringList out;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            return std::nullopt;
        return out;
    }
    std::optional<qint64> integer(const QByteArray &sql)
    {
        const auto rows = column(sql);
        if (!rows || rows->size() != 1)
            return std::nullopt;
        return rows->first().toLongLong();
    }

private:
    sqlite3 *m_db = nullptr;
    int m_rc = SQLITE_ERROR;
};

Connection openReadOnly(const QString &path)
{
    return Connection(path, SQLITE_OPEN_READONLY);
}

// Row counts of the nine tables, in the order of tables().
std::optional<std::vector<qint64>> rowCounts(Connection &c)
{
    std::vector<qint64> counts;
    for (const char *t : tables()) {
        const auto n = c.integer(QByteArray("SELECT COUNT(*) FROM ") + t);
        if (!n)
            return std::nullopt;
        counts.push_back(*n);
    }
    return counts;
}

bool hasTables(Connection &c)
{
    const auto names = c.column("SELECT name FROM sqlite_master WHERE type = 'table'");
    if (!names)
        return false;
    return std::all_of(tables().begin(), tables().end(),
        [&](const char *t) { return names->contains(QString::fromLatin1(t), Qt::CaseInsensitive); });
}

bool integrityOk(Connection &c, const char *pragma, QString *error)
{
    const auto rows = c.column(pragma);
    if (rows && *rows == QStringList {QStringLiteral("ok")})
        return true;
    if (error)
        *error = rows ? rows->join(u'\n') : c.error();
    return false;
}

bool isCorruptCode(int code)
{
    return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}

// The copy of a ledger is read whole by the checks right after it is written, from the
// system's cache: mapped into memory, its pages need no copy through a read call each.
void mapWhole(Connection &c)
{
    c.exec("PRAGMA mmap_size = 4294967296");
}

// Flushes a file (or a folder's entries) to the disk.
bool syncPath(const QString &path, bool directory = false)
{
    const int fd = ::open(nativePath(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDWR);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Renames `from` to `to` only when nothing is there yet, so that a backup never replaces
// another one; flushes the folder.
bool renameNew(const QString &from, const QString &to)
{
    const QByteArray source = nativePath(from);
    const QByteArray target = nativePath(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) != 0) {
        // A file system without the flag: a hard link fails just the same on an existing name.
        if (errno != EINVAL || ::link(source.constData(), target.constData()) != 0)
            return false;
        ::unlink(source.constData());
    }
    syncPath(QFileInfo(to).absolutePath(), true);
    return true;
}

// The file a ledger path stands for: a symbolic link's target (which may not exist yet), else the
// path itself.
QString realPath(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    if (!fi.isSymLink())
        return fi.absoluteFilePath();
    const QString canonical = fi.canonicalFilePath();
    return canonical.isEmpty() ? fi.symLinkTarget() : canonical;
}

// The ledger's permission bits (its target's, for a link); owner-readable at least, so that
// the program can always read its own backups.
mode_t ledgerMode(const QString &dbPath)
{
    struct stat st
    {
    };
    if (::stat(nativePath(dbPath).constData(), &st) != 0)
        return S_IRUSR | S_IWUSR;
    return (st.st_mode & 0777) | S_IRUSR;
}

// Replaces `to` by `from` in one step, flushing the folder so the rename survives a power cut.
bool renameOver(const QString &from, const QString &to)
{
    if (std::rename(nativePath(from).constData(), nativePath(to).constData()) != 0)
        return false;
    syncPath(QFileInfo(to).absolutePath(), true);
    return true;
}

// What identifies one state of the ledger file; see changedSinceBackup().
QString fileState(const QString &dbPath)
{
    QFile f(dbPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray header = f.read(100);
    if (header.size() < 100)
        return {};
    const auto be32 = [&](int at) {
        const auto *p = reinterpret_cast<const uchar *>(header.constData() + at);
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    };
    const QFileInfo fi(dbPath);
    return QStringLiteral("%1 %2 %3 %4")
        .arg(be32(24))
        .arg(be32(28))
        .arg(fi.size())
        .arg(fi.lastModified().toMSecsSinceEpoch());
}

QString statePath(const QString &dbPath)
{
    return QDir(folder(dbPath)).filePath(StateFile);
}

// A backup's summary record and what ties it to the file: the file's size and its header's
// change counter.
QString summaryPath(const QString &backupPath)
{
    QString path = backupPath;
    path.chop(4); // ".mdb"
    return path + SummarySuffix;
}

QString fileIdentity(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray header = f.read(28);
    if (header.size() < 28)
        return {};
    return QStringLiteral("%1 %2").arg(f.size()).arg(QString::fromLatin1(header.mid(24, 4).toHex()));
}

QByteArray summaryText(const QString &identity, const Summary &s)
{
    return QStringLiteral("%1\n%2 %3 %4\n")
        .arg(identity)
        .arg(s.incomes)
        .arg(s.expenses)
        .arg(s.balance)
        .toUtf8();
}

// Writes `text` to `path` through a temporary file, with the given permission bits.
bool writeFile(const QString &path, const QByteArray &text, mode_t mode)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    ::fchmod(f.handle(), mode);
    f.write(text);
    return f.commit();
}

void recordState(const QString &dbPath, const QString &backupName, const QString &state)
{
    QSaveFile f(statePath(dbPath));
    if (!f.open(QIODevice::WriteOnly))
        return;
    f.write((backupName + u'\n' + state + u'\n').toUtf8());
    f.commit();
}

std::optional<QDateTime> stampOf(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^velmo-(\\d{8}-\\d{6})\\.mdb$"));
    const auto m = form.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    const QDateTime t = QDateTime::fromString(m.captured(1), StampFormat);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

// Temporary files of backups that never finished (the program was killed): removed once
// they are old enough not to belong to a backup running now.
void removeLeftovers(const QString &dir)
{
    const QDateTime limit = QDateTime::currentDateTime().addSecs(-3600);
    for (const QFileInfo &fi : QDir(dir).entryInfoList({QStringLiteral("velmo-*.tmp")}, QDir::Files)) {
        if (fi.lastModified() < limit)
            QFile::remove(fi.absoluteFilePath());
    }
    // A summary whose backup is gone (deleted by hand, or the program was killed before the
    // backup was renamed into place).
    for (const QFileInfo &fi :
        QDir(dir).entryInfoList({QStringLiteral("velmo-*") + SummarySuffix}, QDir::Files)) {
        QString backup = fi.absoluteFilePath();
        backup.chop(SummarySuffix.size());
        if (fi.lastModified() < limit && !QFileInfo::exists(backup + QStringLiteral(".mdb")))
            QFile::remove(fi.absoluteFilePath());
    }
}

// Copies the source's current state into `target` page by page, inside the source's read
// transaction. Returns an error text, empty on success.
QString copyPages(Connection &source, const QString &target)
{
    Connection dest(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!dest.ok())
        return dest.error();
    // The temporary file needs no journal of its own: a failed copy is thrown away whole.
    dest.exec("PRAGMA journal_mode = OFF");
    dest.exec("PRAGMA synchronous = OFF");
    sqlite3_backup *b = sqlite3_backup_init(dest.handle(), "main", source.handle(), "main");
    if (!b)
        return dest.error();
    int rc;
    int waits = 0;
    while ((rc = sqlite3_backup_step(b, PagesPerStep)) == SQLITE_OK || rc == SQLITE_BUSY
        || rc == SQLITE_LOCKED) {
        if (rc != SQLITE_OK) {
            if (++waits > BusyTimeoutMs / 10)
                break;
            QThread::msleep(10);
        }
    }
    const int finished = sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errstr(rc));
    if (finished != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errstr(finished));
    return {};
}

Result failed(const QString &temp, const QString &error)
{
    // A copy of a ledger in write-ahead mode is opened in that mode, with files of its own.
    if (!temp.isEmpty())
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(temp + QLatin1String(suffix));
    return Result {Outcome::Failed, {}, error, false, {}};
}

// After a failed backup: whether the ledger itself is damaged (rather than the disk full, the
// folder unwritable or the ledger locked), by the start's check and then the engine's quick_check.
bool ledgerIsDamaged(const QString &dbPath)
{
    const LedgerState state = checkLedger(dbPath);
    if (state == LedgerState::Damaged)
        return true;
    if (state != LedgerState::Sound)
        return false;
    Connection c = openReadOnly(dbPath);
    if (!c.ok())
        return isCorruptCode(c.code());
    const auto rows = c.column("PRAGMA quick_check");
    if (!rows)
        return isCorruptCode(c.code());
    return *rows != QStringList {QStringLiteral("ok")};
}

Result failedOn(const QString &dbPath, const QString &temp, const QString &error)
{
    Result r = failed(temp, error);
    r.ledgerDamaged = ledgerIsDamaged(dbPath);
    return r;
}

QString freeName(const QString &dir, QDateTime at)
{
    // Two backups in one second (a restore's own backup, then the exit's) both keep their
    // state: the later one takes the next free second.
    while (QFileInfo::exists(QDir(dir).filePath(fileName(at))))
        at = at.addSecs(1);
    return QDir(dir).filePath(fileName(at));
}

// Settles the ledger: opening it read-write and reading its schema makes SQLite roll back a
// hot journal. True when no journal is left with content.
bool settle(const QString &dbPath)
{
    {
        Connection c(dbPath, SQLITE_OPEN_READWRITE);
        if (!c.ok() || !c.column("SELECT COUNT(*) FROM sqlite_master"))
            return false;
    }
    // SQLite keeps the journal beside the file a link points to.
    return QFileInfo(realPath(dbPath) + QStringLiteral("-journal")).size() == 0;
}

// The copy of a backup beside the ledger, flushed, ready to be renamed over it; removed
// unless it was put in place.
class Replacement
{
public:
    Replacement(const QString &dbPath, const QString &backupPath)
        : m_dbPath(realPath(dbPath))
        , m_temp(m_dbPath + QStringLiteral(".restoring"))
    {
        QFile::remove(m_temp);
        // The restored ledger keeps the access rights of the one it replaces.
        const auto rights = QFileInfo::exists(m_dbPath) ? QFile::permissions(m_dbPath)
                                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner
                | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        m_ready
            = QFile::copy(backupPath, m_temp) && QFile::setPermissions(m_temp, rights) && syncPath(m_temp);
    }
    ~Replacement()
    {
        if (!m_done)
            QFile::remove(m_temp);
    }
    bool ready() const { return m_ready; }
    bool putInPlace()
    {
        m_done = m_ready && renameOver(m_temp, m_dbPath);
        return m_done;
    }

private:
    QString m_dbPath;
    QString m_temp;
    bool m_ready = false;
    bool m_done = false;
};

const QString SettingsFile = QStringLiteral("velmo.ini");
const QString SecondFolderKey = QStringLiteral("backup/second_folder");

std::mutex &faultLock()
{
    static std::mutex m;
    return m;
}
CopyFault &injectedFault()
{
    static CopyFault fault;
    return fault;
}

// The outcome an errno of the second folder's file system stands for.
CopyOutcome outcomeOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return CopyOutcome::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
        return CopyOutcome::ReadOnly;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return CopyOutcome::Full;
    default:
        return CopyOutcome::Failed;
    }
}

Copy copyFailed(const QString &folder, CopyOutcome outcome, const QString &error, const QString &temp = {})
{
    if (!temp.isEmpty())
        QFile::remove(temp);
    return Copy {outcome, folder, {}, error};
}

// Copies the file `from` into the new file `to` (created with `mode`) and flushes it; 0, or
// the errno of what failed. The kernel copies within itself where it can.
int copyFile(const QString &from, const QString &to, mode_t mode)
{
    CopyFault fault;
    {
        const std::lock_guard lock(faultLock());
        fault = injectedFault();
    }
    const int in = ::open(nativePath(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = fault.createError
        ? (errno = fault.createError, -1)
        : ::open(nativePath(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    int error = 0;
    qint64 written = 0;
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        qint64 chunk = qint64(1) << 24;
        if (fault.room >= 0) {
            chunk = std::min(chunk, fault.room - written);
            if (chunk <= 0) {
                // Past the room: a full folder, unless the file is whole already.
                char probe;
                if (::pread(in, &probe, 1, written) > 0)
                    error = ENOSPC;
                break;
            }
        }
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr, size_t(chunk), 0);
            if (n < 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
        } else {
            buffer.resize(size_t(std::min<qint64>(chunk, 1 << 20)));
            n = ::read(in, buffer.data(), buffer.size());
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
                if (w < 0) {
                    n = -1;
                    break;
                }
                done += w;
            }
        }
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
        written += n;
    }
    if (!error && fault.wrongByteAt >= 0 && fault.wrongByteAt < written) {
        char byte = 0;
        if (::pread(in, &byte, 1, fault.wrongByteAt) == 1) {
            byte = char(~byte);
            if (::pwrite(out, &byte, 1, fault.wrongByteAt) != 1)
                error = errno;
        }
    }
    if (!error && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && !error)
        error = errno;
    ::close(in);
    return error;
}

// Removes the backups of a folder that kept() does not keep, with their summaries.
QStringList rotateFolder(const QString &dir, const QDateTime &now)
{
    const QList<Entry> all = listFolder(dir);
    QList<QDateTime> times;
    for (const Entry &e : all)
        times << e.created;
    const QList<QDateTime> keep = kept(times, now);
    QStringList removed;
    for (const Entry &e : all) {
        if (!keep.contains(e.created) && QFile::remove(e.path)) {
            QFile::remove(summaryPath(e.path));
            removed << e.path;
        }
    }
    return removed;
}

// The first half of a copy into `dir`: the file `source` written there under a temporary name
// stamped `stamp`, flushed. On success the outcome is Copied and `path` is the temporary file.
Copy beginCopy(const QString &source, const QString &dir, const QDateTime &stamp, mode_t mode)
{
    const QFileInfo target(dir);
    if (!target.exists())
        return copyFailed(dir, CopyOutcome::Missing, QStringLiteral("no folder ") + dir);
    if (!target.isDir())
        return copyFailed(dir, CopyOutcome::Failed, QStringLiteral("not a folder: ") + dir);
    removeLeftovers(dir);
    const QString temp = QDir(dir).filePath(QStringLiteral("velmo-%1-%2.tmp")
                                                .arg(stamp.toString(StampFormat))
                                                .arg(QCoreApplication::applicationPid()));
    QFile::remove(temp);
    if (const int error = copyFile(source, temp, mode))
        return copyFailed(dir, outcomeOf(error),
            QStringLiteral("cannot copy to %1: %2").arg(temp, QString::fromLocal8Bit(std::strerror(error))),
            temp);
    return Copy {CopyOutcome::Copied, dir, temp, {}};
}

// Whether two files hold the same bytes.
bool sameBytes(const QString &a, const QString &b)
{
    QFile x(a), y(b);
    if (!x.open(QIODevice::ReadOnly) || !y.open(QIODevice::ReadOnly) || x.size() != y.size())
        return false;
    constexpr qint64 Chunk = qint64(1) << 22;
    QByteArray p(Chunk, Qt::Uninitialized), q(Chunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = x.read(p.data(), Chunk);
        if (n < 0 || y.read(q.data(), Chunk) != n)
            return false;
        if (n == 0)
            return true;
        if (std::memcmp(p.constData(), q.constData(), size_t(n)) != 0)
            return false;
    }
}

// The second half: the temporary copy of the backup `backupPath` checked with `pragma` and,
// when known, against the row counts of the ledger it was taken from — or, without a pragma,
// compared byte for byte with the backup, which has been checked; then put under the backup's
// name with its summary, and the folder rotated.
Copy finishCopy(const Copy &begun, const QString &backupPath, const QDateTime &now, const char *pragma,
    const std::vector<qint64> *counts)
{
    if (begun.outcome != CopyOutcome::Copied)
        return begun;
    const QString dir = begun.folder;
    const QString temp = begun.path;
    const auto stamp = stampOf(QFileInfo(backupPath).fileName());
    if (!stamp)
        return copyFailed(dir, CopyOutcome::Failed, QStringLiteral("not a backup: ") + backupPath, temp);
    if (!pragma) {
        if (!sameBytes(temp, backupPath))
            return copyFailed(
                dir, CopyOutcome::Failed, QStringLiteral("the copy differs from ") + backupPath, temp);
    } else {
        Connection copy = openReadOnly(temp);
        mapWhole(copy);
        QString checkError;
        if (!copy.ok() || !integrityOk(copy, pragma, &checkError))
            return copyFailed(
                dir, CopyOutcome::Failed, QStringLiteral("check of the copy: ") + checkError, temp);
        if (counts ? rowCounts(copy) != *counts : !hasTables(copy))
            return copyFailed(dir, CopyOutcome::Failed, QStringLiteral("the copy's tables differ"), temp);
    }
    const mode_t mode = ledgerMode(backupPath);
    QFile summaryFile(summaryPath(backupPath));
    const QByteArray summary = summaryFile.open(QIODevice::ReadOnly) ? summaryFile.readAll() : QByteArray();
    for (QDateTime at = *stamp;; at = at.addSecs(1)) {
        const QString final = freeName(dir, at);
        // As beside the ledger, the summary goes first.
        if (!summary.isEmpty())
            writeFile(summaryPath(final), summary, mode);
        if (renameNew(temp, final)) {
            rotateFolder(dir, now);
            return Copy {CopyOutcome::Copied, dir, final, {}};
        }
        const int error = errno;
        if (!summary.isEmpty())
            QFile::remove(summaryPath(final));
        if (error != EEXIST)
            return copyFailed(dir, outcomeOf(error), QStringLiteral("cannot rename to ") + final, temp);
    }
}

// A whole copy of a finished backup into `dir`.
Copy copyInto(const QString &backupPath, const QString &dir, const QDateTime &now, const char *pragma)
{
    const auto stamp = stampOf(QFileInfo(backupPath).fileName());
    if (!stamp)
        return copyFailed(dir, CopyOutcome::Failed, QStringLiteral("not a backup: ") + backupPath);
    return finishCopy(
        beginCopy(backupPath, dir, *stamp, ledgerMode(backupPath)), backupPath, now, pragma, nullptr);
}

// The copy of a new backup into the second folder, begun on its own thread as soon as the
// snapshot is written, so that it is written and flushed there while the snapshot is flushed
// and checked beside the ledger. A copy never finished is removed.
// The engine's check of the ledger on a connection of its own and a thread of its own. Its
// read begins before the constructor returns, while the caller's read transaction holds the
// ledger as it is being copied; result() waits for the check. The read does not wait for a
// writer that is about to commit (it would wait for the caller's read, which waits for this
// one): then began() is false and nothing is checked.
class SnapshotCheck
{
public:
    SnapshotCheck(const QString &dbPath, const char *pragma)
    {
        std::promise<bool> reading;
        std::future<bool> began = reading.get_future();
        m_result = std::async(std::launch::async, [dbPath, pragma, reading = std::move(reading)]() mutable {
            Connection c = openReadOnly(dbPath);
            if (c.ok())
                sqlite3_busy_handler(c.handle(), nullptr, nullptr);
            mapWhole(c);
            const bool read
                = c.ok() && c.exec("BEGIN") && c.column("SELECT COUNT(*) FROM sqlite_master").has_value();
            reading.set_value(read);
            if (!read)
                return QString();
            QString error;
            if (!integrityOk(c, pragma, &error))
                return error.isEmpty() ? c.error() : error;
            c.exec("COMMIT");
            return QString();
        });
        m_began = began.get();
    }
    SnapshotCheck(const SnapshotCheck &) = delete;
    SnapshotCheck &operator=(const SnapshotCheck &) = delete;
    ~SnapshotCheck()
    {
        if (m_result.valid())
            m_result.wait();
    }

    bool began() const { return m_began; }
    // Empty when the check found the ledger sound.
    QString result() { return m_result.get(); }

private:
    std::future<QString> m_result;
    bool m_began = false;
};

class EarlyCopy
{
public:
    EarlyCopy(const QString &snapshot, const QString &dir, const QDateTime &stamp, mode_t mode)
    {
        if (!dir.isEmpty())
            m_copy = std::async(std::launch::async, [=] { return beginCopy(snapshot, dir, stamp, mode); });
    }
    ~EarlyCopy()
    {
        if (m_copy.valid()) {
            const Copy begun = m_copy.get();
            if (begun.outcome == CopyOutcome::Copied)
                QFile::remove(begun.path);
        }
    }
    EarlyCopy(const EarlyCopy &) = delete;
    EarlyCopy &operator=(const EarlyCopy &) = delete;

    // Waits until the copy has read the snapshot: the snapshot must keep its name until then.
    void waitForRead()
    {
        if (m_copy.valid())
            m_copy.wait();
    }

    // The copy compared with the backup, which has been checked, byte for byte.
    Copy finish(const QString &backupPath, const QDateTime &now)
    {
        if (!m_copy.valid())
            return {};
        return finishCopy(m_copy.get(), backupPath, now, nullptr, nullptr);
    }

private:
    std::future<Copy> m_copy;
};

// The newest backup into the second folder, when it does not hold that backup yet.
Copy catchUp(const QString &dbPath, const QDateTime &now)
{
    const QString dir = secondFolder(dbPath);
    const QList<Entry> all = list(dbPath);
    if (dir.isEmpty() || all.isEmpty())
        return {};
    const QString there = QDir(dir).filePath(QFileInfo(all.first().path).fileName());
    if (QFileInfo(there).isFile() && fileIdentity(there) == fileIdentity(all.first().path))
        return Copy {CopyOutcome::None, dir, {}, {}};
    return copyInto(all.first().path, dir, now, "PRAGMA integrity_check");
}

} // namespace

QString folder(const QString &dbPath)
{
    return QFileInfo(dbPath).absoluteDir().filePath(QStringLiteral("backup"));
}

QString fileName(const QDateTime &at)
{
    return QStringLiteral("velmo-") + at.toString(StampFormat) + QStringLiteral(".mdb");
}

QList<Entry> listFolder(const QString &dir)
{
    QList<Entry> out;
    for (const QFileInfo &fi : QDir(dir).entryInfoList({QStringLiteral("velmo-*.mdb")}, QDir::Files)) {
        if (const auto t = stampOf(fi.fileName()))
            out.append(Entry {fi.absoluteFilePath(), *t});
    }
    std::sort(out.begin(), out.end(), [](const Entry &a, const Entry &b) { return a.created > b.created; });
    return out;
}

QList<Entry> list(const QString &dbPath)
{
    return listFolder(folder(dbPath));
}

QString secondFolder(const QString &dbPath)
{
    const QSettings settings(QFileInfo(dbPath).absoluteDir().filePath(SettingsFile), QSettings::IniFormat);
    return settings.value(SecondFolderKey).toString();
}

bool setSecondFolder(const QString &dbPath, const QString &dir)
{
    QSettings settings(QFileInfo(dbPath).absoluteDir().filePath(SettingsFile), QSettings::IniFormat);
    if (dir.isEmpty())
        settings.remove(SecondFolderKey);
    else
        settings.setValue(SecondFolderKey, QDir::cleanPath(dir));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

Copy copyTo(const QString &backupPath, const QString &dir, const QDateTime &now)
{
    const std::lock_guard lock(serial());
    return copyInto(backupPath, dir, now, "PRAGMA integrity_check");
}

void setCopyFault(const CopyFault &fault)
{
    const std::lock_guard lock(faultLock());
    injectedFault() = fault;
}

bool changedSinceBackup(const QString &dbPath)
{
    QFile f(statePath(dbPath));
    if (!f.open(QIODevice::ReadOnly))
        return true;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    if (lines.size() < 2 || !QFileInfo::exists(QDir(folder(dbPath)).filePath(lines.at(0))))
        return true;
    const QString now = fileState(dbPath);
    return now.isEmpty() || now != lines.at(1);
}

Result take(const QString &dbPath, const QDateTime &now, bool force, Check check, Writers writers)
{
    const std::lock_guard lock(serial());
    if (!QFileInfo(dbPath).isFile())
        return Result {Outcome::NoLedger, {}, {}, false, {}};
    if (!force && !changedSinceBackup(dbPath))
        return Result {Outcome::Unchanged, {}, {}, false, catchUp(dbPath, now)};
    const QString dir = folder(dbPath);
    if (!QDir().mkpath(dir))
        return failed({}, QStringLiteral("cannot create ") + dir);
    removeLeftovers(dir);

    const QString temp = QDir(dir).filePath(QStringLiteral("velmo-%1-%2.tmp")
                                                .arg(now.toString(StampFormat))
                                                .arg(QCoreApplication::applicationPid()));
    QFile::remove(temp);
    // Made private before SQLite writes to it; it gets the ledger's rights once it is whole.
    const int fd = ::open(nativePath(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return failed({}, QStringLiteral("cannot create ") + temp);
    ::close(fd);

    // Read-write, so that a hot journal left by a killed session is rolled back first.
    Connection source(dbPath, SQLITE_OPEN_READWRITE);
    if (!source.ok())
        return failedOn(dbPath, temp, source.error());
    if (!source.exec("BEGIN"))
        return failedOn(dbPath, temp, source.error());
    const char *pragma = check == Check::Full ? "PRAGMA integrity_check" : "PRAGMA quick_check";
    // When the program writes no more, the engine's check reads the ledger on a connection of
    // its own while the pages are counted and copied: the copy holds exactly the pages checked.
    // Only where no write can come between the two readings (a rollback journal: the copy's read
    // lock, taken first, keeps every writer out until both have begun); otherwise the copy is
    // checked after.
    std::optional<SnapshotCheck> alongside;
    if (writers == Writers::Done
        && source.column("PRAGMA journal_mode") != QStringList {QStringLiteral("wal")}
        && source.column("SELECT COUNT(*) FROM sqlite_master")) {
        alongside.emplace(dbPath, pragma);
        if (!alongside->began())
            alongside.reset();
    }
    const auto counts = rowCounts(source); // under the read lock the whole copy runs under
    const auto balance
        = counts ? source.integer("SELECT COALESCE(SUM(H_money), 0) FROM Hokan_T") : std::nullopt;
    if (!balance) {
        const QString error = source.error();
        source.exec("ROLLBACK");
        return failedOn(dbPath, temp, error);
    }
    const QString state = fileState(dbPath);
    const QString copyError = copyPages(source, temp);
    source.exec("COMMIT");
    if (!copyError.isEmpty())
        return failedOn(dbPath, temp, copyError);
    // The verified copy itself goes to the second folder, not a second snapshot of the ledger.
    EarlyCopy second(temp, secondFolder(dbPath), now, ledgerMode(dbPath));
    // The disk writes the copy while it is checked from memory; both must succeed before the
    // copy takes a backup's name.
    auto flushed = std::async(std::launch::async, [&temp] { return syncPath(temp); });
    QString checkError;
    bool copyDamaged = false;
    {
        Connection copy = openReadOnly(temp);
        mapWhole(copy);
        if (!copy.ok() || (!alongside && !integrityOk(copy, pragma, &checkError))) {
            copyDamaged = true;
            checkError
                = QStringLiteral("check of the copy: ") + (checkError.isEmpty() ? copy.error() : checkError);
        } else if (const auto copied = rowCounts(copy); !copied || *copied != *counts) {
            checkError = QStringLiteral("the row counts differ from the ledger's");
        }
    }
    if (alongside && !copyDamaged) {
        if (const QString error = alongside->result(); !error.isEmpty()) {
            copyDamaged = true;
            checkError = QStringLiteral("check of the ledger as copied: ") + error;
        }
    }
    if (!flushed.get())
        return failed(temp, QStringLiteral("cannot flush ") + temp);
    if (copyDamaged)
        return failedOn(dbPath, temp, checkError);
    if (!checkError.isEmpty())
        return failed(temp, checkError);
    if (::chmod(nativePath(temp).constData(), ledgerMode(dbPath)) != 0)
        return failed(temp, QStringLiteral("cannot set the rights of ") + temp);

    // The copy reads the snapshot by its temporary name: a thread started late must still find it.
    second.waitForRead();
    // Two programs never share a folder, but a name is still never reused: the rename fails
    // rather than replace a backup, and the next free second is tried.
    QString final;
    QString summary;
    for (QDateTime at = now;; at = at.addSecs(1)) {
        final = freeName(dir, at);
        summary = summaryPath(final);
        // The summary goes first: a backup without one is only slower to list, a summary
        // without its backup is removed later.
        writeFile(summary, summaryText(fileIdentity(temp), Summary {counts->at(4), counts->at(5), *balance}),
            ledgerMode(dbPath));
        if (renameNew(temp, final))
            break;
        const int error = errno;
        QFile::remove(summary);
        if (error != EEXIST)
            return failed(temp, QStringLiteral("cannot rename to ") + final);
    }
    recordState(dbPath, QFileInfo(final).fileName(), state);
    if (check == Check::Full)
        writeFile(QDir(dir).filePath(CheckedFile), now.toString(StampFormat).toUtf8(), 0644);
    rotate(dbPath, now);
    return Result {Outcome::Taken, final, {}, false, second.finish(final, now)};
}

bool fullCheckDue(const QString &dbPath, const QDateTime &now)
{
    QFile f(QDir(folder(dbPath)).filePath(CheckedFile));
    if (!f.open(QIODevice::ReadOnly))
        return true;
    const QDateTime last = QDateTime::fromString(QString::fromUtf8(f.readAll()).trimmed(), StampFormat);
    return !last.isValid() || std::abs(last.secsTo(now)) >= FullCheckEverySecs;
}

Result takeAtStart(const QString &dbPath, const QDateTime &now)
{
    const std::lock_guard lock(serial());
    if (!fullCheckDue(dbPath, now))
        return take(dbPath, now);
    Result r = take(dbPath, now, false, Check::Full);
    if (r.outcome != Outcome::Unchanged)
        return r;
    // The ledger is as the newest backup holds it: that backup gets the full check instead.
    const QList<Entry> all = list(dbPath);
    if (!all.isEmpty() && verify(all.first().path)) {
        writeFile(QDir(folder(dbPath)).filePath(CheckedFile), now.toString(StampFormat).toUtf8(), 0644);
        return r;
    }
    return take(dbPath, now, true, Check::Full);
}

QList<QDateTime> kept(QList<QDateTime> times, const QDateTime &now)
{
    std::sort(times.begin(), times.end(), std::greater<>());
    QSet<int> keep;
    QSet<int> monthsSeen;
    QSet<int> yearsSeen;
    int older = 0;
    // Times are newest first, so the first one seen in a month or year is its newest.
    for (int i = 0; i < times.size(); ++i) {
        const QDate d = times.at(i).date();
        if (times.at(i) > now || ++older <= 10) {
            keep.insert(i);
            if (times.at(i) > now)
                continue;
        }
        const int month = d.year() * 12 + d.month();
        if (monthsSeen.contains(month))
            continue;
        if (monthsSeen.size() < 12) {
            monthsSeen.insert(month);
            keep.insert(i);
        } else if (!yearsSeen.contains(d.year())) {
            yearsSeen.insert(d.year());
            keep.insert(i);
        }
    }
    QList<QDateTime> out;
    for (int i = 0; i < times.size(); ++i) {
        if (keep.contains(i))
            out << times.at(i);
    }
    return out;
}

QStringList rotate(const QString &dbPath, const QDateTime &now)
{
    return rotateFolder(folder(dbPath), now);
}

bool verify(const QString &path, QString *error)
{
    Connection c = openReadOnly(path);
    if (!c.ok()) {
        if (error)
            *error = c.error();
        return false;
    }
    if (!integrityOk(c, "PRAGMA integrity_check", error))
        return false;
    if (!hasTables(c)) {
        if (error)
            *error = QStringLiteral("tables are missing");
        return false;
    }
    return true;
}

FileCheck checkFile(const QString &path, int newestVersion)
{
    if (!QFileInfo(path).isFile())
        return FileCheck::CannotOpen;
    Connection c = openReadOnly(path);
    // A file that is no database opens; its first read fails.
    const auto pages = c.ok() ? c.integer("PRAGMA page_count") : std::nullopt;
    if (!pages)
        return (c.code() & 0xff) == SQLITE_CORRUPT ? FileCheck::Damaged : FileCheck::CannotOpen;
    if (!integrityOk(c, "PRAGMA integrity_check", nullptr))
        return FileCheck::Damaged;
    if (!hasTables(c))
        return FileCheck::NotALedger;
    const auto version = c.integer("PRAGMA user_version");
    return version && *version <= newestVersion ? FileCheck::Good : FileCheck::Newer;
}

std::optional<Summary> summarize(const QString &path)
{
    Connection c = openReadOnly(path);
    if (!c.ok() || !c.exec("BEGIN"))
        return std::nullopt;
    const auto n = c.integer("SELECT COUNT(*) FROM N");
    const auto s = c.integer("SELECT COUNT(*) FROM S");
    const auto money = c.integer("SELECT COALESCE(SUM(H_money), 0) FROM Hokan_T");
    c.exec("COMMIT");
    if (!n || !s || !money)
        return std::nullopt;
    return Summary {*n, *s, *money};
}

std::optional<Summary> recordedSummary(const QString &path)
{
    QFile f(summaryPath(path));
    if (f.open(QIODevice::ReadOnly)) {
        const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
        const QStringList values = lines.value(1).split(u' ');
        bool ok[3] = {false, false, false};
        if (lines.size() >= 2 && lines.at(0) == fileIdentity(path) && values.size() == 3) {
            const Summary s {values.at(0).toLongLong(&ok[0]), values.at(1).toLongLong(&ok[1]),
                values.at(2).toLongLong(&ok[2])};
            if (ok[0] && ok[1] && ok[2])
                return s;
        }
    }
    // A backup made before summaries were kept, or replaced by hand: counted once, then recorded.
    const auto counted = summarize(path);
    if (counted)
        writeFile(summaryPath(path), summaryText(fileIdentity(path), *counted), ledgerMode(path));
    return counted;
}

LedgerState checkLedger(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    if (!fi.exists())
        return LedgerState::Missing;
    if (!fi.isFile())
        return LedgerState::Unknown;
    Connection c(dbPath, SQLITE_OPEN_READWRITE);
    if (!c.ok())
        return LedgerState::Unknown;
    const auto pageSize = c.integer("PRAGMA page_size");
    const auto pages = c.integer("PRAGMA page_count");
    const int code = c.code() & 0xff;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
        return LedgerState::Damaged;
    if (!pageSize || !pages)
        return LedgerState::Unknown;
    // A file cut short holds fewer pages than its header says; an empty file has no tables.
    if (*pageSize * *pages > QFileInfo(dbPath).size() || !hasTables(c)) {
        const int schemaCode = c.code() & 0xff;
        return schemaCode == SQLITE_BUSY || schemaCode == SQLITE_LOCKED ? LedgerState::Unknown
                                                                        : LedgerState::Damaged;
    }
    return LedgerState::Sound;
}

bool deepCheck(const QString &dbPath)
{
    Connection c = openReadOnly(dbPath);
    return c.ok() && integrityOk(c, "PRAGMA quick_check", nullptr);
}

std::optional<Entry> newestGood(const QString &dbPath)
{
    for (const Entry &e : list(dbPath)) {
        if (verify(e.path))
            return e;
    }
    return std::nullopt;
}

namespace {

// Verifies the backup and copies it beside the ledger; then `makeWay` readies the ledger's
// place, and the copy is renamed into it.
RestoreOutcome replaceWith(
    const QString &dbPath, const QString &backupPath, const std::function<RestoreOutcome()> &makeWay)
{
    const std::lock_guard lock(serial());
    if (!verify(backupPath))
        return RestoreOutcome::BadBackup;
    // Copied first: the backup of the current ledger may rotate the chosen one away.
    Replacement replacement(dbPath, backupPath);
    if (!replacement.ready())
        return RestoreOutcome::Failed;
    const RestoreOutcome ready = makeWay();
    if (ready != RestoreOutcome::Restored)
        return ready;
    if (!replacement.putInPlace())
        return RestoreOutcome::Failed;
    LedgerChanges::announce(dbPath);
    return RestoreOutcome::Restored;
}

} // namespace

RestoreOutcome restore(const QString &dbPath, const QString &backupPath, const QDateTime &now)
{
    return replaceWith(dbPath, backupPath, [&] {
        const Result taken = take(dbPath, now);
        if (taken.outcome == Outcome::Failed)
            return taken.ledgerDamaged ? RestoreOutcome::LedgerDamaged : RestoreOutcome::BackupFailed;
        if (QFileInfo::exists(dbPath) && !settle(dbPath))
            return RestoreOutcome::Failed;
        return RestoreOutcome::Restored;
    });
}

RestoreOutcome restoreOverDamaged(const QString &dbPath, const QString &backupPath, const QDateTime &now)
{
    return replaceWith(dbPath, backupPath, [&] {
        const QString real = realPath(dbPath);
        if (!QFileInfo::exists(real))
            return RestoreOutcome::Restored;
        // The damaged file and its journal move together, the journal first: a journal must
        // never be left beside a file it does not belong to.
        const QString aside = real + QStringLiteral(".damaged-") + now.toString(StampFormat);
        const QString journal = real + QStringLiteral("-journal");
        if (QFileInfo::exists(journal) && !renameOver(journal, aside + QStringLiteral("-journal")))
            return RestoreOutcome::Failed;
        return renameOver(real, aside) ? RestoreOutcome::Restored : RestoreOutcome::Failed;
    });
}

} // namespace Backup
