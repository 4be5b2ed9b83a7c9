// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChangeWindow.h"
#include "Grid.h"
#include "LedgerCheck.h"
#include "SearchWindow.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::Literals::StringLiterals;

// F_kensaku and F_syusei driven as the user drives them: typing, the pause, the buttons of a
// row, the questions and the ledger afterwards.
class TestSearchWindow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2024, 2, 1);
        std::unique_ptr<SearchWindow> window;

        Fixture()
        {
            dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',75000,'',''),"
                     "('財布',15500,'','')");
            dir.exec(
                "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','給料','銀行','')");
            dir.exec(
                "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','食費','財布',''),"
                "('ガス代','光熱費','銀行',''),('携帯','自動','銀行','')");
            dir.exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "
                     "('給与','銀行',100000,20240110,'')");
            dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                     "('食費','財布',3000,20240115,'ﾗﾝﾁ'),('携帯','銀行',5000,20240120,'自動引落処理'),"
                     "('食費','財布',1000,20240128,'夕食')");
            dir.exec("INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES "
                     "('携帯','銀行',5000,20240120)");
            dir.exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                     "('銀行','財布',20000,20240112,'')");
            dir.exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                     "('財布',17000,16500,'数え直し',20240125)");
        }
        SearchWindow &open()
        {
            window = std::make_unique<SearchWindow>(dir.context(dialogs, clock));
            window->show();
            window->load();
            return *window;
        }
        template <typename T> T *child(const char *name) const { return ::child<T>(window.get(), name); }
        Grid *grid() const { return child<Grid>("SP"); }
        // Waits for the search that typing starts once its pause is over.
        void waitForThePause() const
        {
            QTimer *pause = nullptr;
            for (QTimer *t : window->findChildren<QTimer *>(Qt::FindDirectChildrenOnly))
                if (t->isSingleShot() && t->interval() == SearchWindow::PauseMs)
                    pause = t;
            QVERIFY(pause && pause->isActive());
            QTRY_VERIFY(!pause->isActive());
        }
        // Columns 1 to 7 of every row.
        QStringList rows() const { return gridRows(*grid(), 1, 7); }
        int rowOf(const QString &item) const
        {
            for (int r = 1; r <= grid()->maxRows(); ++r)
                if (grid()->text(3, r) == item || grid()->text(5, r) == item)
                    return r;
            return 0;
        }
        qint64 balance(const char *place) const { return dir.balance(QString::fromUtf8(place)); }
        void expectConsistent() const
        {
            const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
            QVERIFY2(check.ok(), qPrintable(check.problems.join(u'\n')));
        }
    };

    // Typing as an input method commits it: one key event carrying the text.
    static void type(QWidget *box, const QString &text)
    {
        QTest::sendKeyEvent(QTest::Press, box, Qt::Key_unknown, text, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, box, Qt::Key_unknown, text, Qt::NoModifier);
    }

