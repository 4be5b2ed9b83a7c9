// SPDX-License-Identifier: GPL-3.0-or-later
// What the programs that fill a ledger with made-up households share: a random source that
// gives the same sequence everywhere, a prepared INSERT re-run for every row, and the ledger's
// yyyymmdd day numbers. The errors are exceptions: the caller rolls its transaction back.
#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace SeededFill {

// splitmix64: tiny, fast, and the same sequence on every platform and library (the
// distributions of <random> are not), so a seed always gives the same ledger.
class Rng
{
public:
    explicit Rng(quint64 seed)
        : m_state(seed)
    { }
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // 0 <= result < n
    quint64 below(quint64 n)
    {
        return static_cast<quint64>((static_cast<unsigned __int128>(next()) * n) >> 64);
    }
    // 0 <= result < 1
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    template <typename T> const T &pick(const std::vector<T> &v) { return v[below(v.size())]; }

private:
    quint64 m_state;
};

inline int yyyymmdd(const QDate &d)
{
    return d.year() * 10000 + d.month() * 100 + d.day();
}

// One prepared INSERT (or UPDATE), re-run for every row.
class Inserter
{
public:
    Inserter(const QSqlDatabase &db, const QString &sql)
        : m_query(db)
    {
        if (!m_query.prepare(sql))
            throw std::runtime_error((sql + QStringLiteral(": ") + m_query.lastError().text()).toStdString());
    }
    void row(std::initializer_list<QVariant> values)
    {
        int i = 0;
        for (const QVariant &v : values)
            m_query.bindValue(i++, v);
        run();
    }
    void row(const QVariantList &values)
    {
        for (int i = 0; i < values.size(); ++i)
            m_query.bindValue(i, values[i]);
        run();
    }
    qint64 rows() const { return m_rows; }

private:
    void run()
    {
        if (!m_query.exec())
            throw std::runtime_error(m_query.lastError().text().toStdString());
        ++m_rows;
    }

    QSqlQuery m_query;
    qint64 m_rows = 0;
};

// The prepared INSERTs of the five tables of movements, in their columns' order: income (N),
// expense (S), automatic debit (Zidourireki_T), transfer (Idourireki_T), stocktake
// (Ktanaorosi_T).
struct Movements
{
    explicit Movements(const QSqlDatabase &db)
        : income(
            db, QStringLiteral("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES (?,?,?,?,?)"))
        , expense(
              db, QStringLiteral("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES (?,?,?,?,?)"))
        , debit(db,
              QStringLiteral(
                  "INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES (?,?,?,?)"))
        , transfer(db,
              QStringLiteral("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) "
                             "VALUES (?,?,?,?,?)"))
        , stocktake(db,
              QStringLiteral("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) "
                             "VALUES (?,?,?,?,?)"))
    { }
    Inserter income, expense, debit, transfer, stocktake;
};

inline void exec(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
}

} // namespace SeededFill
