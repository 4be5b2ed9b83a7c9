#pragma once

#include "Backup.h"
#include "TaskWindow.h"

#include <QList>

class Grid;

// F_restore: the backups of the ledger, newest first, each with what it holds and a button
// that puts it back in the ledger's place (after backing up the current ledger).
class RestoreWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit RestoreWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // The creation time as the list and the questions show it: 2003/09/17 9:05:07.
    static QString timeText(const QDateTime &at);

private:
    void restore(int row);

    Grid *m_grid = nullptr;
    struct Row
    {
        Backup::Entry entry;
        bool readable = false;
    };
    QList<Row> m_rows;
};
