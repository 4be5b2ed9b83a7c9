// SPDX-License-Identifier: GPL-3.0-or-later
// Backups on the large ledger: the backup at the end of a run (snapshot, flush, verification,
// rename), with and without a second folder on the same disk that gets a checked copy of it,
// beside the same snapshot through the sqlite3 C API alone (`raw`: backup_step and a
// flush, no verification); the main menu shown while the start's backup runs on its worker
// thread; a posting committed while a backup runs; and the check of the ledger at start,
// beside the engine's quick_check of the whole file; the restore window opened on 25 backups,
// with the summaries recorded when they were taken and, beside it, counted from each backup
// (as for backups made before summaries were kept, the first time the window lists them).
#include "Backup.h"
#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Grid.h"
#include "MainMenu.h"
#include "RestoreWindow.h"
#include "SessionBackup.h"
#include "Tasks.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <fcntl.h>
#include <optional>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace BenchSupport;

// Removes every backup, so that each iteration takes a new one of the same kind.
void clearBackups(const QString &dbPath)
{
    QDir(Backup::folder(dbPath)).removeRecursively();
}

void takeBackups(benchmark::State &state, qint64 postings, Backup::Check check, Backup::Writers writers,
    bool secondFolder = false)
{
    AppDir dir(postings);
    const QString second = QDir(dir.path()).filePath(QStringLiteral("second"));
    if (secondFolder && !(QDir().mkpath(second) && Backup::setSecondFolder(dir.dbPath(), second)))
        state.SkipWithError("cannot set the second folder");
    QDateTime at(QDate(2025, 12, 31), QTime(21, 0, 0));
    for (auto _ : state) {
        state.PauseTiming();
        clearBackups(dir.dbPath());
        if (secondFolder) {
            QDir(second).removeRecursively();
            QDir().mkpath(second);
        }
        state.ResumeTiming();
        const Backup::Result r = Backup::take(dir.dbPath(), at, false, check, writers);
        if (r.outcome != Backup::Outcome::Taken)
            state.SkipWithError("the backup failed");
        if (secondFolder && r.second.outcome != Backup::CopyOutcome::Copied)
            state.SkipWithError("the copy into the second folder failed");
    }
}

void exitBackup(benchmark::State &state, qint64 postings)
{
    takeBackups(state, postings, Backup::Check::Quick, Backup::Writers::Done);
    state.counters["target_ms"] = 1000;
}

// The same with a second folder on the same disk: the verified copy is copied there and checked.
void exitBackupSecondFolder(benchmark::State &state, qint64 postings)
{
    takeBackups(state, postings, Backup::Check::Quick, Backup::Writers::Done, true);
    state.counters["target_ms"] = postings >= 2'000'000 ? 1500 : 1000;
}

// The weekly backup at start, on its worker thread: the copy checked with integrity_check.
void exitBackupFullCheck(benchmark::State &state, qint64 postings)
{
    takeBackups(state, postings, Backup::Check::Full, Backup::Writers::Expected);
}

