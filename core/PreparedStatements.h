// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QVariantList>

class Database;
struct sqlite3_stmt;

// Statements with bound values for writing many rows on one connection: each is prepared once,
// on its first run, and run again for every row. Every run is announced to the connection's
// observer as the connection announces each statement it runs. Values are texts or integers.
class PreparedStatements
{
public:
    explicit PreparedStatements(Database &db);
    ~PreparedStatements();
    PreparedStatements(const PreparedStatements &) = delete;
    PreparedStatements &operator=(const PreparedStatements &) = delete;

    // `sql` is a literal that lives as long as this object: it is the key of its prepared form.
    void run(const char *sql, const QVariantList &values);

    // Binds a text (as UTF-8) or an integer to the mark `index` (from 1) of a statement.
    static void bind(sqlite3_stmt *statement, int index, const QVariant &value);

private:
    Database &m_db;
    QHash<const char *, sqlite3_stmt *> m_prepared;
};
