// SPDX-License-Identifier: GPL-3.0-or-later
#include "../reliability/WindowDriver.h"
#include "ForecastGraph.h"
#include "ForecastWindow.h"
#include "UndoWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

// The balance-ahead window over a ledger: the movements and their red rows, the place and the
// period, the graph, the schedules edited as actions of the history, and the main menu's line.
class TestForecastWindow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2026, 12, 9);
        std::unique_ptr<ForecastWindow> window;

        // 銀行 pays 保険料 (the December amount of last year) on the 10th before the salary of the
        // 25th comes in: 2,000 short. 外食 has no schedule.
        explicit Fixture(qint64 bank = 10000)
        {
            dir.exec(u"INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',%1,'',''),"
                     "('財布',3000,'','')"_s.arg(bank));
            dir.exec(
                "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('外食','食費','財布',''),"
                "('電気代','自動','銀行',''),('保険料','自動','銀行','')");
            dir.exec(
                "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','給料','銀行','')");
            dir.exec("INSERT INTO X_schedule VALUES ('S','電気代',27,4095,'N','L',0),"
                     "('S','保険料',10,2080,'N','Y',0),('N','給与',25,4095,'P','F',200000)");
            dir.exec("INSERT INTO S VALUES "
                     "('電気代','銀行',8000,20261127,''),('保険料','銀行',12000,20251210,'')");
        }
        ForecastWindow &open()
        {
            window = std::make_unique<ForecastWindow>(dir.context(dialogs, clock));
            window->load();
            return *window;
        }
        template <typename T> T *get(const char *name) const { return ::child<T>(window.get(), name); }
        Grid *grid(const char *name = "SP") const { return get<Grid>(name); }
        QStringList schedules() const
        {
            return dir.rows("SELECT XS_side, XS_item, XS_day, XS_months, XS_shift, XS_amount, XS_fixed "
                            "FROM X_schedule ORDER BY 1, 2");
        }
        int scheduleRow(const QString &item) const
        {
            return gridRowOf(*grid("SP2"), item, ForecastWindow::ColItem);
        }
    };