void exitBackupRaw(benchmark::State &state, qint64 postings)
{
    AppDir dir(postings);
    const QByteArray target = QDir(dir.path()).filePath(QStringLiteral("copy.mdb")).toUtf8();
    for (auto _ : state) {
        state.PauseTiming();
        ::unlink(target.constData());
        state.ResumeTiming();
        RawDb source(dir.dbPath());
        sqlite3 *dest = nullptr;
        sqlite3_open_v2(target.constData(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(dest, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr, nullptr);
        sqlite3_backup *b = sqlite3_backup_init(dest, "main", source.handle(), "main");
        const int rc = b ? sqlite3_backup_step(b, -1) : SQLITE_ERROR;
        sqlite3_backup_finish(b);
        sqlite3_close_v2(dest);
        const int fd = ::open(target.constData(), O_RDWR);
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        ::close(fd);
        if (rc != SQLITE_DONE || !synced)
            state.SkipWithError("the raw backup failed");
    }
}

// The main menu of a run whose start must take a backup (the last run was killed): from the
// menu's construction until it is on the screen, with the backup started just before it shows.
void startWithBackupPending(benchmark::State &state, qint64 postings)
{
    AppDir dir(postings, 1, 10'000);
    const AppContext context = dir.context();
    for (auto _ : state) {
        state.PauseTiming();
        clearBackups(dir.dbPath());
        std::optional<MainMenu> menu;
        std::optional<SessionBackup> backup;
        state.ResumeTiming();

        backup.emplace(context);
        backup->checkLedger();
        menu.emplace(context);
        menu->setQuit([] {});
        registerTasks(*menu);
        menu->load();
        menu->show();
        backup->startInBackground();
        if (!QTest::qWaitForWindowExposed(&*menu)) {
            state.SkipWithError("the main menu was never exposed");
            break;
        }

        state.PauseTiming();
        if (backup->idle())
            state.SkipWithError("the backup was no longer pending when the menu showed");
        backup.reset(); // waits for the backup
        menu.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["target_ms"] = 300;
}

// One posting's transaction (balance read, update, history row) committed while a backup runs
// on another thread: it waits for the backup's read lock at most, and it must succeed.
void postingDuringBackup(benchmark::State &state, qint64 postings)
{
    AppDir dir(postings);
    qint64 failures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        clearBackups(dir.dbPath());
        std::thread worker([&] { Backup::take(dir.dbPath(), QDateTime::currentDateTime(), true); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the copy is under way
        state.ResumeTiming();
        try {
            Database db(dir.dbPath());
            db.beginWrite();
            Cursor c
                = db.query(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = '普通預金Ａ銀行'"));
            db.execute(
                QStringLiteral("UPDATE Hokan_T SET H_money = H_money + 1 WHERE H_index = '普通預金Ａ銀行'"));
            db.insert(QStringLiteral("N"),
                {{QStringLiteral("N_index"), QStringLiteral("給料")},
                    {QStringLiteral("N_hokan"), QStringLiteral("普通預金Ａ銀行")},
                    {QStringLiteral("N_money"), 1}, {QStringLiteral("N_date"), 20251231}});
            db.commit();
        } catch (const DbError &) {
            ++failures;
        }
        state.PauseTiming();
        worker.join();
        state.ResumeTiming();
    }
    if (failures > 0)
        state.SkipWithError("a posting failed while a backup ran");
    state.counters["target_ms"] = 1000;
}

// 25 backups of the ledger: one taken, the others hard links to it under other names (the
// window reads each one's summary, or the backup itself, the same way whatever it holds).
class TwentyFiveBackups
{
public:
    explicit TwentyFiveBackups(qint64 postings)
        : m_dir(postings)
    {
        const QDateTime first(QDate(2025, 1, 1), QTime(21, 0, 0));
        const QString taken = Backup::take(m_dir.dbPath(), first, true).path;
        QString summary = taken;
        summary.replace(QStringLiteral(".mdb"), QStringLiteral(".summary"));
        for (int i = 1; i < 25; ++i) {
            const QString name
                = QDir(Backup::folder(m_dir.dbPath())).filePath(Backup::fileName(first.addDays(i)));
            QString other = name;
            other.replace(QStringLiteral(".mdb"), QStringLiteral(".summary"));
            if (::link(QFile::encodeName(taken).constData(), QFile::encodeName(name).constData()) != 0
                || !QFile::copy(summary, other))
                qFatal("cannot make the backups");
        }
    }
    AppContext context() { return m_dir.context(); }
    void dropSummaries()
    {
        for (const QString &f : QDir(Backup::folder(m_dir.dbPath())).entryList({QStringLiteral("*.summary")}))
            QFile::remove(QDir(Backup::folder(m_dir.dbPath())).filePath(f));
    }

private:
    AppDir m_dir;
};

void restoreWindowOpen(benchmark::State &state, qint64 postings, bool summaries)
{
    TwentyFiveBackups &backups = fixtureFor<TwentyFiveBackups>(postings);
    for (auto _ : state) {
        if (!summaries) {
            // The window records what it counted: each time is the first.
            state.PauseTiming();
            backups.dropSummaries();
            state.ResumeTiming();
        }
        RestoreWindow window(backups.context());
        window.load();
        window.show();
        if (window.findChild<Grid *>(QStringLiteral("SP"))->maxRows() != 25)
            state.SkipWithError("the window does not list 25 backups");
    }
    if (summaries)
        state.counters["target_ms"] = 300;
}

void restoreOpen(benchmark::State &state, qint64 postings)
{
    restoreWindowOpen(state, postings, true);
}

void restoreOpenCounted(benchmark::State &state, qint64 postings)
{
    restoreWindowOpen(state, postings, false);
}

void startCheck(benchmark::State &state, qint64 postings)
{
    const QString path = cachedLedger(postings);
    for (auto _ : state) {
        if (Backup::checkLedger(path) != Backup::LedgerState::Sound)
            state.SkipWithError("the ledger was not found sound");
    }
    state.counters["target_ms"] = 300;
}

void startCheckQuick(benchmark::State &state, qint64 postings)
{
    const QString path = cachedLedger(postings);
    for (auto _ : state) {
        if (!Backup::deepCheck(path))
            state.SkipWithError("quick_check failed");
    }
}

const bool registered = [] {
    using Function = void (*)(benchmark::State &, qint64);
    const struct
    {
        const char *name;
        Function function;
    } benchmarks[] = {{"ExitBackup/%1", exitBackup}, {"ExitBackup/%1/raw", exitBackupRaw},
        {"ExitBackup/%1/second_folder", exitBackupSecondFolder},
        {"ExitBackup/%1/full_check", exitBackupFullCheck},
        {"StartWithBackupPending/%1", startWithBackupPending},
        {"PostingDuringBackup/%1", postingDuringBackup}, {"StartCheck/%1", startCheck},
        {"StartCheck/%1/quick_check", startCheckQuick}, {"RestoreOpen/%1", restoreOpen},
        {"RestoreOpen/%1/counted", restoreOpenCounted}};
    for (const LedgerSize &size : ledgerSizes()) {
        for (const auto &b : benchmarks) {
            benchmark::RegisterBenchmark(
                QString::fromLatin1(b.name).arg(size.name).toStdString().c_str(), b.function, size.postings)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    return true;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
