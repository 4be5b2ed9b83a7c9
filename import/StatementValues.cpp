// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatementValues.h"

#include "Cp932.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringDecoder>

namespace StatementValues {

Decoded decode(const QByteArray &bytes)
{
    const auto withBom = [&](QStringConverter::Encoding e, qsizetype bom, Encoding kind) {
        QStringDecoder dec(e, QStringConverter::Flag::Stateless);
        return Decoded {dec.decode(bytes.mid(bom)), kind};
    };
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return withBom(QStringConverter::Utf8, 3, Encoding::Utf8Bom);
    if (bytes.startsWith("\xFF\xFE"))
        return withBom(QStringConverter::Utf16LE, 2, Encoding::Utf16Le);
    if (bytes.startsWith("\xFE\xFF"))
        return withBom(QStringConverter::Utf16BE, 2, Encoding::Utf16Be);
    QStringDecoder strict(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = strict.decode(bytes);
    if (!strict.hasError())
        return {text, Encoding::Utf8};
    return {Cp932::decode(bytes), Encoding::Cp932};
}

QString encodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf8Bom:
        return QStringLiteral("UTF-8 (BOM)");
    case Encoding::Utf16Le:
        return QStringLiteral("UTF-16LE");
    case Encoding::Utf16Be:
        return QStringLiteral("UTF-16BE");
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Cp932:
        break;
    }
    return QStringLiteral("Shift_JIS (cp932)");
}

QStringList lines(const QString &text)
{
    static const QRegularExpression ends(QStringLiteral("\r\n|\n|\r"));
    QStringList list = text.split(ends);
    if (!list.isEmpty() && list.constLast().isEmpty())
        list.removeLast();
    if (!list.isEmpty() && list.first().startsWith(QChar(0xFEFF)))
        list.first().remove(0, 1);
    return list;
}

QString excerpt(const QString &line, qsizetype chars)
{
    if (line.size() <= chars)
        return line;
    return line.left(chars) + QChar(0x2026);
}

namespace {

// Walks the fields of a line as fields() reads them, giving each field's value (unquoted and
// trimmed) and where its text stands in the line: from its first character to the separator
// after it (or the line's end).
template <typename OnField> void scanFields(const QString &line, QChar separator, OnField onField)
{
    QString current;
    bool quoted = false;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != u'"')
                current += c;
            else if (i + 1 < line.size() && line.at(i + 1) == u'"')
                current += c, ++i;
            else
                quoted = false;
        } else if (c == u'"' && current.trimmed().isEmpty()) {
            quoted = true;
            current.clear();
        } else if (c == separator) {
            onField(current.trimmed(), begin, i);
            current.clear();
            begin = i + 1;
        } else {
            current += c;
        }
    }
    onField(current.trimmed(), begin, line.size());
}

} // namespace

QStringList fields(const QString &line, QChar separator)
{
    QStringList out;
    scanFields(line, separator, [&](const QString &value, qsizetype, qsizetype) { out << value; });
    return out;
}

QString joinedFields(const QString &line, QChar separator, qsizetype first, qsizetype count)
{
    QStringList values;
    qsizetype begin = -1, end = -1, index = 0;
    scanFields(line, separator, [&](const QString &value, qsizetype from, qsizetype to) {
        if (index >= first && index < first + count) {
            values << value;
            if (begin < 0)
                begin = from;
            end = to;
        }
        ++index;
    });
    const QString between = begin < 0 ? QString() : line.mid(begin, end - begin);
    // A quoted piece among them is read as fields() reads it, not as it is written.
    if (between.contains(u'"'))
        return values.join(separator);
    return between.trimmed();
}

namespace {

// Full-width digits and signs as ASCII, no blanks.
QString compact(const QString &text)
{
    QString s = text.normalized(QString::NormalizationForm_KC);
    s.replace(QChar(0x2212), u'-'); // minus sign
    s.replace(QChar(0x2010), u'-');
    s.replace(QChar(0x2012), u'-');
    s.replace(QChar(0x2013), u'-');
    s.removeIf([](QChar c) { return c.isSpace(); });
    return s;
}

std::optional<PartialDate> checked(int y, int m, int d)
{
    if (m < 1 || m > 12 || d < 1 || d > 31)
        return std::nullopt;
    // Without a year, any year that has the day will do (29 February: a leap year).
    if (!QDate(y ? y : 2000, m, d).isValid())
        return std::nullopt;
    if (y != 0 && (y < 1868 || y > 9999))
        return std::nullopt;
    return PartialDate {y, m, d};
}

int eraStart(const QString &era)
{
    static const struct
    {
        const char16_t *letter, *name;
        int start;
    } eras[] = {{u"M", u"明治", 1868}, {u"T", u"大正", 1912}, {u"S", u"昭和", 1926}, {u"H", u"平成", 1989},
        {u"R", u"令和", 2019}};
    for (const auto &e : eras)
        if (era.compare(QStringView(e.letter), Qt::CaseInsensitive) == 0 || era == QStringView(e.name))
            return e.start;
    return 0;
}

} // namespace

