// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"
#include "Database.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>
#include <optional>

// The history of actions at the connection layer: what an action records, taking it back row
// for row (row ids and storage classes included), refusing when a row was changed outside the
// history, and pruning.
// A run of actions: how many, the first one's time, and the seconds between two of them.
struct Run
{
    int count = 0;
    QDateTime from;
    qint64 apart = 0;
};
Q_DECLARE_METATYPE(Run)

class TestActionHistory : public QObject
{
    Q_OBJECT

    const QDateTime Now {QDate(2026, 12, 9), QTime(10, 0, 0)};

    // Every row of every table but the history itself, with its row id and each value as an SQL
    // literal, so that 500 and '500' differ. The search copy and its index are left out too: their
    // triggers rebuild them under row ids of their own (the search's tests check that copy).
    static QStringList exactDump(const TempAppDir &dir)
    {
        return ledgerDump(dir.dbPath(),
            dir.rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT "
                     "LIKE 'sqlite%' AND name <> 'X_undo_action' AND name NOT LIKE 'X\\_meisai%' ESCAPE '\\' "
                     "ORDER BY name"));
    }

    void act(
        const TempAppDir &dir, const QStringList &statements, const QString &text = QStringLiteral("操作"))
    {
        Database db(dir.dbPath());
        db.beginAction(QStringLiteral("F_test"), text, Now);
        for (const QString &s : statements)
            db.execute(s);
        db.commit();
    }

    static qint64 newest(const TempAppDir &dir)
    {
        return dir.scalar("SELECT max(XU_no) FROM X_undo_action").toLongLong();
    }
    static int entries(const TempAppDir &dir)
    {
        return dir.scalar("SELECT count(*) FROM X_undo_action").toInt();
    }

    // A small ledger: two places, an item of each kind, postings, a transfer and a rule.
    static void fill(const TempAppDir &dir)
    {
        for (const char *s : {
                 "INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES "
                 "('財布',1000,'父',''),('銀行',5000,'母',NULL)",
                 "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給料','給与','財布','')",
                 "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活費','財布','')",
                 "INSERT INTO N VALUES ('給料','財布',300,20261201,'12月'),('給料','財布',200,20261202,'')",
                 "INSERT INTO S VALUES ('食費','財布',50,20261203,'x'),('食費','銀行',70,20261204,'')",
                 "INSERT INTO Idourireki_T VALUES ('財布','銀行',10,20261205,'')",
                 "INSERT INTO X_import_rule VALUES ('銀行','S','ｺﾝﾋﾞﾆ','食費')",
             })
            dir.exec(QString::fromUtf8(s));
    }

