#pragma once

#include "AppContext.h"
#include "TaskWindow.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class QPushButton;

// F_main: the first and last window. Each button and menu entry writes its line to the
// operation log and opens its task window; while a task window is open the menu is disabled.
class MainMenu : public QMainWindow
{
    Q_OBJECT

public:
    using TaskFactory = std::function<TaskWindow *(const AppContext &)>;

    explicit MainMenu(const AppContext &context, QWidget *parent = nullptr);

    // The window names of the tasks (F_nyuukin, F_hokanM, ...) and how to make each.
    void setTaskFactory(const QString &windowName, TaskFactory factory);
    // How the program ends, and how the log is shown; tests replace both.
    void setQuit(std::function<void()> quit) { m_quit = std::move(quit); }
    void setFileViewer(std::function<bool(const QString &)> viewer) { m_viewer = std::move(viewer); }

    // The load handler: writes "AP起動".
    void load();

    // The task window open now, if any.
    TaskWindow *openTask() const { return m_task; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildButtons();
    void buildMenus();
    void log(const QString &event);
    void open(const QString &event, const QString &windowName);
    void endWith(const QString &event);
    void taskClosed();

    AppContext m_context;
    QString m_logPath;
    QHash<QString, TaskFactory> m_factories;
    QPointer<TaskWindow> m_task;
    QPointer<QWidget> m_returnFocus;
    std::function<void()> m_quit;
    std::function<bool(const QString &)> m_viewer;
    bool m_ending = false;
};
