// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

class QPlainTextEdit;

// F_log: the operation log, read-only, newest line first. AP.log is written in the Japanese
// code page, which a desktop text editor in a UTF-8 locale shows garbled; this window decodes
// it. The file itself is only read.
class LogWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit LogWindow(const AppContext &context, QWidget *parent = nullptr);

    // Reads the log; when it cannot be read, says so and closes.
    void load() override;

    // What is said when the log cannot be shown, by this window or by the desktop.
    static QString unreadableMessage();

private:
    QPlainTextEdit *m_text = nullptr;
};
