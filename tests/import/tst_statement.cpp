// SPDX-License-Identifier: GPL-3.0-or-later
#include "Preset.h"
#include "StatementFiles.h"
#include "StatementParser.h"
#include "StatementValues.h"

#include <QDate>
#include <QTest>

using namespace StatementFiles;
using namespace StatementValues;

Q_DECLARE_METATYPE(StatementFiles::As)

// Reading bank statement files: encodings, presets, dates, amounts, order and bad lines.
class TestStatement : public QObject
{
    Q_OBJECT

    QList<Preset> m_presets;

    const Preset &preset(const QString &name) const
    {
        for (const Preset &p : m_presets)
            if (p.name == name)
                return p;
        qFatal("no preset %s", qPrintable(name));
    }

    // Decodes, detects the preset and parses, as the window does.
    Statement read(const QByteArray &file, QString *detected = nullptr, Encoding *encoding = nullptr) const
    {
        const Decoded d = decode(file);
        if (encoding)
            *encoding = d.encoding;
        const QStringList l = lines(d.text);
        const auto i = StatementParser::detect(m_presets, l);
        if (!i)
            return {};
        if (detected)
            *detected = m_presets.at(*i).name;
        return StatementParser::parse(m_presets.at(*i), l, QDate(2024, 12, 8));
    }

    Statement read_(const QByteArray &file) const { return read(file); }

    static QStringList summary(const Statement &s)
    {
        QStringList out;
        for (const StatementLine &l : s.lines)
            out << QStringLiteral("%1 %2 %3%4")
                       .arg(l.date)
                       .arg(l.amount)
                       .arg(l.description, l.balance ? QStringLiteral(" =%1").arg(*l.balance) : QString());
        return out;
    }

private slots:
    void initTestCase()
    {
        m_presets = Preset::builtIns();
        QCOMPARE(m_presets.size(), 21); // every resource file loads
        for (const Preset &p : m_presets) {
            // A preset survives its own JSON (user presets are stored that way).
            const Preset again = Preset::fromJson(p.toJson());
            QCOMPARE(again.toJson(), p.toJson());
        }
    }

