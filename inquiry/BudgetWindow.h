// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BudgetPlan.h"
#include "TaskWindow.h"

#include <optional>

class BudgetGraph;
class Grid;
class QIODevice;
class QLineEdit;
class QRadioButton;
class QScrollBar;

// F_yosan: a year's budget for income or expense by category or by item, month by month,
// under each budget row the actual figures (the category report's) and what is left. The
// budget cells are edited in the grid and saved as one action of the history; a plan can be
// made from the previous year's actual figures.
class BudgetWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit BudgetWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // Reads the chosen year's plan and actual figures into the grid; false after a database
    // failure, with the grid as it was.
    bool refresh();
    // Writes the plan as the grid shows it; false when a cell is no amount (after saying so)
    // or the write failed.
    bool save();
    // Fills the grid from the previous year's actual figures (asking first when the year has
    // a plan); nothing is written before save().
    bool createFromPreviousYear();
    bool writeCsv(QIODevice *out) const;

    BudgetGraph *graph() const { return m_graph; }

    // The grid's rows of one plan row: budget, actual, remainder.
    static constexpr int RowsPerLine = 3;

private:
    struct Choice
    {
        int year = 0;
        BudgetPlan::Side side = BudgetPlan::Side::Expense;
        BudgetPlan::By by = BudgetPlan::By::Category;
    };
    Choice chosen() const;
    void setControls(const Choice &choice);
    void yearOrSideChanged();
    void levelChanged();
    void display();
    // The plan as the grid's budget cells and switches hold it; nothing when a cell is no
    // amount, after saying which.
    std::optional<BudgetPlan::Plan> planFromGrid();
    void carryClicked(int row);
    void exportCsv();
    // The graph shows the line of the grid row given, the total for any other row.
    void showInGraph(int row);

    QLineEdit *m_year;
    QScrollBar *m_spin;
    QRadioButton *m_expense;
    QRadioButton *m_income;
    QRadioButton *m_byCategory;
    QRadioButton *m_byItem;
    Grid *m_grid;
    BudgetGraph *m_graph;

    Choice m_shown;
    // The plan shown: the stored one, or one being made (a new level, or from the previous
    // year) until it is saved.
    BudgetPlan::Plan m_plan;
    bool m_stored = false;
    CategoryTotals::Year m_actual;
    BudgetPlan::Sheet m_sheet;
    bool m_settingControls = false;
};
