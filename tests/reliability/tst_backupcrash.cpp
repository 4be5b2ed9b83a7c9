// SPDX-License-Identifier: GPL-3.0-or-later
// Backups and restores killed at random moments, and a backup into a folder the program may
// not write.
//
// A child takes backup after backup (or restores one backup after another through the real
// F_restore window) and is killed with SIGKILL at a random moment. After every kill the
// ledger is whole and is one of the states it was allowed to be in (a backup never changes
// it; a restore leaves the old ledger or the restored one), and every file that carries a
// backup's name is a finished, verified backup.
//
// VELMO_CRASH_KILLS sets the number of kills of each kind (default 12), VELMO_CRASH_SEED
// the random seed.

#include "Backup.h"
#include "FileTestSupport.h"
#include "Grid.h"
#include "MainMenu.h"
#include "SessionBackup.h"
#include "Tasks.h"
#include "TestSupport.h"
#include "Unprivileged.h"

#include <QAction>
#include <QDir>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <csignal>
#include <random>
#include <sys/prctl.h>
#include <thread>

namespace {

// "backup <appdir>": one forced backup after another, each a second later than the last, the
// first a second after the newest one there (the clock goes on from one run to the next, so
// that the rotation keeps the number of backups down).
[[noreturn]] void backupForever(const QString &appDir)
{
    const QString db = QDir(appDir).filePath(QStringLiteral("velmo.mdb"));
    const QList<Backup::Entry> before = Backup::list(db);
    QDateTime at = before.isEmpty() ? QDateTime(QDate(2003, 9, 17), QTime(9, 0, 0))
                                    : before.first().created.addSecs(1);
    Child::say(QStringLiteral("ready"));
    for (;;) {
        if (Backup::take(db, at, true).outcome != Backup::Outcome::Taken)
            Child::say(QStringLiteral("failed"));
        at = at.addSecs(1);
    }
}

// "restore <appdir> <seed>": restores a random readable backup through F_restore, again and again.
[[noreturn]] void restoreForever(const QString &appDir, quint32 seed)
{
    Child::ReportingDialogs dialogs;
    FixedClock clock = clockAt(2003, 9, 17, 12, 0, 0);
    // As in backupForever: the clock goes on after the newest backup of the last run.
    const QList<Backup::Entry> before = Backup::list(QDir(appDir).filePath(QStringLiteral("velmo.mdb")));
    if (!before.isEmpty() && before.first().created > clock.now())
        clock.set(before.first().created);
    const AppContext context {appDir, &dialogs, &clock};
    MainMenu menu(context);
    registerTasks(menu);
    menu.setQuit([] {});
    menu.show();
    menu.load();
    std::mt19937 rng(seed);
    Child::say(QStringLiteral("ready"));
    for (;;) {
        clock.set(clock.now().addSecs(1));
        menu.findChild<QAction *>(QStringLiteral("restore"))->trigger();
        TaskWindow *w = menu.openTask();
        auto *grid = w->findChild<Grid *>(QStringLiteral("SP"));
        if (grid->maxRows() > 0)
            grid->clickButton(5, 1 + int(rng() % unsigned(grid->maxRows())));
        w->findChild<QPushButton *>(QStringLiteral("cmd_end"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// "readonly <appdir>": one backup, by a user who may not write the backup folder or the second
// folder; then what became of the copy into the second folder, when there is one.
int backupOnce(const QString &appDir)
{
    const Backup::Result r = Backup::take(
        QDir(appDir).filePath(QStringLiteral("velmo.mdb")), QDateTime(QDate(2003, 9, 17), QTime(9, 0, 0)));
    Child::say(
        r.outcome == Backup::Outcome::Failed ? QStringLiteral("failed") : QStringLiteral("not failed"));
    if (r.second.outcome != Backup::CopyOutcome::None)
        Child::say(QStringLiteral("copy %1").arg(int(r.second.outcome)));
    return 0;
}

// "upgrade <appdir>": two starts' upgrade of a ledger the user may not write, then the number
// of backups.
int upgradeTwice(const QString &appDir)
{
    Child::ReportingDialogs dialogs;
    FixedClock clock = clockAt(2003, 9, 17, 12, 0, 0);
    for (int start = 0; start < 2; ++start) {
        SessionBackup(AppContext {appDir, &dialogs, &clock}).upgradeLedger();
        clock.set(clock.now().addSecs(3600));
    }
    Child::say(QStringLiteral("backups %1").arg(Backup::list(QDir(appDir).filePath("velmo.mdb")).size()));
    return 0;
}

int childMain(const QStringList &args)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const QString role = args.value(0);
    if (role == u"backup")
        backupForever(args.value(1));
    if (role == u"restore")
        restoreForever(args.value(1), args.value(2).toUInt());
    if (role == u"readonly")
        return backupOnce(args.value(1));
    if (role == u"upgrade")
        return upgradeTwice(args.value(1));
    return 2;
}

// Starts the child, waits for it to be ready, kills it after a random pause; what it said.
template <typename Random>
QStringList runAndKill(const QStringList &args, Random &rng, int maxPauseMs, bool *ok)
{
    const QStringList said = Child::runAndKill(args, rng, maxPauseMs);
    *ok = said.contains(QStringLiteral("ready")) && !said.contains(QStringLiteral("failed"));
    if (!*ok)
        qWarning("%s", qPrintable(said.join(u'\n')));
    return said;
}

// The child finished at least one restore before it was killed.
bool finishedARestore(const QStringList &said)
{
    return said.contains(QStringLiteral("info 復元しました"));
}

// Every file under a backup's name is a verified backup of one of the allowed states.
void checkBackups(const TempAppDir &dir, const QSet<QStringList> &allowed, int kill)
{
    for (const Backup::Entry &e : Backup::list(dir.dbPath())) {
        QString error;
        QVERIFY2(Backup::verify(e.path, &error),
            qPrintable(QStringLiteral("kill %1: %2: %3").arg(kill).arg(e.path, error)));
        QVERIFY2(allowed.contains(ledgerDump(e.path)),
            qPrintable(QStringLiteral("kill %1: %2 holds no known state").arg(kill).arg(e.path)));
    }
}

void seed(const TempAppDir &dir, int postings)
{
    dir.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                            "INSERT INTO N SELECT '給料', '銀行', i, 20030101 + (i % 28), 'メモ' || i FROM n")
                 .arg(postings));
}

} // namespace

class TestBackupCrash : public QObject
{
    Q_OBJECT

