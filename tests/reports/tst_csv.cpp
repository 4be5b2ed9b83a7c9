// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"
#include "Csv.h"
#include "CsvExport.h"
#include "CsvLists.h"
#include "Database.h"
#include "FileTestSupport.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"
#include "YearlyTotals.h"

#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

class TestCsv : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2005, 4, 30, 21, 7, 45);
        std::unique_ptr<CsvExport> window;

        CsvExport &open()
        {
            window = std::make_unique<CsvExport>(dir.context(dialogs, clock));
            window->show();
            window->load();
            return *window;
        }
        template <typename T> T *child(const char *name) const { return ::child<T>(window.get(), name); }
        QComboBox *kinds() const { return child<QComboBox>("CB"); }
        QLineEdit *year1() const { return child<QLineEdit>("txt_Y1"); }
        QLineEdit *year2() const { return child<QLineEdit>("txt_Y2"); }
        void period(int y1, int m1, int y2, int m2) const
        {
            year1()->setText(QString::number(y1));
            year2()->setText(QString::number(y2));
            child<QComboBox>("CBM1")->setCurrentIndex(m1 - 1);
            child<QComboBox>("CBM2")->setCurrentIndex(m2 - 1);
        }
        void income(int date, const QString &item, int money, const QString &place, const QString &memo) const
        {
            dir.exec(QStringLiteral("INSERT INTO N VALUES ('%1', '%2', %3, %4, '%5')")
                         .arg(item, place)
                         .arg(money)
                         .arg(date)
                         .arg(memo));
        }
        // Chooses a kind, answers the save dialog with `file` and presses the button.
        void exportTo(int kind, const QString &file)
        {
            kinds()->setCurrentIndex(kind);
            dialogs.files.push_back(dir.path() + "/" + file);
            auto *b = child<QPushButton>("cmd_syuturyoku");
            QVERIFY(b->isEnabled());
            b->click();
        }
        QString file(const QString &name) const { return dir.path() + "/" + name; }
        QStringList lines(const QString &name) const
        {
            return Cp932::decode(fileBytes(file(name))).split("\r\n");
        }
    };

