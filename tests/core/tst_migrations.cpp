// SPDX-License-Identifier: GPL-3.0-or-later
#include "Database.h"
#include "Migrations.h"
#include "TestSupport.h"

#include <QTest>

// Numbered steps on PRAGMA user_version: one write transaction, the nine tables untouched.
class TestMigrations : public QObject
{
    Q_OBJECT

private:
    // A ledger as the program shipped it before any step existed, with one posting.
    static void makeVersionZero(const TempAppDir &dir)
    {
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',500,'','')");
        dir.exec(
            "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与','銀行',500,20240101,'')");
        dropToVersionZero(dir);
    }
    static QStringList xTables(const TempAppDir &dir)
    {
        return dir.rows("SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'X\\_%' ESCAPE '\\' "
                        "ORDER BY name");
    }

private slots:
    void newLedgerShipsAtTheNewestVersion()
    {
        TempAppDir dir;
        QCOMPARE(dir.scalar("PRAGMA user_version").toInt(), Migrations::latest());
        QCOMPARE(xTables(dir),
            QStringList({"X_budget_row", "X_budget_year", "X_card", "X_card_bill", "X_import_batch",
                "X_import_line", "X_import_pattern", "X_import_place", "X_import_preset", "X_import_rule",
                "X_meisai", "X_meisai_fts", "X_meisai_fts_config", "X_meisai_fts_data", "X_meisai_fts_idx",
                "X_meisai_hokan", "X_meisai_takeback", "X_meisai_terms", "X_movein_id", "X_schedule",
                "X_undo_action"}));
        int calls = 0;
        QCOMPARE(Migrations::migrate(dir.dbPath(), [&](int, int) { return ++calls, true; }),
            Migrations::Outcome::Current);
        QCOMPARE(calls, 0);
    }

    void oldLedgerIsMigratedOnceAfterTheCallback()
    {
        TempAppDir dir;
        makeVersionZero(dir);
        QVERIFY(xTables(dir).isEmpty());
        QList<QPair<int, int>> calls;
        const auto before = [&](int from, int to) {
            // Runs before anything is written: the ledger is still at version 0.
            calls << qMakePair(from, to);
            return dir.scalar("PRAGMA user_version").toInt() == 0;
        };
        QCOMPARE(Migrations::migrate(dir.dbPath(), before), Migrations::Outcome::Migrated);
        QCOMPARE(calls, (QList<QPair<int, int>> {{0, Migrations::latest()}}));
        QCOMPARE(dir.scalar("PRAGMA user_version").toInt(), Migrations::latest());
        QCOMPARE(xTables(dir).size(), 21);
        QCOMPARE(dir.rows("SELECT N_index,N_money FROM N"), QStringList({"給与|500"}));
        QCOMPARE(dir.scalar("SELECT H_money FROM Hokan_T").toInt(), 500);
        QCOMPARE(Migrations::migrate(dir.dbPath(), before), Migrations::Outcome::Current);
        QCOMPARE(calls.size(), 1);
    }

    void declinedOrFailedStepLeavesTheLedgerAsItWas()
    {
        TempAppDir dir;
        makeVersionZero(dir);
        QCOMPARE(
            Migrations::migrate(dir.dbPath(), [](int, int) { return false; }), Migrations::Outcome::Declined);
        QVERIFY(xTables(dir).isEmpty());
        {
            StatementRecorder recorder;
            recorder.failOn = QStringLiteral("X_import_rule");
            QVERIFY_THROWS_EXCEPTION(DbError, Migrations::migrate(dir.dbPath()));
        }
        QVERIFY(xTables(dir).isEmpty());
        QCOMPARE(dir.scalar("PRAGMA user_version").toInt(), 0);
        QCOMPARE(Migrations::migrate(dir.dbPath()), Migrations::Outcome::Migrated);
        QCOMPARE(xTables(dir).size(), 21);
    }

    void newerLedgerIsUsedAsItIs()
    {
        TempAppDir dir;
        dir.exec(QStringLiteral("PRAGMA user_version = %1").arg(Migrations::latest() + 5));
        dir.exec("CREATE TABLE X_future (a TEXT)");
        bool called = false;
        QCOMPARE(Migrations::migrate(dir.dbPath(), [&](int, int) { return called = true; }),
            Migrations::Outcome::Newer);
        QVERIFY(!called);
        QCOMPARE(dir.scalar("PRAGMA user_version").toInt(), Migrations::latest() + 5);
    }
};

QTEST_GUILESS_MAIN(TestMigrations)
#include "tst_migrations.moc"
