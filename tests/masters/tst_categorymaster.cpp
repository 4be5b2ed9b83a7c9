// SPDX-License-Identifier: GPL-3.0-or-later
#include "CategoryMaster.h"
#include "MasterFixture.h"

#include <QLabel>
#include <QTest>

namespace {

QString category(const QString &name, const QString &memo = QString())
{
    return QStringLiteral("INSERT INTO Kubun_T (K_index, K_memo) VALUES ('%1', '%2')").arg(name, memo);
}
QString income(const QString &name, const QString &kubun)
{
    return QStringLiteral(
        "INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES ('%1', '%2', '財布', '')")
        .arg(name, kubun);
}
QString expense(const QString &name, const QString &kubun)
{
    return QStringLiteral(
        "INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES ('%1', '%2', '財布', '')")
        .arg(name, kubun);
}

} // namespace

class TestCategoryMaster : public QObject
{
    Q_OBJECT

    using Fixture = MasterFixture<CategoryMaster>;

    // The fresh ledger holds "自動" in row 1; these follow it.
    static void seedUsual(Fixture &f)
    {
        f.seed({category("給料", "月末"), category("生活"), category("趣味"), income("給与", "給料"),
            expense("食費", "生活"), expense("日用品", "生活"), expense("電気代", "自動")});
    }

    QStringList categories(const Fixture &f)
    {
        return f.dir.rows("SELECT K_index || ':' || K_memo FROM Kubun_T ORDER BY K_no");
    }

private slots:
    void layoutAndLoad()
    {
        Fixture f;
        seedUsual(f);
        CategoryMaster &w = f.open();
        QCOMPARE(w.objectName(), QStringLiteral("F_kubunM"));
        QCOMPARE(w.windowTitle(), QStringLiteral("入出金区分マスタメンテンナス"));
        QCOMPARE(w.findChild<QLabel *>("Label2")->text(), QStringLiteral("変更/削除"));
        Grid *sp1 = f.grid("SP1");
        Grid *sp2 = f.grid("SP2");
        QCOMPARE(QStringList({sp1->heading(1), sp1->heading(2), sp1->heading(3)}),
            QStringList({"区分名", "備考", "登録処理"}));
        QCOMPARE(QStringList({sp2->heading(1), sp2->heading(2), sp2->heading(3), sp2->heading(4)}),
            QStringList({"区分名", "備考", "変更処理", "削除処理"}));
        QCOMPARE(sp2->maxRows(), 4);
        QCOMPARE(sp2->text(1, 1), QStringLiteral("自動"));
        QCOMPARE(sp2->text(1, 2), QStringLiteral("給料"));
        QCOMPARE(sp2->text(2, 2), QStringLiteral("月末"));
        QCOMPARE(sp2->cellBackground(1, 2), QColor(255, 255, 128));
    }

    void registerChecksAndAdds()
    {
        Fixture f;
        seedUsual(f);
        f.open();
        Grid *sp1 = f.grid("SP1");
        sp1->setText(1, 1, "生活");
        sp1->setText(2, 1, "備考あり");
        sp1->clickButton(3, 1);
        sp1->setText(1, 1, "");
        sp1->clickButton(3, 1);
        QCOMPARE(f.dialogs.shown,
            QStringList({"この区分名は既に使用されています 登録できません", "区分名が入力されていません"}));
        f.dialogs.clear();
        sp1->setText(1, 1, "'特別'");
        sp1->clickButton(3, 1);
        QCOMPARE(f.dialogs.shown, QStringList({"登録します　よろしいですか？", "登録完了しました"}));
        QCOMPARE(categories(f).last(), QStringLiteral("'特別':備考あり"));
        QCOMPARE(f.grid("SP2")->text(1, 5), QStringLiteral("'特別'"));
        QVERIFY(sp1->text(1, 1).isEmpty() && sp1->text(2, 1).isEmpty());
    }

