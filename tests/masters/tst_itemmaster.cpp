// SPDX-License-Identifier: GPL-3.0-or-later
#include "Database.h"
#include "ItemMaster.h"
#include "MasterFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

// The fresh ledger holds "自動" as category 1.
const QStringList Masters = {
    "INSERT INTO Kubun_T (K_index, K_memo) VALUES ('給料', '')",
    "INSERT INTO Kubun_T (K_index, K_memo) VALUES ('生活', '')",
    "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('財布', 0, '父', '')",
    "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('銀行', 0, '父', '')",
};

// Names of a table and its columns for the window under test.
struct Names
{
    QString table, index, kubun, hokan, memo, postings, word;
};
Names namesFor(bool expense)
{
    if (expense)
        return {"Syukkin_T", "S_index", "S_kubun", "S_hokan", "S_memo", "S", "支出"};
    return {"Nyuukin_T", "N_index", "N_kubun", "N_hokan", "N_memo", "N", "収入"};
}

QString item(const Names &n, const QString &name, const QString &kubun, const QString &hokan)
{
    return QStringLiteral("INSERT INTO %1 (%2, %3, %4, %5) VALUES ('%6', '%7', '%8', '')")
        .arg(n.table, n.index, n.kubun, n.hokan, n.memo, name, kubun, hokan);
}
QString posting(const Names &n, const QString &name, int date)
{
    return QStringLiteral("INSERT INTO %1 VALUES ('%2', '財布', 100, %3, '')")
        .arg(n.postings, name)
        .arg(date);
}

} // namespace

class TestItemMaster : public QObject
{
    Q_OBJECT

    using Fixture = MasterFixture<ItemMaster>;

    struct Window
    {
        Fixture f;
        Names n;
        Grid *sp1 = nullptr;
        Grid *sp2 = nullptr;

        explicit Window(bool expense, const QStringList &items = {})
            : n(namesFor(expense))
        {
            f.seed(Masters);
            // Item rows may name the window's table and columns as %1 to %5.
            for (const QString &s : items)
                f.seed({s.contains("%1") ? s.arg(n.table, n.index, n.kubun, n.hokan, n.memo) : s});
            f.open(expense ? ItemVocabulary::expense() : ItemVocabulary::income());
            sp1 = f.grid("SP1");
            sp2 = f.grid("SP2");
        }
        QStringList items() const
        {
            return f.dir.rows(
                QStringLiteral("SELECT %1 || ':' || %2 || ':' || %3 || ':' || %4 FROM %5 ORDER BY 1")
                    .arg(n.index, n.kubun, n.hokan, n.memo, n.table));
        }
        QStringList postings() const
        {
            return f.dir.rows(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                  .arg(n.index, n.postings, n.postings + "_date"));
        }
    };

    // Two items: row 1 給与/給料/財布, row 2 副業/生活/銀行; postings of 給与.
    static QStringList twoItems()
    {
        return {"INSERT INTO %1 (%2, %3, %4, %5) VALUES ('給与', '給料', '財布', '月末')",
            "INSERT INTO %1 (%2, %3, %4, %5) VALUES ('副業', '生活', '銀行', '')"};
    }

