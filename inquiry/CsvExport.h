// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

#include <optional>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QScrollBar;

// F_csv: writes one of the five histories over a range of months, or one of the four
// master lists, to a CSV file the user chooses.
class CsvExport : public TaskWindow
{
    Q_OBJECT

public:
    explicit CsvExport(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // The chosen output kind, or -1 when nothing was chosen from the list (text typed into
    // the box that is not the chosen entry counts as nothing).
    int selectedKind() const;

private:
    void kindChosen(int index);
    void yearEdited(QLineEdit *box);
    void exportList();
    // The year of a box when it is a number from 2000 to 2100.
    static std::optional<int> yearOf(const QLineEdit *box);

    QComboBox *m_kind;
    QGroupBox *m_period;
    QLineEdit *m_year1;
    QScrollBar *m_spin1;
    QComboBox *m_month1;
    QLineEdit *m_year2;
    QScrollBar *m_spin2;
    QComboBox *m_month2;
    QPushButton *m_export;
    QPushButton *m_end;
};
