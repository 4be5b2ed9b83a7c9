// SPDX-License-Identifier: GPL-3.0-or-later
// Taking actions back, killed at random moments.
//
// The ledger holds one recorded action that renames a storage place through many postings and
// posts to it. A child presses 元に戻す (Ctrl+Z) on the real main menu again and again: each press
// takes back the newest action, which is the previous taking back, so the ledger goes back and
// forth between the state before the action and the state after it. After every SIGKILL the
// ledger is whole, its balances equal their replayed histories, its nine tables are exactly
// one of the two states (row ids included), and the history agrees with them: an odd number of
// entries leaves the action done, an even number taken back.
//
// VELMO_CRASH_KILLS sets the number of kills (default 12), VELMO_CRASH_SEED the random seed.

#include "ActionHistory.h"
#include "Backup.h"
#include "ChildProcess.h"
#include "Database.h"
#include "LedgerCheck.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QTest>
#include <random>
#include <sys/prctl.h>

namespace {

constexpr int Postings = 20000;

// "undo <appdir>": Ctrl+Z on the main menu, forever; "undo1 <appdir>": once, then exit.
int undoRuns(const QString &appDir, bool repeat)
{
    Child::ReportingDialogs dialogs;
    FixedClock clock = clockAt(2024, 12, 8, 12, 0, 0);
    const AppContext context {appDir, &dialogs, &clock};
    MainMenu menu(context);
    registerTasks(menu);
    menu.setQuit([] {});
    menu.show();
    menu.load();
    Child::say(QStringLiteral("ready"));
    QAction *undo = menu.findChild<QAction *>(QStringLiteral("undo"));
    do {
        clock.set(clock.now().addSecs(1));
        undo->trigger();
    } while (repeat);
    return 0;
}

int childMain(const QStringList &args)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (args.value(0) == u"undo" || args.value(0) == u"undo1")
        return undoRuns(args.value(1), args.value(0) == u"undo");
    return 2;
}

} // namespace

class TestUndoCrash : public QObject
{
    Q_OBJECT

    int kills = Child::crashKills(12);
    std::mt19937 rng = Child::crashRandom();

private slots:
    void aKilledUndoLeavesAllOfTheActionOrNone()
    {
        TempAppDir dir;
        dir.exec(
            "INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',0,'',''),('銀行',0,'','')");
        dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('給与','')");
        dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給料','給与','財布','')");
        dir.exec(
            QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                           "INSERT INTO N SELECT '給料', CASE WHEN i % 3 = 0 THEN '銀行' ELSE '財布' END, "
                           "i, 20240101 + i % 28, '' FROM k")
                .arg(Postings));
        dir.exec("UPDATE Hokan_T SET H_money = (SELECT SUM(N_money) FROM N WHERE N_hokan = H_index)");
        const QStringList before = ledgerDump(dir.dbPath());
        {
            Database db(dir.dbPath());
            db.beginAction(QStringLiteral("F_hokanM"), QStringLiteral("保管場所「財布」を「ｻｲﾌ」に変更"),
                QDateTime(QDate(2024, 12, 1), QTime(9, 0)));
            for (const char *s : {"UPDATE Hokan_T SET H_index = 'ｻｲﾌ' WHERE H_index = '財布'",
                     "UPDATE N SET N_hokan = 'ｻｲﾌ' WHERE N_hokan = '財布'",
                     "UPDATE Nyuukin_T SET N_hokan = 'ｻｲﾌ' WHERE N_hokan = '財布'",
                     "UPDATE Hokan_T SET H_money = H_money + 500 WHERE H_index = 'ｻｲﾌ'",
                     "INSERT INTO N VALUES ('給料','ｻｲﾌ',500,20241201,'')"})
                db.execute(QString::fromUtf8(s));
            db.commit();
        }
        const QStringList after = ledgerDump(dir.dbPath());
        QVERIFY(LedgerCheck::check(dir.dbPath()).ok());

        int seenBefore = 0, seenAfter = 0, undone = 0;
        for (int kill = 1; kill <= kills; ++kill) {
            const QString at = QStringLiteral("kill %1").arg(kill);
            const QStringList said = Child::runAndKill({"undo", dir.path()}, rng, 1500);
            for (const QString &line : said) {
                QVERIFY2(line == u"ready" || line.startsWith(QStringLiteral("ask "))
                        || line.endsWith(QStringLiteral("を取り消しました")),
                    qPrintable(at + QStringLiteral(": the child said ") + line));
                undone += line.endsWith(QStringLiteral("を取り消しました"));
            }
            const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
            QVERIFY2(check.ok(), qPrintable(at + QStringLiteral(": ") + check.problems.join(u'\n')));
            QVERIFY2(Backup::deepCheck(dir.dbPath()), qPrintable(at));
            const QStringList now = ledgerDump(dir.dbPath());
            const int entries = dir.scalar("SELECT COUNT(*) FROM X_undo_action").toInt();
            if (now == after) {
                ++seenAfter;
                QVERIFY2(entries % 2 == 1, qPrintable(at + QStringLiteral(": done, by an even history")));
            } else {
                QVERIFY2(now == before, qPrintable(at + QStringLiteral(": a part of the action")));
                ++seenBefore;
                QVERIFY2(
                    entries % 2 == 0, qPrintable(at + QStringLiteral(": taken back, by an odd history")));
            }
        }
        // The kills are random: when none of them let an undo finish, one run to its end proves
        // that the undo under test does its work at all.
        if (undone == 0) {
            const Child::Report last = Child::run({"undo1", dir.path()});
            QVERIFY2(last.finishedCleanly(), qPrintable(last.errors));
            undone += last.lines.filter(QStringLiteral("を取り消しました")).size();
            QVERIFY(LedgerCheck::check(dir.dbPath()).ok());
            const QStringList now = ledgerDump(dir.dbPath());
            QVERIFY(now == before || now == after);
        }
        QVERIFY(undone > 0);
        qInfo("%d kills: %d with the action done, %d taken back; %d undos finished", kills, seenAfter,
            seenBefore, undone);
    }
};

RELIABILITY_MAIN(TestUndoCrash, childMain)
#include "tst_undocrash.moc"
