// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppContext.h"
#include "TaskWindow.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class QLabel;
class QPushButton;
class QTimer;

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
    // A check run at start, after every change of the ledger (any window's action, taking back,
    // a restore, an import) and whenever a task window closes; what it returns is shown as one
    // line under the heading (nothing: the line is hidden).
    void setStartCheck(std::function<QString(const AppContext &)> check) { m_check = std::move(check); }

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
    void runCheck();

    AppContext m_context;
    QString m_logPath;
    QHash<QString, TaskFactory> m_factories;
    QPointer<TaskWindow> m_task;
    QPointer<QWidget> m_returnFocus;
    std::function<void()> m_quit;
    std::function<bool(const QString &)> m_viewer;
    std::function<QString(const AppContext &)> m_check;
    QLabel *m_warning = nullptr;
    // Runs the check once the event loop is back, however many changes came before.
    QTimer *m_recheck = nullptr;
    bool m_ending = false;
};
