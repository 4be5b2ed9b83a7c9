// SPDX-License-Identifier: GPL-3.0-or-later
#include "CategoryReport.h"
#include "CategoryTotals.h"
#include "Cp932.h"
#include "Grid.h"
#include "PieChart.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

using CategoryTotals::By;
using CategoryTotals::Side;

class TestCategoryReport : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2005, 12, 7, 1, 35, 22);
        std::unique_ptr<CategoryReport> window;

        CategoryReport &open()
        {
            window = std::make_unique<CategoryReport>(dir.context(dialogs, clock));
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
        // Two categories, a debit item, an item that changed its category after its postings
        // (外食 was 娯楽 when posted, 生活 now) and one no longer in the master (雑貨). The year's
        // edges: 31 December 2004 and 1 January 2006 stay out.
        void example() const
        {
            dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                     "('食料品','生活','財布',''),('外食','生活','財布',''),('映画','娯楽','財布',''),"
                     "('電気代','自動','銀行','')");
            expense("食料品", 20041231, 999);
            expense("食料品", 20050101, 3000);
            expense("食料品", 20050215, 2000);
            expense("外食", 20050310, 1500);
            expense("映画", 20050420, 1800);
            expense("映画", 20050421, -300); // a correction
            expense("雑貨", 20051231, 700);
            expense("食料品", 20060101, 888);
            dir.exec("INSERT INTO Zidourireki_T VALUES ('電気代','銀行',4200,20050127)");
            expense("電気代", 20050127, 4200);
            dir.exec("INSERT INTO N VALUES ('給料','銀行',300000,20050125,'')");
        }
        Grid *grid() const { return window->findChild<Grid *>("SP"); }
        QStringList row(int r) const
        {
            QStringList out;
            for (int c = 1; c <= grid()->maxCols(); ++c)
                if (!grid()->isColumnHidden(c - 1))
                    out << grid()->text(c, r);
            return out;
        }
        QStringList rows() const
        {
            QStringList out;
            for (int r = 1; r <= grid()->maxRows(); ++r)
                out << row(r).join(u',');
            return out;
        }
        template <typename T> T *get(const char *name) const { return ::child<T>(window.get(), name); }
    };

    static QString months(std::initializer_list<std::pair<int, qint64>> values)
    {
        QStringList m(12, QStringLiteral("0"));
        for (const auto &[month, v] : values)
            m[month - 1] = QString::number(v);
        return m.join(u',');
    }

