// SPDX-License-Identifier: GPL-3.0-or-later
#include "LedgerCheck.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace LedgerCheck {

namespace {

constexpr int MaxProblems = 40;

struct Stocktake
{
    qint64 before;
    qint64 after;
};

struct Day
{
    qint64 sum = 0;
    std::vector<qint64> deltas; // kept only on days with a stocktake
    std::vector<Stocktake> stocktakes;
};

class Checker
{
public:
    explicit Checker(QSqlDatabase &db)
        : m_db(db)
    { }

    Result run()
    {
        integrity();
        integerColumns();
        loadPlaces();
        loadStocktakes();
        loadMovements(QStringLiteral("SELECT N_hokan,N_date,N_money FROM N"), +1);
        loadMovements(QStringLiteral("SELECT S_hokan,S_date,S_money FROM S"), -1);
        loadMovements(QStringLiteral("SELECT I_hokanmoto,I_day,I_money FROM Idourireki_T"), -1);
        loadMovements(QStringLiteral("SELECT I_hokansaki,I_day,I_money FROM Idourireki_T"), +1);
        replay();
        if (m_hidden > 0)
            m_result.problems << QStringLiteral("... and %1 more").arg(m_hidden);
        return m_result;
    }

private:
    void problem(const QString &text)
    {
        if (m_result.problems.size() < MaxProblems)
            m_result.problems << text;
        else
            ++m_hidden;
    }

    QSqlQuery select(const QString &sql)
    {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
        return q;
    }

    void integrity()
    {
        QSqlQuery q = select(QStringLiteral("PRAGMA integrity_check"));
        while (q.next()) {
            const QString line = q.value(0).toString();
            if (line != u"ok")
                problem(QStringLiteral("integrity_check: ") + line);
        }
    }

    // A quoted number written into an integer column must have been stored as the integer.
    void integerColumns()
    {
        static const char *const columns[][2] = {{"Hokan_T", "H_money"}, {"N", "N_money"}, {"N", "N_date"},
            {"S", "S_money"}, {"S", "S_date"}, {"Zidourireki_T", "Z_money"}, {"Zidourireki_T", "Z_beforeday"},
            {"Idourireki_T", "I_money"}, {"Idourireki_T", "I_day"}, {"Ktanaorosi_T", "K_bmoney"},
            {"Ktanaorosi_T", "K_amoney"}, {"Ktanaorosi_T", "K_day"}};
        for (const auto &c : columns) {
            const QString table = QString::fromLatin1(c[0]);
            const QString column = QString::fromLatin1(c[1]);
            QSqlQuery q = select(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE typeof(%2) <> 'integer' "
                                                "OR %2 NOT BETWEEN -2147483648 AND 2147483647")
                                     .arg(table, column));
            if (q.next() && q.value(0).toLongLong() > 0)
                problem(QStringLiteral("%1.%2: %3 values are no 32-bit integer")
                            .arg(table, column, q.value(0).toString()));
        }
    }

    void loadPlaces()
    {
        QSqlQuery q = select(QStringLiteral("SELECT H_index,H_money FROM Hokan_T"));
        while (q.next()) {
            const QString name = q.value(0).toString();
            if (m_index.contains(name)) {
                problem(QStringLiteral("storage place %1 is registered twice").arg(name));
                continue;
            }
            m_index.insert(name, static_cast<int>(m_names.size()));
            m_names.push_back(name);
            m_stored.push_back(q.value(1).toLongLong());
        }
        m_days.resize(m_names.size());
    }

    // History of places no longer registered cannot be checked against a balance.
    std::optional<int> place(const QVariant &name) const
    {
        const auto it = m_index.constFind(name.toString());
        if (it == m_index.constEnd())
            return std::nullopt;
        return *it;
    }

    void loadStocktakes()
    {
        QSqlQuery q = select(
            QStringLiteral("SELECT K_hokan,K_day,K_bmoney,K_amoney FROM Ktanaorosi_T ORDER BY K_day, rowid"));
        while (q.next()) {
            ++m_result.rowsReplayed;
            if (const auto p = place(q.value(0)))
                m_days[*p][q.value(1).toInt()].stocktakes.push_back(
                    {q.value(2).toLongLong(), q.value(3).toLongLong()});
        }
    }

    void loadMovements(const QString &sql, int sign)
    {
        QSqlQuery q = select(sql);
        while (q.next()) {
            ++m_result.rowsReplayed;
            const auto p = place(q.value(0));
            if (!p)
                continue;
            Day &d = m_days[*p][q.value(1).toInt()];
            const qint64 delta = sign * q.value(2).toLongLong();
            d.sum += delta;
            if (!d.stocktakes.empty())
                d.deltas.push_back(delta);
        }
    }

    // The balance after a day with stocktakes, if some order of the day's movements makes
    // every stocktake's "before" true.
    static std::optional<qint64> settle(qint64 start, const Day &d)
    {
        const auto walk = [&](qint64 b) -> std::optional<qint64> {
            for (const Stocktake &s : d.stocktakes) {
                if (s.before != b)
                    return std::nullopt;
                b = s.after;
            }
            return b;
        };
        if (const auto end = walk(start + d.sum)) // counted after the day's movements
            return end;
        if (const auto end = walk(start)) // counted before them
            return *end + d.sum;
        const size_t n = d.deltas.size();
        if (d.stocktakes.size() == 1 && n <= 16) {
            for (quint32 mask = 1; mask + 1 < (1u << n); ++mask) {
                qint64 before = 0;
                for (size_t i = 0; i < n; ++i)
                    if (mask & (1u << i))
                        before += d.deltas[i];
                if (start + before == d.stocktakes[0].before)
                    return d.stocktakes[0].after + (d.sum - before);
            }
        }
        return std::nullopt;
    }

    void replay()
    {
        for (size_t p = 0; p < m_names.size(); ++p) {
            qint64 balance = 0;
            for (const auto &[day, d] : m_days[p]) {
                if (d.stocktakes.empty()) {
                    balance += d.sum;
                    continue;
                }
                if (const auto end = settle(balance, d)) {
                    balance = *end;
                    continue;
                }
                problem(QStringLiteral("%1: a stocktake on %2 records %3 before, the history gives %4")
                            .arg(m_names[p])
                            .arg(day)
                            .arg(d.stocktakes.front().before)
                            .arg(balance));
                balance = d.stocktakes.back().after;
            }
            if (balance != m_stored[p])
                problem(QStringLiteral("%1: balance %2, the history gives %3")
                            .arg(m_names[p])
                            .arg(m_stored[p])
                            .arg(balance));
        }
    }

    QSqlDatabase &m_db;
    Result m_result;
    int m_hidden = 0;
    QHash<QString, int> m_index;
    std::vector<QString> m_names;
    std::vector<qint64> m_stored;
    std::vector<std::map<int, Day>> m_days;
};

} // namespace

Result check(const QString &path)
{
    Result result;
    if (!QFileInfo(path).isFile()) {
        result.problems << QStringLiteral("%1 does not exist").arg(path);
        return result;
    }
    const QString name = QStringLiteral("ledgercheck-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        // mode=rw: never create a file; a leftover journal is rolled back as the program would.
        db.setDatabaseName(
            QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
            + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        try {
            if (!db.open())
                throw std::runtime_error(db.lastError().text().toStdString());
            result = Checker(db).run();
        } catch (const std::exception &e) {
            result.problems << QStringLiteral("cannot read the ledger: ") + QString::fromStdString(e.what());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

} // namespace LedgerCheck
