// SPDX-License-Identifier: GPL-3.0-or-later
// The whole reading of a statement file, as the import window does it: the encoding, the
// heading and the preset, the fields, dates and amounts, and the order of the lines. Whatever
// the bytes, nothing crashes or hangs, and every line after the heading that is not blank
// ends either read (once) or listed as unreadable with its number (once); the lines read are
// oldest first, each on a calendar day, with an amount, a key and no control character.
//
// Input: the bytes are read as a whole file; then, so that random bytes reach the lines too,
// the first byte chooses a preset whose heading line (in code page 932 or UTF-8) is put before
// the rest.
//
// Seeds: a file of each built-in preset. Under libFuzzer, VELMO_FUZZ_SEEDS=DIR writes them into
// DIR (the corpus) before the run.
#include "Cp932.h"
#include "Preset.h"
#include "StatementParser.h"
#include "StatementValues.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string utf16le(std::u16string_view text)
{
    std::string out("\xFF\xFE");
    for (char16_t c : text) {
        out += char(c & 0xFF);
        out += char(c >> 8);
    }
    return out;
}

} // namespace

extern const std::vector<std::string> kFuzzSeeds = {
    // 三菱UFJ銀行, code page 932.
    "\"\x93\xfa\x95t\",\"\x93"
    "E\x97v\",\"\x93"
    "E\x97v\x93\xe0\x97"
    "e\",\"\x8ex\x95\xa5\x82\xa2"
    "\x8b\xe0\x8az\",\"\x97"
    "a\x82\xa9\x82\xe8\x8b\xe0\x8az\",\"\x8d\xb7\x88\xf8\x8e"
    "c\x8d\x82\","
    "\"\x83\x81\x83\x82\",\"\x96\xa2\x8e\x91\x8b\xe0\x89\xbb\x8b\xe6\x95\xaa\",\"\x93\xfc\x95\xa5\x8b"
    "\xe6\x95\xaa\"\x0d\x0a\"2024/11/1\",\"\x90U\x8d\x9e\",\"\x83J\x81j\x83\x84\x83}\x83_\x83V\x83"
    "\x88\x83"
    "E\x83W\",\"\",\"250,000\",\"300,000\",\"\",\"\",\"\x93\xfc\x8b\xe0\"\x0d\x0a\"2024/11"
    "/25\",\"\x83J\x81[\x83h\",\"\x82`\x82"
    "a\x82"
    "b\x83X\x83g\x83"
    "A\x82P\x82Q\",\"9,000\",\"\","
    "\"291,000\",\"\",\"\",\"\x8ex\x95\xa5\"\x0d\x0a",
    // ゆうちょ銀行, code page 932, seven lines before the heading.
    "\x82\xa8\x8bq\x82\xb3\x82\xdc\x8c\xfb\x8d\xc0\x8f\xee\x95\xf1,\x0d\x0a\x8c\xbb\x8d\xdd\x8d\x82,1"
    "23456,\x0d\x0a\x8fo\x97\xcd\x93\xfa\x8e\x9e,\x97\xdf\x98"
    "a6\x94N12\x8c\x8e"
    "1\x93\xfa 10\x8e"
    "\x9e"
    "00\x95\xaa,\x0d\x0a\x8c\xfb\x8d\xc0\x94\xd4\x8d\x86,10170-12345671,\x0d\x0a\x8f\xc6\x89"
    "\xef\x91\xce\x8f\xdb,\x95\x81\x92\xca\x97"
    "a\x8b\xe0,\x0d\x0a\x93\xfa\x95t\x8ew\x92\xe8,2024110"
    "1-20241130,\x0d\x0a\x96\xbe\x8d\xd7\x8c\x8f\x90\x94,2,\x0d\x0a\x8e\xe6\x88\xf8\x93\xfa,\x93\xfc"
    "\x8fo\x8b\xe0\x96\xbe\x8d\xd7\x82h\x82"
    "c,\x8e\xf3\x93\xfc\x8b\xe0\x8az\x81i\x89~\x81j,\x95\xa5"
    "\x8fo\x8b\xe0\x8az\x81i\x89~\x81j,\x8f\xda\x8d\xd7\x82P,\x8f\xda\x8d\xd7\x82Q,\x8c\xbb\x8d\xdd"
    "\x81i\x91\xdd\x95t\x81j\x8d\x82,\x0d\x0a"
    "20241102,000000001,,1200,\xb6\xb0\xc4\xde,\xba\xdd"
    "\xcb\xde\xc6,98800,\x0d\x0a"
    "20241103,000000002,50000,,\x90U\x8d\x9e,\xd4\xcf\xc0\xde \xc0\xdb"
    "\xb3,148800,\x0d\x0a",
    // The others in UTF-8, which the reading takes for what it is.
    "\"年月日（和暦）\",\"お引出し\",\"お預入れ\",\"お取り扱い内容\",\"残高\"\r\n"
    "\"H30.01.15\",\"3,000\",\"\",\"ｶ-ﾄﾞ\",\"97,000\"\r\n\"R6.01.25\",\"\",\"10,000\",\"ﾌﾘｺﾐ\",\"107,"
    "000\"\r\n",
    "年月日,お引出し,お預入れ,お取り扱い内容,残高,メモ,ラベル\r\n2021/05/01,-1,,ﾃｽｳﾘﾖｳ,999,,\r\n"
    "2022/08/01,2000,,カード,\"8,000\",,\r\n",
    "\"日付\",\"内容\",\"出金金額(円)\",\"入金金額(円)\",\"残高(円)\",\"メモ\"\r\n"
    "\"2024/11/30\",\"振込＊ヤマダ\",,\"10,000\",\"30,000\",\"-\"\r\n"
    "\"2024/11/02\",\"デビット\",\"500\",,\"20,000\",\"-\"\r\n\"2024/11/"
    "02\",\"ATM\",\"1,000\",,\"20,500\",\"-\"\r\n",
    "取引日,入出金(円),取引後残高(円),入出金先内容\r\n20241101,-3086,96914,カ゛ス－ト゛ウキヨウ\r\n"
    "20241105,－２００,96714,ＡＴＭ\r\n",
    "取引日,入出金(円),取引後残高(円),入出金内容\r\n20230101,500,500,利息\r\n",
    "\"操作日(年)\",\"操作日(月)\",\"操作日(日)\",\"操作時刻(時)\",\"操作時刻(分)\",\"操作時刻(秒)\","
    "\"取引順番号\","
    "\"摘要\",\"お支払金額\",\"お預り金額\",\"残高\",\"メモ\"\r\n"
    "\"2024\",\"11\",\"3\",\"10\",\"20\",\"30\",\"77001\",\"Vデビット\",\"1,500\",\"\",\"8,500\",\"\"\r\n",
    "\xEF\xBB\xBF\"取引日\",\"摘要\",\"出金金額\",\"入金金額\",\"残高\"\r\n\"2024/11/"
    "20\",\"振込\",\"\",\"5,000\","
    "\"15,000\"\r\n\"2024/11/10\",\"ATM\",\"2,000\",\"\",\"10,000\"\r\n",
    utf16le(
        u"入出金明細\r\n口座\r\n普通 1234567\r\n期間\r\n2018/01/01-2018/01/31\r\n\r\n出力\r\n2018/02/01\r\n"
        u"取引日\t照会番号\t摘要\tお支払金額\tお預り金額\t残高\r\n2018/01/20\t0002\tATM\t1,000\t\t4,000\r\n"
        u"2018/01/05\t0001\t給与\t\t5,000\t5,000\r\n"),
    "\"お取り引き日\",\"摘要\",\"参考情報\",\"お預け入れ額\",\"お引き出し額\",\"差し引き残高\"\r\n"
    "\"2024年11月1日\",\"振込\",\"ヤマダ\",\"3,000\",\"\",\"3,000\"\r\n\"2024年11月2日\",\"ATM\",\"\",\"\","
    "\"1,000\","
    "\"2,000\"\r\n",
    "\"日付\",\"お取引内容\",\"お引出し\",\"お預入れ\",\"残高（お借入れはマイナス表示）\"\r\n"
    "\"2024/10/01\",\"ｶｰﾄﾞ\",\"5,000\",\"\",\"-1,000\"\r\n",
    "\"番号\",\"明細区分\",\"取扱日付\",\"起算日\",\"お支払金額\",\"お預り金額\",\"取引区分\",\"残高\","
    "\"摘要\"\r\n"
    "\"1\",\"1\",\"4月30日\",\"4月30日\",\"\\7,000\",\"\",\"振替\",\"\\93,000\",\"ﾃﾞﾝｷﾀﾞｲ\"\r\n"
    "\"2\",\"1\",\"5月1日\",\"\",\"\",\"\\100\",\"利息\",\"\\93,100\",\"\"\r\n",
    // Cards: one without a heading (sections, commas inside a name, trailers), one with a month
    // in its heading, newest first, and a row continuing the one above.
    "山田　太郎　様,4980-00**-****-1234,三井住友カード\r\n2026/05/03,ＡＭＡＺＯＮ,1200,１,,1200,\r\n"
    "2026/05/05,カフェ,ベーカリー,880,１,,880,\r\n,,,,,2080,\r\n",
    "\xEF\xBB\xBF\"利用日\",\"利用店名・商品名\",\"利用者\",\"支払方法\",\"利用金額\",\"支払手数料\","
    "\"支払総額\","
    "\"5月支払金額\",\"6月繰越残高\",\"6月以降請求額\"\r\n\"2026/04/20\",\"ＥＴＣ\",\"本人\",\"1回払い\","
    "\"1,320\",\"0\",\"1,320\",\"1,320\",\"0\",\"0\"\r\n\"\",\"渋谷～用賀\",\"\",\"\",\"\",\"\",\"\",\"\","
    "\"\","
    "\"\"\r\n\"2026/04/"
    "02\",\"返品\",\"本人\",\"1回払い\",\"-2,000\",\"0\",\"-2,000\",\"-2,000\",\"0\",\"0\"\r\n",
};

