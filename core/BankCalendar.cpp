// SPDX-License-Identifier: GPL-3.0-or-later
#include "BankCalendar.h"

#include <cmath>

namespace BankCalendar {

namespace {

// The holiday law took effect on 1948-07-20; the substitute holiday on 1973-04-12; the citizens'
// holiday on 1985-12-27; the substitute holiday's present form and the 4/29, 5/4 names in 2007.
const QDate lawStart(1948, 7, 20);
const QDate substituteStart(1973, 4, 12);
const QDate citizensStart(1985, 12, 27);
constexpr int reform2007 = 2007;

// The n-th Monday of a month.
int nthMonday(int year, int month, int n)
{
    const int firstDow = QDate(year, month, 1).dayOfWeek(); // 1 = Monday
    return 1 + (8 - firstDow) % 7 + 7 * (n - 1);
}

// The equinox days by the usual approximation of the sun's longitude, valid 1900-2150.
int equinoxDay(int year, double base1900, double base1980, double base2100)
{
    const double base = year < 1980 ? base1900 : year < 2100 ? base1980 : base2100;
    // Before 1980 the leap-year correction counts from 1983 and truncates towards zero.
    const int leaps = year < 1980 ? (year - 1983) / 4 : (year - 1980) / 4;
    return int(std::floor(base + 0.242194 * (year - 1980) - leaps));
}

int vernalEquinox(int year)
{
    return equinoxDay(year, 20.8357, 20.8431, 21.8510);
}

int autumnalEquinox(int year)
{
    return equinoxDay(year, 23.2588, 23.2488, 24.2488);
}

// The days the law names (and the days their own laws made holidays), without the substitute
// and citizens' holidays that follow from them.
QString namedHoliday(const QDate &day)
{
    if (!day.isValid() || day < lawStart)
        return {};
    const int y = day.year();
    const int m = day.month();
    const int d = day.day();
    switch (m) {
    case 1:
        if (d == 1)
            return QStringLiteral("元日");
        if (d == (y < 2000 ? 15 : nthMonday(y, 1, 2)))
            return QStringLiteral("成人の日");
        break;
    case 2:
        if (d == 11 && y >= 1967)
            return QStringLiteral("建国記念の日");
        if (d == 23 && y >= 2020)
            return QStringLiteral("天皇誕生日");
        if (y == 1989 && d == 24)
            return QStringLiteral("大喪の礼");
        break;
    case 3:
        if (d == vernalEquinox(y))
            return QStringLiteral("春分の日");
        break;
    case 4:
        if (d == 29)
            return y < 1989      ? QStringLiteral("天皇誕生日")
                : y < reform2007 ? QStringLiteral("みどりの日")
                                 : QStringLiteral("昭和の日");
        if (y == 1959 && d == 10)
            return QStringLiteral("結婚の儀");
        break;
    case 5:
        if (d == 3)
            return QStringLiteral("憲法記念日");
        if (d == 4 && y >= reform2007)
            return QStringLiteral("みどりの日");
        if (d == 5)
            return QStringLiteral("こどもの日");
        if (y == 2019 && d == 1)
            return QStringLiteral("休日（祝日扱い）");
        break;
    case 6:
        if (y == 1993 && d == 9)
            return QStringLiteral("結婚の儀");
        break;
    case 7: {
        int marine = 0;
        if (y >= 1996 && y < 2003)
            marine = 20;
        else if (y == 2020)
            marine = 23;
        else if (y == 2021)
            marine = 22;
        else if (y >= 2003)
            marine = nthMonday(y, 7, 3);
        if (d == marine)
            return QStringLiteral("海の日");
        if ((y == 2020 && d == 24) || (y == 2021 && d == 23))
            return QStringLiteral("スポーツの日");
        break;
    }
    case 8: {
        const int mountain = y == 2020 ? 10 : y == 2021 ? 8 : y >= 2016 ? 11 : 0;
        if (d == mountain)
            return QStringLiteral("山の日");
        break;
    }
    case 9:
        if (y >= 1966 && d == (y < 2003 ? 15 : nthMonday(y, 9, 3)))
            return QStringLiteral("敬老の日");
        if (d == autumnalEquinox(y))
            return QStringLiteral("秋分の日");
        break;
    case 10:
        if (y >= 1966 && y < 2000 && d == 10)
            return QStringLiteral("体育の日");
        if (y >= 2000 && y != 2020 && y != 2021 && d == nthMonday(y, 10, 2))
            return y < 2019 ? QStringLiteral("体育の日")
                : y == 2019 ? QStringLiteral("体育の日（スポーツの日）")
                            : QStringLiteral("スポーツの日");
        if (y == 2019 && d == 22)
            return QStringLiteral("休日（祝日扱い）");
        break;
    case 11:
        if (d == 3)
            return QStringLiteral("文化の日");
        if (d == 23)
            return QStringLiteral("勤労感謝の日");
        if (y == 1990 && d == 12)
            return QStringLiteral("即位礼正殿の儀");
        break;
    case 12:
        if (d == 23 && y >= 1989 && y < 2019)
            return QStringLiteral("天皇誕生日");
        break;
    default:
        break;
    }
    return {};
}

// The named holiday this day substitutes for, when it is a substitute holiday: until 2006 the
// Monday after a holiday on Sunday; from 2007 the first day after a Sunday holiday that is not
// itself a named holiday.
QString substitutedHoliday(const QDate &day)
{
    if (day < substituteStart)
        return {};
    if (day.year() < reform2007) {
        const QDate sunday = day.addDays(-1);
        return sunday.dayOfWeek() == Qt::Sunday ? namedHoliday(sunday) : QString();
    }
    for (QDate before = day.addDays(-1);; before = before.addDays(-1)) {
        const QString name = namedHoliday(before);
        if (name.isEmpty())
            return {};
        if (before.dayOfWeek() == Qt::Sunday)
            return name;
    }
}

// A day between two named holidays is a holiday itself; until 2006 not when it was a Sunday.
bool isCitizensHoliday(const QDate &day)
{
    if (day < citizensStart || (day.year() < reform2007 && day.dayOfWeek() == Qt::Sunday))
        return false;
    return !namedHoliday(day.addDays(-1)).isEmpty() && !namedHoliday(day.addDays(1)).isEmpty();
}

} // namespace

QString holidayName(const QDate &day)
{
    QString name = namedHoliday(day);
    if (!name.isEmpty() || !day.isValid())
        return name;
    name = substitutedHoliday(day);
    if (!name.isEmpty())
        return name + QStringLiteral(" 振替休日");
    return isCitizensHoliday(day) ? QStringLiteral("休日") : QString();
}

bool isNationalHoliday(const QDate &day)
{
    return !holidayName(day).isEmpty();
}

bool isBusinessDay(const QDate &day)
{
    if (!day.isValid() || day.dayOfWeek() >= Qt::Saturday)
        return false;
    if ((day.month() == 12 && day.day() == 31) || (day.month() == 1 && day.day() <= 3))
        return false;
    return !isNationalHoliday(day);
}

QDate nextBusinessDay(const QDate &day)
{
    if (!day.isValid())
        return day;
    QDate d = day;
    while (!isBusinessDay(d))
        d = d.addDays(1);
    return d;
}

QDate previousBusinessDay(const QDate &day)
{
    if (!day.isValid())
        return day;
    QDate d = day;
    while (!isBusinessDay(d))
        d = d.addDays(-1);
    return d;
}

} // namespace BankCalendar
