// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GridColumns.h"
#include "GridModel.h"

#include <QColor>
#include <QPersistentModelIndex>
#include <QTableView>

// The table control of every list. Columns are 1..maxCols() and data rows 1..maxRows();
// row 0 is the heading row (the horizontal header) and the row-header column is hidden.
// Every value goes in and out as text: numbers as plain decimal digits, choices as the
// 0-based position of the chosen entry ("" when nothing is chosen). The cells live in a
// GridModel: texts in compact columns, per-cell settings only where a cell has them.
class Grid : public QTableView
{
    Q_OBJECT

public:
    enum class Kind { Text, Integer, Numeric, Button, Choice };
    Q_ENUM(Kind)

    Grid(int cols, int rows, QWidget *parent = nullptr);

    Q_INVOKABLE int maxCols() const;
    Q_INVOKABLE int maxRows() const;
    // Setting fewer rows drops the rows beyond; more rows are added blank, of the columns' kinds.
    Q_INVOKABLE void setMaxRows(int rows);

    Q_INVOKABLE void setHeading(int col, const QString &text);
    Q_INVOKABLE QString heading(int col) const;
    // Texts for the row-header column, where a grid shows it (row 1 first).
    Q_INVOKABLE void setRowHeadings(const QStringList &headings);
    // Width in character units of the grid's font.
    Q_INVOKABLE void setColumnWidthChars(int col, double chars);

    // Column kinds, for every row (present and future). Editable cells and choice cells get
    // the light-yellow background RGB (255, 255, 128); locked cells are read-only.
    Q_INVOKABLE void setTextColumn(int col, int maxLength = 0, bool locked = true);
    Q_INVOKABLE void setIntegerColumn(int col, qint64 min, qint64 max, bool locked = false);
    Q_INVOKABLE void setNumericColumn(int col, qint64 min, qint64 max, bool locked = true);
    Q_INVOKABLE void setButtonColumn(int col, const QString &caption);
    // The list is one text in which every entry is followed by a TAB.
    Q_INVOKABLE void setChoiceColumn(int col, const QString &list, bool locked = false);

    // The same for one cell.
    Q_INVOKABLE void setCellKind(int col, int row, Grid::Kind kind);
    Q_INVOKABLE Grid::Kind cellKind(int col, int row) const;
    Q_INVOKABLE void setCellLocked(int col, int row, bool locked);
    Q_INVOKABLE bool isCellLocked(int col, int row) const;
    Q_INVOKABLE void setCellChoiceList(int col, int row, const QString &list);
    Q_INVOKABLE void setColumnChoiceList(int col, const QString &list);
    Q_INVOKABLE QStringList choiceEntries(int col, int row) const;
    Q_INVOKABLE void setButtonCaption(int col, int row, const QString &caption);

    Q_INVOKABLE QString text(int col, int row) const;
    Q_INVOKABLE void setText(int col, int row, const QString &text);
    // An invalid colour puts back the default: black in the yellow input cells, the palette's
    // text colour elsewhere.
    Q_INVOKABLE void setCellTextColor(int col, int row, const QColor &color);
    Q_INVOKABLE QColor cellTextColor(int col, int row) const;
    Q_INVOKABLE QColor cellBackground(int col, int row) const;

    // Blanks every data cell (kinds, lists and row count stay).
    Q_INVOKABLE void clearCells();
    // Replaces every data row with the rows of the block in one step (block column 0 is grid
    // column 1). Kinds, lists and headings stay; per-cell settings go with the old rows;
    // numeric cells are normalised as setText does.
    void replaceRows(GridColumns rows);
    // Writes the block's texts into the rows from `firstRow` on, as setText would, with one
    // change notice; rows beyond the grid are left out, per-cell settings stay.
    void writeRows(int firstRow, const GridColumns &rows);

    // Presses the button cell as a click would (tests and keyboard use).
    Q_INVOKABLE void clickButton(int col, int row);

    using QTableView::edit;
    void keyboardSearch(const QString &search) override;

signals:
    // A button cell was clicked (mouse, or Space/Enter while the cell has the focus).
    void buttonClicked(int col, int row, bool down);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    friend class GridDelegate;

    using ColumnSpec = GridModel::ColumnSpec;

    bool validCell(int col, int row) const;
    void commitOpenEditor();
    void setColumnKind(int col, Kind kind, bool locked);
    void applyColumnWidth(int col);

    // What the cell at a model index is, with per-cell settings over the column's.
    Kind kindAt(const QModelIndex &index) const;
    bool lockedAt(const QModelIndex &index) const;
    QStringList entriesAt(const QModelIndex &index) const;
    QString captionAt(const QModelIndex &index) const;
    bool editableAt(const QModelIndex &index) const;
    const ColumnSpec &specAt(const QModelIndex &index) const { return m_model->spec(index.column()); }

    GridModel *m_model;
    QPersistentModelIndex m_pressed;
    bool m_popupOnEdit = false;
};
