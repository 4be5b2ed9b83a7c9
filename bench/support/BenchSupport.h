// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppContext.h"
#include "Clock.h"
#include "Dialogs.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

// What the benchmarks share: generated ledgers cached between runs, application directories
// holding a copy of one, a silent Dialogs, and a bare SQLite handle for the baselines.
class Database;

namespace BenchSupport {

// Generated ledgers are kept here, keyed by size, seed and generator version:
// $VELMO_LEDGER_CACHE if set, else <build dir>/bench/ledgers.
QString cacheDir();
// Scratch space for copies (same disk as the build, not a tmpfs): <build dir>/bench/work.
QString workDir();

// The path of the cached ledger with this many postings, generated on first use (which
// takes seconds for the large one). Never write to it: copy it (AppDir) first.
QString cachedLedger(qint64 postings, quint64 seed = 1);

// The ledger sizes a benchmark runs on by default: the large one, and the huge one as well
// when VELMO_BENCH_HUGE=1 is set (generating it takes a while the first time).
struct LedgerSize
{
    QString name; // "large", "huge"
    qint64 postings;
};
std::vector<LedgerSize> ledgerSizes();
// "what/<size>" or "what/<size>/peer" ("Lookup99/large/raw"), the names the report pairs.
std::string benchmarkName(const char *what, const LedgerSize &size, const char *peer = nullptr);

// One fixture of type T per ledger size for the whole program, made on first use.
template <typename T> T &fixtureFor(qint64 postings)
{
    static std::map<qint64, std::unique_ptr<T>> fixtures;
    std::unique_ptr<T> &f = fixtures[postings];
    if (!f)
        f = std::make_unique<T>(postings);
    return *f;
}

// Dialogs that show nothing: every question is answered Yes, every file picker cancelled.
class SilentDialogs : public Dialogs
{
public:
    void info(const QString &text) override;
    bool ask(const QString &text) override;
    std::optional<QString> saveFileName(const QString &, const QString &, const QString &) override;
    int shown = 0;
    QString last;
};

// `lines` log lines as the program writes them (cp932, CR LF, newest first).
QByteArray logText(int lines);

// An application directory under workDir(): velmo.mdb (a copy of a cached ledger, or a
// fresh empty one for postings == 0), AP.log with `logLines` lines, and the arrow picture.
class AppDir
{
public:
    explicit AppDir(qint64 postings, quint64 seed = 1, int logLines = 0);

    QString path() const { return m_dir.path(); }
    QString dbPath() const;
    QString logPath() const;
    // A context on this directory with silent dialogs and today's clock.
    AppContext context() { return AppContext {path(), &dialogs, &clock}; }

    SilentDialogs dialogs;
    Clock clock;

private:
    QTemporaryDir m_dir;
};

// An application directory whose ledger is brought to the program's version first, as the
// program does when it opens it: the setup of the benchmarks that read statements and exports.
class MigratedAppDir : public AppDir
{
public:
    explicit MigratedAppDir(qint64 postings);
};

// A statement or export file as the banks and services write it: code page 932, CR LF after
// every line.
QByteArray statementFile(const QStringList &lines);

// A bare SQLite connection (C API) for the baselines: the engine alone, without Qt or the
// connection layer. Aborts on failure; a benchmark has no use for a half-open handle.
class RawDb
{
public:
    explicit RawDb(const QString &path);
    ~RawDb();
    RawDb(const RawDb &) = delete;
    RawDb &operator=(const RawDb &) = delete;
    sqlite3 *handle() const { return m_db; }
    void exec(const char *sql);
    // Steps through every row of `sql`, reading its first column and adding its last to *sum.
    void stepAll(const QByteArray &sql, qint64 *sum);

private:
    sqlite3 *m_db = nullptr;
};

// The income posting's statements inside the caller's open transaction: the first place's
// balance read and raised by one yen, one income row of the first item appended.
void postOneYen(Database &db);

// Aborts the benchmark program with a message; for set-up failures.
[[noreturn]] void fail(const QString &what);

} // namespace BenchSupport
