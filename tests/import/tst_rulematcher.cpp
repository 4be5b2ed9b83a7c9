// SPDX-License-Identifier: GPL-3.0-or-later
#include "RuleMatcher.h"

#include <QTest>

using Match = RuleMatcher::Match;

// A household's first month of card and bank lines, the items the user gave them, and its
// second month: the same shops at other branches, with other numbers, bills of another month,
// and shops never seen, some sharing a first word with one that was.
class TestRuleMatcher : public QObject
{
    Q_OBJECT

    struct Seen
    {
        const char *kind, *description, *item;
    };
    static constexpr Seen FirstMonth[] = {
        {"S", "ローソン　渋谷道玄坂店", "食費"},
        {"S", "セブン－イレブン　新宿西口店", "食費"},
        {"S", "ファミリーマート代々木駅前店", "食費"},
        {"S", "ﾏﾂﾓﾄｷﾖｼ ｼﾌﾞﾔﾃﾝ", "日用品"},
        {"S", "ユニクロ　銀座店", "衣料"},
        {"S", "西友　練馬店", "食費"},
        {"S", "ＡＭＡＺＯＮ．ＣＯ．ＪＰ", "日用品"},
        {"S", "AMAZON.CO.JP*AB12CD34", "日用品"},
        {"S", "AMAZON PRIME*1A2B3C", "娯楽"},
        {"S", "楽天市場　注文番号１２３４５６", "日用品"},
        {"S", "ヨドバシ・ドット・コム　受付No.1234567", "家電"},
        {"S", "ＮＴＴドコモ　ご利用料金　５月分", "通信費"},
        {"S", "東京電力エナジーパートナー　２０２６年０５月分", "光熱費"},
        {"S", "ＡＰＰＬＥ．ＣＯＭ／ＢＩＬＬ", "娯楽"},
        {"S", "東急ストア　自由が丘店", "食費"},
        {"S", "TOKYU STORE JIYUGAOKA", "食費"},
        {"S", "イオンモール幕張新都心", "日用品"},
        {"S", "スターバックス　コーヒー　渋谷店", "外食"},
        {"S", "ドトールコーヒーショップ新橋店", "外食"},
        {"S", "ＥＴＣ　首都高速", "交通"},
        {"S", "ＪＲ東日本　モバイルＳｕｉｃａ", "交通"},
        {"S", "PAYPAL *NETFLIX", "娯楽"},
        {"S", "ｾﾌﾞﾝｲﾚﾌﾞﾝ ｼﾝｼﾞﾕｸﾆｼｸﾞﾁ", "食費"},
        {"S", "ｺｳｻﾞﾌﾘｶｴ ﾃﾞﾝｷﾘﾖｳｷﾝ", "電気"},
        {"S", "ｺｳｻﾞﾌﾘｶｴ ｶﾞｽﾘﾖｳｷﾝ 05ｶﾞﾂﾌﾞﾝ", "ガス"},
        {"S", "ﾐﾂｲｽﾐﾄﾓｶ-ﾄﾞ (ｶ", "→ カード"},
        {"S", "ATM ｼﾕﾂｷﾝ 0123", "→ 財布"},
        {"N", "ﾌﾘｺﾐ ｶ)ﾔﾏﾀﾞｼﾖｳｼﾞ", "給与"},
        {"N", "ﾘｿｸ", "利息"},
        // One shop the user gave two items: a third line of it decides nothing.
        {"S", "ﾄﾞﾗｯｸﾞｽﾄｱ 1001", "日用品"},
        {"S", "ﾄﾞﾗｯｸﾞｽﾄｱ 2002", "医療"},
    };

    static QList<RuleMatcher::Rule> learnt()
    {
        QList<RuleMatcher::Rule> rules;
        for (const Seen &s : FirstMonth)
            rules << RuleMatcher::Rule {QString::fromUtf8(s.kind), Match::Exact,
                QString::fromUtf8(s.description), QString::fromUtf8(s.item)};
        return rules;
    }

