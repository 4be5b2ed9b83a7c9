// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"

#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QValidator>

namespace {

const QColor editableBackground(255, 255, 128);
// The input cells' light yellow is fixed, so their text colour is too: a dark desktop's light
// text would not show on it.
const QColor editableText(Qt::black);

// A palette whose text areas are the input cells' yellow with black text.
QPalette inputPalette(QPalette p)
{
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Base, editableBackground);
        p.setColor(group, QPalette::Text, editableText);
    }
    return p;
}
const double defaultWidthChars = 9;

QStringList parseChoiceList(const QString &list)
{
    // Every entry ends with a TAB, so the last TAB closes the last entry and adds none.
    QStringList entries = list.split(QLatin1Char('\t'));
    if (!entries.isEmpty() && entries.constLast().isEmpty())
        entries.removeLast();
    return entries;
}

bool isPlainInteger(const QString &v)
{
    const int start = v.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (v.size() <= start)
        return false;
    for (int i = start; i < v.size(); ++i) {
        if (v.at(i) < QLatin1Char('0') || v.at(i) > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString groupDigits(const QString &v)
{
    if (!isPlainInteger(v))
        return v;
    const int start = v.startsWith(QLatin1Char('-')) ? 1 : 0;
    QString out = v;
    for (int i = out.size() - 3; i > start; i -= 3)
        out.insert(i, QLatin1Char(','));
    return out;
}

// Accepts whole numbers in [min, max] while they are typed. A keystroke that can no longer
// lead to a number in range is refused; full-width digits typed through an input method
// count as their half-width forms. What may still become a number ("-") is accepted as it
// stands, so that every way of leaving the editor puts it into the cell, where the window
// refuses it as no number; it never falls back to the value the cell held before.
class RangeValidator : public QValidator
{
public:
    RangeValidator(qint64 min, qint64 max, QObject *parent)
        : QValidator(parent)
        , m_min(min)
        , m_max(max)
    { }

    State validate(QString &s, int &) const override
    {
        for (QChar &c : s) {
            if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
                c = QChar(u'0' + (c.unicode() - 0xFF10));
            else if (c.unicode() == 0xFF0D || c.unicode() == 0x2212)
                c = QLatin1Char('-');
        }
        if (s.isEmpty())
            return Acceptable; // an empty cell
        if (s == QLatin1String("-"))
            return m_min < 0 ? Acceptable : Invalid;
        if (!isPlainInteger(s))
            return Invalid;
        bool ok = false;
        const qint64 v = s.toLongLong(&ok);
        if (!ok)
            return Invalid;
        if (v >= m_min && v <= m_max)
            return Acceptable;
        // More digits only move a value further from zero.
        if ((v > m_max && v >= 0) || (v < m_min && v <= 0))
            return Invalid;
        return Acceptable;
    }

private:
    qint64 m_min, m_max;
};

} // namespace

// Draws button cells as push buttons and choice cells with a drop-down arrow, shows numeric
// cells grouped and choices as their entry text, and makes the editors of each kind.
class GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(Grid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    { }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const Grid::Kind kind = m_grid->kindAt(index);
        QStyle *style = m_grid->style();
        if (kind == Grid::Kind::Button) {
            QStyleOptionButton b;
            b.rect = option.rect.adjusted(1, 1, -1, -1);
            b.text = m_grid->captionAt(index);
            b.palette = option.palette;
            b.fontMetrics = option.fontMetrics;
            b.state = QStyle::State_Enabled;
            b.state |= (m_grid->m_pressed == index) ? QStyle::State_Sunken : QStyle::State_Raised;
            if (option.state & QStyle::State_HasFocus)
                b.state |= QStyle::State_HasFocus;
            style->drawControl(QStyle::CE_PushButton, &b, painter, m_grid);
            return;
        }
        if (kind == Grid::Kind::Choice) {
            const int arrow = qMin(option.rect.height(), 16);
            QStyleOptionViewItem o(option);
            initStyleOption(&o, index);
            painter->fillRect(option.rect,
                o.backgroundBrush.style() == Qt::NoBrush ? option.palette.base() : o.backgroundBrush);
            QStyleOptionViewItem textPart(option);
            textPart.rect.setRight(option.rect.right() - arrow);
            QStyledItemDelegate::paint(painter, textPart, index);
            QStyleOption a;
            a.rect
                = QRect(option.rect.right() - arrow + 1, option.rect.top(), arrow - 2, option.rect.height());
            a.palette = option.palette;
            a.state = QStyle::State_Enabled;
            style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &a, painter, m_grid);
            return;
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

    QWidget *createEditor(
        QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        const Grid::ColumnSpec &spec = m_grid->specAt(index);
        switch (m_grid->kindAt(index)) {
        case Grid::Kind::Text: {
            auto *e = new QLineEdit(parent);
            e->setFrame(false);
            e->setPalette(inputPalette(e->palette()));
            if (spec.maxLength > 0)
                e->setMaxLength(spec.maxLength);
            return e;
        }
        case Grid::Kind::Integer:
        case Grid::Kind::Numeric: {
            auto *e = new QLineEdit(parent);
            e->setFrame(false);
            e->setPalette(inputPalette(e->palette()));
            e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            e->setValidator(new RangeValidator(spec.min, spec.max, e));
            return e;
        }
        case Grid::Kind::Choice: {
            auto *c = new QComboBox(parent);
            c->setPalette(inputPalette(c->palette()));
            c->addItems(m_grid->entriesAt(index));
            auto *self = const_cast<GridDelegate *>(this);
            // Choosing an entry is the whole edit.
            QObject::connect(c, &QComboBox::activated, self, [self, c] {
                emit self->commitData(c);
                emit self->closeEditor(c, QAbstractItemDelegate::NoHint);
            });
            if (m_grid->m_popupOnEdit)
                QTimer::singleShot(0, c, &QComboBox::showPopup);
            return c;
        }
        case Grid::Kind::Button:
            break;
        }
        return nullptr;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *c = qobject_cast<QComboBox *>(editor)) {
            bool ok = false;
            const int pos = index.data(Qt::DisplayRole).toString().toInt(&ok);
            c->setCurrentIndex(ok && pos >= 0 && pos < c->count() ? pos : -1);
        } else if (auto *e = qobject_cast<QLineEdit *>(editor)) {
            // An editor opened by a keystroke starts empty; the keystroke then fills it.
            e->setText(index.data(Qt::DisplayRole).toString());
        }
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        if (auto *c = qobject_cast<QComboBox *>(editor)) {
            const int pos = c->currentIndex();
            model->setData(index, pos < 0 ? QString() : QString::number(pos));
        } else if (auto *e = qobject_cast<QLineEdit *>(editor)) {
            QString t = e->text();
            if (const QValidator *v = e->validator()) {
                int cursor = 0;
                // Full-width digits become half-width; an unfinished number stays as typed.
                if (v->validate(t, cursor) == QValidator::Acceptable && isPlainInteger(t))
                    t = QString::number(t.toLongLong());
            }
            model->setData(index, t);
        }
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString value = index.data(Qt::DisplayRole).toString();
        switch (m_grid->kindAt(index)) {
        case Grid::Kind::Numeric:
            option->text = groupDigits(value);
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
            break;
        case Grid::Kind::Integer:
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
            break;
        case Grid::Kind::Choice: {
            bool ok = false;
            const int pos = value.toInt(&ok);
            const QStringList entries = m_grid->entriesAt(index);
            option->text = ok && pos >= 0 && pos < entries.size() ? entries.at(pos) : QString();
            break;
        }
        case Grid::Kind::Button:
            option->text.clear();
            break;
        case Grid::Kind::Text:
            break;
        }
        if (!option->text.isEmpty())
            option->features |= QStyleOptionViewItem::HasDisplay;
        if (m_grid->editableAt(index)) {
            option->backgroundBrush = editableBackground;
            if (!index.data(Qt::ForegroundRole).isValid())
                option->palette.setColor(QPalette::Text, editableText);
        }
    }

private:
    Grid *m_grid;
};

namespace {

// The grid's kinds are the model's, in the same order.
static_assert(int(Grid::Kind::Text) == int(GridModel::Kind::Text)
    && int(Grid::Kind::Integer) == int(GridModel::Kind::Integer)
    && int(Grid::Kind::Numeric) == int(GridModel::Kind::Numeric)
    && int(Grid::Kind::Button) == int(GridModel::Kind::Button)
    && int(Grid::Kind::Choice) == int(GridModel::Kind::Choice));

GridModel::Kind modelKind(Grid::Kind kind)
{
    return GridModel::Kind(int(kind));
}

Grid::Kind gridKind(GridModel::Kind kind)
{
    return Grid::Kind(int(kind));
}

} // namespace

Grid::Grid(int cols, int rows, QWidget *parent)
    : QTableView(parent)
    , m_model(new GridModel(cols, rows, this))
{
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
        | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    for (int c = 1; c <= maxCols(); ++c)
        applyColumnWidth(c);
}

int Grid::maxCols() const
{
    return m_model->columnCount();
}

int Grid::maxRows() const
{
    return m_model->rowCount();
}

void Grid::setMaxRows(int rows)
{
    m_model->setRows(rows);
}

void Grid::setHeading(int col, const QString &text)
{
    if (col < 1 || col > maxCols())
        return;
    m_model->setHeaderData(col - 1, Qt::Horizontal, text);
    applyColumnWidth(col);
}

QString Grid::heading(int col) const
{
    return m_model->headerData(col - 1, Qt::Horizontal).toString();
}

void Grid::setRowHeadings(const QStringList &headings)
{
    m_model->setRowHeadings(headings);
}

void Grid::setColumnWidthChars(int col, double chars)
{
    if (col < 1 || col > maxCols())
        return;
    m_model->specToChange(col - 1).widthChars = chars;
    applyColumnWidth(col);
}

void Grid::applyColumnWidth(int col)
{
    const ColumnSpec &spec = m_model->spec(col - 1);
    const double chars = spec.widthChars < 0 ? defaultWidthChars : spec.widthChars;
    // One character unit is a little more than a half-width digit: a full-width character
    // takes about 1.7 units, so headings of the usual widths fit without being cut off.
    const QFontMetricsF fm(font());
    const double unit
        = qMax(fm.horizontalAdvance(QLatin1Char('0')), fm.horizontalAdvance(QChar(0x3042)) * 0.6);
    int width = qRound(chars * unit);
    // A heading is never cut off, however narrow the column was asked to be.
    const QString h = heading(col);
    if (!h.isEmpty())
        width = qMax(width, horizontalHeader()->fontMetrics().horizontalAdvance(h) + 12);
    setColumnWidth(col - 1, width);
}

void Grid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
        for (int c = 1; c <= maxCols(); ++c)
            applyColumnWidth(c);
    }
}

