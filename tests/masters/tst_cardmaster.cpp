// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardMaster.h"
#include "MasterFixture.h"
#include "StorageMaster.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The card settings: registering a place as a card, changing and deleting it, and the storage
// master carrying a place's rename or deletion into them.
class TestCardMaster : public QObject
{
    Q_OBJECT

    using Fixture = MasterFixture<CardMaster>;
    static constexpr int Cols = CardMaster::ColCount;

    // Places by position: 0 財布, 1 銀行, 2 カードA, 3 カードB.
    static void seed(Fixture &f)
    {
        f.seed(
            {"INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',0,'',''),('銀行',0,'',''),"
             "('カードA',-300,'',''),('カードB',0,'','')",
                "INSERT INTO X_card VALUES ('カードA', 15, 10, '銀行', 100000)",
                "INSERT INTO X_card_bill (XCB_place,XCB_payment_date,XCB_total,XCB_batch) VALUES "
                "('カードA',20260510,300,1)"});
    }
    static void fill(Grid *g, int row, const QStringList &cells)
    {
        for (int c = 0; c < cells.size(); ++c)
            g->setText(c + 1, row, cells.at(c));
    }
    static QStringList cards(const Fixture &f)
    {
        return f.dir.rows(
            "SELECT XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit FROM X_card ORDER BY 1");
    }

private slots:
    void listsTheCardsWithARowToRegister()
    {
        Fixture f;
        seed(f);
        f.open();
        Grid *g = f.grid("SP");
        QCOMPARE(g->maxRows(), 2);
        QStringList row;
        for (int c = 1; c <= CardMaster::ColLimit; ++c)
            row << g->text(c, 1);
        QCOMPARE(row, QStringList({"2", "15", "10", "1", "100000"}));
        QVERIFY(g->isCellLocked(CardMaster::ColPlace, 1));
        QCOMPARE(g->cellKind(CardMaster::ColDelete, 2), Grid::Kind::Text);
        QCOMPARE(
            g->choiceEntries(CardMaster::ColPayFrom, 2), QStringList({"財布", "銀行", "カードA", "カードB"}));
    }

    void registerChecksEveryValue_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no place") << QStringList {"", "31", "27", "1", "50000"} << "保管場所を選択して下さい";
        QTest::newRow("no closing day")
            << QStringList {"3", "", "27", "1", "50000"} << "締め日は1～31で入力して下さい";
        QTest::newRow("closing day 32")
            << QStringList {"3", "32", "27", "1", "50000"} << "締め日は1～31で入力して下さい";
        QTest::newRow("payment day 0")
            << QStringList {"3", "31", "0", "1", "50000"} << "支払日は1～31で入力して下さい";
        QTest::newRow("no paying place")
            << QStringList {"3", "31", "27", "", "50000"} << "引落口座を選択して下さい";
        QTest::newRow("paid from itself")
            << QStringList {"3", "31", "27", "3", "50000"} << "引落口座にカード自身は選べません";
        QTest::newRow("paid from a card")
            << QStringList {"3", "31", "27", "2", "50000"} << "引落口座にカードは選べません";
        QTest::newRow("no limit") << QStringList {"3", "31", "27", "1", ""} << "利用限度額を入力して下さい";
        QTest::newRow("a card already") << QStringList {"2", "31", "27", "1", "50000"}
                                        << "この保管場所は既にカードとして登録されています";
        QTest::newRow("a place that pays a card") << QStringList {"1", "31", "27", "0",
            "50000"} << "この保管場所はカード「カードA」の引落口座です カードとして登録できません";
        QTest::newRow("registered") << QStringList {"3", "31", "27", "1", "50000"} << "";
    }
    void registerChecksEveryValue()
    {
        QFETCH(QStringList, cells);
        QFETCH(QString, refusal);
        Fixture f;
        seed(f);
        f.open();
        Grid *g = f.grid("SP");
        fill(g, 2, cells);
        g->clickButton(CardMaster::ColSave, 2);
        if (!refusal.isEmpty()) {
            QCOMPARE(f.dialogs.shown, QStringList {refusal});
            QCOMPARE(cards(f), QStringList {"カードA|15|10|銀行|100000"});
            return;
        }
        QCOMPARE(f.dialogs.shown, QStringList({"登録します　よろしいですか？", "登録完了しました"}));
        QCOMPARE(cards(f), QStringList({"カードA|15|10|銀行|100000", "カードB|31|27|銀行|50000"}));
        QCOMPARE(g->maxRows(), 3);
    }

    void updateAndDelete()
    {
        Fixture f;
        seed(f);
        f.open();
        Grid *g = f.grid("SP");
        fill(g, 1, {"2", "31", "27", "0", "200000"});
        g->clickButton(CardMaster::ColSave, 1);
        QCOMPARE(f.dialogs.shown, QStringList({"更新します　よろしいですか？", "カードAを更新しました"}));
        QCOMPARE(cards(f), QStringList {"カードA|31|27|財布|200000"});
        f.dialogs.clear();
        f.dialogs.answers = {false};
        g->clickButton(CardMaster::ColDelete, 1);
        QCOMPARE(cards(f).size(), 1);
        g->clickButton(CardMaster::ColDelete, 1);
        QCOMPARE(f.dialogs.infos, QStringList {"カードAを削除しました"});
        QVERIFY(cards(f).isEmpty());
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_card_bill").toInt(), 0);
        // The place itself stays, with what it owes.
        QCOMPARE(f.dir.scalar("SELECT H_money FROM Hokan_T WHERE H_index = 'カードA'").toInt(), -300);
        QCOMPARE(g->maxRows(), 1);
    }

    // Renaming the card or its paying place in the storage master carries into the card tables;
    // deleting the card forgets it; the paying place cannot be deleted while it pays.
    void storageMasterCarriesRenamesAndDeletions()
    {
        MasterFixture<StorageMaster> f;
        f.seed({"INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES "
                "('銀行',0,'',''),('カードA',0,'','')",
            "INSERT INTO X_card VALUES ('カードA', 15, 10, '銀行', 100000)",
            "INSERT INTO X_card_bill (XCB_place,XCB_payment_date,XCB_total,XCB_batch) VALUES "
            "('カードA',20260510,300,1)"});
        StorageMaster &w = f.open();
        const auto rename = [&](const QString &from, const QString &to) {
            w.findChild<QComboBox *>("cb_hokan")->setEditText(from);
            w.findChild<QLineEdit *>("txt_hokan2")->setText(to);
            w.findChild<QPushButton *>("cmd_henkou")->click();
        };
        rename("カードA", "楽天");
        rename("銀行", "ゆうちょ");
        QCOMPARE(f.dir.rows("SELECT XC_place,XC_pay_from FROM X_card"), QStringList {"楽天|ゆうちょ"});
        QCOMPARE(f.dir.rows("SELECT XCB_place FROM X_card_bill"), QStringList {"楽天"});
        f.dialogs.clear();
        Grid *sp2 = f.grid("SP2");
        sp2->clickButton(7, 1); // ゆうちょ
        QCOMPARE(f.dialogs.shown,
            QStringList {"この保管場所名はカード「楽天」の引落口座で使用されています 削除できません"});
        f.dialogs.clear();
        sp2->clickButton(7, 2); // 楽天
        QCOMPARE(f.dialogs.infos, QStringList {"楽天を削除しました"});
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_card").toInt(), 0);
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM X_card_bill").toInt(), 0);
    }
};

QTEST_MAIN(TestCardMaster)
#include "tst_cardmaster.moc"
