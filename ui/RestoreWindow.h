// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Backup.h"
#include "TaskWindow.h"

#include <QList>

class Grid;

// F_restore: the backups of the ledger, newest first, each with what it holds and a button
// that puts it back in the ledger's place (after backing up the current ledger); and
// "ファイルから復元..." for a ledger file chosen anywhere (a backup brought on a USB stick to a
// new computer), checked before anything is replaced.
class RestoreWindow : public TaskWindow
{
    Q_OBJECT

    struct Row
    {
        Backup::Entry entry;
        bool readable = false;
    };

public:
    explicit RestoreWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // The creation time as the list and the questions show it: 2003/09/17 9:05:07.
    static QString timeText(const QDateTime &at);
    // What a failed backup tells the user: a damaged ledger is named as the cause, with the way back.
    static QString backupFailedText(const Backup::Result &result);
    // A ledger of an older version that may not be written, so it cannot get this version's tables.
    static const QString ReadOnlyLedger;
    // Why a chosen file cannot be restored; empty when it can.
    static QString refusalText(Backup::FileCheck check, const QString &path);

private:
    void restore(int row);
    void restoreFile();
    // Puts `path` in the ledger's place after asking; `state` names what it holds in the question.
    void restoreFrom(const QString &path, const QString &state);
    // Puts the chosen file in place of a damaged or missing ledger, which is kept aside.
    Backup::RestoreOutcome restoreOverDamaged(const QString &path);
    void report(Backup::RestoreOutcome outcome);

    Grid *m_grid = nullptr;
    QList<Row> m_rows;
};
