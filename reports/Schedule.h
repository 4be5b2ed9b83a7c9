// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

class Database;

// When an item of the income or expense master recurs and what it is expected to bring or
// cost, kept in X_schedule by the item's name: a day of the month (31 the last day), the months
// it occurs in, the business day it moves to when that day is a bank holiday, and how its
// amount is expected.
namespace Schedule {

enum class Side { Income, Expense };
// Debits move to the next business day, salaries to the previous one.
enum class Shift { Next, Previous };
enum class AmountRule { LastPosted, SameMonthLastYear, Fixed };

constexpr int EveryMonth = 0xFFF;
constexpr int OddMonths = 0x555; // January, March, ...
constexpr int EvenMonths = 0xAAA; // February, April, ...

struct Entry
{
    Side side = Side::Expense;
    QString item;
    QString place; // the item's storage place in its master ("" when it has none)
    QString category;
    bool scheduled = false; // the rest holds only when the item has a schedule
    int day = 0; // 1..31
    int months = EveryMonth; // bit m-1 for month m
    Shift shift = Shift::Next;
    AmountRule amount = AmountRule::LastPosted;
    qint32 fixed = 0;

    bool occursIn(int month) const { return month >= 1 && month <= 12 && (months >> (month - 1) & 1); }
};

// Every item of both masters (expense items first, automatic-debit items at their head, then
// the income items, each in master order) with its schedule when it has one. A ledger without
// the table lists the items unscheduled. Reads inside the caller's connection.
QList<Entry> list(Database &db);
// Only the scheduled items, with their places from the masters; items no master has are left
// out.
QList<Entry> scheduled(Database &db);

// Writes or removes one item's schedule; the caller holds the write transaction.
void save(Database &db, const Entry &entry);
void remove(Database &db, Side side, const QString &item);

// The months as the schedule grid shows them: "毎月", "奇数月", "偶数月", or the months
// joined by "," ("6,12").
QString monthsText(int months);
// The reverse; also reads "、" and blanks as separators. Nothing for an empty or bad text.
std::optional<int> parseMonths(const QString &text);

QString shiftText(Shift shift);
QString amountText(AmountRule rule);
QString sideText(Side side);

} // namespace Schedule
