// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BudgetPlan.h"
#include "CategoryTotals.h"
#include "TaskWindow.h"

class Grid;
class PieChart;
class QIODevice;
class QLineEdit;
class QRadioButton;
class QScrollBar;

// F_bunrui_S: one year of income or expense per category (or per item), month by month,
// with the year's total, each row's share of it and a pie of the shares. Rebuilt from the
// ledger on opening, on every change of the year or an option, and on activation; the grid
// can be saved as a CSV file.
class CategoryReport : public TaskWindow
{
    Q_OBJECT

public:
    explicit CategoryReport(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // Reads the chosen year into the grid and the pie. On a database failure shows
    // "DB接続失敗", leaves both as they were and puts the controls back to what they show.
    bool refresh();
    // Writes the file text of what the grid shows; false when the device failed.
    bool writeCsv(QIODevice *out) const;

    PieChart *pie() const { return m_pie; }

protected:
    bool event(QEvent *event) override;

private:
    struct Choice
    {
        int year = 0;
        CategoryTotals::Side side = CategoryTotals::Side::Expense;
        CategoryTotals::By by = CategoryTotals::By::Category;
    };
    Choice chosen() const;
    void display(const Choice &choice, const CategoryTotals::Year &totals,
        const std::optional<BudgetPlan::Plan> &plan);
    void setControls(const Choice &choice);
    void optionChanged();
    void exportCsv();
    QString title(const Choice &choice) const;

    QLineEdit *m_year;
    QScrollBar *m_spin;
    QRadioButton *m_income;
    QRadioButton *m_expense;
    QRadioButton *m_byCategory;
    QRadioButton *m_byItem;
    Grid *m_grid;
    PieChart *m_pie;

    // Whether the budget columns are shown (the year has a plan at the level shown).
    bool m_budgetShown = false;
    // What the grid and the pie hold; year 0 before the first successful read.
    Choice m_shown;
    // Set while the controls are put back after a failed read, so that doing so does not
    // read again.
    bool m_settingControls = false;
    // The activation that closing a failure's message box gives back must not read again.
    bool m_skipActivation = false;
};
