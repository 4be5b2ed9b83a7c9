// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV line builder: whatever the fields hold, the bytes written are exactly the lines
// "field,field,...CR LF" in code page 932, whether written field by field or as whole
// lines, in one block or across the writer's block boundary; a character the code page
// cannot hold becomes one "?"; and no field ever yields a line break or a comma byte that
// was not in its own text, so other programs still find every column where it belongs.
//
// Input: the first byte chooses how the rest is read (UTF-8 or raw UTF-16, which can carry
// unpaired surrogates), how lines are written, and whether a block boundary falls between
// them. In the text, U+0001 ends a field and U+0002 ends a line.
#include "Cp932.h"
#include "Csv.h"

#include <QBuffer>
#include <QHash>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern const std::vector<std::string> kFuzzSeeds = {
    std::string("\x00", 1)
        + "20050325\x01給与\x01"
          "250000\x01銀行\x01"
          "3月分\x02",
    std::string("\x02", 1) + "№\x01～\x01\\\x01ｱｲｳ\x02\x02",
    std::string("\x00", 1) + "a,b\x01\"q\"\x01改行\r\nあり\x02",
    std::string("\x04", 1) + "🍣\x01é\x01☃\x01한국\x02",
    std::string("\x01\x00\xd8\x41\x00\x01\x00\x3d\xd8\x63\xdf", 11),
    std::string("\x06", 1) + "長い備考長い備考長い備考\x01x\x02",
};

namespace {

[[noreturn]] void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "%s\ntext: %s\n", what, qPrintable(text.toHtmlEscaped()));
    std::abort();
}

// The code page form of one character (a surrogate pair is one character), "?" when the
// code page has none.
QByteArray charBytes(const QString &c)
{
    // Looking the code page up is slow; the answers are kept.
    static QHash<QString, QByteArray> known;
    auto it = known.constFind(c);
    if (it == known.constEnd())
        it = known.insert(c, Cp932::canEncode(c) ? Cp932::encode(c) : QByteArray("?"));
    return *it;
}

// The expected bytes, built character by character.
QByteArray expectedBytes(const QString &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        out += charBytes(text.mid(i, pair ? 2 : 1));
        if (pair)
            ++i;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype restSize = static_cast<qsizetype>(size - 1);
    const QString input = (mode & 1)
        ? QString(reinterpret_cast<const QChar *>(QByteArray(rest, restSize & ~qsizetype(1)).constData()),
            restSize / 2)
        : QString::fromUtf8(rest, restSize);

    QList<QStringList> lines;
    for (const QString &line : input.split(QChar(2)))
        lines << line.split(QChar(1));
    if (input.endsWith(QChar(2)))
        lines.removeLast();

    // Past the writer's block of 64K characters: the lines, a filler line that fills the
    // block, and the lines again, which then go out in the next block.
    std::vector<QList<QStringList>> passes {lines};
    // (Only for text the code page holds: the per-character path for other text is slow and
    // is covered at small sizes.)
    const bool crossBlock = (mode & 4) && Cp932::canEncode(input);
    if (crossBlock) {
        passes.push_back({QStringList {QString(64 * 1024, u'x')}});
        passes.push_back(lines);
    }

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QString text;
    {
        Csv::Writer w(&buffer);
        for (const QList<QStringList> &pass : passes) {
            for (const QStringList &fields : pass) {
                if (mode & 2) {
                    w.line(fields);
                } else {
                    for (const QString &f : fields)
                        w.field(f);
                    w.endLine();
                }
                text += fields.join(u',') + QStringLiteral("\r\n");
            }
        }
        if (!w.finish())
            fail("finish() failed on a buffer", input);
    }
    const QByteArray &bytes = buffer.data();

    if (bytes != Cp932::encode(text))
        fail("the written bytes are not the encoded lines", input);
    if (!crossBlock && bytes != expectedBytes(text))
        fail("the encoding differs from the per-character encoding", input);
    if (bytes.count('\n') != text.count(u'\n') || bytes.count('\r') != text.count(u'\r'))
        fail("a field produced a line break of its own", input);
    if (bytes.count(',') != text.count(u','))
        fail("a field produced a comma of its own", input);
    return 0;
}
