// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// F_idou: moves an amount from one storage place to another and records the move in
// Idourireki_T. Both balance updates and the history row are one transaction.
class TransferWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit TransferWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

private:
    void execute();
    // The execute button follows the digits-only check of whichever box changed last.
    void boxChanged(const QString &text);

    QLabel *m_arrow = nullptr;
    QComboBox *m_moto = nullptr;
    QComboBox *m_saki = nullptr;
    QLineEdit *m_money = nullptr;
    QLineEdit *m_day = nullptr;
    QLineEdit *m_memo = nullptr;
    QPlainTextEdit *m_kekka = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_end = nullptr;
};
