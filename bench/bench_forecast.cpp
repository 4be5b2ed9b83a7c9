// SPDX-License-Identifier: GPL-3.0-or-later
// The balance ahead: F_mitosi's refresh for all places over 12 months, and the main menu's
// check at start (the first shortfall within 14 days), on the large ledger and, with
// VELMO_BENCH_HUGE=1, on the huge one. The ten automatic debits and the income items carry
// schedules, a third of them with the amount of the same month a year before; one place is a
// card.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Forecast.h"
#include "ForecastWindow.h"
#include "Grid.h"
#include "LedgerGenerator.h"
#include "Migrations.h"
#include "Schedule.h"

#include <QDateTime>
#include <QRadioButton>
#include <memory>

namespace {

// The generated postings end with this year; the forecast looks ahead from its middle of
// December, over the New Year.
const QDate today(2025, 12, 15);

struct Ledger
{
    explicit Ledger(qint64 postings)
        : app(postings)
    {
        Migrations::migrate(app.dbPath());
        Database db(app.dbPath());
        db.beginWrite();
        const QStringList debits = LedgerGenerator::expenseItemNames().mid(0, 10);
        int n = 0;
        for (const QString &item : debits) {
            Schedule::Entry e;
            e.side = Schedule::Side::Expense;
            e.item = item;
            e.day = 27 + n % 5; // the 31st among them
            e.amount
                = n % 3 == 0 ? Schedule::AmountRule::SameMonthLastYear : Schedule::AmountRule::LastPosted;
            Schedule::save(db, e);
            ++n;
        }
        for (const QString &item : LedgerGenerator::incomeItemNames().mid(0, 5)) {
            Schedule::Entry e;
            e.side = Schedule::Side::Income;
            e.item = item;
            e.day = 25;
            e.shift = Schedule::Shift::Previous;
            e.months = n++ % 2 ? Schedule::EveryMonth : (1 << 5 | 1 << 11);
            Schedule::save(db, e);
        }
        // One place is a card, paid from the first: its bills are looked up as well.
        const QStringList places = LedgerGenerator::storagePlaceNames();
        db.execute(QStringLiteral("INSERT INTO X_card VALUES ('%1', 15, 10, '%2', 500000)")
                       .arg(Database::escape(places.at(2)), Database::escape(places.at(0))));
        db.commit();
    }
    BenchSupport::AppDir app;
    FixedClock clock {QDateTime(today, QTime(10, 0))};
    AppContext context() { return AppContext {app.path(), &app.dialogs, &clock}; }
};

void window(benchmark::State &state, qint64 postings)
{
    Ledger &l = BenchSupport::fixtureFor<Ledger>(postings);
    ForecastWindow w(l.context());
    w.load();
    w.findChild<QRadioButton *>(QStringLiteral("O_12"))->setChecked(true);
    for (auto _ : state)
        w.refresh();
    const Grid *grid = w.findChild<Grid *>(QStringLiteral("SP"));
    if (l.app.dialogs.shown || w.result().movements.size() < 12 * 10 || grid->maxRows() < 12 * 10)
        BenchSupport::fail(QStringLiteral("the forecast showed too few movements"));
    state.counters["rows"] = grid->maxRows();
    state.counters["target_ms"] = 100;
}

void startCheck(benchmark::State &state, qint64 postings)
{
    Ledger &l = BenchSupport::fixtureFor<Ledger>(postings);
    bool checked = false;
    for (auto _ : state) {
        Database db(l.app.dbPath());
        const Forecast::Result r = Forecast::compute(db, today, today.addDays(14));
        checked = !r.movements.isEmpty();
        benchmark::DoNotOptimize(Forecast::firstShortfall(r));
    }
    if (!checked)
        BenchSupport::fail(QStringLiteral("nothing was scheduled within 14 days"));
    state.counters["target_ms"] = 20;
}

// The whole check as the main menu runs it, opening the ledger included.
void startWarning(benchmark::State &state, qint64 postings)
{
    Ledger &l = BenchSupport::fixtureFor<Ledger>(postings);
    for (auto _ : state)
        benchmark::DoNotOptimize(Forecast::startWarning(l.app.dbPath(), today));
    state.counters["target_ms"] = 20;
}

const bool registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ForecastWindow12", size).c_str(),
            [n](benchmark::State &s) { window(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ForecastStartCheck", size).c_str(),
            [n](benchmark::State &s) { startCheck(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ForecastStartWarning", size).c_str(),
            [n](benchmark::State &s) { startWarning(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
