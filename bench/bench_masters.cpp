// SPDX-License-Identifier: GPL-3.0-or-later
// Renames in the master windows on a large ledger. Renaming a storage place rewrites its
// name in the masters and in every history table, all in one transaction; measured as the
// user does it (names typed, button pressed, Yes answered, up to the reloaded window) and as
// the same statements run by the engine alone.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Grid.h"
#include "ItemMaster.h"
#include "LedgerGenerator.h"
#include "StorageMaster.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <sqlite3.h>

namespace {

// Every table and column a storage-place rename rewrites besides Hokan_T.
const char *const PlaceColumns[][2] = {{"N", "N_hokan"}, {"S", "S_hokan"}, {"Nyuukin_T", "N_hokan"},
    {"Syukkin_T", "S_hokan"}, {"Idourireki_T", "I_hokanmoto"}, {"Idourireki_T", "I_hokansaki"},
    {"Zidourireki_T", "Z_hokan"}, {"Ktanaorosi_T", "K_hokan"}};

qint64 count(Database &db, const QString &sql)
{
    const Cursor c = db.query(sql);
    return c.integer64(QStringLiteral("n"));
}

// The storage place with the most rows in the generated ledger, made to occur in every
// history table and both item masters: where it is missing from one (the generator never
// debits a wallet, for one), one row naming it is added. Returns the place and the number of
// rows a rename of it rewrites.
std::pair<QString, qint64> placeInEveryTable(const QString &dbPath)
{
    Database db(dbPath);
    QString best;
    qint64 bestRows = -1;
    for (const QString &place : LedgerGenerator::storagePlaceNames()) {
        qint64 rows = 0;
        for (const auto &tc : PlaceColumns) {
            rows += count(db,
                QStringLiteral("SELECT COUNT(*) AS n FROM %1 WHERE %2 = '%3'")
                    .arg(QString::fromLatin1(tc[0]), QString::fromLatin1(tc[1]), Database::escape(place)));
        }
        if (rows > bestRows) {
            best = place;
            bestRows = rows;
        }
    }
    db.beginWrite();
    for (const auto &tc : PlaceColumns) {
        const QString table = QString::fromLatin1(tc[0]);
        const QString column = QString::fromLatin1(tc[1]);
        if (count(db,
                QStringLiteral("SELECT COUNT(*) AS n FROM %1 WHERE %2 = '%3'")
                    .arg(table, column, Database::escape(best))))
            continue;
        db.execute(
            QStringLiteral("INSERT INTO %1 (%2) VALUES ('%3')").arg(table, column, Database::escape(best)));
        ++bestRows;
    }
    db.commit();
    return {best, bestRows};
}

void renamePlace(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    const auto [place, rows] = placeInEveryTable(app.dbPath());
    StorageMaster window(app.context());
    window.show();
    window.load();
    auto *oldName = window.findChild<QComboBox *>(QStringLiteral("cb_hokan"));
    auto *newName = window.findChild<QLineEdit *>(QStringLiteral("txt_hokan2"));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("cmd_henkou"));
    const QString names[2] = {place, place + QStringLiteral("(改)")};
    int i = 0;
    for (auto _ : state) {
        oldName->setEditText(names[i % 2]);
        newName->setText(names[(i + 1) % 2]);
        button->click();
        ++i;
    }
    if (app.dialogs.last != QStringLiteral("[%1]を[%2]に変更しました").arg(names[(i + 1) % 2], names[i % 2]))
        BenchSupport::fail(QStringLiteral("the rename did not complete: ") + app.dialogs.last);
    state.counters["rows"] = double(rows);
    state.counters["target_ms"] = postings > LedgerGenerator::LargePostings ? 2000 : 500;
    state.counters["target_ratio"] = 1.2;
}

// The same transaction through the C API: the engine's own cost of the nine updates.
void renamePlaceRaw(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    const QByteArray place = placeInEveryTable(app.dbPath()).first.toUtf8();
    BenchSupport::RawDb db(app.dbPath());
    const QByteArray names[2] = {place, place + "(改)"};
    int i = 0;
    for (auto _ : state) {
        const QByteArray &from = names[i % 2];
        const QByteArray &to = names[(i + 1) % 2];
        db.exec("BEGIN IMMEDIATE");
        db.exec(("UPDATE Hokan_T SET H_index = '" + to + "' WHERE H_index = '" + from + "'").constData());
        for (const auto &tc : PlaceColumns) {
            const QByteArray table = tc[0];
            const QByteArray column = tc[1];
            sqlite3_stmt *s = nullptr;
            sqlite3_prepare_v2(db.handle(),
                ("SELECT " + column + " FROM " + table + " WHERE (" + column + " = '" + from + "')")
                    .constData(),
                -1, &s, nullptr);
            const bool used = sqlite3_step(s) == SQLITE_ROW;
            sqlite3_finalize(s);
            if (used) {
                db.exec(("UPDATE " + table + " SET " + column + " = '" + to + "' WHERE " + column + " = '"
                    + from + "'")
                            .constData());
            }
        }
        db.exec("COMMIT");
        ++i;
    }
}

// Renaming the income item with the most postings: its postings, then the item row.
void renameItem(benchmark::State &state, qint64 postings)
{
    BenchSupport::AppDir app(postings);
    ItemMaster window(app.context(), ItemVocabulary::income());
    window.show();
    window.load();
    Grid *grid = window.findChild<Grid *>(QStringLiteral("SP2"));
    if (grid->maxRows() < 1 || app.dialogs.shown)
        BenchSupport::fail(QStringLiteral("the income item window did not load"));
    const QString item = grid->text(1, 1);
    const QString names[2] = {item, item + QStringLiteral("(改)")};
    int i = 0;
    for (auto _ : state) {
        grid->setText(1, 1, names[(i + 1) % 2]);
        grid->clickButton(5, 1);
        ++i;
    }
    if (app.dialogs.last != names[i % 2] + QStringLiteral("に変更しました"))
        BenchSupport::fail(QStringLiteral("the item rename did not complete: ") + app.dialogs.last);
    state.counters["target_ms"] = 1000;
}

const int registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(("StorageRename/" + size.name).toStdString().c_str(),
            [n](benchmark::State &s) { renamePlace(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("StorageRename/" + size.name + "/raw").toStdString().c_str(),
            [n](benchmark::State &s) { renamePlaceRaw(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(
            ("ItemRename/" + size.name).toStdString().c_str(), [n](benchmark::State &s) { renameItem(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
