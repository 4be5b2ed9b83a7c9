// SPDX-License-Identifier: GPL-3.0-or-later
// The item detail inquiry and the stocktake/transfer history on a large ledger: a search for
// an item with 20,000 postings (the look-ups in both posting tables that decide the item's
// kind, the search, the grid and the graph), and the history window over 100,000 rows of
// each history; each against the same reads done by the engine alone.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Grid.h"
#include "History.h"
#include "ItemDetail.h"
#include "LedgerGenerator.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <memory>
#include <sqlite3.h>
#include <string>

namespace {

constexpr int itemPostings = 20'000;
constexpr int historyRows = 100'000;

qint64 count(BenchSupport::RawDb &db, const QByteArray &sql)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        BenchSupport::fail(QStringLiteral("cannot prepare ") + QString::fromUtf8(sql));
    const qint64 n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return n;
}

// Gives `item` exactly itemPostings rows of its posting table by relabelling rows of other
// items spread over the whole period, so the ledger keeps its 500,000 postings.
void shapeItem(BenchSupport::RawDb &db, const char *table, const QString &item)
{
    const QByteArray t(table), name = "'" + Database::escape(item).toUtf8() + "'";
    const qint64 has = count(db, "SELECT COUNT(*) FROM " + t + " WHERE " + t + "_index = " + name);
    if (has < itemPostings) {
        db.exec("UPDATE " + t + " SET " + t + "_index = " + name + " WHERE rowid IN (SELECT rowid FROM " + t
            + " WHERE " + t + "_index <> " + name + " ORDER BY rowid % 25, rowid LIMIT "
            + QByteArray::number(itemPostings - has) + ")");
    } else if (has > itemPostings) {
        db.exec("UPDATE " + t + " SET " + t + "_index = " + t
            + "_index || '_' WHERE rowid IN (SELECT rowid FROM " + t + " WHERE " + t + "_index = " + name
            + " LIMIT " + QByteArray::number(has - itemPostings) + ")");
    }
}

// Tops a history table up to historyRows rows spread over thirty years.
void growHistory(BenchSupport::RawDb &db, const char *table, const char *columns, const char *values)
{
    const qint64 has = count(db, QByteArray("SELECT COUNT(*) FROM ") + table);
    if (has >= historyRows)
        return;
    db.exec(QByteArray("WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM k WHERE x < ")
        + QByteArray::number(historyRows - has) + ") INSERT INTO " + table + " (" + columns + ") SELECT "
        + values + " FROM k");
}

#define DAY_OF(x) "(1996 + " x " % 30) * 10000 + (1 + (" x " / 30) % 12) * 100 + 1 + (" x " / 360) % 28"

// One ledger of each size for the whole program, with its items and histories shaped.
struct Ledger
{
    BenchSupport::AppDir app;
    FixedClock clock {QDateTime(QDate(2025, 12, 15), QTime(10, 0))};
    QString income = LedgerGenerator::incomeItemNames().constFirst();
    // The automatic-debit items come first; take an ordinary one.
    QString expense = LedgerGenerator::expenseItemNames().at(10);

    explicit Ledger(qint64 postings)
        : app(postings)
    {
        BenchSupport::RawDb db(app.dbPath());
        db.exec("BEGIN");
        shapeItem(db, "N", income);
        shapeItem(db, "S", expense);
        growHistory(db, "Ktanaorosi_T", "K_hokan, K_bmoney, K_amoney, K_riyuu, K_day",
            "'保管' || (x % 20), x * 13 % 1000000, x * 17 % 1000000, '端数調整', " DAY_OF("x"));
        growHistory(db, "Idourireki_T", "I_hokanmoto, I_hokansaki, I_money, I_day, I_memo",
            "'保管' || (x % 20), '保管' || ((x + 7) % 20), x % 300000, " DAY_OF("x") ", '資金移動'");
        db.exec("COMMIT");
        if (count(db, "SELECT (SELECT COUNT(*) FROM N) + (SELECT COUNT(*) FROM S)") != postings
            || count(db, "SELECT COUNT(*) FROM Ktanaorosi_T") < historyRows
            || count(db, "SELECT COUNT(*) FROM Idourireki_T") < historyRows)
            BenchSupport::fail(QStringLiteral("the shaped ledger has the wrong size"));
    }
    AppContext context() { return AppContext {app.path(), &app.dialogs, &clock}; }

