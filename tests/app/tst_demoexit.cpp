// SPDX-License-Identifier: GPL-3.0-or-later
// The demo household's temporary folder is removed however the program ends: stopped from the
// terminal (Ctrl+C), by the end of the desktop session or by kill, as well as by its own 終了.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

class TestDemoExit : public QObject
{
    Q_OBJECT

private slots:
    void folderIsRemovedOnEverySignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void folderIsRemovedOnEverySignal()
    {
        QFETCH(int, signal);
        QTemporaryDir tmp, home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp.path());
        env.insert("HOME", home.path());
        env.remove("VELMO_DIR");
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(VELMO_PROGRAM), {"--demo"});
        QVERIFY(p.waitForStarted());
        // Ready once the main menu has written its start line into the demo folder's log.
        QString folder;
        const auto ready = [&] {
            const QStringList found = QDir(tmp.path()).entryList({"velmo-demo-*"}, QDir::Dirs);
            folder = found.isEmpty() ? QString() : tmp.filePath(found.constFirst());
            QFile log(folder + "/AP.log");
            return !folder.isEmpty() && log.open(QIODevice::ReadOnly) && log.size() > 0;
        };
        QVERIFY2(
            QTest::qWaitFor([&] { return ready() || p.state() != QProcess::Running; }, 120000) && ready(),
            p.readAll().constData());
        QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(!QFileInfo::exists(folder), qPrintable(folder));
        QCOMPARE(QDir(tmp.path()).entryList({"velmo-demo-*"}, QDir::AllEntries), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDemoExit)
#include "tst_demoexit.moc"
