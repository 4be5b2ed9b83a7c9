// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatementParser.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

using namespace StatementValues;

std::optional<qint32> Statement::balanceBefore() const
{
    if (lines.isEmpty() || !lines.first().balance)
        return std::nullopt;
    const qint64 before = qint64(*lines.first().balance) - lines.first().amount;
    if (before < INT32_MIN || before > INT32_MAX)
        return std::nullopt;
    return qint32(before);
}

namespace StatementParser {

namespace {

// A heading line is short: a longer line is never split to be compared with one.
constexpr qsizetype MaxHeadingChars = 2000;

QStringList withoutTrailingEmpty(QStringList f)
{
    while (!f.isEmpty() && f.constLast().isEmpty())
        f.removeLast();
    return f;
}

struct Columns
{
    QList<int> date, description;
    int out = -1, in = -1, signedAmount = -1, balance = -1, id = -1;
    int charge = -1, refund = -1, cancel = -1, paymentDate = -1, bill = -1, joinInto = -1;
};

// The column of the first of `names` the heading has; -1 when it has none, or when the one it
// has heads two columns (which of them is meant would be a guess).
int columnOf(const Preset &p, const QStringList &heading, const QStringList &names)
{
    for (const QString &name : names) {
        int found = -1;
        for (int i = 0; i < heading.size(); ++i)
            if (p.headingMatches(heading.at(i), name)) {
                if (found >= 0)
                    return -1;
                found = i;
            }
        if (found >= 0)
            return found;
    }
    return -1;
}

// Column positions by heading; false when a column the preset needs is missing. Every column
// the preset names is needed but the balance (and a card's optional columns): without its id
// the lines would be recognised by another key, without a part of the description by another
// text.
bool resolve(const Preset &p, const QStringList &heading, Columns &c)
{
    const auto at = [&](const QString &column) { return columnOf(p, heading, p.headingsOf(column)); };
    for (const QString &d : p.date)
        c.date << at(d);
    for (const QString &d : p.description)
        c.description << at(d);
    for (const QString &b : p.balance)
        if (c.balance < 0)
            c.balance = at(b);
    c.id = at(p.id);
    if (c.date.isEmpty() || c.date.contains(-1) || c.description.isEmpty() || c.description.contains(-1))
        return false;
    if (!p.id.isEmpty() && c.id < 0)
        return false;
    if (p.card) {
        c.charge = at(p.charge);
        c.refund = at(p.refund);
        c.cancel = at(p.cancel);
        c.paymentDate = at(p.paymentColumn);
        c.bill = at(p.billColumn);
        c.joinInto = at(p.joinInto);
        return c.charge >= 0 && (p.refund.isEmpty() || c.refund >= 0);
    }
    c.out = at(p.out);
    c.in = at(p.in);
    c.signedAmount = at(p.signedAmount);
    return p.signedAmount.isEmpty() ? c.out >= 0 && c.in >= 0 : c.signedAmount >= 0;
}

// A preset's expression, compiled once: a file is matched line by line against every preset.
const QRegularExpression &compiled(const QString &pattern)
{
    static thread_local QHash<QString, QRegularExpression> cache;
    auto it = cache.find(pattern);
    if (it == cache.end())
        it = cache.insert(pattern, QRegularExpression(pattern));
    return *it;
}

bool matchesAny(const QStringList &expressions, const QString &line)
{
    for (const QString &e : expressions)
        if (compiled(e).match(line).hasMatch())
            return true;
    return false;
}

bool sameHeading(const Preset &p, const QStringList &fields, const QStringList &heading)
{
    if (fields.size() != heading.size())
        return false;
    for (int i = 0; i < fields.size(); ++i)
        if (!p.headingMatches(fields.at(i), heading.at(i)))
            return false;
    return true;
}

enum class Match { Exact, ByColumns };

// Whether a line is the preset's heading: exactly one of its heading lines, or a line that has
// every column the preset needs.
bool isHeading(const Preset &preset, const QString &line, Match match)
{
    if (line.size() > MaxHeadingChars)
        return false;
    // A file without a heading: its first section line stands in for it.
    if (!preset.section.isEmpty())
        return match == Match::Exact && compiled(preset.section).match(line).hasMatch();
    // Every heading the preset can read names its date column: a line without that text is
    // not split at all (a file is tried with every preset, line by line).
    const QStringList dateNames = preset.headingsOf(preset.date.value(0));
    if (std::none_of(dateNames.begin(), dateNames.end(),
            [&](const QString &name) { return name.contains(u'"') || line.contains(name); }))
        return false;
    const QStringList f = withoutTrailingEmpty(fields(line, preset.separator));
    if (match == Match::ByColumns) {
        Columns c;
        return resolve(preset, f, c);
    }
    for (const QStringList &h : preset.headings)
        if (sameHeading(preset, f, withoutTrailingEmpty(h)))
            return true;
    return false;
}

std::optional<int> findHeading(const Preset &preset, const QStringList &lines, Match match)
{
    for (int i = 0; i < lines.size(); ++i)
        if (isHeading(preset, lines.at(i), match))
            return i;
    return std::nullopt;
}

// Characters that have no place in a description or an id: control characters (a NUL would
// end the text of a statement that names it) become blanks, and blanks at the ends go.
QString withoutControls(QString text)
{
    bool any = false;
    for (QChar &ch : text)
        if (ch.category() == QChar::Other_Control) {
            ch = u' ';
            any = true;
        }
    return any ? text.trimmed() : text;
}

struct Pending
{
    StatementLine line;
    PartialDate date;
};

// The field after the first one that is `label`, in the lines before the heading.
QString labelledValue(const Preset &p, const QStringList &lines, int before, const QString &label)
{
    if (label.isEmpty())
        return {};
    for (int i = 0; i < before; ++i) {
        const QStringList f = fields(lines.at(i), p.separator);
        const qsizetype at = f.indexOf(label);
        if (at < 0)
            continue;
        for (qsizetype j = at + 1; j < f.size(); ++j)
            if (!f.at(j).isEmpty())
                return f.at(j);
    }
    return {};
}

bool hasOpenQuote(const QString &text)
{
    return text.count(u'"') % 2 == 1;
}

// A date of year and month only, read as the month's first day.
std::optional<PartialDate> monthOnly(const QString &text)
{
    static const QRegularExpression ym(QStringLiteral("^\\s*(\\d{4})[/.\\-](\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = ym.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return date(m.captured(1), m.captured(2), QStringLiteral("1"));
}

} // namespace

std::optional<int> findHeading(const Preset &preset, const QStringList &lines)
{
    if (const auto exact = findHeading(preset, lines, Match::Exact))
        return exact;
    return findHeading(preset, lines, Match::ByColumns);
}

std::optional<int> detect(const QList<Preset> &presets, const QStringList &lines)
{
    // A heading one preset writes exactly wins over one another preset's columns fit.
    for (const Match match : {Match::Exact, Match::ByColumns})
        for (int i = 0; i < presets.size(); ++i)
            if (findHeading(presets.at(i), lines, match))
                return i;
    return std::nullopt;
}

Statement parse(const Preset &preset, const QStringList &lines, const QDate &today)
{
    Statement st;
    const std::optional<int> heading = findHeading(preset, lines);
    Columns c;
    const bool sections = !preset.section.isEmpty();
    const QStringList headingFields = !heading ? QStringList()
        : sections                             ? preset.columns
                                               : fields(lines.at(*heading), preset.separator);
    if (!heading || !resolve(preset, withoutTrailingEmpty(headingFields), c))
        return st;
    // A line has the heading's columns, and at most the empty ones the heading line ends with:
    // one field more or less shifts every column after it (an amount "250,000" written
    // without quotes is two fields), and such a line is never guessed at.
    const qsizetype named = withoutTrailingEmpty(headingFields).size();
    const qsizetype most = headingFields.size();
    st.matched = true;
    st.card = preset.card;
    st.headingLine = *heading + 1;
    if (!preset.account.isEmpty())
        for (int i = 0; i < *heading; ++i) {
            const QStringList f = fields(lines.at(i), preset.separator);
            if (f.size() >= 2 && f.first() == preset.account)
                st.account = f.at(1);
        }
    if (preset.card) {
        if (const auto d = date(labelledValue(preset, lines, *heading, preset.paymentDateLabel)))
            if (d->year)
                st.paymentDate = d->yyyymmdd();
        if (const auto t = amount(labelledValue(preset, lines, *heading, preset.totalLabel)); t && !t->empty)
            st.billTotal = t->value;
        if (!preset.billMonth.isEmpty()) {
            const QRegularExpression re(
                QRegularExpression::anchoredPattern(preset.patterns.value(preset.billMonth)));
            for (const QString &h : headingFields)
                if (const QRegularExpressionMatch m = re.match(h);
                    m.hasMatch() && m.lastCapturedIndex() >= 1) {
                    const int month = m.captured(1).toInt();
                    st.billMonth = month >= 1 && month <= 12 ? month : 0;
                }
        }
    }
    std::optional<qint64> billSum;
    std::optional<int> latestPayment;

    QList<Pending> pending;
    // Every line after the heading that is not blank ends read, listed as bad, or passed over
    // as the layout says (section and subtotal lines, what follows the data, parts of a row).
    const auto isBlank
        = [&](const QString &line) { return withoutTrailingEmpty(fields(line, preset.separator)).isEmpty(); };
    const auto passOver = [&](int index) {
        if (!isBlank(lines.at(index)))
            st.passed << index + 1;
    };
    for (int i = *heading + 1; i < lines.size(); ++i) {
        QString text = lines.at(i);
        const int lineNo = i + 1;
        if (matchesAny(preset.end, text)) {
            for (; i < lines.size(); ++i)
                passOver(i);
            break;
        }
        if (matchesAny(preset.skip, text) || (sections && compiled(preset.section).match(text).hasMatch())) {
            passOver(i);
            continue;
        }
        // A quoted field holding a line break goes on in the next line.
        while (preset.multiline && hasOpenQuote(text) && i + 1 < lines.size()) {
            text += u'\n' + lines.at(++i);
            passOver(i);
        }
        QStringList f = fields(text, preset.separator);
        if (withoutTrailingEmpty(f).isEmpty())
            continue; // a blank line
        const auto bad = [&](const QString &reason) { st.bad << BadLine {lineNo, text, reason}; };
        if (c.joinInto >= 0 && f.size() > most) {
            // A name holding the separator: its pieces are joined back.
            const qsizetype extra = f.size() - most;
            f[c.joinInto] = joinedFields(text, preset.separator, c.joinInto, extra + 1);
            f.remove(c.joinInto + 1, extra);
        }
        if (f.size() < named || f.size() > most) {
            bad(QStringLiteral("列の数が見出しと違います"));
            continue;
        }
        const auto field = [&](int col) { return col >= 0 && col < f.size() ? f.at(col) : QString(); };

        // A row without a date that belongs to the row above.
        if (preset.continuation && c.date.size() == 1 && field(c.date[0]).isEmpty()) {
            if (pending.isEmpty()) {
                bad(QStringLiteral("日付が読めません"));
                continue;
            }
            StatementLine &above = pending.last().line;
            QStringList parts;
            for (int col : c.description)
                if (const QString part = withoutControls(field(col)); !part.isEmpty())
                    parts << part;
            const auto a = amount(field(c.charge));
            if (!a) {
                bad(QStringLiteral("金額が読めません"));
                continue;
            }
            if (!parts.isEmpty())
                above.description += u' ' + parts.join(u' ');
            above.amount
                = qint32(qBound(qint64(INT32_MIN), qint64(above.amount) - a->value, qint64(INT32_MAX)));
            if (const auto b = amount(field(c.bill)); b && !b->empty)
                billSum = billSum.value_or(0) + b->value;
            st.passed << lineNo;
            continue;
        }

        std::optional<PartialDate> d = c.date.size() == 3
            ? date(field(c.date[0]), field(c.date[1]), field(c.date[2]))
            : date(field(c.date[0]), preset.dateForm);
        if (!d && preset.monthDates && c.date.size() == 1)
            d = monthOnly(field(c.date[0]));
        if (!d) {
            bad(QStringLiteral("日付が読めません"));
            continue;
        }
        qint64 signedAmount = 0;
        if (preset.card) {
            const auto charge = amount(field(c.charge));
            const auto refund
                = c.refund >= 0 ? amount(field(c.refund)) : std::optional<AmountText>(AmountText {true, 0});
            if (!charge || !refund) {
                bad(QStringLiteral("金額が読めません"));
                continue;
            }
            // A purchase takes money from the card; a refund, or a purchase marked cancelled,
            // gives it back.
            signedAmount = -qint64(charge->value) + qAbs(qint64(refund->value));
            if (c.cancel >= 0 && !preset.cancelMark.isEmpty() && field(c.cancel) == preset.cancelMark)
                signedAmount = qAbs(signedAmount);
            if (const auto b = amount(field(c.bill)); b && !b->empty)
                billSum = billSum.value_or(0) + b->value;
            if (c.paymentDate >= 0)
                if (const auto pd = date(field(c.paymentDate)); pd && pd->year)
                    latestPayment = qMax(latestPayment.value_or(0), pd->yyyymmdd());
        } else if (c.signedAmount >= 0) {
            const auto a = amount(field(c.signedAmount));
            if (!a) {
                bad(QStringLiteral("金額が読めません"));
                continue;
            }
            signedAmount = a->value;
        } else {
            const auto out = amount(field(c.out));
            const auto in = amount(field(c.in));
            if (!out || !in) {
                bad(QStringLiteral("金額が読めません"));
                continue;
            }
            const qint64 o = preset.outAbsolute ? qAbs(qint64(out->value)) : out->value;
            if (o != 0 && in->value != 0) {
                bad(QStringLiteral("出金と入金の両方があります"));
                continue;
            }
            signedAmount = o != 0 ? -o : in->value;
        }
        if (signedAmount == 0) {
            bad(QStringLiteral("金額がありません"));
            continue;
        }
        if (signedAmount < INT32_MIN || signedAmount > INT32_MAX) {
            bad(QStringLiteral("金額が読めません"));
            continue;
        }
        Pending p;
        p.date = *d;
        p.line.lineNo = lineNo;
        p.line.amount = qint32(signedAmount);
        QStringList parts;
        for (int col : c.description)
            if (const QString part = withoutControls(field(col)); !part.isEmpty())
                parts << part;
        p.line.description = parts.join(u' ');
        if (c.balance >= 0) {
            const auto b = amount(field(c.balance));
            if (!b) {
                bad(QStringLiteral("残高が読めません"));
                continue;
            }
            if (!b->empty)
                p.line.balance = b->value;
        }
        p.line.rowId = withoutControls(field(c.id));
        pending << p;
    }
    // A discount as large as its purchase leaves nothing to post.
    for (const Pending &p : std::as_const(pending))
        if (p.line.amount == 0)
            st.bad << BadLine {
                p.line.lineNo, lines.at(p.line.lineNo - 1), QStringLiteral("金額がありません")};
    pending.removeIf([](const Pending &p) { return p.line.amount == 0; });
    if (preset.card) {
        if (!st.paymentDate)
            st.paymentDate = latestPayment;
        if (!st.billTotal)
            st.billTotal = billSum;
    }

    // Days without a year: the nearest line's year before them, else after them, else today's.
    QList<int> yearless;
    for (int i = 0; i < pending.size(); ++i)
        if (pending[i].date.year == 0)
            yearless << i;
    QHash<int, bool> yearsTaken;
    QList<int> written; // the years the file itself wrote
    for (const Pending &p : pending)
        written << p.date.year;
    for (int i : yearless) {
        int year = 0;
        for (int j = i - 1; j >= 0 && !year; --j)
            year = written[j];
        for (int j = i + 1; j < pending.size() && !year; ++j)
            year = written[j];
        if (!year) {
            year = today.year();
            if (QDate(year, pending[i].date.month, pending[i].date.day) > today)
                --year;
        }
        pending[i].date.year = year;
        if (!QDate(year, pending[i].date.month, pending[i].date.day).isValid()) {
            st.bad << BadLine {pending[i].line.lineNo, lines.at(pending[i].line.lineNo - 1),
                QStringLiteral("日付が読めません")};
            pending[i].date.year = -1;
            continue;
        }
        yearsTaken.insert(year, true);
    }
    pending.removeIf([](const Pending &p) { return p.date.year < 0; });
    QList<int> years = yearsTaken.keys();
    std::sort(years.begin(), years.end());
    for (int y : years)
        st.notes << QStringLiteral("年のない日付を%1年として読みました").arg(y);

    for (Pending &p : pending)
        p.line.date = p.date.yyyymmdd();
    // Oldest first, keeping the order of the lines within a day as the bank wrote them. Dates
    // that run one way say how the whole file runs; a file of one day (or one line) is in the
    // order the preset declares. Only a file whose dates run both ways is sorted, after it has
    // been turned the declared way.
    bool ascending = true, descending = true;
    for (qsizetype i = 1; i < pending.size(); ++i) {
        const int before = pending.at(i - 1).line.date, now = pending.at(i).line.date;
        ascending = ascending && before <= now;
        descending = descending && before >= now;
    }
    const bool newestFirst = ascending == descending ? preset.newestFirst : descending;
    if (newestFirst)
        std::reverse(pending.begin(), pending.end());
    if (!ascending && !descending)
        std::stable_sort(pending.begin(), pending.end(),
            [](const Pending &a, const Pending &b) { return a.line.date < b.line.date; });

    QHash<QString, int> seen;
    for (Pending &p : pending) {
        StatementLine &l = p.line;
        if (!l.rowId.isEmpty()) {
            l.key = QStringLiteral("id:") + l.rowId;
        } else {
            const QString base = QString::number(l.date) + u'|' + QString::number(l.amount) + u'|'
                + normalise(l.description);
            l.key = QStringLiteral("fp:") + base + u'|' + QString::number(++seen[base]);
        }
        st.lines << l;
    }
    std::sort(
        st.bad.begin(), st.bad.end(), [](const BadLine &a, const BadLine &b) { return a.lineNo < b.lineNo; });
    return st;
}

} // namespace StatementParser
