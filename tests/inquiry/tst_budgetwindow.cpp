// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetGraph.h"
#include "BudgetWindow.h"
#include "CategoryReport.h"
#include "Cp932.h"
#include "Grid.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <limits>
#include <memory>

// The budget window over a ledger: the grid, saving as one action, the previous year's plan,
// the level switch and the file.
class TestBudgetWindow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2005, 12, 7);
        std::unique_ptr<BudgetWindow> window;

        BudgetWindow &open()
        {
            window = std::make_unique<BudgetWindow>(dir.context(dialogs, clock));
            window->load();
            return *window;
        }
        void expense(const char *item, qint64 date, qint64 money) const
        {
            dir.exec(QStringLiteral("INSERT INTO S VALUES ('%1', '財布', %2, %3, '')")
                         .arg(QString::fromUtf8(item))
                         .arg(money)
                         .arg(date));
        }
        // 生活 planned at 1000 a month and overspent in January; 娯楽 planned at 500 and carried;
        // 雑貨, no longer in the master, is spent without a plan. 2004 has the figures a new plan is made
        // from.
        void example() const
        {
            dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                     "('食料品','生活','財布',''),('映画','娯楽','財布','')");
            expense("食料品", 20050110, 3000);
            expense("映画", 20050220, 200);
            expense("雑貨", 20050301, 700);
            expense("食料品", 20040105, 2950);
            expense("映画", 20040715, 1);
            dir.exec("INSERT INTO X_budget_year VALUES (2005,'S','K')");
            dir.exec("INSERT INTO X_budget_row VALUES "
                     "(2005,'S','生活',0,0,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000),"
                     "(2005,'S','娯楽',1,1,500,500,500,500,500,500,500,500,500,500,500,500)");
        }
        Grid *grid() const { return window->findChild<Grid *>("SP"); }
        QString row(int r, int first = 1, int last = 15) const
        {
            QStringList out;
            for (int c = first; c <= last; ++c)
                out << grid()->text(c, r);
            return out.join(u',');
        }
        template <typename T> T *get(const char *name) const { return ::child<T>(window.get(), name); }
        QStringList stored() const
        {
            return dir.rows("SELECT XZ_name, XZ_carry, XZ_m01, XZ_m02, XZ_m12 FROM X_budget_row "
                            "WHERE XZ_year = 2005 ORDER BY XZ_order");
        }
    };

