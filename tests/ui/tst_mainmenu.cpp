// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFolder.h"
#include "Backup.h"
#include "BasGeneral.h"
#include "Cp932.h"
#include "Database.h"
#include "Forecast.h"
#include "MainMenu.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

class TestMainMenu : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        MainMenu menu {dir.context(dialogs, clock)};
        int quits = 0;
        QStringList viewed;

        Fixture()
        {
            menu.setQuit([this] { ++quits; });
            menu.setFileViewer([this](const QString &p) {
                viewed << p;
                return true;
            });
            for (const char *name : {"F_nyuukin", "F_syukkin", "F_zidou", "F_idou", "F_tanaorosi", "F_list_S",
                     "F_rireki_S", "F_all_S", "F_bunrui_S", "F_kensaku", "F_yosan", "F_mitosi", "F_csv",
                     "F_nyuM", "F_syuM", "F_kubunM", "F_hokanM", "F_ver"}) {
                const QString n = QString::fromLatin1(name);
                menu.setTaskFactory(n, [n](const AppContext &c) {
                    auto *w = new TaskWindow(c);
                    w->setObjectName(n);
                    return w;
                });
            }
            menu.load();
            menu.show();
        }
        QStringList events() const
        {
            QFile f(dir.logPath());
            f.open(QIODevice::ReadOnly);
            QStringList out;
            for (const QString &line :
                Cp932::decode(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
                out << line.section(u',', 1);
            return out;
        }
    };

private slots:
    void layoutHasTheCaptionsAndNames()
    {
        Fixture f;
        QCOMPARE(f.menu.windowTitle(), QStringLiteral("ヴェルモラ"));
        QCOMPARE(f.menu.findChild<QLabel *>("Label1")->text(), QStringLiteral("ヴェルモラ　メインメニュー"));
        QCOMPARE(f.menu.findChild<QPushButton *>("cmd_end")->text(), QStringLiteral("終了"));
        QStringList frames;
        for (const char *n : {"Frame1", "Frame2", "Frame3"})
            frames << f.menu.findChild<QGroupBox *>(n)->title();
        QCOMPARE(frames, QStringList({"収支入力メニュー", "金額移動・棚卸メニュー", "照会メニュー"}));
        QCOMPARE(f.menu.findChild<QPushButton *>("cmd_nyuukin")->palette().color(QPalette::Button),
            QColor(128, 128, 255));
        QCOMPARE(f.menu.findChild<QAction *>("logdel")->text(), QStringLiteral("ログ削除(&D)"));
        QCOMPARE(f.menu.findChild<QAction *>("En")->text(), QStringLiteral("終了(&X)"));
        QCOMPARE(f.menu.findChild<QMenu *>("masta")->title(), QStringLiteral("マスタメンテナンス(&M)"));
        // Focus runs from the end button through the task buttons in reading order.
        QWidget *w = f.menu.findChild<QPushButton *>("cmd_end");
        QStringList order;
        for (int i = 0; i < 12; ++i) {
            w = w->nextInFocusChain();
            while (!qobject_cast<QPushButton *>(w))
                w = w->nextInFocusChain();
            order << w->objectName();
        }
        QCOMPARE(order,
            QStringList({"cmd_nyuukin", "cmd_syukkin", "cmd_zidou", "cmd_idou", "cmd_tanaorosi", "cmd_list",
                "cmd_rireki", "cmd_all", "cmd_bunrui", "cmd_meisai", "cmd_yosan", "cmd_mitosi"}));
    }

    void everyTaskWritesItsLineAndDisablesTheMenu_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("window");
        QTest::newRow("income") << "cmd_nyuukin"
                                << "収入登録画面起動"
                                << "F_nyuukin";
        QTest::newRow("expense") << "cmd_syukkin"
                                 << "支出登録画面起動"
                                 << "F_syukkin";
        QTest::newRow("debit") << "cmd_zidou"
                               << "自動引落処理画面起動"
                               << "F_zidou";
        QTest::newRow("transfer") << "cmd_idou"
                                  << "金額移動画面起動"
                                  << "F_idou";
        QTest::newRow("stocktake") << "cmd_tanaorosi"
                                   << "金額棚卸画面起動"
                                   << "F_tanaorosi";
        QTest::newRow("detail") << "cmd_list"
                                << "項目別詳細照会画面起動"
                                << "F_list_S";
        QTest::newRow("history") << "cmd_rireki"
                                 << "棚卸・移動履歴照会起動"
                                 << "F_rireki_S";
        QTest::newRow("totals") << "cmd_all"
                                << "収支合計金額照会"
                                << "F_all_S";
        QTest::newRow("by category") << "cmd_bunrui"
                                     << "区分別集計照会起動"
                                     << "F_bunrui_S";
        QTest::newRow("search") << "cmd_meisai"
                                << "明細検索画面起動"
                                << "F_kensaku";
        QTest::newRow("budget") << "cmd_yosan"
                                << "予算画面起動"
                                << "F_yosan";
        QTest::newRow("balance ahead") << "cmd_mitosi"
                                       << "見通し画面起動"
                                       << "F_mitosi";
        QTest::newRow("csv") << "csv"
                             << "CSV出力画面起動"
                             << "F_csv";
        QTest::newRow("income master") << "syu"
                                       << "収入マスタメンテ起動"
                                       << "F_nyuM";
        QTest::newRow("expense master") << "si"
                                        << "支出マスタメンテ起動"
                                        << "F_syuM";
        QTest::newRow("category master") << "nyu"
                                         << "入出金区分マスタメンテ起動"
                                         << "F_kubunM";
        QTest::newRow("storage master") << "ho"
                                        << "保管場所マスタメンテ起動"
                                        << "F_hokanM";
        QTest::newRow("about") << "VER"
                               << "バージョン情報起動"
                               << "F_ver";
    }
    void everyTaskWritesItsLineAndDisablesTheMenu()
    {
        QFETCH(QString, control);
        QFETCH(QString, event);
        QFETCH(QString, window);
        Fixture f;
        if (auto *b = f.menu.findChild<QPushButton *>(control))
            b->click();
        else
            f.menu.findChild<QAction *>(control)->trigger();
        QCOMPARE(f.events(), QStringList({event, "AP起動"}));
        QVERIFY(f.menu.openTask());
        QCOMPARE(f.menu.openTask()->objectName(), window);
        QVERIFY(!f.menu.isEnabled());

        QPointer<TaskWindow> task = f.menu.openTask();
        task->close();
        QTRY_VERIFY(!task);
        QVERIFY(f.menu.isEnabled());
        QVERIFY(!f.menu.openTask());
    }

    void exitPathsWriteOnlyTheirOwnLine()
    {
        {
            Fixture f;
            f.menu.findChild<QPushButton *>("cmd_end")->click();
            QCOMPARE(f.events(), QStringList({"AP終了(ﾎﾞﾀﾝ)", "AP起動"}));
            QCOMPARE(f.quits, 1);
        }
        {
            Fixture f;
            f.menu.findChild<QAction *>("En")->trigger();
            QCOMPARE(f.events(), QStringList({"AP終了(ﾒﾆｭｰ)", "AP起動"}));
        }
        {
            Fixture f;
            f.menu.close();
            QCOMPARE(f.events(), QStringList({"AP終了(×)", "AP起動"}));
            QCOMPARE(f.quits, 1);
        }
    }

    void closeBoxIsIgnoredWhileATaskIsOpen()
    {
        Fixture f;
        f.menu.findChild<QPushButton *>("cmd_idou")->click();
        QVERIFY(!f.menu.close());
        QCOMPARE(f.quits, 0);
        QCOMPARE(f.events(), QStringList({"金額移動画面起動", "AP起動"}));
        // The task window has no parent: the test closes what it opened.
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == u"F_idou")
                delete w;
    }

    void logViewAndClear()
    {
        Fixture f;
        f.menu.findChild<QAction *>("log")->trigger();
        QCOMPARE(f.viewed, QStringList({f.dir.logPath()}));
        QCOMPARE(f.events(), QStringList({"ログ表示", "AP起動"}));

        f.dialogs.answers = {false};
        f.menu.findChild<QAction *>("logdel")->trigger();
        QCOMPARE(f.events(), QStringList({"ログ表示", "AP起動"}));
        f.dialogs.answers = {true};
        f.menu.findChild<QAction *>("logdel")->trigger();
        QCOMPARE(f.events(), QStringList({"ログが消去されました"}));
        QCOMPARE(f.dialogs.infos, QStringList({"ログ消去完了"}));
    }

    // F1 opens the guide the build lays out beside the program in the desktop's viewer, and
    // writes its line; a guide that is not there is reported, and nothing is opened.
    void guideOpensWithF1()
    {
        Fixture f;
        const QString guide = AppFolder::guideFile(QStringLiteral(VELMO_BUILD_TEMPLATE));
        QVERIFY2(QFileInfo(guide).size() > 10000, qPrintable(guide));
        f.menu.setGuide(guide);
        f.menu.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.menu));
        QTest::keyClick(&f.menu, Qt::Key_F1);
        QCOMPARE(f.viewed, QStringList({guide}));
        QCOMPARE(f.events(), QStringList({"使い方ガイド表示", "AP起動"}));

        f.menu.setGuide(f.dir.path() + QStringLiteral("/guide/ja/index.html"));
        f.menu.findChild<QAction *>("guide")->trigger();
        QCOMPARE(f.viewed.size(), 1);
        QCOMPARE(f.dialogs.infos.size(), 1);
        QVERIFY(f.dialogs.infos.constFirst().startsWith(QStringLiteral("使い方ガイド(")));
    }

    // The line of shortfalls follows the ledger while the menu is open: a window's action, Ctrl+Z
    // on the menu and a restore each change the bank's balance under a debit due tomorrow.
    void warningFollowsEveryChange()
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2026, 12, 9);
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',1000,'','')");
        dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('電気','自動','銀行','')");
        dir.exec("INSERT INTO X_schedule VALUES ('S','電気',10,4095,'N','F',8000)");
        MainMenu menu(dir.context(dialogs, clock));
        menu.setQuit([] {});
        menu.setStartCheck(
            [](const AppContext &c) { return Forecast::startWarning(c.dbPath(), c.clock->today()); });
        menu.load();
        menu.show();
        auto *line = menu.findChild<QLabel *>("lbl_mitosi");
        const QString shortfall = QStringLiteral("2026/12/10の電気で銀行の残高が \\7,000 不足します");
        QCOMPARE(line->text(), shortfall);

        {
            Database db(dir.dbPath());
            db.beginAction("F_tanaorosi", "棚卸", clock.now());
            db.execute("UPDATE Hokan_T SET H_money = 20000 WHERE H_index = '銀行'");
            db.execute("INSERT INTO Ktanaorosi_T VALUES ('銀行',1000,20000,'',20261209)");
            db.commit();
        }
        QTRY_VERIFY(line->isHidden());
        const Backup::Result saved = Backup::take(dir.dbPath(), clock.now());
        QCOMPARE(saved.outcome, Backup::Outcome::Taken);

        menu.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&menu));
        QTest::keyClick(&menu, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(dialogs.asked.size(), 1);
        QTRY_COMPARE(line->text(), shortfall);
        QVERIFY(line->isVisible());

        QCOMPARE(Backup::restore(dir.dbPath(), saved.path, clock.now().addSecs(60)),
            Backup::RestoreOutcome::Restored);
        QTRY_VERIFY(line->isHidden());
    }

    void missingLogDoesNotStopTheMenu()
    {
        TempAppDir dir;
        QFile::remove(dir.logPath());
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        MainMenu menu(dir.context(dialogs, clock));
        menu.setTaskFactory("F_idou", [](const AppContext &c) { return new TaskWindow(c); });
        menu.load();
        menu.findChild<QPushButton *>("cmd_idou")->click();
        QCOMPARE(dialogs.infos, QStringList({"ログ書込み失敗", "ログ書込み失敗"}));
        QVERIFY(menu.openTask());
        menu.openTask()->close();
    }
};

QTEST_MAIN(TestMainMenu)
#include "tst_mainmenu.moc"