    void automaticIsProtectedButItsRemarkEditable()
    {
        Fixture f;
        seedUsual(f);
        f.open();
        Grid *sp2 = f.grid("SP2");
        sp2->setText(2, 1, "引落し用");
        StatementRecorder rec;
        sp2->clickButton(3, 1);
        QCOMPARE(f.dialogs.shown, QStringList({"更新します　よろしいですか？", "更新終了しました"}));
        QCOMPARE(rec.statements.first(),
            QStringLiteral("UPDATE Kubun_T SET K_memo = '引落し用' WHERE (K_index = '自動')"));
        QCOMPARE(categories(f).first(), QStringLiteral("自動:引落し用"));

        f.dialogs.clear();
        rec.statements.clear();
        sp2->setText(1, 1, "自動2");
        sp2->clickButton(3, 1);
        QCOMPARE(f.dialogs.shown, QStringList({"この区分名(自動)は変更できません"}));
        QCOMPARE(sp2->text(1, 1), QStringLiteral("自動"));
        QVERIFY(!rec.statements.join('\n').contains("UPDATE"));

        f.dialogs.clear();
        rec.statements.clear();
        sp2->clickButton(4, 1);
        QCOMPARE(f.dialogs.shown, QStringList({"この区分名(自動)は削除できません"}));
        QVERIFY(rec.statements.isEmpty());
        QCOMPARE(f.dir.rows("SELECT S_kubun FROM Syukkin_T WHERE S_index = '電気代'"), QStringList({"自動"}));
    }

    // The plans by category on both sides follow a rename; a row left under the new name gives way.
    static QStringList planRename()
    {
        QStringList out;
        for (int side = 0; side < 2; ++side) {
            const QString years
                = " AND XZ_year IN (SELECT XY_year FROM X_budget_year WHERE XY_side = ? AND XY_by = ?)";
            out << "DELETE FROM X_budget_row WHERE XZ_side = ? AND XZ_name = ?" + years
                << "UPDATE X_budget_row SET XZ_name = ? WHERE XZ_side = ? AND XZ_name = ?" + years;
        }
        return out;
    }

    void renameOfAnUnusedCategory()
    {
        Fixture f;
        seedUsual(f);
        f.open();
        Grid *sp2 = f.grid("SP2");
        sp2->setText(1, 4, "遊び");
        sp2->setText(2, 4, "週末");
        StatementRecorder rec;
        sp2->clickButton(3, 4);
        QCOMPARE(f.dialogs.shown,
            QStringList({"[趣味]を[遊び]に変更し、支出マスタ・収入マスタも変更します。　よろしいですか？",
                "遊びに変更しました"}));
        QCOMPARE(Fixture::from(rec.statements, "SELECT N_kubun"),
            QStringList({"SELECT N_kubun FROM Nyuukin_T WHERE (N_kubun = '趣味')",
                "SELECT S_kubun FROM Syukkin_T WHERE (S_kubun = '趣味')"})
                + planRename()
                + QStringList({"UPDATE Kubun_T SET K_index = '遊び',K_memo = '週末' WHERE K_index = '趣味'",
                    "SELECT * FROM Kubun_T"}));
        QCOMPARE(categories(f).last(), QStringLiteral("遊び:週末"));
    }

    void renameCarriesIntoTheItemMastersAndTheCategoryLast()
    {
        Fixture f;
        seedUsual(f);
        f.open();
        Grid *sp2 = f.grid("SP2");
        sp2->setText(1, 3, "O'生活");
        f.dir.exec("INSERT INTO X_budget_year VALUES (2005,'S','K'),(2006,'S','I')");
        f.dir.exec("INSERT INTO X_budget_row (XZ_year,XZ_side,XZ_name,XZ_m01) VALUES "
                   "(2005,'S','生活',100),(2006,'S','生活',200)");
        StatementRecorder rec;
        sp2->clickButton(3, 3);
        QCOMPARE(Fixture::from(rec.statements, "SELECT N_kubun"),
            QStringList({"SELECT N_kubun FROM Nyuukin_T WHERE (N_kubun = '生活')",
                "SELECT S_kubun FROM Syukkin_T WHERE (S_kubun = '生活')",
                "UPDATE Syukkin_T SET S_kubun = 'O''生活' WHERE S_kubun = '生活'"})
                + planRename()
                + QStringList({"UPDATE Kubun_T SET K_index = 'O''生活',K_memo = '' WHERE K_index = '生活'",
                    "SELECT * FROM Kubun_T"}));
        // Only the year planned by category takes the new name.
        QCOMPARE(f.dir.rows("SELECT XZ_year, XZ_name, XZ_m01 FROM X_budget_row ORDER BY XZ_year"),
            QStringList({"2005|O'生活|100", "2006|生活|200"}));
        QCOMPARE(f.dir.rows("SELECT S_kubun FROM Syukkin_T ORDER BY S_no"),
            QStringList({"O'生活", "O'生活", "自動"}));
        QCOMPARE(f.dir.rows("SELECT N_kubun FROM Nyuukin_T"), QStringList({"給料"}));
    }

