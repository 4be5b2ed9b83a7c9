// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QVariantList>
#include <memory>

class Database;
struct sqlite3_stmt;

// Every row a move-in writes, one function per kind of row, each a prepared statement with
// bound values that is prepared once and run for every row. The balances are the caller's:
// it works them out for the whole move-in and sets each place's once.
class MoveInWriter
{
public:
    explicit MoveInWriter(Database &db);
    ~MoveInWriter();
    MoveInWriter(const MoveInWriter &) = delete;
    MoveInWriter &operator=(const MoveInWriter &) = delete;

    void addPlace(const QString &name, qint32 balance);
    void setBalance(const QString &place, qint32 balance);
    void addCategory(const QString &name);
    void addItem(bool income, const QString &name, const QString &category, const QString &place);
    void post(
        bool income, const QString &item, const QString &place, qint32 money, int date, const QString &memo);
    void transfer(const QString &from, const QString &to, qint32 money, int date, const QString &memo);
    void stocktake(const QString &place, int date, qint32 before, qint32 after, const QString &reason);
    // The source's id of a line moved in, so that a later move-in passes over it.
    void remember(const QString &layout, const QString &id);

private:
    void run(const char *sql, const QVariantList &values);

    Database &m_db;
    struct Statements;
    std::unique_ptr<Statements> m_statements;
};
