#include "Tasks.h"

#include "AboutWindow.h"
#include "MainMenu.h"

void registerTasks(MainMenu &menu)
{
    Q_UNUSED(menu);
    // One line per task window:
    //   menu.setTaskFactory("F_xxx", [](const AppContext &c) { return new XxxWindow(c); });
    menu.setTaskFactory("F_ver", [](const AppContext &c) { return new AboutWindow(c); });
}