    // Second month: its line, the item of the shop when it was seen before ("" for a shop
    // never seen, or one whose items disagree), and whether it was seen.
    struct Next
    {
        const char *kind, *description, *item;
    };
    static constexpr Next SecondMonth[] = {
        // The same chain at another branch.
        {"S", "ローソン　新宿三丁目店", "食費"},
        {"S", "ローソン　渋谷道玄坂店", "食費"},
        {"S", "セブン－イレブン　代々木１丁目店", "食費"},
        {"S", "ファミリーマート西新宿店", "食費"},
        {"S", "ﾏﾂﾓﾄｷﾖｼ ｼﾝｼﾞﾕｸﾃﾝ", "日用品"},
        {"S", "ユニクロ　新宿高島屋店", "衣料"},
        {"S", "ユニクロ　ＯＮＬＩＮＥ　ＳＴＯＲＥ", "衣料"},
        {"S", "西友　荻窪店", "食費"},
        {"S", "東急ストア　中目黒店", "食費"},
        {"S", "スターバックス　コーヒー　恵比寿ガーデンプレイス店", "外食"},
        {"S", "ドトールコーヒーショップ有楽町店", "外食"},
        {"S", "イオンモール幕張新都心", "日用品"},
        // The same name with an order number or a store code.
        {"S", "AMAZON.CO.JP*ZZ98YY76", "日用品"},
        {"S", "ＡＭＡＺＯＮ．ＣＯ．ＪＰ", "日用品"},
        {"S", "AMAZON PRIME*9Z8Y7X", "娯楽"},
        {"S", "楽天市場　注文番号９８７６５４", "日用品"},
        {"S", "ヨドバシ・ドット・コム　受付No.7654321", "家電"},
        {"S", "ATM ｼﾕﾂｷﾝ 0456", "→ 財布"},
        {"S", "PAYPAL *NETFLIX", "娯楽"},
        // A monthly bill with its month.
        {"S", "ＮＴＴドコモ　ご利用料金　６月分", "通信費"},
        {"S", "東京電力エナジーパートナー　２０２６年０６月分", "光熱費"},
        {"S", "ｺｳｻﾞﾌﾘｶｴ ｶﾞｽﾘﾖｳｷﾝ 06ｶﾞﾂﾌﾞﾝ", "ガス"},
        {"S", "ＡＰＰＬＥ．ＣＯＭ／ＢＩＬＬ", "娯楽"},
        {"S", "ｺｳｻﾞﾌﾘｶｴ ﾃﾞﾝｷﾘﾖｳｷﾝ", "電気"},
        {"S", "ﾐﾂｲｽﾐﾄﾓｶ-ﾄﾞ (ｶ", "→ カード"},
        {"N", "ﾌﾘｺﾐ ｶ)ﾔﾏﾀﾞｼﾖｳｼﾞ", "給与"},
        {"N", "ﾘｿｸ", "利息"},
        {"S", "ＥＴＣ　首都高速", "交通"},
        {"S", "ＪＲ東日本　モバイルＳｕｉｃａ", "交通"},
        // Seen, but written so that nothing tells the branch from the name.
        {"S", "TOKYU STORE FUTAKOTAMAGAWA", "食費"},
        {"S", "ｾﾌﾞﾝｲﾚﾌﾞﾝ ｼﾌﾞﾔ2ﾁﾖｳﾒ", "食費"},
        // Shops never seen, sharing a first word or more with one that was.
        {"S", "東急ハンズ　渋谷店", ""},
        {"S", "TOKYU HANDS SHIBUYA", ""},
        {"S", "イオンシネマ幕張新都心", ""},
        {"S", "APPLE STORE GINZA", ""},
        {"S", "AMAZON MUSIC*55AA", ""},
        {"S", "PAYPAL *SPOTIFY", ""},
        {"S", "ＪＲ東海　ＥＸ予約", ""},
        {"S", "ローソンストア１００　渋谷店", ""},
        {"S", "セブン銀行ＡＴＭ", ""},
        // A shop whose lines the user gave two items.
        {"S", "ﾄﾞﾗｯｸﾞｽﾄｱ 3003", ""},
        // A deposit is never given a withdrawal's item.
        {"N", "ローソン　新宿三丁目店", ""},
    };

