#include "ActionHistory.h"
#include "Database.h"
#include "Migrations.h"
#include "PostingSearch.h"
#include "SearchText.h"
#include "TestSupport.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The search over every posting: the folding of widths and kana, the copy kept by triggers,
// and the conditions, order, limit and totals.
class TestPostingSearch : public QObject
{
    Q_OBJECT

private:
    // Two places, items in two categories, and one row of each kind.
    static void fill(const TempAppDir &dir)
    {
        dir.exec(
            "INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',0,'',''),('財布',0,'','')");
        dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','収入','銀行','')");
        dir.exec(
            "INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('ガス代','光熱費','銀行',''),"
            "('電気代','光熱費','銀行',''),('ABCストア','食費','財布',''),('携帯','自動','銀行','')");
        dir.exec(
            "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与','銀行',300000,20240125,'"
            "１月分')");
        dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                 "('ガス代','銀行',4200,20240110,'ﾄｳｷｮｳｶﾞｽ'),"
                 "('電気代','銀行',6100,20240112,'でんき 12月分'),"
                 "('ABCストア','財布',1980,20240115,''),"
                 "('携帯','銀行',5000,20240127,'自動引落処理')");
        dir.exec("INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES "
                 "('携帯','銀行',5000,20240127)");
        dir.exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                 "('銀行','財布',20000,20240120,'おろした')");
        dir.exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                 "('財布',18020,18000,'数え間違い',20240131)");
    }

    // The items of the hits, in their order; a transfer as its places, a stocktake as its reason.
    static QStringList found(const TempAppDir &dir, const PostingSearch::Conditions &cond)
    {
        QStringList out;
        for (const PostingSearch::Hit &h : PostingSearch::search(dir.dbPath(), cond).hits)
            out << (h.item.isEmpty() ? h.place + u'/' + h.memo : h.item);
        return out;
    }

