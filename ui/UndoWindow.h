// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ActionHistory.h"
#include "TaskWindow.h"

#include <QList>

class Grid;

// F_undo: the history of actions, newest first. The button of a row takes back that action
// and every newer one, in one transaction, newest first.
class UndoWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit UndoWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // Takes back the newest action after asking "<description>を取り消します", as an action of
    // `window` (an objectName or a caption); tells what stood in the way when it cannot. False
    // when nothing was taken back.
    static bool undoNewest(const AppContext &context, const QString &window);

    // The window an entry names, as the history shows it: entries hold the window's caption;
    // those that hold an objectName (the main menu's, and all written by earlier versions) get
    // that window's caption.
    static QString windowCaption(const QString &recorded);

private:
    void takeBack(int row);

    Grid *m_grid = nullptr;
    QList<ActionHistory::Entry> m_entries;
};
