// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppContext.h"
#include "Backup.h"

#include <QObject>
#include <QThread>
#include <memory>

// The backups of one run of the program: the check of the ledger before the main menu, a
// backup on a worker thread once the menu is shown when the last run ended without one (it
// was killed), and the backup at the end when the run changed the ledger. A backup that
// fails shows "バックアップを作成できませんでした" once (or, when the ledger itself is damaged,
// says so and points to the restore window) and the work goes on. A backup that could not be
// copied into the second folder is told once per run and folder, and the run goes on (or ends).
class SessionBackup : public QObject
{
    Q_OBJECT

public:
    explicit SessionBackup(const AppContext &context);
    ~SessionBackup() override;

    enum class Check {
        Present, // the ledger is there (sound, or not to be judged now)
        Restored,
        Declined, // a backup was offered and the user said No
        NoBackup, // damaged or missing, and no backup that passes its check
        Failed, // the restore was tried and failed
    };
    // A damaged or missing ledger with a good backup: asks, and on Yes restores the newest.
    Check checkLedger();
    // Brings the ledger's own X_ tables up to this program's version, after a backup of the
    // ledger as it was. A failed backup or a read-only ledger is reported once and the ledger
    // is left as it is; a ledger that cannot be opened is left for the first task window.
    void upgradeLedger();
    // Starts the start-time backup on its own thread with its own connection.
    void startInBackground();
    // Waits for the start-time backup (reporting its failure), then takes the exit's.
    void atExit();

    // The start-time backup has finished (or never started).
    bool idle() const { return !m_worker || m_worker->isFinished(); }

signals:
    void backgroundFinished();

private:
    void finishBackground();
    void report(const Backup::Result &result);
    void reportCopy(const Backup::Copy &copy);

    AppContext m_context;
    bool m_damaged = false;
    std::unique_ptr<QThread> m_worker;
    Backup::Result m_background;
    bool m_backgroundDone = false;
    QStringList m_copyReported; // the second folders already told of in this run
};
