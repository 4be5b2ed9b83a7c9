// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"

#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <optional>
#include <utility>

namespace Cp932 {

namespace {

constexpr const char *kCodec = "windows-31j";

// Encodes one run of text with the given encoder; false when a character had no cp932 form
// (the encoder then keeps its error and must be replaced).
bool tryEncode(QStringEncoder &enc, QStringView text, QByteArray *out)
{
    const QByteArray bytes = enc.encode(text);
    if (enc.hasError())
        return false;
    if (out)
        *out = bytes;
    return true;
}

bool tryEncode(QStringView text, QByteArray *out)
{
    QStringEncoder enc(kCodec, QStringConverter::Flag::Stateless);
    Q_ASSERT(enc.isValid());
    return tryEncode(enc, text, out);
}

// Input methods produce the JIS forms of some signs, for which the code page holds the
// code under another character: these go out as the code page's own forms, so that "〜" is
// written as 81 60 and not as "?".
QString toCodePageForms(const QString &text)
{
    static constexpr std::pair<char16_t, char16_t> forms[] = {
        {u'\u301C', u'\uFF5E'}, // wave dash -> full-width tilde
        {u'\u2212', u'\uFF0D'}, // minus sign -> full-width hyphen-minus
        {u'\u2016', u'\u2225'}, // double vertical line -> parallel to
        {u'\u2014', u'\u2015'}, // em dash -> horizontal bar
        {u'\u00A2', u'\uFFE0'}, // cent sign -> full-width cent sign
        {u'\u00A3', u'\uFFE1'}, // pound sign -> full-width pound sign
        {u'\u00AC', u'\uFFE2'}, // not sign -> full-width not sign
    };
    QString out = text;
    for (QChar &c : out) {
        for (const auto &[jis, codePage] : forms) {
            if (c.unicode() == jis) {
                c = QChar(codePage);
                break;
            }
        }
    }
    return out;
}

} // namespace

QByteArray encode(const QString &original)
{
    const QString text = toCodePageForms(original);
    QByteArray out;
    if (tryEncode(text, &out))
        return out;
    // Slow path only for text that holds something cp932 cannot: encode per character,
    // with one encoder (looking the code page up is the costly part).
    out.clear();
    // (Constructed in place: a moved-into encoder does not report errors reliably.)
    std::optional<QStringEncoder> enc(std::in_place, kCodec, QStringConverter::Flag::Stateless);
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len
            = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        QByteArray one;
        if (tryEncode(*enc, QStringView(text).mid(i, len), &one)) {
            out += one;
        } else {
            out += '?';
            enc.emplace(kCodec, QStringConverter::Flag::Stateless);
        }
        i += len - 1;
    }
    return out;
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder dec(kCodec);
    return dec.decode(bytes);
}

bool canEncode(const QString &text)
{
    return tryEncode(toCodePageForms(text), nullptr);
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    // flush() before commit(): commit() does not report a failure of the final buffered write.
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace Cp932