private slots:
    void foldsWidthCaseAndKana_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("half-width katakana with voiced mark") << "ｶﾞｽ"
                                                              << "ガス";
        QTest::newRow("semi-voiced mark") << "ﾊﾟﾝ"
                                          << "パン";
        QTest::newRow("full-width letters") << "ＡＢＣ"
                                            << "abc";
        QTest::newRow("letter case") << "AbC"
                                     << "abc";
        QTest::newRow("full-width digits") << "１２"
                                           << "12";
        QTest::newRow("hiragana") << "でんき"
                                  << "デンキ";
        QTest::newRow("hiragana small and long") << "ちょこれーと"
                                                 << "チョコレート";
        QTest::newRow("iteration mark") << "ゝ"
                                        << "ヽ";
        QTest::newRow("kanji unchanged") << "電気"
                                         << "電気";
    }
    void foldsWidthCaseAndKana()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(SearchText::fold(typed), SearchText::fold(stored));
        QCOMPARE(SearchText::fold(typed), SearchText::fold(SearchText::fold(typed)));
    }

    void wordsSplitAtEitherWidthOfSpace()
    {
        QCOMPARE(SearchText::words(u"  ガス　電気  ｄ "_s), QStringList({"ガス", "電気", "d"}));
        QVERIFY(SearchText::words(u"　 "_s).isEmpty());
    }

    void findsByWords_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("half-width memo by full-width word") << "ガス" << QStringList {"ガス代"};
        QTest::newRow("half-width word") << "ｶﾞｽ" << QStringList {"ガス代"};
        QTest::newRow("hiragana memo by katakana") << "デンキ" << QStringList {"電気代"};
        QTest::newRow("full-width letters") << "ａｂｃ" << QStringList {"ABCストア"};
        QTest::newRow("full-width digits in memo") << "１２" << QStringList {"電気代"};
        QTest::newRow("half-width digits find full-width") << "1月" << QStringList {"給与"};
        QTest::newRow("two-character word") << "電気" << QStringList {"電気代"};
        QTest::newRow("one character") << "代" << QStringList {"電気代", "ガス代"};
        QTest::newRow("category") << "光熱" << QStringList {"電気代", "ガス代"};
        QTest::newRow("words combined with AND") << "光熱 でんき" << QStringList {"電気代"};
        QTest::newRow("debit by its memo") << "自動引落" << QStringList {"携帯"};
        QTest::newRow("transfer by its source") << "銀行 おろした" << QStringList {"銀行→財布/おろした"};
        QTest::newRow("transfer by its destination") << "財布 おろした" << QStringList {"銀行→財布/おろした"};
        QTest::newRow("stocktake by its reason, kanji") << "間違" << QStringList {"財布/数え間違い"};
        QTest::newRow("no word matches") << "水道" << QStringList {};
        QTest::newRow("quote in the word") << "ガ'ス" << QStringList {};
        QTest::newRow("LIKE wildcards are data") << "%" << QStringList {};
    }
    void findsByWords()
    {
        QFETCH(QString, words);
        QFETCH(QStringList, items);
        TempAppDir dir;
        fill(dir);
        PostingSearch::Conditions cond;
        cond.words = words;
        QCOMPARE(found(dir, cond), items);
    }

    void conditionsCombine()
    {
        TempAppDir dir;
        fill(dir);
        PostingSearch::Conditions cond;
        QCOMPARE(found(dir, cond),
            QStringList(
                {"財布/数え間違い", "携帯", "給与", "銀行→財布/おろした", "ABCストア", "電気代", "ガス代"}));
        cond.from = 20240112;
        cond.to = 20240125;
        QCOMPARE(found(dir, cond), QStringList({"給与", "銀行→財布/おろした", "ABCストア", "電気代"}));
        cond.min = 2000;
        cond.max = 20000;
        QCOMPARE(found(dir, cond), QStringList({"銀行→財布/おろした", "電気代"}));
        cond.hokan = u"財布"_s;
        QCOMPARE(found(dir, cond), QStringList({"銀行→財布/おろした"}));
        cond = {};
        cond.hokan = u"財布"_s;
        QCOMPARE(found(dir, cond), QStringList({"財布/数え間違い", "銀行→財布/おろした", "ABCストア"}));
        cond = {};
        cond.kinds = {u'Z', u'K'};
        QCOMPARE(found(dir, cond), QStringList({"財布/数え間違い", "携帯"}));
        cond.kinds = {u'S'};
        QCOMPARE(found(dir, cond), QStringList({"ABCストア", "電気代", "ガス代"}));
        cond.kinds = {};
        QVERIFY(found(dir, cond).isEmpty());
    }

    void totalsAndLimit()
    {
        TempAppDir dir;
        fill(dir);
        PostingSearch::Conditions cond;
        PostingSearch::Result r = PostingSearch::search(dir.dbPath(), cond, 3);
        QCOMPARE(r.hits.size(), 3);
        QCOMPARE(r.count, 7);
        QCOMPARE(r.more(), 4);
        QCOMPARE(r.income, 300000);
        QCOMPARE(r.expense, 4200 + 6100 + 1980 + 5000);
        QCOMPARE(r.hits.at(0).kind, QChar(u'K'));
        QCOMPARE(r.hits.at(0).money, -20);
        QCOMPARE(r.hits.at(1).kind, QChar(u'Z'));
        QCOMPARE(r.hits.at(1).kubun, u"自動"_s);
        QCOMPARE(PostingSearch::kindName(r.hits.at(1).kind), u"自動引落"_s);
        cond.words = u"ガス"_s;
        r = PostingSearch::search(dir.dbPath(), cond);
        QCOMPARE(r.count, 1);
        QCOMPARE(r.income, 0);
        QCOMPARE(r.expense, 4200);
    }

    void copyFollowsEveryWriter()
    {
        TempAppDir dir;
        fill(dir);
        PostingSearch::Conditions cond;
        cond.words = u"トウキョウ"_s;
        QCOMPARE(found(dir, cond), QStringList({"ガス代"}));
        // Changes made by statements outside the program are followed too.
        dir.exec("UPDATE S SET S_memo = 'ﾃﾞﾝｷ' WHERE S_index = 'ガス代'");
        QVERIFY(found(dir, cond).isEmpty());
        cond.words = u"でんき"_s;
        QCOMPARE(found(dir, cond), QStringList({"電気代", "ガス代"}));
        dir.exec("DELETE FROM S WHERE S_index = '電気代'");
        QCOMPARE(found(dir, cond), QStringList({"ガス代"}));
        QCOMPARE(dir.scalar("SELECT count(*) FROM X_meisai").toInt(), 6);
        dir.exec("UPDATE S SET S_memo = '' WHERE S_index = '携帯'");
        cond = {};
        cond.kinds = {u'Z'};
        QVERIFY(found(dir, cond).isEmpty());
    }

    void takingBackKeepsTheCopyRight()
    {
        TempAppDir dir;
        fill(dir);
        {
            Database db(dir.dbPath());
            db.beginAction(u"F_test"_s, u"削除"_s, QDateTime::currentDateTime());
            db.execute(u"DELETE FROM S WHERE S_index = 'ガス代'"_s);
            db.commit();
        }
        PostingSearch::Conditions cond;
        cond.words = u"ｶﾞｽ"_s;
        QVERIFY(found(dir, cond).isEmpty());
        qint64 last = 0;
        {
            Database db(dir.dbPath());
            last = ActionHistory::recent(db, 1).at(0).no;
        }
        const ActionHistory::Outcome out
            = ActionHistory::takeBackFrom(dir.dbPath(), last, u"F_undo"_s, QDateTime::currentDateTime(), 1);
        QVERIFY2(out.done, qPrintable(out.refusal));
        QCOMPARE(found(dir, cond), QStringList({"ガス代"}));
    }

    void migrationFillsAnExistingLedger()
    {
        TempAppDir dir;
        fill(dir);
        dropToVersionZero(dir);
        dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                 "('ガス代','銀行',10,20240201,'ｶﾞｽ')");
        QCOMPARE(Migrations::migrate(dir.dbPath()), Migrations::Outcome::Migrated);
        QCOMPARE(dir.scalar("SELECT count(*) FROM X_meisai").toInt(), 8);
        QCOMPARE(dir.scalar("SELECT count(*) FROM X_meisai WHERE XM_norm IS NULL").toInt(), 0);
        PostingSearch::Conditions cond;
        cond.words = u"がす"_s;
        Database db(dir.dbPath());
        QCOMPARE(PostingSearch::search(db, cond).count, 2);
    }

    void pendingRowsAreFoldedInBatches()
    {
        TempAppDir dir;
        dir.exec("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 45000) "
                 "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) "
                 "SELECT 'ｷｭｳﾖ', '銀行', i, 20240101, '' FROM k");
        QList<std::pair<qint64, qint64>> told;
        {
            Database db(dir.dbPath());
            db.beginWrite();
            QCOMPARE(SearchText::foldPending(db,
                         [&](qint64 done, qint64 total) {
                             told.append({done, total});
                         }),
                45000);
            db.commit();
        }
        QCOMPARE(told, (QList<std::pair<qint64, qint64>> {{20000, 45000}, {40000, 45000}, {45000, 45000}}));
        PostingSearch::Conditions cond;
        cond.words = u"きゅうよ"_s;
        const PostingSearch::Result r = PostingSearch::search(dir.dbPath(), cond);
        QCOMPARE(r.count, 45000);
        QCOMPARE(r.hits.size(), PostingSearch::RowLimit);
        QCOMPARE(r.hits.at(0).money, 45000);
        QCOMPARE(dir.scalar("SELECT count(*) FROM X_meisai WHERE XM_norm IS NULL").toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPostingSearch)
#include "tst_postingsearch.moc"
