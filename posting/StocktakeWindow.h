// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

class Grid;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// F_tanaorosi: lists every storage place with its balance and the total of all balances,
// and sets one place's balance to the counted amount, recording the correction in
// Ktanaorosi_T. The update and the history row are one transaction.
class StocktakeWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit StocktakeWindow(const AppContext &context, QWidget *parent = nullptr);

    // Fills the grid, the total and the list of places; runs again after every correction.
    void load() override;

private:
    void execute();

    Grid *m_grid = nullptr;
    QLabel *m_goukei = nullptr;
    QComboBox *m_hokan = nullptr;
    QLineEdit *m_money = nullptr;
    QLineEdit *m_riyuu = nullptr;
    QPlainTextEdit *m_kekka = nullptr;
    QPushButton *m_henkou = nullptr;
    QPushButton *m_end = nullptr;
};
