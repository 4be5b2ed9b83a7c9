// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"
#include "History.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

class TestHistory : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2005, 3, 15);
        std::unique_ptr<History> window;

        History &open()
        {
            window = std::make_unique<History>(dir.context(dialogs, clock));
            window->show();
            window->load();
            return *window;
        }
        Grid *grid(const char *name) const { return window->findChild<Grid *>(QString::fromLatin1(name)); }
        // Every row of a grid, its cells joined by "|".
        QStringList rows(const char *name) const { return gridRows(*grid(name)); }
        void stocktake(int day, const QString &place, int before, int after, const QString &reason)
        {
            dir.exec(QStringLiteral("INSERT INTO Ktanaorosi_T (K_hokan, K_bmoney, K_amoney, K_riyuu, K_day) "
                                    "VALUES ('%1', %2, %3, '%4', %5)")
                         .arg(place)
                         .arg(before)
                         .arg(after)
                         .arg(reason)
                         .arg(day));
        }
        void transfer(int day, const QString &from, const QString &to, int money, const QString &memo)
        {
            dir.exec(
                QStringLiteral("INSERT INTO Idourireki_T (I_hokanmoto, I_hokansaki, I_money, I_day, I_memo) "
                               "VALUES ('%1', '%2', %3, %4, '%5')")
                    .arg(from, to)
                    .arg(money)
                    .arg(day)
                    .arg(memo));
        }
    };

    static QStringList headings(Grid *g)
    {
        QStringList out;
        for (int c = 1; c <= g->maxCols(); ++c)
            out << g->text(c, 0);
        return out;
    }

private slots:
    void tabsAndHeadingsInTheirOrder()
    {
        Fixture f;
        f.open();
        QCOMPARE(f.window->objectName(), QStringLiteral("F_rireki_S"));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("棚卸・移動履歴照会"));
        QCOMPARE(f.window->findChild<QLabel *>("Label5")->text(), QStringLiteral("棚卸・移動履歴照会"));
        QCOMPARE(f.window->findChild<QPushButton *>("cmd_end")->text(), QStringLiteral("閉じる"));
        auto *tab = f.window->findChild<QTabWidget *>("TAB");
        QCOMPARE(tab->count(), 2);
        QCOMPARE(tab->tabText(0), QStringLiteral("棚\u3000卸"));
        QCOMPARE(tab->tabText(1), QStringLiteral("移\u3000動"));
        QCOMPARE(tab->widget(0), f.grid("SP1"));
        QCOMPARE(tab->widget(1), f.grid("SP2"));
        QCOMPARE(headings(f.grid("SP1")),
            QStringList({"日付", "保管場所", "変更前金額", "変更後金額", "変更理由"}));
        QCOMPARE(headings(f.grid("SP2")), QStringList({"日付", "保管移動元", "保管移動先", "金額", "備考"}));
    }

    void emptyHistoriesGiveEmptyGrids()
    {
        Fixture f;
        f.open();
        QCOMPARE(f.grid("SP1")->maxRows(), 0);
        QCOMPARE(f.grid("SP2")->maxRows(), 0);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void bothHistoriesNewestFirst()
    {
        Fixture f;
        f.stocktake(20040505, "財布", 1000, 900, "数え直し");
        f.stocktake(20050310, "金庫", 50000, 52000, "一回目");
        f.stocktake(20050101, "銀行", 0, 10, "");
        f.stocktake(20050310, "金庫", 52000, 51000, "二回目");
        f.transfer(20050102, "銀行", "財布", 30000, "生活費");
        f.transfer(20050305, "財布", "金庫", -1, "");
        f.transfer(20041231, "金庫", "銀行", 2000000000, "預け入れ");
        f.open();

        const QStringList stocktakes = f.rows("SP1");
        QCOMPARE(stocktakes.size(), 4);
        // The two of the same day stay together, in the order the ledger returns them.
        QCOMPARE(QSet<QString>(stocktakes.begin(), stocktakes.begin() + 2),
            QSet<QString>({"20050310|金庫|50000|52000|一回目", "20050310|金庫|52000|51000|二回目"}));
        QCOMPARE(stocktakes.mid(2), QStringList({"20050101|銀行|0|10|", "20040505|財布|1000|900|数え直し"}));
        QCOMPARE(f.rows("SP2"),
            QStringList({"20050305|財布|金庫|-1|", "20050102|銀行|財布|30000|生活費",
                "20041231|金庫|銀行|2000000000|預け入れ"}));
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void transferFailureLeavesTheStocktakesShown()
    {
        Fixture f;
        f.stocktake(20050101, "財布", 1000, 900, "数え直し");
        f.stocktake(20050201, "財布", 900, 800, "");
        f.transfer(20050102, "銀行", "財布", 30000, "生活費");
        StatementRecorder rec;
        rec.failOn = QStringLiteral("Idourireki_T");
        f.open();
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
        QCOMPARE(f.rows("SP1"), QStringList({"20050201|財布|900|800|", "20050101|財布|1000|900|数え直し"}));
        QCOMPARE(f.grid("SP2")->text(1, 1), QString());
        QCOMPARE(rec.statements,
            QStringList({"SELECT * FROM Ktanaorosi_T ORDER BY K_day DESC",
                "SELECT * FROM Idourireki_T ORDER BY I_day DESC"}));
    }

    void missingLedgerIsReportedOnce()
    {
        Fixture f;
        QFile::remove(f.dir.dbPath());
        f.open();
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
    }

    void mainMenuOpensBothInquiries()
    {
        Fixture f;
        MainMenu menu(f.dir.context(f.dialogs, f.clock));
        registerTasks(menu);
        menu.load();
        menu.show();
        for (const auto &[button, window] :
            {std::pair {"cmd_list", "F_list_S"}, std::pair {"cmd_rireki", "F_rireki_S"}}) {
            menu.findChild<QPushButton *>(button)->click();
            QPointer<TaskWindow> task = menu.openTask();
            QVERIFY(task);
            QCOMPARE(task->objectName(), QString::fromLatin1(window));
            task->findChild<QPushButton *>("cmd_end")->click();
            QTRY_VERIFY(!task);
            QVERIFY(menu.isEnabled());
        }
        QVERIFY(f.dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
