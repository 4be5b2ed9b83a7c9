// SPDX-License-Identifier: GPL-3.0-or-later
#include "BarGraph.h"
#include "Grid.h"
#include "ItemDetail.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <memory>

class TestItemDetail : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock;
        std::unique_ptr<ItemDetail> window;

        explicit Fixture(FixedClock at = clockAt(2005, 3, 15))
            : clock(std::move(at))
        { }
        // Opens the window as the main menu does.
        ItemDetail &open()
        {
            window = std::make_unique<ItemDetail>(dir.context(dialogs, clock));
            window->show();
            window->load();
            return *window;
        }
        template <typename T> T *child(const char *name) const { return ::child<T>(window.get(), name); }
        Grid *grid() const { return child<Grid>("SP"); }
        BarGraph *graph() const { return window->findChild<BarGraph *>(); }
        void search(const QString &item, const char *period = "Ozenken", const char *order = "O2day")
        {
            child<QComboBox>("cb_list")->setEditText(item);
            child<QRadioButton>(period)->setChecked(true);
            child<QRadioButton>(order)->setChecked(true);
            child<QPushButton>("cmd_kensaku")->click();
        }
        void income(const QString &item, int money, int date, const QString &memo = QString())
        {
            dir.exec(QStringLiteral("INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) "
                                    "VALUES ('%1', '財布', %2, %3, '%4')")
                         .arg(item)
                         .arg(money)
                         .arg(date)
                         .arg(memo));
        }
        void expense(const QString &item, int money, int date)
        {
            dir.exec(QStringLiteral("INSERT INTO S (S_index, S_hokan, S_money, S_date, S_memo) "
                                    "VALUES ('%1', '銀行', %2, %3, '')")
                         .arg(item)
                         .arg(money)
                         .arg(date));
        }
        // Column c of every grid row, top to bottom.
        QStringList column(int c) const { return gridColumn(*grid(), c); }
    };