void Grid::setColumnKind(int col, Kind kind, bool locked)
{
    ColumnSpec &spec = m_model->specToChange(col - 1);
    spec.kind = modelKind(kind);
    spec.locked = locked;
    m_model->dropCellSettings(col - 1, GridModel::KindAndLock);
    m_model->columnChanged(col - 1);
}

void Grid::setTextColumn(int col, int maxLength, bool locked)
{
    if (col < 1 || col > maxCols())
        return;
    m_model->specToChange(col - 1).maxLength = qMax(0, maxLength);
    setColumnKind(col, Kind::Text, locked);
}

void Grid::setIntegerColumn(int col, qint64 min, qint64 max, bool locked)
{
    if (col < 1 || col > maxCols())
        return;
    ColumnSpec &spec = m_model->specToChange(col - 1);
    spec.min = qMin(min, max);
    spec.max = qMax(min, max);
    setColumnKind(col, Kind::Integer, locked);
}

void Grid::setNumericColumn(int col, qint64 min, qint64 max, bool locked)
{
    if (col < 1 || col > maxCols())
        return;
    ColumnSpec &spec = m_model->specToChange(col - 1);
    spec.min = qMin(min, max);
    spec.max = qMax(min, max);
    setColumnKind(col, Kind::Numeric, locked);
}

