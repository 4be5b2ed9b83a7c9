// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Clock.h"
#include "Dialogs.h"

#include <QDir>
#include <QString>

// What every window needs from its surroundings: the application directory (which holds
// velmo.mdb, AP.log and yazirusi.gif), the dialogs and the clock.
struct AppContext
{
    QString appDir;
    Dialogs *dialogs = nullptr;
    const Clock *clock = nullptr;

    QString dbPath() const { return QDir(appDir).filePath(QStringLiteral("velmo.mdb")); }
    QString logPath() const { return QDir(appDir).filePath(QStringLiteral("AP.log")); }
    QString arrowPath() const { return QDir(appDir).filePath(QStringLiteral("yazirusi.gif")); }
};
