// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>

// Japanese national holidays and bank business days, computed from the holiday law's rules
// (fixed days, Mondays of a given week, the equinox days, substitute and citizens' holidays)
// and the days set by their own laws; no table is read at run time, so any year is covered.
namespace BankCalendar {

// By the law's rules and its one-off days, any year from 1948.
bool isNationalHoliday(const QDate &day);
// The holiday's name, empty on other days. A substitute holiday is named after the holiday it
// stands for ("<name> 振替休日"), a citizens' holiday "休日".
QString holidayName(const QDate &day);
// False on Saturdays, Sundays, national holidays and 12/31-1/3.
bool isBusinessDay(const QDate &day);
// The day itself when it is a business day, else the next one.
QDate nextBusinessDay(const QDate &day);
// The day itself when it is a business day, else the one before.
QDate previousBusinessDay(const QDate &day);

} // namespace BankCalendar
