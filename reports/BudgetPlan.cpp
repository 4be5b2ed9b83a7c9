// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetPlan.h"

#include "Database.h"

#include <QHash>
#include <limits>

namespace BudgetPlan {

namespace {

QString sideKey(Side side)
{
    return side == Side::Income ? QStringLiteral("N") : QStringLiteral("S");
}

QString byKey(By by)
{
    return by == By::Category ? QStringLiteral("K") : QStringLiteral("I");
}

QString monthColumns()
{
    QStringList names;
    for (int m = 1; m <= 12; ++m)
        names << QStringLiteral("XZ_m%1").arg(m, 2, 10, QLatin1Char('0'));
    return names.join(u',');
}

bool tablesExist(Database &db)
{
    Cursor c = db.query(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'X_budget_row'"));
    return !c.eof() && c.integer(0) > 0;
}

// " WHERE <prefix>_year = ? AND <prefix>_side = ?", bound to yearValues().
QString whereYear(const char *prefix)
{
    const QString p = QLatin1String(prefix);
    return QStringLiteral(" WHERE ") + p + QStringLiteral("_year = ? AND ") + p + QStringLiteral("_side = ?");
}

QVariantList yearValues(Side side, int year)
{
    return {year, sideKey(side)};
}

} // namespace

std::optional<Plan> load(Database &db, Side side, int year)
{
    if (!tablesExist(db))
        return std::nullopt;
    Cursor y = db.query(
        QStringLiteral("SELECT XY_by FROM X_budget_year") + whereYear("XY"), yearValues(side, year));
    if (y.eof())
        return std::nullopt;
    Plan plan;
    plan.by = y.text(0) == QLatin1String("I") ? By::Item : By::Category;
    Cursor c = db.query(QStringLiteral("SELECT XZ_name, XZ_carry, ") + monthColumns()
            + QStringLiteral(" FROM X_budget_row") + whereYear("XZ")
            + QStringLiteral(" ORDER BY XZ_order, XZ_name"),
        yearValues(side, year));
    for (; !c.eof(); c.next()) {
        Row row;
        row.name = c.text(0);
        row.carry = c.integer(1) != 0;
        for (int m = 0; m < 12; ++m)
            row.months[m] = c.value(2 + m).isNull() ? 0 : c.integer(2 + m);
        plan.rows << row;
    }
    return plan;
}

void remove(Database &db, Side side, int year)
{
    db.execute(QStringLiteral("DELETE FROM X_budget_row") + whereYear("XZ"), yearValues(side, year));
    db.execute(QStringLiteral("DELETE FROM X_budget_year") + whereYear("XY"), yearValues(side, year));
}

void save(Database &db, Side side, int year, const Plan &plan)
{
    remove(db, side, year);
    db.execute(QStringLiteral("INSERT INTO X_budget_year (XY_year, XY_side, XY_by) VALUES (?,?,?)"),
        {year, sideKey(side), byKey(plan.by)});
    const QString insertRow
        = QStringLiteral("INSERT INTO X_budget_row (XZ_year, XZ_side, XZ_name, XZ_order, XZ_carry, ")
        + monthColumns() + QStringLiteral(") VALUES (?,?,?,?,?") + QStringLiteral(",?").repeated(12) + u')';
    int order = 0;
    for (const Row &row : plan.rows) {
        QVariantList values {year, sideKey(side), row.name, order++, row.carry ? 1 : 0};
        for (qint32 v : row.months)
            values << v;
        db.execute(insertRow, values);
    }
}

CategoryTotals::Year actual(Database &db, Side side, By by, int year)
{
    return CategoryTotals::read(db, side, by, year);
}

Sheet compare(const Plan &plan, const CategoryTotals::Year &actual)
{
    Sheet sheet;
    QHash<QString, qsizetype> lineOf;
    for (const Row &row : plan.rows) {
        Line line;
        line.name = row.name;
        line.carry = row.carry;
        line.planned = true;
        for (int m = 0; m < 12; ++m)
            line.budget[m] = row.months[m];
        lineOf.insert(row.name, sheet.lines.size());
        sheet.lines << line;
    }
    for (const CategoryTotals::Row &row : actual.rows) {
        auto it = lineOf.constFind(row.name);
        if (it == lineOf.constEnd()) {
            it = lineOf.insert(row.name, sheet.lines.size());
            Line line;
            line.name = row.name;
            sheet.lines << line;
        }
        Line &line = sheet.lines[*it];
        for (int m = 0; m < 12; ++m)
            line.actual[m] += row.months[m];
    }
    Line &total = sheet.total;
    total.name = QStringLiteral("合計");
    for (Line &line : sheet.lines) {
        qint64 carried = 0;
        for (int m = 0; m < 12; ++m) {
            line.remainder[m] = line.budget[m] - line.actual[m] + carried;
            carried = line.carry ? line.remainder[m] : 0;
            line.budgetTotal += line.budget[m];
            line.actualTotal += line.actual[m];
            total.budget[m] += line.budget[m];
            total.actual[m] += line.actual[m];
            total.remainder[m] += line.remainder[m];
        }
        line.remainderTotal = line.budgetTotal - line.actualTotal;
        total.budgetTotal += line.budgetTotal;
        total.actualTotal += line.actualTotal;
        total.remainderTotal += line.remainderTotal;
    }
    return sheet;
}

std::optional<qint32> roundedUp(qint64 yen)
{
    if (yen <= 0)
        return 0;
    const qint64 up = (yen + 99) / 100 * 100;
    if (up > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(up);
}

std::optional<Plan> fromActual(const CategoryTotals::Year &actual, By by)
{
    Plan plan;
    plan.by = by;
    for (const CategoryTotals::Row &source : actual.rows) {
        Row row;
        row.name = source.name;
        for (int m = 0; m < 12; ++m) {
            const std::optional<qint32> v = roundedUp(source.months[m]);
            if (!v)
                return std::nullopt;
            row.months[m] = *v;
        }
        plan.rows << row;
    }
    return plan;
}

} // namespace BudgetPlan
