// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"
#include "Database.h"
#include "FileTestSupport.h"
#include "Grid.h"
#include "MonthlyTotals.h"
#include "TestSupport.h"
#include "YearlyGraph.h"
#include "YearlyTotals.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <memory>

namespace {

void activate(QWidget *w)
{
    QEvent e(QEvent::WindowActivate);
    QApplication::sendEvent(w, &e);
}

} // namespace

class TestYearly : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2005, 12, 7, 1, 35, 22);
        std::unique_ptr<YearlyTotals> window;

        YearlyTotals &open()
        {
            window = std::make_unique<YearlyTotals>(dir.context(dialogs, clock));
            window->load();
            return *window;
        }
        void income(qint64 date, const QString &money) const
        {
            dir.exec(
                QStringLiteral("INSERT INTO N VALUES ('給与', '銀行', %1, %2, '')").arg(money).arg(date));
        }
        void expense(qint64 date, const QString &money) const
        {
            dir.exec(
                QStringLiteral("INSERT INTO S VALUES ('食費', '財布', %1, %2, '')").arg(money).arg(date));
        }
        // The 2005 example: income and expense only in January and February.
        void example() const
        {
            income(20050125, "250000");
            income(20050225, "200000");
            income(20050226, "50000");
            expense(20050110, "180000");
            expense(20050210, "300000");
        }
        Grid *grid() const { return window->findChild<Grid *>("SP"); }
        QStringList row(int r) const
        {
            QStringList out;
            for (int m = 1; m <= 12; ++m)
                out << grid()->text(m, r);
            return out;
        }
        QScrollBar *spin() const { return window->findChild<QScrollBar *>("SC"); }
        QString year() const { return window->findChild<QLineEdit *>("txt_year")->text(); }
        void press(const char *name) const
        {
            auto *b = window->findChild<QPushButton *>(name);
            QVERIFY(b && b->isEnabled());
            b->click();
        }
    };

    static QStringList zeros(int from = 1)
    {
        QStringList z;
        for (int m = from; m <= 12; ++m)
            z << QStringLiteral("0");
        return z;
    }

