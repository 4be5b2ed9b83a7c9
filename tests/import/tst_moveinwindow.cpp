// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"
#include "Backup.h"
#include "Database.h"
#include "Grid.h"
#include "MoveInWindow.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

// The move-in window on the kept sample of the history export: a place renamed onto an
// existing one, the balance typed, the lines written after one backup as one action.
class TestMoveInWindow : public QObject
{
    Q_OBJECT

private slots:
    void movesInAfterTheBackup()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',0,'','')");
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2026, 12, 9);
        MoveInWindow w(dir.context(dialogs, clock));
        w.load();
        w.openFiles({QStringLiteral(VELMO_MOVEIN_DATA "/movein-history.csv")});
        QVERIFY2(dialogs.infos.isEmpty(), qPrintable(dialogs.infos.join('\n')));
        auto *masters = w.findChild<Grid *>("SP_M");
        auto *lines = w.findChild<Grid *>("SP");
        QCOMPARE(lines->maxRows(), 6);
        // The line the source left out of its totals is offered unticked.
        QCOMPARE(lines->text(MoveInWindow::ColTake, 3), QString());
        QCOMPARE(lines->text(MoveInWindow::ColState, 3), QStringLiteral("集計外"));
        // みずほ銀行 becomes the ledger's 銀行; its balance today typed.
        int bank = 0;
        for (int r = 1; r <= masters->maxRows(); ++r)
            if (masters->text(MoveInWindow::MSource, r) == u"みずほ銀行")
                bank = r;
        QVERIFY(bank > 0);
        QCOMPARE(masters->text(MoveInWindow::MSum, bank), QStringLiteral("175000"));
        masters->setText(MoveInWindow::MName, bank, "銀行");
        masters->setText(MoveInWindow::MBalance, bank, "200000");
        // Taking the unticked line in moves the wallet's offered balance with it.
        lines->clickButton(MoveInWindow::ColTake, 3);
        QCOMPARE(lines->text(MoveInWindow::ColTake, 3), QStringLiteral("○"));

        // The card's history leaves it owing: an ordinary place may not, and nothing is written.
        auto *ok = w.findChild<QPushButton *>("cmd_ok");
        ok->click();
        QVERIFY2(dialogs.infos.last().contains("マイナスです"), qPrintable(dialogs.infos.join('\n')));
        QCOMPARE(dir.rows("SELECT H_index FROM Hokan_T"), QStringList {"銀行"});
        for (int r = 1; r <= masters->maxRows(); ++r)
            if (masters->text(MoveInWindow::MSource, r) == u"楽天カード")
                masters->setText(MoveInWindow::MBalance, r, "0");
        ok->click();
        QVERIFY2(dialogs.infos.last().startsWith("移行しました"), qPrintable(dialogs.infos.join('\n')));
        QVERIFY(!Backup::list(dir.dbPath()).isEmpty());
        QCOMPARE(dir.rows("SELECT H_index, H_money FROM Hokan_T ORDER BY H_no"),
            (QStringList {"銀行|200000", "楽天カード|0", "財布|15320"}));
        QCOMPARE(
            dir.scalar("SELECT COUNT(*) FROM S").toInt() + dir.scalar("SELECT COUNT(*) FROM N").toInt(), 5);
        Database db(dir.dbPath());
        QCOMPARE(ActionHistory::recent(db).size(), 1);
    }
};

QTEST_MAIN(TestMoveInWindow)
#include "tst_moveinwindow.moc"