private slots:
    void sumsByCategoryAndByItem()
    {
        Fixture f;
        f.example();
        f.open();
        QCOMPARE(f.grid()->heading(1), QStringLiteral("区分"));
        QCOMPARE(f.rows(),
            QStringList({"生活," + months({{1, 3000}, {2, 2000}, {3, 1500}}) + ",6500,50.4",
                "自動," + months({{1, 4200}}) + ",4200,32.6", "娯楽," + months({{4, 1500}}) + ",1500,11.6",
                "(未登録)," + months({{12, 700}}) + ",700,5.4",
                "合計," + months({{1, 7200}, {2, 2000}, {3, 1500}, {4, 1500}, {12, 700}}) + ",12900,100.0"}));

        f.get<QRadioButton>("O_koumoku")->setChecked(true);
        QCOMPARE(f.grid()->heading(1), QStringLiteral("項目"));
        QCOMPARE(f.rows(),
            QStringList({"食料品," + months({{1, 3000}, {2, 2000}}) + ",5000,38.8",
                "電気代," + months({{1, 4200}}) + ",4200,32.6", "外食," + months({{3, 1500}}) + ",1500,11.6",
                "映画," + months({{4, 1500}}) + ",1500,11.6", "雑貨," + months({{12, 700}}) + ",700,5.4",
                "合計," + months({{1, 7200}, {2, 2000}, {3, 1500}, {4, 1500}, {12, 700}}) + ",12900,100.0"}));

        f.get<QRadioButton>("O_nyu")->setChecked(true);
        f.get<QRadioButton>("O_kubun")->setChecked(true);
        QCOMPARE(f.rows(),
            QStringList({"(未登録)," + months({{1, 300000}}) + ",300000,100.0",
                "合計," + months({{1, 300000}}) + ",300000,100.0"}));
    }

    void aNegativeTotalIsRedAndLeftOutOfThePie()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                   "('返金','払戻','財布',''),('食料品','生活','財布','')");
        f.expense("返金", 20050301, -500);
        f.expense("食料品", 20050301, 1500);
        f.open();
        QCOMPARE(f.rows(),
            QStringList({"生活," + months({{3, 1500}}) + ",1500,100.0",
                "払戻," + months({{3, -500}}) + ",-500,—", "合計," + months({{3, 1000}}) + ",1000,100.0"}));
        QCOMPARE(f.grid()->cellTextColor(14, 2), QColor(Qt::red));
        QCOMPARE(f.grid()->cellTextColor(4, 2), QColor(Qt::red));
        QCOMPARE(f.grid()->cellTextColor(14, 1), QColor(Qt::black));
        const QList<PieChart::Slice> slices = f.window->pie()->slices();
        QCOMPARE(slices.size(), 1);
        QCOMPARE(slices[0].name, QStringLiteral("生活"));
        QCOMPARE(slices[0].tenths, 1000);
        QCOMPARE(slices[0].span, -5760);
    }

    void sharesAddUpToExactlyAHundred_data()
    {
        QTest::addColumn<QList<qint64>>("values");
        QTest::addColumn<QList<int>>("tenths");
        QTest::newRow("thirds") << QList<qint64> {1, 1, 1} << QList<int> {334, 333, 333};
        QTest::newRow("sevenths") << QList<qint64> {1, 1, 1, 1, 1, 1, 1}
                                  << QList<int> {143, 143, 143, 143, 143, 143, 142};
        QTest::newRow("largest remainder, not the largest value")
            << QList<qint64> {9964, 21, 15} << QList<int> {996, 2, 2};
        QTest::newRow("one") << QList<qint64> {42} << QList<int> {1000};
        // Only the values above zero share the whole.
        QTest::newRow("zero sum") << QList<qint64> {5, -5} << QList<int> {1000, 0};
        QTest::newRow("a negative part") << QList<qint64> {3, -1} << QList<int> {1000, 0};
        QTest::newRow("nearly cancelling") << QList<qint64> {3'000'000, -2'999'999} << QList<int> {1000, 0};
        QTest::newRow("a zero among them") << QList<qint64> {1, 0, 1} << QList<int> {500, 0, 500};
        QTest::newRow("negative sum") << QList<qint64> {-1, -2} << QList<int> {0, 0};
        QTest::newRow("64-bit totals")
            << QList<qint64> {4'000'000'000'000'000'000, 4'000'000'000'000'000'000} << QList<int> {500, 500};
    }
    // The grid's 構成比 and the pie's legend follow one rule: shares of the totals above zero,
    // "—" for a total below zero, which has no slice.
    void theGridAndThePieShowTheSameShares_data()
    {
        QTest::addColumn<qint64>("food");
        QTest::addColumn<qint64>("refund");
        QTest::addColumn<QStringList>("shares"); // 生活, 払戻, 合計
        QTest::addColumn<QStringList>("legend");
        QTest::newRow("a refund") << qint64(1500) << qint64(-500) << QStringList {"100.0", "—", "100.0"}
                                  << QStringList {"生活 100.0%"};
        QTest::newRow("nearly cancelling")
            << qint64(3'000'000) << qint64(-2'999'999) << QStringList {"100.0", "—", "100.0"}
            << QStringList {"生活 100.0%"};
        QTest::newRow("refunds alone")
            << qint64(0) << qint64(-500) << QStringList {"0.0", "—", "0.0"} << QStringList {};
        QTest::newRow("both above zero") << qint64(1) << qint64(2) << QStringList {"33.3", "66.7", "100.0"}
                                         << QStringList {"払戻 66.7%", "生活 33.3%"};
    }
    void theGridAndThePieShowTheSameShares()
    {
        QFETCH(qint64, food);
        QFETCH(qint64, refund);
        QFETCH(QStringList, shares);
        QFETCH(QStringList, legend);
        Fixture f;
        f.dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                   "('返金','払戻','財布',''),('食料品','生活','財布','')");
        f.expense("返金", 20050301, refund);
        f.expense("食料品", 20050301, food);
        f.open();
        const QStringList shown = gridRows(*f.grid(), {1, 15}, u' ');
        QStringList expected;
        const QStringList names
            = food >= refund ? QStringList {"生活", "払戻"} : QStringList {"払戻", "生活"};
        for (int i = 0; i < 2; ++i)
            expected << names[i] + " " + shares[names[i] == u"生活" ? 0 : 1];
        expected << "合計 " + shares[2];
        QCOMPARE(shown, expected);
        QStringList drawn;
        for (const PieChart::Slice &s : f.window->pie()->slices())
            drawn << s.name + " " + CategoryTotals::percentText(s.tenths) + "%";
        QCOMPARE(drawn, legend);
    }

    void sharesAddUpToExactlyAHundred()
    {
        QFETCH(QList<qint64>, values);
        QFETCH(QList<int>, tenths);
        QCOMPARE(CategoryTotals::sharesInTenths(values), tenths);
        QCOMPARE(CategoryTotals::percentText(tenths.constFirst()),
            QString::number(tenths.constFirst() / 10.0, 'f', 1));
    }

    void equalTotalsAreOrderedByName()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                   "('い','B','財布',''),('あ','A','財布',''),('う','C','財布','')");
        f.expense("い", 20050301, 100);
        f.expense("あ", 20050302, 100);
        f.expense("う", 20050303, 300);
        f.open();
        QCOMPARE(gridColumn(*f.grid(), 1), QStringList({"C", "A", "B", "合計"}));
        QCOMPARE(f.grid()->text(15, 1) + f.grid()->text(15, 2) + f.grid()->text(15, 3),
            QStringLiteral("60.020.020.0"));
    }

    // Ten categories: the eight largest have their slices, the rest is "その他", and the
    // slices go round clockwise from twelve o'clock, closing the circle.
    void thePieNamesTheEightLargest()
    {
        PieChart pie;
        QList<std::pair<QString, qint64>> totals;
        for (int i = 1; i <= 10; ++i)
            totals.append({QStringLiteral("区分%1").arg(i), i * 100});
        totals.append({QStringLiteral("ゼロ"), 0});
        pie.setTotals(totals);
        const QList<PieChart::Slice> s = pie.slices();
        QCOMPARE(s.size(), 9);
        QCOMPARE(s.first().name, QStringLiteral("区分10"));
        QCOMPARE(s.at(7).name, QStringLiteral("区分3"));
        QCOMPARE(s.last().name, QStringLiteral("その他"));
        QCOMPARE(s.last().value, 300);
        int tenths = 0, span = 0;
        for (qsizetype i = 0; i < s.size(); ++i) {
            QVERIFY(s[i].span < 0);
            QCOMPARE(s[i].start, 1440 + span);
            span += s[i].span;
            tenths += s[i].tenths;
        }
        QCOMPARE(span, -5760);
        QCOMPARE(tenths, 1000);
        QCOMPARE(s.first().tenths, 182); // 1000 of 5500

        pie.setTotals({});
        QVERIFY(pie.slices().isEmpty());
    }

    void anEmptyYearShowsTheTotalRowOfZeros()
    {
        Fixture f;
        f.example();
        f.open();
        f.get<QScrollBar>("SC")->setValue(2003);
        QCOMPARE(f.get<QLineEdit>("txt_year")->text(), QStringLiteral("2003"));
        QCOMPARE(f.rows(), QStringList {"合計," + months({}) + ",0,0.0"});
        QVERIFY(f.window->pie()->slices().isEmpty());
    }

    void savesTheFile()
    {
        Fixture f;
        f.example();
        f.open();
        f.dialogs.files.push_back(f.dir.path() + "/abc");
        f.get<QPushButton>("cmd_csv")->click();
        QCOMPARE(f.dialogs.saveRequests.size(), size_t(1));
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("2005年区分別集計.CSV"));
        QCOMPARE(f.dialogs.saveRequests[0].folder, f.dir.path());
        const QString path = f.dir.path() + "/abc.csv";
        QCOMPARE(f.dialogs.infos, QStringList {path + "に保存しました"});
        const QString expected
            = QStringLiteral("2005,年度　区分別集計（支出）\r\n"
                             "リスト作成日:,2005/12/07 1:35:22\r\n"
                             "区分,1月,2月,3月,4月,5月,6月,7月,8月,9月,10月,11月,12月,合計,構成比\r\n"
                             "生活,3000,2000,1500,0,0,0,0,0,0,0,0,0,6500,50.4\r\n"
                             "自動,4200,0,0,0,0,0,0,0,0,0,0,0,4200,32.6\r\n"
                             "娯楽,0,0,0,1500,0,0,0,0,0,0,0,0,1500,11.6\r\n"
                             "(未登録),0,0,0,0,0,0,0,0,0,0,0,700,700,5.4\r\n"
                             "合計,7200,2000,1500,1500,0,0,0,0,0,0,0,700,12900,100.0\r\n"
                             "\r\n");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), Cp932::encode(expected));

        f.get<QRadioButton>("O_nyu")->setChecked(true);
        f.get<QRadioButton>("O_koumoku")->setChecked(true);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(f.window->writeCsv(&buffer));
        QVERIFY(Cp932::decode(buffer.data()).startsWith(QStringLiteral("2005,年度　項目別集計（収入）\r\n")));
        f.dialogs.files.push_back(std::nullopt);
        f.get<QPushButton>("cmd_csv")->click();
        QCOMPARE(f.dialogs.saveRequests[1].proposedName, QStringLiteral("2005年項目別集計.CSV"));
    }

    // The grouped reads: one statement per action, served by the date index.
    void oneGroupedStatementThroughTheDateIndex()
    {
        Fixture f;
        f.example();
        StatementRecorder rec;
        f.open();
        // The item master and the grouped history; the budget's table and the year's plan.
        QCOMPARE(rec.statements.size(), 4);
        const QStringList plan
            = f.dir.rows("EXPLAIN QUERY PLAN " + CategoryTotals::statement(Side::Expense, 2005));
        QVERIFY2(plan.join(' ').contains("INDEX S_date"), qPrintable(plan.join('\n')));
        rec.statements.clear();
        f.get<QRadioButton>("O_koumoku")->setChecked(true);
        QCOMPARE(rec.statements.size(), 3);
    }

    // With a plan at the level shown, the year's budget and what is left stand beside the rows.
    void budgetColumns_data()
    {
        QTest::addColumn<QString>("plannedBy");
        QTest::addColumn<QString>("side");
        QTest::addColumn<QStringList>("expected"); // name, total, share, budget, remainder
        QTest::newRow("no plan") << QString() << "S"
                                 << QStringList {"生活,6500,50.4", "自動,4200,32.6", "娯楽,1500,11.6",
                                        "(未登録),700,5.4", "合計,12900,100.0"};
        QTest::newRow("by category") << "K"
                                     << "S"
                                     << QStringList {"生活,6500,50.4,6000,-500", "自動,4200,32.6,0,-4200",
                                            "娯楽,1500,11.6,12000,10500", "(未登録),700,5.4,0,-700",
                                            "合計,12900,100.0,18000,5100"};
        QTest::newRow("planned by item") << "I"
                                         << "S"
                                         << QStringList {"生活,6500,50.4", "自動,4200,32.6", "娯楽,1500,11.6",
                                                "(未登録),700,5.4", "合計,12900,100.0"};
        QTest::newRow("other side planned") << "K"
                                            << "N"
                                            << QStringList {"生活,6500,50.4", "自動,4200,32.6",
                                                   "娯楽,1500,11.6", "(未登録),700,5.4", "合計,12900,100.0"};
    }
    void budgetColumns()
    {
        QFETCH(QString, plannedBy);
        QFETCH(QString, side);
        QFETCH(QStringList, expected);
        Fixture f;
        f.example();
        if (!plannedBy.isEmpty()) {
            f.dir.exec("INSERT INTO X_budget_year VALUES (2005,'" + side + "','" + plannedBy + "')");
            f.dir.exec(
                "INSERT INTO X_budget_row (XZ_year,XZ_side,XZ_name,XZ_order,XZ_carry,XZ_m01,XZ_m02,XZ_m03,"
                "XZ_m04,XZ_m05,XZ_m06,XZ_m07,XZ_m08,XZ_m09,XZ_m10,XZ_m11,XZ_m12) VALUES "
                "(2005,'"
                + side
                + "','生活',0,0,500,500,500,500,500,500,500,500,500,500,500,500),"
                  "(2005,'"
                + side + "','娯楽',1,0,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000,1000)");
        }
        f.open();
        QStringList shown;
        for (const QString &row : f.rows()) {
            QStringList cells = row.split(u',');
            shown << (QStringList {cells.at(0)} + cells.mid(13)).join(u',');
        }
        QCOMPARE(shown, expected);
        const bool planned = expected.first().count(u',') == 4;
        if (planned)
            QCOMPARE(f.grid()->cellTextColor(17, 1), QColor(Qt::red));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(f.window->writeCsv(&buffer));
        const QStringList lines = Cp932::decode(buffer.data()).split(QStringLiteral("\r\n"));
        QVERIFY(lines.value(2).endsWith(
            planned ? QStringLiteral(",構成比,予算,予算残") : QStringLiteral(",構成比")));
    }

    void aFailureShowsOneMessageAndKeepsWhatIsShown()
    {
        Fixture f;
        f.example();
        f.open();
        const QStringList before = f.rows();
        QVERIFY(QFile::rename(f.dir.dbPath(), f.dir.dbPath() + ".away"));
        f.dialogs.clear();
        f.get<QScrollBar>("SC")->setValue(2006);
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        QCOMPARE(f.get<QLineEdit>("txt_year")->text(), QStringLiteral("2005"));
        QCOMPARE(f.get<QScrollBar>("SC")->value(), 2005);
        f.get<QRadioButton>("O_nyu")->setChecked(true);
        QCOMPARE(f.dialogs.infos.size(), 2);
        QVERIFY(f.get<QRadioButton>("O_syu")->isChecked());
        QCOMPARE(f.rows(), before);
        // The activation that closing the box gives back reads nothing; the next one reads.
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(f.window.get(), &activate);
        QCOMPARE(f.dialogs.infos.size(), 2);
        QApplication::sendEvent(f.window.get(), &activate);
        QCOMPARE(f.dialogs.infos.size(), 3);

        Fixture missing;
        QFile::remove(missing.dir.dbPath());
        missing.open();
        QCOMPARE(missing.dialogs.infos, QStringList {"DB接続失敗"});
        QCOMPARE(missing.get<QLineEdit>("txt_year")->text(), QStringLiteral("2005"));
    }
};

QTEST_MAIN(TestCategoryReport)
#include "tst_categoryreport.moc"