void Grid::setButtonColumn(int col, const QString &caption)
{
    if (col < 1 || col > maxCols())
        return;
    m_model->specToChange(col - 1).caption = caption;
    m_model->dropCellSettings(col - 1, GridModel::Caption);
    setColumnKind(col, Kind::Button, true);
}

void Grid::setChoiceColumn(int col, const QString &list, bool locked)
{
    if (col < 1 || col > maxCols())
        return;
    m_model->specToChange(col - 1).entries = parseChoiceList(list);
    m_model->dropCellSettings(col - 1, GridModel::Entries);
    setColumnKind(col, Kind::Choice, locked);
}

bool Grid::validCell(int col, int row) const
{
    return col >= 1 && col <= maxCols() && row >= 1 && row <= maxRows();
}

void Grid::setCellKind(int col, int row, Grid::Kind kind)
{
    if (!validCell(col, row))
        return;
    m_model->cellSettings(row - 1, col - 1).kind = modelKind(kind);
    m_model->cellChanged(row - 1, col - 1);
}

Grid::Kind Grid::cellKind(int col, int row) const
{
    return validCell(col, row) ? gridKind(m_model->kindAt(row - 1, col - 1)) : Kind::Text;
}

void Grid::setCellLocked(int col, int row, bool locked)
{
    if (!validCell(col, row))
        return;
    m_model->cellSettings(row - 1, col - 1).locked = locked;
    m_model->cellChanged(row - 1, col - 1);
}

