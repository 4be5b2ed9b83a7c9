#include "Tasks.h"

#include "MainMenu.h"

void registerTasks(MainMenu &menu)
{
    Q_UNUSED(menu);
    // One line per task window:
    //   menu.setTaskFactory("F_xxx", [](const AppContext &c) { return new XxxWindow(c); });
}