private slots:
    void listsEveryKindNewestFirstWithTotals()
    {
        Fixture f;
        f.open();
        QCOMPARE(f.rows(),
            QStringList({"20240128|支出|食費|食費|財布|1000|夕食",
                "20240125|棚卸|||財布|-500|数え直し"
                "",
                "20240120|自動引落|携帯|自動|銀行|5000|自動引落処理", "20240115|支出|食費|食費|財布|3000|ﾗﾝﾁ",
                "20240112|移動|||銀行→財布|20000|", "20240110|収入|給与|給料|銀行|100000|"}));
        QCOMPARE(f.child<QLabel>("lbl_goukei")->text(), u"6件　収入 \\100,000　支出 \\9,000"_s);
        // A stocktake has no buttons: it is taken back through the history.
        QCOMPARE(f.grid()->cellKind(8, 2), Grid::Kind::Text);
        QCOMPARE(f.grid()->cellKind(9, 1), Grid::Kind::Button);
    }

    void listFollowsTheTypingAfterAPause()
    {
        Fixture f;
        f.open();
        type(f.child<QLineEdit>("txt_word"), u"らんち"_s);
        QCOMPARE(f.grid()->maxRows(), 6); // not yet: the pause is still running
        QTRY_COMPARE(f.grid()->maxRows(), 1);
        QCOMPARE(f.grid()->text(3, 1), u"食費"_s);
        // A date being typed does not interrupt with a message.
        type(f.child<QLineEdit>("txt_from"), u"2024"_s);
        f.waitForThePause();
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(f.grid()->maxRows(), 1);
        // Enter checks the conditions as the posting windows do.
        QTest::keyClick(f.child<QLineEdit>("txt_from"), Qt::Key_Return);
        QCOMPARE(f.dialogs.infos.size(), 1);
        f.child<QLineEdit>("txt_from")->clear();
        f.child<QLineEdit>("txt_word")->clear();
        f.child<QCheckBox>("chk_syukkin")->setChecked(false);
        QTRY_COMPARE(f.grid()->maxRows(), 4);
        f.child<QComboBox>("cb_hokan")->setCurrentText(u"財布"_s);
        QVERIFY(f.window->refresh());
        QCOMPARE(f.rows(),
            QStringList({"20240125|棚卸|||財布|-500|数え直し", "20240112|移動|||銀行→財布|20000|"}));
    }

    void deletesWithTheQuestionAndRestoresBalances_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("bank");
        QTest::addColumn<int>("wallet");
        QTest::addColumn<int>("counted");
        QTest::newRow("after the stocktake")
            << "夕食" << u"20240128 食費 \\1,000を削除します　よろしいですか？"_s << 75000 << 16500 << 17000;
        QTest::newRow("before the stocktake")
            << "ﾗﾝﾁ"
            << u"20240115 食費 \\3,000を削除します　よろしいですか？\r\n20240125の金額棚卸で数え直しているため、現在の残高は変わりません"_s
            << 75000 << 15500 << 20000;
        QTest::newRow("debit with its history row")
            << "自動引落処理" << u"20240120 携帯 \\5,000を削除します　よろしいですか？"_s << 80000 << 15500
            << 17000;
    }
    void deletesWithTheQuestionAndRestoresBalances()
    {
        QFETCH(QString, row);
        QFETCH(QString, question);
        QFETCH(int, bank);
        QFETCH(int, wallet);
        QFETCH(int, counted);
        Fixture f;
        f.open();
        int r = 0;
        for (int i = 1; i <= f.grid()->maxRows(); ++i)
            if (f.grid()->text(7, i) == row)
                r = i;
        QVERIFY(r > 0);
        f.dialogs.answers = {false};
        f.grid()->clickButton(9, r);
        QCOMPARE(f.dialogs.asked, QStringList {question});
        QCOMPARE(f.grid()->maxRows(), 6);
        f.grid()->clickButton(9, r);
        QCOMPARE(f.grid()->maxRows(), 5);
        QCOMPARE(f.balance("銀行"), bank);
        QCOMPARE(f.balance("財布"), wallet);
        QCOMPARE(f.dir.scalar("SELECT K_bmoney FROM Ktanaorosi_T").toInt(), counted);
        QCOMPARE(f.dir.scalar("SELECT count(*) FROM Zidourireki_T").toInt(), row == u"自動引落処理" ? 0 : 1);
        f.expectConsistent();
        QCOMPARE(f.dir.scalar("SELECT XU_window FROM X_undo_action").toString(), u"F_kensaku"_s);
    }

    void overdraftIsRefused()
    {
        Fixture f;
        f.open();
        f.grid()->clickButton(9, f.rowOf(u"給与"_s));
        QCOMPARE(f.dialogs.infos, QStringList {u"銀行に \\75000しかありません。削除できません"_s});
        QVERIFY(f.dialogs.asked.isEmpty());
        QCOMPARE(f.balance("銀行"), 75000);
    }

    void changeWindowChecksAndWrites_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("date not digits") << "txt_day"
                                         << "2024013a"
                                         << "数値を入力して下さい";
        QTest::newRow("date too short") << "txt_day"
                                        << "202401"
                                        << "";
        QTest::newRow("amount empty") << "txt_money"
                                      << ""
                                      << "金額を入力して下さい";
        QTest::newRow("amount 0") << "txt_money"
                                  << "0"
                                  << "金額を入力して下さい";
        QTest::newRow("amount past 32 bits") << "txt_money"
                                             << "2147483648"
                                             << "数値を入力して下さい";
        QTest::newRow("amount with sign") << "txt_money"
                                          << "-5"
                                          << "数値を入力して下さい";
    }
    void changeWindowChecksAndWrites()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        Fixture f;
        ChangeWindow w(f.dir.context(f.dialogs, f.clock), u"S"_s, 3);
        w.load();
        QVERIFY(w.isLoaded());
        QCOMPARE(w.findChild<QLineEdit *>(u"txt_money"_s)->text(), u"1000"_s);
        QCOMPARE(w.findChild<QComboBox *>(u"cb_koumoku"_s)->count(), 2); // 食費, ガス代: no debit items
        w.findChild<QLineEdit *>(box)->setText(typed);
        QVERIFY(!w.change());
        QCOMPARE(f.dialogs.infos.size(), 1);
        if (!message.isEmpty())
            QCOMPARE(f.dialogs.infos.at(0), message);
        QVERIFY(f.dialogs.asked.isEmpty());
        QCOMPARE(f.balance("財布"), 15500);
    }

    void changeMovesTheBalanceAndIsOneAction()
    {
        Fixture f;
        f.open();
        ChangeWindow w(f.dir.context(f.dialogs, f.clock), u"S"_s, 3);
        w.load();
        w.findChild<QLineEdit *>(u"txt_money"_s)->setText(u"2500"_s);
        w.findChild<QLineEdit *>(u"txt_memo"_s)->setText(u"外食"_s);
        QVERIFY(w.change());
        QCOMPARE(f.dialogs.asked, QStringList {u"20240128 食費 \\1,000を修正します　よろしいですか？"_s});
        QCOMPARE(f.balance("財布"), 14000);
        QCOMPARE(f.dir.rows("SELECT S_money, S_memo FROM S WHERE rowid = 3"), QStringList {u"2500|外食"_s});
        QCOMPARE(f.dir.scalar("SELECT count(*) FROM X_undo_action").toInt(), 1);
        f.expectConsistent();

        // Another item posts to that item's place.
        ChangeWindow again(f.dir.context(f.dialogs, f.clock), u"S"_s, 3);
        again.load();
        again.findChild<QComboBox *>(u"cb_koumoku"_s)->setCurrentText(u"ガス代"_s);
        QVERIFY(again.change());
        QCOMPARE(f.balance("財布"), 16500);
        QCOMPARE(f.balance("銀行"), 72500);
        f.expectConsistent();
    }

    void transferChangeAndGoneRow()
    {
        Fixture f;
        ChangeWindow w(f.dir.context(f.dialogs, f.clock), u"Idourireki_T"_s, 1);
        w.load();
        QVERIFY(!w.findChild<QComboBox *>(u"cb_koumoku"_s)->isEnabled());
        w.findChild<QComboBox *>(u"cb_hokan2"_s)->setCurrentText(u"銀行"_s);
        QVERIFY(!w.change());
        QCOMPARE(f.dialogs.infos, QStringList {u"移動元と移動先が同じです"_s});
        w.findChild<QComboBox *>(u"cb_hokan2"_s)->setCurrentText(u"財布"_s);
        w.findChild<QLineEdit *>(u"txt_money"_s)->setText(u"15000"_s);
        QVERIFY(w.change());
        QCOMPARE(f.dialogs.asked.at(0).section(u'\n', 1),
            u"20240125の金額棚卸で数え直しているため、現在の残高は変わりません"_s);
        QCOMPARE(f.balance("銀行"), 80000);
        QCOMPARE(f.balance("財布"), 15500);
        f.expectConsistent();

        f.dir.exec("DELETE FROM Idourireki_T");
        ChangeWindow gone(f.dir.context(f.dialogs, f.clock), u"Idourireki_T"_s, 1);
        gone.load();
        QVERIFY(!gone.isLoaded());
        QVERIFY(!gone.change());
    }

    void placeDeletedSinceIsNamed_data()
    {
        QTest::addColumn<bool>("viaChangeWindow");
        QTest::addColumn<QString>("message");
        QTest::newRow("delete") << false << u"保管場所財布がありません。削除できません"_s;
        QTest::newRow("change") << true << u"保管場所財布がありません。修正できません"_s;
    }
    void placeDeletedSinceIsNamed()
    {
        QFETCH(bool, viaChangeWindow);
        QFETCH(QString, message);
        Fixture f;
        f.dir.exec("DELETE FROM Hokan_T WHERE H_index = '財布'");
        const QStringList before = ledgerDump(f.dir.dbPath());
        if (viaChangeWindow) {
            ChangeWindow w(f.dir.context(f.dialogs, f.clock), u"S"_s, 3);
            w.load();
            w.findChild<QLineEdit *>(u"txt_money"_s)->setText(u"1500"_s);
            QVERIFY(!w.change());
        } else {
            f.open();
            QCOMPARE(f.grid()->text(7, 1), u"夕食"_s);
            f.grid()->clickButton(9, 1);
        }
        QCOMPARE(f.dialogs.infos, QStringList {message});
        QVERIFY(f.dialogs.asked.isEmpty());
        QCOMPARE(ledgerDump(f.dir.dbPath()), before);
    }

    void ledgerWithoutTheCopyIsNotSearched()
    {
        Fixture f;
        dropToVersionZero(f.dir);
        const QStringList before = ledgerDump(f.dir.dbPath());
        const QString text = u"この家計簿は検索の準備ができていません。ヴェルモラを起動し直して下さい"_s;
        f.open();
        QCOMPARE(f.dialogs.infos, QStringList {text});
        QCOMPARE(f.grid()->maxRows(), 0);
        QCOMPARE(f.child<QLabel>("lbl_goukei")->text(), text);
        // Typing searches again without a message box each time.
        type(f.child<QLineEdit>("txt_word"), u"食"_s);
        f.waitForThePause();
        QCOMPARE(f.dialogs.infos.size(), 1);
        f.child<QPushButton>("cmd_csv")->click();
        QCOMPARE(f.dialogs.infos, QStringList({text, text}));
        QVERIFY(f.dialogs.saveRequests.empty());
        QCOMPARE(ledgerDump(f.dir.dbPath()), before);
        QCOMPARE(f.dir.scalar("PRAGMA user_version").toInt(), 0);
        QCOMPARE(f.dir.scalar("SELECT count(*) FROM sqlite_master WHERE name LIKE 'X%'").toInt(), 0);
    }

    void csvHoldsEveryHit()
    {
        Fixture f;
        f.open();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(f.window->writeCsv(&buffer));
        QCOMPARE(buffer.data().count("\r\n"), 3 + 6);
        QVERIFY(buffer.data().startsWith("\x96\xbe\x8d\xd7")); // 明細 in code page 932
    }
};

QTEST_MAIN(TestSearchWindow)
#include "tst_searchwindow.moc"
