// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

#include <QStringList>

class Grid;

// F_kubunM: registers income/expense categories, changes their remarks, renames them into
// both item masters and deletes the ones no item uses. The category "自動" cannot be
// renamed or deleted.
class CategoryMaster : public TaskWindow
{
    Q_OBJECT

public:
    explicit CategoryMaster(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

private:
    void registerCategory();
    void updateRow(int row);
    void deleteRow(int row);

    Grid *m_sp1;
    Grid *m_sp2;
    // The name each SP2 row had at the last load: the row's identity for update and delete.
    QStringList m_rowNames;
};
