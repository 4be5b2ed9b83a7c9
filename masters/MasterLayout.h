// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>
#include <functional>
#include <initializer_list>

class Dialogs;
class Grid;
class QHBoxLayout;
class QLabel;
class QObject;
class QVBoxLayout;
class QWidget;

// Small pieces the master windows share: the big heading, grids sized to their columns and
// filled from rows, the common window layout and the close button.
namespace MasterLayout {

struct Column
{
    QString heading;
    // In characters; 0 leaves the grid's default width.
    double width = 0;
};

// The window's heading label (Label5), in a larger bold font.
QLabel *heading(const QString &text, QWidget *parent);
// A plain label with the given object name.
QLabel *label(const char *name, const QString &text, QWidget *parent);
// Makes the grid exactly as wide as its columns, and as high as the heading row plus
// `visibleRows` data rows (the grid scrolls beyond that).
void fitGrid(Grid *grid, int visibleRows);
// Sets the heading and width of columns 1, 2, ... in turn.
void setColumns(Grid *grid, std::initializer_list<Column> columns);
// Makes the grid exactly as long as `rows` and puts each row's texts into columns 1, 2, ...
void fillGrid(Grid *grid, const QList<QStringList> &rows);

// The window's layout down to the list grid: heading, "新規登録", the register grid,
// `listLabel` and the list grid, which takes the spare height.
QVBoxLayout *gridsLayout(
    QWidget *window, const QString &caption, Grid *sp1, const QString &listLabel, Grid *sp2);
// A row with the "閉じる" button (cmd_end) at its right; the button closes the window.
QHBoxLayout *closeRow(QWidget *window);
// Calls onRegister for a click on SP1's register column, and onUpdate/onDelete with the row
// for a click on SP2's update/delete column.
void connectButtons(QObject *receiver, Grid *sp1, int registerCol, const std::function<void()> &onRegister,
    Grid *sp2, int updateCol, const std::function<void(int)> &onUpdate, int deleteCol,
    const std::function<void(int)> &onDelete);

// Shows a refusal the ledger gave; true when there was one.
bool refused(Dialogs &dialogs, const QString &refusal);

} // namespace MasterLayout
