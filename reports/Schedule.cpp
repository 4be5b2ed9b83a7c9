// SPDX-License-Identifier: GPL-3.0-or-later
#include "Schedule.h"

#include "Database.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace Schedule {

namespace {

QString sideKey(Side side)
{
    return side == Side::Income ? QStringLiteral("N") : QStringLiteral("S");
}

bool tableExists(Database &db)
{
    Cursor c = db.query(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'X_schedule'"));
    return !c.eof() && c.integer(0) > 0;
}

QString placeOf(const QString &stored)
{
    return stored == QLatin1String("0") ? QString() : stored;
}

// The items of one master in its order; automatic-debit items first on the expense side.
QList<Entry> items(Database &db, Side side)
{
    const bool income = side == Side::Income;
    QList<Entry> out;
    Cursor c = db.query(income ? QStringLiteral("SELECT N_index, N_kubun, N_hokan FROM Nyuukin_T")
                               : QStringLiteral("SELECT S_index, S_kubun, S_hokan FROM Syukkin_T"));
    for (; !c.eof(); c.next()) {
        Entry e;
        e.side = side;
        e.item = c.text(0);
        e.category = c.text(1);
        e.place = placeOf(c.text(2));
        out << e;
    }
    if (!income)
        std::stable_partition(
            out.begin(), out.end(), [](const Entry &e) { return e.category == QStringLiteral("自動"); });
    return out;
}

void readSchedules(Database &db, QList<Entry> &entries)
{
    if (!tableExists(db))
        return;
    QHash<QString, qsizetype> at;
    for (qsizetype i = 0; i < entries.size(); ++i)
        at.insert(sideKey(entries[i].side) + u'\t' + entries[i].item, i);
    Cursor c = db.query(QStringLiteral(
        "SELECT XS_side, XS_item, XS_day, XS_months, XS_shift, XS_amount, XS_fixed FROM X_schedule"));
    for (; !c.eof(); c.next()) {
        const auto it = at.constFind(c.text(0) + u'\t' + c.text(1));
        if (it == at.constEnd())
            continue;
        Entry &e = entries[*it];
        const int day = c.value(2).toInt();
        const int months = c.value(3).toInt() & EveryMonth;
        if (day < 1 || day > 31 || months == 0)
            continue; // a row no window writes: taken as no schedule
        e.scheduled = true;
        e.day = day;
        e.months = months;
        e.shift = c.text(4) == QLatin1String("P") ? Shift::Previous : Shift::Next;
        const QString rule = c.text(5);
        e.amount = rule == QLatin1String("F") ? AmountRule::Fixed
            : rule == QLatin1String("Y")      ? AmountRule::SameMonthLastYear
                                              : AmountRule::LastPosted;
        e.fixed = c.value(6).toInt();
    }
}

} // namespace

QList<Entry> list(Database &db)
{
    QList<Entry> entries = items(db, Side::Expense) + items(db, Side::Income);
    readSchedules(db, entries);
    return entries;
}

QList<Entry> scheduled(Database &db)
{
    QList<Entry> out;
    if (!tableExists(db))
        return out;
    Cursor count = db.query(QStringLiteral("SELECT COUNT(*) FROM X_schedule"));
    if (count.eof() || count.integer(0) == 0)
        return out;
    for (const Entry &e : list(db))
        if (e.scheduled)
            out << e;
    return out;
}

void save(Database &db, const Entry &e)
{
    remove(db, e.side, e.item);
    const QChar shift = e.shift == Shift::Previous ? u'P' : u'N';
    const QChar rule = e.amount == AmountRule::Fixed ? u'F'
        : e.amount == AmountRule::SameMonthLastYear  ? u'Y'
                                                     : u'L';
    db.execute(QStringLiteral("INSERT INTO X_schedule (XS_side, XS_item, XS_day, XS_months, XS_shift, "
                              "XS_amount, XS_fixed) VALUES (?,?,?,?,?,?,?)"),
        {sideKey(e.side), e.item, e.day, e.months, QString(shift), QString(rule), e.fixed});
}

void remove(Database &db, Side side, const QString &item)
{
    db.execute(
        QStringLiteral("DELETE FROM X_schedule WHERE XS_side = ? AND XS_item = ?"), {sideKey(side), item});
}

QString monthsText(int months)
{
    months &= EveryMonth;
    if (months == EveryMonth)
        return QStringLiteral("毎月");
    if (months == OddMonths)
        return QStringLiteral("奇数月");
    if (months == EvenMonths)
        return QStringLiteral("偶数月");
    QStringList list;
    for (int m = 1; m <= 12; ++m)
        if (months >> (m - 1) & 1)
            list << QString::number(m);
    return list.join(u',');
}

std::optional<int> parseMonths(const QString &text)
{
    const QString t = text.trimmed();
    if (t == QStringLiteral("毎月"))
        return EveryMonth;
    if (t == QStringLiteral("奇数月"))
        return OddMonths;
    if (t == QStringLiteral("偶数月"))
        return EvenMonths;
    static const QRegularExpression separators(QStringLiteral("[,、\\s]+"));
    int months = 0;
    for (const QString &part : t.split(separators, Qt::SkipEmptyParts)) {
        QString number = part;
        if (number.endsWith(u'月'))
            number.chop(1);
        bool ok = false;
        const int m = number.toInt(&ok);
        // Half-width digits only, as every amount and date of the program.
        if (!ok || m < 1 || m > 12 || number.contains(u'+') || number.contains(u'-'))
            return std::nullopt;
        months |= 1 << (m - 1);
    }
    if (months == 0)
        return std::nullopt;
    return months;
}

QString shiftText(Shift shift)
{
    return shift == Shift::Previous ? QStringLiteral("前営業日") : QStringLiteral("翌営業日");
}

QString amountText(AmountRule rule)
{
    switch (rule) {
    case AmountRule::SameMonthLastYear:
        return QStringLiteral("前年同月");
    case AmountRule::Fixed:
        return QStringLiteral("固定額");
    case AmountRule::LastPosted:
        break;
    }
    return QStringLiteral("前回の金額");
}

QString sideText(Side side)
{
    return side == Side::Income ? QStringLiteral("収入") : QStringLiteral("支出");
}

} // namespace Schedule