    void renameRefusedOrFailedChangesNothing()
    {
        Fixture f;
        seedUsual(f);
        f.open();
        Grid *sp2 = f.grid("SP2");
        const QStringList before = categories(f);
        StatementRecorder rec;
        sp2->setText(1, 3, "");
        sp2->clickButton(3, 3);
        sp2->setText(1, 3, "給料");
        sp2->clickButton(3, 3);
        QCOMPARE(f.dialogs.shown,
            QStringList({"区分名が入力されていません", "この区分名は既に使用されています 変更できません"}));
        // The refused edit stays in the cell for correcting.
        QCOMPARE(sp2->text(1, 3), QStringLiteral("給料"));

        f.dialogs.clear();
        sp2->setText(1, 3, "暮らし");
        rec.failOn = "UPDATE Kubun_T";
        sp2->clickButton(3, 3);
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
        QVERIFY(!rec.statements.join('\n').contains("SELECT * FROM Kubun_T")); // no reload after a failure
        QCOMPARE(categories(f), before);
        QCOMPARE(
            f.dir.rows("SELECT S_kubun FROM Syukkin_T ORDER BY S_no"), QStringList({"生活", "生活", "自動"}));

        // No at the question: the row keeps its remembered name and the edit.
        f.dialogs.clear();
        f.dialogs.answers = {false};
        sp2->clickButton(3, 3);
        QCOMPARE(categories(f), before);
        QCOMPARE(sp2->text(1, 3), QStringLiteral("暮らし"));
    }

    void deleteChecksExpenseItemsFirstAndUsesTheRememberedName()
    {
        Fixture f;
        seedUsual(f);
        f.seed({income("雑収入", "生活")});
        f.open();
        Grid *sp2 = f.grid("SP2");
        sp2->clickButton(4, 3);
        sp2->clickButton(4, 2);
        QCOMPARE(f.dialogs.shown,
            QStringList({"この区分名は支出ﾏｽﾀで使用されています 削除できません",
                "この区分名は収入ﾏｽﾀで使用されています 削除できません"}));

        f.dialogs.clear();
        sp2->setText(1, 4, "給料");
        StatementRecorder rec;
        sp2->clickButton(4, 4);
        QCOMPARE(f.dialogs.shown, QStringList({"趣味を削除します　よろしいですか？", "趣味を削除しました"}));
        QVERIFY(rec.statements.contains("DELETE K_index FROM kubun_T WHERE (K_index = '趣味')"));
        QCOMPARE(categories(f), QStringList({"自動:", "給料:月末", "生活:"}));
        QCOMPARE(sp2->maxRows(), 3);
    }

    void servesMoreThan99Categories()
    {
        Fixture f;
        QStringList seed;
        for (int i = 1; i <= 120; ++i)
            seed << category(QStringLiteral("区分%1").arg(i));
        seed << expense("品", "区分115");
        f.seed(seed);
        f.open();
        Grid *sp2 = f.grid("SP2");
        QCOMPARE(sp2->maxRows(), 121);
        sp2->setText(1, 116, "区分百十五");
        sp2->clickButton(3, 116);
        QCOMPARE(f.dir.rows("SELECT S_kubun FROM Syukkin_T"), QStringList({"区分百十五"}));
        sp2->setText(1, 121, "x");
        sp2->clickButton(4, 121);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Kubun_T WHERE K_index = '区分120'").toInt(), 0);
    }
};

QTEST_MAIN(TestCategoryMaster)
#include "tst_categorymaster.moc"