    void dates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 0: refused; < 10000: month and day without a year
        QTest::newRow("slashes, not padded") << "2024/1/5" << 20240105;
        QTest::newRow("slashes, padded") << "2024/01/05" << 20240105;
        QTest::newRow("hyphens") << "2024-12-31" << 20241231;
        QTest::newRow("8 digits") << "20240229" << 20240229;
        QTest::newRow("full-width digits") << "２０２４／０３／０１" << 20240301;
        QTest::newRow("kanji") << "2024年7月22日" << 20240722;
        QTest::newRow("era letter H") << "H30.01.15" << 20180115;
        QTest::newRow("era letter R, not padded") << "R6.1.25" << 20240125;
        QTest::newRow("era long form with blanks") << "平成 30 年 07 月 22 日" << 20180722;
        QTest::newRow("first year of an era") << "令和元年5月1日" << 20190501;
        QTest::newRow("Showa") << "S64.01.07" << 19890107;
        QTest::newRow("no year, kanji") << "4月30日" << 430;
        QTest::newRow("no year, slash") << "12/31" << 1231;
        QTest::newRow("no calendar day") << "2023/02/29" << 0;
        QTest::newRow("month 13") << "20241301" << 0;
        QTest::newRow("7 digits") << "2024011" << 0;
        QTest::newRow("era year 0") << "R0.1.1" << 0;
        QTest::newRow("words") << "合計" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void dates()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const auto d = date(text);
        QCOMPARE(d ? d->yyyymmdd() : 0, expected);
    }

    void amounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<int>("value");
        QTest::newRow("commas") << "9,000" << true << false << 9000;
        QTest::newRow("yen backslash") << "\\7,000" << true << false << 7000;
        QTest::newRow("backslash minus") << "\\-4,000" << true << false << -4000;
        QTest::newRow("yen sign") << "¥1,234,567" << true << false << 1234567;
        QTest::newRow("full-width yen and digits") << "￥１２，３４５" << true << false << 12345;
        QTest::newRow("full-width minus") << "－３０８６" << true << false << -3086;
        QTest::newRow("signed") << "-3086" << true << false << -3086;
        QTest::newRow("plus") << "+500" << true << false << 500;
        QTest::newRow("triangle minus") << "▲1,000" << true << false << -1000;
        QTest::newRow("yen after") << "1,000円" << true << false << 1000;
        QTest::newRow("empty") << "" << true << true << 0;
        QTest::newRow("lone dash") << "-" << true << true << 0;
        QTest::newRow("32-bit maximum") << "2,147,483,647" << true << false << 2147483647;
        QTest::newRow("too large") << "2147483648" << false << false << 0;
        QTest::newRow("decimals") << "100.5" << false << false << 0;
        QTest::newRow("letters") << "abc" << false << false << 0;
    }
    void amounts()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(bool, empty);
        QFETCH(int, value);
        const auto a = amount(text);
        QCOMPARE(bool(a), ok);
        if (a) {
            QCOMPARE(a->empty, empty);
            QCOMPARE(a->value, value);
        }
    }

    void normalisedDescriptionsCompareKanaForms()
    {
        // Half-width kana, full-width kana with a separate voicing mark, full-width letters.
        QCOMPARE(normalise("ｶﾞｽﾀﾞｲ  ＡＢＣ"), normalise("カ゛スタ゛イ abc"));
        QCOMPARE(normalise("ｶﾞｽﾀﾞｲ"), QStringLiteral("ガスダイ"));
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("encoding");
        const QStringList l {"日付,内容", "2024/1/1,ｶﾞｽ代"};
        QTest::newRow("cp932") << bytes(l) << int(Encoding::Cp932);
        QTest::newRow("UTF-8 BOM") << bytes(l, As::Utf8Bom) << int(Encoding::Utf8Bom);
        QTest::newRow("UTF-16LE BOM") << bytes(l, As::Utf16LeBom) << int(Encoding::Utf16Le);
        QTest::newRow("UTF-8 without BOM") << (l.join("\r\n") + "\r\n").toUtf8() << int(Encoding::Utf8);
        // 81 7C is U+FF0D in windows-31j (plain Shift_JIS would read U+2212).
        QTest::newRow("cp932 minus") << QByteArray("\x81\x7C") << int(Encoding::Cp932);
    }
    void encodings()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, encoding);
        const Decoded d = decode(file);
        QCOMPARE(int(d.encoding), encoding);
        if (file.size() > 2)
            QCOMPARE(lines(d.text), QStringList({"日付,内容", "2024/1/1,ｶﾞｽ代"}));
        else
            QCOMPARE(d.text, QString(QChar(0xFF0D)));
    }

    // One file in each bank's layout: the preset found, the lines oldest first.
    void presets_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("preset");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("三菱UFJ 9 columns") << bytes({"\"日付\",\"摘要\",\"摘要内容\",\"支払い金額\","
                                                     "\"預かり金額\",\"差引残高\",\"メモ\",\"未資金化区分\","
                                                     "\"入払区分\"",
            "\"2024/11/1\",\"振込\",\"カ）ヤマダシヨウジ\",\"\",\"250,000\",\"300,000\",\"\",\"\",\"入金\"",
            "\"2024/11/25\",\"カード\",\"ＡＢＣストア１２\",\"9,000\",\"\",\"291,000\",\"\",\"\",\"支払\""})
                                           << "三菱UFJ銀行"
                                           << QStringList {"20241101 250000 振込 カ）ヤマダシヨウジ =300000",
                                                  "20241125 -9000 カード ＡＢＣストア１２ =291000"};
        QTest::newRow("三菱UFJ 6 columns")
            << bytes({"\"日付\",\"摘要\",\"摘要内容\",\"支払い金額\",\"預かり金額\",\"差引残高\"",
                   "\"2024/3/5\",\"口座振替\",\"デンキ\",\"1,200\",\"\",\"8,800\""})
            << "三菱UFJ銀行" << QStringList {"20240305 -1200 口座振替 デンキ =8800"};
        QTest::newRow("三井住友 era dates")
            << bytes({"\"年月日（和暦）\",\"お引出し\",\"お預入れ\",\"お取り扱い内容\",\"残高\"",
                   "\"H30.01.15\",\"3,000\",\"\",\"ｶ-ﾄﾞ\",\"97,000\"",
                   "\"R6.01.25\",\"\",\"10,000\",\"ﾌﾘｺﾐ\",\"107,000\""})
            << "三井住友銀行 (和暦)"
            << QStringList {"20180115 -3000 ｶ-ﾄﾞ =97000", "20240125 10000 ﾌﾘｺﾐ =107000"};
        QTest::newRow("三井住友 negative withdrawals")
            << bytes({"年月日,お引出し,お預入れ,お取り扱い内容,残高,メモ,ラベル",
                   "2021/05/01,-1,,ﾃｽｳﾘﾖｳ,999,,", "2022/08/01,2000,,カード,\"8,000\",,"})
            << "三井住友銀行" << QStringList {"20210501 -1 ﾃｽｳﾘﾖｳ =999", "20220801 -2000 カード =8000"};
        QTest::newRow("ゆうちょ") << bytes(yucho({"20241102,000000001,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,98800,",
            "20241103,000000002,50000,,振込,ﾔﾏﾀﾞ ﾀﾛｳ,148800,"}))
                                  << "ゆうちょ銀行"
                                  << QStringList {"20241102 -1200 ｶｰﾄﾞ ｺﾝﾋﾞﾆ =98800",
                                         "20241103 50000 振込 ﾔﾏﾀﾞ ﾀﾛｳ =148800"};
        QTest::newRow("住信SBI newest first")
            << bytes({"\"日付\",\"内容\",\"出金金額(円)\",\"入金金額(円)\",\"残高(円)\",\"メモ\"",
                   "\"2024/11/30\",\"振込＊ヤマダ\",,\"10,000\",\"30,000\",\"-\"",
                   "\"2024/11/02\",\"デビット\",\"500\",,\"20,000\",\"-\"",
                   "\"2024/11/02\",\"ATM\",\"1,000\",,\"20,500\",\"-\""})
            << "住信SBIネット銀行"
            << QStringList {"20241102 -1000 ATM =20500", "20241102 -500 デビット =20000",
                   "20241130 10000 振込＊ヤマダ =30000"};
        QTest::newRow("楽天 signed column, full-width minus and separate voicing mark")
            << bytes({"取引日,入出金(円),取引後残高(円),入出金先内容",
                   "20241101,-3086,96914,カ゛ス－ト゛ウキヨウ", "20241105,－２００,96714,ＡＴＭ"})
            << "楽天銀行"
            << QStringList {"20241101 -3086 カ゛ス－ト゛ウキヨウ =96914", "20241105 -200 ＡＴＭ =96714"};
        QTest::newRow("楽天 older heading")
            << bytes({"取引日,入出金(円),残高(円),入出金先内容", "20200101,500,500,利息"}) << "楽天銀行"
            << QStringList {"20200101 500 利息 =500"};
        QTest::newRow("楽天 2023 heading, a variant of the payee column")
            << bytes({"取引日,入出金(円),取引後残高(円),入出金内容", "20230105,-1100,8900,デンキ"})
            << "楽天銀行" << QStringList {"20230105 -1100 デンキ =8900"};
        // Columns found by their headings wherever they stand; one the preset does not use is
        // left alone.
        QTest::newRow("楽天 columns moved, one added")
            << bytes({"入出金内容,メモ,取引日,取引後残高(円),入出金(円)", "デンキ,,20230105,8900,-1100"})
            << "楽天銀行" << QStringList {"20230105 -1100 デンキ =8900"};
        QTest::newRow("PayPay three date columns") << bytes(
            {"\"操作日(年)\",\"操作日(月)\",\"操作日(日)\",\"操作時刻(時)\",\"操作時刻(分)\",\"操作時刻(秒)"
             "\",\"取引順番号\","
             "\"摘要\",\"お支払金額\",\"お預り金額\",\"残高\",\"メモ\"",
                "\"2024\",\"11\",\"3\",\"10\",\"20\",\"30\",\"77001\",\"Vデビット\",\"1,500\",\"\",\"8,500\","
                "\"\""}) << "PayPay銀行" << QStringList {"20241103 -1500 Vデビット =8500"};
        QTest::newRow("PayPay oldest form")
            << bytes({"\"操作日(年)\",\"操作日(月)\",\"操作日(日)\",\"取引順番号\",\"摘要\",\"お支払金額\","
                      "\"お預り金額\",\"残高\"",
                   "\"2019\",\"1\",\"31\",\"5\",\"利息\",\"\",\"3\",\"3\""})
            << "PayPay銀行" << QStringList {"20190131 3 利息 =3"};
        QTest::newRow("SBI新生 UTF-8 BOM newest first")
            << bytes({"\"取引日\",\"摘要\",\"出金金額\",\"入金金額\",\"残高\"",
                         "\"2024/11/20\",\"振込\",\"\",\"5,000\",\"15,000\"",
                         "\"2024/11/10\",\"ATM\",\"2,000\",\"\",\"10,000\""},
                   As::Utf8Bom)
            << "SBI新生銀行" << QStringList {"20241110 -2000 ATM =10000", "20241120 5000 振込 =15000"};
        QTest::newRow("SBI新生 old UTF-16 tabs, 8 lines before the heading")
            << bytes({"入出金明細", "口座", "普通 1234567", "期間", "2018/01/01-2018/01/31", "", "出力",
                         "2018/02/01", "取引日\t照会番号\t摘要\tお支払金額\tお預り金額\t残高",
                         "2018/01/20\t0002\tATM\t1,000\t\t4,000", "2018/01/05\t0001\t給与\t\t5,000\t5,000"},
                   As::Utf16LeBom)
            << "SBI新生銀行 (2018年まで)"
            << QStringList {"20180105 5000 給与 =5000", "20180120 -1000 ATM =4000"};
        QTest::newRow("ソニー deposit before withdrawal") << bytes(
            {"\"お取り引き日\",\"摘要\",\"参考情報\",\"お預け入れ額\",\"お引き出し額\",\"差し引き残高\"",
                "\"2024年11月1日\",\"振込\",\"ヤマダ\",\"3,000\",\"\",\"3,000\"",
                "\"2024年11月2日\",\"ATM\",\"\",\"\",\"1,000\",\"2,000\""})
                                                          << "ソニー銀行"
                                                          << QStringList {"20241101 3000 振込 ヤマダ =3000",
                                                                 "20241102 -1000 ATM =2000"};
        QTest::newRow("イオン negative balance")
            << bytes({"\"日付\",\"お取引内容\",\"お引出し\",\"お預入れ\",\"残高（お借入れはマイナス表示）\"",
                   "\"2024/10/01\",\"ｶｰﾄﾞ\",\"5,000\",\"\",\"-1,000\""})
            << "イオン銀行" << QStringList {"20241001 -5000 ｶｰﾄﾞ =-1000"};
        QTest::newRow("JA no year, yen backslash")
            << bytes({"\"番号\",\"明細区分\",\"取扱日付\",\"起算日\",\"お支払金額\",\"お預り金額\","
                      "\"取引区分\",\"残高\",\"摘要\"",
                   "\"1\",\"1\",\"4月30日\",\"4月30日\",\"\\7,000\",\"\",\"振替\",\"\\93,000\",\"ﾃﾞﾝｷﾀﾞｲ\""})
            << "JAネットバンク" << QStringList {"20240430 -7000 振替 ﾃﾞﾝｷﾀﾞｲ =93000"};
    }
    void presets()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, preset);
        QFETCH(QStringList, expected);
        QString detected;
        const Statement s = read(file, &detected);
        QCOMPARE(detected, preset);
        QVERIFY(s.matched);
        QCOMPARE(summary(s), expected);
        QVERIFY2(s.bad.isEmpty(), qPrintable(s.bad.isEmpty() ? QString() : s.bad.first().reason));
    }

    void bankIdsAndFingerprints()
    {
        const Statement y = read(bytes(yucho({"20241102,000000001,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,98800,"})));
        QCOMPARE(y.lines.first().key, QStringLiteral("id:000000001"));
        QCOMPARE(y.account, QStringLiteral("10170-12345671"));
        QCOMPARE(y.headingLine, 8);
        QCOMPARE(y.balanceBefore(), std::optional<qint32>(100000));
        // Two identical purchases on one day are two lines with two keys; the same purchase
        // written in half-width kana in another download is the same line.
        const QString h = "\"日付\",\"内容\",\"出金金額(円)\",\"入金金額(円)\",\"残高(円)\",\"メモ\"";
        const Statement a = read(bytes({h, "\"2024/11/02\",\"コンビニ\",\"500\",,\"9,000\",\"-\"",
            "\"2024/11/02\",\"コンビニ\",\"500\",,\"9,500\",\"-\""}));
        QCOMPARE(a.lines.size(), 2);
        QVERIFY(a.lines[0].key != a.lines[1].key);
        const Statement b = read(bytes({h, "\"2024/11/02\",\"ｺﾝﾋﾞﾆ\",\"500\",,\"9,500\",\"-\""}));
        QCOMPARE(b.lines[0].key, a.lines[0].key);
    }

    void yearsMissingFromDatesAreTakenAndSaid()
    {
        const QString h = "\"番号\",\"明細区分\",\"取扱日付\",\"起算日\",\"お支払金額\",\"お預り金額\","
                          "\"取引区分\",\"残高\",\"摘要\"";
        // No year anywhere: this year, unless the day lies after today (then last year).
        const Statement s = read(bytes({h, "\"1\",\"1\",\"11月30日\",\"\",\"\\100\",\"\",\"\",\"\",\"A\"",
            "\"2\",\"1\",\"12月20日\",\"\",\"\\100\",\"\",\"\",\"\",\"B\""}));
        QCOMPARE(summary(s), QStringList({"20231220 -100 B", "20241130 -100 A"}));
        QCOMPARE(s.notes,
            QStringList({"年のない日付を2023年として読みました", "年のない日付を2024年として読みました"}));
        // Another line's year wins over today's.
        const Statement t = read(bytes({h, "\"1\",\"1\",\"2022/4/29\",\"\",\"\\100\",\"\",\"\",\"\",\"A\"",
            "\"2\",\"1\",\"4月30日\",\"\",\"\\100\",\"\",\"\",\"\",\"B\""}));
        QCOMPARE(summary(t), QStringList({"20220429 -100 A", "20220430 -100 B"}));
    }

    void badLinesAreListedWithTheirNumbersNeverGuessed()
    {
        const Statement s = read(
            bytes({"\"日付\",\"お取引内容\",\"お引出し\",\"お預入れ\",\"残高（お借入れはマイナス表示）\"",
                "\"2024/10/01\",\"A\",\"5,000\",\"\",\"\"", "\"2024/13/01\",\"B\",\"1\",\"\",\"\"",
                "\"2024/10/02\",\"C\",\"1x\",\"\",\"\"", "", "\"2024/10/03\",\"D\",\"1\",\"2\",\"\"",
                "\"2024/10/04\",\"E\",\"\",\"\",\"\"", "\"合計\",\"\",\"5,001\",\"\",\"\""}));
        QCOMPARE(summary(s), QStringList({"20241001 -5000 A"}));
        QStringList bad;
        for (const BadLine &b : s.bad)
            bad << QStringLiteral("%1 %2").arg(b.lineNo).arg(b.reason);
        QCOMPARE(bad,
            QStringList({"3 日付が読めません", "4 金額が読めません", "6 出金と入金の両方があります",
                "7 金額がありません", "8 日付が読めません"}));
    }

    void filesThatAreNoStatement_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other CSV") << bytes({"name,age", "a,1"});
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        // A heading that only begins like one of the presets.
        QTest::newRow("near heading") << bytes({"取引日,入出金(円),取引後残高(円)"});
        // A column a preset needs is missing: its amounts, its bank's row id, or a part of its
        // description; or it heads two columns and which is meant would be a guess.
        QTest::newRow("楽天 without its amounts")
            << bytes({"取引日,取引後残高(円),入出金内容", "20230105,8900,x"});
        QTest::newRow("ゆうちょ without its ids") << bytes(
            {"取引日,受入金額（円）,払出金額（円）,詳細１,詳細２,現在（貸付）高", "20241102,,1,a,b,9"});
        QTest::newRow("三菱UFJ without 摘要内容")
            << bytes({"\"日付\",\"摘要\",\"支払い金額\",\"預かり金額\",\"差引残高\"",
                   "\"2024/3/5\",\"a\",\"1\",\"\",\"9\""});
        QTest::newRow("楽天 with two date columns")
            << bytes({"取引日,取引日,入出金(円),取引後残高(円),入出金内容", "20230105,20230106,-1,8900,x"});
    }
    void filesThatAreNoStatement()
    {
        QFETCH(QByteArray, file);
        const Decoded d = decode(file);
        QVERIFY(!StatementParser::detect(m_presets, lines(d.text)));
    }

    // A line with another number of fields than the heading has its columns shifted: it is
    // listed with its number, never read. Only the empty fields the heading line itself ends
    // with may be missing.
    void raggedLinesAreListedNeverShifted_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("read");
        QTest::addColumn<QStringList>("bad");
        const QString mufg = "日付,摘要,摘要内容,支払い金額,預かり金額,差引残高,メモ,未資金化区分,入払区分";
        QTest::newRow("an amount with its comma unquoted") << bytes(
            {mufg, "2024/11/1,振込,ﾔﾏﾀﾞ,,250,000,300000,,,入金", "2024/11/2,ｶｰﾄﾞ,A,500,,299500,,,支払"})
                                                           << QStringList {"20241102 -500 ｶｰﾄﾞ A =299500"}
                                                           << QStringList {"2 列の数が見出しと違います"};
        // The shift lands in the empty memo columns: the balance would read 8.
        QTest::newRow("shifted into empty columns") << bytes(
            {"年月日,お引出し,お預入れ,お取り扱い内容,残高,メモ,ラベル", "2022/08/01,2000,,カード,8,000,,"})
                                                    << QStringList {}
                                                    << QStringList {"2 列の数が見出しと違います"};
        QTest::newRow("one more, empty, at the end")
            << bytes({"\"日付\",\"摘要\",\"摘要内容\",\"支払い金額\",\"預かり金額\",\"差引残高\"",
                   "2024/3/5,口座振替,デンキ,,1,200,"})
            << QStringList {} << QStringList {"2 列の数が見出しと違います"};
        QTest::newRow("one short") << bytes({mufg, "2024/11/2,ｶｰﾄﾞ,A,500,,299500,,"}) << QStringList {}
                                   << QStringList {"2 列の数が見出しと違います"};
        QTest::newRow("without the comma the heading line ends with")
            << bytes(yucho({"20241102,000000001,,1200,ｶｰﾄﾞ,ｺﾝﾋﾞﾆ,98800"}))
            << QStringList {"20241102 -1200 ｶｰﾄﾞ ｺﾝﾋﾞﾆ =98800"} << QStringList {};
    }
    void raggedLinesAreListedNeverShifted()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, read);
        QFETCH(QStringList, bad);
        const Statement s = read_(file);
        QVERIFY(s.matched);
        QCOMPARE(summary(s), read);
        QStringList listed;
        for (const BadLine &b : s.bad)
            listed << QStringLiteral("%1 %2").arg(b.lineNo - s.headingLine + 1).arg(b.reason);
        QCOMPARE(listed, bad);
    }

    // Oldest first, the order within a day as the bank wrote it: dates that run one way say how
    // the whole file runs, the preset's declaration decides a file of one day.
    void orderOfTheLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        const QString sbi = "日付,内容,出金金額(円),入金金額(円),残高(円),メモ"; // newest first
        const QString aeon = "日付,お取引内容,お引出し,お預入れ,残高（お借入れはマイナス表示）";
        QTest::newRow("newest first, one day")
            << bytes({sbi, "2024/11/02,B,200,,9700,-", "2024/11/02,A,100,,9900,-"})
            << QStringList {"20241102 -100 A =9900", "20241102 -200 B =9700"};
        QTest::newRow("declared newest first, written oldest first")
            << bytes(
                   {sbi, "2024/11/01,A,100,,9900,-", "2024/11/02,B,200,,9700,-", "2024/11/02,C,300,,9400,-"})
            << QStringList {"20241101 -100 A =9900", "20241102 -200 B =9700", "20241102 -300 C =9400"};
        QTest::newRow("declared oldest first, written newest first")
            << bytes({aeon, "2024/11/02,C,300,,9400", "2024/11/02,B,200,,9700", "2024/11/01,A,100,,9900"})
            << QStringList {"20241101 -100 A =9900", "20241102 -200 B =9700", "20241102 -300 C =9400"};
        QTest::newRow("oldest first, one day")
            << bytes({aeon, "2024/11/02,A,100,,9900", "2024/11/02,B,200,,9700"})
            << QStringList {"20241102 -100 A =9900", "20241102 -200 B =9700"};
        QTest::newRow("dates both ways: turned as declared, then by date")
            << bytes({sbi, "2024/11/02,X,1,,0,-", "2024/11/03,Z,3,,0,-", "2024/11/02,Y,2,,0,-"})
            << QStringList {"20241102 -2 Y =0", "20241102 -1 X =0", "20241103 -3 Z =0"};
    }
    void orderOfTheLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        QCOMPARE(summary(read_(file)), expected);
    }

    // A description or id never carries a control character into the ledger (a NUL ends the
    // text of a statement), and a "%" in it stays as it is in the line's key.
    void descriptionsAreStorableAsTheyAre()
    {
        const QString aeon = "日付,お取引内容,お引出し,お預入れ,残高（お借入れはマイナス表示）";
        const Statement s = read_(bytes({aeon,
            QStringLiteral("2024/11/02,ｺﾝ") + QChar(0) + "ﾋﾞﾆ\x01,100,,9900", "2024/11/02,A%1%2,100,,9800"}));
        QCOMPARE(summary(s), QStringList({"20241102 -100 ｺﾝ ﾋﾞﾆ =9900", "20241102 -100 A%1%2 =9800"}));
        QCOMPARE(s.lines.at(1).key, QStringLiteral("fp:20241102|-100|A%1%2|1"));
        const Statement y = read_(bytes(yucho({QStringLiteral("20241102,0001") + QChar(0) + ",,1,a,b,9,"})));
        QCOMPARE(y.lines.at(0).key, QStringLiteral("id:0001"));
    }

    void userPresetRoundTrip()
    {
        Preset p;
        p.name = QStringLiteral("わたしの銀行");
        p.headings = {{"day", "what", "amount"}};
        p.date = QStringList {"day"};
        p.description = QStringList {"what"};
        p.signedAmount = QStringLiteral("amount");
        const Preset q = Preset::fromJson(p.toJson());
        QCOMPARE(q.name, p.name);
        const Statement s = StatementParser::parse(q, {"day,what,amount", "R6.2.1,x,-5"}, QDate(2024, 12, 8));
        QCOMPARE(summary(s), QStringList({"20240201 -5 x"}));
        QString why;
        QVERIFY(Preset::fromJson(R"({"name":"x","headings":[["a"]],"date":"a","description":"a"})", &why)
                    .name.isEmpty());
        QCOMPARE(why, QStringLiteral("金額の列がありません"));
        QVERIFY(Preset::fromJson("not json", &why).name.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStatement)
#include "tst_statement.moc"
