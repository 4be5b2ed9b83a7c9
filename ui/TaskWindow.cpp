// SPDX-License-Identifier: GPL-3.0-or-later
#include "TaskWindow.h"

#include "Database.h"
#include "Grid.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TaskWindow::TaskWindow(const AppContext &context, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_context(context)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void TaskWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit closed();
}

bool TaskWindow::withDb(const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const DbError &e) {
        qInfo("database action failed: %s", e.what());
        dialogs().info(QStringLiteral("DB接続失敗"));
        return false;
    }
}

bool TaskWindow::withRead(const std::function<void(Database &)> &work)
{
    return withDb([&] {
        Database db(dbPath());
        work(db);
    });
}

bool TaskWindow::withWrite(const QString &description, const std::function<void(Database &)> &work)
{
    return withDb([&] {
        Database db(dbPath());
        db.beginAction(historyName(), description, clock().now());
        work(db);
        db.commit();
    });
}

Grid *TaskWindow::addActionList(int buttonCol, const QString &button, const std::function<void(int row)> &act)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 10, 12, 12);
    auto *top = new QHBoxLayout;
    top->addWidget(makeHeading("Label1", windowTitle(), this));
    top->addStretch(1);
    auto *end = new QPushButton(QStringLiteral("閉じる"), this);
    end->setObjectName(QStringLiteral("cmd_end"));
    connect(end, &QPushButton::clicked, this, &QWidget::close);
    top->addWidget(end);
    outer->addLayout(top);

    auto *grid = new Grid(buttonCol, 0, this);
    grid->setObjectName(QStringLiteral("SP"));
    grid->setHeading(buttonCol, button);
    grid->setButtonColumn(buttonCol, button);
    grid->setColumnWidthChars(buttonCol, 8);
    connect(grid, &Grid::buttonClicked, this, [buttonCol, act](int col, int row, bool) {
        if (col == buttonCol)
            act(row);
    });
    outer->addWidget(grid, 1);
    return grid;
}

QLabel *TaskWindow::makeHeading(const char *objectName, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(objectName));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    font.setBold(true);
    label->setFont(font);
    return label;
}
