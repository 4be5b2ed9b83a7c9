// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"
#include "Database.h"
#include "MasterFixture.h"
#include "StorageMaster.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

QString place(const QString &name, int money = 0, const QString &keeper = QStringLiteral("父"))
{
    return QStringLiteral(
        "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('%1', %2, '%3', '')")
        .arg(name)
        .arg(money)
        .arg(keeper);
}

QStringList listEntries(const QComboBox *cb)
{
    QStringList out;
    for (int i = 0; i < cb->count(); ++i)
        out << cb->itemText(i);
    return out;
}

// A place named in every table that holds storage-place names, beside another place.
const QStringList EveryTable = {
    place("財布", 1000),
    place("銀行", 5000),
    "INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES ('給与', '給料', '財布', '')",
    "INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES ('食費', '生活', '財布', '')",
    "INSERT INTO N VALUES ('給与', '財布', 300, 20030901, '')",
    "INSERT INTO N VALUES ('給与', '銀行', 300, 20030902, '')",
    "INSERT INTO S VALUES ('食費', '財布', 100, 20030903, '')",
    "INSERT INTO Idourireki_T VALUES ('財布', '銀行', 50, 20030904, '')",
    "INSERT INTO Idourireki_T VALUES ('銀行', '財布', 20, 20030905, '')",
    "INSERT INTO Zidourireki_T VALUES ('家賃', '財布', 70, 20030906)",
    "INSERT INTO Ktanaorosi_T VALUES ('財布', 900, 1000, '数え直し', 20030907)",
};

// Every storage-place name held anywhere, table by table.
QStringList namesEverywhere(const TempAppDir &dir)
{
    QStringList out;
    for (const char *sql :
        {"SELECT H_index FROM Hokan_T ORDER BY H_no", "SELECT N_hokan FROM Nyuukin_T",
            "SELECT S_hokan FROM Syukkin_T", "SELECT N_hokan FROM N ORDER BY N_date", "SELECT S_hokan FROM S",
            "SELECT I_hokanmoto || '>' || I_hokansaki FROM Idourireki_T ORDER BY I_day",
            "SELECT Z_hokan FROM Zidourireki_T", "SELECT K_hokan FROM Ktanaorosi_T"})
        out << dir.rows(QString::fromUtf8(sql)).join(u',');
    return out;
}

} // namespace

class TestStorageMaster : public QObject
{
    Q_OBJECT

    using Fixture = MasterFixture<StorageMaster>;

