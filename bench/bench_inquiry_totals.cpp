// SPDX-License-Identifier: GPL-3.0-or-later
// The yearly totals and the CSV export on large ledgers: a refresh of F_all_S (24 monthly
// sums) on 500,000 postings, against the same sums by the engine alone and against the
// month-prefix LIKE that cannot use the date index; and an export of 1,000,000 income-history
// rows by F_csv, side by side with `sqlite3 -csv` writing the same rows.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "CsvExport.h"
#include "Database.h"
#include "Grid.h"
#include "LedgerGenerator.h"
#include "MonthlyTotals.h"
#include "YearlyTotals.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace {

constexpr int year = 2010;
constexpr qint64 exportRows = 1'000'000;
// The export's period: every month the year boxes allow that the ledger has.
constexpr int firstDate = 20000101;
constexpr int lastDate = 20251231;

qint64 count(BenchSupport::RawDb &db, const QByteArray &sql)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        BenchSupport::fail(QStringLiteral("cannot prepare ") + QString::fromUtf8(sql));
    const qint64 n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return n;
}

// Answers the save dialog with one path and keeps the last message.
class PathDialogs : public Dialogs
{
public:
    void info(const QString &text) override { last = text; }
    bool ask(const QString &) override { return true; }
    std::optional<QString> saveFileName(const QString &, const QString &, const QString &) override
    {
        return path;
    }
    QString path;
    QString last;
};

// The refresh on a ledger of each size.
struct Totals
{
    explicit Totals(qint64 postings)
        : app(postings)
    { }
    BenchSupport::AppDir app;
    FixedClock clock {QDateTime(QDate(year, 12, 15), QTime(10, 0))};
    AppContext context() { return AppContext {app.path(), &app.dialogs, &clock}; }
    static Totals &get(qint64 postings) { return BenchSupport::fixtureFor<Totals>(postings); }
};

void yearlyRefresh(benchmark::State &state, qint64 postings)
{
    Totals &t = Totals::get(postings);
    YearlyTotals w(t.context());
    w.load();
    auto *button = w.findChild<QPushButton *>(QStringLiteral("cmd_list"));
    Grid *grid = w.findChild<Grid *>(QStringLiteral("SP"));
    for (auto _ : state)
        button->click();
    qint64 sum = 0;
    for (int m = 1; m <= 12; ++m)
        sum += grid->text(m, 1).toLongLong();
    if (t.app.dialogs.shown || sum <= 0)
        BenchSupport::fail(QStringLiteral("the refresh showed no income"));
    state.counters["target_ms"] = 100;
}

// The same 24 sums by the engine alone.
void yearlyRefreshRaw(benchmark::State &state, qint64 postings)
{
    Totals &t = Totals::get(postings);
    BenchSupport::RawDb db(t.app.dbPath());
    std::vector<QByteArray> statements;
    for (int m = 1; m <= 12; ++m) {
        statements.push_back(MonthlyTotals::incomeStatement(year, m).toUtf8());
        statements.push_back(MonthlyTotals::expenseStatement(year, m).toUtf8());
    }
    for (auto _ : state) {
        for (const QByteArray &sql : statements)
            benchmark::DoNotOptimize(count(db, sql));
    }
}

// What the month-prefix LIKE costs: the statements as the old dialect writes them, every
// row of each month read and summed through the connection layer.
void yearlyRefreshLike(benchmark::State &state, qint64 postings)
{
    Totals &t = Totals::get(postings);
    for (auto _ : state) {
        Database db(t.app.dbPath());
        qint64 sum = 0;
        for (int m = 1; m <= 12; ++m) {
            const QString mm = QStringLiteral("%1%2").arg(year).arg(m, 2, 10, QLatin1Char('0'));
            for (const char *p : {"N", "S"}) {
                const QString table = QString::fromLatin1(p);
                for (Cursor c
                     = db.query("SELECT * FROM " + table + " WHERE (" + table + "_date like '" + mm + "*')");
                     !c.eof(); c.next())
                    sum += c.integer64(table + "_money");
            }
        }
        benchmark::DoNotOptimize(sum);
    }
}

// A copy of the large ledger whose income history holds exactly exportRows rows in the
// export's period: the generated postings, topped up with more of the same kind.
struct Export
{
    BenchSupport::AppDir app {LedgerGenerator::LargePostings};
    FixedClock clock {QDateTime(QDate(2025, 12, 15), QTime(10, 0))};
    PathDialogs dialogs;
    QString csvPath = app.path() + QStringLiteral("/export.csv");
    QString cliPath = app.path() + QStringLiteral("/cli.csv");
    QByteArray statement = QByteArrayLiteral("SELECT * FROM N WHERE N_date Between ")
        + QByteArray::number(firstDate) + " And " + QByteArray::number(lastDate);

