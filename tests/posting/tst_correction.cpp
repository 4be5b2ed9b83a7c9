// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"
#include "Database.h"
#include "LedgerCheck.h"
#include "PostingChange.h"
#include "TestSupport.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Changing and deleting postings after the fact: balances moved by the difference, a
// stocktake's balance-before taking the difference of what it counted, overdrafts refused,
// the ledger consistent afterwards and the action taken back whole.
class TestCorrection : public QObject
{
    Q_OBJECT

private:
    // 銀行 75000 and 財布 15500, with a stocktake of 財布 on 2024-01-25.
    static void fill(const TempAppDir &dir)
    {
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',75000,'',''),"
                 "('財布',15500,'','')");
        dir.exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "
                 "('給与','銀行',100000,20240110,'')");
        dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                 "('食費','財布',3000,20240115,'昼'),('携帯','銀行',5000,20240120,'自動引落処理'),"
                 "('食費','財布',1000,20240128,'夜')");
        dir.exec("INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES "
                 "('携帯','銀行',4000,20231220),('携帯','銀行',5000,20240120)");
        dir.exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                 "('銀行','財布',20000,20240112,'')");
        dir.exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                 "('財布',17000,16500,'',20240125)");
    }

    // Plans and applies one correction as one action; returns the plan.
    static PostingChange::Plan correct(const TempAppDir &dir, const QString &table, qint64 rowid,
        const std::function<void(PostingChange::Values &)> &edit)
    {
        Database db(dir.dbPath());
        db.beginAction(u"F_kensaku"_s, u"修正"_s, QDateTime(QDate(2024, 2, 1), QTime(9, 0)));
        const std::optional<PostingChange::Row> row = PostingChange::read(db, table, rowid);
        if (!row)
            qFatal("no row");
        std::optional<PostingChange::Values> values;
        if (edit) {
            values = row->values;
            edit(*values);
        }
        const PostingChange::Plan plan = PostingChange::plan(db, *row, values);
        if (plan.refusal.isEmpty()) {
            PostingChange::apply(db, *row, values, plan);
            db.commit();
        }
        return plan;
    }

