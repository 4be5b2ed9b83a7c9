// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFolder.h"
#include "FileTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using AppFolder::Options;

// A template folder as the package installs it, with recognisable contents.
struct Template
{
    Template()
    {
        writeBytes(file("velmo.mdb"), "template ledger");
        writeBytes(file("yazirusi.gif"), "template arrow");
    }
    QString file(const char *name) const { return QDir(dir.path()).filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

class TestAppFolder : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<int>("exitCode"); // -1: the program runs
        QTest::addColumn<QString>("dir"); // "<tmp>" stands for the existing folder
        QTest::addColumn<QString>("message");

        QTest::newRow("nothing") << QStringList() << "" << -1 << ""
                                 << "";
        QTest::newRow("--dir") << QStringList {"--dir", "<tmp>"} << "" << -1 << "<tmp>"
                               << "";
        QTest::newRow("--dir=") << QStringList {"--dir=<tmp>"} << "" << -1 << "<tmp>"
                                << "";
        QTest::newRow("environment") << QStringList() << "<tmp>" << -1 << "<tmp>"
                                     << "";
        QTest::newRow("option over a bad environment")
            << QStringList {"--dir", "<tmp>"} << "/no/such/folder" << -1 << "<tmp>"
            << "";
        QTest::newRow("--dir missing") << QStringList {"--dir", "/no/such/folder"} << "" << 2 << ""
                                       << "--dir: '/no/such/folder' is not a folder";
        QTest::newRow("--dir a file") << QStringList {"--dir", "<tmp>/velmo.mdb"} << "" << 2 << ""
                                      << "is not a folder";
        QTest::newRow("--dir empty") << QStringList {"--dir", ""} << "<tmp>" << 2 << ""
                                     << "--dir: '' is not a folder";
        QTest::newRow("environment missing") << QStringList() << "/no/such/folder" << 2 << ""
                                             << "VELMO_DIR: '/no/such/folder' is not a folder";
        QTest::newRow("--dir without value") << QStringList {"--dir"} << "" << 2 << ""
                                             << "Missing value after '--dir'";
        QTest::newRow("unknown option") << QStringList {"--bogus"} << "" << 2 << ""
                                        << "Unknown option 'bogus'";
        QTest::newRow("stray argument") << QStringList {"ledger.mdb"} << "" << 2 << ""
                                        << "unexpected argument 'ledger.mdb'";
        QTest::newRow("help") << QStringList {"--help"} << "" << 0 << ""
                              << "--dir <DIR>";
        QTest::newRow("help over a bad option")
            << QStringList {"--dir", "/no/such/folder", "-h"} << "" << 0 << ""
            << "VELMO_DIR";
        QTest::newRow("help lists --demo") << QStringList {"--help"} << "" << 0 << ""
                                           << "--demo";
        QTest::newRow("--demo with --dir") << QStringList {"--demo", "--dir", "<tmp>"} << "" << 2 << ""
                                           << "--demo and --dir cannot be used together";
        QTest::newRow("version") << QStringList {"--version"} << "/no/such/folder" << 0 << ""
                                 << "9.8.7\n";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(int, exitCode);
        QFETCH(QString, dir);
        QFETCH(QString, message);
        QTemporaryDir tmp;
        writeBytes(QDir(tmp.path()).filePath("velmo.mdb"), "x");
        for (QString &a : arguments)
            a.replace("<tmp>", tmp.path());
        environment.replace("<tmp>", tmp.path());
        dir.replace("<tmp>", tmp.path());
        QCoreApplication::setApplicationVersion("9.8.7");

        const Options o = AppFolder::parse(QStringList {"velmo"} + arguments, environment);
        QCOMPARE(o.exit, exitCode >= 0);
        QCOMPARE(o.exitCode, exitCode < 0 ? 0 : exitCode);
        QCOMPARE(o.dir, dir);
        QVERIFY2(o.output.contains(message), qPrintable(o.output));
        if (exitCode == 2)
            QVERIFY(o.output.endsWith('\n'));
    }