std::optional<PartialDate> date(const QString &text)
{
    return date(text, DateForm::Auto);
}

std::optional<PartialDate> date(const QString &text, DateForm form)
{
    const QString s = compact(text);
    static const QRegularExpression digits8(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    static const QRegularExpression western(
        QStringLiteral("^(\\d{4})(?:[/.\\-](\\d{1,2})[/.\\-](\\d{1,2})|年(\\d{1,2})月(\\d{1,2})日)$"));
    static const QRegularExpression era(
        QStringLiteral("^([MTSHRmtshr]|明治|大正|昭和|平成|令和)(\\d{1,2}|元)(?:[/.\\-](\\d{1,2})[/"
                       ".\\-](\\d{1,2})|年(\\d{1,2})月(\\d{1,2})日)$"));
    static const QRegularExpression noYear(
        QStringLiteral("^(?:(\\d{1,2})月(\\d{1,2})日|(\\d{1,2})/(\\d{1,2}))$"));
    // The second of two alternative groups that matched.
    const auto pick = [](const QRegularExpressionMatch &m, int a, int b) {
        return m.captured(a).isEmpty() ? m.captured(b).toInt() : m.captured(a).toInt();
    };
    const auto reads = [form](DateForm f) { return form == DateForm::Auto || form == f; };
    QRegularExpressionMatch m;
    if (reads(DateForm::Digits8) && (m = digits8.match(s)).hasMatch())
        return checked(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (reads(DateForm::Western) && (m = western.match(s)).hasMatch())
        return checked(m.captured(1).toInt(), pick(m, 2, 4), pick(m, 3, 5));
    if (reads(DateForm::Era) && (m = era.match(s)).hasMatch()) {
        const int n = m.captured(2) == u"元" ? 1 : m.captured(2).toInt();
        if (n < 1)
            return std::nullopt;
        return checked(eraStart(m.captured(1)) + n - 1, pick(m, 3, 5), pick(m, 4, 6));
    }
    static const QRegularExpression digits6(QStringLiteral("^(\\d{2})(\\d{2})(\\d{2})$"));
    if (form == DateForm::Digits6 && (m = digits6.match(s)).hasMatch())
        return checked(2000 + m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (reads(DateForm::NoYear) && (m = noYear.match(s)).hasMatch())
        return checked(0, pick(m, 1, 3), pick(m, 2, 4));
    return std::nullopt;
}

std::optional<PartialDate> date(const QString &year, const QString &month, const QString &day)
{
    static const QRegularExpression number(QStringLiteral("^\\d{1,4}$"));
    const QString y = compact(year), m = compact(month), d = compact(day);
    if (!number.match(y).hasMatch() || y.size() != 4 || !number.match(m).hasMatch()
        || !number.match(d).hasMatch())
        return std::nullopt;
    return checked(y.toInt(), m.toInt(), d.toInt());
}

std::optional<AmountText> amount(const QString &text)
{
    QString s = compact(text);
    if (s.isEmpty() || s == u"-")
        return AmountText {true, 0};
    bool negative = false;
    if (s.startsWith(u'▲') || s.startsWith(u'△')) {
        negative = true;
        s.remove(0, 1);
    }
    s.remove(u',');
    s.remove(u'\\');
    s.remove(QChar(0x00A5)); // ¥ (the full-width form became this one)
    if (s.endsWith(u'円'))
        s.chop(1);
    static const QRegularExpression whole(QStringLiteral("^[-+]?\\d{1,12}$"));
    if (!whole.match(s).hasMatch())
        return std::nullopt;
    qint64 v = s.toLongLong();
    if (negative)
        v = -v;
    if (v < -2147483647LL || v > 2147483647LL)
        return std::nullopt;
    return AmountText {false, static_cast<qint32>(v)};
}

QString normalise(const QString &description)
{
    QString s = description;
    // Separate voicing marks (゛゜) would become a blank and a combining mark under NFKC and
    // never join their kana; as combining marks they do.
    s.replace(QChar(0x309B), QChar(0x3099));
    s.replace(QChar(0x309C), QChar(0x309A));
    s = s.normalized(QString::NormalizationForm_KC);
    s = s.simplified();
    return s.toUpper();
}

} // namespace StatementValues
