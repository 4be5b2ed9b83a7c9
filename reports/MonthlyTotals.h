// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

class Database;

// The income, expense and difference of each month of one year. Totals are summed in
// 64 bits, so the grid and the file always carry the exact amounts.
namespace MonthlyTotals {

struct Year
{
    std::array<qint64, 12> income {};
    std::array<qint64, 12> expense {};
    qint64 difference(int month) const { return income.at(month - 1) - expense.at(month - 1); }
};

// The statements of one month (1..12). A month is every date whose decimal text begins
// with yyyymm. Stored dates are eight-digit numbers yyyymmdd, and for those "begins with
// yyyymm" is exactly the numeric range yyyymm00 to yyyymm99 -- which the date index can
// serve, unlike a LIKE on the number's text.
QString incomeStatement(int year, int month);
QString expenseStatement(int year, int month);

// Runs the 24 statements, January to December, income before expense in each month.
Year read(Database &db, int year);

} // namespace MonthlyTotals