bool Grid::isCellLocked(int col, int row) const
{
    return validCell(col, row) ? m_model->lockedAt(row - 1, col - 1) : true;
}

void Grid::setCellChoiceList(int col, int row, const QString &list)
{
    if (!validCell(col, row))
        return;
    m_model->cellSettings(row - 1, col - 1).entries = parseChoiceList(list);
    m_model->cellChanged(row - 1, col - 1);
}

void Grid::setColumnChoiceList(int col, const QString &list)
{
    if (col < 1 || col > maxCols())
        return;
    m_model->specToChange(col - 1).entries = parseChoiceList(list);
    m_model->dropCellSettings(col - 1, GridModel::Entries);
    m_model->columnChanged(col - 1);
}

QStringList Grid::choiceEntries(int col, int row) const
{
    return validCell(col, row) ? m_model->entriesAt(row - 1, col - 1) : QStringList();
}

void Grid::setButtonCaption(int col, int row, const QString &caption)
{
    if (!validCell(col, row))
        return;
    m_model->cellSettings(row - 1, col - 1).caption = caption;
    m_model->cellChanged(row - 1, col - 1);
}

QString Grid::text(int col, int row) const
{
    if (row == 0)
        return heading(col);
    if (!validCell(col, row))
        return QString();
    const QStringView v = m_model->text(row - 1, col - 1);
    if (m_model->kindAt(row - 1, col - 1) != GridModel::Kind::Choice)
        return v.toString();
    // A position outside the list (or no number) is no choice.
    bool ok = false;
    const int pos = v.toInt(&ok);
    if (!ok || pos < 0 || pos >= m_model->entriesAt(row - 1, col - 1).size())
        return QString();
    return QString::number(pos);
}

void Grid::setText(int col, int row, const QString &text)
{
    if (row == 0)
        setHeading(col, text);
    else if (validCell(col, row))
        m_model->setText(row - 1, col - 1, text);
}

void Grid::setCellTextColor(int col, int row, const QColor &color)
{
    if (!validCell(col, row))
        return;
    // An invalid colour gives the cell back its default: the palette's, or black on yellow.
    m_model->cellSettings(row - 1, col - 1).foreground
        = color.isValid() ? std::optional<QColor>(color) : std::nullopt;
    m_model->cellChanged(row - 1, col - 1);
}