    Export()
    {
        BenchSupport::RawDb db(app.dbPath());
        const qint64 has = count(db, "SELECT COUNT(*) FROM N WHERE N_date Between 20000101 And 20251231");
        QByteArray items = "CASE x % 5";
        const QStringList names = LedgerGenerator::incomeItemNames();
        for (int i = 0; i < 5; ++i)
            items += " WHEN " + QByteArray::number(i) + " THEN '" + names.at(i * 7).toUtf8() + "'";
        items += " END";
        db.exec("BEGIN");
        // Appended in date order, as postings are: day i of the 26 years of 12 months of 28 days.
        const QByteArray extra = QByteArray::number(exportRows - has);
        const QByteArray day = "((x - 1) * 8736 / " + extra + ")";
        db.exec("WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM k WHERE x < " + extra
            + ") INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) SELECT " + items
            + ", '保管' || (x % 20), 1000 + x * 37 % 500000, (2000 + " + day + " / 336) * 10000 + (1 + " + day
            + " / 28 % 12) * 100 + 1 + " + day
            + " % 28, CASE WHEN x % 3 = 0 THEN '' ELSE '入金メモ' || x END FROM k");
        db.exec("COMMIT");
        if (count(db, "SELECT COUNT(*) FROM N WHERE N_date Between 20000101 And 20251231") != exportRows)
            BenchSupport::fail(QStringLiteral("the export ledger has the wrong size"));
        dialogs.path = csvPath;
    }
    AppContext context() { return AppContext {app.path(), &dialogs, &clock}; }
    static Export &get()
    {
        static Export e;
        return e;
    }

    // The window with the income history from January 2000 to December 2025 chosen.
    std::unique_ptr<CsvExport> window()
    {
        auto w = std::make_unique<CsvExport>(context());
        w->load();
        w->findChild<QComboBox *>(QStringLiteral("CB"))->setCurrentIndex(0);
        w->findChild<QLineEdit *>(QStringLiteral("txt_Y1"))->setText(QStringLiteral("2000"));
        w->findChild<QLineEdit *>(QStringLiteral("txt_Y2"))->setText(QStringLiteral("2025"));
        w->findChild<QComboBox *>(QStringLiteral("CBM1"))->setCurrentIndex(0);
        w->findChild<QComboBox *>(QStringLiteral("CBM2"))->setCurrentIndex(11);
        return w;
    }

    // One export by the window; milliseconds.
    double exportOnce(QPushButton *button)
    {
        QElapsedTimer t;
        t.start();
        button->click();
        const double ms = t.nsecsElapsed() / 1e6;
        if (dialogs.last != csvPath + QStringLiteral("に保存しました"))
            BenchSupport::fail(QStringLiteral("the export said: ") + dialogs.last);
        return ms;
    }

    // The same rows written by the sqlite3 command line; milliseconds.
    double cliOnce()
    {
        QProcess p;
        p.setStandardOutputFile(cliPath);
        QElapsedTimer t;
        t.start();
        p.start(
            QStringLiteral("sqlite3"), {QStringLiteral("-csv"), app.dbPath(), QString::fromUtf8(statement)});
        if (!p.waitForFinished(600'000) || p.exitCode() != 0)
            BenchSupport::fail(QStringLiteral("sqlite3 failed"));
        return t.nsecsElapsed() / 1e6;
    }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The export, with sqlite3 writing the same rows right after each export, so both meet the
// same load on the machine; the counters give both medians and their ratio.
void csvExport(benchmark::State &state)
{
    Export &e = Export::get();
    auto w = e.window();
    auto *button = w->findChild<QPushButton *>(QStringLiteral("cmd_syuturyoku"));
    std::vector<double> ours, cli, ratios;
    for (auto _ : state) {
        const double ms = e.exportOnce(button);
        state.SetIterationTime(ms / 1000);
        state.PauseTiming();
        const double cliMs = e.cliOnce();
        state.ResumeTiming();
        ours.push_back(ms);
        cli.push_back(cliMs);
        ratios.push_back(ms / cliMs);
    }
    QFile out(e.csvPath);
    const qint64 lines = out.open(QIODevice::ReadOnly) ? out.readAll().count('\n') : 0;
    if (lines != exportRows + 4)
        BenchSupport::fail(QStringLiteral("the file has %1 lines").arg(lines));
    state.counters["rows"] = double(exportRows);
    state.counters["cli_ms"] = median(cli);
    state.counters["ratio_cli"] = median(ratios);
}

// sqlite3 -csv alone, for the table's "vs cli" column.
void csvExportCli(benchmark::State &state)
{
    Export &e = Export::get();
    for (auto _ : state)
        state.SetIterationTime(e.cliOnce() / 1000);
}

const int registered = [] {
    using Run = void (*)(benchmark::State &, qint64);
    const std::pair<const char *, Run> refreshes[] = {{"YearlyRefresh/%1", yearlyRefresh},
        {"YearlyRefresh/%1/raw", yearlyRefreshRaw}, {"YearlyRefreshByLike/%1", yearlyRefreshLike}};
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        for (const auto &[name, run] : refreshes) {
            const qint64 n = size.postings;
            benchmark::RegisterBenchmark(QString::fromLatin1(name).arg(size.name).toStdString().c_str(),
                [n, run = run](benchmark::State &s) { run(s, n); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::RegisterBenchmark("CsvExport1M/large", csvExport)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark("CsvExport1M/large/cli", csvExportCli)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
