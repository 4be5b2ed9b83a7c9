// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Forecast.h"
#include "Schedule.h"
#include "TaskWindow.h"

class ForecastGraph;
class Grid;
class QComboBox;
class QRadioButton;
class QTabWidget;

// F_mitosi: the balance ahead. The first tab lists the expected movements of one place (or
// all) over 1, 3, 6 or 12 months in date order with the balance after each, red where it would
// go below zero (a card: below minus its limit), and a graph of the balance day by day; the
// second tab edits the items' schedules, each change one action of the history. It never
// posts.
class ForecastWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit ForecastWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;
    // Reads the forecast and the schedules again; false after a database failure.
    bool refresh();

    // Writes the schedule of row `row` of the schedule grid as it stands, or removes it (after
    // asking); false when a cell is wrong (after saying which), on No, or when the write failed.
    bool saveSchedule(int row);
    bool removeSchedule(int row);

    const Forecast::Result &result() const { return m_result; }
    ForecastGraph *graph() const { return m_graph; }

    // Columns of the schedule grid SP2.
    enum ScheduleCol {
        ColSide = 1,
        ColItem,
        ColPlace,
        ColDay,
        ColMonths,
        ColShift,
        ColAmount,
        ColFixed,
        ColSave,
        ColRemove,
    };

private:
    int months() const;
    void showPeriod(int months);
    QString chosenPlace() const;
    void display();
    void displaySchedules();

    QComboBox *m_place;
    QRadioButton *m_months[4];
    QTabWidget *m_tabs;
    Grid *m_grid;
    ForecastGraph *m_graph;
    Grid *m_schedules;

    Forecast::Result m_result;
    QList<Schedule::Entry> m_entries;
    int m_shownMonths = 3;
};
