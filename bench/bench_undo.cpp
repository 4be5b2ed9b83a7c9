// SPDX-License-Identifier: GPL-3.0-or-later
// The history of actions on a large ledger: what recording adds to a posting's transaction
// (against the same transaction unrecorded), taking one posting back, taking a rename of the
// busiest storage place back (against the rename itself), and the room 1,000 postings' history
// takes in the ledger.

#include "ActionHistory.h"
#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "LedgerGenerator.h"
#include "MasterChange.h"
#include "Migrations.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

const QString Window = QStringLiteral("F_nyuukin");

// A copy of the ledger at the newest version, so that its history table exists.
struct Ledger
{
    explicit Ledger(qint64 postings)
        : app(postings)
    {
        Migrations::migrate(app.dbPath());
    }
    BenchSupport::AppDir app;
};

// The posting window's transaction: balance read and raised, one income row appended.
void post(const QString &path, bool recorded)
{
    const QString place = LedgerGenerator::storagePlaceNames().constFirst();
    const QString item = LedgerGenerator::incomeItemNames().constFirst();
    Database db(path);
    if (recorded)
        db.beginAction(Window, place + QStringLiteral("へ") + item + QStringLiteral(" \\1を入金"),
            QDateTime::currentDateTime());
    else
        db.beginWrite();
    BenchSupport::postOneYen(db);
    db.commit();
}

qint64 newestEntry(const QString &path)
{
    Database db(path);
    const QList<ActionHistory::Entry> newest = ActionHistory::recent(db, 1);
    if (newest.isEmpty())
        BenchSupport::fail(QStringLiteral("the history holds no entry"));
    return newest.first().no;
}

void takeBackNewest(const QString &path)
{
    const ActionHistory::Outcome o
        = ActionHistory::takeBackFrom(path, newestEntry(path), Window, QDateTime::currentDateTime(), 1);
    if (!o.done)
        BenchSupport::fail(QStringLiteral("taking back was refused: ") + o.refusal);
}

void posting(benchmark::State &state, qint64 postings, bool recorded)
{
    Ledger &l = BenchSupport::fixtureFor<Ledger>(postings);
    for (auto _ : state)
        post(l.app.dbPath(), recorded);
    if (recorded)
        state.counters["target_ratio"] = 1.10;
}

void undoPosting(benchmark::State &state, qint64 postings)
{
    Ledger &l = BenchSupport::fixtureFor<Ledger>(postings);
    for (auto _ : state) {
        state.PauseTiming();
        post(l.app.dbPath(), true);
        state.ResumeTiming();
        takeBackNewest(l.app.dbPath());
    }
    state.counters["target_ms"] = 50;
}

// The storage master's rename of the busiest place, in its one transaction, recorded.
void rename(const QString &path, const QString &from, const QString &to)
{
    Database db(path);
    db.beginAction(QStringLiteral("F_hokanM"),
        QStringLiteral("保管場所「") + from + QStringLiteral("」を「") + to + QStringLiteral("」に変更"),
        QDateTime::currentDateTime());
    MasterChange::renamePlace(db, from, to);
    db.commit();
}

// timeUndo: the rename untimed and its taking back timed; otherwise the rename timed and its
// taking back untimed. Each iteration leaves the ledger as it found it.
void renameOrUndo(benchmark::State &state, qint64 postings, bool timeUndo)
{
    Ledger &l = BenchSupport::fixtureFor<Ledger>(postings);
    const QString place = LedgerGenerator::storagePlaceNames().constFirst();
    const QString renamed = place + QStringLiteral("（改）");
    qint64 rows = 0;
    for (auto _ : state) {
        if (timeUndo)
            state.PauseTiming();
        rename(l.app.dbPath(), place, renamed);
        if (timeUndo)
            state.ResumeTiming();
        else
            state.PauseTiming();
        takeBackNewest(l.app.dbPath());
        if (!timeUndo)
            state.ResumeTiming();
        ++rows;
    }
    benchmark::DoNotOptimize(rows);
    {
        Database db(l.app.dbPath());
        const QString quoted = u'\'' + Database::escape(place) + u'\'';
        Cursor c = db.query(QStringLiteral("SELECT (SELECT COUNT(*) FROM N WHERE N_hokan = ") + quoted
            + QStringLiteral(") + (SELECT COUNT(*) FROM S WHERE S_hokan = ") + quoted + u')');
        state.counters["postings_renamed"] = double(c.integer64(0));
    }
    if (timeUndo) {
        state.counters["target_ratio"] = 1.2;
        state.counters["target_ms"] = postings > LedgerGenerator::LargePostings ? 2000 : 500;
    }
}

qint64 fileBytes(const QString &path)
{
    Database db(path);
    Cursor pages = db.query(QStringLiteral("PRAGMA page_count"));
    const qint64 count = pages.integer64(0);
    Cursor size = db.query(QStringLiteral("PRAGMA page_size"));
    return count * size.integer64(0);
}

// 1,000 postings recorded against 1,000 unrecorded, each on its own copy of the ledger: the
// difference in the file's size is what the history of 1,000 ordinary actions takes.
void historySize(benchmark::State &state, qint64 postings)
{
    qint64 added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Ledger recorded(postings), plain(postings);
        state.ResumeTiming();
        for (int i = 0; i < 1000; ++i) {
            post(recorded.app.dbPath(), true);
            post(plain.app.dbPath(), false);
        }
        added = fileBytes(recorded.app.dbPath()) - fileBytes(plain.app.dbPath());
    }
    state.counters["history_kb"] = double(added) / 1024;
    if (added >= 1024 * 1024)
        BenchSupport::fail(QStringLiteral("the history of 1,000 postings takes %1 bytes").arg(added));
}

const int registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("PostingRecorded", size).c_str(),
            [n](benchmark::State &s) { posting(s, n, true); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("PostingRecorded", size, "raw").c_str(),
            [n](benchmark::State &s) { posting(s, n, false); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("UndoPosting", size).c_str(),
            [n](benchmark::State &s) { undoPosting(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("UndoRename", size).c_str(),
            [n](benchmark::State &s) { renameOrUndo(s, n, true); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("UndoRename", size, "raw").c_str(),
            [n](benchmark::State &s) { renameOrUndo(s, n, false); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("HistoryOf1000Postings", size).c_str(),
            [n](benchmark::State &s) { historySize(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(1);
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
