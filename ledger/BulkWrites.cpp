// SPDX-License-Identifier: GPL-3.0-or-later
#include "BulkWrites.h"

BulkWrites::BulkWrites(Database &db)
    : m_statements(db)
{ }

void BulkWrites::addPlace(const QString &name, qint32 balance)
{
    m_statements.run(
        "INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES (?, ?, '', '')", {name, balance});
}

void BulkWrites::setBalance(const QString &place, qint32 balance)
{
    m_statements.run("UPDATE Hokan_T SET H_money = ? WHERE H_index = ?", {balance, place});
}

void BulkWrites::post(
    bool income, const QString &item, const QString &place, qint32 money, int date, const QString &memo)
{
    if (income)
        m_statements.run("INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) VALUES (?, ?, ?, ?, ?)",
            {item, place, money, date, memo});
    else
        m_statements.run("INSERT INTO S (S_index, S_hokan, S_money, S_date, S_memo) VALUES (?, ?, ?, ?, ?)",
            {item, place, money, date, memo});
}

void BulkWrites::transfer(const QString &from, const QString &to, qint32 money, int date, const QString &memo)
{
    m_statements.run(
        "INSERT INTO Idourireki_T (I_hokanmoto, I_hokansaki, I_money, I_day, I_memo) VALUES (?, ?, ?, ?, ?)",
        {from, to, money, date, memo});
}

void BulkWrites::stocktake(const QString &place, int date, qint32 before, qint32 after, const QString &reason)
{
    m_statements.run(
        "INSERT INTO Ktanaorosi_T (K_hokan, K_bmoney, K_amoney, K_riyuu, K_day) VALUES (?, ?, ?, ?, ?)",
        {place, before, after, reason, date});
}
