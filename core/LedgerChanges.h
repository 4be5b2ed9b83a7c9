// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Tells whatever shows figures read from a ledger that the ledger changed: every committed write
// transaction of the connection layer and every replacement of the file (a restore) is announced
// here, whichever window or routine made it. Announcements may come from any thread; a receiver
// in another thread gets them queued.
class LedgerChanges : public QObject
{
    Q_OBJECT

public:
    static LedgerChanges &instance();
    // The ledger file at `dbPath` changed.
    static void announce(const QString &dbPath);
    // One form of a ledger's path for comparing announcements with.
    static QString key(const QString &dbPath);

signals:
    void changed(const QString &key);

private:
    LedgerChanges() = default;
};