private slots:
    void opensWithEveryListAndTheCurrentMonth()
    {
        Fixture f;
        f.clock = clockAt(2007, 12, 3);
        CsvExport &w = f.open();
        QCOMPARE(w.objectName(), QStringLiteral("F_csv"));
        QCOMPARE(w.windowTitle(), QStringLiteral("CSV出力画面"));
        QStringList entries;
        for (int i = 0; i < f.kinds()->count(); ++i)
            entries << f.kinds()->itemText(i);
        QCOMPARE(entries,
            QStringList({"収入履歴", "支出履歴", "自動引落履歴", "金額移動履歴", "金額棚卸履歴", "収入マスタ",
                "支出マスタ", "保管場所マスタ", "入金区分マスタ"}));
        QCOMPARE(w.selectedKind(), -1);
        QCOMPARE(f.kinds()->currentText(), QString());
        QCOMPARE(f.year1()->text(), QStringLiteral("2007"));
        QCOMPARE(f.year2()->text(), QStringLiteral("2007"));
        QCOMPARE(f.child<QScrollBar>("VS1")->value(), 2007);
        QCOMPARE(f.child<QScrollBar>("VS2")->minimum(), 2000);
        QCOMPARE(f.child<QScrollBar>("VS2")->maximum(), 2100);
        // Opened in December, both month boxes show "12".
        QCOMPARE(f.child<QComboBox>("CBM1")->currentText(), QStringLiteral("12"));
        QCOMPARE(f.child<QComboBox>("CBM2")->currentText(), QStringLiteral("12"));
        QCOMPARE(f.child<QComboBox>("CBM1")->itemText(0), QStringLiteral("01"));
        QCOMPARE(f.child<QGroupBox>("Frame1")->title(), QStringLiteral("抽出条件"));
    }

    void periodFrameOnlyForHistoriesAndSpinnersWriteTheYear()
    {
        Fixture f;
        f.open();
        auto *frame = f.child<QGroupBox>("Frame1");
        f.kinds()->setCurrentIndex(7);
        QVERIFY(!frame->isVisible());
        f.kinds()->setCurrentIndex(4);
        QVERIFY(frame->isVisible());
        f.kinds()->setCurrentIndex(5);
        QVERIFY(!frame->isVisible());
        f.kinds()->setCurrentIndex(0);
        QVERIFY(frame->isVisible());
        f.child<QScrollBar>("VS1")->setValue(2003);
        QCOMPARE(f.year1()->text(), QStringLiteral("2003"));
        f.child<QScrollBar>("VS2")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(f.year2()->text(), QStringLiteral("2006"));
        // A typed year is where the spinner steps on from.
        f.year1()->setText("2010");
        f.child<QScrollBar>("VS1")->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(f.year1()->text(), QStringLiteral("2009"));
    }

    void yearBoxesTakeDigitsOnly()
    {
        Fixture f;
        f.open();
        auto *button = f.child<QPushButton>("cmd_syuturyoku");
        f.year1()->clear();
        QTest::keyClicks(f.year1(), "20a");
        QCOMPARE(f.dialogs.infos, QStringList {"数値を入力して下さい"});
        QVERIFY(!button->isEnabled());
        // The other box is fine, but the button waits for this one too.
        f.year2()->setText("2006");
        QVERIFY(!button->isEnabled());
        QTest::keyClick(f.year1(), Qt::Key_Backspace);
        QVERIFY(button->isEnabled());
        QCOMPARE(f.dialogs.infos.size(), 1);
    }

    void checksComeInTheirOrder()
    {
        Fixture f;
        f.income(20050325, "給与", 250000, "銀行", "");
        f.open();
        auto *button = f.child<QPushButton>("cmd_syuturyoku");
        f.dialogs.files.push_back(f.file("x.csv"));
        button->click();
        QCOMPARE(f.dialogs.infos, QStringList {"出力項目が選択されていません"});

        // Typed text that is not the chosen entry counts as no entry.
        f.kinds()->setCurrentIndex(0);
        f.kinds()->setEditText("収入");
        f.dialogs.clear();
        button->click();
        QCOMPARE(f.dialogs.infos, QStringList {"出力項目が選択されていません"});

        for (const char *bad : {"1999", "2101", "", "0", "99999999999"}) {
            f.kinds()->setCurrentIndex(0);
            f.year1()->setText(QString::fromLatin1(bad));
            f.year2()->setText("1999");
            f.dialogs.clear();
            button->click();
            QCOMPARE(f.dialogs.infos, QStringList {"2000年～2100年で設定して下さい"});
        }
        f.year1()->setText("2005");
        for (const char *bad : {"1999", ""}) {
            f.year2()->setText(QString::fromLatin1(bad));
            f.dialogs.clear();
            button->click();
            QCOMPARE(f.dialogs.infos, QStringList {"2000年～2100年で設定して下さい"});
        }
        // A master list hides the period, but its years are still checked.
        f.kinds()->setCurrentIndex(7);
        f.dialogs.clear();
        button->click();
        QCOMPARE(f.dialogs.infos, QStringList {"2000年～2100年で設定して下さい"});
        QVERIFY(f.dialogs.saveRequests.empty());
        QVERIFY(!QFile::exists(f.file("x.csv")));
    }

    void writesTheIncomeHistoryExample()
    {
        Fixture f;
        f.income(20050228, "給与", 1, "銀行", "before");
        f.income(20050325, "給与", 250000, "銀行", "3月分");
        f.income(20050410, "臨時収入", 12000, "財布", "");
        f.income(20050501, "給与", 2, "銀行", "after");
        f.open();
        f.period(2005, 3, 2005, 4);
        StatementRecorder rec;
        f.exportTo(0, "abc");
        QCOMPARE(rec.statements, QStringList {"SELECT * FROM N WHERE N_date Between 20050301 And 20050431"});
        QCOMPARE(f.dialogs.saveRequests.size(), size_t(1));
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("収入履歴.CSV"));
        QCOMPARE(f.dialogs.saveRequests[0].folder, f.dir.path());
        QCOMPARE(f.dialogs.infos, QStringList {f.file("abc.csv") + "に保存しました"});
        // 収入履歴リスト,2005年03月～2005年04月 / リスト作成日:,2005/04/30 21:07:45 /
        // 日付,項目,金額,保管場所,備考 / 20050325,給与,250000,銀行,3月分 / 20050410,臨時収入,12000,財布, /
        // (empty)
        const QByteArray expected = "\x8e\xfb\x93\xfc\x97\x9a\x97\xf0\x83\x8a\x83X\x83g,"
                                    "2005\x94N03\x8c\x8e\x81`2005\x94N04\x8c\x8e\r\n"
                                    "\x83\x8a\x83X\x83g\x8d\xec\x90\xac\x93\xfa:,2005/04/30 21:07:45\r\n"
                                    "\x93\xfa\x95t,\x8d\x80\x96\xda,\x8b\xe0\x8az,"
                                    "\x95\xdb\x8a\xc7\x8f\xea\x8f\x8a,\x94\xf5\x8dl\r\n"
                                    "20050325,\x8b\x8b\x97^,250000,\x8b\xe2\x8ds,3\x8c\x8e\x95\xaa\r\n"
                                    "20050410,\x97\xd5\x8e\x9e\x8e\xfb\x93\xfc,12000,\x8d\xe0\x95z,\r\n"
                                    "\r\n";
        QCOMPARE(fileBytes(f.file("abc.csv")), expected);
    }

    void writesAMasterListWithTheNumeroSign()
    {
        Fixture f;
        f.dir.exec("INSERT INTO Kubun_T (K_index, K_memo) VALUES ('給与', '毎月, 25日')");
        f.open();
        f.exportTo(8, "kubun.CSV");
        QCOMPARE(f.dialogs.infos, QStringList {f.file("kubun.CSV") + "に保存しました"});
        // 入金区分マスタ一覧 / 一覧作成日:,... / №,項目,備考 / 1,自動, / 2,給与,毎月, 25日 / (empty)
        const QByteArray expected = "\x93\xfc\x8b\xe0\x8b\xe6\x95\xaa\x83}\x83X\x83^\x88\xea\x97\x97\r\n"
                                    "\x88\xea\x97\x97\x8d\xec\x90\xac\x93\xfa:,2005/04/30 21:07:45\r\n"
                                    "\x87\x82,\x8d\x80\x96\xda,\x94\xf5\x8dl\r\n"
                                    "1,\x8e\xa9\x93\xae,\r\n"
                                    "2,\x8b\x8b\x97^,\x96\x88\x8c\x8e, 25\x93\xfa\r\n"
                                    "\r\n";
        QCOMPARE(fileBytes(f.file("kubun.CSV")), expected);
    }

    void periodBounds()
    {
        Fixture f;
        f.income(20050228, "a", 1, "p", "");
        f.income(20050301, "b", 2, "p", "");
        f.income(20050331, "c", 3, "p", "");
        f.income(20050401, "d", 4, "p", "");
        f.open();
        f.period(2005, 3, 2005, 3);
        f.exportTo(0, "march.csv");
        QCOMPARE(f.lines("march.csv").mid(3), QStringList({"20050301,b,2,p,", "20050331,c,3,p,", "", ""}));
        QCOMPARE(f.lines("march.csv").at(0), QStringLiteral("収入履歴リスト,2005年03月～2005年03月"));

        StatementRecorder rec;
        f.period(2005, 1, 2005, 9);
        f.exportTo(1, "s.csv");
        QCOMPARE(rec.statements, QStringList {"SELECT * FROM S WHERE S_date Between 20050101 And 20050931"});
    }

    void everyKindSelectsAndLaysOutItsRows_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("insert");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("lines");
        const QString bounds = QStringLiteral(" Between 20050101 And 20050231");
        QTest::newRow("expense") << 1 << "INSERT INTO S VALUES ('食費', '財布', 1200, 20050105, '昼')"
                                 << "SELECT * FROM S WHERE S_date" + bounds
                                 << QStringList {"支出履歴リスト,2005年01月～2005年02月",
                                        "日付,項目,金額,保管場所,備考", "20050105,食費,1200,財布,昼"};
        QTest::newRow("debits") << 2 << "INSERT INTO Zidourireki_T VALUES ('電気', '銀行', 8000, 20050127)"
                                << "SELECT * FROM Zidourireki_T WHERE Z_beforeday" + bounds
                                << QStringList {"自動引落履歴リスト,2005年01月～2005年02月",
                                       "日付,項目,金額,保管場所", "20050127,電気,8000,銀行"};
        QTest::newRow("transfers") << 3
                                   << "INSERT INTO Idourireki_T VALUES ('銀行', '財布', 30000, 20050203, '')"
                                   << "SELECT * FROM Idourireki_T WHERE I_day" + bounds
                                   << QStringList {"金額移動履歴リスト,2005年01月～2005年02月",
                                          "日付,移動元保管場所,移動先保管場所,金額,備考",
                                          "20050203,銀行,財布,30000,"};
        QTest::newRow("stocktakes")
            << 4 << "INSERT INTO Ktanaorosi_T VALUES ('財布', 5000, -20, '数え直し', 20050219)"
            << "SELECT * FROM Ktanaorosi_T WHERE K_day" + bounds
            << QStringList {"金額棚卸履歴リスト,2005年01月～2005年02月",
                   "日付,保管場所,棚卸前金額,棚卸後金額,理由", "20050219,財布,5000,-20,数え直し"};
        QTest::newRow("income items")
            << 5
            << "INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) "
               "VALUES ('給与', '定期', '銀行', NULL)"
            << "SELECT * FROM Nyuukin_T "
            << QStringList {"収入マスタ一覧", "№,項目,区分,保管場所,備考", "1,給与,定期,銀行,"};
        QTest::newRow("expense items")
            << 6
            << "INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) "
               "VALUES ('電気', '自動', '銀行', '毎月')"
            << "SELECT * FROM Syukkin_T "
            << QStringList {"支出マスタ一覧", "№,項目,区分,保管場所,備考", "1,電気,自動,銀行,毎月"};
        QTest::newRow("places") << 7
                                << "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) "
                                   "VALUES ('銀行', -1500, '父', '')"
                                << "SELECT * FROM Hokan_T "
                                << QStringList {
                                       "保管場所マスタ一覧", "№,項目,金額,管理者,備考", "1,銀行,-1500,父,"};
    }
    void everyKindSelectsAndLaysOutItsRows()
    {
        QFETCH(int, kind);
        QFETCH(QString, insert);
        QFETCH(QString, statement);
        QFETCH(QStringList, lines);
        Fixture f;
        f.dir.exec(insert);
        f.open();
        f.period(2005, 1, 2005, 2);
        StatementRecorder rec;
        f.exportTo(kind, "out");
        QCOMPARE(rec.statements, QStringList {statement});
        const QStringList got = f.lines("out.csv");
        const QString created = CsvLists::isHistory(kind) ? "リスト作成日:" : "一覧作成日:";
        QCOMPARE(got, QStringList({lines[0], created + ",2005/04/30 21:07:45", lines[1], lines[2], "", ""}));
    }

    void aCommaInAMemoStaysUnquoted()
    {
        Fixture f;
        f.income(20050405, "給与", 100, "銀行", "a,b \"c\"");
        f.open();
        f.period(2005, 4, 2005, 4);
        f.exportTo(0, "memo.csv");
        QCOMPARE(f.lines("memo.csv").at(3), QStringLiteral("20050405,給与,100,銀行,a,b \"c\""));
    }

    void noRowsWritesNothing()
    {
        Fixture f;
        f.income(20050401, "給与", 100, "銀行", "");
        f.open();
        const QByteArray old = "kept\r\n";
        writeBytes(f.file("old.csv"), old);
        f.period(2005, 5, 2005, 4); // reversed: nothing selected
        f.exportTo(0, "old.csv");
        QCOMPARE(f.dialogs.infos, QStringList {"データが無い為 処理を中断します"});
        QCOMPARE(fileBytes(f.file("old.csv")), old);
        f.dialogs.clear();
        f.exportTo(2, "new.csv");
        QCOMPARE(f.dialogs.infos, QStringList {"データが無い為 処理を中断します"});
        QVERIFY(!QFile::exists(f.file("new.csv")));
    }

    void cancelDoesNothing()
    {
        Fixture f;
        f.open();
        f.kinds()->setCurrentIndex(8);
        f.dialogs.files.push_back(std::nullopt);
        StatementRecorder rec;
        f.child<QPushButton>("cmd_syuturyoku")->click();
        QVERIFY(f.dialogs.shown.isEmpty());
        QVERIFY(rec.statements.isEmpty());
    }

    void failuresLeaveAnExistingFileAsItWas()
    {
        Fixture f;
        for (int i = 0; i < 50; ++i)
            f.income(20050401 + i % 28, "給与", 1000 + i, "銀行", "");
        f.open();
        f.period(2005, 4, 2005, 4);
        const QByteArray old = "the list from last time\r\n";
        writeBytes(f.file("list.csv"), old);
        {
            FileSizeLimit limit(100);
            f.exportTo(0, "list.csv");
        }
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        QCOMPARE(fileBytes(f.file("list.csv")), old);
        QCOMPARE(QDir(f.dir.path()).entryList({"list*"}, QDir::Files), QStringList {"list.csv"});

        f.dialogs.clear();
        {
            StatementRecorder rec;
            rec.failOn = "FROM N";
            f.exportTo(0, "list.csv");
        }
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        QCOMPARE(fileBytes(f.file("list.csv")), old);

        // And with everything in order it is replaced without a question.
        f.dialogs.clear();
        f.exportTo(0, "list.csv");
        QCOMPARE(f.dialogs.infos, QStringList {f.file("list.csv") + "に保存しました"});
        QCOMPARE(f.lines("list.csv").size(), 3 + 50 + 2);
        QVERIFY(f.dialogs.asked.isEmpty());
    }

    void bothWindowsOpenFromTheMainMenu()
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2005, 4, 30);
        MainMenu menu(dir.context(dialogs, clock));
        menu.setQuit([] {});
        registerTasks(menu);
        menu.load();
        menu.show();
        const auto lastEvent = [&] {
            QFile log(dir.logPath());
            log.open(QIODevice::ReadOnly);
            return Cp932::decode(log.readLine()).trimmed().section(u',', 1);
        };

        menu.findChild<QPushButton *>("cmd_all")->click();
        QCOMPARE(lastEvent(), QStringLiteral("収支合計金額照会"));
        QVERIFY(qobject_cast<YearlyTotals *>(menu.openTask()));
        QVERIFY(!menu.isEnabled());
        menu.openTask()->findChild<QPushButton *>("cmd_end")->click();
        QTRY_VERIFY(menu.isEnabled());

        menu.findChild<QAction *>("csv")->trigger();
        QCOMPARE(lastEvent(), QStringLiteral("CSV出力画面起動"));
        QVERIFY(qobject_cast<CsvExport *>(menu.openTask()));
        QCOMPARE(menu.openTask()->findChild<QComboBox *>("CB")->count(), 9);
        menu.openTask()->close();
        QTRY_VERIFY(menu.isEnabled());
        QVERIFY(dialogs.shown.isEmpty());
    }

    void writerKeepsLinesWholeAcrossBlocks()
    {
        // Lines that cross the writer's block boundary come out whole and in order.
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        Csv::Writer w(&buffer);
        QByteArray expected;
        for (int i = 0; i < 20000; ++i) {
            w.line({QString::number(i), QStringLiteral("～№"), QString()});
            expected += QByteArray::number(i) + ",\x81\x60\x87\x82,\r\n";
        }
        w.endLine();
        QVERIFY(w.finish());
        QCOMPARE(buffer.data(), expected + "\r\n");

        QVERIFY(CsvLists::twoDigitMonth("3") == QStringLiteral("03"));
        QVERIFY(CsvLists::twoDigitMonth(" 11 ") == QStringLiteral("11"));
        QVERIFY(!CsvLists::twoDigitMonth("ab"));
        QVERIFY(!CsvLists::twoDigitMonth(""));
    }
};

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
