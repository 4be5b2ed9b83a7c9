// SPDX-License-Identifier: GPL-3.0-or-later
#include "Preset.h"
#include "StatementFiles.h"
#include "StatementParser.h"
#include "StatementValues.h"

#include <QDate>
#include <QTest>

using namespace StatementFiles;
using namespace StatementValues;

// Reading the statement files of credit cards: each issuer's layout in its own encoding, the
// bill's payment date and total, and what a preset of the card kind can say.
class TestCardStatement : public QObject
{
    Q_OBJECT

    QList<Preset> m_presets;

    Statement read(const QByteArray &file, QString *detected) const
    {
        const QStringList l = lines(decode(file).text);
        const auto i = StatementParser::detect(m_presets, l);
        if (!i)
            return {};
        *detected = m_presets.at(*i).name;
        return StatementParser::parse(m_presets.at(*i), l, QDate(2026, 6, 1));
    }

    static QStringList summary(const Statement &s)
    {
        QStringList out;
        for (const StatementLine &l : s.lines)
            out << QStringLiteral("%1 %2 %3").arg(l.date).arg(l.amount).arg(l.description);
        return out;
    }

    // The bill as "payment date/total/month", each empty when the file does not give it.
    static QString bill(const Statement &s)
    {
        return QStringLiteral("%1/%2/%3")
            .arg(s.paymentDate ? QString::number(*s.paymentDate) : QString())
            .arg(s.billTotal ? QString::number(*s.billTotal) : QString())
            .arg(s.billMonth ? QString::number(s.billMonth) : QString());
    }

    static QByteArray utf8(const QStringList &lines) { return lines.join(QStringLiteral("\r\n")).toUtf8(); }

private slots:
    void initTestCase()
    {
        m_presets = Preset::builtIns();
        int cards = 0;
        for (const Preset &p : m_presets) {
            cards += p.card;
            // A card preset survives its own JSON as well.
            QCOMPARE(Preset::fromJson(p.toJson()).toJson(), p.toJson());
        }
        QCOMPARE(cards, 9);
    }

    void issuers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("bill");

