// SPDX-License-Identifier: GPL-3.0-or-later
// The connection layer, the log and a posting on large ledgers, each beside the same work
// done by the engine alone (`raw`) or by the sqlite3 command line (`cli`).
#include "Amount.h"
#include "BasGeneral.h"
#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "LedgerGenerator.h"

#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

namespace {

using namespace BenchSupport;

// The item lookup of the income posting window's load, statement for statement.
QString latestPostingSql(const QString &item)
{
    return QStringLiteral("SELECT N_index,N_money,N_date FROM N where (N_index = '") + Database::escape(item)
        + QStringLiteral("') ORDER BY N_date DESC");
}

const QString postingPlace = QStringLiteral("普通預金Ａ銀行");
const QString postingItem = QStringLiteral("給料");
constexpr int postingDate = 20251231;
constexpr int logLines = 10'000;

// --- open and close ---------------------------------------------------------------------

void openClose(benchmark::State &state, qint64 postings)
{
    const QString path = cachedLedger(postings);
    for (auto _ : state)
        Database db(path);
    state.counters["target_ms"] = 1;
}

void openCloseRaw(benchmark::State &state, qint64 postings)
{
    const QByteArray path = cachedLedger(postings).toUtf8();
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            state.SkipWithError("open failed");
        sqlite3_busy_timeout(db, 3000);
        sqlite3_close_v2(db);
    }
}

// --- latest posting of each of the 99 income items -------------------------------------

void lookup99(benchmark::State &state, qint64 postings)
{
    const QString path = cachedLedger(postings);
    const QStringList items = LedgerGenerator::incomeItemNames();
    qint64 found = 0;
    for (auto _ : state) {
        Database db(path);
        for (const QString &item : items) {
            Cursor c = db.query(latestPostingSql(item));
            if (!c.eof())
                found += c.integer(QStringLiteral("N_date")) + c.integer(QStringLiteral("N_money"));
        }
    }
    benchmark::DoNotOptimize(found);
    state.counters["target_ms"] = 100;
    state.counters["target_ratio"] = 3;
}

void lookup99Raw(benchmark::State &state, qint64 postings)
{
    const QByteArray path = cachedLedger(postings).toUtf8();
    std::vector<QByteArray> statements;
    for (const QString &item : LedgerGenerator::incomeItemNames())
        statements.push_back(latestPostingSql(item).toUtf8());
    qint64 found = 0;
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 3000);
        for (const QByteArray &sql : statements) {
            sqlite3_stmt *st = nullptr;
            if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
                state.SkipWithError(sqlite3_errmsg(db));
                break;
            }
            if (sqlite3_step(st) == SQLITE_ROW)
                found += sqlite3_column_int(st, 2) + sqlite3_column_int(st, 1);
            sqlite3_finalize(st);
        }
        sqlite3_close_v2(db);
    }
    benchmark::DoNotOptimize(found);
}

// One sqlite3 process answering the 99 questions; LIMIT 1 because it would print every row.
void lookup99Cli(benchmark::State &state, qint64 postings)
{
    const QString path = cachedLedger(postings);
    QByteArray script;
    for (const QString &item : LedgerGenerator::incomeItemNames())
        script += latestPostingSql(item).toUtf8() + " LIMIT 1;\n";
    for (auto _ : state) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {path});
        p.write(script);
        p.closeWriteChannel();
        if (!p.waitForFinished(60'000) || p.exitCode() != 0 || p.readAllStandardOutput().count('\n') < 90) {
            state.SkipWithError("sqlite3 failed");
            break;
        }
    }
}

// --- one income posting: read the balance, update it, append the row, commit ---------------

// One writable copy per size for the whole program: copying the ledger is not what we measure.
AppDir &postingCopy(qint64 postings)
{
    static std::map<qint64, std::unique_ptr<AppDir>> copies;
    auto &dir = copies[postings];
    if (!dir)
        dir = std::make_unique<AppDir>(postings);
    return *dir;
}