private slots:
    void windowHasItsControls()
    {
        Fixture f;
        YearlyTotals &w = f.open();
        QCOMPARE(w.objectName(), QStringLiteral("F_all_S"));
        QCOMPARE(w.windowTitle(), QStringLiteral("収支合計金額照会"));
        QCOMPARE(f.year(), QStringLiteral("2005"));
        QCOMPARE(f.spin()->value(), 2005);
        QCOMPARE(f.spin()->minimum(), 2000);
        QCOMPARE(f.spin()->maximum(), 2100);
        QCOMPARE(f.grid()->maxCols(), 12);
        QCOMPARE(f.grid()->maxRows(), 3);
        QCOMPARE(f.grid()->heading(12), QStringLiteral("12月"));
        QCOMPARE(f.grid()->model()->headerData(2, Qt::Vertical).toString(), QStringLiteral("収支差額"));
        QVERIFY(w.findChild<QWidget *>("Label1"));
        // The client area is 12750 x 7350 twips at the screen's resolution.
        QCOMPARE(w.size(), w.graph()->toPixels(QRect(0, 0, 12750, 7350)).size());
    }

    void totalsFollowTheMonthPrefix()
    {
        Fixture f;
        f.example();
        f.income(20041231, "999"); // December 2004 never counts towards 2005
        f.income(20060101, "999");
        f.expense(20050315, "1000"); // March only
        f.dir.exec("INSERT INTO N VALUES ('配当', '銀行', 100.9, 20050401, '')");
        f.dir.exec("INSERT INTO N VALUES ('配当', '銀行', 200.5, 20050430, '')");
        f.open();
        QCOMPARE(f.row(1), QStringList({"250000", "250000", "0", "300"}) + zeros(5));
        QCOMPARE(f.row(2), QStringList({"180000", "300000", "1000"}) + zeros(4));
        QCOMPARE(f.row(3), QStringList({"70000", "-50000", "-1000", "300"}) + zeros(5));
        QCOMPARE(f.grid()->cellTextColor(1, 3), QColor(Qt::blue));
        QCOMPARE(f.grid()->cellTextColor(2, 3), QColor(Qt::red));
        QCOMPARE(f.grid()->cellTextColor(5, 3), QColor(Qt::black));
    }

    void emptyYearIsAllZeroOnTheBaseLine()
    {
        Fixture f;
        f.open();
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(f.row(r), zeros());
        for (int m = 1; m <= 12; ++m) {
            QCOMPARE(f.window->graph()->incomePoint(m).y(), 6120.0);
            QCOMPARE(f.window->graph()->expensePoint(m).y(), 6120.0);
            QCOMPARE(f.grid()->cellTextColor(m, 3), QColor(Qt::black));
        }
        QVERIFY(f.window->graph()->hasLines());
    }

    void pointPositions_data()
    {
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<double>("top");
        QTest::newRow("zero") << qint64(0) << 6120.0;
        QTest::newRow("250000") << qint64(250000) << 5220.0;
        QTest::newRow("150万 mark") << qint64(1500000) << 720.0;
        QTest::newRow("window top") << qint64(1700000) << 0.0;
        QTest::newRow("fraction of a twip") << qint64(1) << 6120.0 - 0.0036;
        QTest::newRow("largest 32-bit product") << qint64(5965232) << 6120.0 - 21474.8352;
        // From here the product no longer fits in 32 bits; the same rule places the point.
        QTest::newRow("first wide product") << qint64(5965233) << 6120.0 - 21474.8388;
        QTest::newRow("beyond 32-bit totals") << qint64(6000000000) << 6120.0 - 21600000.0;
        QTest::newRow("negative") << qint64(-100000) << 6480.0;
    }
    void pointPositions()
    {
        QFETCH(qint64, amount);
        QFETCH(double, top);
        QVERIFY(qAbs(YearlyGraph::pointTop(amount) - top) < 1e-6);
    }

    void pointsAndLinesFollowTheTotals()
    {
        Fixture f;
        f.income(20050301, "1500000");
        f.income(20050401, "1700000");
        f.expense(20050601, "2000000000");
        f.expense(20050615, "2000000000");
        f.expense(20050630, "2000000000");
        f.open();
        const QList<int> lefts {1320, 2280, 3240, 4200, 5160, 6120, 7200, 8160, 9120, 10080, 11040, 12000};
        for (int m = 1; m <= 12; ++m) {
            QCOMPARE(YearlyGraph::pointLeft(m), lefts[m - 1]);
            QCOMPARE(f.window->graph()->incomePoint(m).x(), double(lefts[m - 1]));
            QCOMPARE(f.window->graph()->expensePoint(m).x(), double(lefts[m - 1]));
        }
        QCOMPARE(f.window->graph()->incomePoint(3).y(), 720.0);
        QCOMPARE(f.window->graph()->incomePoint(4).y(), 0.0);
        // Six thousand million yen: the grid holds the exact total, the point lies far above.
        QCOMPARE(f.grid()->text(6, 2), QStringLiteral("6000000000"));
        QCOMPARE(f.grid()->text(6, 3), QStringLiteral("-6000000000"));
        QCOMPARE(f.window->graph()->expensePoint(6).y(), 6120.0 - 21600000.0);
    }

    void graphIsDrawnWhereTheGeometrySays()
    {
        Fixture f;
        f.income(20050301, "1500000");
        f.expense(20050501, "500000");
        YearlyTotals &w = f.open();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage shot = w.graph()->grab().toImage();
        const auto pixel = [&](double xTwips, double yTwips) {
            const double s = shot.devicePixelRatio();
            return shot.pixelColor(
                qRound(xTwips * w.graph()->scaleX() * s), qRound(yTwips * w.graph()->scaleY() * s));
        };
        // Dot centres: March's income at the 150万 level, May's expense at 50万.
        QCOMPARE(pixel(3240 + 50, 720 + 50), QColor(0, 0, 255));
        QCOMPARE(pixel(5160 + 50, 6120 - 1800 + 50), QColor(255, 0, 0));
        // Half-way along the income line from March to April (1,500,000 to 0).
        const QColor mid = pixel((3240 + 4200) / 2.0 + 50, (720 + 6120) / 2.0 + 50);
        QVERIFY2(mid.blue() > 100 && mid.red() < 150, qPrintable(mid.name()));
    }

    void statementsUseTheDateIndexRange()
    {
        Fixture f;
        StatementRecorder rec;
        f.open();
        QCOMPARE(rec.statements.size(), 24);
        // Month by month, income before expense; the integer part of each amount is summed.
        QCOMPARE(rec.statements.at(0),
            QStringLiteral("SELECT SUM(CAST(N_money AS INTEGER)) AS total FROM N WHERE (N_date Between "
                           "20050100 And 20050199)"));
        QCOMPARE(rec.statements.at(1),
            QStringLiteral("SELECT SUM(CAST(S_money AS INTEGER)) AS total FROM S WHERE (S_date Between "
                           "20050100 And 20050199)"));
        QCOMPARE(rec.statements.at(23),
            QStringLiteral("SELECT SUM(CAST(S_money AS INTEGER)) AS total FROM S WHERE (S_date Between "
                           "20051200 And 20051299)"));
        QVERIFY(rec.statements.at(4).contains("FROM N WHERE (N_date Between 20050300 And 20050399)"));
        // The range is served by the date index, not a scan of the whole table.
        Database db(f.dir.dbPath());
        Cursor plan = db.query("EXPLAIN QUERY PLAN " + MonthlyTotals::incomeStatement(2005, 3));
        QVERIFY2(plan.text("detail").contains("USING"), qPrintable(plan.text("detail")));
    }

    // For every stored date of eight digits, the month's numeric range selects exactly the
    // rows whose decimal text begins with yyyymm.
    void rangeMatchesThePrefixForEightDigitDates()
    {
        TempAppDir dir;
        QStringList values;
        for (int y : {1999, 2004, 2005, 2006, 2099, 2100}) {
            for (int m = 0; m <= 13; ++m) {
                for (int d : {0, 1, 9, 10, 28, 31, 32, 99})
                    values << QString::number(y * 10000 + m * 100 + d);
            }
        }
        for (const char *edge : {"10000000", "99999999", "20050315.0", "'20050320'"})
            values << QString::fromLatin1(edge);
        QRandomGenerator rng(8);
        for (int i = 0; i < 4000; ++i)
            values << QString::number(rng.bounded(10000000, 100000000));
        for (int i = 0; i < 3000; ++i)
            values << QString::number(rng.bounded(2004, 2007) * 10000 + rng.bounded(0, 1400));
        QStringList inserts;
        for (const QString &v : values)
            inserts << QStringLiteral("('x', 'y', 1, %1, '')").arg(v);
        dir.exec("INSERT INTO N VALUES " + inserts.join(u','));

        Database db(dir.dbPath());
        const auto rowids = [&](const QString &sql) {
            QList<qint64> ids;
            for (Cursor c = db.query(sql); !c.eof(); c.next())
                ids << c.integer64("rowid");
            return ids;
        };
        int months = 0;
        int matched = 0;
        for (int y : {1999, 2004, 2005, 2006, 2099, 2100, 1234, 5678, 9999}) {
            for (int m = 1; m <= 12; ++m) {
                const QString prefix = QStringLiteral("%1%2").arg(y).arg(m, 2, 10, QLatin1Char('0'));
                const auto byLike = rowids("SELECT rowid FROM N WHERE (N_date like '" + prefix + "*')");
                const auto byRange = rowids(
                    "SELECT rowid FROM N WHERE (N_date Between " + prefix + "00 And " + prefix + "99)");
                QCOMPARE(byRange, byLike);
                ++months;
                matched += byLike.size();
            }
        }
        QCOMPARE(months, 108);
        QVERIFY(matched > 1000);
    }

    void yearChangesAndActivationRefresh()
    {
        Fixture f;
        f.example();
        f.income(20060501, "7000");
        f.open();
        f.spin()->setValue(2006);
        QCOMPARE(f.year(), QStringLiteral("2006"));
        QCOMPARE(f.row(1), zeros(1).mid(0, 4) + QStringList {"7000"} + zeros(6));
        f.income(20060601, "8000");
        activate(f.window.get());
        QCOMPARE(f.grid()->text(6, 1), QStringLiteral("8000"));
        f.income(20060701, "9000");
        f.press("cmd_list");
        QCOMPARE(f.grid()->text(7, 1), QStringLiteral("9000"));
    }

    void currentYearOutsideTheRangeShowsTheNearest()
    {
        Fixture f;
        f.clock.set(QDateTime(QDate(2101, 1, 1), QTime(9, 0)));
        f.open();
        QCOMPARE(f.year(), QStringLiteral("2100"));
        QCOMPARE(f.spin()->value(), 2100);
    }

    void failedRefreshKeepsTheGridAndDoesNotLoop()
    {
        Fixture f;
        f.example();
        f.open();
        const QStringList before = f.row(3);
        f.dialogs.clear();
        {
            StatementRecorder rec;
            rec.failOn = "S_date Between 20050700";
            f.press("cmd_list");
        }
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        QCOMPARE(f.row(3), before);
        QCOMPARE(f.grid()->cellTextColor(2, 3), QColor(Qt::red));
        {
            // Closing the message activates the window again; that activation reads nothing.
            StatementRecorder rec;
            activate(f.window.get());
            QVERIFY(rec.statements.isEmpty());
        }

        // The ledger goes missing: each activation by the user shows the message once.
        QVERIFY(QFile::rename(f.dir.dbPath(), f.dir.dbPath() + ".away"));
        f.dialogs.clear();
        activate(f.window.get());
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        activate(f.window.get()); // the one caused by closing the box
        QCOMPARE(f.dialogs.infos.size(), 1);
        QCOMPARE(f.row(1), QStringList({"250000", "250000"}) + zeros(3));
        // A later activation by the user tries again, and so does the button.
        activate(f.window.get());
        QCOMPARE(f.dialogs.infos.size(), 2);
        activate(f.window.get());
        f.press("cmd_list");
        QCOMPARE(f.dialogs.infos.size(), 3);

        // A year that cannot be read does not label the old totals: the year goes back.
        f.spin()->setValue(2006);
        QCOMPARE(f.dialogs.infos.size(), 4);
        QCOMPARE(f.year(), QStringLiteral("2005"));
        QCOMPARE(f.spin()->value(), 2005);

        QVERIFY(QFile::rename(f.dir.dbPath() + ".away", f.dir.dbPath()));
        activate(f.window.get()); // skipped: it follows the last failure
        f.spin()->setValue(2006);
        QCOMPARE(f.dialogs.infos.size(), 4);
        QCOMPARE(f.year(), QStringLiteral("2006"));
        QCOMPARE(f.row(1), zeros());
    }

    void savesTheExampleFile()
    {
        Fixture f;
        f.example();
        f.open();
        f.dialogs.files.push_back(f.dir.path() + "/abc");
        f.press("cmd_csv");
        QCOMPARE(f.dialogs.saveRequests.size(), size_t(1));
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("2005年収支合計.CSV"));
        QCOMPARE(f.dialogs.saveRequests[0].folder, f.dir.path());
        QVERIFY(f.dialogs.saveRequests[0].filter.contains("*.csv"));
        const QString path = f.dir.path() + "/abc.csv";
        QCOMPARE(f.dialogs.infos, QStringList {path + "に保存しました"});
        const QByteArray expected
            = "2005,\x94N\x93x\x81@\x8e\xfb\x8ex\x8d\x87\x8cv\x8b\xe0\x8az\x83\x8a\x83X\x83g\r\n"
              "\x83\x8a\x83X\x83g\x8d\xec\x90\xac\x93\xfa:,2005/12/07 1:35:22\r\n"
              ",1\x8c\x8e,2\x8c\x8e,3\x8c\x8e,4\x8c\x8e,5\x8c\x8e,6\x8c\x8e,7\x8c\x8e,8\x8c\x8e,9\x8c\x8e,"
              "10\x8c\x8e,11\x8c\x8e,12\x8c\x8e,\r\n"
              "\x8e\xfb\x93\xfc,250000,250000,0,0,0,0,0,0,0,0,0,0,\r\n"
              "\x8ex\x8fo,180000,300000,0,0,0,0,0,0,0,0,0,0,\r\n"
              "\x8e\xfb\x8ex\x8d\xb7\x8az,70000,-50000,0,0,0,0,0,0,0,0,0,0,\r\n"
              "\r\n";
        QCOMPARE(fileBytes(path), expected);

        // Written to a device, the text is the same.
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(f.window->writeCsv(&buffer));
        QCOMPARE(buffer.data(), expected);
    }

    void fileCarriesExactTotals()
    {
        Fixture f;
        for (int i = 0; i < 3; ++i)
            f.income(20050801 + i, "2000000000");
        f.open();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(f.window->writeCsv(&buffer));
        const QStringList lines = Cp932::decode(buffer.data()).split("\r\n");
        QCOMPARE(lines.at(3), QStringLiteral("収入,0,0,0,0,0,0,0,6000000000,0,0,0,0,"));
        QCOMPARE(lines.at(5), QStringLiteral("収支差額,0,0,0,0,0,0,0,6000000000,0,0,0,0,"));
    }

    void suffixRuleAndOverwrite_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("none") << "abc"
                              << "abc.csv";
        QTest::newRow("lower") << "abc.csv"
                               << "abc.csv";
        QTest::newRow("upper") << "abc.CSV"
                               << "abc.CSV";
        QTest::newRow("mixed") << "abc.Csv"
                               << "abc.Csv.csv";
        QTest::newRow("other") << "abc.txt"
                               << "abc.txt.csv";
    }
    void suffixRuleAndOverwrite()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        Fixture f;
        f.open();
        const QString path = f.dir.path() + "/" + written;
        writeBytes(path, "old text that is longer than nothing at all, surely longer than the new one? no");
        f.dialogs.files.push_back(f.dir.path() + "/" + chosen);
        f.press("cmd_csv");
        QCOMPARE(f.dialogs.infos, QStringList {path + "に保存しました"});
        QVERIFY(fileBytes(path).startsWith("2005,"));
        QVERIFY(f.dialogs.asked.isEmpty());
    }

    void cancelWritesNothing()
    {
        Fixture f;
        f.open();
        f.dialogs.files.push_back(std::nullopt);
        f.press("cmd_csv");
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(QDir(f.dir.path()).entryList({"*.csv", "*.CSV"}, QDir::Files), QStringList());
    }

    void failedWriteLeavesTheOldFile()
    {
        Fixture f;
        f.example();
        f.open();
        const QString path = f.dir.path() + "/keep.csv";
        const QByteArray old = "the file from last time\r\n";
        writeBytes(path, old);
        f.dialogs.files.push_back(path);
        {
            FileSizeLimit limit(64); // the text is longer: the write fails part-way
            f.press("cmd_csv");
        }
        QCOMPARE(f.dialogs.infos, QStringList {"CSV出力に失敗しました"});
        QCOMPARE(fileBytes(path), old);
        QCOMPARE(QDir(f.dir.path()).entryList({"keep*"}, QDir::Files), QStringList {"keep.csv"});

        f.dialogs.clear();
        f.dialogs.files.push_back(f.dir.path() + "/no/such/folder/x.csv");
        f.press("cmd_csv");
        QCOMPARE(f.dialogs.infos, QStringList {"CSV出力に失敗しました"});
    }
};

QTEST_MAIN(TestYearly)
#include "tst_yearly.moc"
