// SPDX-License-Identifier: GPL-3.0-or-later
#include "SessionBackup.h"

#include "BackupSettingsWindow.h"
#include "LedgerUpgrade.h"
#include "RestoreWindow.h"

#include <QFileInfo>
#include <QProgressDialog>
#include <memory>

SessionBackup::SessionBackup(const AppContext &context)
    : m_context(context)
{ }

SessionBackup::~SessionBackup()
{
    if (m_worker)
        m_worker->wait();
}

SessionBackup::Check SessionBackup::checkLedger()
{
    const QString db = m_context.dbPath();
    const Backup::LedgerState state = Backup::checkLedger(db);
    if (state != Backup::LedgerState::Damaged && state != Backup::LedgerState::Missing)
        return Check::Present;
    m_damaged = state == Backup::LedgerState::Damaged;
    // With no backup at all the start goes on as it always has: the program never creates a ledger.
    if (Backup::list(db).isEmpty())
        return Check::NoBackup;
    const auto newest = Backup::newestGood(db);
    if (!newest)
        return Check::NoBackup;
    const QString problem = m_damaged ? QStringLiteral("が壊れています") : QStringLiteral("がありません");
    Dialogs &dialogs = *m_context.dialogs;
    if (!dialogs.ask(QStringLiteral("台帳ファイル(velmo.mdb)") + problem
            + QStringLiteral("　最新のバックアップ(") + RestoreWindow::timeText(newest->created)
            + QStringLiteral(")から復元しますか？")))
        return Check::Declined;
    if (Backup::restoreOverDamaged(db, newest->path, m_context.clock->now())
        == Backup::RestoreOutcome::Restored) {
        m_damaged = false;
        dialogs.info(QStringLiteral("復元しました"));
        return Check::Restored;
    }
    dialogs.info(QStringLiteral("復元できませんでした"));
    return Check::Failed;
}

void SessionBackup::upgradeLedger()
{
    if (m_damaged)
        return;
    // Folding the search copy of a large ledger takes a while: a progress dialog shows when it
    // takes longer than a second.
    std::unique_ptr<QProgressDialog> bar;
    const auto progress = [&bar](qint64 done, qint64 total) {
        if (!bar) {
            bar = std::make_unique<QProgressDialog>(
                QStringLiteral("検索用の索引を作成しています..."), QString(), 0, 1000);
            bar->setWindowTitle(QStringLiteral("ヴェルモラ"));
            bar->setWindowModality(Qt::ApplicationModal);
            bar->setMinimumDuration(1000);
            bar->setValue(0);
        }
        bar->setValue(total > 0 ? int(done * 1000 / total) : 1000);
    };
    const LedgerUpgrade::Result r = LedgerUpgrade::run(m_context.dbPath(), m_context.clock->now(), progress);
    reportCopy(r.backup.second);
    if (r.outcome == LedgerUpgrade::Outcome::BackupFailed)
        report(r.backup);
    else if (r.outcome == LedgerUpgrade::Outcome::ReadOnly)
        m_context.dialogs->info(RestoreWindow::ReadOnlyLedger);
}

void SessionBackup::startInBackground()
{
    // A damaged ledger cannot be backed up; the user has just been told it is damaged.
    if (m_damaged || m_worker)
        return;
    const QString db = m_context.dbPath();
    const QDateTime now = m_context.clock->now();
    m_worker.reset(QThread::create([this, db, now] { m_background = Backup::takeAtStart(db, now); }));
    connect(m_worker.get(), &QThread::finished, this, &SessionBackup::finishBackground, Qt::QueuedConnection);
    m_worker->start(QThread::LowPriority);
}

void SessionBackup::finishBackground()
{
    if (m_backgroundDone || !m_worker)
        return;
    m_worker->wait();
    m_backgroundDone = true;
    report(m_background);
    emit backgroundFinished();
}

void SessionBackup::atExit()
{
    finishBackground();
    report(Backup::take(
        m_context.dbPath(), m_context.clock->now(), false, Backup::Check::Quick, Backup::Writers::Done));
}

void SessionBackup::report(const Backup::Result &result)
{
    reportCopy(result.second);
    if (result.outcome != Backup::Outcome::Failed)
        return;
    qInfo("backup failed: %s", qPrintable(result.error));
    m_context.dialogs->info(RestoreWindow::backupFailedText(result));
}

void SessionBackup::reportCopy(const Backup::Copy &copy)
{
    const QString text = BackupSettingsWindow::copyFailedText(copy);
    if (text.isEmpty())
        return;
    qInfo("copy into the second folder failed: %s", qPrintable(copy.error));
    if (m_copyReported.contains(copy.folder))
        return;
    m_copyReported << copy.folder;
    m_context.dialogs->info(text);
}
