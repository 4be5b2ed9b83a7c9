#include "StatementParser.h"

#include <QHash>
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
};

// Column positions by heading; false when a column the preset needs is missing.
bool resolve(const Preset &p, const QStringList &heading, Columns &c)
{
    const auto at = [&](const QString &name) { return name.isEmpty() ? -1 : int(heading.indexOf(name)); };
    for (const QString &d : p.date)
        c.date << at(d);
    for (const QString &d : p.description)
        if (at(d) >= 0)
            c.description << at(d);
    c.out = at(p.out);
    c.in = at(p.in);
    c.signedAmount = at(p.signedAmount);
    for (const QString &b : p.balance)
        if (c.balance < 0)
            c.balance = at(b);
    c.id = at(p.id);
    if (c.date.isEmpty() || c.date.contains(-1) || c.description.isEmpty())
        return false;
    return p.signedAmount.isEmpty() ? c.out >= 0 && c.in >= 0 : c.signedAmount >= 0;
}

struct Pending
{
    StatementLine line;
    PartialDate date;
};

} // namespace

std::optional<int> findHeading(const Preset &preset, const QStringList &lines)
{
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList f = withoutTrailingEmpty(fields(lines.at(i), preset.separator));
        for (const QStringList &h : preset.headings)
            if (f == withoutTrailingEmpty(h))
                return i;
    }
    return std::nullopt;
}

std::optional<int> detect(const QList<Preset> &presets, const QStringList &lines)
{
    for (int i = 0; i < presets.size(); ++i)
        if (findHeading(presets.at(i), lines))
            return i;
    return std::nullopt;
}

Statement parse(const Preset &preset, const QStringList &lines, const QDate &today)
{
    Statement st;
    const std::optional<int> heading = findHeading(preset, lines);
    Columns c;
    if (!heading || !resolve(preset, fields(lines.at(*heading), preset.separator), c))
        return st;
    st.matched = true;
    st.headingLine = *heading + 1;
    if (!preset.account.isEmpty())
        for (int i = 0; i < *heading; ++i) {
            const QStringList f = fields(lines.at(i), preset.separator);
            if (f.size() >= 2 && f.first() == preset.account)
                st.account = f.at(1);
        }

    QList<Pending> pending;
    for (int i = *heading + 1; i < lines.size(); ++i) {
        const QString &text = lines.at(i);
        const QStringList f = fields(text, preset.separator);
        if (withoutTrailingEmpty(f).isEmpty())
            continue; // a blank line
        const auto field = [&](int col) { return col >= 0 && col < f.size() ? f.at(col) : QString(); };
        const auto bad = [&](const QString &reason) { st.bad << BadLine {i + 1, text, reason}; };

        const std::optional<PartialDate> d = c.date.size() == 3
            ? date(field(c.date[0]), field(c.date[1]), field(c.date[2]))
            : date(field(c.date[0]), preset.dateForm);
        if (!d) {
            bad(QStringLiteral("日付が読めません"));
            continue;
        }
        qint64 signedAmount = 0;
        if (c.signedAmount >= 0) {
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
        Pending p;
        p.date = *d;
        p.line.lineNo = i + 1;
        p.line.amount = qint32(signedAmount);
        QStringList parts;
        for (int col : c.description)
            if (!field(col).isEmpty())
                parts << field(col);
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
        p.line.rowId = field(c.id);
        pending << p;
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
    // Oldest first, keeping the order of the lines within a day as the bank wrote them.
    const bool reversed
        = preset.newestFirst || (pending.size() > 1 && pending.first().line.date > pending.last().line.date);
    if (reversed)
        std::reverse(pending.begin(), pending.end());
    std::stable_sort(pending.begin(), pending.end(),
        [](const Pending &a, const Pending &b) { return a.line.date < b.line.date; });

    QHash<QString, int> seen;
    for (Pending &p : pending) {
        StatementLine &l = p.line;
        if (!l.rowId.isEmpty()) {
            l.key = QStringLiteral("id:") + l.rowId;
        } else {
            const QString base
                = QStringLiteral("%1|%2|%3").arg(l.date).arg(l.amount).arg(normalise(l.description));
            l.key = QStringLiteral("fp:%1|%2").arg(base).arg(++seen[base]);
        }
        st.lines << l;
    }
    std::sort(
        st.bad.begin(), st.bad.end(), [](const BadLine &a, const BadLine &b) { return a.lineNo < b.lineNo; });
    return st;
}

} // namespace StatementParser