private slots:
    void opensWithItsControlsAndTheNamesOfBothMasters()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES ('給与', '', '', '')");
        f.dir.exec("INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES ('兼用', '', '', '')");
        f.dir.exec("INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES ('食費', '', '', '')");
        f.dir.exec("INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES ('兼用', '', '', '')");
        f.open();
        QCOMPARE(f.window->objectName(), QStringLiteral("F_list_S"));
        QCOMPARE(f.window->windowTitle(), QStringLiteral("項目別詳細内容照会"));

        auto *names = f.child<QComboBox>("cb_list");
        QStringList listed;
        for (int i = 0; i < names->count(); ++i)
            listed << names->itemText(i);
        QCOMPARE(listed, QStringList({"給与", "兼用", "食費", "兼用"}));
        QVERIFY(names->isEditable());

        QStringList captions;
        for (const char *o :
            {"Ozenken", "Ohitotuki", "Osannkagetu", "Ohantosi", "Oitinen", "O2day", "O2money"})
            captions << f.child<QRadioButton>(o)->text();
        QCOMPARE(captions,
            QStringList({"全件", "過去１ヶ月", "過去3ヶ月", "過去半年", "過去一年", "日付順", "金額順"}));
        QVERIFY(f.child<QRadioButton>("Ozenken")->isChecked());
        QVERIFY(f.child<QRadioButton>("O2day")->isChecked());
        QCOMPARE(f.child<QGroupBox>("F_kensaku")->title(), QStringLiteral("検索条件"));
        QCOMPARE(f.child<QGroupBox>("F_day")->title(), QStringLiteral("検索日数"));
        QCOMPARE(f.child<QGroupBox>("F_zyunzyo")->title(), QStringLiteral("表示順序"));
        QCOMPARE(f.child<QPushButton>("cmd_kensaku")->text(), QStringLiteral("検索結果表示"));
        QCOMPARE(f.child<QPushButton>("cmd_end")->text(), QStringLiteral("閉じる"));

        auto *tab = f.child<QTabWidget>("TAB");
        QCOMPARE(tab->count(), 2);
        QCOMPARE(tab->tabText(0), QStringLiteral("リスト表示"));
        QCOMPARE(tab->tabText(1), QStringLiteral("グラフ表示(10回分)"));
        QCOMPARE(tab->widget(0), f.grid());
        QVERIFY(tab->widget(1)->isAncestorOf(f.graph()));
        QCOMPARE(f.grid()->maxRows(), 500);
        QCOMPARE(f.grid()->maxCols(), 4);
        QStringList headings;
        for (int c = 1; c <= 4; ++c)
            headings << f.grid()->text(c, 0);
        QCOMPARE(headings, QStringList({"日付", "金額", "保管場所", "備考"}));
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void missingLedgerAtOpeningIsReportedOnce()
    {
        Fixture f;
        QFile::remove(f.dir.dbPath());
        f.open();
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
        QCOMPARE(f.child<QComboBox>("cb_list")->count(), 0);
    }

    void startDateOfEveryPeriod_data()
    {
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("period");
        QTest::addColumn<QString>("condition");
        const QString all = "( N_index = '給与')";
        QTest::newRow("Mar all") << 3 << "Ozenken" << all;
        QTest::newRow("Mar 1") << 3 << "Ohitotuki"
                               << "(N_index = '給与' AND N_date>=20050201)";
        QTest::newRow("Mar 3") << 3 << "Osannkagetu"
                               << "(N_index = '給与' AND N_date>=20050101)";
        QTest::newRow("Mar half") << 3 << "Ohantosi"
                                  << "(N_index = '給与' AND N_date>=20041001)";
        QTest::newRow("Mar year") << 3 << "Oitinen"
                                  << "(N_index = '給与' AND N_date>=20040301)";
        QTest::newRow("Jan all") << 1 << "Ozenken" << all;
        QTest::newRow("Jan 1") << 1 << "Ohitotuki"
                               << "(N_index = '給与' AND N_date>=20041201)";
        QTest::newRow("Jan 3") << 1 << "Osannkagetu"
                               << "(N_index = '給与' AND N_date>=20041101)";
        QTest::newRow("Jan half") << 1 << "Ohantosi"
                                  << "(N_index = '給与' AND N_date>=20040801)";
        QTest::newRow("Jan year") << 1 << "Oitinen"
                                  << "(N_index = '給与' AND N_date>=20040101)";
    }
    void startDateOfEveryPeriod()
    {
        QFETCH(int, month);
        QFETCH(QString, period);
        QFETCH(QString, condition);
        Fixture f(clockAt(2005, month, 15));
        f.income("給与", 1000, 20000101);
        f.open();
        StatementRecorder rec;
        f.search("給与", qPrintable(period));
        QCOMPARE(rec.statements,
            QStringList(
                {"SELECT * FROM N WHERE ( N_index = '給与')", "SELECT * FROM S WHERE ( S_index = '給与')",
                    "SELECT * FROM N WHERE " + condition + " ORDER BY N_date DESC"}));
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void startDateCrossesYearEnds()
    {
        QCOMPARE(ItemDetail::startDate(200512, 12), 20041201);
        QCOMPARE(ItemDetail::startDate(200512, 11), 20050101);
        QCOMPARE(ItemDetail::startDate(200602, 2), 20051201);
        QCOMPARE(ItemDetail::startDate(200601, 13), 20041201);
    }

    void postingOnTheStartDateIsIncluded()
    {
        Fixture f;
        f.income("給与", 1, 20040930);
        f.income("給与", 2, 20041001);
        f.income("給与", 3, 20050315);
        f.open();
        f.search("給与", "Ohantosi");
        QCOMPARE(f.column(1), QStringList({"20050315", "20041001"}));
        QCOMPARE(f.column(2), QStringList({"3", "2"}));
    }

    void nameWithPostingsInBothTablesIsAnExpenseItem()
    {
        Fixture f;
        f.income("兼用", 9000, 20050101);
        f.expense("兼用", 300, 20050102);
        f.expense("兼用", 500, 20050201);
        f.income("収入のみ", 7000, 20050103);
        f.open();

        StatementRecorder rec;
        f.search("兼用");
        QCOMPARE(rec.statements.last(),
            QStringLiteral("SELECT * FROM S WHERE ( S_index = '兼用') ORDER BY S_date DESC"));
        QCOMPARE(f.column(2), QStringList({"500", "300"}));
        QCOMPARE(f.column(3), QStringList({"銀行", "銀行"}));

        f.search("収入のみ");
        QCOMPARE(rec.statements.last(),
            QStringLiteral("SELECT * FROM N WHERE ( N_index = '収入のみ') ORDER BY N_date DESC"));
        QCOMPARE(f.column(2), QStringList({"7000"}));

        // A name without postings: an expense item with an empty list, and no message.
        f.search("どこにもない");
        QVERIFY(rec.statements.last().startsWith("SELECT * FROM S WHERE ( S_index = 'どこにもない')"));
        QCOMPARE(f.grid()->maxRows(), 0);
        for (int i = 0; i < BarGraph::Slots; ++i)
            QVERIFY(!f.graph()->hasBar(i) && f.graph()->dateCaption(i).isEmpty());
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void shortListAfterALongOneClearsTheRestOfTheGraph()
    {
        Fixture f;
        for (int d = 1; d <= 12; ++d)
            f.income("十回", 100 * d, 20050200 + d, d == 12 ? "最新" : "");
        for (int d = 1; d <= 3; ++d)
            f.income("三回", 1000 * d, 20050100 + d);
        f.open();
        f.search("十回");
        QCOMPARE(f.grid()->maxRows(), 12);
        QCOMPARE(f.grid()->text(4, 1), QStringLiteral("最新"));
        for (int i = 0; i < BarGraph::Slots; ++i) {
            QVERIFY(f.graph()->hasBar(i));
            QCOMPARE(f.graph()->dateCaption(i), QString::number(20050212 - i));
            QCOMPARE(f.graph()->amountCaption(i), "\\" + QString::number(1200 - 100 * i));
        }

        f.search("三回");
        QCOMPARE(f.column(1), QStringList({"20050103", "20050102", "20050101"}));
        QCOMPARE(f.column(4), QStringList({"", "", ""}));
        QCOMPARE(f.graph()->gap(0), 0);
        QCOMPARE(f.graph()->gap(1), 33);
        QCOMPARE(f.graph()->gap(2), 67);
        QCOMPARE(f.graph()->amountCaption(2), QStringLiteral("\\1000"));
        for (int i = 3; i < BarGraph::Slots; ++i) {
            QVERIFY(!f.graph()->hasBar(i));
            QVERIFY(f.graph()->dateCaption(i).isEmpty());
            QVERIFY(f.graph()->amountCaption(i).isEmpty());
        }
    }

    void amountOrderPutsTheLargestFirstAtFullHeight()
    {
        Fixture f;
        f.expense("家賃", 1000, 20050301);
        f.expense("家賃", 4000, 20050201);
        f.expense("家賃", 2000, 20050101);
        f.open();
        StatementRecorder rec;
        f.search("家賃", "Ozenken", "O2money");
        QCOMPARE(rec.statements.last(),
            QStringLiteral("SELECT * FROM S WHERE ( S_index = '家賃') ORDER BY S_money DESC"));
        QCOMPARE(f.column(2), QStringList({"4000", "2000", "1000"}));
        QCOMPARE(f.graph()->gap(0), 0);
        QCOMPARE(f.graph()->gap(1), 50);
        QCOMPARE(f.graph()->gap(2), 75);
        QCOMPARE(BarGraph::barRect(0, 0), BarGraph::picRect(0));
        QCOMPARE(BarGraph::barRect(1, 50), QRect(480 + 1080, 960 + 1300, 500, 1300));
        QCOMPARE(f.graph()->dateCaption(0), QStringLiteral("20050201"));

        StatementRecorder rec2;
        f.search("家賃", "Oitinen", "O2money");
        QCOMPARE(rec2.statements.last(),
            QStringLiteral(
                "SELECT * FROM S WHERE (S_index = '家賃' AND S_date>=20040301) ORDER BY S_money DESC"));
    }

    void gapIsRoundedHalfToEven_data()
    {
        QTest::addColumn<qint64>("v");
        QTest::addColumn<qint64>("max");
        QTest::addColumn<int>("gap");
        QTest::newRow("87.5") << qint64(1) << qint64(8) << 88;
        QTest::newRow("62.5") << qint64(3) << qint64(8) << 62;
        QTest::newRow("99.5") << qint64(1) << qint64(200) << 100;
        QTest::newRow("98.5") << qint64(3) << qint64(200) << 98;
        QTest::newRow("66.67") << qint64(1) << qint64(3) << 67;
        QTest::newRow("largest 32-bit") << qint64(2147483647) << qint64(2147483647) << 0;
        QTest::newRow("zero of largest") << qint64(0) << qint64(2147483647) << 100;
        QTest::newRow("no max") << qint64(0) << qint64(0) << -1;
        QTest::newRow("negative max") << qint64(-5) << qint64(-1) << -1;
        QTest::newRow("negative among positive") << qint64(-1) << qint64(5) << -1;
    }
    void gapIsRoundedHalfToEven()
    {
        QFETCH(qint64, v);
        QFETCH(qint64, max);
        QFETCH(int, gap);
        QCOMPARE(BarGraph::gapPercent(v, max).value_or(-1), gap);
    }

    void amountsWithoutAPositiveLargestDrawNoBars()
    {
        Fixture f;
        f.income("零", 0, 20050101);
        f.income("零", 0, 20050102);
        f.expense("負", -500, 20050101);
        f.expense("負", -100, 20050102);
        f.expense("混在", 1000, 20050102);
        f.expense("混在", -200, 20050101);
        f.open();

        f.search("零");
        QVERIFY(!f.graph()->hasBar(0) && !f.graph()->hasBar(1));
        QCOMPARE(f.graph()->amountCaption(0), QStringLiteral("\\0"));
        QCOMPARE(f.graph()->dateCaption(1), QStringLiteral("20050101"));

        f.search("負");
        QVERIFY(!f.graph()->hasBar(0) && !f.graph()->hasBar(1));
        QCOMPARE(f.graph()->amountCaption(0), QStringLiteral("\\-100"));
        QCOMPARE(f.graph()->amountCaption(1), QStringLiteral("\\-500"));

        f.search("混在");
        QCOMPARE(f.graph()->gap(0), 0);
        QVERIFY(!f.graph()->hasBar(1));
        QCOMPARE(f.graph()->amountCaption(1), QStringLiteral("\\-200"));
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void databaseFailureKeepsTheListAndTheGraph_data()
    {
        QTest::addColumn<QString>("failOn");
        QTest::newRow("income postings") << "SELECT * FROM N";
        QTest::newRow("expense postings") << "SELECT * FROM S";
        QTest::newRow("search") << "ORDER BY";
    }
    void databaseFailureKeepsTheListAndTheGraph()
    {
        QFETCH(QString, failOn);
        Fixture f;
        f.income("給与", 300, 20050101);
        f.income("給与", 200, 20050102);
        f.income("給与", 100, 20050103);
        f.expense("食費", 50, 20050104);
        f.open();
        f.search("給与");
        const QStringList dates = f.column(1), amounts = f.column(2);

        StatementRecorder rec;
        rec.failOn = failOn;
        f.search("食費", "Oitinen", "O2money");
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
        QCOMPARE(f.column(1), dates);
        QCOMPARE(f.column(2), amounts);
        QCOMPARE(f.graph()->gap(2), 0);
        QCOMPARE(f.graph()->gap(0), 67);
        QCOMPARE(f.graph()->dateCaption(0), QStringLiteral("20050103"));
    }

    void amountsAreListedAsWholeNumbersOrRefused()
    {
        Fixture f;
        f.income("給与", 300, 20050101);
        f.dir.exec("INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) "
                   "VALUES ('端数', '財布', 12.75, 20050102, ''), ('端数', '財布', -3.5, 20050103, '')");
        f.dir.exec("INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) "
                   "VALUES ('壊れ', '財布', 5, 20050104, ''), ('壊れ', '財布', 'abc', 20050105, ''), "
                   "('上限超え', '財布', 2147483648, 20050106, '')");
        f.open();
        f.search("端数");
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(f.column(2), QStringList({"-3", "12"})); // cut to the whole part, newest first

        f.search("給与");
        // Text where an amount belongs, or an amount beyond 32 bits, fails the whole read: the
        // list shown before stays, with no part of the failed one.
        for (const char *item : {"壊れ", "上限超え"}) {
            f.dialogs.infos.clear();
            f.search(QString::fromUtf8(item));
            QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
            QCOMPARE(f.column(2), QStringList({"300"}));
        }
    }

    void missingLedgerAtSearchKeepsTheList()
    {
        Fixture f;
        f.income("給与", 300, 20050101);
        f.open();
        f.search("給与");
        QFile::remove(f.dir.dbPath());
        f.search("給与", "Ohitotuki");
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
        QCOMPARE(f.column(2), QStringList({"300"}));
    }

    void emptyNameIsRefusedBeforeTheLedgerIsRead()
    {
        Fixture f;
        f.open();
        StatementRecorder rec;
        f.search(QString());
        QCOMPARE(f.dialogs.infos, QStringList({"項目名が選択されてません"}));
        QVERIFY(rec.statements.isEmpty());
        QCOMPARE(f.grid()->maxRows(), 500);
    }

    void quoteInANameIsSearchedAsText()
    {
        Fixture f;
        f.income("O''Neil", 800, 20050101);
        f.open();
        StatementRecorder rec;
        f.search("O'Neil");
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(rec.statements.last(),
            QStringLiteral("SELECT * FROM N WHERE ( N_index = 'O''Neil') ORDER BY N_date DESC"));
        QCOMPARE(f.column(2), QStringList({"800"}));
    }

    void listsBeyond32767RowsAreShownWhole()
    {
        Fixture f;
        f.dir.exec("WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM k WHERE x < 33000) "
                   "INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) "
                   "SELECT '多件', '財布', x, 20000101 + x % 28, '' FROM k");
        f.open();
        f.search("多件", "Ozenken", "O2money");
        QCOMPARE(f.grid()->maxRows(), 33000);
        QCOMPARE(f.grid()->text(2, 1), QStringLiteral("33000"));
        QCOMPARE(f.grid()->text(2, 32768), QStringLiteral("233"));
        QCOMPARE(f.grid()->text(2, 33000), QStringLiteral("1"));
        QCOMPARE(f.graph()->amountCaption(9), QStringLiteral("\\32991"));
    }
};

QTEST_MAIN(TestItemDetail)
#include "tst_itemdetail.moc"