    int m_seen = 0, m_right = 0, m_wrong = 0;

private slots:
    void secondMonth_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("item");
        for (const Next &n : SecondMonth)
            QTest::newRow(n.description)
                << QString::fromUtf8(n.kind) << QString::fromUtf8(n.description) << QString::fromUtf8(n.item);
    }
    // Never a wrong item: a line is filled with its shop's item or left empty.
    void secondMonth()
    {
        QFETCH(QString, kind);
        QFETCH(QString, description);
        QFETCH(QString, item);
        static const RuleMatcher matcher(learnt());
        const RuleMatcher::Found found = matcher.find(kind, description);
        if (!item.isEmpty())
            ++m_seen;
        if (!found.item.isEmpty() && found.item == item)
            ++m_right;
        else if (found.item.isEmpty() && !item.isEmpty())
            qInfo("missed: %s", qPrintable(description));
        else if (!found.item.isEmpty())
            ++m_wrong;
        QVERIFY2(found.item.isEmpty() || found.item == item, qPrintable(found.item));
        if (!found.item.isEmpty())
            QCOMPARE(learnt().at(found.rule).item, found.item);
    }
    // Of the lines whose shop was seen, at least nine in ten are filled.
    void figures()
    {
        qInfo("seen %d, filled right %d (%.1f%%), filled wrong %d", m_seen, m_right,
            100.0 * m_right / qMax(1, m_seen), m_wrong);
        QCOMPARE(m_wrong, 0);
        QVERIFY(m_right * 10 >= m_seen * 9);
    }

    // Written rules come before the learnt shops, the longest first; equally good rules that
    // disagree fill nothing.
    void precedence_data()
    {
        QTest::addColumn<QStringList>("rules"); // kind|match|pattern|item
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("item");
        const QStringList rules {"S|一致|AMAZON.CO.JP|書籍", "S|前方一致|ＡＭＡＺＯＮ|日用品",
            "S|前方一致|AMAZON PRIME|娯楽", "S|含む|ｺｳｻﾞﾌﾘｶｴ|公共料金", "S|含む|ﾃﾞﾝｷ|電気",
            "S|一致|ローソン　渋谷店|食費"};
        QTest::newRow("whole description first") << rules << "amazon.co.jp"
                                                 << "書籍";
        QTest::newRow("longest leading part") << rules << "AMAZON PRIME VIDEO"
                                              << "娯楽";
        QTest::newRow("leading part") << rules << "AMAZON MUSIC"
                                      << "日用品";
        QTest::newRow("leading part before a learnt shop") << rules << "AMAZON.CO.JP*1234"
                                                           << "日用品";
        QTest::newRow("longest part") << rules << "ｺｳｻﾞﾌﾘｶｴ ﾃﾞﾝｷ"
                                      << "公共料金";
        QTest::newRow("part") << rules << "ﾄｳｷﾖｳﾃﾞﾝｷ"
                              << "電気";
        QTest::newRow("learnt shop after written rules") << rules << "ローソン　新宿店"
                                                         << "食費";
        QTest::newRow("written parts at odds")
            << QStringList {"S|含む|ABC|食費", "S|含む|XYZ|日用品"} << "ABC XYZ"
            << "";
        QTest::newRow("two to one is not enough")
            << QStringList {"S|一致|SHOP 1|食費", "S|一致|SHOP 2|食費", "S|一致|SHOP 3|日用品"} << "SHOP 4"
            << "";
        QTest::newRow("three to one is") << QStringList {"S|一致|SHOP 1|食費", "S|一致|SHOP 2|食費",
            "S|一致|SHOP 3|食費", "S|一致|SHOP 5|日用品"}
                                         << "SHOP 4"
                                         << "食費";
        QTest::newRow("a short name is no shop") << QStringList {"S|一致|AB|食費"} << "AB CD"
                                                 << "";
        QTest::newRow("glued names sharing too little")
            << QStringList {"S|一致|東急ストア自由が丘店|食費"} << "東急ハンズ渋谷店"
            << "";
    }
    void precedence()
    {
        QFETCH(QStringList, rules);
        QFETCH(QString, description);
        QFETCH(QString, item);
        QList<RuleMatcher::Rule> list;
        for (const QString &r : rules) {
            const QStringList f = r.split(u'|');
            list << RuleMatcher::Rule {f.at(0), *RuleMatcher::matchFromText(f.at(1)), f.at(2), f.at(3)};
        }
        QCOMPARE(RuleMatcher(list).find(QStringLiteral("S"), description).item, item);
    }
};

QTEST_GUILESS_MAIN(TestRuleMatcher)
#include "tst_rulematcher.moc"