        QTest::newRow("楽天: UTF-8 BOM, month columns, newest first, ETC route, instalment, refund")
            << bytes({"\"利用日\",\"利用店名・商品名\",\"利用者\",\"支払方法\",\"利用金額\",\"支払手数料\","
                      "\"支払総額\",\"5月支払金額\",\"6月繰越残高\",\"6月以降請求額\"",
                         "\"2026/04/20\",\"ＥＴＣ　首都高速\",\"本人\",\"1回払い\",\"1,320\",\"0\",\"1,320\","
                         "\"1,320\",\"0\",\"0\"",
                         "\"\",\"（首都高速）渋谷～用賀\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"",
                         "\"2026/04/10\",\"ＶＩＳＡ国内利用　VS スーパー\",\"家族\",\"分割2回払い(1回目)\","
                         "\"10,000\",\"0\",\"10,000\",\"5,000\",\"5,000\",\"5,000\"",
                         "\"2026/04/02\",\"返品　ショップ\",\"本人\",\"1回払い\",\"-2,000\",\"0\",\"-2,000\","
                         "\"-2,000\",\"0\",\"0\""},
                   As::Utf8Bom)
            << "楽天カード"
            << QStringList {"20260402 2000 返品　ショップ", "20260410 -10000 ＶＩＳＡ国内利用　VS スーパー",
                   "20260420 -1320 ＥＴＣ　首都高速 （首都高速）渋谷～用賀"}
            << "/4320/5";
        // The 12-column form, its month columns of other months.
        QTest::newRow("楽天: 12 columns") << bytes(
            {"\"利用日\",\"利用店名・商品名\",\"利用者\",\"支払方法\",\"利用金額\",\"支払手数料\","
             "\"支払総額\",\"支払月\",\"12月支払金額\",\"当月請求額\",\"1月繰越残高\",\"新規サイン\"",
                "\"2025/11/03\",\"書店\",\"本人\",\"1回払い\",\"800\",\"0\",\"800\",\"12月\",\"800\","
                "\"800\",\"0\",\"*\""},
            As::Utf8Bom) << "楽天カード" << QStringList {"20251103 -800 書店"}
                                          << "/800/12";
        // An 11-column form no heading of the preset lists: found by the columns it reads.
        QTest::newRow("楽天: 11 columns, 手数料/利息")
            << bytes({"\"利用日\",\"利用店名・商品名\",\"利用者\",\"支払方法\",\"利用金額\",\"手数料/利息\","
                      "\"支払総額\",\"支払月\",\"3月支払金額\",\"4月繰越残高\",\"新規サイン\"",
                         "\"2026/02/11\",\"ドラッグ\",\"本人\",\"1回払い\",\"450\",\"0\",\"450\",\"3月\","
                         "\"450\",\"0\",\"\""},
                   As::Utf8Bom)
            << "楽天カード" << QStringList {"20260211 -450 ドラッグ"} << "/450/3";
        QTest::newRow("三井住友: no heading, two sections, commas inside names, trailers")
            << bytes({"山田　太郎　様,4980-00**-****-1234,三井住友カード",
                   "2026/05/03,ＡＭＡＺＯＮ．ＣＯ．ＪＰ,1200,１,,1200,",
                   "2026/05/05,カフェ,ベーカリー,880,１,,880,", ",,,,,2080,",
                   "山田　太郎　様,4980-00**-****-5678,iD", "2026/05/10,コンビニ,-150,１,,-150,",
                   ",,,,,-150,"})
            << "三井住友カード"
            << QStringList {"20260503 -1200 ＡＭＡＺＯＮ．ＣＯ．ＪＰ", "20260505 -880 カフェ,ベーカリー",
                   "20260510 150 コンビニ"}
            << "/1930/";
        // The pieces of a name are joined with what stood between them, blanks included.
        QTest::newRow("三井住友: a name holding the separator and blanks")
            << bytes({"山田　太郎　様,4980-00**-****-1234,三井住友カード",
                   "2026/05/12,GITHUB, INC. (HTTPSGITHUB.C),1200,１,,1200,",
                   "2026/05/13,ＣＡＦＥ ，　ＢＡＫＥＲＹ , 本店,500,１,,500,", ",,,,,1700,"})
            << "三井住友カード"
            << QStringList {"20260512 -1200 GITHUB, INC. (HTTPSGITHUB.C)",
                   "20260513 -500 ＣＡＦＥ ，　ＢＡＫＥＲＹ , 本店"}
            << "/1700/";
        QTest::newRow("JCB: leading-space dates, a cancelled purchase, a yearly fee of a month")
            << bytes({"\"\",\"\",\"今回のお支払日\",\"2026/06/10\"",
                   "\"\",\"\",\"今回のお支払金額合計(￥)\",\"6,375\"",
                   "\"\",\"\",\"国内ご利用金額合計(￥)\",\"6,375\"",
                   "\"\",\"\",\"海外ご利用金額合計(￥)\",\"0\"", "\"【ご利用明細】\"",
                   "\"ご利用者\",\"カテゴリ\",\"ご利用日\",\"ご利用先など\",\"ご利用金額(￥)\",\"支払区分\","
                   "\"今回回数\",\"訂正サイン\",\"お支払い金額(￥)\",\"国内／海外\",\"摘要\",\"備考\"",
                   "\"本人\",\"ショッピング\",\" "
                   "2026/05/01\",\"ＪＣＢ　ストア\",\"5,000\",\"1回払い\",\"\",\"\","
                   "\"5,000\",\"国内\",\"\",\"\"",
                   "\"本人\",\"ショッピング\",\" 2026/05/03\",\"ＪＣＢ　ストア\",\"1,000\",\"1回払い\",\"\","
                   "\"取消\",\"\",\"国内\",\"\",\"\"",
                   "\"本人\",\"年会費\",\" 2026/05\",\"年会費\",\"1,375\",\"1回払い\",\"\",\"\",\"1,375\","
                   "\"国内\",\"\",\"\""})
            << "JCBカード"
            << QStringList {"20260501 -5000 ＪＣＢ　ストア", "20260501 -1375 年会費",
                   "20260503 1000 ＪＣＢ　ストア"}
            << "20260610/6375/";
        QTest::newRow("イオン: yymmdd, a member discount, the instalment table after")
            << bytes({"ご利用カード,イオンカードセレクト", "今回ご請求金額,6150", "お支払い日,2026年 7月 2日",
                   "ご利用明細", "ご利用日,利用者区分,ご利用先,支払方法,,,ご利用金額,備考,",
                   "260601,本人,イオンスタイル,1回払い,,,5000,,", ",,会員さま割引,,,,-250,,",
                   "260610,本人,ドラッグストア,1回払い,,,1400,,", "分割・ボーナス払い明細",
                   "ご利用日,ご利用先,支払回数,ご利用金額,実質年率,お支払い総額,今回ご請求金額,内手数料,"
                   "今回回数",
                   "260301,家電店,3回,30000,0,30000,10000,0,1"})
            << "イオンカード"
            << QStringList {"20260601 -4750 イオンスタイル 会員さま割引", "20260610 -1400 ドラッグストア"}
            << "20260702/6150/";
        QTest::newRow("エポス: title line, footer with totals and notes")
            << bytes({"月別ご利用明細　山田　太郎　様　株式会社エポスカード,,,,,,,",
                   "種別（ショッピング、キャッシング、その他）,ご利用年月日,ご利用場所,ご利用内容,"
                   "ご利用金額（キャッシングでは元金になります）,支払区分,お支払開始月,備考",
                   "ショッピング,2026年5月3日,マルイ,－,864,1回払い,2026年6月,",
                   "ショッピング,2026年5月9日,書店,－,\"1,200\",1回払い,2026年6月,", "",
                   "ショッピング合計,,,,2064,,,", "キャッシング合計,,,,0,,,", "※ご利用明細の内容は…,,,,,,,"})
            << "エポスカード" << QStringList {"20260503 -864 マルイ", "20260509 -1200 書店"} << "//";
        QTest::newRow("PayPay 2023: UTF-8 without BOM, 11 columns") << utf8(
            {"\"利用日/キャンセル日\",\"利用店名・商品名\",\"利用者\",\"支払区分\",\"利用金額\",\"手数料\","
             "\"支払総額\",\"当月支払金額\",\"翌月以降繰越金額\",\"調整額\",\"当月お支払日\"",
                "\"2023/8/"
                "1\",\"ﾔﾌｰｼｮｯﾋﾟﾝｸﾞ\",\"本人\",\"1回\",\"2,980\",\"0\",\"2,980\",\"2,980\",\"0\",\"0\","
                "\"2023/9/27\"",
                "\"2023/8/5\",\"ｺﾝﾋﾞﾆ\",\"本人\",\"均等 2／6\",\"6,000\",\"0\",\"6,000\",\"1,000\",\"5,000\","
                "\"0\",\"2023/9/27\""}) << "PayPayカード"
                                                                    << QStringList {"20230801 -2980 "
                                                                                    "ﾔﾌｰｼｮｯﾋﾟﾝｸﾞ",
                                                                           "20230805 -6000 ｺﾝﾋﾞﾆ"}
                                                                    << "20230927/3980/";
        QTest::newRow("PayPay 2026: BOM, 決済方法 column, a negative adjustment") << bytes(
            {"\"利用日/キャンセル日\",\"利用店名・商品名\",\"利用者\",\"決済方法\",\"支払区分\","
             "\"利用金額\",\"手数料\",\"支払総額\",\"当月支払金額\",\"翌月以降繰越金額\",\"調整額\","
             "\"当月お支払日\"",
                "\"2026/5/2\",\"ｽｰﾊﾟｰ\",\"本人\",\"PayPay\",\"1回\",\"1,100\",\"0\",\"1,100\",\"1,100\","
                "\"0\",\"-100\",\"2026/6/27\""},
            As::Utf8Bom) << "PayPayカード" << QStringList {"20260502 -1100 ｽｰﾊﾟｰ"} << "20260627/1100/";
        QTest::newRow("セゾン: zero-padded total, holder, subtotal and total rows")
            << bytes({"カード名称,セゾンカードインターナショナル", "お支払日,2026/05/07",
                   "今回ご請求額,0000003500", "",
                   "利用日,ご利用店名及び商品名,本人・家族区分,支払区分名称,締前入金区分,利用金額,備考",
                   ",ご利用者名:山田　太郎　様,,,,,", "2026/04/01,スーパー,本人,1回,,2000,",
                   "2026/04/03,書店,本人,1回,,1500,", ",【小計】,,,,3500,", ",【合計】,,,,3500,"})
            << "セゾンカード" << QStringList {"20260401 -2000 スーパー", "20260403 -1500 書店"}
            << "20260507/3500/";
        QTest::newRow("ビュー: card line after the heading, a refund in its own column")
            << bytes({"会員番号,****", "対象カード,ビューカード", "お支払日,2020年05月07日",
                   "今回お支払金額,\"3,524\"", "",
                   "ご利用年月日,ご利用箇所,ご利用額,払戻額,ご請求額（うち手数料・利息）,支払区分（回数）,"
                   "今回回数,今回ご請求額・弁済金（うち手数料・利息）,現地通貨額,通貨略称,換算レート",
                   "****-****-****-1234 山田　太郎",
                   "2020/03/10,ＪＲ東日本　モバイルＳｕｉｃａ,\"4,024\",,\"4,024\",1回,,\"4,024\",,,",
                   "2020/03/15,ＪＲ東日本　払戻し,,500,-500,1回,,-500,,,"})
            << "ビューカード"
            << QStringList {"20200310 -4024 ＪＲ東日本　モバイルＳｕｉｃａ",
                   "20200315 500 ＪＲ東日本　払戻し"}
            << "20200507/3524/";
        QTest::newRow("オリコ: yen sign amounts, a refund, a name with a line break")
            << bytes({"登録番号,T1234567890123", "お支払日,2025年9月29日", "ご請求総額,\"\\1,444\"",
                   "<利用明細>",
                   "ご利用日,ご利用先など,新旧,ご利用者,支払開始年月,支払区分,お支払回数,何回目,ご利用金額,"
                   "手数料・利息,年利%,その他,当月ご請求額,翌月繰越残高",
                   "2025年8月1日,\"ＡＢＣ",
                   "マート\",新,本人,2025年9月,1回払い,1,1,\"\\5,444\",,,,\"\\5,444\",",
                   "2025年8月3日,返品,新,本人,2025年9月,1回払い,1,1,\"\\-4,000\",,,,\"\\-4,000\","})
            << "オリコカード" << QStringList {"20250801 -5444 ＡＢＣ マート", "20250803 4000 返品"}
            << "20250929/1444/";
    }
    void issuers()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, preset);
        QFETCH(QStringList, expected);
        QFETCH(QString, bill);
        QString detected;
        const Statement s = read(file, &detected);
        QCOMPARE(detected, preset);
        QVERIFY(s.card);
        QCOMPARE(summary(s), expected);
        QVERIFY2(s.bad.isEmpty(),
            qPrintable(s.bad.isEmpty() ? QString() : s.bad.first().reason + s.bad.first().text));
        QCOMPARE(this->bill(s), bill);
    }

    // What a card file cannot say is listed, never guessed: a continuation with nothing above
    // it, a cancelled row without an amount, a ragged line where no column takes the rest.
    void doubtfulCardLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("reasons");
        const QString saison
            = "利用日,ご利用店名及び商品名,本人・家族区分,支払区分名称,締前入金区分,利用金額,備考";
        QTest::newRow("extra field where nothing joins")
            << bytes({saison, "2026/04/01,スーパー,本店,本人,1回,,2000,"})
            << QStringList {"列の数が見出しと違います"};
        QTest::newRow("no amount") << bytes({saison, "2026/04/01,スーパー,本人,1回,,,"})
                                   << QStringList {"金額がありません"};
        QTest::newRow("discount first")
            << bytes({"ご利用日,利用者区分,ご利用先,支払方法,,,ご利用金額,備考,", ",,会員さま割引,,,,-250,,"})
            << QStringList {"日付が読めません"};
    }
    void doubtfulCardLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, reasons);
        QString detected;
        const Statement s = read(file, &detected);
        QVERIFY(s.matched);
        QStringList got;
        for (const BadLine &b : s.bad)
            got << b.reason;
        QCOMPARE(got, reasons);
        QVERIFY(s.lines.isEmpty());
    }

    void presetFormIsChecked_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("card without charge") << QByteArray(
            "{\"name\":\"x\",\"kind\":\"card\",\"headings\":[[\"日\",\"店\"]],\"date\":\"日\","
            "\"description\":\"店\"}") << "金額の列がありません";
        QTest::newRow("broken pattern") << QByteArray(
            "{\"name\":\"x\",\"kind\":\"card\",\"headings\":[[\"日\",\"店\",\"額\"]],\"date\":\"日\","
            "\"description\":\"店\",\"charge\":\"額\",\"patterns\":{\"額\":\"(\"}}")
                                        << "見出しのパターンが正しくありません：額";
        QTest::newRow("broken skip") << QByteArray(
            "{\"name\":\"x\",\"kind\":\"card\",\"headings\":[[\"日\",\"店\",\"額\"]],\"date\":\"日\","
            "\"description\":\"店\",\"charge\":\"額\",\"skip\":[\"[a\"]}")
                                     << "行のパターンが正しくありません：[a";
        QTest::newRow("section without heading is fine") << QByteArray(
            "{\"name\":\"x\",\"kind\":\"card\",\"section\":\"^#\",\"columns\":[\"日\",\"店\",\"額\"],"
            "\"date\":\"日\","
            "\"description\":\"店\",\"charge\":\"額\"}") << "";
    }
    void presetFormIsChecked()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QString why;
        const Preset p = Preset::fromJson(json, &why);
        QCOMPARE(p.name.isEmpty(), !error.isEmpty());
        QCOMPARE(why, error);
    }
};

QTEST_GUILESS_MAIN(TestCardStatement)
#include "tst_cardstatement.moc"
