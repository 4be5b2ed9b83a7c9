#pragma once

#include "AppContext.h"
#include "Backup.h"

#include <QObject>
#include <QThread>
#include <memory>

// The backups of one run of the program: the check of the ledger before the main menu, a
// backup on a worker thread once the menu is shown when the last run ended without one (it
// was killed), and the backup at the end when the run changed the ledger. A backup that
// fails shows "バックアップを作成できませんでした" once and the work goes on.
class SessionBackup : public QObject
{
    Q_OBJECT

public:
    explicit SessionBackup(const AppContext &context);
    ~SessionBackup() override;

    // A damaged or missing ledger with a good backup: asks, and on Yes restores the newest.
    void checkLedger();
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

    AppContext m_context;
    bool m_damaged = false;
    std::unique_ptr<QThread> m_worker;
    Backup::Result m_background;
    bool m_backgroundDone = false;
};
