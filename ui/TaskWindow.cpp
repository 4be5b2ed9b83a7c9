#include "TaskWindow.h"

#include "Database.h"

#include <QCloseEvent>

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
        db.beginAction(objectName(), description, clock().now());
        work(db);
        db.commit();
    });
}
