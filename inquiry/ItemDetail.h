// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

#include <QString>
#include <optional>

class BarGraph;
class Database;
class Grid;
class QComboBox;
class QRadioButton;
class QTabWidget;

// F_list_S: the postings of one income or expense item, all of them or those of the last
// months, newest or largest first, with the first ten as a bar graph.
class ItemDetail : public TaskWindow
{
    Q_OBJECT

public:
    explicit ItemDetail(const AppContext &context, QWidget *parent = nullptr);

    // Fills cb_list: the income item names, then the expense item names.
    void load() override;
    // cmd_kensaku: the list, then the graph.
    void search();

    // yyyymm01 of the month `months` calendar months before the month yyyymm.
    static qint32 startDate(int yearMonth, int months);
    // The search statement on N (income) or S (expense); no start means every posting.
    static QString searchStatement(
        bool income, const QString &item, std::optional<qint32> start, bool byAmount);
    // A name counts as an income item only when it has income postings and no expense ones;
    // a name without postings counts as an expense item.
    static bool isIncomeItem(Database &db, const QString &item);

private:
    std::optional<int> selectedMonths() const;
    void drawGraph();

    QComboBox *m_items = nullptr;
    std::vector<std::pair<QRadioButton *, std::optional<int>>> m_periods;
    QRadioButton *m_byAmount = nullptr;
    QTabWidget *m_tab = nullptr;
    Grid *m_grid = nullptr;
    BarGraph *m_graph = nullptr;
};
