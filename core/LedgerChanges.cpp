// SPDX-License-Identifier: GPL-3.0-or-later
#include "LedgerChanges.h"

#include <QDir>
#include <QFileInfo>

LedgerChanges &LedgerChanges::instance()
{
    static LedgerChanges changes;
    return changes;
}

void LedgerChanges::announce(const QString &dbPath)
{
    emit instance().changed(key(dbPath));
}

QString LedgerChanges::key(const QString &dbPath)
{
    return QDir::cleanPath(QFileInfo(dbPath).absoluteFilePath());
}
