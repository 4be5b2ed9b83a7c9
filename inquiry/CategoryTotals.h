#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>

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
    // The share of the year's total in tenths of a percent (453 is 45.3 %); rounded by
    // largest remainder so that the rows add up to exactly 1000. 0 when the year sums to 0.
    int shareTenths = 0;
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

// Tenths of a percent of each value in the sum of all, adding up to exactly 1000 (largest
// remainder; ties go to the earlier value). All zeros when the values sum to zero.
QList<int> sharesInTenths(const QList<qint64> &values);

// "45.3" for 453.
QString percentText(int tenths);

// The name under which postings of items the master no longer has are counted.
QString unregistered();

} // namespace CategoryTotals