    static void bothWindows()
    {
        QTest::addColumn<bool>("expense");
        QTest::newRow("income") << false;
        QTest::newRow("expense") << true;
    }

private slots:
    void layoutAndLoad_data() { bothWindows(); }
    void layoutAndLoad()
    {
        QFETCH(bool, expense);
        Window w(expense, twoItems());
        const QString word = w.n.word;
        QCOMPARE(w.f.window->objectName(), expense ? QStringLiteral("F_syuM") : QStringLiteral("F_nyuM"));
        QCOMPARE(w.f.window->windowTitle(), word + QStringLiteral("マスタメンテンナス"));
        QCOMPARE(
            w.f.window->findChild<QLabel *>("Label5")->text(), word + QStringLiteral("マスタメンテンナス"));
        QStringList h1, h2;
        for (int c = 1; c <= 5; ++c)
            h1 << w.sp1->heading(c);
        for (int c = 1; c <= 6; ++c)
            h2 << w.sp2->heading(c);
        QCOMPARE(h1, QStringList({word + "名", "区分", "保管場所", "備考", "登録処理"}));
        QCOMPARE(h2, QStringList({word + "名", "区分", "保管場所", "備考", "変更処理", "削除処理"}));
        QCOMPARE(w.sp2->cellKind(2, 1), Grid::Kind::Choice);
        QCOMPARE(w.sp2->cellBackground(3, 2), QColor(255, 255, 128));

        // Lists in table order, every category "自動" included; choices as positions.
        QCOMPARE(w.sp1->choiceEntries(2, 1), QStringList({"自動", "給料", "生活"}));
        QCOMPARE(w.sp2->choiceEntries(3, 2), QStringList({"財布", "銀行"}));
        QCOMPARE(w.sp2->maxRows(), 2);
        QCOMPARE(w.sp2->text(1, 1), QStringLiteral("給与"));
        QCOMPARE(w.sp2->text(2, 1), QStringLiteral("1"));
        QCOMPARE(w.sp2->text(3, 1), QStringLiteral("0"));
        QCOMPARE(w.sp2->text(4, 1), QStringLiteral("月末"));
        QCOMPARE(w.sp2->text(2, 2), QStringLiteral("2"));
        QCOMPARE(w.sp2->text(3, 2), QStringLiteral("1"));
    }

    void registerStoresTheChosenNames_data() { bothWindows(); }
    void registerStoresTheChosenNames()
    {
        QFETCH(bool, expense);
        Window w(expense, twoItems());
        // The duplicate is reported before any missing field, then the fields in order.
        w.sp1->setText(1, 1, "副業");
        w.sp1->clickButton(5, 1);
        w.sp1->setText(1, 1, "");
        w.sp1->clickButton(5, 1);
        w.sp1->setText(1, 1, "賞与");
        w.sp1->setText(3, 1, "0");
        w.sp1->clickButton(5, 1);
        w.sp1->setText(2, 1, "2");
        w.sp1->setText(3, 1, "");
        w.sp1->clickButton(5, 1);
        QCOMPARE(w.f.dialogs.shown,
            QStringList({"この" + w.n.word + "名は既に使用されています 登録できません",
                w.n.word + "名が入力されていません", "区分が入力されていません",
                "保管場所が入力されていません"}));

        w.f.dialogs.clear();
        w.sp1->setText(1, 1, "It's 賞与");
        w.sp1->setText(3, 1, "1");
        w.sp1->setText(4, 1, "年2回");
        w.sp1->clickButton(5, 1);
        QCOMPARE(w.f.dialogs.shown, QStringList({"登録します　よろしいですか？", "登録完了しました"}));
        // The third category and the second storage place, by name.
        QCOMPARE(
            w.items(), QStringList({"It's 賞与:生活:銀行:年2回", "副業:生活:銀行:", "給与:給料:財布:月末"}));
        QCOMPARE(w.sp2->maxRows(), 3);
        QCOMPARE(w.sp2->text(1, 3), QStringLiteral("It's 賞与"));
        QCOMPARE(w.sp2->text(2, 3), QStringLiteral("2"));
        QCOMPARE(w.sp2->text(3, 3), QStringLiteral("1"));
        for (int c = 1; c <= 4; ++c)
            QVERIFY(w.sp1->text(c, 1).isEmpty());
    }

