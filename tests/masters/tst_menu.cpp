// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>

// The four master windows open from the main menu's master menu and hand it back on close.
class TestMastersMenu : public QObject
{
    Q_OBJECT

private slots:
    void opensEachMasterWindow_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("ho") << "ho"
                            << "F_hokanM"
                            << "保管場所マスタメンテ起動";
        QTest::newRow("nyu") << "nyu"
                             << "F_kubunM"
                             << "入出金区分マスタメンテ起動";
        QTest::newRow("syu") << "syu"
                             << "F_nyuM"
                             << "収入マスタメンテ起動";
        QTest::newRow("si") << "si"
                            << "F_syuM"
                            << "支出マスタメンテ起動";
        QTest::newRow("card") << "card"
                              << "F_card"
                              << "カード設定画面起動";
    }
    void opensEachMasterWindow()
    {
        QFETCH(QString, action);
        QFETCH(QString, window);
        QFETCH(QString, logLine);
        TempAppDir dir;
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2003, 9, 17);
        MainMenu menu(dir.context(dialogs, clock));
        menu.setQuit([] {});
        registerTasks(menu);
        menu.load();
        menu.show();

        QAction *a = menu.findChild<QAction *>(action);
        QVERIFY(a && a->isEnabled());
        a->trigger();
        QPointer<TaskWindow> w = menu.openTask();
        QVERIFY(w);
        QCOMPARE(w->objectName(), window);
        QVERIFY(w->isVisible());
        QVERIFY(!menu.isEnabled());
        QVERIFY(dialogs.shown.isEmpty());
        QFile log(dir.logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(Cp932::decode(log.readAll()).section("\r\n", 0, 0).endsWith("," + logLine));

        w->findChild<QPushButton *>("cmd_end")->click();
        QTRY_VERIFY(w.isNull());
        QVERIFY(menu.isEnabled());
    }
};

QTEST_MAIN(TestMastersMenu)
#include "tst_menu.moc"