private slots:
    void movementsOfAllPlacesAndOne()
    {
        Fixture f;
        f.open();
        QCOMPARE(f.window->windowTitle(), u"残高の見通し"_s);
        QVERIFY(f.get<QRadioButton>("O_3")->isChecked());
        QCOMPARE(gridTexts(*f.grid()),
            QStringList({u"日付|項目|保管場所|入金|出金|残高"_s, u"2026/12/09|現在の残高|銀行|||10000"_s,
                u"2026/12/09|現在の残高|財布|||3000"_s, u"2026/12/10|保険料|銀行||12000|-2000"_s,
                u"2026/12/25|給与|銀行|200000||198000"_s,
                u"2026/12/28（12/27から）|電気代|銀行||8000|190000"_s,
                u"2027/01/25|給与|銀行|200000||390000"_s, u"2027/01/27|電気代|銀行||8000|382000"_s,
                u"2027/02/25|給与|銀行|200000||582000"_s,
                u"2027/03/01（2/27から）|電気代|銀行||8000|574000"_s}));
        // The row below zero is red from end to end; the others are not.
        for (int c = 1; c <= 6; ++c) {
            QCOMPARE(f.grid()->cellTextColor(c, 3), QColor(Qt::red));
            QVERIFY(f.grid()->cellTextColor(c, 4) != QColor(Qt::red));
        }
        // All places: the graph shows them together, lowest on the 10th.
        ForecastGraph *g = f.window->graph();
        QCOMPARE(g->days(), 91);
        QCOMPARE(g->lowestDay(), QDate(2026, 12, 10));
        QCOMPARE(g->lowest(), 1000);

        // One place, a shorter period.
        f.get<QComboBox>("cb_hokan")->setCurrentText(u"銀行"_s);
        f.get<QRadioButton>("O_1")->setChecked(true);
        QCOMPARE(f.grid()->maxRows(), 4);
        QCOMPARE(f.grid()->text(3, 4), u"銀行"_s);
        QCOMPARE(g->name(), u"銀行"_s);
        QCOMPARE(g->days(), 32);
        QCOMPARE(g->lowest(), -2000);
        f.get<QComboBox>("cb_hokan")->setCurrentText(u"財布"_s);
        QCOMPARE(f.grid()->maxRows(), 1);
        QCOMPARE(g->lowest(), 3000);
        // The year ahead keeps the place chosen.
        f.get<QRadioButton>("O_12")->setChecked(true);
        QCOMPARE(f.get<QComboBox>("cb_hokan")->currentText(), u"財布"_s);
        f.get<QComboBox>("cb_hokan")->setCurrentIndex(0);
        QCOMPARE(f.window->result().to, QDate(2027, 12, 9));
        // June's 保険料 falls back on the last amount: no June posting a year before.
        QVERIFY(gridTexts(*f.grid()).filter(u"2027/06/10|保険料|銀行||12000|"_s).size() == 1);

        // Painted at two scales, the lowest point is marked red.
        for (qreal dpr : {1.0, 2.0}) {
            QImage image(QSize(800, 300) * dpr, QImage::Format_ARGB32);
            image.setDevicePixelRatio(dpr);
            g->resize(800, 300);
            g->render(&image);
            bool red = false;
            for (int y = 0; y < image.height() && !red; ++y)
                for (int x = 0; x < image.width() && !red; ++x)
                    red = image.pixelColor(x, y) == QColor(255, 0, 0);
            QVERIFY2(red, qPrintable(QString::number(dpr)));
        }
    }

    // Each change of a schedule is one action of the history, and taking it back restores the
    // schedules as they were; a wrong cell is named and nothing is written.
    void scheduleEdits_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("cells"); // day, months, holiday rule, amount rule, fixed amount
        QTest::addColumn<bool>("remove");
        QTest::addColumn<QString>("message"); // the refusal, or the action's description
        QTest::addColumn<QString>("stored"); // the item's row afterwards
        QTest::newRow("new") << "外食" << QStringList({"5", "奇数月", "1", "2", "1500"}) << false
                             << "支出「外食」の予定を登録"
                             << "S|外食|5|1365|P|F|1500";
        QTest::newRow("a day alone: every month")
            << "外食" << QStringList({"5"}) << false << "支出「外食」の予定を登録"
            << "S|外食|5|4095|N|L|0";
        QTest::newRow("changed") << "電気代" << QStringList({"26", "6,12", "0", "1", "999"}) << false
                                 << "支出「電気代」の予定を変更"
                                 << "S|電気代|26|2080|N|Y|0";
        QTest::newRow("income") << "給与" << QStringList({"31", "毎月", "1", "2", "250000"}) << false
                                << "収入「給与」の予定を変更"
                                << "N|給与|31|4095|P|F|250000";
        QTest::newRow("removed") << "電気代" << QStringList() << true << "支出「電気代」の予定を削除"
                                 << "";
        QTest::newRow("no day") << "外食" << QStringList({"", "毎月", "0", "0", ""}) << false
                                << "外食の日は1から31までの数字で入力して下さい（31は月末）"
                                << "";
        QTest::newRow("day 32") << "電気代" << QStringList({"32", "毎月", "0", "0", ""}) << false
                                << "電気代の日は1から31までの数字で入力して下さい（31は月末）"
                                << "S|電気代|27|4095|N|L|0";
        QTest::newRow("month 13")
            << "電気代" << QStringList({"27", "6,13", "0", "0", ""}) << false
            << "電気代の月は「毎月」「奇数月」「偶数月」か、6,12のように1から12までの数字で入力して下さい"
            << "S|電気代|27|4095|N|L|0";
        QTest::newRow("fixed without an amount")
            << "電気代" << QStringList({"27", "毎月", "0", "2", "0"}) << false
            << "電気代の固定額を1から2147483647までの数字で入力して下さい"
            << "S|電気代|27|4095|N|L|0";
    }
    void scheduleEdits()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, cells);
        QFETCH(bool, remove);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        Fixture f;
        f.open();
        const QStringList before = f.schedules();
        Grid *sp2 = f.grid("SP2");
        // Expense items first, automatic debits at their head; then the income items.
        QCOMPARE(sp2->maxRows(), 4);
        QStringList shown;
        for (const QString &r : gridTexts(*sp2).mid(1))
            shown << r.section(u'|', 0, ForecastWindow::ColFixed - 1);
        QCOMPARE(shown,
            QStringList({u"支出|電気代|銀行|27|毎月|0|0|"_s, u"支出|保険料|銀行|10|6,12|0|1|"_s,
                u"支出|外食|財布|||0|0|"_s, u"収入|給与|銀行|25|毎月|1|2|200000"_s}));
        const int row = f.scheduleRow(item);
        QVERIFY(row > 0);
        for (int i = 0; i < cells.size(); ++i)
            sp2->setText(ForecastWindow::ColDay + i, row, cells[i]);
        sp2->clickButton(remove ? ForecastWindow::ColRemove : ForecastWindow::ColSave, row);

        const QStringList history = f.dir.rows("SELECT XU_window || '|' || XU_text FROM X_undo_action");
        auto itemRow = [&](const QStringList &rows) {
            for (const QString &r : rows)
                if (r.section(u'|', 1, 1) == item)
                    return r;
            return QString();
        };
        QCOMPARE(itemRow(f.schedules()), stored);
        if (!message.contains(u"予定を")) {
            QCOMPARE(f.dialogs.infos, QStringList({message}));
            QVERIFY(history.isEmpty());
            QCOMPARE(f.schedules(), before);
            return;
        }
        QCOMPARE(history, QStringList({u"残高の見通し|"_s + message}));
        if (remove)
            QCOMPARE(f.dialogs.asked, QStringList({item + u"の予定を削除します　よろしいですか？"_s}));
        // The grid shows what was stored; the forecast follows.
        QCOMPARE(sp2->text(ForecastWindow::ColItem, f.scheduleRow(item)), item);
        QCOMPARE(sp2->text(ForecastWindow::ColDay, f.scheduleRow(item)), stored.section(u'|', 2, 2));

        QVERIFY(UndoWindow::undoNewest(f.dir.context(f.dialogs, f.clock), u"F_main"_s));
        QCOMPARE(f.schedules(), before);
    }

    void declinedOrFailedChangesNothing()
    {
        Fixture f;
        f.open();
        const QStringList before = f.schedules();
        f.dialogs.answers.push_back(false);
        f.grid("SP2")->clickButton(ForecastWindow::ColRemove, f.scheduleRow(u"電気代"_s));
        // Nothing to remove on an unscheduled row: no question.
        f.grid("SP2")->clickButton(ForecastWindow::ColRemove, f.scheduleRow(u"外食"_s));
        QCOMPARE(f.dialogs.asked, QStringList({u"電気代の予定を削除します　よろしいですか？"_s}));
        QCOMPARE(f.schedules(), before);

        StatementRecorder rec;
        // A period that cannot be read: said once, the period shown stays chosen.
        rec.failOn = u"FROM Hokan_T"_s;
        f.get<QRadioButton>("O_12")->setChecked(true);
        QCOMPARE(f.dialogs.infos, QStringList({u"DB接続失敗"_s}));
        QVERIFY(f.get<QRadioButton>("O_3")->isChecked());
        QVERIFY(!f.get<QRadioButton>("O_12")->isChecked());
        QCOMPARE(f.window->result().to, QDate(2027, 3, 9));
        f.dialogs.infos.clear();

        // A failed write leaves the schedules and the history as they were.
        rec.failOn = u"INSERT INTO X_schedule"_s;
        const int row = f.scheduleRow(u"電気代"_s);
        f.grid("SP2")->setText(ForecastWindow::ColDay, row, u"20"_s);
        QVERIFY(!f.window->saveSchedule(row));
        QCOMPARE(f.dialogs.infos, QStringList({u"DB接続失敗"_s}));
        QCOMPARE(f.schedules(), before);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_undo_action").toInt(), 0);
    }

    // The line under the main menu's heading at start, and again whenever a task window closes.
    void mainMenuLine_data()
    {
        QTest::addColumn<qint64>("bank");
        QTest::addColumn<QString>("line");
        QTest::newRow("short") << qint64(10000) << u"2026/12/10の保険料で銀行の残高が \\2,000 不足します"_s;
        QTest::newRow("covered") << qint64(12000) << QString();
    }
    void mainMenuLine()
    {
        QFETCH(qint64, bank);
        QFETCH(QString, line);
        Fixture f(bank);
        Drive::Menu m(f.dir.context(f.dialogs, f.clock));
        m.menu.show();
        auto *label = m.menu.findChild<QLabel *>(u"lbl_mitosi"_s);
        QCOMPARE(label->text(), line);
        QCOMPARE(label->isVisible(), !line.isEmpty());
        QVERIFY(f.dialogs.shown.isEmpty());

        // The window opens from the inquiry menu; closed after the balance was raised, the line
        // is gone.
        TaskWindow *w = m.open("cmd_mitosi");
        QVERIFY(w);
        QCOMPARE(w->objectName(), u"F_mitosi"_s);
        f.dir.exec("UPDATE Hokan_T SET H_money = 50000 WHERE H_index = '銀行'");
        QVERIFY(m.close());
        QVERIFY(!label->isVisible());
    }
};

QTEST_MAIN(TestForecastWindow)
#include "tst_forecastwindow.moc"
