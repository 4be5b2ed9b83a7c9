// SPDX-License-Identifier: GPL-3.0-or-later
// The budget window: a refresh of F_yosan (the plan and the category report's grouped read of
// the year) against the same statements stepped through the engine alone, and a plan made from
// the previous year's actual figures, on the large ledger and, with VELMO_BENCH_HUGE=1, on the
// huge one.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "BudgetPlan.h"
#include "BudgetWindow.h"
#include "CategoryTotals.h"
#include "Database.h"
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

// `asked`: the window may have asked (whether to replace a plan), and was answered yes.
void checkShown(Ledger &l, const BudgetWindow &w, bool asked = false)
{
    const Grid *grid = w.findChild<Grid *>(QStringLiteral("SP"));
    // The total's actual row, year column.
    if ((l.app.dialogs.shown && !asked) || grid->maxRows() < BudgetWindow::RowsPerLine * 2
        || grid->text(15, grid->maxRows() - 1).toLongLong() <= 0)
        BenchSupport::fail(QStringLiteral("the budget window showed no expense"));
}

void refresh(benchmark::State &state, qint64 postings)
{
    Ledger &l = Ledger::get(postings);
    {
        // The year planned from the one before, as the window would save it.
        Database db(l.app.dbPath());
        db.beginWrite();
        const auto plan = BudgetPlan::fromActual(
            BudgetPlan::actual(db, BudgetPlan::Side::Expense, BudgetPlan::By::Category, year - 1),
            BudgetPlan::By::Category);
        if (!plan || plan->rows.isEmpty())
            BenchSupport::fail(QStringLiteral("the year before has no expense"));
        BudgetPlan::save(db, BudgetPlan::Side::Expense, year, *plan);
        db.commit();
    }
    BudgetWindow w(l.context());
    w.load();
    for (auto _ : state)
        w.refresh();
    checkShown(l, w);
    state.counters["target_ms"] = 50;
    state.counters["target_ratio"] = 2;
}

void fromPreviousYear(benchmark::State &state, qint64 postings)
{
    Ledger &l = Ledger::get(postings);
    BudgetWindow w(l.context());
    w.load();
    for (auto _ : state)
        if (!w.createFromPreviousYear())
            BenchSupport::fail(QStringLiteral("no plan was made"));
    checkShown(l, w, true);
    state.counters["target_ms"] = 100;
}

// The same sums by the engine alone: the item master, the grouped year and the plan.
void refreshRaw(benchmark::State &state, qint64 postings)
{
    Ledger &l = Ledger::get(postings);
    BenchSupport::RawDb db(l.app.dbPath());
    const QByteArray master = "SELECT S_index, S_kubun FROM Syukkin_T";
    const QByteArray grouped = CategoryTotals::statement(CategoryTotals::Side::Expense, year).toUtf8();
    const QByteArray plan = "SELECT XZ_name, XZ_m01 FROM X_budget_row WHERE XZ_year = 2010 AND XZ_side = 'S'";
    for (auto _ : state) {
        qint64 sum = 0;
        db.stepAll(master, &sum);
        db.stepAll(grouped, &sum);
        db.stepAll(plan, &sum);
        benchmark::DoNotOptimize(sum);
    }
}

const bool registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        const std::string name = "BudgetRefresh/" + size.name.toStdString();
        benchmark::RegisterBenchmark(name.c_str(), [n](benchmark::State &s) { refresh(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((name + "/raw").c_str(), [n](benchmark::State &s) { refreshRaw(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("BudgetFromPreviousYear/" + size.name.toStdString()).c_str(),
            [n](benchmark::State &s) { fromPreviousYear(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