    void updateIssuesOneStatementUnderTheName_data() { bothWindows(); }
    void updateIssuesOneStatementUnderTheName()
    {
        QFETCH(bool, expense);
        Window w(expense, twoItems());
        w.sp2->setText(3, 1, "1");
        StatementRecorder rec;
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.f.dialogs.shown, QStringList({"更新します　よろしいですか？", "更新終了しました"}));
        const QString p = expense ? "S" : "N";
        QCOMPARE(rec.statements.first(),
            QStringLiteral("UPDATE %1 SET %2_kubun = '給料',%2_hokan = '銀行',%2_memo = '月末' WHERE "
                           "(%2_index = '給与')")
                .arg(w.n.table, p));
        QVERIFY(!rec.statements.mid(1).join('\n').contains("UPDATE"));
        QCOMPARE(w.items(), QStringList({"副業:生活:銀行:", "給与:給料:銀行:月末"}));
    }

    void renameRewritesThePostings_data() { bothWindows(); }
    void renameRewritesThePostings()
    {
        QFETCH(bool, expense);
        QStringList seed = twoItems();
        Window w(expense, seed);
        const Names &n = w.n;
        w.f.seed({posting(n, "給与", 20030901), posting(n, "給与", 20030902),
            "INSERT INTO Zidourireki_T VALUES ('給与', '財布', 100, 20030901)"});

        // An item without postings: the SELECT on the postings, the statement import's rules and
        // lines of that kind, then the master update.
        w.sp2->setText(1, 2, "内職");
        StatementRecorder rec;
        w.sp2->clickButton(5, 2);
        // The side tables follow with bound values: the import's rules, lines and patterns, the
        // plans by item (a row left under the new name gives way) and the item's schedule.
        const QString planYears
            = " AND XZ_year IN (SELECT XY_year FROM X_budget_year WHERE XY_side = ? AND XY_by = ?)";
        QStringList sideRename {"UPDATE X_import_rule SET XR_item = ? WHERE XR_kind = ? AND XR_item = ?",
            "UPDATE X_import_line SET XL_item = ? WHERE XL_table = ? AND XL_item = ?",
            "UPDATE X_import_pattern SET XQ_item = ? WHERE XQ_item = ? AND XQ_kind = ?",
            "DELETE FROM X_budget_row WHERE XZ_side = ? AND XZ_name = ?" + planYears,
            "UPDATE X_budget_row SET XZ_name = ? WHERE XZ_side = ? AND XZ_name = ?" + planYears,
            "DELETE FROM X_schedule WHERE XS_side = ? AND XS_item = ?",
            "UPDATE X_schedule SET XS_item = ? WHERE XS_side = ? AND XS_item = ?"};
        // An expense item also names the bank's payments a card's bill turned into transfers.
        if (expense)
            sideRename.insert(2, "UPDATE X_import_line SET XL_paid_item = ? WHERE XL_paid_item = ?");
        // An expense item's debit history follows it.
        const auto debitRename = [&](const QString &from, const QString &to, bool used) {
            if (!expense)
                return QStringList();
            QStringList out {"SELECT Z_index FROM Zidourireki_T WHERE (Z_index = '" + from + "')"};
            if (used)
                out << "UPDATE Zidourireki_T SET Z_index = '" + to + "' WHERE Z_index = '" + from + "'";
            return out;
        };
        QCOMPARE(Fixture::from(rec.statements, "SELECT " + n.index + " FROM " + n.postings + " "),
            QStringList({QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '副業')").arg(n.index, n.postings)})
                + debitRename("副業", "内職", false) + sideRename
                + QStringList(
                    {QStringLiteral(
                         "UPDATE %1 SET %2 = '内職',%3 = '生活',%4 = '銀行',%5 = '' WHERE (%2 = '副業')")
                            .arg(n.table, n.index, n.kubun, n.hokan, n.memo),
                        "SELECT * FROM " + n.table, "SELECT K_index FROM Kubun_T",
                        "SELECT H_index FROM Hokan_T", "SELECT * FROM " + n.table}));
        QCOMPARE(w.f.dialogs.shown,
            QStringList(
                {"[副業]を[内職]に変更し、現在までの" + n.word + "実績データも変更します。　よろしいですか？",
                    "内職に変更しました"}));
        QCOMPARE(w.postings(), QStringList({"給与", "給与"}));

        // With postings: the postings first, then the item with its other edited columns.
        rec.statements.clear();
        w.sp2->setText(1, 1, "O'給与");
        w.sp2->setText(4, 1, "改名");
        w.sp2->clickButton(5, 1);
        QCOMPARE(rec.statements.mid(1, expense ? 13 : 10),
            QStringList({QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '給与')").arg(n.index, n.postings),
                QStringLiteral("UPDATE %1 SET %2 = 'O''給与' WHERE %2 = '給与'").arg(n.postings, n.index)})
                + debitRename("給与", "O''給与", true) + sideRename
                + QStringList({QStringLiteral(
                    "UPDATE %1 SET %2 = 'O''給与',%3 = '給料',%4 = '財布',%5 = '改名' WHERE (%2 = '給与')")
                                   .arg(n.table, n.index, n.kubun, n.hokan, n.memo)}));
        QCOMPARE(w.postings(), QStringList({"O'給与", "O'給与"}));
        QCOMPARE(w.items(), QStringList({"O'給与:給料:財布:改名", "内職:生活:銀行:"}));
        // The debit history follows an expense item; an income item of the same name is another.
        QCOMPARE(
            w.f.dir.rows("SELECT Z_index FROM Zidourireki_T"), QStringList({expense ? "O'給与" : "給与"}));
    }

    void renameRefusedOrFailedChangesNothing_data() { bothWindows(); }
    void renameRefusedOrFailedChangesNothing()
    {
        QFETCH(bool, expense);
        Window w(expense, twoItems());
        w.f.seed({posting(w.n, "給与", 20030901)});
        const QStringList before = w.items();
        StatementRecorder rec;
        w.sp2->setText(1, 1, "");
        w.sp2->clickButton(5, 1);
        w.sp2->setText(1, 1, "副業");
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.f.dialogs.shown,
            QStringList({w.n.word + "名が入力されていません",
                "この" + w.n.word + "名は既に使用されています 変更できません"}));
        QVERIFY(!rec.statements.join('\n').contains("UPDATE"));

        w.f.dialogs.clear();
        w.sp2->setText(1, 1, "給料日");
        rec.failOn = "UPDATE " + w.n.table;
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.f.dialogs.infos, QStringList({"DB接続失敗"}));
        QCOMPARE(w.items(), before);
        QCOMPARE(w.postings(), QStringList({"給与"}));
        // The row still stands for 給与: a retry renames it.
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.postings(), QStringList({"給料日"}));
    }

    void deleteUsesTheRememberedNameAndKeepsPostings_data() { bothWindows(); }
    void deleteUsesTheRememberedNameAndKeepsPostings()
    {
        QFETCH(bool, expense);
        Window w(expense, twoItems());
        w.f.seed({posting(w.n, "給与", 20030901)});
        w.sp2->setText(1, 1, "副業");
        StatementRecorder rec;
        w.sp2->clickButton(6, 1);
        QCOMPARE(
            w.f.dialogs.shown, QStringList({"給与を削除します　よろしいですか？", "給与を削除しました"}));
        QCOMPARE(
            rec.statements.first(), "DELETE * FROM " + w.n.table + " WHERE (" + w.n.index + " = '給与')");
        QCOMPARE(w.items(), QStringList({"副業:生活:銀行:"}));
        QCOMPARE(w.postings(), QStringList({"給与"}));
        QCOMPARE(w.sp2->maxRows(), 1);
    }

    void unlistedStoredNamesAreKept_data() { bothWindows(); }
    void unlistedStoredNamesAreKept()
    {
        QFETCH(bool, expense);
        Window w(expense, {"INSERT INTO %1 (%2, %3, %4, %5) VALUES ('古い', '廃止区分', '0', '')"});
        QCOMPARE(w.sp2->text(2, 1), QString());
        QCOMPARE(w.sp2->text(3, 1), QString());
        w.sp2->setText(4, 1, "メモ");
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.items(), QStringList({"古い:廃止区分:0:メモ"}));
        // Picking an entry replaces the stored name.
        w.sp2->setText(3, 1, "0");
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.items(), QStringList({"古い:廃止区分:財布:メモ"}));
    }

    void servesMoreThan99Items_data() { bothWindows(); }
    void servesMoreThan99Items()
    {
        QFETCH(bool, expense);
        const Names n = namesFor(expense);
        QStringList seed;
        for (int i = 1; i <= 130; ++i) {
            seed << QStringLiteral(
                "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('場所%1', 0, '', '')")
                        .arg(i);
            seed << item(n, QStringLiteral("品%1").arg(i), "生活", QStringLiteral("場所%1").arg(i));
        }
        Window w(expense, seed);
        QCOMPARE(w.sp2->maxRows(), 130);
        QCOMPARE(w.sp2->choiceEntries(3, 1).size(), 132);
        // Row 125 shows its place, the 127th entry, and stores the 131st when it is picked.
        QCOMPARE(w.sp2->text(3, 125), QStringLiteral("126"));
        w.sp2->setText(3, 125, "131");
        w.sp2->clickButton(5, 125);
        QCOMPARE(w.f.dir
                     .scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = '品125'")
                                 .arg(w.n.hokan, w.n.table, w.n.index))
                     .toString(),
            QStringLiteral("場所130"));
    }

    void automaticItemMovesBetweenThePostingLists()
    {
        Window w(true);
        // What the expense posting window and the debit run list.
        auto lists = [&] {
            Database db(w.f.dir.dbPath());
            QStringList posting, debit;
            for (Cursor c = db.query("SELECT * FROM Syukkin_T WHERE Not S_kubun = '自動'"); !c.eof();
                 c.next())
                posting << c.text("S_index");
            for (Cursor c = db.query("SELECT * FROM Syukkin_T WHERE S_kubun = '自動'"); !c.eof(); c.next())
                debit << c.text("S_index");
            return posting.join(',') + "/" + debit.join(',');
        };
        w.sp1->setText(1, 1, "家賃");
        w.sp1->setText(2, 1, "0");
        w.sp1->setText(3, 1, "1");
        w.sp1->clickButton(5, 1);
        QCOMPARE(w.f.dir.rows("SELECT S_kubun FROM Syukkin_T"), QStringList({"自動"}));
        QCOMPARE(lists(), QStringLiteral("/家賃"));

        w.f.dialogs.clear();
        StatementRecorder rec;
        w.sp2->setText(2, 1, "2");
        w.sp2->clickButton(5, 1);
        QCOMPARE(w.f.dialogs.asked, QStringList({"更新します　よろしいですか？"}));
        QCOMPARE(rec.statements.filter("UPDATE").size(), 1);
        QCOMPARE(w.f.dir.rows("SELECT S_kubun FROM Syukkin_T"), QStringList({"生活"}));
        QCOMPARE(lists(), QStringLiteral("家賃/"));
    }

    void expenseWindowSaysNothingOfIncome()
    {
        StatementRecorder rec;
        Window w(true, twoItems());
        w.f.seed({posting(w.n, "給与", 20030901)});
        w.sp1->setText(1, 1, "副業");
        w.sp1->clickButton(5, 1);
        w.sp1->setText(1, 1, "");
        w.sp1->clickButton(5, 1);
        w.sp1->setText(1, 1, "x");
        w.sp1->setText(2, 1, "1");
        w.sp1->setText(3, 1, "1");
        w.sp1->clickButton(5, 1);
        w.sp2->clickButton(5, 1);
        w.sp2->setText(1, 1, "");
        w.sp2->clickButton(5, 1);
        w.sp2->setText(1, 1, "副業");
        w.sp2->clickButton(5, 1);
        w.sp2->setText(1, 1, "y");
        w.sp2->clickButton(5, 1);
        w.sp2->clickButton(6, 1);

        QStringList texts = w.f.dialogs.shown + rec.statements;
        texts << w.f.window->windowTitle();
        for (QWidget *child : w.f.window->findChildren<QWidget *>()) {
            if (auto *l = qobject_cast<QLabel *>(child))
                texts << l->text();
            if (auto *b = qobject_cast<QPushButton *>(child))
                texts << b->text();
        }
        for (Grid *g : {w.sp1, w.sp2}) {
            for (int c = 1; c <= g->maxCols(); ++c)
                texts << g->heading(c);
        }
        QVERIFY(w.f.dialogs.shown.size() >= 10);
        const QString all = texts.join('\n');
        for (const char *income : {"収入", "Nyuukin_T", "N_index", "N_kubun", "N_hokan", "N_memo", "FROM N "})
            QVERIFY2(!all.contains(QString::fromUtf8(income)), income);
        QVERIFY(all.contains("支出名"));
    }
};

QTEST_MAIN(TestItemMaster)
#include "tst_itemmaster.moc"
