// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstanceLock.h"

#include <QDir>

InstanceLock::InstanceLock(const QString &appDir)
    : m_lock(QDir(appDir).filePath(fileName()))
{
    // Only a lock whose program is gone is stale, however long the running one has held it.
    m_lock.setStaleLockTime(0);
}

bool InstanceLock::acquire(Dialogs &dialogs)
{
    if (m_lock.tryLock(0))
        return true;
    if (m_lock.error() != QLockFile::LockFailedError)
        return true;
    dialogs.info(QStringLiteral("ヴェルモラは既に起動しています"));
    return false;
}
