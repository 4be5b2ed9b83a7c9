// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

class Grid;
class QComboBox;
class QLabel;
class QLineEdit;

// F_hokanM: registers storage places, changes their keeper and remark, deletes places no
// item uses, and renames a place everywhere its name is stored.
class StorageMaster : public TaskWindow
{
    Q_OBJECT

public:
    explicit StorageMaster(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

private:
    void registerPlace();
    void updateRow(int row);
    void deleteRow(int row);
    void rename();

    Grid *m_sp1;
    Grid *m_sp2;
    QComboBox *m_hokan;
    QLabel *m_arrow;
    QLineEdit *m_newName;
};
