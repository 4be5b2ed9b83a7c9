// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"
#include "Database.h"
#include "MasterChange.h"
#include "Migrations.h"
#include "PostingSearch.h"
#include "SearchIndex.h"
#include "SearchText.h"
#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <functional>

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

    // fill() and 300 more postings whose memos hold words of every length, at the ends of the
    // text and in the middle, in both widths, with quotes and wildcards; some transfers and
    // stocktakes with memos and reasons.
    static void fillMany(const TempAppDir &dir)
    {
        fill(dir);
        const QStringList memos {u"家族で外食"_s, u"外食"_s, u"外食代"_s, u"ｶﾞｽ"_s, u"がす"_s, u"ABCD"_s,
            u"abc"_s, u"a\"b"_s, u"x'y"_s, u"100%"_s, u"でんき 12月分"_s, u"１２"_s, QString(), u"ﾄｳｷｮｳ"_s,
            u"東京で外"_s, u"食"_s};
        // Items named by no word of the tests keep each word below a third of the rows.
        const QStringList items {
            u"ガス代"_s, u"電気代"_s, u"ABCストア"_s, u"携帯"_s, u"雑費"_s, u"本"_s, u"散髪"_s, u"薬"_s};
        QStringList values;
        for (int i = 0; i < 300; ++i) {
            const QString memo = memos.at(i % memos.size());
            values << u"('%1','%2',%3,%4,'%5')"_s.arg(items.at(i % items.size()),
                i % 3 == 0 ? u"財布"_s : u"銀行"_s, QString::number(100 + (i * 37) % 5000),
                QString::number(20230101 + (i % 12) * 100 + i % 28), QString(memo).replace(u'\'', u"''"_s));
        }
        dir.exec(u"INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "_s + values.join(u','));
        dir.exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "
                 "('給与','銀行',250000,20231225,'賞与 外食券'),('給与','財布',1000,20230301,'ｶﾞｽ返金')");
        dir.exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                 "('財布','銀行',500,20230505,'外食'),('銀行','財布',700,20230606,'ABCD')");
        dir.exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                 "('銀行',1000,900,'外食の払い',20230707)");
    }

    // A result as text: the count and totals, then every hit with all it shows.
    static QStringList described(const PostingSearch::Result &r)
    {
        QStringList out {u"%1|%2|%3"_s.arg(r.count).arg(r.income).arg(r.expense)};
        for (const PostingSearch::Hit &h : r.hits)
            out << QStringList {h.table, QString::number(h.rowid), QString(h.kind), QString::number(h.date),
                QString::number(h.money), h.item, h.kubun, h.place, h.memo}
                       .join(u'|');
        return out;
    }

    // A copy of the ledger without the index: searched by reading every row.
    static void copyWithoutIndex(const TempAppDir &from, const TempAppDir &to)
    {
        QFile::remove(to.dbPath());
        QVERIFY(QFile::copy(from.dbPath(), to.dbPath()));
        to.exec("DROP TABLE X_meisai_terms");
    }

    // Every trigram of every folded text (with the separator that ends it) and every trigram the
    // index holds finds exactly the rows whose text holds it: nothing stale, nothing missing.
    static void expectIndexExact(const TempAppDir &dir)
    {
        QSet<QString> trigrams;
        for (const QString &text :
            dir.rows("SELECT XM_norm || char(31) FROM X_meisai WHERE XM_norm IS NOT NULL")) {
            const QList<uint> chars = text.toUcs4();
            for (qsizetype i = 0; i + 3 <= chars.size(); ++i)
                trigrams.insert(
                    QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + i), 3));
        }
        for (const QString &t : dir.rows("SELECT term FROM X_meisai_terms"))
            trigrams.insert(t);
        QVERIFY(!trigrams.isEmpty());
        for (const QString &t : std::as_const(trigrams)) {
            const QString inSql = QString(t).replace(u'\'', u"''"_s);
            const QString literal = u'\'' + inSql + u'\'';
            const QString match = u"'\""_s + QString(inSql).replace(u'"', u"\"\""_s) + u"\"'"_s;
            const QStringList indexed = dir.rows(
                u"SELECT rowid FROM X_meisai_fts WHERE X_meisai_fts MATCH %1 ORDER BY rowid"_s.arg(match));
            const QStringList held = dir.rows(
                u"SELECT rowid FROM X_meisai WHERE instr(XM_norm || char(31), %1) > 0 ORDER BY rowid"_s.arg(
                    literal));
            QVERIFY2(indexed == held, qPrintable(t));
        }
    }

    // The hits a plain reading of the four tables gives: every field folded and tested for every
    // word, the kinds, dates, amounts and place as the conditions ask, newest first.
    static PostingSearch::Result plainSearch(
        const TempAppDir &dir, const PostingSearch::Conditions &cond, int limit)
    {
        struct Row
        {
            PostingSearch::Hit hit;
            QStringList texts; // what a word may be found in
            QStringList places;
        };
        QHash<QString, QString> incomeKubun, expenseKubun;
        for (const QString &r : dir.rows("SELECT N_index, N_kubun FROM Nyuukin_T"))
            incomeKubun.insert(r.section(u'|', 0, 0), r.section(u'|', 1));
        for (const QString &r : dir.rows("SELECT S_index, S_kubun FROM Syukkin_T"))
            expenseKubun.insert(r.section(u'|', 0, 0), r.section(u'|', 1));
        QList<Row> all;
        const auto read = [&](const char *sql, QChar table) {
            for (const QString &line : dir.rows(QString::fromUtf8(sql))) {
                const QStringList f = line.split(u'|');
                Row r;
                r.hit.table = table;
                r.hit.rowid = f.at(0).toLongLong();
                r.hit.date = f.at(1).toInt();
                r.hit.money = f.at(2).toLongLong();
                r.places = f.at(3).split(u'>', Qt::SkipEmptyParts);
                r.hit.item = f.at(4);
                r.hit.memo = f.at(5);
                r.hit.kind = table;
                r.hit.place = r.places.join(u"→"_s);
                r.texts << r.hit.item << r.hit.memo << r.places;
                if (table == u'N')
                    r.texts << incomeKubun.value(r.hit.item);
                if (table == u'S') {
                    r.texts << expenseKubun.value(r.hit.item);
                    if (r.hit.memo == u"自動引落処理"_s)
                        r.hit.kind = u'Z';
                }
                all << r;
            }
        };
        read("SELECT rowid, N_date, N_money, N_hokan, N_index, N_memo FROM N", u'N');
        read("SELECT rowid, S_date, S_money, S_hokan, S_index, S_memo FROM S", u'S');
        read("SELECT rowid, I_day, I_money, I_hokanmoto || '>' || I_hokansaki, '', I_memo FROM Idourireki_T",
            u'I');
        read("SELECT rowid, K_day, K_amoney - K_bmoney, K_hokan, '', K_riyuu FROM Ktanaorosi_T", u'K');
        PostingSearch::Result out;
        QList<PostingSearch::Hit> hits;
        for (const Row &r : std::as_const(all)) {
            bool ok = cond.kinds.contains(r.hit.kind) && (!cond.from || r.hit.date >= *cond.from)
                && (!cond.to || r.hit.date <= *cond.to) && (!cond.min || r.hit.money >= *cond.min)
                && (!cond.max || r.hit.money <= *cond.max)
                && (cond.hokan.isEmpty() || r.places.contains(cond.hokan));
            for (const QString &w : SearchText::words(cond.words))
                ok = ok && std::any_of(r.texts.begin(), r.texts.end(), [&](const QString &t) {
                    return SearchText::fold(t).contains(w);
                });
            if (!ok)
                continue;
            ++out.count;
            if (r.hit.kind == u'N')
                out.income += r.hit.money;
            else if (r.hit.kind == u'S' || r.hit.kind == u'Z')
                out.expense += r.hit.money;
            hits << r.hit;
        }
        std::sort(hits.begin(), hits.end(), [](const PostingSearch::Hit &a, const PostingSearch::Hit &b) {
            if (a.date != b.date)
                return a.date > b.date;
            if (a.table != b.table)
                return a.table < b.table;
            return a.rowid > b.rowid;
        });
        out.hits = hits.mid(0, limit);
        return out;
    }

    // The count, totals and the hits' keys, to compare a search with the plain reading.
    static QStringList keys(const PostingSearch::Result &r)
    {
        QStringList out {u"%1|%2|%3"_s.arg(r.count).arg(r.income).arg(r.expense)};
        for (const PostingSearch::Hit &h : r.hits)
            out << u"%1%2 %3 %4 %5 %6"_s.arg(h.table).arg(h.rowid).arg(h.kind).arg(h.date).arg(h.money).arg(
                h.place);
        return out;
    }

