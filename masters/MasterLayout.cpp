#include "MasterLayout.h"

#include "Grid.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>

namespace MasterLayout {

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *l = label("Label5", text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.5);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel *label(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

void fitGrid(Grid *grid, int visibleRows)
{
    int width = 2 * grid->frameWidth();
    for (int c = 0; c < grid->columnCount(); ++c)
        width += grid->columnWidth(c);
    if (visibleRows > 1)
        width += grid->verticalScrollBar()->sizeHint().width();
    grid->setFixedWidth(width);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int height = 2 * grid->frameWidth() + grid->horizontalHeader()->sizeHint().height()
        + visibleRows * grid->verticalHeader()->defaultSectionSize();
    if (visibleRows > 1) {
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        grid->setMinimumHeight(height);
    } else {
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setFixedHeight(height);
    }
}

} // namespace MasterLayout