    // --demo never names a folder of the user's, not even the environment's.
    void demoOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<bool>("demo");
        QTest::newRow("--demo") << QStringList {"--demo"} << "" << true;
        QTest::newRow("--demo over VELMO_DIR") << QStringList {"--demo"} << "<tmp>" << true;
        QTest::newRow("--demo over a bad VELMO_DIR") << QStringList {"--demo"} << "/no/such/folder" << true;
        QTest::newRow("without --demo") << QStringList {} << "<tmp>" << false;
    }
    void demoOption()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(bool, demo);
        QTemporaryDir tmp;
        environment.replace("<tmp>", tmp.path());
        const Options o = AppFolder::parse(QStringList {"velmo"} + arguments, environment);
        QCOMPARE(o.exit, false);
        QCOMPARE(o.demo, demo);
        QCOMPARE(o.dir.isEmpty(), demo);
    }

    void relativeDirBecomesAbsolute()
    {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("ledger"));
        const QString old = QDir::currentPath();
        QDir::setCurrent(tmp.path());
        const Options o = AppFolder::parse({"velmo", "--dir", "ledger"}, {});
        QDir::setCurrent(old);
        QCOMPARE(o.dir, QDir(tmp.path()).filePath("ledger"));
    }

    // Which folder wins: the chosen one, then the program's own folder when it holds a
    // ledger, then the per-user folder.
    void locate()
    {
        Template t;
        QTemporaryDir program, user, chosen;
        QString warning;
        QCOMPARE(AppFolder::locate({}, program.path(), user.path(), t.dir.path(), &warning), user.path());
        QVERIFY(QFile::exists(QDir(user.path()).filePath("velmo.mdb")));
        QVERIFY(!QFile::exists(QDir(program.path()).filePath("AP.log")));

        writeBytes(QDir(program.path()).filePath("velmo.mdb"), "portable");
        QCOMPARE(AppFolder::locate({}, program.path(), user.path(), t.dir.path(), &warning), program.path());
        QCOMPARE(AppFolder::locate(chosen.path(), program.path(), user.path(), t.dir.path(), &warning),
            chosen.path());
        // A chosen folder is used as it is: nothing is made in it.
        QVERIFY(QDir(chosen.path()).isEmpty());
        QVERIFY(warning.isEmpty());
    }

    // A folder whose backups are there without their ledger still belongs to the program: the
    // ledger was lost (deleted, or the program stopped between the two renames of a restore
    // over a damaged one), and the start offers the backups before anything else is done.
    void aFolderWithBackupsAndNoLedgerIsKept_data()
    {
        QTest::addColumn<QString>("program"); // files in the program's folder
        QTest::addColumn<QString>("user"); // files in the per-user folder
        QTest::addColumn<QString>("chosen"); // "program" or "user"
        QTest::addColumn<bool>("laidOut"); // the per-user folder got the template's ledger
        const QString backup = "backup/velmo-20030917-090507.mdb";
        QTest::newRow("portable, backups only") << backup << ""
                                                << "program" << false;
        QTest::newRow("portable, mid-restore") << backup + ",velmo.mdb.damaged-20030917-090507"
                                               << ""
                                               << "program" << false;
        QTest::newRow("per-user, backups only") << "" << backup << "user" << false;
        QTest::newRow("per-user, mid-restore")
            << "" << backup + ",velmo.mdb.damaged-20030917-090507,velmo.mdb.restoring"
            << "user" << false;
        QTest::newRow("per-user, other files in backup/")
            << ""
            << "backup/notes.txt,backup/velmo-20030917-090507.tmp"
            << "user" << true;
        QTest::newRow("per-user, nothing") << ""
                                           << ""
                                           << "user" << true;
    }
    void aFolderWithBackupsAndNoLedgerIsKept()
    {
        QFETCH(QString, program);
        QFETCH(QString, user);
        QFETCH(QString, chosen);
        QFETCH(bool, laidOut);
        Template t;
        QTemporaryDir programDir, home;
        const QString userDir = home.filePath(".local/share/velmo");
        for (const auto &[folder, files] :
            {std::pair {programDir.path(), program}, std::pair {userDir, user}}) {
            for (const QString &f : files.split(',', Qt::SkipEmptyParts)) {
                QVERIFY(QDir().mkpath(QFileInfo(QDir(folder).filePath(f)).absolutePath()));
                writeBytes(QDir(folder).filePath(f), "x");
            }
        }
        QString warning;
        const QString found = AppFolder::locate({}, programDir.path(), userDir, t.dir.path(), &warning);
        QCOMPARE(found, chosen == "program" ? programDir.path() : userDir);
        QCOMPARE(QFile::exists(userDir + "/velmo.mdb"), laidOut);
        QVERIFY(!QFile::exists(programDir.filePath("velmo.mdb")));
        QCOMPARE(AppFolder::holdsBackups(found), !laidOut);
    }

    void layOutNewFolder()
    {
        Template t;
        QTemporaryDir home;
        const QString folder = home.path() + "/.local/share/velmo";
        QString error;
        QVERIFY(AppFolder::layOut(folder, t.dir.path(), &error));
        QCOMPARE(fileBytes(folder + "/velmo.mdb"), QByteArray("template ledger"));
        QCOMPARE(fileBytes(folder + "/yazirusi.gif"), QByteArray("template arrow"));
        QVERIFY(QFile::exists(folder + "/AP.log"));
        QCOMPARE(QFileInfo(folder + "/AP.log").size(), 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    // Whatever the user already has stays as it is. Once a folder holds a ledger it behaves
    // as the program's own folder: a log the user removed stays removed (the main menu
    // reports it) until the log is cleared.
    void layOutKeepsWhatIsThere_data()
    {
        // Files as "name=content"; an expected "name=" means the file must not exist.
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("log and arrow, no ledger")
            << QStringList {"AP.log=old log", "yazirusi.gif=own arrow"}
            << QStringList {"AP.log=old log", "yazirusi.gif=own arrow", "velmo.mdb=template ledger"};
        QTest::newRow("ledger only") << QStringList {"velmo.mdb=own ledger"}
                                     << QStringList {"velmo.mdb=own ledger", "AP.log=", "yazirusi.gif="};
    }

    void layOutKeepsWhatIsThere()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, expected);
        Template t;
        QTemporaryDir folder;
        for (const QString &f : existing)
            writeBytes(folder.filePath(f.section('=', 0, 0)), f.section('=', 1).toUtf8());
        QString error;
        QVERIFY(AppFolder::layOut(folder.path(), t.dir.path(), &error));
        for (const QString &f : expected) {
            const QString path = folder.filePath(f.section('=', 0, 0));
            const QString content = f.section('=', 1);
            QVERIFY2(QFile::exists(path) == !content.isEmpty(), qPrintable(path));
            if (!content.isEmpty())
                QCOMPARE(fileBytes(path), content.toUtf8());
        }
    }

    // Without a template there is no ledger to give: the failure is described, the rest is
    // made, and the next start tries again.
    void layOutWithoutTemplate()
    {
        QTemporaryDir folder, empty;
        QString error;
        QVERIFY(!AppFolder::layOut(folder.path(), empty.path(), &error));
        QVERIFY2(error.contains("velmo.mdb"), qPrintable(error));
        QVERIFY(!QFile::exists(folder.filePath("velmo.mdb")));
        QVERIFY(QFile::exists(folder.filePath("AP.log")));

        Template t;
        error.clear();
        QVERIFY(AppFolder::layOut(folder.path(), t.dir.path(), &error));
        QCOMPARE(fileBytes(folder.filePath("velmo.mdb")), QByteArray("template ledger"));
    }

    void layOutWhereNoFolderCanBe()
    {
        Template t;
        QTemporaryDir tmp;
        writeBytes(tmp.filePath("file"), "x");
        QString error;
        QVERIFY(!AppFolder::layOut(tmp.filePath("file/velmo"), t.dir.path(), &error));
        QVERIFY2(error.contains("cannot create the folder"), qPrintable(error));
        QString warning;
        QCOMPARE(AppFolder::locate({}, tmp.path(), tmp.filePath("file/velmo"), t.dir.path(), &warning),
            tmp.filePath("file/velmo"));
        QCOMPARE(warning, error);
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "tst_appfolder.moc"
