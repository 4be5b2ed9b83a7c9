// SPDX-License-Identifier: GPL-3.0-or-later
// Statement imports killed at random moments.
//
// A child imports one statement file through the real F_import window (opened from the main
// menu), takes the batch back with cmd_undo, and does it again, until it is killed with
// SIGKILL. After every kill the ledger is whole, its balances equal their replayed histories,
// and it holds either none of the statement or all of it, with its own import tables saying
// the same: no posting without its batch line, no batch line without its posting.
//
// VELMO_CRASH_KILLS sets the number of kills (default 12), VELMO_CRASH_SEED the random seed.

#include "../import/StatementFiles.h"
#include "Backup.h"
#include "ChildProcess.h"
#include "Grid.h"
#include "ImportWindow.h"
#include "LedgerCheck.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <random>
#include <sys/prctl.h>

namespace {

constexpr int StatementLines = 300;

// A postal-bank download over November 2024 whose balances follow on from the place's 100,000.
QByteArray statement()
{
    QStringList rows;
    qint64 balance = 100000;
    for (int i = 0; i < StatementLines; ++i) {
        const bool deposit = i % 7 == 0;
        const int money = deposit ? 3000 + i : 200 + i;
        balance += deposit ? money : -money;
        rows << QStringLiteral("202411%1,%2,%3,%4,%5,%6,%7,")
                    .arg(1 + i % 30, 2, 10, QChar(u'0'))
                    .arg(i + 1, 9, 10, QChar(u'0'))
                    .arg(deposit ? QString::number(money) : QString())
                    .arg(deposit ? QString() : QString::number(money))
                    .arg(deposit ? QStringLiteral("振込") : QStringLiteral("ｶｰﾄﾞ"))
                    .arg(deposit ? QStringLiteral("ｷﾕｳﾖ") : QStringLiteral("ｺﾝﾋﾞﾆ%1").arg(i))
                    .arg(balance);
    }
    // The file's days are not in order; the import sorts them.
    return StatementFiles::bytes(StatementFiles::yucho(rows));
}

// "import <appdir> <file>": import, undo, import, ... through the window, forever.
[[noreturn]] void importForever(const QString &appDir, const QString &file)
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
    for (;;) {
        clock.set(clock.now().addSecs(1));
        menu.findChild<QAction *>(QStringLiteral("import"))->trigger();
        auto *w = qobject_cast<ImportWindow *>(menu.openTask());
        w->setListPicker([](const QString &, const QStringList &) { return std::optional<int>(0); });
        w->findChild<QComboBox *>(QStringLiteral("cb_hokan"))->setCurrentText(QStringLiteral("ゆうちょ"));
        w->openFile(file);
        auto *grid = w->findChild<Grid *>(QStringLiteral("SP"));
        for (int r = 1; r <= grid->maxRows(); ++r)
            if (grid->text(ImportWindow::ColItem, r).isEmpty())
                grid->setText(ImportWindow::ColItem, r, QStringLiteral("0"));
        // A kill after an import and before its undo leaves the statement imported: undo first.
        if (grid->text(ImportWindow::ColState, 1) != QStringLiteral("取込済"))
            w->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
        w->findChild<QPushButton *>(QStringLiteral("cmd_undo"))->click();
        w->findChild<QPushButton *>(QStringLiteral("cmd_end"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

int childMain(const QStringList &args)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (args.value(0) == u"import")
        importForever(args.value(1), args.value(2));
    return 2;
}

} // namespace

class TestImportCrash : public QObject
{
    Q_OBJECT

    int kills = Child::crashKills(12);
    std::mt19937 rng = Child::crashRandom();

private slots:
    void aKilledImportOrUndoLeavesAllOfTheStatementOrNone()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('ゆうちょ',100000,'','')");
        dir.exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与','ゆうちょ',100000,"
                 "20241001,'')");
        dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('生活','')");
        dir.exec(
            "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','生活','ゆうちょ','')");
        dir.exec(
            "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活','ゆうちょ','')");
        const QString file = dir.path() + QStringLiteral("/statement.csv");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(statement());
        }
        const QStringList none = ledgerDump(dir.dbPath());
        QStringList all; // the state after a whole import, once one has been seen
        int seenAll = 0, seenNone = 0, finishedImports = 0;
        // Questions are answered Yes; any other message means a step failed.
        const QStringList expected {QStringLiteral("ready"),
            QStringLiteral("info %1件を取り込みました").arg(StatementLines),
            QStringLiteral("info 取込を取り消しました")};
        for (int kill = 1; kill <= kills; ++kill) {
            const QString at = QStringLiteral("kill %1").arg(kill);
            const QStringList said = Child::runAndKill({"import", dir.path(), file}, rng, 1500);
            for (const QString &line : said)
                QVERIFY2(expected.contains(line) || line.startsWith(QStringLiteral("ask ")),
                    qPrintable(at + QStringLiteral(": the child said ") + line));
            finishedImports += int(said.count(expected.at(1)));

            const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
            QVERIFY2(check.ok(), qPrintable(at + QStringLiteral(": ") + check.problems.join(u'\n')));
            QVERIFY2(Backup::deepCheck(dir.dbPath()), qPrintable(at));
            const QStringList now = ledgerDump(dir.dbPath());
            const int postings = dir.scalar("SELECT COUNT(*) FROM N").toInt()
                + dir.scalar("SELECT COUNT(*) FROM S").toInt() - 1;
            const int batchLines = dir.scalar("SELECT COUNT(*) FROM X_import_line").toInt();
            const int batches = dir.scalar("SELECT COUNT(*) FROM X_import_batch").toInt();
            if (now == none) {
                ++seenNone;
                QCOMPARE(batchLines, 0);
                QCOMPARE(batches, 0);
            } else {
                ++seenAll;
                QVERIFY2(all.isEmpty() || now == all,
                    qPrintable(at + QStringLiteral(": a part of the statement")));
                all = now;
                QCOMPARE(postings, StatementLines);
                QCOMPARE(batchLines, StatementLines);
                QCOMPARE(batches, 1);
            }
        }
        // The child got through whole imports between the kills.
        QVERIFY(finishedImports > 0);
        qInfo("%d kills: %d with the statement imported, %d without; %d imports finished", kills, seenAll,
            seenNone, finishedImports);
    }
};

RELIABILITY_MAIN(TestImportCrash, childMain)
#include "tst_importcrash.moc"
