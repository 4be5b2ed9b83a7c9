// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Backup.h"
#include "TaskWindow.h"

class QLabel;
class QLineEdit;

// F_bkset: the second folder that gets a copy of every backup (another disk, a USB stick, a
// folder a cloud client keeps in step). Saving it copies the newest backup there at once, so
// that a folder that cannot take the copies is known while the user is at hand.
class BackupSettingsWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit BackupSettingsWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // What the user is told when a backup could not be copied into the second folder; empty
    // when there is nothing to tell.
    static QString copyFailedText(const Backup::Copy &copy);

private:
    void choose();
    void save();
    void stop();
    void showState();

    QLineEdit *m_folder = nullptr;
    QLabel *m_state = nullptr;
};
