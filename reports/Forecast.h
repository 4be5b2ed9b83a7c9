// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Schedule.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

class Database;

// The balance ahead: each storage place's balance now, moved forward by the scheduled items
// of the masters and the cards' bills, day by day over a period from today. It only reads.
namespace Forecast {

struct Place
{
    QString name;
    qint64 balance = 0; // now
    bool card = false;
    qint64 limit = 0; // a card's 利用限度額: its balance may go down to minus this
    // The balance below which a movement is a shortfall.
    qint64 floor() const { return card ? -limit : 0; }
};

struct Movement
{
    QDate date; // the day it happens, moved to a business day
    QDate scheduled; // the day it is scheduled for, before the move
    QString item;
    QString place;
    qint64 in = 0, out = 0;
    qint64 balance = 0; // the place's balance after it
    bool shortfall = false; // the balance is below the place's floor after it
};

struct Result
{
    QDate from, to; // today and the last day
    QList<Place> places; // in master order
    // In date order; on one day income before expense, each side in schedule order.
    QList<Movement> movements;

    const Place *place(const QString &name) const;
    // The balance at the end of each day from `from` to `to` of one place, or of all places
    // together when `name` is empty.
    QList<qint64> daily(const QString &name) const;
};

// The scheduled day in a month: `day` (31 the last day) taken down to the month's last day.
QDate dayIn(int year, int month, int day);
// The day itself when it is a bank business day, else the next or previous one.
QDate shifted(const QDate &day, Schedule::Shift shift);
// The closing day a payment on `payment` settles: the last `closing` day (31 the month's last)
// before it.
QDate closingBefore(const QDate &payment, int closing);

// The forecast from today through `to`.
Result compute(Database &db, const QDate &today, const QDate &to);
// The same for a number of months from today.
Result compute(Database &db, const QDate &today, int months);

struct Shortfall
{
    QDate date;
    QString item;
    QString place;
    qint64 missing = 0;
};

// The first scheduled debit within `days` days from today that the place's balance would not
// cover.
std::optional<Shortfall> firstShortfall(const Result &result, int days = 14);
std::optional<Shortfall> firstShortfall(Database &db, const QDate &today, int days = 14);

// The main menu's line at start: the first shortfall's text, or nothing (also when the ledger
// cannot be read: the start goes on as ever).
QString startWarning(const QString &dbPath, const QDate &today);

// "<日付>の<項目>で<保管場所>の残高が \<不足額> 不足します", the date as yyyy/MM/dd and the amount
// grouped by threes.
QString shortfallText(const Shortfall &s);
QString dayText(const QDate &day);

} // namespace Forecast
