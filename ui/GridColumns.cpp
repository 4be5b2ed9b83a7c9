// SPDX-License-Identifier: GPL-3.0-or-later
#include "GridColumns.h"

#include <algorithm>
#include <stdexcept>

GridColumns::GridColumns(int cols)
    : m_cols(size_t(std::max(0, cols)))
{ }

int GridColumns::rowCount() const
{
    size_t rows = 0;
    for (const Column &c : m_cols)
        rows = std::max(rows, c.cells.size());
    return int(rows);
}

void GridColumns::store(Column &column, Span &cell, QStringView text)
{
    const size_t length = size_t(text.size());
    if (length <= cell.length) {
        // Fits where the old text was: no growth for edits that keep or shorten a cell.
        std::copy_n(text.utf16(), length, column.chars.begin() + cell.start);
        column.unused += cell.length - length;
        cell.length = std::uint32_t(length);
        return;
    }
    if (column.chars.size() + length > UINT32_MAX)
        throw std::length_error("grid column too long");
    column.unused += cell.length;
    cell.start = std::uint32_t(column.chars.size());
    cell.length = std::uint32_t(length);
    column.chars.append(reinterpret_cast<const char16_t *>(text.utf16()), length);
}

void GridColumns::compact(Column &column)
{
    // Edits leave the old texts behind; once they are most of the buffer, pack it again.
    if (column.unused < 4096 || column.unused < column.chars.size() / 2)
        return;
    std::u16string packed;
    packed.reserve(column.chars.size() - column.unused);
    for (Span &cell : column.cells) {
        const std::uint32_t start = std::uint32_t(packed.size());
        packed.append(column.chars, cell.start, cell.length);
        cell.start = start;
    }
    column.chars = std::move(packed);
    column.unused = 0;
}

void GridColumns::append(int col, QStringView text)
{
    Column &c = m_cols.at(size_t(col));
    const size_t start = c.chars.size();
    if (start + size_t(text.size()) > UINT32_MAX)
        throw std::length_error("grid column too long");
    c.chars.append(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
    c.cells.push_back({std::uint32_t(start), std::uint32_t(text.size())});
}

void GridColumns::appendRow(std::initializer_list<QStringView> texts)
{
    int col = 0;
    for (QStringView t : texts)
        append(col++, t);
}

void GridColumns::reserve(int rows)
{
    for (Column &c : m_cols)
        c.cells.reserve(size_t(std::max(0, rows)));
}

QStringView GridColumns::text(int col, int row) const
{
    if (col < 0 || size_t(col) >= m_cols.size())
        return {};
    const Column &c = m_cols[size_t(col)];
    if (row < 0 || size_t(row) >= c.cells.size())
        return {};
    const Span s = c.cells[size_t(row)];
    return QStringView(c.chars.data() + s.start, qsizetype(s.length));
}

void GridColumns::setText(int col, int row, QStringView text)
{
    if (col < 0 || size_t(col) >= m_cols.size() || row < 0)
        return;
    Column &c = m_cols[size_t(col)];
    if (size_t(row) >= c.cells.size())
        c.cells.resize(size_t(row) + 1);
    store(c, c.cells[size_t(row)], text);
    compact(c);
}

void GridColumns::setRowCount(int rows)
{
    const size_t n = size_t(std::max(0, rows));
    for (Column &c : m_cols) {
        if (n == 0) {
            c = Column();
            continue;
        }
        for (size_t r = n; r < c.cells.size(); ++r)
            c.unused += c.cells[r].length;
        c.cells.resize(n);
        compact(c);
    }
}

void GridColumns::clearTexts()
{
    for (Column &c : m_cols) {
        const size_t rows = c.cells.size();
        c = Column();
        c.cells.resize(rows);
    }
}

void GridColumns::setColumnCount(int cols)
{
    m_cols.resize(size_t(std::max(0, cols)));
}

void GridColumns::squeeze()
{
    for (Column &c : m_cols) {
        c.chars.shrink_to_fit();
        c.cells.shrink_to_fit();
    }
}