QColor Grid::cellTextColor(int col, int row) const
{
    const std::optional<QColor> fg
        = validCell(col, row) ? m_model->foregroundAt(row - 1, col - 1) : std::nullopt;
    if (fg)
        return *fg;
    return validCell(col, row) && m_model->editableAt(row - 1, col - 1) ? editableText
                                                                        : palette().color(QPalette::Text);
}

QColor Grid::cellBackground(int col, int row) const
{
    if (validCell(col, row) && m_model->editableAt(row - 1, col - 1))
        return editableBackground;
    return palette().color(QPalette::Base);
}

void Grid::clearCells()
{
    m_model->clearTexts();
}

void Grid::replaceRows(GridColumns rows)
{
    m_model->replaceRows(std::move(rows));
}

void Grid::writeRows(int firstRow, const GridColumns &rows)
{
    if (firstRow >= 1)
        m_model->writeRows(firstRow - 1, rows);
}

void Grid::clickButton(int col, int row)
{
    if (!validCell(col, row) || cellKind(col, row) != Kind::Button)
        return;
    commitOpenEditor();
    emit buttonClicked(col, row, true);
}

void Grid::commitOpenEditor()
{
    // A button acts on what the cells show, so text still in an editor goes into its cell first.
    if (state() != EditingState)
        return;
    if (QWidget *editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

Grid::Kind Grid::kindAt(const QModelIndex &index) const
{
    return gridKind(m_model->kindAt(index.row(), index.column()));
}

bool Grid::lockedAt(const QModelIndex &index) const
{
    return m_model->lockedAt(index.row(), index.column());
}

QStringList Grid::entriesAt(const QModelIndex &index) const
{
    return m_model->entriesAt(index.row(), index.column());
}

QString Grid::captionAt(const QModelIndex &index) const
{
    return m_model->captionAt(index.row(), index.column());
}

bool Grid::editableAt(const QModelIndex &index) const
{
    return index.isValid() && m_model->editableAt(index.row(), index.column());
}

bool Grid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (index.isValid() && !editableAt(index))
        return false;
    return QTableView::edit(index, trigger, event);
}

void Grid::keyboardSearch(const QString &)
{
    // Typing goes into the cell (or nowhere), never jumps to a row that starts with it.
}

void Grid::keyPressEvent(QKeyEvent *event)
{
    const QModelIndex cur = currentIndex();
    if (state() != EditingState && cur.isValid()) {
        const int key = event->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        const Kind kind = kindAt(cur);
        if (kind == Kind::Button && (enter || key == Qt::Key_Space)) {
            // A held key presses the button once: its repeats would otherwise answer the
            // boxes that follow and press the next row's button after a reload.
            if (!event->isAutoRepeat())
                clickButton(cur.column() + 1, cur.row() + 1);
            event->accept();
            return;
        }
        if (editableAt(cur)) {
            const bool dropDown = kind == Kind::Choice
                && (key == Qt::Key_F4 || (key == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)));
            if (enter || dropDown) {
                m_popupOnEdit = kind == Kind::Choice;
                QTableView::edit(cur);
                m_popupOnEdit = false;
                event->accept();
                return;
            }
            if (key == Qt::Key_Delete) {
                model()->setData(cur, QString());
                event->accept();
                return;
            }
        }
    }
    QTableView::keyPressEvent(event);
}

void Grid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid() && kindAt(index) == Kind::Button) {
        m_pressed = index;
        viewport()->update(visualRect(index));
    }
}

void Grid::mouseReleaseEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    const QPersistentModelIndex pressed = m_pressed;
    m_pressed = QPersistentModelIndex();
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (pressed.isValid()) {
        viewport()->update(visualRect(pressed));
        if (index == pressed)
            clickButton(pressed.column() + 1, pressed.row() + 1);
        return;
    }
    // A click on a choice cell opens its list at once.
    if (index.isValid() && index == currentIndex() && kindAt(index) == Kind::Choice && editableAt(index)
        && state() != EditingState) {
        m_popupOnEdit = true;
        QTableView::edit(index);
        m_popupOnEdit = false;
    }
}
