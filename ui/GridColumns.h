// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <initializer_list>
#include <vector>

// The texts of a block of rows, kept column by column: each column is one buffer of UTF-16
// code units and a start and length per cell. A list of 100,000 rows costs a few allocations
// per column instead of one string (or item) per cell. Columns and rows are 0-based here.
//
// A list is read into a block first and handed to the grid in one call, so a read that fails
// part-way leaves the grid as it was.
class GridColumns
{
public:
    explicit GridColumns(int cols = 0);

    int columnCount() const { return int(m_cols.size()); }
    // The rows of the longest column; shorter columns read as empty beyond their end.
    int rowCount() const;

    // Appends one cell to the end of a column.
    void append(int col, QStringView text);
    // Appends one row: a text for each column, column 0 first.
    void appendRow(std::initializer_list<QStringView> texts);
    void reserve(int rows);

    QStringView text(int col, int row) const;
    QString string(int col, int row) const { return text(col, row).toString(); }
    void setText(int col, int row, QStringView text);

    // Rows beyond the new count are dropped; new rows are empty.
    void setRowCount(int rows);
    // Every cell empty, the rows kept.
    void clearTexts();
    void setColumnCount(int cols);
    // Gives back the room the buffers grew into beyond what they hold.
    void squeeze();

private:
    struct Span
    {
        std::uint32_t start = 0;
        std::uint32_t length = 0;
    };
    struct Column
    {
        std::u16string chars;
        std::vector<Span> cells;
        size_t unused = 0; // code units no cell points at any more
    };
    static void store(Column &column, Span &cell, QStringView text);
    static void compact(Column &column);

    std::vector<Column> m_cols;
};