private slots:
    void correctionsKeepTheLedgerTrue_data()
    {
        using Edit = std::function<void(PostingChange::Values &)>;
        QTest::addColumn<QString>("table");
        QTest::addColumn<qint64>("rowid");
        QTest::addColumn<Edit>("edit"); // empty: delete
        QTest::addColumn<int>("bank");
        QTest::addColumn<int>("wallet");
        QTest::addColumn<int>("counted"); // the stocktake's balance-before
        QTest::addColumn<int>("stocktakeDay");
        QTest::addColumn<bool>("refused");
        QTest::newRow("delete income: overdraft")
            << "N" << 1LL << Edit() << 75000 << 15500 << 17000 << 0 << true;
        QTest::newRow("delete expense before stocktake")
            << "S" << 1LL << Edit() << 75000 << 15500 << 20000 << 20240125 << false;
        QTest::newRow("delete expense after stocktake")
            << "S" << 3LL << Edit() << 75000 << 16500 << 17000 << 0 << false;
        QTest::newRow("delete debit") << "S" << 2LL << Edit() << 80000 << 15500 << 17000 << 0 << false;
        QTest::newRow("delete transfer across a stocktake")
            << "Idourireki_T" << 1LL << Edit() << 95000 << 15500 << -3000 << 20240125 << false;
        QTest::newRow("expense raised")
            << "S" << 3LL << Edit([](auto &v) { v.money = 2500; }) << 75000 << 14000 << 17000 << 0 << false;
        QTest::newRow("expense raised: overdraft")
            << "S" << 3LL << Edit([](auto &v) { v.money = 20000; }) << 75000 << 15500 << 17000 << 0 << true;
        QTest::newRow("expense moved past the stocktake")
            << "S" << 1LL << Edit([](auto &v) { v.date = 20240126; }) << 75000 << 12500 << 20000 << 20240125
            << false;
        // A stocktake stands before the movements of its own day: moving a later expense onto
        // that day moves nothing.
        QTest::newRow("expense moved onto the stocktake's day")
            << "S" << 3LL << Edit([](auto &v) { v.date = 20240125; }) << 75000 << 15500 << 17000 << 0
            << false;
        QTest::newRow("transfer lowered") << "Idourireki_T" << 1LL << Edit([](auto &v) { v.money = 10000; })
                                          << 85000 << 15500 << 7000 << 20240125 << false;
        QTest::newRow("transfer to the other way round")
            << "Idourireki_T" << 1LL << Edit([](auto &v) { std::swap(v.place, v.place2); }) << 115000 << 15500
            << -23000 << 20240125 << false;
        QTest::newRow("debit raised")
            << "S" << 2LL << Edit([](auto &v) { v.money = 6000; }) << 74000 << 15500 << 17000 << 0 << false;
        QTest::newRow("income redated, same place") << "N" << 1LL << Edit([](auto &v) { v.date = 20240111; })
                                                    << 75000 << 15500 << 17000 << 0 << false;
        QTest::newRow("memo only") << "S" << 1LL << Edit([](auto &v) { v.memo = u"朝'%1"_s; }) << 75000
                                   << 15500 << 17000 << 0 << false;
    }
    void correctionsKeepTheLedgerTrue()
    {
        using Edit = std::function<void(PostingChange::Values &)>;
        QFETCH(QString, table);
        QFETCH(qint64, rowid);
        QFETCH(Edit, edit);
        QFETCH(int, bank);
        QFETCH(int, wallet);
        QFETCH(int, counted);
        QFETCH(int, stocktakeDay);
        QFETCH(bool, refused);
        TempAppDir dir;
        fill(dir);
        const LedgerCheck::Result before = LedgerCheck::check(dir.dbPath());
        QVERIFY2(before.ok(), qPrintable(before.problems.join(u'\n')));
        const QStringList original = ledgerDump(dir.dbPath());

        const PostingChange::Plan plan = correct(dir, table, rowid, edit);
        QCOMPARE(!plan.refusal.isEmpty(), refused);
        QCOMPARE(plan.stocktakeDay, stocktakeDay);
        QCOMPARE(dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='銀行'").toInt(), bank);
        QCOMPARE(dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='財布'").toInt(), wallet);
        QCOMPARE(dir.scalar("SELECT K_bmoney FROM Ktanaorosi_T").toInt(), counted);
        const LedgerCheck::Result after = LedgerCheck::check(dir.dbPath());
        QVERIFY2(after.ok(), qPrintable(after.problems.join(u'\n')));
        if (refused) {
            QCOMPARE(ledgerDump(dir.dbPath()), original);
            return;
        }
        // A debit's history row goes with its S row; the older debit stays.
        QCOMPARE(dir.scalar("SELECT count(*) FROM Zidourireki_T").toInt()
                + dir.scalar("SELECT count(*) FROM S").toInt(),
            edit || table != u"S" ? 5 : (rowid == 2 ? 3 : 4));
        QCOMPARE(dir.rows("SELECT S_money || '|' || S_date FROM S WHERE S_index='携帯'"),
            dir.rows("SELECT Z_money || '|' || Z_beforeday FROM Zidourireki_T WHERE Z_beforeday > 20240101"));

        // Taken back through the history, the ledger is as it was.
        qint64 last = 0;
        {
            Database db(dir.dbPath());
            const QList<ActionHistory::Entry> entries = ActionHistory::recent(db, 1);
            QCOMPARE(entries.size(), 1);
            last = entries.at(0).no;
        }
        const ActionHistory::Outcome out = ActionHistory::takeBackFrom(
            dir.dbPath(), last, u"F_undo"_s, QDateTime(QDate(2024, 2, 1), QTime(9, 1)), 1);
        QVERIFY2(out.done, qPrintable(out.refusal));
        QCOMPARE(ledgerDump(dir.dbPath()), original);
    }

    void placeDeletedSinceIsRefusedClearly_data()
    {
        using Edit = std::function<void(PostingChange::Values &)>;
        QTest::addColumn<qint64>("rowid");
        QTest::addColumn<Edit>("edit"); // empty: delete
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("counted");
        QTest::newRow("delete") << 3LL << Edit() << true << 17000;
        QTest::newRow("amount") << 3LL << Edit([](auto &v) { v.money = 2000; }) << true << 17000;
        QTest::newRow("date moved before the stocktake")
            << 3LL << Edit([](auto &v) { v.date = 20240120; }) << true << 17000;
        // Nothing to move: the memo changes.
        QTest::newRow("memo") << 3LL << Edit([](auto &v) { v.memo = u"朝"_s; }) << false << 17000;
        // The stocktake counted the money: its balance-before takes the difference.
        QTest::newRow("delete before the stocktake") << 1LL << Edit() << false << 20000;
    }
    void placeDeletedSinceIsRefusedClearly()
    {
        using Edit = std::function<void(PostingChange::Values &)>;
        QFETCH(qint64, rowid);
        QFETCH(Edit, edit);
        QFETCH(bool, refused);
        QFETCH(int, counted);
        TempAppDir dir;
        fill(dir);
        dir.exec("DELETE FROM Hokan_T WHERE H_index = '財布'");
        const QStringList original = ledgerDump(dir.dbPath());
        const PostingChange::Plan plan = correct(dir, u"S"_s, rowid, edit);
        QCOMPARE(plan.refusal, refused ? u"保管場所財布がありません"_s : QString());
        if (refused)
            QCOMPARE(ledgerDump(dir.dbPath()), original);
        else
            QVERIFY(ledgerDump(dir.dbPath()) != original);
        QCOMPARE(dir.scalar("SELECT K_bmoney FROM Ktanaorosi_T").toInt(), counted);
        QCOMPARE(dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='銀行'").toInt(), 75000);
    }

    // A card owes: a correction may take it down to minus its limit, as a posting may. The bank
    // counted on the day of its payment to the card: the payment, of that same day, comes after
    // the count, so deleting it moves the bank's balance of today and leaves the count alone.
    void cardCorrectionsKeepToTheLimit_data()
    {
        using Edit = std::function<void(PostingChange::Values &)>;
        QTest::addColumn<QString>("table");
        QTest::addColumn<qint64>("rowid");
        QTest::addColumn<Edit>("edit"); // empty: delete
        QTest::addColumn<int>("card");
        QTest::addColumn<int>("bank");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("purchase raised")
            << u"S"_s << 1LL << Edit([](auto &v) { v.money = 26000; }) << -15500 << 40000 << QString();
        QTest::newRow("refund deleted") << u"S"_s << 2LL << Edit() << -15500 << 40000 << QString();
        QTest::newRow("refund's memo")
            << u"S"_s << 2LL << Edit([](auto &v) { v.memo = u"返品"_s; }) << -15000 << 40000 << QString();
        QTest::newRow("payment deleted")
            << u"Idourireki_T"_s << 1LL << Edit() << -25000 << 50000 << QString();
        QTest::newRow("purchase past the limit")
            << u"S"_s << 1LL << Edit([](auto &v) { v.money = 311000; }) << -15000 << 40000
            << u"カードの利用可能額 \\285000しかありません"_s;
    }
    void cardCorrectionsKeepToTheLimit()
    {
        using Edit = std::function<void(PostingChange::Values &)>;
        QFETCH(QString, table);
        QFETCH(qint64, rowid);
        QFETCH(Edit, edit);
        QFETCH(int, card);
        QFETCH(int, bank);
        QFETCH(QString, refusal);
        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',40000,'',''),"
                 "('カード',-15000,'','')");
        dir.exec("INSERT INTO X_card (XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit) VALUES "
                 "('カード',15,27,'銀行',300000)");
        dir.exec(
            "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与','銀行',50000,20240105,'')");
        dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                 "('買物','カード',25500,20240110,''),('買物','カード',-500,20240112,'')");
        dir.exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                 "('銀行','カード',10000,20240127,'')");
        dir.exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                 "('銀行',50000,50000,'',20240127)");
        const QStringList original = ledgerDump(dir.dbPath());
        const PostingChange::Plan plan = correct(dir, table, rowid, edit);
        QCOMPARE(plan.refusal, refusal);
        QCOMPARE(plan.stocktakeDay, 0);
        QCOMPARE(dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='カード'").toInt(), card);
        QCOMPARE(dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index='銀行'").toInt(), bank);
        QCOMPARE(dir.scalar("SELECT K_bmoney FROM Ktanaorosi_T").toInt(), 50000);
        if (!refusal.isEmpty())
            QCOMPARE(ledgerDump(dir.dbPath()), original);
        const LedgerCheck::Result after = LedgerCheck::check(dir.dbPath());
        QVERIFY2(after.ok(), qPrintable(after.problems.join(u'\n')));
    }

    void goneRowIsNotRead()
    {
        TempAppDir dir;
        fill(dir);
        Database db(dir.dbPath());
        QVERIFY(!PostingChange::read(db, u"S"_s, 99));
        QVERIFY(!PostingChange::read(db, u"Ktanaorosi_T"_s, 1));
        const std::optional<PostingChange::Row> debit = PostingChange::read(db, u"S"_s, 2);
        QVERIFY(debit && debit->debit);
        QVERIFY(!PostingChange::read(db, u"S"_s, 1)->debit);
    }
};

QTEST_GUILESS_MAIN(TestCorrection)
#include "tst_correction.moc"
