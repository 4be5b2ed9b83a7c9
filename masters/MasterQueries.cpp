// SPDX-License-Identifier: GPL-3.0-or-later
#include "MasterQueries.h"

#include "Database.h"

namespace MasterQueries {

QStringList readColumn(Database &db, const QString &table, const QString &column)
{
    QStringList values;
    for (Cursor c = db.query(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM ") + table); !c.eof();
         c.next())
        values << c.text(column);
    return values;
}

QList<QStringList> readRows(Database &db, const QString &select, const QStringList &columns)
{
    QList<QStringList> rows;
    for (Cursor c = db.query(select); !c.eof(); c.next()) {
        QStringList row;
        for (const QString &column : columns)
            row << c.text(column);
        rows << row;
    }
    return rows;
}

bool anyRowHas(Database &db, const QString &table, const QString &column, const QString &value)
{
    for (Cursor c = db.query(QStringLiteral("SELECT * FROM ") + table); !c.eof(); c.next()) {
        if (c.text(column) == value)
            return true;
    }
    return false;
}

bool hasRow(Database &db, const QString &table, const QString &column, const QString &value)
{
    Cursor c = db.query(QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '").arg(column, table)
        + Database::escape(value) + QStringLiteral("')"));
    return !c.eof();
}

ItemUse itemUse(Database &db, const QString &expenseColumn, const QString &incomeColumn, const QString &value)
{
    if (anyRowHas(db, QStringLiteral("Syukkin_T"), expenseColumn, value))
        return ItemUse::Expense;
    if (anyRowHas(db, QStringLiteral("Nyuukin_T"), incomeColumn, value))
        return ItemUse::Income;
    return ItemUse::None;
}

void rename(Database &db, const QString &table, const QString &column, const QString &from, const QString &to)
{
    db.execute(QStringLiteral("UPDATE %1 SET %2 = '").arg(table, column) + Database::escape(to)
        + QStringLiteral("' WHERE %1 = '").arg(column) + Database::escape(from) + QStringLiteral("'"));
}

void renameWhereUsed(
    Database &db, const QString &table, const QString &column, const QString &from, const QString &to)
{
    if (hasRow(db, table, column, from))
        rename(db, table, column, from, to);
}

} // namespace MasterQueries
