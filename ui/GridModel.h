// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GridColumns.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QStringList>
#include <optional>
#include <vector>

// The cells behind a Grid: the texts in compact columns (GridColumns), what each column is,
// and the few per-cell settings over the column's, kept only for the cells that have them.
// Rows and columns are 0-based here; Grid adds its 1-based addressing and the heading row.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Kind { Text, Integer, Numeric, Button, Choice };

    struct ColumnSpec
    {
        Kind kind = Kind::Text;
        bool locked = true;
        int maxLength = 0;
        qint64 min = 0;
        qint64 max = 0;
        QStringList entries;
        QString caption;
        double widthChars = -1; // < 0: the default width
    };

    // Settings of one cell; an empty optional means "as the column says".
    struct CellSettings
    {
        std::optional<Kind> kind;
        std::optional<bool> locked;
        std::optional<QStringList> entries;
        std::optional<QString> caption;
        std::optional<QColor> foreground;
    };

    GridModel(int cols, int rows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(
        int section, Qt::Orientation orientation, const QVariant &value, int role = Qt::EditRole) override;

    void setRows(int rows);
    // Replaces every row with those of the block (its columns in the model's order); texts of
    // numeric columns are normalised as setText does. Per-cell settings are dropped with the
    // old rows.
    void replaceRows(GridColumns block);
    // Writes the block into the rows from `firstRow` on (as setText, one change notice).
    void writeRows(int firstRow, const GridColumns &block);
    // Every cell empty; rows, kinds and lists stay.
    void clearTexts();

    QStringView text(int row, int col) const { return m_texts.text(col, row); }
    // Stores the text (numbers of numeric cells normalised) and reports the change.
    void setText(int row, int col, const QString &text);

    const ColumnSpec &spec(int col) const { return m_specs.at(size_t(col)); }
    // A column's settings, to change; report the change with columnChanged().
    ColumnSpec &specToChange(int col) { return m_specs.at(size_t(col)); }
    // Settings given to a whole column replace those of its cells.
    enum Setting { KindAndLock = 1, Entries = 2, Caption = 4 };
    void dropCellSettings(int col, int settings);
    void columnChanged(int col);

    // The settings of one cell, made on first use; report changes with cellChanged().
    CellSettings &cellSettings(int row, int col);
    const CellSettings *findCellSettings(int row, int col) const;

    Kind kindAt(int row, int col) const;
    bool lockedAt(int row, int col) const;
    QStringList entriesAt(int row, int col) const;
    QString captionAt(int row, int col) const;
    std::optional<QColor> foregroundAt(int row, int col) const;
    bool editableAt(int row, int col) const
    {
        return kindAt(row, col) != Kind::Button && !lockedAt(row, col);
    }

    void setRowHeadings(const QStringList &headings);

    // Reports a change of what a cell shows without a change of its text.
    void cellChanged(int row, int col);

private:
    QString stored(int row, int col, QStringView text) const;
    static quint64 key(int row, int col) { return quint64(quint32(row)) << 32 | quint32(col); }
    void dropCellSettingsFrom(int row);

    int m_rows = 0;
    GridColumns m_texts;
    std::vector<ColumnSpec> m_specs;
    QStringList m_headings;
    QStringList m_rowHeadings;
    QHash<quint64, CellSettings> m_cells;
};
