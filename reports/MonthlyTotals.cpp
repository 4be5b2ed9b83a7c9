// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonthlyTotals.h"

#include "Database.h"

namespace MonthlyTotals {

namespace {

QString monthStatement(const char *table, const char *prefix, int year, int month)
{
    const qint64 first = (qint64(year) * 100 + month) * 100;
    // The integer part of each amount, as whole yen; SUM over no rows is NULL (zero).
    return QStringLiteral(
        "SELECT SUM(CAST(%2_money AS INTEGER)) AS total FROM %1 WHERE (%2_date Between %3 And %4)")
        .arg(
            QLatin1String(table), QLatin1String(prefix), QString::number(first), QString::number(first + 99));
}

qint64 total(Database &db, const QString &sql)
{
    Cursor c = db.query(sql);
    if (c.eof())
        return 0;
    const QVariant v = c.value(QStringLiteral("total"));
    return v.isNull() ? 0 : c.integer64(QStringLiteral("total"));
}

} // namespace

QString incomeStatement(int year, int month)
{
    return monthStatement("N", "N", year, month);
}

QString expenseStatement(int year, int month)
{
    return monthStatement("S", "S", year, month);
}

Year read(Database &db, int year)
{
    Year y;
    for (int m = 1; m <= 12; ++m) {
        y.income[m - 1] = total(db, incomeStatement(year, m));
        y.expense[m - 1] = total(db, expenseStatement(year, m));
    }
    return y;
}

} // namespace MonthlyTotals
