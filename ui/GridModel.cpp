// SPDX-License-Identifier: GPL-3.0-or-later
#include "GridModel.h"

#include <QBrush>
#include <cmath>

namespace {

// Numeric cells hold whole numbers: a value given with decimals is rounded, one that is no
// number at all is kept as it came, so nothing a window writes is silently lost.
QString normalizeNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return t;
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (ok)
        return QString::number(n);
    const double d = t.toDouble(&ok);
    if (ok && std::isfinite(d) && std::fabs(d) < 9e18)
        return QString::number(qRound64(d));
    return text;
}

// Whether normalizeNumber would give the text back unchanged, decided without converting:
// the empty text, "0", or digits without a leading zero after an optional minus sign, short
// enough to be a 64-bit number.
bool isNormalNumber(QStringView v)
{
    if (v.isEmpty())
        return true;
    const qsizetype start = v.startsWith(u'-') ? 1 : 0;
    const qsizetype digits = v.size() - start;
    if (digits < 1 || digits > 18 || (v.at(start) == u'0' && (digits > 1 || start == 1)))
        return false;
    for (qsizetype i = start; i < v.size(); ++i) {
        if (v.at(i) < u'0' || v.at(i) > u'9')
            return false;
    }
    return true;
}

} // namespace

GridModel::GridModel(int cols, int rows, QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(qMax(0, rows))
    , m_texts(qMax(0, cols))
    , m_specs(size_t(qMax(0, cols)))
    , m_headings(qMax(0, cols))
{
    m_texts.setRowCount(m_rows);
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_specs.size());
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column()).toString();
    case Qt::ForegroundRole:
        if (const std::optional<QColor> c = foregroundAt(index.row(), index.column()))
            return QBrush(*c);
        return {};
    default:
        return {};
    }
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)
        || (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    // What an editor gives is stored as it is: the editors already keep to their cell's kind.
    const QString t = value.toString();
    if (text(index.row(), index.column()) != t) {
        m_texts.setText(index.column(), index.row(), t);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    }
    return true;
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (editableAt(index.row(), index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_headings.size() ? QVariant(m_headings.at(section)) : QVariant();
    if (section < 0 || section >= m_rows)
        return {};
    return section < m_rowHeadings.size() ? m_rowHeadings.at(section) : QString::number(section + 1);
}

bool GridModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) || section < 0
        || section >= m_headings.size())
        return false;
    m_headings[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void GridModel::setRowHeadings(const QStringList &headings)
{
    m_rowHeadings = headings;
    if (m_rows > 0)
        emit headerDataChanged(Qt::Vertical, 0, m_rows - 1);
}

void GridModel::setRows(int rows)
{
    rows = qMax(0, rows);
    if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        m_texts.setRowCount(rows);
        dropCellSettingsFrom(rows);
        endRemoveRows();
    } else if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        m_texts.setRowCount(rows);
        endInsertRows();
    }
}

void GridModel::replaceRows(GridColumns block)
{
    block.setColumnCount(columnCount());
    const int rows = block.rowCount();
    block.setRowCount(rows);
    for (int c = 0; c < columnCount(); ++c) {
        if (m_specs[size_t(c)].kind != Kind::Numeric)
            continue;
        for (int r = 0; r < rows; ++r) {
            const QStringView v = block.text(c, r);
            if (!isNormalNumber(v))
                block.setText(c, r, normalizeNumber(v.toString()));
        }
    }
    // A list read from a cursor has grown its buffers by doubling; a long one would keep up
    // to twice the room it needs for as long as it is shown.
    block.squeeze();
    beginResetModel();
    m_texts = std::move(block);
    m_rows = rows;
    m_cells.clear();
    endResetModel();
}

void GridModel::clearTexts()
{
    m_texts.clearTexts();
    if (m_rows > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1), {Qt::DisplayRole, Qt::EditRole});
}

QString GridModel::stored(int row, int col, QStringView text) const
{
    return kindAt(row, col) == Kind::Numeric && !isNormalNumber(text) ? normalizeNumber(text.toString())
                                                                      : text.toString();
}

void GridModel::setText(int row, int col, const QString &text)
{
    const QString value = stored(row, col, text);
    if (this->text(row, col) == value)
        return;
    m_texts.setText(col, row, value);
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
}

void GridModel::writeRows(int firstRow, const GridColumns &block)
{
    const int last = qMin(m_rows, firstRow + block.rowCount()) - 1;
    const int cols = qMin(columnCount(), block.columnCount());
    if (firstRow < 0 || last < firstRow || cols == 0)
        return;
    for (int r = firstRow; r <= last; ++r) {
        for (int c = 0; c < cols; ++c)
            m_texts.setText(c, r, stored(r, c, block.text(c, r - firstRow)));
    }
    emit dataChanged(index(firstRow, 0), index(last, cols - 1), {Qt::DisplayRole, Qt::EditRole});
}

GridModel::CellSettings &GridModel::cellSettings(int row, int col)
{
    return m_cells[key(row, col)];
}

const GridModel::CellSettings *GridModel::findCellSettings(int row, int col) const
{
    if (m_cells.isEmpty())
        return nullptr;
    const auto it = m_cells.constFind(key(row, col));
    return it == m_cells.constEnd() ? nullptr : &*it;
}

GridModel::Kind GridModel::kindAt(int row, int col) const
{
    const CellSettings *s = findCellSettings(row, col);
    return s && s->kind ? *s->kind : spec(col).kind;
}

bool GridModel::lockedAt(int row, int col) const
{
    const CellSettings *s = findCellSettings(row, col);
    return s && s->locked ? *s->locked : spec(col).locked;
}

QStringList GridModel::entriesAt(int row, int col) const
{
    const CellSettings *s = findCellSettings(row, col);
    return s && s->entries ? *s->entries : spec(col).entries;
}

QString GridModel::captionAt(int row, int col) const
{
    const CellSettings *s = findCellSettings(row, col);
    return s && s->caption ? *s->caption : spec(col).caption;
}

std::optional<QColor> GridModel::foregroundAt(int row, int col) const
{
    const CellSettings *s = findCellSettings(row, col);
    return s ? s->foreground : std::nullopt;
}

void GridModel::dropCellSettings(int col, int settings)
{
    for (auto it = m_cells.begin(); it != m_cells.end(); ++it) {
        if (int(it.key() & 0xffffffffu) != col)
            continue;
        if (settings & KindAndLock) {
            it->kind.reset();
            it->locked.reset();
        }
        if (settings & Entries)
            it->entries.reset();
        if (settings & Caption)
            it->caption.reset();
    }
}

void GridModel::dropCellSettingsFrom(int row)
{
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        if (int(it.key() >> 32) >= row)
            it = m_cells.erase(it);
        else
            ++it;
    }
}

void GridModel::columnChanged(int col)
{
    if (m_rows > 0)
        emit dataChanged(index(0, col), index(m_rows - 1, col));
}

void GridModel::cellChanged(int row, int col)
{
    const QModelIndex i = index(row, col);
    emit dataChanged(i, i);
}
