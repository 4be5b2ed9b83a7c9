// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"
#include "MainMenu.h"
#include "PostingWindow.h"
#include "SqlDialect.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {

enum Kind { Income, Expense, Debit };

PostingVocabulary vocabularyOf(int kind)
{
    switch (kind) {
    case Income:
        return PostingVocabulary::income();
    case Expense:
        return PostingVocabulary::expense();
    default:
        return PostingVocabulary::debit();
    }
}

// Lines of a result text as the box shows them (the box keeps lines, not their CR LF).
QStringList lines(const QString &crlfText)
{
    return crlfText.split(QStringLiteral("\r\n"));
}

} // namespace

class TestPosting : public QObject
{
    Q_OBJECT

    // A ledger with two storage places, income and expense items (two of them automatic
    // debits) and a posting history, and one posting window on it, dated 17 September 2003.
    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        std::unique_ptr<PostingWindow> window;

        explicit Fixture(int kind, bool seed = true)
        {
            if (seed)
                seedLedger();
            window = std::make_unique<PostingWindow>(dir.context(dialogs, clock), vocabularyOf(kind));
            window->show();
            window->load();
        }

        void seedLedger()
        {
            dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',1000,'',''),"
                     "('銀行',5000,'','')");
            dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES "
                     "('給料','給与','銀行',''),('小遣い','雑収入','財布',''),('未設定','雑収入','0',''),"
                     "('空欄','雑収入','','')");
            dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                     "('食費','生活費','財布',''),('電気','自動','銀行',''),('雑費','生活費','0',''),"
                     "('電話','自動','財布',''),('水道','自動','','')");
            dir.exec("INSERT INTO N VALUES ('給料','銀行',300000,20030825,'8月分'),"
                     "('給料','銀行',290000,20030725,'7月分')");
            dir.exec("INSERT INTO S VALUES ('食費','財布',800,20030910,''),('電気','銀行',9999,20040101,'')");
            dir.exec("INSERT INTO Zidourireki_T VALUES ('電気','銀行',4200,20030801),"
                     "('電気','銀行',3900,20030701)");
        }

        Grid *grid() const { return window->findChild<Grid *>("SP"); }
        QLineEdit *day() const { return window->findChild<QLineEdit *>("txt_day"); }
        QPlainTextEdit *result() const { return window->findChild<QPlainTextEdit *>("txt_kekka"); }
        int buttonCol() const { return grid()->maxCols(); }
        QStringList items() const { return gridRows(*grid(), 1, 2, u'/'); }
        int rowOf(const QString &item) const
        {
            if (const int r = gridRowOf(*grid(), item))
                return r;
            qFatal("no row %s", qPrintable(item));
        }
        // Types the amount (and memo) into the item's row and presses its button.
        void post(const QString &item, const QString &amount, const QString &memo = QString())
        {
            const int r = rowOf(item);
            grid()->setText(3, r, amount);
            if (grid()->maxCols() == 7)
                grid()->setText(6, r, memo);
            grid()->clickButton(buttonCol(), r);
        }
        qint64 balance(const QString &place) const { return dir.balance(place); }
        // Everything a posting may touch, to compare before and after a refused one.
        QStringList ledger() const
        {
            return ledgerDump(dir.dbPath(), {"Hokan_T", "N", "S", "Zidourireki_T"});
        }
    };