namespace {

[[noreturn]] void fail(const char *what, int lineNo = 0)
{
    std::fprintf(stderr, "%s (line %d)\n", what, lineNo);
    std::abort();
}

const QList<Preset> &presets()
{
    static const QList<Preset> list = Preset::builtIns();
    return list;
}

bool hasControl(const QString &text)
{
    for (QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

// Reads the file with one preset and checks what came out: every line after the heading ends
// read, unreadable or passed over by the layout, once.
void checkParse(const Preset &preset, const QStringList &lines, int heading)
{
    const Statement st = StatementParser::parse(preset, lines, QDate(2024, 12, 8));
    if (!st.matched)
        fail("the heading was found but the preset's columns were not", heading + 1);
    if (st.headingLine != heading + 1)
        fail("another heading line", st.headingLine);

    QHash<int, int> seen; // line number → times it ended read or unreadable
    QSet<QString> fingerprints;
    int lastDate = 0;
    for (const StatementLine &l : st.lines) {
        ++seen[l.lineNo];
        const QDate day(l.date / 10000, l.date / 100 % 100, l.date % 100);
        if (!day.isValid())
            fail("a line read on no calendar day", l.lineNo);
        if (l.date < lastDate)
            fail("lines not oldest first", l.lineNo);
        lastDate = l.date;
        if (l.amount == 0)
            fail("a line read without an amount", l.lineNo);
        if (l.key.isEmpty() || hasControl(l.description) || hasControl(l.key))
            fail("a key or description that cannot be stored", l.lineNo);
        // Identical lines of a day are told apart by their number among them.
        if (l.key.startsWith(u"fp:")) {
            if (fingerprints.contains(l.key))
                fail("two lines with one key", l.lineNo);
            fingerprints.insert(l.key);
        }
    }
    for (const BadLine &b : st.bad) {
        ++seen[b.lineNo];
        if (b.reason.isEmpty())
            fail("an unreadable line without a reason", b.lineNo);
    }
    for (int lineNo : st.passed)
        ++seen[lineNo];
    (void)st.balanceBefore();
    for (int i = heading + 1; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        bool blank = true;
        for (const QString &f : StatementValues::fields(lines.at(i), preset.separator))
            blank = blank && f.isEmpty();
        const int times = seen.take(lineNo);
        if (blank ? times != 0 : times != 1)
            fail(blank ? "a blank line was read" : "a line neither read nor listed once", lineNo);
    }
    if (!seen.isEmpty())
        fail("a line number outside the statement", seen.begin().key());
}

void checkFile(const QByteArray &bytes)
{
    const StatementValues::Decoded decoded = StatementValues::decode(bytes);
    const QStringList lines = StatementValues::lines(decoded.text);
    const std::optional<int> detected = StatementParser::detect(presets(), lines);
    // The window reads a file with the preset found first, and with any other the user picks
    // whose heading the file has.
    for (int i = 0; i < presets().size(); ++i) {
        const std::optional<int> heading = StatementParser::findHeading(presets().at(i), lines);
        if (detected == i && !heading)
            fail("detected a preset whose heading is not there");
        if (heading)
            checkParse(presets().at(i), lines, *heading);
    }
    if (!detected) {
        for (const QString &line : lines.mid(0, 5))
            if (StatementValues::excerpt(line).size() > 201)
                fail("a quoted line longer than 200 characters");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QByteArray dir = qgetenv("VELMO_FUZZ_SEEDS");
    if (dir.isEmpty())
        return 0;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    for (size_t i = 0; i < kFuzzSeeds.size(); ++i) {
        QFile f(QString::fromLocal8Bit(dir) + QStringLiteral("/seed-%1.csv").arg(i));
        if (f.open(QIODevice::WriteOnly))
            f.write(kFuzzSeeds[i].data(), qint64(kFuzzSeeds[i].size()));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkFile(bytes);
    if (size == 0)
        return 0;
    // A preset's heading before the rest, in one of the encodings a bank writes.
    static const QList<QByteArray> headings = [] {
        QList<QByteArray> list;
        for (const Preset &p : presets()) {
            const QString heading = p.headings.first().join(p.separator) + QStringLiteral("\r\n");
            list << Cp932::encode(heading) << heading.toUtf8();
        }
        return list;
    }();
    checkFile(headings.at(data[0] % headings.size()) + bytes.mid(1));
    return 0;
}