    static Ledger &get(qint64 postings) { return BenchSupport::fixtureFor<Ledger>(postings); }
};

struct Search
{
    const char *period; // option button
    const char *order;
    bool income;
    int rows; // expected list length; < 0: not checked
};

std::unique_ptr<ItemDetail> openDetail(Ledger &l, const Search &s)
{
    auto w = std::make_unique<ItemDetail>(l.context());
    w->resize(800, 600);
    w->show();
    w->load();
    w->findChild<QComboBox *>(QStringLiteral("cb_list"))->setEditText(s.income ? l.income : l.expense);
    w->findChild<QRadioButton *>(QString::fromLatin1(s.period))->setChecked(true);
    w->findChild<QRadioButton *>(QString::fromLatin1(s.order))->setChecked(true);
    QCoreApplication::processEvents();
    return w;
}

// One press of "検索結果表示"; with `painted`, measured until the list has been drawn.
void detailSearch(benchmark::State &state, qint64 postings, Search s, bool painted)
{
    Ledger &l = Ledger::get(postings);
    auto w = openDetail(l, s);
    auto *button = w->findChild<QPushButton *>(QStringLiteral("cmd_kensaku"));
    Grid *grid = w->findChild<Grid *>(QStringLiteral("SP"));
    for (auto _ : state) {
        button->click();
        if (painted) {
            grid->repaint();
            QCoreApplication::processEvents();
        }
    }
    if (l.app.dialogs.shown || (s.rows >= 0 && grid->maxRows() != s.rows))
        BenchSupport::fail(QStringLiteral("the search listed %1 rows").arg(grid->maxRows()));
    state.counters["rows"] = grid->maxRows();
    state.counters["target_ms"] = 500;
    if (painted)
        state.counters["target_ratio"] = 2;
}

// The engine alone: the first posting of the name in N and in S, and the search statement
// read to its end.
void detailSearchRaw(benchmark::State &state, qint64 postings, Search s)
{
    Ledger &l = Ledger::get(postings);
    BenchSupport::RawDb db(l.app.dbPath());
    const QByteArray item = (s.income ? l.income : l.expense).toUtf8();
    const QByteArray sql
        = ItemDetail::searchStatement(s.income, QString::fromUtf8(item), std::nullopt, false).toUtf8();
    auto first = [&](const char *p) {
        const QByteArray q = QByteArray("SELECT * FROM ") + p + " WHERE ( " + p + "_index = '" + item + "')";
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db.handle(), q.constData(), -1, &st, nullptr);
        benchmark::DoNotOptimize(sqlite3_step(st));
        sqlite3_finalize(st);
    };
    for (auto _ : state) {
        first("N");
        first("S");
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr);
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(st, 1));
            benchmark::DoNotOptimize(sqlite3_column_int(st, 2));
            benchmark::DoNotOptimize(sqlite3_column_int(st, 3));
            benchmark::DoNotOptimize(sqlite3_column_text(st, 4));
            ++rows;
        }
        sqlite3_finalize(st);
        if (rows != itemPostings)
            BenchSupport::fail(QStringLiteral("raw search read %1 rows").arg(rows));
    }
}

// The kind decision alone, through the connection layer.
void kindDecision(benchmark::State &state, qint64 postings, bool income)
{
    Ledger &l = Ledger::get(postings);
    const QString item = income ? l.income : l.expense;
    for (auto _ : state) {
        Database db(l.app.dbPath());
        if (ItemDetail::isIncomeItem(db, item) != income)
            BenchSupport::fail(QStringLiteral("wrong kind"));
    }
}

std::unique_ptr<History> openHistory(Ledger &l)
{
    auto w = std::make_unique<History>(l.context());
    w->resize(800, 600);
    w->show();
    QCoreApplication::processEvents();
    return w;
}

// Opening the history window: both tables read and shown.
void historyLoad(benchmark::State &state, qint64 postings, bool painted)
{
    Ledger &l = Ledger::get(postings);
    const std::unique_ptr<History> window = openHistory(l);
    History &w = *window;
    Grid *stocktakes = w.findChild<Grid *>(QStringLiteral("SP1"));
    Grid *transfers = w.findChild<Grid *>(QStringLiteral("SP2"));
    for (auto _ : state) {
        w.load();
        if (painted) {
            stocktakes->repaint();
            QCoreApplication::processEvents();
        }
    }
    if (l.app.dialogs.shown || stocktakes->maxRows() < historyRows || transfers->maxRows() < historyRows)
        BenchSupport::fail(QStringLiteral("the history window did not load"));
    state.counters["rows"] = stocktakes->maxRows() + transfers->maxRows();
    state.counters["target_ms"] = 1000;
    if (painted)
        state.counters["target_ratio"] = 1.5;
}

