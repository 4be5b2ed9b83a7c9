// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveInWriter.h"

MoveInWriter::MoveInWriter(Database &db)
    : m_statements(db)
    , m_ledger(db)
{ }

void MoveInWriter::addCategory(const QString &name)
{
    m_statements.run("INSERT INTO Kubun_T (K_index, K_memo) VALUES (?, '')", {name});
}

void MoveInWriter::addItem(bool income, const QString &name, const QString &category, const QString &place)
{
    if (income)
        m_statements.run("INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES (?, ?, ?, '')",
            {name, category, place});
    else
        m_statements.run("INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES (?, ?, ?, '')",
            {name, category, place});
}

void MoveInWriter::remember(const QString &layout, const QString &id)
{
    m_statements.run("INSERT OR IGNORE INTO X_movein_id (XM_layout, XM_id) VALUES (?, ?)", {layout, id});
}