private slots:
    void agreesWithReadingThePostings()
    {
        // Generated ledgers with few dates (many ties), places whose names hold one another,
        // memos of a small alphabet in both widths; searched with generated words and conditions,
        // before and after places are renamed (to a new name, and to the name of rows of a place
        // the masters no longer have), one row's place is changed, and renames are taken back.
        QRandomGenerator random(39);
        const QStringList places {u"財布"_s, u"母の財布"_s, u"銀行"_s, u"ｶｰﾄﾞ"_s, u"カード払い口"_s};
        const QStringList incomeItems {u"給与"_s, u"賞与"_s}, expenseItems {u"ガス代"_s, u"外食"_s, u"本"_s};
        const QStringList pieces {u"外"_s, u"食"_s, u"ｶﾞ"_s, u"ス"_s, u"が"_s, u"財"_s, u"布"_s, u"a"_s,
            u"Ａ"_s, u"1"_s, u"行"_s, u"ド"_s};
        const auto pick = [&](const QStringList &from) { return from.at(random.bounded(int(from.size()))); };
        const auto memo = [&] {
            QString m;
            for (int n = random.bounded(5); n > 0; --n)
                m += pick(pieces);
            return random.bounded(10) == 0 ? u"自動引落処理"_s : m;
        };
        const auto word = [&] {
            switch (random.bounded(4)) {
            case 0:
                return pick(places).mid(random.bounded(2), 2 + random.bounded(2));
            case 1:
                return pick(expenseItems + incomeItems + QStringList {u"光熱費"_s, u"食費"_s});
            default: {
                QString w;
                for (int n = 1 + random.bounded(3); n > 0; --n)
                    w += pick(pieces);
                return w;
            }
            }
        };
        for (int ledger = 0; ledger < 3; ++ledger) {
            TempAppDir dir;
            for (const QString &p : places)
                dir.exec(
                    u"INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('%1',0,'','')"_s.arg(p));
            dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES "
                     "('給与','収入','銀行',''),('賞与','収入','銀行','')");
            dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                     "('ガス代','光熱費','銀行',''),('外食','食費','財布',''),('本','雑費','財布','')");
            QStringList n, s, i, k;
            for (int r = 0; r < 400; ++r) {
                const QString date = QString::number(20240101 + random.bounded(8));
                const QString money = QString::number(random.bounded(1, 5000));
                switch (random.bounded(10)) {
                case 0:
                    n << u"('%1','%2',%3,%4,'%5')"_s.arg(
                        pick(incomeItems), pick(places), money, date, memo());
                    break;
                case 1:
                    i << u"('%1','%2',%3,%4,'%5')"_s.arg(pick(places), pick(places), money, date, memo());
                    break;
                case 2:
                    k << u"('%1',%2,%3,'%4',%5)"_s.arg(
                        pick(places), money, QString::number(random.bounded(5000)), memo(), date);
                    break;
                default:
                    s << u"('%1','%2',%3,%4,'%5')"_s.arg(
                        pick(expenseItems), pick(places), money, date, memo());
                }
            }
            dir.exec(u"INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "_s + n.join(u','));
            dir.exec(u"INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "_s + s.join(u','));
            dir.exec(u"INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "_s
                + i.join(u','));
            dir.exec(u"INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "_s
                + k.join(u','));
            // Rows of the row ids 0 and -1 (the copy's row ids are computed from them).
            dir.exec("INSERT INTO S (rowid,S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                     "(0,'外食','財布',10,20240105,'外食'),(-1,'本','母の財布',20,20240105,'外ｶﾞ')");
            // Rows of a place the masters no longer have: a rename to that name merges them.
            dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                     "('外食','旧口座',30,20240103,'外食'),('本','旧口座',40,20240104,'財布')");
            const auto renameEverywhere = [&](const QString &from, const QString &to) {
                Database db(dir.dbPath());
                db.beginAction(u"F_hokanM"_s, u"変更"_s, QDateTime::currentDateTime());
                const QString refusal = MasterChange::renamePlace(db, from, to);
                QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
                db.commit();
            };
            const auto takeBackLast = [&] {
                const qint64 last = [&] {
                    Database db(dir.dbPath());
                    return ActionHistory::recent(db, 1).at(0).no;
                }();
                const ActionHistory::Outcome out = ActionHistory::takeBackFrom(
                    dir.dbPath(), last, u"F_undo"_s, QDateTime::currentDateTime(), 1);
                QVERIFY2(out.done, qPrintable(out.refusal));
            };
            for (int stage = 0; stage < 8; ++stage) {
                if (stage == 1)
                    renameEverywhere(u"母の財布"_s, u"予備"_s);
                if (stage == 2)
                    dir.exec(
                        "UPDATE S SET S_hokan = '母の財布' WHERE rowid = (SELECT min(rowid) FROM S WHERE "
                        "S_hokan = '財布')");
                if (stage == 3) {
                    // Taken back after another program wrote a row of the new name: that row
                    // keeps the new name, the others get the old one back.
                    renameEverywhere(u"財布"_s, u"ｻｲﾌ"_s);
                    dir.exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                             "('銀行','ｻｲﾌ',50,20240102,'外食')");
                    takeBackLast();
                }
                if (stage == 6)
                    renameEverywhere(u"ｶｰﾄﾞ"_s, u"旧口座"_s);
                if (stage == 7)
                    takeBackLast();
                if (stage == 4) {
                    // An item renamed, and memos changed so that rows become debits and cease to be.
                    dir.exec("UPDATE Syukkin_T SET S_index = 'ガス料金' WHERE S_index = 'ガス代'");
                    dir.exec("UPDATE S SET S_index = 'ガス料金' WHERE S_index = 'ガス代'");
                    dir.exec("UPDATE S SET S_memo = '自動引落処理' WHERE rowid % 7 = 0");
                    dir.exec("UPDATE S SET S_memo = '外食' WHERE rowid % 11 = 0 AND S_memo = '自動引落処理'");
                }
                if (stage == 5)
                    dir.exec(
                        "UPDATE S SET S_date = S_date + 1, S_memo = 'ｶﾞｽ' || S_memo WHERE rowid % 5 = 0");
                for (int q = 0; q < 25; ++q) {
                    PostingSearch::Conditions cond;
                    cond.words = word();
                    if (random.bounded(4) == 0)
                        cond.words += u"　"_s + word();
                    if (random.bounded(4) == 0)
                        cond.from = 20240101 + random.bounded(8);
                    if (random.bounded(4) == 0)
                        cond.max = random.bounded(5000);
                    if (random.bounded(5) == 0)
                        cond.hokan = pick(places);
                    if (random.bounded(5) == 0)
                        cond.kinds = {u'S', u'I'};
                    const int limit = random.bounded(2) ? PostingSearch::RowLimit : 1 + random.bounded(30);
                    const QStringList searched = keys(PostingSearch::search(dir.dbPath(), cond, limit));
                    const QStringList read = keys(plainSearch(dir, cond, limit));
                    QVERIFY2(searched == read,
                        qPrintable(u"stage %1, words %2, place %3, limit %4:\n%5\n--\n%6"_s.arg(stage)
                                       .arg(cond.words, cond.hokan)
                                       .arg(limit)
                                       .arg(searched.join(u'\n'), read.join(u'\n'))));
                }
            }
        }
    }

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

    void indexAgreesWithReadingEveryRow_data()
    {
        using Change = std::function<void(const TempAppDir &)>;
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("conditions"); // from,to,min,max,place,kinds; empty parts unset
        QTest::addColumn<Change>("change"); // made before the search; empty: none
        QTest::addColumn<bool>("indexed"); // the index picks the rows to read
        const Change none;
        const Change memoChanged = [](const TempAppDir &d) {
            d.exec(
                "UPDATE S SET S_memo = 'ガス外食' WHERE rowid IN (SELECT rowid FROM S WHERE S_memo = '外食' "
                "LIMIT 3)");
        };
        const Change deleted
            = [](const TempAppDir &d) { d.exec("DELETE FROM S WHERE S_memo = '家族で外食'"); };
        const Change added = [](const TempAppDir &d) {
            d.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                   "('ガス代','銀行',10,20250101,'がいしょく 外食'),('電気代','財布',20,20250102,'ﾃﾞﾝｷ')");
        };
        // The last row deleted and a new one written under its row id.
        const Change reused = [](const TempAppDir &d) {
            d.exec("DELETE FROM S WHERE rowid = (SELECT max(rowid) FROM S)");
            d.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                   "('ガス代','銀行',10,20250101,'外食ガス')");
        };
        // A row replaced in place: the engine deletes the old one without its triggers.
        const Change replaced = [](const TempAppDir &d) {
            d.exec("INSERT OR REPLACE INTO S (rowid,S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                   "(3,'電気代','銀行',30,20240112,'外食 でんき')");
        };
        const Change takenBack = [](const TempAppDir &d) {
            {
                Database db(d.dbPath());
                db.beginAction(u"F_test"_s, u"修正"_s, QDateTime::currentDateTime());
                db.execute(u"DELETE FROM S WHERE S_memo = 'ｶﾞｽ'"_s);
                db.execute(u"UPDATE S SET S_memo = 'ｶﾞｽ' WHERE S_memo = '外食代'"_s);
                db.commit();
            }
            Database db(d.dbPath());
            const qint64 last = ActionHistory::recent(db, 1).at(0).no;
            const ActionHistory::Outcome out
                = ActionHistory::takeBackFrom(d.dbPath(), last, u"F_undo"_s, QDateTime::currentDateTime(), 1);
            if (!out.done)
                qFatal("not taken back: %s", qPrintable(out.refusal));
        };
        QTest::newRow("1 character") << "代"
                                     << "" << none << false;
        QTest::newRow("1 character, latin") << "a"
                                            << "" << none << false;
        QTest::newRow("1 character at the end of the text") << "外"
                                                            << "" << none << false;
        QTest::newRow("2 characters") << "外食"
                                      << "" << none << true;
        QTest::newRow("2 characters, half width") << "ｶﾞｽ"
                                                  << "" << none << true;
        QTest::newRow("2 characters, hiragana") << "がす"
                                                << "" << none << true;
        QTest::newRow("2 digits of either width") << "12"
                                                  << "" << none << true;
        QTest::newRow("2 characters of a category") << "光熱"
                                                    << "" << none << true;
        QTest::newRow("2 characters, category and text") << "食費"
                                                         << "" << none << true;
        QTest::newRow("2 characters held nowhere") << "水道"
                                                   << "" << none << false;
        QTest::newRow("2 characters, a place held by most rows") << "銀行"
                                                                 << "" << none << true;
        QTest::newRow("2 characters held by most rows, a rarer word") << "銀行 外食代"
                                                                      << "" << none << true;
        QTest::newRow("2 characters with a quote") << "x'"
                                                   << "" << none << true;
        QTest::newRow("2 characters with a double quote") << "\"b"
                                                          << "" << none << true;
        QTest::newRow("3 characters") << "外食代"
                                      << "" << none << true;
        QTest::newRow("3 characters spanning two fields") << "代\x1f銀"
                                                          << "" << none << true;
        QTest::newRow("4 characters, half width") << "ﾄｳｷｮｳ"
                                                  << "" << none << true;
        QTest::newRow("5 characters") << "家族で外食"
                                      << "" << none << true;
        QTest::newRow("trigrams apart, not the word") << "外食券外"
                                                      << "" << none << true;
        QTest::newRow("quote and wildcard") << "x'y"
                                            << "" << none << true;
        QTest::newRow("double quote") << "a\"b"
                                      << "" << none << true;
        QTest::newRow("percent") << "100%"
                                 << "" << none << true;
        QTest::newRow("3 characters of a category") << "光熱費"
                                                    << "" << none << true;
        QTest::newRow("transfer's place and memo") << "財布 外食"
                                                   << "" << none << true;
        QTest::newRow("stocktake's reason") << "外食の"
                                            << "" << none << true;
        QTest::newRow("words of 1, 2 and 3 characters") << "食 外食 ガス代"
                                                        << "" << none << true;
        QTest::newRow("2 characters with dates") << "外食"
                                                 << "20230301,20230630" << none << true;
        QTest::newRow("3 characters with amounts") << "外食代"
                                                   << ",,1000,3000" << none << true;
        QTest::newRow("2 characters with a place and kinds") << "ガス"
                                                             << ",,,,財布,NS" << none << true;
        QTest::newRow("1 character with everything") << "代"
                                                     << "20230101,20231231,100,4000,銀行,S" << none << false;
        QTest::newRow("3 characters, no kinds") << "外食代"
                                                << ",,,,," << none << false;
        QTest::newRow("after a memo changed") << "外食"
                                              << "" << memoChanged << true;
        QTest::newRow("after a memo changed, 3 characters") << "ガス外"
                                                            << "" << memoChanged << true;
        QTest::newRow("after a delete") << "家族で"
                                        << "" << deleted << true;
        QTest::newRow("after new postings") << "がいしょく"
                                            << "" << added << true;
        QTest::newRow("after new postings, 2 characters") << "でんき"
                                                          << "" << added << true;
        QTest::newRow("after a row id is used again") << "外食ガス"
                                                      << "" << reused << true;
        QTest::newRow("after a row replaced in place") << "外食"
                                                       << "" << replaced << true;
        QTest::newRow("after an action taken back") << "ｶﾞｽ"
                                                    << "" << takenBack << true;
        QTest::newRow("after an action taken back, 3 characters") << "外食代"
                                                                  << "" << takenBack << true;
    }
    void indexAgreesWithReadingEveryRow()
    {
        using Change = std::function<void(const TempAppDir &)>;
        QFETCH(QString, words);
        QFETCH(QString, conditions);
        QFETCH(Change, change);
        QFETCH(bool, indexed);
        TempAppDir dir;
        fillMany(dir);
        // Folded before the change, so the change reaches a row already in the index.
        PostingSearch::search(dir.dbPath(), {});
        if (change)
            change(dir);
        PostingSearch::Conditions cond;
        cond.words = words;
        const QStringList parts = conditions.split(u',');
        const auto part = [&](int i) { return i < parts.size() ? parts.at(i) : QString(); };
        if (!part(0).isEmpty())
            cond.from = part(0).toInt();
        if (!part(1).isEmpty())
            cond.to = part(1).toInt();
        if (!part(2).isEmpty())
            cond.min = part(2).toLongLong();
        if (!part(3).isEmpty())
            cond.max = part(3).toLongLong();
        cond.hokan = part(4);
        if (parts.size() > 5) {
            cond.kinds.clear();
            for (QChar k : part(5))
                cond.kinds.insert(k);
        }
        for (int limit : {PostingSearch::RowLimit, 3}) {
            QStringList statements;
            PostingSearch::Result byIndex;
            {
                StatementRecorder recorder;
                byIndex = PostingSearch::search(dir.dbPath(), cond, limit);
                statements = recorder.statements;
            }
            const bool asked = std::any_of(statements.begin(), statements.end(),
                [](const QString &s) { return s.startsWith(u"SELECT rowid, XM_date"); });
            QCOMPARE(asked, indexed);
            TempAppDir plain;
            copyWithoutIndex(dir, plain);
            const PostingSearch::Result byReading = PostingSearch::search(plain.dbPath(), cond, limit);
            QCOMPARE(described(byIndex), described(byReading));
        }
        expectIndexExact(dir);
    }

    void migrationIndexesALedgerOfTheVersionBefore()
    {
        TempAppDir dir;
        fillMany(dir);
        PostingSearch::search(dir.dbPath(), {});
        // The ledger as the version before left it: no index, the copy's triggers replacing rows.
        for (const QString &t :
            dir.rows("SELECT name FROM sqlite_master WHERE type = 'trigger' AND name LIKE "
                     "'X\\_meisai\\_fts%' ESCAPE '\\'"))
            dir.exec(u"DROP TRIGGER "_s + t);
        dir.exec("DROP TABLE X_meisai_terms");
        dir.exec("DROP TABLE X_meisai_fts");
        dir.exec("DROP TRIGGER X_meisai_S_ins");
        dir.exec(
            "CREATE TRIGGER X_meisai_S_ins AFTER INSERT ON S BEGIN INSERT OR REPLACE INTO X_meisai VALUES "
            "('S', new.rowid, 'S', new.S_date, new.S_money, new.S_hokan, NULL, new.S_index, NULL); END");
        dir.exec("PRAGMA user_version = 4");
        // Written by an older copy after its last search: not folded yet; one of the row id 0.
        dir.exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                 "('ガス代','銀行',10,20250101,'外食ガス')");
        dir.exec("INSERT INTO S (rowid,S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                 "(0,'ガス代','銀行',10,20250102,'外食ガス')");
        QList<std::pair<qint64, qint64>> told;
        QCOMPARE(Migrations::migrate(dir.dbPath(), {},
                     [&](qint64 done, qint64 total) {
                         told.append({done, total});
                     }),
            Migrations::Outcome::Migrated);
        QVERIFY(!told.isEmpty());
        QCOMPARE(told.last().first, told.last().second);
        QCOMPARE(dir.scalar("PRAGMA user_version").toInt(), Migrations::latest());
        QCOMPARE(dir.scalar("SELECT count(*) FROM sqlite_master WHERE sql LIKE '%OR REPLACE%'").toInt(), 0);
        {
            Database db(dir.dbPath());
            QVERIFY(SearchIndex::exists(db));
        }
        PostingSearch::Conditions cond;
        cond.words = u"外食ガス"_s;
        QCOMPARE(PostingSearch::search(dir.dbPath(), cond).count, 2);
        expectIndexExact(dir);
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
        expectIndexExact(dir);
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
