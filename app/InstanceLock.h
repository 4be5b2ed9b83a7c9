// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Dialogs.h"

#include <QLockFile>
#include <QString>

// One program at a time on one application directory: two would each restore, back up and
// write the same ledger unaware of the other. The lock is a file beside the ledger, held for
// the whole run; a lock left by a program that was killed is taken over.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &appDir);

    // True when this program may go on: it holds the lock, or the folder cannot hold one (it
    // is missing or read-only: nothing there can be written by two programs either). False,
    // after "ヴェルモラは既に起動しています", while another running program holds it.
    bool acquire(Dialogs &dialogs);

    static QString fileName() { return QStringLiteral("velmo.lock"); }

private:
    QLockFile m_lock;
};
