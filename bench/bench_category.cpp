// SPDX-License-Identifier: GPL-3.0-or-later
// The yearly report by category: a refresh of F_bunrui_S (the item master and one grouped read
// of the year's expense postings) against the same two statements stepped through the engine
// alone, on the large ledger and, with VELMO_BENCH_HUGE=1, on the huge one.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "CategoryReport.h"
#include "CategoryTotals.h"
#include "Grid.h"

#include <QDateTime>
#include <memory>
#include <sqlite3.h>

namespace {

constexpr int year = 2010;

struct Ledger
{
    explicit Ledger(qint64 postings)
        : app(postings)
    { }
    BenchSupport::AppDir app;
    FixedClock clock {QDateTime(QDate(year, 12, 15), QTime(10, 0))};
    AppContext context() { return AppContext {app.path(), &app.dialogs, &clock}; }

    static Ledger &get(qint64 postings) { return BenchSupport::fixtureFor<Ledger>(postings); }
};

void refresh(benchmark::State &state, qint64 postings, double targetMs)
{
    Ledger &l = Ledger::get(postings);
    CategoryReport w(l.context());
    w.load();
    for (auto _ : state)
        w.refresh();
    const Grid *grid = w.findChild<Grid *>(QStringLiteral("SP"));
    if (l.app.dialogs.shown || grid->maxRows() < 2 || grid->text(14, grid->maxRows()).toLongLong() <= 0)
        BenchSupport::fail(QStringLiteral("the report showed no expense"));
    state.counters["target_ms"] = targetMs;
    state.counters["target_ratio"] = 2;
}

// The same reads by the engine alone.
void refreshRaw(benchmark::State &state, qint64 postings)
{
    Ledger &l = Ledger::get(postings);
    BenchSupport::RawDb db(l.app.dbPath());
    const QByteArray master = "SELECT S_index, S_kubun FROM Syukkin_T";
    const QByteArray grouped = CategoryTotals::statement(CategoryTotals::Side::Expense, year).toUtf8();
    for (auto _ : state) {
        qint64 sum = 0;
        db.stepAll(master, &sum);
        db.stepAll(grouped, &sum);
        benchmark::DoNotOptimize(sum);
    }
}

const bool registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        const double target = size.name == QLatin1String("huge") ? 200 : 50;
        const std::string name = "CategoryRefresh/" + size.name.toStdString();
        benchmark::RegisterBenchmark(
            name.c_str(), [n, target](benchmark::State &s) { refresh(s, n, target); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((name + "/raw").c_str(), [n](benchmark::State &s) { refreshRaw(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
