// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <optional>

// The pieces a bank's statement file is made of: its encoding, its fields, its dates and its
// amounts, read the many ways Japanese banks write them.
namespace StatementValues {

enum class Encoding { Utf8Bom, Utf16Le, Utf16Be, Utf8, Cp932 };

struct Decoded
{
    QString text;
    Encoding encoding = Encoding::Utf8;
};

// A BOM decides (UTF-8, UTF-16); otherwise UTF-8 when the whole file decodes strictly,
// else code page 932 (windows-31j).
Decoded decode(const QByteArray &bytes);
QString encodingName(Encoding encoding);

// The file's lines, without their line ends (CR LF, LF or CR).
QStringList lines(const QString &text);

// A line of a file as a message or a list shows it: at most `chars` characters, with "…"
// where it was cut.
QString excerpt(const QString &line, qsizetype chars = 200);

// The fields of one line: quoted ("a,b", "" for a quote) or not, around the separator.
// Fields are trimmed of surrounding blanks.
QStringList fields(const QString &line, QChar separator);
// Fields first .. first + count - 1 of the line as one: the text that stood from the first's
// start to the last's end, separators and blanks between them kept ("GITHUB, INC." stays so),
// trimmed. Quoted pieces among them are joined by the separator.
QString joinedFields(const QString &line, QChar separator, qsizetype first, qsizetype count);

// A day as written in the file; year 0 when the text carries none ("4月30日").
struct PartialDate
{
    int year = 0;
    int month = 0;
    int day = 0;
    int yyyymmdd() const { return year * 10000 + month * 100 + day; }
};

// yyyy/m/d (also with - or .), yyyymmdd, yyyy年m月d日, era forms (H30.01.15, R6.1.25,
// 平成 30 年 07 月 22 日, 令和元年...), and m月d日 or m/d without a year. Full-width digits
// are read as digits. A day that is no calendar day gives nullopt.
std::optional<PartialDate> date(const QString &text);
// The one form a layout writes its dates in; Auto reads every form above. With any other form
// a date written differently is no date: a file is never read by guessing its form per line.
enum class DateForm {
    Auto,
    Western, // yyyy/m/d (also - or .) and yyyy年m月d日
    Digits8, // yyyymmdd
    Era, // H30.01.15, R6.1.25, 平成 30 年 07 月 22 日
    NoYear, // m月d日, m/d
    Digits6 // yymmdd, years 2000-2099; never read by Auto (six digits can be anything)
};
std::optional<PartialDate> date(const QString &text, DateForm form);
// Three fields holding the year, the month and the day.
std::optional<PartialDate> date(const QString &year, const QString &month, const QString &day);

// An amount in yen: thousands commas, "\" or "¥" before the number, full-width digits and
// minus, a sign, "円" after it, "▲"/"△" for minus. The empty text (or a lone "-") is
// `empty`; text that is no whole number within 32 bits is nullopt.
struct AmountText
{
    bool empty = false;
    qint32 value = 0;
};
std::optional<AmountText> amount(const QString &text);

// A description as rules and fingerprints compare it: NFKC (half-width kana become
// full-width, full-width letters and digits half-width), separate voicing marks joined to
// their kana, runs of blanks as one space, upper case.
QString normalise(const QString &description);

} // namespace StatementValues
