// SPDX-License-Identifier: GPL-3.0-or-later
#include "MasterLayout.h"

#include "Dialogs.h"
#include "Grid.h"
#include "TaskWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace MasterLayout {

QLabel *heading(const QString &text, QWidget *parent)
{
    return TaskWindow::makeHeading("Label5", text, parent);
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
    for (int c = 0; c < grid->maxCols(); ++c)
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

void setColumns(Grid *grid, std::initializer_list<Column> columns)
{
    int c = 1;
    for (const Column &column : columns) {
        grid->setHeading(c, column.heading);
        if (column.width > 0)
            grid->setColumnWidthChars(c, column.width);
        ++c;
    }
}

void fillGrid(Grid *grid, const QList<QStringList> &rows)
{
    grid->setMaxRows(int(rows.size()));
    for (int r = 1; r <= int(rows.size()); ++r) {
        const QStringList &row = rows[r - 1];
        for (int c = 1; c <= int(row.size()); ++c)
            grid->setText(c, r, row[c - 1]);
    }
}

QVBoxLayout *gridsLayout(
    QWidget *window, const QString &caption, Grid *sp1, const QString &listLabel, Grid *sp2)
{
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(heading(caption, window));
    layout->addWidget(label("Label1", QStringLiteral("新規登録"), window));
    layout->addWidget(sp1);
    layout->addWidget(label("Label2", listLabel, window));
    layout->addWidget(sp2, 1);
    return layout;
}

QHBoxLayout *closeRow(QWidget *window)
{
    auto *end = new QPushButton(QStringLiteral("閉じる"), window);
    end->setObjectName(QStringLiteral("cmd_end"));
    QObject::connect(end, &QPushButton::clicked, window, &QWidget::close);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(end);
    return row;
}

void connectButtons(QObject *receiver, Grid *sp1, int registerCol, const std::function<void()> &onRegister,
    Grid *sp2, int updateCol, const std::function<void(int)> &onUpdate, int deleteCol,
    const std::function<void(int)> &onDelete)
{
    QObject::connect(sp1, &Grid::buttonClicked, receiver, [=](int col, int) {
        if (col == registerCol)
            onRegister();
    });
    QObject::connect(sp2, &Grid::buttonClicked, receiver, [=](int col, int row) {
        if (col == updateCol)
            onUpdate(row);
        else if (col == deleteCol)
            onDelete(row);
    });
}

bool refused(Dialogs &dialogs, const QString &refusal)
{
    if (refusal.isEmpty())
        return false;
    dialogs.info(refusal);
    return true;
}

} // namespace MasterLayout