// The resident size of this process in MB (VmRSS), or -1 where the system does not say.
double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toDouble() / 1024;
    }
    return -1;
}

// What the program holds with both history tabs filled and shown. It runs first, in a process
// that has done nothing but shape the ledger, so the figure is the window's and not what
// earlier benchmarks left on the heap.
void historyResident(benchmark::State &state, qint64 postings)
{
    Ledger &l = Ledger::get(postings);
    const std::unique_ptr<History> w = openHistory(l);
    Grid *transfers = w->findChild<Grid *>(QStringLiteral("SP2"));
    auto *tabs = w->findChild<QTabWidget *>(QStringLiteral("TAB"));
    for (auto _ : state) {
        w->load();
        tabs->setCurrentWidget(transfers);
        transfers->repaint();
        tabs->setCurrentIndex(0);
        QCoreApplication::processEvents();
    }
    if (l.app.dialogs.shown || transfers->maxRows() < historyRows)
        BenchSupport::fail(QStringLiteral("the history window did not load"));
    state.counters["rss_mb"] = residentMb();
    state.counters["target_rss_mb"] = 100;
}

void historyLoadRaw(benchmark::State &state, qint64 postings)
{
    Ledger &l = Ledger::get(postings);
    BenchSupport::RawDb db(l.app.dbPath());
    for (auto _ : state) {
        for (const char *sql : {"SELECT * FROM Ktanaorosi_T ORDER BY K_day DESC",
                 "SELECT * FROM Idourireki_T ORDER BY I_day DESC"}) {
            sqlite3_stmt *st = nullptr;
            sqlite3_prepare_v2(db.handle(), sql, -1, &st, nullptr);
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int c = 0; c < 5; ++c)
                    benchmark::DoNotOptimize(sqlite3_column_text(st, c));
            }
            sqlite3_finalize(st);
        }
    }
}

template <typename F> void add(const std::string &name, F f)
{
    benchmark::RegisterBenchmark(name.c_str(), f)->Unit(benchmark::kMillisecond)->UseRealTime();
}

const int registered = [] {
    const Search expenseAll {"Ozenken", "O2day", false, itemPostings};
    const Search incomeAll {"Ozenken", "O2day", true, itemPostings};
    const Search expenseYear {"Oitinen", "O2money", false, -1};
    const qint64 large = LedgerGenerator::LargePostings;
    add("HistoryResident200k/large", [=](benchmark::State &s) { historyResident(s, large); });
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        const auto name = [&](const char *what, const char *peer = nullptr) {
            return BenchSupport::benchmarkName(what, size, peer);
        };
        add(name("DetailSearch20k"), [=](benchmark::State &s) { detailSearch(s, n, expenseAll, false); });
        add(name("DetailSearch20k", "raw"), [=](benchmark::State &s) { detailSearchRaw(s, n, expenseAll); });
        add(name("DetailSearch20k", "painted"),
            [=](benchmark::State &s) { detailSearch(s, n, expenseAll, true); });
        add(name("DetailSearch20kIncome"),
            [=](benchmark::State &s) { detailSearch(s, n, incomeAll, false); });
        add(name("DetailSearch20kIncome", "raw"),
            [=](benchmark::State &s) { detailSearchRaw(s, n, incomeAll); });
        add(name("DetailSearchYearByAmount"),
            [=](benchmark::State &s) { detailSearch(s, n, expenseYear, false); });
        add(name("DetailKind/expense"), [=](benchmark::State &s) { kindDecision(s, n, false); });
        add(name("DetailKind/income"), [=](benchmark::State &s) { kindDecision(s, n, true); });
        add(name("HistoryLoad100k"), [=](benchmark::State &s) { historyLoad(s, n, false); });
        add(name("HistoryLoad100k", "raw"), [=](benchmark::State &s) { historyLoadRaw(s, n); });
        add(name("HistoryLoad100k", "painted"), [=](benchmark::State &s) { historyLoad(s, n, true); });
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
