// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CategoryTotals.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

class Database;

// A year's budget for one side (income or expense), planned by category or by item, month by
// month, held against the actual figures the category report shows (CategoryTotals::read, the
// one computation of both). Budget cells are 32-bit whole yen; every sum is 64-bit.
namespace BudgetPlan {

using CategoryTotals::By;
using CategoryTotals::Side;

struct Row
{
    QString name;
    // A month's remainder (or overspending) is added to the next month's available amount.
    bool carry = false;
    std::array<qint32, 12> months {};
};

struct Plan
{
    By by = By::Category;
    QList<Row> rows;
};

// One row of the comparison: budget, actual and what is left, per month and for the year.
// With carry-over a month's remainder is what is left of its budget plus the previous month's
// remainder; the year's remainder is the year's budget less the year's actual either way.
struct Line
{
    QString name;
    bool carry = false;
    bool planned = false;
    std::array<qint64, 12> budget {}, actual {}, remainder {};
    qint64 budgetTotal = 0, actualTotal = 0, remainderTotal = 0;
};

struct Sheet
{
    QList<Line> lines;
    Line total;
};

// The stored plan of the year and side, if there is one. Reads inside the caller's transaction.
std::optional<Plan> load(Database &db, Side side, int year);
// Replaces the year's plan for the side; the caller holds the write transaction.
void save(Database &db, Side side, int year, const Plan &plan);
// Removes the year's plan for the side.
void remove(Database &db, Side side, int year);

// The actual figures at the plan's level: exactly the category report's.
CategoryTotals::Year actual(Database &db, Side side, By by, int year);

// The plan's rows first in their order, then rows with actual figures but no budget in the
// report's order; a total line over all of them.
Sheet compare(const Plan &plan, const CategoryTotals::Year &actual);

// A plan from a year's actual figures: each month's figure rounded up to 100 yen; a month
// below zero (refunds) plans 0. Nothing when a month is beyond a 32-bit cell.
std::optional<Plan> fromActual(const CategoryTotals::Year &actual, By by);
std::optional<qint32> roundedUp(qint64 yen);

} // namespace BudgetPlan
