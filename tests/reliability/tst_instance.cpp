// SPDX-License-Identifier: GPL-3.0-or-later
// One program at a time on one folder, with real processes: a first one holds the folder, a
// second is turned away while the first runs (however long it has run) and takes the folder
// over once the first was killed.

#include "ChildProcess.h"
#include "InstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <sys/prctl.h>
#include <utime.h>

namespace {

const QString Running = QStringLiteral("ヴェルモラは既に起動しています");

// "hold <dir>": takes the folder and keeps it until killed or its standard input is closed,
// then ends normally. "start <dir>": takes the folder
// and ends at once, exit code 0, or 1 when it was turned away.
int childMain(const QStringList &args)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    Child::ReportingDialogs dialogs;
    InstanceLock lock(args.value(1));
    const bool acquired = lock.acquire(dialogs);
    if (args.value(0) == u"start") {
        Child::say(acquired ? QStringLiteral("acquired") : QStringLiteral("turned away"));
        return acquired ? 0 : 1;
    }
    if (!acquired)
        return 1;
    Child::say(QStringLiteral("ready"));
    char c;
    while (::read(0, &c, 1) > 0) { }
    return 0;
}

} // namespace

class TestInstance : public QObject
{
    Q_OBJECT

private slots:
    void oneProgramPerFolder_data()
    {
        QTest::addColumn<QString>("first"); // what becomes of the first program
        QTest::addColumn<bool>("secondRuns");
        QTest::newRow("first running") << "running" << false;
        // Its lock file an hour old: age alone never makes a running program's lock stale.
        QTest::newRow("first running for an hour") << "old" << false;
        QTest::newRow("first killed") << "killed" << true;
        QTest::newRow("first ended") << "ended" << true;
    }
    void oneProgramPerFolder()
    {
        QFETCH(QString, first);
        QFETCH(bool, secondRuns);
        QTemporaryDir folder;
        const QString lockFile = folder.filePath(InstanceLock::fileName());
        QProcess holder;
        holder.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        holder.start(QCoreApplication::applicationFilePath(), {"--child", "hold", folder.path()});
        QVERIFY(holder.waitForStarted(30000));
        QVERIFY(QTest::qWaitFor([&] { return holder.canReadLine() || holder.waitForReadyRead(100); }, 30000));
        QCOMPARE(holder.readLine(), QByteArray("ready\n"));
        QVERIFY(QFileInfo::exists(lockFile));

        if (first == "old") {
            const utimbuf hourAgo {::time(nullptr) - 3600, ::time(nullptr) - 3600};
            QCOMPARE(::utime(QFile::encodeName(lockFile).constData(), &hourAgo), 0);
        } else if (first == "killed" || first == "ended") {
            if (first == "killed")
                holder.kill();
            else
                holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(30000));
            // A killed program leaves its lock file behind, one that ends gives it back.
            QCOMPARE(QFileInfo::exists(lockFile), first == "killed");
        }

        const Child::Report second = Child::run({"start", folder.path()});
        QVERIFY2(second.started, qPrintable(second.errors));
        QCOMPARE(second.exitCode, secondRuns ? 0 : 1);
        QCOMPARE(second.infos(), secondRuns ? QStringList() : QStringList {Running});
        QCOMPARE(
            second.lines.last(), secondRuns ? QStringLiteral("acquired") : QStringLiteral("turned away"));
        if (secondRuns)
            QVERIFY(!QFileInfo::exists(lockFile)); // given back when the program ends
        holder.kill();
        holder.waitForFinished(30000);
    }

    // A folder that cannot hold a lock file (it is missing) does not stop the program: it then
    // reports the missing ledger as in any folder.
    void aFolderWithoutRoomForTheLockDoesNotStopTheProgram()
    {
        QTemporaryDir tmp;
        const Child::Report r = Child::run({"start", tmp.filePath("missing")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.infos().isEmpty());
    }
};

RELIABILITY_MAIN(TestInstance, childMain)
#include "tst_instance.moc"
