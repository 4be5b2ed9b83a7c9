// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppContext.h"

#include <QWidget>
#include <functional>

class Database;
class Grid;

// The base of every window the main menu opens. It is a top-level window that deletes
// itself when closed (by its "閉じる" button or its close box) and then tells the main
// menu, which enables itself again and takes the focus.
class QLabel;

class TaskWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TaskWindow(const AppContext &context, QWidget *parent = nullptr);

    // The load handler: runs each time the window is opened, before it is shown.
    virtual void load() { }

    // A window's heading: a label named `objectName` in the window's font, half as large
    // again and bold.
    static QLabel *makeHeading(const char *objectName, const QString &text, QWidget *parent);

    // What the history of actions records as the window that acted: its caption, which every
    // window has and the user sees, so that no window is ever listed by its objectName.
    QString historyName() const { return windowTitle(); }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

    // Runs one handler's database work. A DbError shows "DB接続失敗" once and gives false;
    // whatever the work had open has been rolled back and closed by then.
    bool withDb(const std::function<void()> &work);
    // withDb around one connection to the ledger: `work` reads through it.
    bool withRead(const std::function<void(Database &)> &work);
    // withDb around one write transaction: `work` runs its statements inside it, and the
    // transaction is committed only when all of them succeeded (otherwise nothing stays).
    // The transaction is one action of the history, recorded under historyName()
    // and `description`, which names what it does as the window's question does.
    bool withWrite(const QString &description, const std::function<void(Database &)> &work);

    // The frame of a window that lists rows to act on: the window's title as its heading at the
    // top left (set the title first), "閉じる" at the top right and, filling
    // the rest, a grid `SP` whose last column `buttonCol` is a column of `button` buttons; a
    // press of one calls `act` with its row. The caller sets the other columns.
    Grid *addActionList(int buttonCol, const QString &button, const std::function<void(int row)> &act);

    const AppContext &context() const { return m_context; }
    Dialogs &dialogs() const { return *m_context.dialogs; }
    const Clock &clock() const { return *m_context.clock; }
    QString dbPath() const { return m_context.dbPath(); }

private:
    AppContext m_context;
};