private slots:
    void takingBackPutsEveryRowBack_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::newRow("posting into a table without a key")
            << QStringList {"UPDATE Hokan_T SET H_money = 1500 WHERE H_index = '財布'",
                   "INSERT INTO N VALUES ('給料','財布',500,20261209,'')"};
        QTest::newRow("deleting rows of a table without a key")
            << QStringList {"DELETE FROM S WHERE S_hokan = '財布'", "DELETE FROM N WHERE rowid = 1"};
        QTest::newRow("deleting a master row keeps its number")
            << QStringList {"DELETE FROM Hokan_T WHERE H_index = '銀行'"};
        QTest::newRow("several columns of a row") << QStringList {
            "UPDATE Hokan_T SET H_name = NULL, H_memo = 'メモ', H_money = '1200' WHERE H_index = '財布'"};
        QTest::newRow("rename through every table")
            << QStringList {"UPDATE Hokan_T SET H_index = 'ｻｲﾌ' WHERE H_index = '財布'",
                   "UPDATE N SET N_hokan = 'ｻｲﾌ' WHERE N_hokan = '財布'",
                   "UPDATE S SET S_hokan = 'ｻｲﾌ' WHERE S_hokan = '財布'",
                   "UPDATE Nyuukin_T SET N_hokan = 'ｻｲﾌ' WHERE N_hokan = '財布'",
                   "UPDATE Idourireki_T SET I_hokanmoto = 'ｻｲﾌ' WHERE I_hokanmoto = '財布'"};
        QTest::newRow("values of every storage class")
            << QStringList {"INSERT INTO N VALUES (NULL, x'00ff', 1.5, -9223372036854775808, '🍣''\"')",
                   "UPDATE S SET S_money = 2.25, S_memo = x'' WHERE rowid = 2"};
        QTest::newRow("row ids moved and replaced rows")
            << QStringList {"UPDATE N SET rowid = 40 WHERE rowid = 2",
                   "INSERT OR REPLACE INTO X_import_rule VALUES ('銀行','S','ｺﾝﾋﾞﾆ','日用品')",
                   "DELETE FROM N WHERE rowid = 1", "INSERT INTO N VALUES ('賞与','銀行',9,20261209,'')"};
    }

    void takingBackPutsEveryRowBack()
    {
        QFETCH(QStringList, statements);
        TempAppDir dir;
        fill(dir);
        const QStringList before = exactDump(dir);
        act(dir, statements);
        const QStringList after = exactDump(dir);
        QVERIFY(after != before);
        QCOMPARE(entries(dir), 1);

        const auto undo = ActionHistory::takeBackFrom(dir.dbPath(), newest(dir), "F_undo", Now, 1);
        QVERIFY2(undo.done, qPrintable(undo.refusal));
        QCOMPARE(exactDump(dir), before);
        // Taking back is an action itself: taking that back does the first action again.
        QCOMPARE(entries(dir), 2);
        QCOMPARE(dir.scalar("SELECT XU_text FROM X_undo_action ORDER BY XU_no DESC").toString(),
            QStringLiteral("「操作」の取消"));
        QVERIFY(ActionHistory::takeBackFrom(dir.dbPath(), newest(dir), "F_undo", Now, 1).done);
        QCOMPARE(exactDump(dir), after);
    }

    void takingBackFromAnEntryTakesBackEveryNewerOneNewestFirst()
    {
        TempAppDir dir;
        fill(dir);
        const QStringList before = exactDump(dir);
        act(dir, {"UPDATE Hokan_T SET H_money = 1100 WHERE H_index = '財布'"}, "一");
        const qint64 first = newest(dir);
        // Each later action changes what the one before it left.
        act(dir, {"UPDATE Hokan_T SET H_money = 1200 WHERE H_index = '財布'"}, "二");
        act(dir, {"UPDATE Hokan_T SET H_money = 1300, H_memo = 'm' WHERE H_index = '財布'"}, "三");

        // The question named two actions, but there are three now: nothing happens.
        auto outcome = ActionHistory::takeBackFrom(dir.dbPath(), first, "F_undo", Now, 2);
        QVERIFY(!outcome.done);
        QCOMPARE(entries(dir), 3);

        outcome = ActionHistory::takeBackFrom(dir.dbPath(), first, "F_undo", Now, 3);
        QVERIFY2(outcome.done, qPrintable(outcome.refusal));
        QCOMPARE(outcome.taken.size(), 3);
        QCOMPARE(exactDump(dir), before);
        QCOMPARE(dir.scalar("SELECT XU_text FROM X_undo_action ORDER BY XU_no DESC").toString(),
            QStringLiteral("「一」以降3件の取消"));
    }

    void aRowChangedOutsideTheHistoryStopsTheTakingBack_data()
    {
        QTest::addColumn<QStringList>("action");
        QTest::addColumn<QString>("outside");
        QTest::addColumn<QString>("named");
        QTest::newRow("posting changed")
            << QStringList {"INSERT INTO N VALUES ('給料','財布',500,20261209,'')"}
            << "UPDATE N SET N_money = 501 WHERE N_date = 20261209"
            << "収入「20261209 財布 給料 \\500」";
        QTest::newRow("posting gone") << QStringList {"INSERT INTO S VALUES ('食費','財布',9,20261209,'')"}
                                      << "DELETE FROM S WHERE S_date = 20261209"
                                      << "支出「20261209 財布 食費 \\9」";
        QTest::newRow("deleted row's number taken")
            << QStringList {"DELETE FROM Idourireki_T"}
            << "INSERT INTO Idourireki_T VALUES ('銀行','財布',1,20261209,'')"
            << "金額移動「20261205 財布→銀行 \\10」";
        QTest::newRow("balance changed")
            << QStringList {"UPDATE Hokan_T SET H_money = 900 WHERE H_index = '財布'"}
            << "UPDATE Hokan_T SET H_money = 901 WHERE H_index = '財布'"
            << "保管場所「財布」";
        QTest::newRow("renamed row changed")
            << QStringList {"UPDATE N SET N_index = '月給' WHERE N_index = '給料'"}
            << "UPDATE N SET N_index = '賞与' WHERE rowid = 1"
            << "収入「20261201 財布 月給 \\300」";
    }

    void aRowChangedOutsideTheHistoryStopsTheTakingBack()
    {
        QFETCH(QStringList, action);
        QFETCH(QString, outside);
        QFETCH(QString, named);
        TempAppDir dir;
        fill(dir);
        // An earlier action the refusal must leave alone too.
        act(dir, {"UPDATE Hokan_T SET H_memo = '前' WHERE H_index = '銀行'"});
        act(dir, action);
        dir.exec(outside); // another program, which the history does not know
        const QStringList before = exactDump(dir);
        const auto outcome = ActionHistory::takeBackFrom(dir.dbPath(), newest(dir) - 1, "F_undo", Now, 2);
        QVERIFY(!outcome.done);
        QCOMPARE(outcome.refusal, named + QStringLiteral("がこの操作の後で変更されているため取り消せません"));
        QCOMPARE(exactDump(dir), before);
        QCOMPARE(entries(dir), 2);
    }

    void aRenameToldInAdvanceIsRecordedAsReadRowByRow()
    {
        // Two copies of one generated ledger take the same renames, one told in advance (rows
        // recorded by their ids alone), one not: the history must hold the same record, and
        // taking back must give the same rows, also after another program wrote rows of the new
        // name or the rename was told a wrong old name.
        const QStringList names {"財布", "銀行", "ｻｲﾌ", "", "a'b", "財布 "};
        QRandomGenerator random(41);
        for (int ledger = 0; ledger < 4; ++ledger) {
            TempAppDir told, plain;
            for (const TempAppDir *d : {&told, &plain}) {
                fill(*d);
                QRandomGenerator rows(ledger);
                for (int r = 0; r < 60; ++r) {
                    const QString n = names.at(rows.bounded(int(names.size())));
                    d->exec(QStringLiteral("INSERT INTO S VALUES ('食費', %1, %2, 20261201, '')")
                                .arg(rows.bounded(8) ? u'\'' + Database::escape(n) + u'\''
                                                     : QStringLiteral("NULL"))
                                .arg(r));
                }
            }
            for (int step = 0; step < 12; ++step) {
                const QStringList before = exactDump(plain);
                const int had = entries(plain);
                const QString from = names.at(random.bounded(int(names.size())));
                const QString to = names.at(random.bounded(int(names.size())));
                const bool wrongHint = random.bounded(5) == 0;
                const QString sql = QStringLiteral("UPDATE S SET S_hokan = ? WHERE S_hokan = ?");
                for (const TempAppDir *d : {&told, &plain}) {
                    Database db(d->dbPath());
                    db.beginAction(QStringLiteral("F_test"), QStringLiteral("変更"), Now);
                    std::optional<Database::ExpectedRename> hint;
                    if (d == &told)
                        hint.emplace(db, QStringLiteral("S"), QStringLiteral("S_hokan"),
                            wrongHint ? from + u'x' : from, to);
                    db.execute(sql, {to, from});
                    hint.reset();
                    db.commit();
                }
                const QString changes
                    = QStringLiteral("SELECT hex(XU_changes) FROM X_undo_action ORDER BY XU_no DESC");
                QCOMPARE(entries(told), entries(plain));
                QCOMPARE(told.scalar(changes).toString(), plain.scalar(changes).toString());
                if (entries(plain) == had || random.bounded(3) == 0)
                    continue; // nothing renamed, or left as it is
                if (random.bounded(2) == 0) {
                    const QString outside
                        = QStringLiteral("INSERT INTO S VALUES ('食費', '%1', 9, 20261209, '')")
                              .arg(Database::escape(to));
                    told.exec(outside);
                    plain.exec(outside);
                }
                for (const TempAppDir *d : {&told, &plain}) {
                    const auto undo = ActionHistory::takeBackFrom(d->dbPath(), newest(*d), "F_undo", Now, 1);
                    QVERIFY2(undo.done, qPrintable(undo.refusal));
                }
                QCOMPARE(told.scalar(changes).toString(), plain.scalar(changes).toString());
                // The rows of the other program keep the new name; everything else is as before.
                for (const TempAppDir *d : {&told, &plain})
                    d->exec("DELETE FROM S WHERE S_date = 20261209 AND S_money = 9");
                QCOMPARE(exactDump(told), before);
                QCOMPARE(exactDump(plain), before);
            }
        }
    }

    void anActionThatChangesNothingLeavesNoEntry()
    {
        TempAppDir dir;
        fill(dir);
        act(dir, {"UPDATE Hokan_T SET H_money = H_money", "DELETE FROM N WHERE 0"});
        {
            Database db(dir.dbPath());
            db.beginAction("F_test", "取りやめ", Now);
            db.execute("INSERT INTO N VALUES ('給料','財布',1,20261209,'')");
        } // never committed
        QCOMPARE(entries(dir), 0);
        // A failure while the entry is written takes the action with it.
        {
            StatementRecorder recorder;
            dir.exec("CREATE TRIGGER refuse BEFORE INSERT ON X_undo_action BEGIN SELECT RAISE(ABORT, "
                     "'full'); END");
            QVERIFY_THROWS_EXCEPTION(
                DbError, act(dir, {"INSERT INTO N VALUES ('給料','財布',1,20261209,'')"}));
            dir.exec("DROP TRIGGER refuse");
        }
        QCOMPARE(dir.scalar("SELECT count(*) FROM N").toInt(), 2);
    }

    void aLedgerNotYetMigratedIsWrittenWithoutHistory()
    {
        TempAppDir dir;
        fill(dir);
        dropToVersionZero(dir);
        act(dir, {"INSERT INTO N VALUES ('給料','財布',1,20261209,'')"});
        QCOMPARE(dir.scalar("SELECT count(*) FROM N").toInt(), 3);
        Database db(dir.dbPath());
        QVERIFY(ActionHistory::recent(db).isEmpty());
    }

    void pruningKeepsTheLastThousandAndEveryEntryOfFourHundredDays_data()
    {
        QTest::addColumn<int>("old");
        QTest::addColumn<int>("recent");
        QTest::addColumn<int>("kept");
        // old: entries 500 days back; recent: entries of 10 days back; then one action today.
        QTest::newRow("few entries") << 20 << 5 << 26;
        QTest::newRow("old ones beyond a thousand go") << 1500 << 0 << 1000;
        QTest::newRow("recent ones stay beyond a thousand") << 300 << 1200 << 1201;
        QTest::newRow("old ones within the last thousand stay") << 990 << 5 << 996;
    }

    void pruningKeepsTheLastThousandAndEveryEntryOfFourHundredDays()
    {
        QFETCH(int, old);
        QFETCH(int, recent);
        QFETCH(int, kept);
        TempAppDir dir;
        fill(dir);
        const auto addEntries = [&](int n, int daysBack) {
            if (n > 0)
                dir.exec(QStringLiteral(
                    "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                    "INSERT INTO X_undo_action (XU_when,XU_window,XU_text,XU_changes) "
                    "SELECT '%2','F_test','古い',x'' FROM k")
                             .arg(n)
                             .arg(Now.addDays(-daysBack).toString("yyyy/MM/dd hh:mm:ss")));
        };
        addEntries(old, 500);
        addEntries(recent, 10);
        act(dir, {"UPDATE Hokan_T SET H_money = 1 WHERE H_index = '財布'"});
        QCOMPARE(entries(dir), kept);
        // What goes are the oldest entries, and the newest stays.
        QCOMPARE(dir.scalar("SELECT max(XU_no) FROM X_undo_action").toInt(), old + recent + 1);
        QCOMPARE(dir.scalar("SELECT min(XU_no) FROM X_undo_action").toInt(), old + recent + 2 - kept);
    }

    // Actions under a clock that was wrong for a while, each one pruning as it is recorded,
    // against a plain model of the rule: an entry stays while it is among the newest 1,000 or
    // dated no earlier than 400 days before the newest one's time. `clock` lists the runs of
    // actions.
    void pruningSurvivesAWrongClock_data()
    {
        QTest::addColumn<QList<Run>>("clock");
        QTest::addColumn<int>("kept");
        const QDateTime real(QDate(2024, 1, 1), QTime(9, 0, 0));
        constexpr qint64 hours = 3600;
        const Run past {1500, real, 12 * hours}; // 750 days of real history
        const QDateTime afterPast = real.addDays(750);
        // One entry under a clock set to 2035, then 3,000 actions over 1,000 days: the entry
        // dated ahead neither stops the pruning nor goes itself before its time.
        QTest::newRow("one entry ahead") << QList<Run> {{1, QDateTime(QDate(2035, 1, 1), QTime()), 0},
            {3000, real, 8 * hours}} << 1 + 1201;
        // A clock set back to 2000: the real entries are dated after it, none of them goes.
        QTest::newRow("behind") << QList<Run> {past, {200, QDateTime(QDate(2000, 1, 1), QTime()), hours}}
                                << 1000 + 200;
        // A clock set to 2099: only the newest 1,000 stay, whatever their dates.
        QTest::newRow("ahead") << QList<Run> {past, {200, QDateTime(QDate(2099, 6, 1), QTime()), hours}}
                               << 1000;
        // Corrected after the session in 2099: its entries stay, dated ahead, while the real ones
        // beyond the newest 1,000 go by their dates.
        QTest::newRow("corrected") << QList<Run> {past, {200, QDateTime(QDate(2099, 6, 1), QTime()), hours},
            {2500, afterPast, 4 * hours}}
                                   << 200 + 2401;
    }
    void pruningSurvivesAWrongClock()
    {
        QFETCH(QList<Run>, clock);
        QFETCH(int, kept);
        TempAppDir dir;
        QList<std::pair<qint64, QDateTime>> model; // number, time
        qint64 no = 0;
        {
            Database db(dir.dbPath());
            db.beginWrite();
            for (const Run &run : clock) {
                for (int i = 0; i < run.count; ++i) {
                    const QDateTime when = run.from.addSecs(i * run.apart);
                    ActionHistory::append(db, when, QStringLiteral("F_test"), QStringLiteral("操作"), {});
                    model.append({++no, when});
                    const QDateTime cutoff = when.addDays(-ActionHistory::KeptDays);
                    model.removeIf([&](const auto &e) {
                        return e.first <= no - ActionHistory::KeptActions && e.second < cutoff;
                    });
                }
            }
            db.commit();
        }
        QStringList expected;
        for (const auto &[n, when] : model)
            expected << QString::number(n) + u'|' + when.toString("yyyy/MM/dd hh:mm:ss");
        QCOMPARE(dir.rows("SELECT XU_no, XU_when FROM X_undo_action ORDER BY XU_no"), expected);
        QCOMPARE(expected.size(), kept);
    }
};

QTEST_GUILESS_MAIN(TestActionHistory)
#include "tst_actionhistory.moc"