private slots:
    void planActualAndRemainder()
    {
        Fixture f;
        f.example();
        f.open();
        QCOMPARE(f.grid()->maxRows(), 4 * BudgetWindow::RowsPerLine);
        QCOMPARE(f.row(1, 1, 4), QStringLiteral("生活,予算,1000,1000"));
        QCOMPARE(f.row(2, 2, 4), QStringLiteral("実績,3000,0"));
        QCOMPARE(f.row(3, 2, 4), QStringLiteral("残,-2000,1000"));
        QCOMPARE(f.grid()->text(15, 3), QStringLiteral("9000"));
        // Over budget in red; the budget cells are the input cells, the rest locked.
        QCOMPARE(f.grid()->cellTextColor(3, 3), QColor(Qt::red));
        QCOMPARE(f.grid()->cellTextColor(4, 3), QColor(Qt::black));
        QVERIFY(!f.grid()->isCellLocked(3, 1));
        QCOMPARE(f.grid()->cellBackground(3, 1), QColor(255, 255, 128));
        QVERIFY(f.grid()->isCellLocked(3, 2));
        // 娯楽 carries: February's 300 left and January's 500 make 800.
        QCOMPARE(f.row(6, 2, 5), QStringLiteral("残,500,800,1300"));
        QCOMPARE(f.row(7, 1, 3), QStringLiteral("(未登録),予算,0"));
        QCOMPARE(f.row(10, 1, 2), QStringLiteral("合計,予算"));
        QCOMPARE(f.grid()->text(15, 11), QStringLiteral("3900"));

        // The actual figures are the category report's, row by row.
        CategoryReport report(f.dir.context(f.dialogs, f.clock));
        report.load();
        Grid *r = report.findChild<Grid *>("SP");
        for (int i = 1; i < r->maxRows(); ++i)
            for (int line = 0; line < 3; ++line)
                if (f.grid()->text(1, line * 3 + 1) == r->text(1, i))
                    QCOMPARE(f.grid()->text(15, line * 3 + 2), r->text(14, i));
    }

    // The graph follows the row chosen in the grid; the total when none is.
    void graphOfTheChosenRow()
    {
        Fixture f;
        f.example();
        f.open();
        BudgetGraph *g = f.window->graph();
        QCOMPARE(g->name(), QStringLiteral("合計"));
        QCOMPARE(g->budget(1), 1500);
        f.grid()->setCurrentIndex(f.grid()->model()->index(2, 4)); // 生活's remainder row
        QCOMPARE(g->name(), QStringLiteral("生活"));
        QCOMPARE(g->actual(1), 3000);
        QCOMPARE(g->remainder(1), -2000);
        // Painted at two scales: the overspent January's actual bar is red at both.
        for (qreal dpr : {1.0, 2.0}) {
            QImage image(QSize(800, 300) * dpr, QImage::Format_ARGB32);
            image.setDevicePixelRatio(dpr);
            g->resize(800, 300);
            g->render(&image);
            bool red = false;
            for (int y = 0; y < image.height() && !red; ++y)
                for (int x = 0; x < image.width() / 6 && !red; ++x)
                    red = image.pixelColor(x, y) == QColor(255, 0, 0);
            QVERIFY2(red, qPrintable(QString::number(dpr)));
        }
    }

    void place_data()
    {
        QTest::addColumn<qint64>("v");
        QTest::addColumn<qint64>("lo");
        QTest::addColumn<qint64>("hi");
        QTest::addColumn<double>("y");
        QTest::newRow("top") << qint64(100) << qint64(0) << qint64(100) << 0.0;
        QTest::newRow("bottom") << qint64(0) << qint64(0) << qint64(100) << 200.0;
        QTest::newRow("zero between") << qint64(0) << qint64(-100) << qint64(100) << 100.0;
        QTest::newRow("full 64-bit span")
            << qint64(0) << std::numeric_limits<qint64>::min() << std::numeric_limits<qint64>::max() << 100.0;
    }
    void place()
    {
        QFETCH(qint64, v);
        QFETCH(qint64, lo);
        QFETCH(qint64, hi);
        QFETCH(double, y);
        QVERIFY(qAbs(BudgetGraph::place(v, lo, hi, 0, 200) - y) < 1e-6);
    }

    void save_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("saved");
        QTest::newRow("amount") << "1200" << true;
        QTest::newRow("with separators") << "1,200" << true;
        QTest::newRow("blank is nothing planned") << "" << true;
        QTest::newRow("negative") << "-5" << false;
        QTest::newRow("beyond a cell") << "2147483648" << false;
        QTest::newRow("words") << "abc" << false;
    }
    void save()
    {
        QFETCH(QString, cell);
        QFETCH(bool, saved);
        Fixture f;
        f.example();
        f.open();
        const QStringList before = f.stored();
        f.grid()->setText(4, 1, cell);
        f.grid()->setText(3, 7, "300"); // the unregistered row gets a budget
        f.get<QPushButton>("cmd_ok")->click();
        if (!saved) {
            QCOMPARE(f.stored(), before);
            QCOMPARE(f.dialogs.infos.size(), 1);
            QVERIFY(f.dialogs.infos.first().contains("生活の2月"));
            QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_undo_action").toInt(), 0);
            return;
        }
        const QString feb = cell.isEmpty() ? "0" : "1200";
        QCOMPARE(f.stored(),
            QStringList({"生活|0|1000|" + feb + "|1000", "娯楽|1|500|500|500", "(未登録)|0|300|0|0"}));
        QCOMPARE(f.dir.rows("SELECT XU_window, XU_text FROM X_undo_action"),
            QStringList({"F_yosan|2005年の支出予算（区分別）を保存"}));
        QCOMPARE(f.row(3, 2, 4), QStringLiteral("残,-2000,") + (cell.isEmpty() ? "0" : "1200"));
    }

    void carrySwitch()
    {
        Fixture f;
        f.example();
        f.open();
        f.grid()->clickButton(16, 1);
        QCOMPARE(f.row(3, 2, 5), QStringLiteral("残,-2000,-1000,0"));
        f.get<QPushButton>("cmd_ok")->click();
        QCOMPARE(f.stored().first(), QStringLiteral("生活|1|1000|1000|1000"));
    }

    void fromThePreviousYear_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("declined keeps the plan") << false;
        QTest::newRow("made from 2004") << true;
    }
    void fromThePreviousYear()
    {
        QFETCH(bool, answer);
        Fixture f;
        f.example();
        f.open();
        f.dialogs.answers.push_back(answer);
        f.get<QPushButton>("cmd_zennen")->click();
        QCOMPARE(
            f.dialogs.asked, QStringList({"2005年の予算を前年の実績から作り直します　よろしいですか？"}));
        if (!answer) {
            QCOMPARE(f.row(1, 1, 4), QStringLiteral("生活,予算,1000,1000"));
            return;
        }
        // Rounded up to 100 yen, month by month; the switch of 娯楽 stays.
        QCOMPARE(f.row(1, 1, 4), QStringLiteral("生活,予算,3000,0"));
        QCOMPARE(f.row(4, 1, 3), QStringLiteral("娯楽,予算,0"));
        QCOMPARE(f.grid()->text(9, 4), QStringLiteral("100"));
        f.get<QPushButton>("cmd_ok")->click();
        QCOMPARE(f.stored(), QStringList({"生活|0|3000|0|0", "娯楽|1|0|0|0"}));
    }

    void levelSwitchAsksFirst()
    {
        Fixture f;
        f.example();
        f.open();
        f.dialogs.answers.push_back(false);
        f.get<QRadioButton>("O_koumoku")->setChecked(true);
        QCOMPARE(f.dialogs.asked,
            QStringList({"2005年の支出予算は区分別で作成されています。項目別に切り替えますか？"}));
        QVERIFY(f.get<QRadioButton>("O_kubun")->isChecked());
        QCOMPARE(f.grid()->text(1, 1), QStringLiteral("生活"));

        f.dialogs.answers.push_back(true);
        f.get<QRadioButton>("O_koumoku")->setChecked(true);
        QCOMPARE(f.grid()->heading(1), QStringLiteral("項目"));
        QCOMPARE(f.row(1, 1, 3), QStringLiteral("食料品,予算,0"));
        QCOMPARE(f.dir.scalar("SELECT XY_by FROM X_budget_year").toString(), QStringLiteral("K"));
        f.get<QPushButton>("cmd_ok")->click();
        QCOMPARE(f.dir.scalar("SELECT XY_by FROM X_budget_year").toString(), QStringLiteral("I"));
        // A year without a plan switches without asking.
        f.get<QRadioButton>("O_nyuukin")->setChecked(true);
        f.get<QRadioButton>("O_kubun")->setChecked(true);
        QCOMPARE(f.dialogs.asked.size(), 2);
    }

    void csvFile()
    {
        Fixture f;
        f.example();
        f.open();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(f.window->writeCsv(&buffer));
        const QStringList lines = Cp932::decode(buffer.data()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(0), QStringLiteral("2005,年度　予算と実績（支出・区分別）"));
        QVERIFY(lines.value(2).startsWith(QStringLiteral("区分,,1月,")));
        QVERIFY(lines.value(2).endsWith(QStringLiteral(",年計,繰越")));
        QCOMPARE(lines.value(3),
            QStringLiteral("生活,予算,") + QStringList(12, "1000").join(u',') + ",12000,なし");
        f.dialogs.files.push_back(std::nullopt);
        f.get<QPushButton>("cmd_csv")->click();
        QCOMPARE(f.dialogs.saveRequests.at(0).proposedName, QStringLiteral("2005年予算と実績.CSV"));
    }
};

QTEST_MAIN(TestBudgetWindow)
#include "tst_budgetwindow.moc"
