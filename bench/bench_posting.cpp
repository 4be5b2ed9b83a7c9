// SPDX-License-Identifier: GPL-3.0-or-later
// The income posting window on a large ledger: opening it (99 items, each with its latest
// posting looked up) and one posting (balance read and update, one appended row, the list
// read again), against the same lookups done by the engine alone.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Grid.h"
#include "LedgerGenerator.h"
#include "PostingWindow.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <sqlite3.h>

namespace {

void loadWindow(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    PostingWindow window(app.context(), PostingVocabulary::income());
    window.show();
    window.load();
    QCoreApplication::processEvents();
    Grid *grid = window.findChild<Grid *>(QStringLiteral("SP"));
    if (grid->maxRows() != 99 || grid->text(4, 1).isEmpty() || app.dialogs.shown)
        BenchSupport::fail(QStringLiteral("the income window did not load its 99 items"));
    for (auto _ : state) {
        window.load();
        benchmark::DoNotOptimize(grid->text(5, 99));
    }
    state.counters["target_ms"] = 100;
}

// The 99 latest-posting lookups through the C API: the floor under the window's load.
void loadRaw(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    BenchSupport::RawDb db(app.dbPath());
    QList<QByteArray> items;
    for (const QString &name : LedgerGenerator::incomeItemNames())
        items << name.toUtf8();
    for (auto _ : state) {
        sqlite3_stmt *list = nullptr;
        sqlite3_prepare_v2(
            db.handle(), "SELECT N_index,N_kubun,N_hokan,N_memo FROM Nyuukin_T", -1, &list, nullptr);
        int rows = 0;
        while (sqlite3_step(list) == SQLITE_ROW)
            ++rows;
        sqlite3_finalize(list);
        for (const QByteArray &item : items) {
            const QByteArray sql = "SELECT N_index,N_money,N_date FROM N where (N_index = '" + item
                + "') ORDER BY N_date DESC";
            sqlite3_stmt *s = nullptr;
            sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &s, nullptr);
            if (sqlite3_step(s) == SQLITE_ROW)
                benchmark::DoNotOptimize(sqlite3_column_int(s, 2));
            sqlite3_finalize(s);
        }
        benchmark::DoNotOptimize(rows);
    }
}

// One posting as the user does it: the amount typed into a row, the button pressed, the
// confirmation answered Yes; measured up to the reloaded list.
void postOne(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    PostingWindow window(app.context(), PostingVocabulary::income());
    window.show();
    window.load();
    Grid *grid = window.findChild<Grid *>(QStringLiteral("SP"));
    auto *result = window.findChild<QPlainTextEdit *>(QStringLiteral("txt_kekka"));
    const int row = 50;
    for (auto _ : state) {
        grid->setText(3, row, QStringLiteral("1"));
        grid->clickButton(7, row);
    }
    if (app.dialogs.last == QStringLiteral("DB接続失敗"))
        BenchSupport::fail(QStringLiteral("the posting failed"));
    if (!result->toPlainText().endsWith(QStringLiteral("処理完了")))
        BenchSupport::fail(QStringLiteral("the posting did not complete"));
    state.counters["target_ms"] = 20;
}

// The posting's own transaction (read, update, append, commit) without the reload.
void postTransaction(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    for (auto _ : state) {
        Database db(app.dbPath());
        db.beginWrite();
        BenchSupport::postOneYen(db);
        db.commit();
    }
}

// The same transaction through the C API: what the disk's syncs cost on their own.
void postTransactionRaw(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    BenchSupport::RawDb db(app.dbPath());
    const QByteArray place = LedgerGenerator::storagePlaceNames().constFirst().toUtf8();
    const QByteArray item = LedgerGenerator::incomeItemNames().constFirst().toUtf8();
    for (auto _ : state) {
        db.exec("BEGIN IMMEDIATE");
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db.handle(),
            ("SELECT H_index,H_money FROM Hokan_T where (H_index = '" + place + "')").constData(), -1, &s,
            nullptr);
        sqlite3_step(s);
        const int before = sqlite3_column_int(s, 1);
        sqlite3_finalize(s);
        db.exec(("UPDATE Hokan_T SET H_money = " + QByteArray::number(before + 1) + " WHERE H_index = '"
            + place + "'")
                    .constData());
        db.exec(("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('" + item + "','" + place
            + "',1,20251231,'')")
                    .constData());
        db.exec("COMMIT");
    }
}

const int registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(("PostingLoad99/" + size.name).toStdString().c_str(),
            [n](benchmark::State &s) { loadWindow(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("PostingLoad99/" + size.name + "/raw").toStdString().c_str(),
            [n](benchmark::State &s) { loadRaw(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            ("PostingAction/" + size.name).toStdString().c_str(), [n](benchmark::State &s) { postOne(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("PostingTransaction/" + size.name).toStdString().c_str(),
            [n](benchmark::State &s) { postTransaction(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("PostingTransaction/" + size.name + "/raw").toStdString().c_str(),
            [n](benchmark::State &s) { postTransactionRaw(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