private slots:
    void windowsHaveTheirControlsAndColumns_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("headings");
        QTest::addColumn<int>("latestKind");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QStringList>("latest");
        QTest::newRow("income") << int(Income) << "F_nyuukin"
                                << "収入登録画面"
                                << QStringList {"項目", "保管場所", "収入金額", "前回入力日", "前回収入額",
                                       "備考", "入金処理実行"}
                                << int(Grid::Kind::Numeric)
                                << QStringList {"給料/銀行", "小遣い/財布", "未設定/0", "空欄/"}
                                << QStringList {"20030825/300000", "/", "/", "/"};
        QTest::newRow("expense") << int(Expense) << "F_syukkin"
                                 << "支出登録画面"
                                 << QStringList {"項目", "保管場所", "支出金額", "前回入力日", "前回支出額",
                                        "備考", "出金処理"}
                                 << int(Grid::Kind::Text) << QStringList {"食費/財布", "雑費/0"}
                                 << QStringList {"20030910/800", "/"};
        // The latest debit comes from the debit history, not from the newer S row of 電気.
        QTest::newRow("debit") << int(Debit) << "F_zidou"
                               << "自動引落処理画面"
                               << QStringList {"項目", "保管場所", "引落金額", "前回引落日", "前回引落金額",
                                      "自動引落処理"}
                               << int(Grid::Kind::Numeric) << QStringList {"電気/銀行", "電話/財布", "水道/"}
                               << QStringList {"20030801/4200", "/", "/"};
    }
    void windowsHaveTheirControlsAndColumns()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QStringList, headings);
        QFETCH(int, latestKind);
        QFETCH(QStringList, items);
        QFETCH(QStringList, latest);
        Fixture f(kind);
        QCOMPARE(f.window->objectName(), name);
        QCOMPARE(f.window->windowTitle(), caption);
        QCOMPARE(f.window->findChild<QLabel *>("Label5")->text(), caption);
        QCOMPARE(f.window->findChild<QLabel *>("Label2")->text(), QStringLiteral("処理日"));
        QCOMPARE(f.window->findChild<QLabel *>("Label1")->text(), QStringLiteral("処理結果表示"));
        QCOMPARE(f.window->findChild<QPushButton *>("cmd_end")->text(), QStringLiteral("閉じる"));
        QVERIFY(f.result()->isReadOnly());
        QVERIFY(f.result()->toPlainText().isEmpty());
        QCOMPARE(f.day()->text(), QStringLiteral("20030917"));
        QVERIFY(f.window->dateValid());

        Grid *g = f.grid();
        QCOMPARE(g->maxCols(), headings.size());
        for (int c = 1; c <= g->maxCols(); ++c)
            QCOMPARE(g->heading(c), headings.at(c - 1));
        QCOMPARE(g->cellKind(3, 1), Grid::Kind::Integer);
        QVERIFY(!g->isCellLocked(3, 1));
        QCOMPARE(g->cellBackground(3, 1), QColor(255, 255, 128));
        QVERIFY(g->isCellLocked(1, 1) && g->isCellLocked(2, 1) && g->isCellLocked(4, 1));
        QCOMPARE(int(g->cellKind(5, 1)), latestKind);
        QCOMPARE(g->cellKind(g->maxCols(), 1), Grid::Kind::Button);
        if (g->maxCols() == 7)
            QCOMPARE(g->cellBackground(6, 1), QColor(255, 255, 128));

        QCOMPARE(f.items(), items);
        QStringList shownLatest;
        for (int r = 1; r <= g->maxRows(); ++r)
            shownLatest << g->text(4, r) + u'/' + g->text(5, r);
        QCOMPARE(shownLatest, latest);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void anIncomePostingRaisesTheBalanceAndAppendsOneRow()
    {
        Fixture f(Income);
        StatementRecorder recorder;
        const int r = f.rowOf("給料");
        f.grid()->setText(3, r, "500");
        f.grid()->setText(6, r, "賞与の一部");
        // A real click on the row's button.
        const QRect cell = f.grid()->visualRect(f.grid()->model()->index(r - 1, 6));
        QTest::mouseClick(f.grid()->viewport(), Qt::LeftButton, {}, cell.center());

        QCOMPARE(f.dialogs.asked, QStringList {"銀行へ給料　 \\500を入金します。\r\nよろしいですか？"});
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.balance("銀行"), 5500);
        QCOMPARE(f.balance("財布"), 1000);
        QCOMPARE(f.dir.rows("SELECT * FROM N WHERE N_date = 20030917"),
            QStringList {"給料|銀行|500|20030917|賞与の一部"});
        QCOMPARE(f.dir.scalar("SELECT typeof(N_date) FROM N WHERE N_date = 20030917").toString(),
            QStringLiteral("integer"));
        QCOMPARE(f.result()->toPlainText().split(u'\n'),
            lines("銀行　へ　給料　\\500を入金しました\r\n(入金前 \\5000→入金後 \\5500)\r\n処理完了"));
        // The grid was read again: the new posting is the latest, the typed cells are empty.
        QCOMPARE(f.grid()->text(4, r), QStringLiteral("20030917"));
        QCOMPARE(f.grid()->text(5, r), QStringLiteral("500"));
        QVERIFY(f.grid()->text(3, r).isEmpty());
        QVERIFY(f.grid()->text(6, r).isEmpty());
        QCOMPARE(f.day()->text(), QStringLiteral("20030917"));
        // Read, update, append, then the reload's item list.
        QVERIFY(recorder.statements.size() >= 4);
        QCOMPARE(recorder.statements.at(0),
            QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index = '銀行')"));
        QCOMPARE(recorder.statements.at(1),
            QStringLiteral("UPDATE Hokan_T SET H_money = 5500 WHERE H_index = '銀行'"));
        QVERIFY(
            recorder.statements.at(2).startsWith("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo)"));
        QCOMPARE(recorder.statements.at(3),
            QStringLiteral("SELECT N_index,N_kubun,N_hokan,N_memo FROM Nyuukin_T"));
    }

    void anExpensePostingLowersTheBalanceDownToZero()
    {
        Fixture f(Expense);
        f.post("食費", "1000", "外食");
        QCOMPARE(f.dialogs.asked, QStringList {"財布から食費代　 \\1000を出金します。\r\nよろしいですか？"});
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.balance("財布"), 0);
        QCOMPARE(f.dir.rows("SELECT * FROM S WHERE S_date = 20030917"),
            QStringList {"食費|財布|1000|20030917|外食"});
        QCOMPARE(f.result()->toPlainText().split(u'\n'),
            lines("財布　から　食費代　\\1000を出金しました\r\n(出金前 \\1000→出金後 \\0)\r\n処理完了"));
        const int r = f.rowOf("食費");
        QCOMPARE(f.grid()->text(4, r) + u'/' + f.grid()->text(5, r), QStringLiteral("20030917/1000"));
        QVERIFY(f.grid()->text(3, r).isEmpty() && f.grid()->text(6, r).isEmpty());

        // A negative amount passes the balance check and raises the balance.
        f.post("食費", "-250");
        QCOMPARE(f.balance("財布"), 250);
        QCOMPARE(f.result()->toPlainText().split(u'\n').at(1), QStringLiteral("(出金前 \\0→出金後 \\250)"));
    }

    void aDebitWritesTheHistoryRowAndTheExpenseRow()
    {
        Fixture f(Debit);
        StatementRecorder recorder;
        f.post("電気", "500");
        QCOMPARE(f.dialogs.asked, QStringList {"銀行より電気代 \\500を引きます。\r\nよろしいですか？"});
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.balance("銀行"), 4500);
        QCOMPARE(f.dir.rows("SELECT * FROM Zidourireki_T WHERE Z_beforeday = 20030917"),
            QStringList {"電気|銀行|500|20030917"});
        QCOMPARE(f.dir.rows("SELECT * FROM S WHERE S_date = 20030917"),
            QStringList {"電気|銀行|500|20030917|自動引落処理"});
        QCOMPARE(f.result()->toPlainText().split(u'\n'),
            lines("銀行より電気代　\\500を自動引落しました\r\n(引落前 \\5000→引落後 \\4500)\r\n処理完了"));
        const int r = f.rowOf("電気");
        QCOMPARE(f.grid()->text(4, r) + u'/' + f.grid()->text(5, r), QStringLiteral("20030917/500"));
        QVERIFY(f.grid()->text(3, r).isEmpty());
        QVERIFY(recorder.statements.at(2).startsWith(
            "INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday)"));
        QVERIFY(
            recorder.statements.at(3).startsWith("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo)"));

        // The same item twice on the same day: two rows in each table.
        f.post("電気", "500");
        QCOMPARE(f.dir.scalar("SELECT count(*) FROM Zidourireki_T WHERE Z_beforeday = 20030917").toInt(), 2);
        QCOMPARE(f.dir.scalar("SELECT count(*) FROM S WHERE S_date = 20030917").toInt(), 2);
        QCOMPARE(f.balance("銀行"), 4000);
    }

    void refusalsComeInTheirOrderAndChangeNothing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("item"); // an item of 財布 (balance 1000)
        QTest::addColumn<QString>("unplaced"); // an item whose storage place is "0" or empty
        QTest::newRow("income") << int(Income) << "小遣い"
                                << "未設定";
        QTest::newRow("income, empty place") << int(Income) << "小遣い"
                                             << "空欄";
        QTest::newRow("expense") << int(Expense) << "食費"
                                 << "雑費";
        QTest::newRow("debit") << int(Debit) << "電話"
                               << "水道";
    }
    void refusalsComeInTheirOrderAndChangeNothing()
    {
        QFETCH(int, kind);
        QFETCH(QString, item);
        QFETCH(QString, unplaced);
        Fixture f(kind);
        const QStringList before = f.ledger();
        const int r = f.rowOf(item);
        const int u = f.rowOf(unplaced);
        auto refusedWith = [&](const QString &message) {
            const QStringList shown = f.dialogs.shown;
            f.dialogs.clear();
            return shown == QStringList {message};
        };

        // A letter in the date is reported as it is typed, and the date stays refused.
        f.day()->clear();
        QTest::keyClicks(f.day(), "2003a");
        QVERIFY(refusedWith("数値を入力して下さい"));
        QTest::keyClicks(f.day(), "917");
        QCOMPARE(f.dialogs.shown.size(), 3); // each keystroke while the letter stays
        f.dialogs.clear();
        QVERIFY(!f.window->dateValid());
        f.grid()->setText(3, r, "100");
        f.grid()->clickButton(f.buttonCol(), u);
        QVERIFY(refusedWith("処理日が正しくありません"));

        // Seven digits: the length message, checked only when posting.
        f.day()->setText("2003091");
        QVERIFY(f.dialogs.shown.isEmpty());
        f.grid()->clickButton(f.buttonCol(), u);
        QVERIFY(refusedWith("処理日付に正しい値(日付)を入力して下さい\r\n(例:20030917)"));
        f.day()->setText("200309170");
        f.grid()->clickButton(f.buttonCol(), u);
        QVERIFY(refusedWith("処理日付に正しい値(日付)を入力して下さい\r\n(例:20030917)"));

        // Eight digits that are no calendar date pass; the storage place is checked next.
        f.day()->setText("20031399");
        f.grid()->setText(3, u, "100");
        f.grid()->clickButton(f.buttonCol(), u);
        QVERIFY(refusedWith(
            "保管場所が設定されていない項目があります。保管場所ﾏｽﾀﾒﾝﾃﾝﾅﾝｽで設定後再処理して下さい。"));

        // Then the amount: empty, "0", and a text that is no 32-bit number.
        f.grid()->setText(3, r, "");
        f.grid()->clickButton(f.buttonCol(), r);
        QVERIFY(refusedWith("金額を入力して下さい"));
        f.grid()->setText(3, r, "0");
        f.grid()->clickButton(f.buttonCol(), r);
        QVERIFY(refusedWith("金額を入力して下さい"));
        for (const char *bad : {"2147483648", "12a", "1,000", "-"}) {
            f.grid()->setText(3, r, bad);
            f.grid()->clickButton(f.buttonCol(), r);
            QVERIFY2(refusedWith("数値を入力して下さい"), bad);
        }

        // No: nothing written, the typed values stay, the result box is empty.
        f.result()->setPlainText("前回の結果");
        f.dialogs.answers = {false};
        f.post(item, "300", "メモ");
        QCOMPARE(f.dialogs.asked.size(), 1);
        QVERIFY(f.dialogs.infos.isEmpty());
        f.dialogs.clear();
        QVERIFY(f.result()->toPlainText().isEmpty());
        QCOMPARE(f.grid()->text(3, r), QStringLiteral("300"));
        if (kind != Debit)
            QCOMPARE(f.grid()->text(6, r), QStringLiteral("メモ"));

        // Money going out must be covered by the balance.
        if (kind != Income) {
            f.post(item, "1001", "メモ");
            QCOMPARE(f.dialogs.infos, QStringList {"財布に \\1000しかないため引落せません"});
            QCOMPARE(f.dialogs.asked.size(), 1);
            QVERIFY(f.result()->toPlainText().isEmpty());
            QCOMPARE(f.grid()->text(3, r), QStringLiteral("1001"));
            f.dialogs.clear();
        }
        QCOMPARE(f.ledger(), before);

        // The odd date was accepted and is stored as that number.
        f.post(item, "10");
        QVERIFY(f.dialogs.infos.isEmpty());
        const QString table = kind == Income ? "N" : kind == Expense ? "S" : "Zidourireki_T";
        const QString dateCol = kind == Income ? "N_date" : kind == Expense ? "S_date" : "Z_beforeday";
        QCOMPARE(
            f.dir.scalar("SELECT count(*) FROM " + table + " WHERE " + dateCol + " = 20031399").toInt(), 1);
        QCOMPARE(f.day()->text(), QStringLiteral("20031399"));
    }

    void aNegativeBalanceRefusesEveryPositiveDebit()
    {
        Fixture f(Expense);
        f.dir.exec("UPDATE Hokan_T SET H_money = -5 WHERE H_index = '財布'");
        f.post("食費", "1");
        QCOMPARE(f.dialogs.infos, QStringList {"財布に \\-5しかないため引落せません"});
        QCOMPARE(f.balance("財布"), -5);
    }

    // A card owes instead of holding: its purchases are refused only past its limit.
    void aCardPurchaseIsRefusedBeyondItsLimit_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("after");
        QTest::newRow("expense within the limit") << int(Expense) << "29000"
                                                  << "" << -30000;
        QTest::newRow("expense to the limit exactly") << int(Expense) << "49000"
                                                      << "" << -50000;
        QTest::newRow("expense beyond the limit")
            << int(Expense) << "49001"
            << "財布の利用可能額 \\49000を超えるため出金できません" << -1000;
        QTest::newRow("debit beyond the limit")
            << int(Debit) << "50000"
            << "財布の利用可能額 \\49000を超えるため出金できません" << -1000;
    }
    void aCardPurchaseIsRefusedBeyondItsLimit()
    {
        QFETCH(int, kind);
        QFETCH(QString, amount);
        QFETCH(QString, refusal);
        QFETCH(int, after);
        Fixture f(kind);
        f.dir.exec("UPDATE Hokan_T SET H_money = -1000 WHERE H_index = '財布'");
        f.dir.exec("INSERT INTO X_card VALUES ('財布', 15, 10, '銀行', 50000)");
        f.post(kind == Expense ? "食費" : "電話", amount);
        QCOMPARE(f.dialogs.infos, refusal.isEmpty() ? QStringList() : QStringList {refusal});
        QCOMPARE(f.balance("財布"), after);
    }

    void theNewestPostingStaysShownAfterAnOlderOne_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("item");
        QTest::newRow("income") << int(Income) << "小遣い";
        QTest::newRow("expense") << int(Expense) << "食費";
        QTest::newRow("debit") << int(Debit) << "電話";
    }
    void theNewestPostingStaysShownAfterAnOlderOne()
    {
        QFETCH(int, kind);
        QFETCH(QString, item);
        Fixture f(kind);
        f.post(item, "111");
        f.day()->setText("20020101");
        f.post(item, "222");
        QVERIFY(f.dialogs.infos.isEmpty());
        const int r = f.rowOf(item);
        QCOMPARE(f.grid()->text(4, r), QStringLiteral("20030917"));
        QCOMPARE(f.grid()->text(5, r), QStringLiteral("111"));
        // The reload keeps the date the user typed.
        QCOMPARE(f.day()->text(), QStringLiteral("20020101"));
        QVERIFY(f.result()->toPlainText().contains("222"));
    }

    void anOverflowingBalanceFailsBeforeAnythingIsWritten()
    {
        Fixture f(Income);
        f.dir.exec("UPDATE Hokan_T SET H_money = 2147000000 WHERE H_index = '財布'");
        const QStringList before = f.ledger();
        StatementRecorder recorder;
        f.post("小遣い", "1000000");
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        QVERIFY(f.result()->toPlainText().isEmpty());
        QCOMPARE(f.ledger(), before);
        QCOMPARE(recorder.statements.size(), 1); // only the balance was read
        // The amount stays typed in for another try.
        QCOMPARE(f.grid()->text(3, f.rowOf("小遣い")), QStringLiteral("1000000"));
    }

    void aFailureBetweenTheStatementsLeavesNothingWritten_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("failOn");
        QTest::newRow("income, at the row") << int(Income) << "給料"
                                            << "INSERT INTO N ";
        QTest::newRow("income, at the balance") << int(Income) << "給料"
                                                << "UPDATE Hokan_T";
        QTest::newRow("expense, at the row") << int(Expense) << "食費"
                                             << "INSERT INTO S ";
        QTest::newRow("debit, at the history row") << int(Debit) << "電気"
                                                   << "INSERT INTO Zidourireki_T";
        QTest::newRow("debit, at the expense row") << int(Debit) << "電気"
                                                   << "INSERT INTO S ";
    }
    void aFailureBetweenTheStatementsLeavesNothingWritten()
    {
        QFETCH(int, kind);
        QFETCH(QString, item);
        QFETCH(QString, failOn);
        Fixture f(kind);
        const QStringList before = f.ledger();
        StatementRecorder recorder;
        recorder.failOn = failOn;
        f.post(item, "100");
        QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        QVERIFY(f.result()->toPlainText().isEmpty());
        QCOMPARE(f.ledger(), before);
        QVERIFY(recorder.failOn.isEmpty()); // the failure did fire
        QCOMPARE(f.grid()->text(3, f.rowOf(item)), QStringLiteral("100"));
    }

    void namesWithSingleQuotesPostCorrectly()
    {
        Fixture f(Expense, false);
        f.dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('Bob''s safe',100,'',''),"
                   "('Bob',100,'','')");
        f.dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                   "('O''Neil''s tea','生活費','Bob''s safe',''),('O','生活費','Bob','')");
        f.dir.exec("INSERT INTO S VALUES ('O''Neil''s tea','Bob''s safe',7,20030101,'')");
        f.window->load();
        const int r = f.rowOf("O'Neil's tea");
        QCOMPARE(f.grid()->text(4, r) + u'/' + f.grid()->text(5, r), QStringLiteral("20030101/7"));
        f.post("O'Neil's tea", "30", "it's");
        QCOMPARE(f.dialogs.infos, QStringList());
        QCOMPARE(f.balance("Bob's safe"), 70);
        QCOMPARE(f.balance("Bob"), 100);
        QCOMPARE(f.dir.rows("SELECT * FROM S WHERE S_date = 20030917"),
            QStringList {"O'Neil's tea|Bob's safe|30|20030917|it's"});
        QCOMPARE(f.grid()->text(5, f.rowOf("O'Neil's tea")), QStringLiteral("30"));
    }

    void emptyListsAndAMissingLedger()
    {
        {
            Fixture f(Debit, false);
            QCOMPARE(f.grid()->maxRows(), 0);
            QVERIFY(f.dialogs.shown.isEmpty());
        }
        {
            Fixture f(Income, false);
            QFile::remove(f.dir.dbPath());
            f.window->load();
            QCOMPARE(f.dialogs.infos, QStringList {"DB接続失敗"});
        }
    }

    // The latest posting of every listed item is read on each load; on a large ledger that
    // stays fast only when the lookup walks the item-and-date index backwards.
    void latestLookupsUseTheItemDateIndex_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("index");
        QTest::newRow("income") << int(Income) << "N_index_date";
        QTest::newRow("expense") << int(Expense) << "S_index_date";
        QTest::newRow("debit") << int(Debit) << "Z_index_date";
    }
    void latestLookupsUseTheItemDateIndex()
    {
        QFETCH(int, kind);
        QFETCH(QString, index);
        TempAppDir dir;
        const PostingVocabulary v = vocabularyOf(kind);
        const QString plan = dir.rows("EXPLAIN QUERY PLAN "
                                    + SqlDialect::translate(v.latestSqlPrefix + "給料" + v.latestSqlSuffix))
                                 .join(u'\n');
        QVERIFY2(plan.contains("USING INDEX " + index), qPrintable(plan));
        QVERIFY2(!plan.contains("TEMP B-TREE"), qPrintable(plan));
    }

    void theMainMenuOpensTheThreeWindows()
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17);
        MainMenu menu(dir.context(dialogs, clock));
        registerTasks(menu);
        menu.load();
        menu.show();
        const struct
        {
            const char *button, *window, *caption;
        } cases[] = {{"cmd_nyuukin", "F_nyuukin", "収入登録画面"},
            {"cmd_syukkin", "F_syukkin", "支出登録画面"}, {"cmd_zidou", "F_zidou", "自動引落処理画面"}};
        for (const auto &c : cases) {
            menu.findChild<QPushButton *>(c.button)->click();
            TaskWindow *w = menu.openTask();
            QVERIFY(w);
            QCOMPARE(w->objectName(), QString::fromLatin1(c.window));
            QCOMPARE(w->windowTitle(), QString::fromUtf8(c.caption));
            QVERIFY(!menu.isEnabled());
            w->findChild<QPushButton *>("cmd_end")->click();
            QTRY_VERIFY(!menu.openTask());
            QVERIFY(menu.isEnabled());
        }
        QVERIFY(dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(TestPosting)
#include "tst_posting.moc"
