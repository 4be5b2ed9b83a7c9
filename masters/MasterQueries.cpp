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

} // namespace MasterQueries