void posting(benchmark::State &state, qint64 postings)
{
    AppDir &dir = postingCopy(postings);
    for (auto _ : state) {
        Database db(dir.dbPath());
        db.beginWrite();
        const qint32 before
            = db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index = '")
                    + Database::escape(postingPlace) + QStringLiteral("')"))
                  .integer(QStringLiteral("H_money"));
        const qint32 after = Amount::add(before, 1);
        db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = %1 WHERE H_index = '%2'")
                       .arg(after)
                       .arg(Database::escape(postingPlace)));
        db.insert(QStringLiteral("N"),
            {{QStringLiteral("N_index"), postingItem}, {QStringLiteral("N_hokan"), postingPlace},
                {QStringLiteral("N_money"), 1}, {QStringLiteral("N_date"), postingDate},
                {QStringLiteral("N_memo"), QString()}});
        db.commit();
    }
    state.counters["target_ms"] = 20;
}

void postingRaw(benchmark::State &state, qint64 postings)
{
    AppDir &dir = postingCopy(postings);
    const QByteArray path = dir.dbPath().toUtf8();
    const QByteArray place = postingPlace.toUtf8();
    const QByteArray item = postingItem.toUtf8();
    const QByteArray select = "SELECT H_index,H_money FROM Hokan_T where (H_index = '" + place + "')";
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 3000);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, select.constData(), -1, &st, nullptr);
        const int before = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 1) : 0;
        sqlite3_finalize(st);
        const QByteArray update = "UPDATE Hokan_T SET H_money = " + QByteArray::number(before + 1)
            + " WHERE H_index = '" + place + "'";
        sqlite3_exec(db, update.constData(), nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(
            db, "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES (?,?,?,?,?)", -1, &st, nullptr);
        sqlite3_bind_text(st, 1, item.constData(), item.size(), SQLITE_STATIC);
        sqlite3_bind_text(st, 2, place.constData(), place.size(), SQLITE_STATIC);
        sqlite3_bind_int(st, 3, 1);
        sqlite3_bind_int(st, 4, postingDate);
        sqlite3_bind_text(st, 5, "", 0, SQLITE_STATIC);
        const bool ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_finalize(st);
        if (!ok || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_close_v2(db);
    }
}

// --- one log line on top of a 10,000-line log --------------------------------------------

void writeLog(benchmark::State &state)
{
    AppDir dir(0, 1, logLines);
    const QByteArray log = logText(logLines);
    Clock clock;
    for (auto _ : state) {
        state.PauseTiming();
        QFile f(dir.logPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(log) != log.size())
            state.SkipWithError("cannot reset the log");
        f.close();
        state.ResumeTiming();
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("収入登録画面起動"), dir.dialogs, clock);
    }
    if (dir.dialogs.shown > 0)
        state.SkipWithError(qPrintable(dir.dialogs.last));
    state.counters["target_ms"] = 20;
}

// The least the same job takes: read the file, write the line and the old bytes to a new
// file beside it, flush it to the disk, rename it over the old one.
void writeLogRaw(benchmark::State &state)
{
    AppDir dir(0, 1, logLines);
    const QByteArray log = logText(logLines);
    const QByteArray path = dir.logPath().toLocal8Bit();
    const QByteArray temp = path + ".new";
    const QByteArray line = logText(1);
    std::vector<char> buffer(log.size() + 4096);
    for (auto _ : state) {
        state.PauseTiming();
        QFile f(dir.logPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(log) != log.size())
            state.SkipWithError("cannot reset the log");
        f.close();
        state.ResumeTiming();
        const int in = ::open(path.constData(), O_RDONLY);
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        ::close(in);
        const int out = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        bool ok = n >= 0 && ::write(out, line.constData(), line.size()) == line.size()
            && ::write(out, buffer.data(), n) == n && ::fsync(out) == 0;
        ok = ::close(out) == 0 && ok && ::rename(temp.constData(), path.constData()) == 0;
        if (!ok)
            state.SkipWithError("raw log write failed");
    }
}

const bool registered = [] {
    for (const LedgerSize &size : ledgerSizes()) {
        const qint64 n = size.postings;
        const auto name
            = [&](const char *what, const char *peer = nullptr) { return benchmarkName(what, size, peer); };
        benchmark::RegisterBenchmark(name("OpenClose").c_str(), openClose, n)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("OpenClose", "raw").c_str(), openCloseRaw, n)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("Lookup99").c_str(), lookup99, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("Lookup99", "raw").c_str(), lookup99Raw, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("Lookup99", "cli").c_str(), lookup99Cli, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("Posting").c_str(), posting, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(name("Posting", "raw").c_str(), postingRaw, n)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("WriteLog/10000lines", writeLog)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("WriteLog/10000lines/raw", writeLogRaw)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    return true;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
