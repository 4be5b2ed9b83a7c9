// SPDX-License-Identifier: GPL-3.0-or-later
// The search over every posting on a large ledger: a word of two characters, a word of four,
// a word held by a large share of the rows, an amount alone and a month alone, each measured
// from the conditions to a painted grid; the folding of the copy and the building of its index
// as a migration does them (fold_ms, index_ms); and the word search by the engine alone reading
// every row.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Grid.h"
#include "LedgerGenerator.h"
#include "Migrations.h"
#include "PostingSearch.h"
#include "SearchIndex.h"
#include "SearchText.h"
#include "SearchWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <memory>
#include <sqlite3.h>

namespace {

// One ledger of each size for the whole program, migrated and folded.
struct Ledger
{
    BenchSupport::AppDir app;
    FixedClock clock {QDateTime(QDate(2025, 12, 15), QTime(10, 0))};
    qint64 foldMs = 0;
    qint64 indexMs = 0;

    explicit Ledger(qint64 postings)
        : app(postings)
    {
        QElapsedTimer t;
        t.start();
        Migrations::migrate(app.dbPath());
        Database db(app.dbPath());
        if (SearchText::hasPending(db)) {
            db.beginWrite();
            SearchText::foldPending(db);
            db.commit();
        }
        foldMs = t.elapsed();
        // The index made anew from the folded copy, as the migration of an existing ledger does.
        t.restart();
        db.beginWrite();
        for (const QString &statement : SearchIndex::createStatements())
            db.execute(statement);
        SearchIndex::build(db);
        db.commit();
        indexMs = t.elapsed();
    }
    AppContext context() { return AppContext {app.path(), &app.dialogs, &clock}; }
    static Ledger &get(qint64 postings) { return BenchSupport::fixtureFor<Ledger>(postings); }
};

struct Conditions
{
    const char *word = "";
    const char *min = "";
    const char *max = "";
    const char *from = "";
    const char *to = "";
};

void search(benchmark::State &state, qint64 postings, Conditions c, double targetMs)
{
    Ledger &l = Ledger::get(postings);
    auto w = std::make_unique<SearchWindow>(l.context());
    w->resize(980, 600);
    w->show();
    w->load();
    const auto set = [&](const char *name, const char *text) {
        w->findChild<QLineEdit *>(QString::fromLatin1(name))->setText(QString::fromUtf8(text));
    };
    set("txt_word", c.word);
    set("txt_min", c.min);
    set("txt_max", c.max);
    set("txt_from", c.from);
    set("txt_to", c.to);
    Grid *grid = w->findChild<Grid *>(QStringLiteral("SP"));
    for (auto _ : state) {
        w->refresh(true);
        grid->repaint();
        QCoreApplication::processEvents();
    }
    if (l.app.dialogs.shown || grid->maxRows() == 0)
        BenchSupport::fail(QStringLiteral("the search listed %1 rows").arg(grid->maxRows()));
    state.counters["rows"] = grid->maxRows();
    state.counters["target_ms"] = targetMs;
    state.counters["fold_ms"] = double(l.foldMs);
    state.counters["index_ms"] = double(l.indexMs);
}

// The engine alone: the count of a word's hits over the folded copy, reading every row, a place
// matched by its name.
void searchRaw(benchmark::State &state, qint64 postings, const char *word)
{
    Ledger &l = Ledger::get(postings);
    BenchSupport::RawDb db(l.app.dbPath());
    const QByteArray folded = SearchText::fold(QString::fromUtf8(word)).toUtf8();
    const QByteArray places = "(SELECT XH_id FROM X_meisai_hokan WHERE instr(XH_name, '" + folded + "') > 0)";
    const QByteArray sql = "SELECT count(*) FROM X_meisai WHERE instr(XM_norm, '" + folded
        + "') > 0 OR XM_place IN " + places + " OR XM_place2 IN " + places;
    for (auto _ : state) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr);
        benchmark::DoNotOptimize(sqlite3_step(st));
        benchmark::DoNotOptimize(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
    }
}

template <typename F> void add(const std::string &name, F f)
{
    benchmark::RegisterBenchmark(name.c_str(), f)->Unit(benchmark::kMillisecond)->UseRealTime();
}

const int registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        const double target = n > LedgerGenerator::LargePostings ? 250 : 100;
        const auto name = [&](const char *what, const char *peer = nullptr) {
            return BenchSupport::benchmarkName(what, size, peer);
        };
        add(name("SearchWord2"), [=](benchmark::State &s) { search(s, n, {.word = "外食"}, target); });
        add(name("SearchWord2", "raw"), [=](benchmark::State &s) { searchRaw(s, n, "外食"); });
        add(name("SearchWord4"), [=](benchmark::State &s) { search(s, n, {.word = "ｶｰﾄﾞ払い"}, target); });
        add(name("SearchWord4", "raw"), [=](benchmark::State &s) { searchRaw(s, n, "ｶｰﾄﾞ払い"); });
        // A place's name, held by a large share of the rows: counted through the index of the places.
        add(name("SearchWordCommon"), [=](benchmark::State &s) { search(s, n, {.word = "財布"}, target); });
        add(name("SearchWordCommon", "raw"), [=](benchmark::State &s) { searchRaw(s, n, "財布"); });
        add(name("SearchAmount"),
            [=](benchmark::State &s) { search(s, n, {.min = "8000", .max = "8000"}, target); });
        add(name("SearchMonth"),
            [=](benchmark::State &s) { search(s, n, {.from = "20200601", .to = "20200630"}, target); });
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
