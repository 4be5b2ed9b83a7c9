// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

class Database;

// One year of income or expense postings summed month by month, per category of the item
// master or per item. A posting's category is its item's category in the master now; a
// posting whose item the master no longer has counts under "(未登録)". Sums are 64-bit.
namespace CategoryTotals {

enum class Side { Income, Expense };
enum class By { Category, Item };

struct Row
{
    QString name;
    std::array<qint64, 12> months {};
    qint64 total = 0;
    // The share in tenths of a percent (453 is 45.3 %) of the sum of the rows whose totals are
    // above zero, as the pie shows them; rounded by largest remainder so that those rows add up
    // to exactly 1000. A row whose total is below zero (refunds) has no share; one of zero has 0.
    std::optional<int> shareTenths = 0;
};

struct Year
{
    // Largest total first; equal totals by name.
    QList<Row> rows;
    std::array<qint64, 12> months {};
    qint64 total = 0;
};

// The grouped statement of one table for a year: item, month and sum, read through the
// date index.
QString statement(Side side, int year);

Year read(Database &db, Side side, By by, int year);

// Tenths of a percent of each value above zero in the sum of those values, adding up to
// exactly 1000 (largest remainder; ties go to the earlier value). A value of zero or below has
// 0; all are 0 when no value is above zero. No share exceeds 1000, whatever the values.
QList<int> sharesInTenths(const QList<qint64> &values);

// "45.3" for 453; "—" for no share.
QString percentText(std::optional<int> tenths);

// The name under which postings of items the master no longer has are counted.
QString unregistered();

} // namespace CategoryTotals
