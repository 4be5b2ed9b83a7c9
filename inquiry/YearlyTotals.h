// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

class Grid;
class QIODevice;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class YearlyGraph;

// F_all_S: the income, expense and difference of each month of one year, as a grid and a
// line graph, rebuilt from the ledger on every activation, on every change of the year and
// on "グラフ再表示"; the grid can be saved as a CSV file.
class YearlyTotals : public TaskWindow
{
    Q_OBJECT

public:
    explicit YearlyTotals(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // Reads the year's totals into the grid and the graph. On a database failure shows
    // "DB接続失敗" and leaves both as they were; returns false then.
    bool refresh();
    // Writes the file text of what the grid shows; false when the device failed.
    bool writeCsv(QIODevice *out) const;

    YearlyGraph *graph() const { return m_graph; }

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void yearChanged(int year);
    void exportCsv();
    void fitGrid();
    void place(QWidget *w, int x, int y, int width, int height);

    YearlyGraph *m_graph;
    QLabel *m_heading;
    QLineEdit *m_year;
    QScrollBar *m_spin;
    Grid *m_grid;
    QPushButton *m_list;
    QPushButton *m_csv;
    QPushButton *m_end;

    // The year whose totals the grid and graph hold; 0 before the first successful read.
    int m_shownYear = 0;
    // Set while the year controls are put back after a failed read, so that doing so does
    // not read again.
    bool m_restoringYear = false;
    // After a failed read the message box takes the activation; closing it gives the window
    // its activation back. That one activation must not read (and fail) again, or a missing
    // ledger would show the message for ever.
    bool m_skipActivation = false;
};