    static void rename(Fixture &f, const QString &oldName, const QString &newName)
    {
        f.window->findChild<QComboBox *>("cb_hokan")->setEditText(oldName);
        f.window->findChild<QLineEdit *>("txt_hokan2")->setText(newName);
        f.window->findChild<QPushButton *>("cmd_henkou")->click();
    }

private slots:
    void layoutAndLoad()
    {
        Fixture f;
        f.seed({place("財布", 1200, "母"), place("銀行", -30)});
        StorageMaster &w = f.open();
        QCOMPARE(w.objectName(), QStringLiteral("F_hokanM"));
        QCOMPARE(w.windowTitle(), QStringLiteral("保管場所マスタメンテナンス"));
        QCOMPARE(w.findChild<QLabel *>("Label5")->text(), QStringLiteral("保管場所マスタメンテナンス"));
        QCOMPARE(w.findChild<QLabel *>("Label2")->text(), QStringLiteral("変更(管理者名,備考)/削除"));
        QCOMPARE(w.findChild<QLabel *>("Label4")->text(),
            QStringLiteral(
                "※保管場所名変更時は現在までの累積データ及び、影響する全マスタにも変更が加えられます"));
        QCOMPARE(w.findChild<QPushButton *>("cmd_henkou")->text(), QStringLiteral("保管場所名変更"));
        QVERIFY(!w.findChild<QLabel *>("img_ya")->pixmap().isNull());

        Grid *sp1 = f.grid("SP1");
        Grid *sp2 = f.grid("SP2");
        QCOMPARE(sp1->maxRows(), 1);
        QStringList headings;
        for (int c = 1; c <= sp2->maxCols(); ++c)
            headings << sp2->heading(c);
        QCOMPARE(
            headings, QStringList({"№", "保管場所名", "金額", "管理者名", "備考", "変更処理", "削除処理"}));
        QCOMPARE(sp1->heading(4), QStringLiteral("登録処理"));
        // Name and balance are shown, not edited; keeper and remark are typed into.
        QVERIFY(sp2->isCellLocked(2, 1) && sp2->isCellLocked(3, 1));
        QCOMPARE(sp2->cellBackground(4, 1), QColor(255, 255, 128));

        QCOMPARE(sp2->maxRows(), 2);
        QCOMPARE(sp2->text(1, 1), QStringLiteral("1"));
        QCOMPARE(sp2->text(2, 1), QStringLiteral("財布"));
        QCOMPARE(sp2->text(3, 1), QStringLiteral("1200"));
        QCOMPARE(sp2->text(4, 1), QStringLiteral("母"));
        QCOMPARE(sp2->text(3, 2), QStringLiteral("-30"));
        QCOMPARE(listEntries(w.findChild<QComboBox *>("cb_hokan")), QStringList({"財布", "銀行"}));
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void worksWithoutTheArrowPicture()
    {
        Fixture f;
        QVERIFY(QFile::remove(QDir(f.dir.path()).filePath("yazirusi.gif")));
        f.open();
        QVERIFY(f.dialogs.shown.isEmpty());
        f.grid("SP1")->setText(1, 1, "金庫");
        f.grid("SP1")->setText(2, 1, "父");
        f.grid("SP1")->clickButton(4, 1);
        QCOMPARE(f.dir.rows("SELECT H_index FROM Hokan_T"), QStringList({"金庫"}));
    }

    void registerChecksInOrder()
    {
        Fixture f;
        f.seed({place("財布")});
        f.open();
        Grid *sp1 = f.grid("SP1");
        // The duplicate is found before the missing keeper.
        sp1->setText(1, 1, "財布");
        sp1->clickButton(4, 1);
        sp1->setText(1, 1, "");
        sp1->setText(2, 1, "父");
        sp1->clickButton(4, 1);
        sp1->setText(1, 1, "金庫");
        sp1->setText(2, 1, "");
        sp1->clickButton(4, 1);
        QCOMPARE(f.dialogs.shown,
            QStringList({"この保管場所名は既に使用されています 登録できません",
                "保管場所名が入力されていません", "管理者名が入力されていません"}));
        // No at the confirmation writes nothing.
        sp1->setText(2, 1, "父");
        f.dialogs.answers = {false};
        sp1->clickButton(4, 1);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Hokan_T").toInt(), 1);
        QCOMPARE(sp1->text(1, 1), QStringLiteral("金庫"));
    }

    void registerAddsAPlaceWithBalanceZero()
    {
        Fixture f;
        f.seed({place("財布", 700), "DELETE FROM Hokan_T", place("銀行", 700)});
        StorageMaster &w = f.open();
        Grid *sp1 = f.grid("SP1");
        sp1->setText(1, 1, "O'Neil's 金庫");
        sp1->setText(2, 1, "母");
        sp1->setText(3, 1, "鍵は'棚'");
        sp1->clickButton(4, 1);
        QCOMPARE(f.dialogs.shown, QStringList({"登録します　よろしいですか？", "登録完了しました"}));
        QCOMPARE(f.dir.rows("SELECT H_no, H_index, H_money, H_name, H_memo FROM Hokan_T ORDER BY H_no"),
            QStringList({"2|銀行|700|父|", "3|O'Neil's 金庫|0|母|鍵は'棚'"}));
        Grid *sp2 = f.grid("SP2");
        QCOMPARE(sp2->maxRows(), 2);
        QCOMPARE(sp2->text(1, 2), QStringLiteral("3"));
        QCOMPARE(sp2->text(3, 2), QStringLiteral("0"));
        QCOMPARE(listEntries(w.findChild<QComboBox *>("cb_hokan")), QStringList({"銀行", "O'Neil's 金庫"}));
        for (int c = 1; c <= 3; ++c)
            QVERIFY(sp1->text(c, 1).isEmpty());
    }

    void updateWritesKeeperAndRemarkOnly()
    {
        Fixture f;
        f.seed({place("財布", 500), place("銀行", 800)});
        f.open();
        Grid *sp2 = f.grid("SP2");
        sp2->setText(4, 2, "");
        sp2->setText(5, 2, " 通帳は'引出し' ");
        StatementRecorder rec;
        sp2->clickButton(6, 2);
        QCOMPARE(f.dialogs.shown, QStringList({"更新します　よろしいですか？", "銀行を更新しました"}));
        QCOMPARE(rec.statements.first(),
            QStringLiteral(
                "UPDATE Hokan_T SET H_name = '', H_memo = ' 通帳は''引出し'' ' WHERE H_index = '銀行'"));
        QCOMPARE(f.dir.rows("SELECT H_index, H_money, H_name, H_memo FROM Hokan_T ORDER BY H_no"),
            QStringList({"財布|500|父|", "銀行|800|| 通帳は'引出し' "}));
    }

    void deleteChecksExpenseItemsFirst()
    {
        Fixture f;
        f.seed({place("財布"), place("銀行"), place("金庫"),
            "INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES ('給与', 'a', '財布', '')",
            "INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES ('利息', 'a', '銀行', '')",
            "INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES ('食費', 'a', '財布', '')",
            // Postings and histories do not keep a place from being deleted.
            "INSERT INTO N VALUES ('x', '金庫', 1, 20030901, '')",
            "INSERT INTO Ktanaorosi_T VALUES ('金庫', 1, 2, 'r', 20030901)"});
        StorageMaster &w = f.open();
        Grid *sp2 = f.grid("SP2");
        sp2->clickButton(7, 1);
        sp2->clickButton(7, 2);
        QCOMPARE(f.dialogs.shown,
            QStringList({"この保管場所名は支出ﾏｽﾀで使用されています 削除できません",
                "この保管場所名は収入ﾏｽﾀで使用されています 削除できません"}));
        f.dialogs.clear();
        StatementRecorder rec;
        sp2->clickButton(7, 3);
        QCOMPARE(f.dialogs.shown, QStringList({"削除します　よろしいですか？", "金庫を削除しました"}));
        QVERIFY(rec.statements.contains("DELETE H_index FROM Hokan_T WHERE (H_index = '金庫')"));
        QCOMPARE(f.dir.rows("SELECT H_index FROM Hokan_T"), QStringList({"財布", "銀行"}));
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM N").toInt(), 1);
        QCOMPARE(sp2->maxRows(), 2);
        QCOMPARE(listEntries(w.findChild<QComboBox *>("cb_hokan")), QStringList({"財布", "銀行"}));
    }

    void renameIssuesTheSelectsAndOnlyTheNeededUpdates()
    {
        Fixture f;
        f.seed({place("財布"), place("銀行"), "INSERT INTO Ktanaorosi_T VALUES ('財布', 1, 2, 'r', 20030901)",
            "INSERT INTO N VALUES ('x', '銀行', 1, 20030901, '')"});
        f.open();
        StatementRecorder rec;
        rename(f, "財布", "ｻｲﾌ");
        QCOMPARE(f.dialogs.shown,
            QStringList({"[財布]を[ｻｲﾌ]に変更し、その他データも変更します。　よろしいですか？",
                "[財布]を[ｻｲﾌ]に変更しました"}));
        QCOMPARE(Fixture::from(rec.statements, "UPDATE Hokan_T"),
            QStringList({
                "UPDATE Hokan_T SET H_index = 'ｻｲﾌ' WHERE H_index = '財布'",
                "SELECT N_hokan FROM N WHERE (N_hokan = '財布')",
                "SELECT S_hokan FROM S WHERE (S_hokan = '財布')",
                "SELECT N_hokan FROM Nyuukin_T WHERE (N_hokan = '財布')",
                "SELECT S_hokan FROM Syukkin_T WHERE (S_hokan = '財布')",
                "SELECT I_hokanmoto FROM Idourireki_T WHERE (I_hokanmoto = '財布')",
                "SELECT I_hokansaki FROM Idourireki_T WHERE (I_hokansaki = '財布')",
                "SELECT Z_hokan FROM Zidourireki_T WHERE (Z_hokan = '財布')",
                "SELECT K_hokan FROM Ktanaorosi_T WHERE (K_hokan = '財布')",
                "UPDATE Ktanaorosi_T SET K_hokan = 'ｻｲﾌ' WHERE K_hokan = '財布'",
                // the side tables, with bound values: what a place deleted long ago left under
                // the new name goes, then the name is carried
                "DELETE FROM X_import_line WHERE XL_hokan = ?",
                "DELETE FROM X_import_batch WHERE XB_hokan = ?",
                "DELETE FROM X_import_rule WHERE XR_hokan = ?",
                "DELETE FROM X_import_place WHERE XA_hokan = ?",
                "DELETE FROM X_import_pattern WHERE XQ_hokan = ?",
                "DELETE FROM X_card WHERE XC_place = ?",
                "DELETE FROM X_card_bill WHERE XCB_place = ?",
                "UPDATE X_import_line SET XL_hokan = ? WHERE XL_hokan = ?",
                "UPDATE X_import_batch SET XB_hokan = ? WHERE XB_hokan = ?",
                "UPDATE X_import_rule SET XR_hokan = ? WHERE XR_hokan = ?",
                "UPDATE X_import_place SET XA_hokan = ? WHERE XA_hokan = ?",
                "UPDATE X_import_pattern SET XQ_hokan = ? WHERE XQ_hokan = ?",
                // the transfers the import's rules, lines and patterns name by the place, out and in
                "UPDATE X_import_rule SET XR_item = ? WHERE XR_item = ?",
                "UPDATE X_import_line SET XL_item = ? WHERE XL_table = 'I' AND XL_item = ?",
                "UPDATE X_import_pattern SET XQ_item = ? WHERE XQ_item = ?",
                "UPDATE X_import_rule SET XR_item = ? WHERE XR_item = ?",
                "UPDATE X_import_line SET XL_item = ? WHERE XL_table = 'I' AND XL_item = ?",
                "UPDATE X_import_pattern SET XQ_item = ? WHERE XQ_item = ?",
                // the cards
                "UPDATE X_card SET XC_place = ? WHERE XC_place = ?",
                "UPDATE X_card SET XC_pay_from = ? WHERE XC_pay_from = ?",
                "UPDATE X_card_bill SET XCB_place = ? WHERE XCB_place = ?",
                // the reload
                "SELECT H_index FROM Hokan_T",
                "SELECT * FROM Hokan_T",
            }));
        QCOMPARE(f.dir.rows("SELECT K_hokan FROM Ktanaorosi_T"), QStringList({"ｻｲﾌ"}));
        QCOMPARE(f.window->findChild<QComboBox *>("cb_hokan")->currentText(), QString());
        QCOMPARE(f.window->findChild<QLineEdit *>("txt_hokan2")->text(), QString());
        QCOMPARE(f.grid("SP2")->text(2, 1), QStringLiteral("ｻｲﾌ"));
    }

    void renameCarriesTheNameIntoEveryTable()
    {
        Fixture f;
        f.seed(EveryTable);
        f.open();
        rename(f, "財布", "Mom's 財布");
        QCOMPARE(namesEverywhere(f.dir),
            QStringList({"Mom's 財布,銀行", "Mom's 財布", "Mom's 財布", "Mom's 財布,銀行", "Mom's 財布",
                "Mom's 財布>銀行,銀行>Mom's 財布", "Mom's 財布", "Mom's 財布"}));
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index = 'Mom''s 財布'").toInt(), 1000);
    }

    void renameRefusesMissingAndTakenNames()
    {
        Fixture f;
        f.seed(EveryTable);
        f.open();
        const QStringList before = namesEverywhere(f.dir);
        StatementRecorder rec;
        rename(f, "財布", "");
        rename(f, "", "金庫");
        QVERIFY(rec.statements.isEmpty());
        // Taking another place's name would merge the two places.
        rename(f, "財布", "銀行");
        QCOMPARE(f.dialogs.shown,
            QStringList(
                {"全ての値が入力されていない為処理できません", "全ての値が入力されていない為処理できません",
                    "この保管場所名は既に使用されています 変更できません"}));
        QVERIFY(f.dialogs.asked.isEmpty());
        QCOMPARE(namesEverywhere(f.dir), before);
        QVERIFY(!rec.statements.join('\n').contains("UPDATE"));
    }

    // A rename reaches the side tables (cards and their bills, the import's batches, lines, rules,
    // patterns and remembered accounts, transfers named by the place), and taking it back puts
    // every table back as it was.
    void renameReachesTheSideTablesAndIsTakenBackWhole()
    {
        Fixture f;
        f.seed(EveryTable
            + QStringList {place("カード", -3000),
                "INSERT INTO X_card VALUES ('カード', 15, 10, '財布', 100000)",
                "INSERT INTO X_card_bill (XCB_place,XCB_payment_date,XCB_total,XCB_batch) VALUES "
                "('カード', 20031010, 3000, 1)",
                "INSERT INTO X_import_batch (XB_hokan, XB_count) VALUES ('財布', 1)",
                "INSERT INTO X_import_line (XL_batch, XL_hokan, XL_key, XL_item, XL_table) VALUES "
                "(1, '財布', 'k', '給与', 'N'), (1, '銀行', 'k2', '→ 財布', 'I')",
                "INSERT INTO X_import_rule VALUES ('財布', 'N', 'ｷｭｳﾖ', '給与'), ('銀行', 'S', 'ｻｲﾌ', '→ "
                "財布')",
                "INSERT INTO X_import_pattern VALUES ('財布', 'S', 'P', 'ｶｰﾄﾞ', '→ カード'),"
                "('銀行', 'N', 'C', 'ｻｲﾌ', '← 財布')",
                "INSERT INTO X_import_place VALUES ('p', '1', '財布')",
                "INSERT INTO X_schedule VALUES ('N', '給与', 25, 4095, 'P', 'L', 0)",
                "INSERT INTO X_budget_year VALUES (2003, 'N', 'I')",
                "INSERT INTO X_budget_row (XZ_year, XZ_side, XZ_name, XZ_m01) VALUES (2003, 'N', '給与', "
                "300)"});
        const QStringList tables = ledgerTables()
            + QStringList {"X_card", "X_card_bill", "X_import_batch", "X_import_line", "X_import_rule",
                "X_import_pattern", "X_import_place", "X_schedule", "X_budget_year", "X_budget_row"};
        const QStringList before = ledgerDump(f.dir.dbPath(), tables);
        f.open();
        // A place renamed to its own name keeps its card, bills and import records.
        rename(f, "財布", "財布");
        QCOMPARE(ledgerDump(f.dir.dbPath(), tables), before);
        rename(f, "財布", "ｻｲﾌ");
        QCOMPARE(
            f.dialogs.infos, QStringList({"[財布]を[財布]に変更しました", "[財布]を[ｻｲﾌ]に変更しました"}));
        QCOMPARE(
            f.dir.rows("SELECT XC_place || '>' || XC_pay_from FROM X_card"), QStringList({"カード>ｻｲﾌ"}));
        QCOMPARE(f.dir.rows("SELECT XB_hokan FROM X_import_batch"), QStringList({"ｻｲﾌ"}));
        QCOMPARE(f.dir.rows("SELECT XL_hokan || ':' || XL_item FROM X_import_line ORDER BY XL_key"),
            QStringList({"ｻｲﾌ:給与", "銀行:→ ｻｲﾌ"}));
        QCOMPARE(f.dir.rows("SELECT XR_hokan || ':' || XR_item FROM X_import_rule ORDER BY XR_key"),
            QStringList({"ｻｲﾌ:給与", "銀行:→ ｻｲﾌ"}));
        QCOMPARE(f.dir.rows("SELECT XQ_hokan || ':' || XQ_item FROM X_import_pattern ORDER BY XQ_key"),
            QStringList({"ｻｲﾌ:→ カード", "銀行:← ｻｲﾌ"}));
        QCOMPARE(f.dir.rows("SELECT XA_hokan FROM X_import_place"), QStringList({"ｻｲﾌ"}));
        QVERIFY(ledgerDump(f.dir.dbPath(), tables) != before);

        qint64 newest = 0;
        {
            Database db(f.dir.dbPath());
            newest = ActionHistory::recent(db, 1).value(0).no;
        }
        const ActionHistory::Outcome undone = ActionHistory::takeBackFrom(
            f.dir.dbPath(), newest, QStringLiteral("F_undo"), QDateTime::currentDateTime(), 1);
        QVERIFY2(undone.done, qPrintable(undone.refusal));
        QCOMPARE(ledgerDump(f.dir.dbPath(), tables), before);
    }

    // A ledger the program has not extended (its first extension declined) has no import
    // tables: renaming and deleting a place work there as before.
    void renameAndDeleteWithoutTheImportTables()
    {
        Fixture f;
        f.seed(EveryTable);
        dropToVersionZero(f.dir);
        f.open();
        rename(f, "財布", "ｻｲﾌ");
        QCOMPARE(f.dialogs.infos, QStringList({"[財布]を[ｻｲﾌ]に変更しました"}));
        f.seed({place("金庫")});
        f.window->load();
        f.grid("SP2")->clickButton(7, 3);
        QCOMPARE(f.dialogs.infos.last(), QStringLiteral("金庫を削除しました"));
        QCOMPARE(f.dir.rows("SELECT H_index FROM Hokan_T"), QStringList({"ｻｲﾌ", "銀行"}));
    }

    void renameFailingHalfWayChangesNothing()
    {
        Fixture f;
        f.seed(EveryTable);
        f.open();
        const QStringList before = namesEverywhere(f.dir);
        StatementRecorder rec;
        rec.failOn = "UPDATE Idourireki_T SET I_hokansaki";
        rename(f, "財布", "ｻｲﾌ");
        QCOMPARE(f.dialogs.infos, QStringList({"DB接続失敗"}));
        QCOMPARE(namesEverywhere(f.dir), before);
        // The window keeps what was typed, so the rename can be tried again.
        QCOMPARE(f.window->findChild<QLineEdit *>("txt_hokan2")->text(), QStringLiteral("ｻｲﾌ"));
        f.window->findChild<QPushButton *>("cmd_henkou")->click();
        QCOMPARE(f.dir.rows("SELECT I_hokanmoto || '>' || I_hokansaki FROM Idourireki_T ORDER BY I_day"),
            QStringList({"ｻｲﾌ>銀行", "銀行>ｻｲﾌ"}));
    }

    void servesMoreThan99Places()
    {
        Fixture f;
        QStringList seed;
        for (int i = 1; i <= 150; ++i)
            seed << place(QStringLiteral("場所%1").arg(i), i);
        f.seed(seed);
        StorageMaster &w = f.open();
        Grid *sp2 = f.grid("SP2");
        QCOMPARE(sp2->maxRows(), 150);
        QCOMPARE(w.findChild<QComboBox *>("cb_hokan")->count(), 150);
        sp2->setText(5, 140, "奥");
        sp2->clickButton(6, 140);
        QCOMPARE(f.dir.scalar("SELECT H_memo FROM Hokan_T WHERE H_index = '場所140'").toString(),
            QStringLiteral("奥"));
        sp2->clickButton(7, 150);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM Hokan_T").toInt(), 149);
        QCOMPARE(sp2->maxRows(), 149);
    }

    void missingLedgerReportsOnce()
    {
        Fixture f;
        QVERIFY(QFile::remove(f.dir.dbPath()));
        f.open();
        QCOMPARE(f.dialogs.shown, QStringList({"DB接続失敗"}));
        QVERIFY(!QFile::exists(f.dir.dbPath()));
    }
};

QTEST_MAIN(TestStorageMaster)
#include "tst_storagemaster.moc"