    int kills = Child::crashKills(12);
    std::mt19937 rng = Child::crashRandom();

private slots:
    void aKilledBackupLeavesTheLedgerAndNoHalfBackup()
    {
        TempAppDir dir;
        seed(dir, 30'000);
        const QByteArray ledger = fileBytes(dir.dbPath());
        const QSet<QStringList> allowed {ledgerDump(dir.dbPath())};
        for (int kill = 1; kill <= kills; ++kill) {
            bool ok = false;
            runAndKill({"backup", dir.path()}, rng, 400, &ok);
            QVERIFY(ok);
            QCOMPARE(fileBytes(dir.dbPath()), ledger);
            checkBackups(dir, allowed, kill);
        }
        QVERIFY(!Backup::list(dir.dbPath()).isEmpty());
    }

    void aKilledRestoreLeavesTheOldLedgerOrTheRestoredOneWhole()
    {
        TempAppDir dir;
        QSet<QStringList> allowed;
        // Four states, each a backup; the ledger is left in a fifth.
        for (int state = 0; state < 5; ++state) {
            seed(dir, 4000);
            dir.exec(QStringLiteral("DELETE FROM N WHERE N_money % 5 = %1").arg(state));
            allowed.insert(ledgerDump(dir.dbPath()));
            if (state < 4)
                Backup::take(dir.dbPath(), QDateTime(QDate(2003, 9, 1 + state), QTime(8, 0, 0)));
        }
        bool restored = false;
        for (int kill = 1; kill <= kills; ++kill) {
            bool ok = false;
            restored = finishedARestore(
                           runAndKill({"restore", dir.path(), QString::number(rng())}, rng, 1500, &ok))
                || restored;
            QVERIFY(ok);
            QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Sound);
            QVERIFY2(Backup::deepCheck(dir.dbPath()), qPrintable(QStringLiteral("kill %1").arg(kill)));
            QVERIFY2(allowed.contains(ledgerDump(dir.dbPath())),
                qPrintable(QStringLiteral("kill %1: the ledger holds no known state").arg(kill)));
            QVERIFY(QFileInfo(dir.dbPath() + QStringLiteral("-journal")).size() == 0);
            checkBackups(dir, allowed, kill);
        }
        // A slow build (sanitizers, a loaded machine) may be killed before every first restore:
        // one run long enough to finish one shows the restores are reached at all. (Whether the
        // ledger differs afterwards says nothing: every restore backs up the state it replaces,
        // so a later one may bring the first state back.)
        if (!restored) {
            auto eightSeconds = [] { return 8000U; };
            bool ok = false;
            const QStringList said
                = runAndKill({"restore", dir.path(), QString::number(rng())}, eightSeconds, 10'000, &ok);
            QVERIFY(ok);
            QVERIFY(allowed.contains(ledgerDump(dir.dbPath())));
            QVERIFY2(finishedARestore(said), qPrintable(said.mid(said.size() - 12).join(u'\n')));
        }
    }

    void aBackupIntoAReadOnlyFolderFailsAndLeavesNothing()
    {
        QTemporaryDir bin;
        openToAll(bin.path());
        TempAppDir dir;
        seed(dir, 100);
        openToAll(dir.path());
        chownToNobody(dir.dbPath());
        const QString folder = Backup::folder(dir.dbPath());
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder,
            QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther));
        const QByteArray ledger = fileBytes(dir.dbPath());
        const auto child = runUnprivileged({"readonly", dir.path()}, bin);
        if (!child)
            QSKIP("no process can give up root here; the missing folder covers an unwritable one");
        QVERIFY2(child->finishedCleanly(), qPrintable(child->errors));
        QCOMPARE(child->lines, QStringList {"failed"});
        QCOMPARE(fileBytes(dir.dbPath()), ledger);
        QCOMPARE(
            QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // A second folder the user may not write: the backup is taken beside the ledger, the copy
    // is told apart as read-only, and nothing is left in that folder.
    void aCopyIntoAReadOnlySecondFolderLeavesTheBackupAndNothingThere()
    {
        QTemporaryDir bin;
        openToAll(bin.path());
        TempAppDir dir;
        QTemporaryDir usb;
        seed(dir, 100);
        openToAll(dir.path());
        openToAll(usb.path());
        chownToNobody(dir.dbPath());
        QVERIFY(Backup::setSecondFolder(dir.dbPath(), usb.path()));
        QVERIFY(QFile::setPermissions(usb.path(),
            QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther));
        const auto child = runUnprivileged({"readonly", dir.path()}, bin);
        if (!child)
            QSKIP("no process can give up root here; an injected failure covers an unwritable folder");
        QVERIFY2(child->finishedCleanly(), qPrintable(child->errors));
        QCOMPARE(child->lines,
            QStringList({"not failed", QStringLiteral("copy %1").arg(int(Backup::CopyOutcome::ReadOnly))}));
        QCOMPARE(Backup::list(dir.dbPath()).size(), 1);
        QVERIFY(Backup::verify(Backup::list(dir.dbPath()).first().path));
        QCOMPARE(QDir(usb.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }

    // An older ledger the user may not write cannot get this version's tables: each start
    // says so once, and the ledger is backed up once, not at every start.
    void aReadOnlyOlderLedgerIsBackedUpOnceAndReportedOncePerStart()
    {
        QTemporaryDir bin;
        openToAll(bin.path());
        TempAppDir dir;
        seed(dir, 100);
        dropToVersionZero(dir);
        openToAll(dir.path());
        QVERIFY(QFile::setPermissions(dir.dbPath(), QFileDevice::ReadOwner | QFileDevice::ReadOther));
        const QByteArray ledger = fileBytes(dir.dbPath());
        const auto child = runUnprivileged({"upgrade", dir.path()}, bin);
        if (!child)
            QSKIP("no process can give up root here");
        QVERIFY2(child->finishedCleanly(), qPrintable(child->errors));
        const QString readOnly
            = QStringLiteral("台帳ファイル(velmo.mdb)に書き込めないため、この版の表を追加できませんでした");
        QCOMPARE(child->lines, QStringList({"info " + readOnly, "info " + readOnly, "backups 1"}));
        QCOMPARE(fileBytes(dir.dbPath()), ledger);
    }
};

RELIABILITY_MAIN(TestBackupCrash, childMain)
#include "tst_backupcrash.moc"
