// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

class Grid;
class QTabWidget;

// F_rireki_S: every stocktake correction and every transfer, newest first, one tab each.
class History : public TaskWindow
{
    Q_OBJECT

public:
    explicit History(const AppContext &context, QWidget *parent = nullptr);

    // Reads both histories; a failure on the second leaves the first shown.
    void load() override;

private:
    QTabWidget *m_tab = nullptr;
    Grid *m_stocktakes = nullptr;
    Grid *m_transfers = nullptr;
};
