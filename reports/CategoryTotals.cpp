// SPDX-License-Identifier: GPL-3.0-or-later
#include "CategoryTotals.h"

#include "Database.h"

#include <QHash>
#include <algorithm>
#include <numeric>

namespace CategoryTotals {

namespace {

struct Vocabulary
{
    const char *history; // N or S
    const char *master; // Nyuukin_T or Syukkin_T
    const char *prefix; // N or S
};

Vocabulary vocabulary(Side side)
{
    return side == Side::Income ? Vocabulary {"N", "Nyuukin_T", "N"} : Vocabulary {"S", "Syukkin_T", "S"};
}

// Item name -> category, from the item master as it is now.
QHash<QString, QString> categories(Database &db, Side side)
{
    const Vocabulary v = vocabulary(side);
    const QString p = QLatin1String(v.prefix);
    QHash<QString, QString> out;
    Cursor c = db.query(QStringLiteral("SELECT %1_index, %1_kubun FROM %2").arg(p, QLatin1String(v.master)));
    for (; !c.eof(); c.next())
        out.insert(c.text(0), c.text(1));
    return out;
}

} // namespace

QString unregistered()
{
    return QStringLiteral("(未登録)");
}

QString statement(Side side, int year)
{
    const Vocabulary v = vocabulary(side);
    const QString p = QLatin1String(v.prefix);
    // Stored dates are eight-digit numbers yyyymmdd: the year is yyyy0100 to yyyy1299, the
    // same months the yearly totals count.
    const qint64 first = qint64(year) * 10000 + 100;
    return QStringLiteral("SELECT %1_index AS item, %1_date / 100 % 100 AS month, "
                          "SUM(CAST(%1_money AS INTEGER)) AS total FROM %2 "
                          "WHERE (%1_date Between %3 And %4) GROUP BY %1_index, month")
        .arg(p, QLatin1String(v.history), QString::number(first), QString::number(first + 1199));
}

Year read(Database &db, Side side, By by, int year)
{
    const QHash<QString, QString> category
        = by == By::Category ? categories(db, side) : QHash<QString, QString> {};
    QHash<QString, qsizetype> rowOf;
    Year y;
    Cursor c = db.query(statement(side, year));
    for (; !c.eof(); c.next()) {
        const QString item = c.text(0);
        const int month = c.integer(1);
        if (month < 1 || month > 12)
            continue;
        QString name = item;
        if (by == By::Category)
            name = category.contains(item) ? category.value(item) : unregistered();
        auto it = rowOf.constFind(name);
        if (it == rowOf.constEnd()) {
            it = rowOf.insert(name, y.rows.size());
            y.rows.append(Row {name, {}, 0, 0});
        }
        const qint64 sum = c.value(2).isNull() ? 0 : c.integer64(2);
        Row &row = y.rows[*it];
        row.months[month - 1] += sum;
        row.total += sum;
        y.months[month - 1] += sum;
        y.total += sum;
    }
    std::sort(y.rows.begin(), y.rows.end(),
        [](const Row &a, const Row &b) { return a.total != b.total ? a.total > b.total : a.name < b.name; });
    QList<qint64> totals;
    for (const Row &r : std::as_const(y.rows))
        totals << r.total;
    const QList<int> shares = sharesInTenths(totals);
    for (qsizetype i = 0; i < y.rows.size(); ++i)
        y.rows[i].shareTenths = y.rows[i].total < 0 ? std::nullopt : std::optional<int>(shares.at(i));
    return y;
}

QList<int> sharesInTenths(const QList<qint64> &values)
{
    QList<int> out(values.size(), 0);
    // Only the values above zero share the whole: with a negative value in the sum, the rest
    // would take more than all of it (3,000,000 of a sum of 1 is 300,000,000 %).
    __int128 sum = 0;
    for (qint64 v : values)
        if (v > 0)
            sum += v;
    if (sum == 0)
        return out;
    // Each exact share is value * 1000 / sum, at most 1000; take the floors, then give the
    // tenths still missing to the largest remainders.
    struct Part
    {
        qsizetype index;
        __int128 remainder; // in units of 1 / sum
    };
    std::vector<Part> parts;
    int given = 0;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (values.at(i) <= 0)
            continue;
        const __int128 numerator = __int128(values.at(i)) * 1000;
        out[i] = int(numerator / sum);
        given += out[i];
        parts.push_back({i, numerator % sum});
    }
    std::stable_sort(
        parts.begin(), parts.end(), [](const Part &a, const Part &b) { return a.remainder > b.remainder; });
    for (int k = 0; k < 1000 - given && k < int(parts.size()); ++k)
        out[parts[k].index] += 1;
    return out;
}

QString percentText(std::optional<int> tenths)
{
    if (!tenths)
        return QStringLiteral("—");
    const int magnitude = *tenths < 0 ? -*tenths : *tenths;
    return QStringLiteral("%1%2.%3")
        .arg(*tenths < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 10)
        .arg(magnitude % 10);
}

} // namespace CategoryTotals
