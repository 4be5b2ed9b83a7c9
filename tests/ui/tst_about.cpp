// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutWindow.h"
#include "FileTestSupport.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString unavailable = QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません");

// Writes an executable shell script that leaves a marker file beside itself when run.
QString fakeProgram(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("#!/bin/sh\ntouch \"$0.ran\"\n");
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void loadShowsCaptionTitleAndVersion();
    void okCloses();
    void systemInfoStartsTheProgramFound();
    void systemInfoUnavailableShowsTheMessage();
    void registryLookup();
    void pathLookupKeepsItsOrder();
    void openedFromTheMainMenu();

private:
    ScriptedDialogs m_dialogs;
    FixedClock m_clock = clockAt(2003, 9, 17);
    TempAppDir m_app {false};
    AppContext context() { return m_app.context(m_dialogs, m_clock); }
};

void TestAbout::loadShowsCaptionTitleAndVersion()
{
    AboutWindow w(context());
    w.show();
    w.load();
    QCOMPARE(w.objectName(), QStringLiteral("F_ver"));
    QCOMPARE(w.windowTitle(), QStringLiteral("ヴェルモラのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(w.findChild<QLabel *>("lblTitle")->text(), QStringLiteral("ヴェルモラ"));
    // The version the build defines, in the x.y.z shape, and the one the package's metainfo
    // announces as its release.
    const QString version = w.findChild<QLabel *>("lblVersion")->text();
    QCOMPARE(version, QStringLiteral("ﾊﾞｰｼﾞｮﾝ " VELMO_VERSION));
    QVERIFY2(QRegularExpression(QStringLiteral("^ﾊﾞｰｼﾞｮﾝ \\d+\\.\\d+\\.\\d+$")).match(version).hasMatch(),
        qPrintable(version));
    const QByteArray metainfo = fileBytes(QStringLiteral(VELMO_METAINFO));
    QVERIFY2(metainfo.contains("<release version=\"" + version.section(u' ', 1).toUtf8() + '"'),
        metainfo.constData());
    QVERIFY(!w.findChild<QLabel *>("Label1")->text().isEmpty());
    QVERIFY(!w.findChild<QLabel *>("picIcon")->pixmap().isNull());
    QVERIFY(w.findChild<QWidget *>("Line1"));
    QCOMPARE(w.findChild<QPushButton *>("cmdOK")->text(), QStringLiteral("OK"));
    QCOMPARE(w.findChild<QPushButton *>("cmdSysInfo")->text(), QStringLiteral("ｼｽﾃﾑ情報(&S)..."));
}

void TestAbout::okCloses()
{
    QPointer<AboutWindow> w = new AboutWindow(context());
    QSignalSpy closed(w.data(), &TaskWindow::closed);
    w->show();
    w->load();
    w->findChild<QPushButton *>("cmdOK")->click();
    QCOMPARE(closed.size(), 1);
    QTRY_VERIFY(w.isNull());
}

void TestAbout::systemInfoStartsTheProgramFound()
{
    QTemporaryDir bin;
    const QString program = fakeProgram(bin.path(), QStringLiteral("kinfocenter"));
    AboutWindow w(context(), [&] { return SystemInfo::locateInFolders({bin.path()}); });
    w.show();
    w.load();
    m_dialogs.clear();
    w.findChild<QPushButton *>("cmdSysInfo")->click();
    QTRY_VERIFY(QFile::exists(program + QStringLiteral(".ran")));
    QVERIFY(m_dialogs.shown.isEmpty());
    QVERIFY(w.isVisible());
}

void TestAbout::systemInfoUnavailableShowsTheMessage()
{
    QStringList started;
    const ProgramStarter record = [&](const QString &p) {
        started << p;
        return true;
    };
    {
        AboutWindow w(
            context(), [] { return std::nullopt; }, record);
        m_dialogs.clear();
        w.findChild<QPushButton *>("cmdSysInfo")->click();
        QCOMPARE(m_dialogs.infos, QStringList {unavailable});
        QVERIFY(started.isEmpty());
    }
    {
        // Found, but it cannot be started.
        AboutWindow w(context(), [] { return QStringLiteral("/nonexistent/hardinfo"); });
        m_dialogs.clear();
        w.findChild<QPushButton *>("cmdSysInfo")->click();
        QCOMPARE(m_dialogs.infos, QStringList {unavailable});
    }
}

void TestAbout::registryLookup()
{
    QHash<QString, QString> values;
    QStringList reads;
    const RegistryReader read = [&](const QString &key, const QString &value) -> std::optional<QString> {
        const QString name = key + QLatin1Char('|') + value;
        reads << name;
        if (!values.contains(name))
            return std::nullopt;
        return values.value(name);
    };
    QStringList files;
    const auto exists = [&](const QString &path) { return files.contains(path); };
    const QString toolKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH");
    const QString folderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO");

    QCOMPARE(SystemInfo::locateInRegistry(read, exists), std::nullopt);

    // Only the folder, but no MSINFO32.EXE in it.
    values.insert(folderKey, QStringLiteral("C:\\Tools"));
    QCOMPARE(SystemInfo::locateInRegistry(read, exists), std::nullopt);
    files << QStringLiteral("C:\\Tools\\MSINFO32.EXE");
    QCOMPARE(SystemInfo::locateInRegistry(read, exists), QStringLiteral("C:\\Tools\\MSINFO32.EXE"));

    // The full path wins without a second lookup, and is not tested for existence.
    values.insert(toolKey, QStringLiteral("D:\\msinfo.exe"));
    reads.clear();
    QCOMPARE(SystemInfo::locateInRegistry(read, exists), QStringLiteral("D:\\msinfo.exe"));
    QCOMPARE(reads, QStringList {toolKey});
}

void TestAbout::pathLookupKeepsItsOrder()
{
    QTemporaryDir a, b;
    QCOMPARE(SystemInfo::locateInFolders({}), std::nullopt);
    QCOMPARE(SystemInfo::locateInFolders({a.path()}), std::nullopt);

    // A file that is not executable does not count.
    QFile plain(a.path() + QStringLiteral("/hardinfo2"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QCOMPARE(SystemInfo::locateInFolders({a.path()}), std::nullopt);

    const QString later = fakeProgram(a.path(), QStringLiteral("lshw-gtk"));
    const QString earlier = fakeProgram(b.path(), QStringLiteral("hardinfo"));
    QCOMPARE(SystemInfo::locateInFolders({a.path()}), later);
    QCOMPARE(SystemInfo::locateInFolders({a.path(), b.path()}), earlier);
}

void TestAbout::openedFromTheMainMenu()
{
    TempAppDir app;
    MainMenu menu(app.context(m_dialogs, m_clock));
    registerTasks(menu);
    menu.load();
    menu.show();
    QAction *ver = menu.findChild<QAction *>("VER");
    QVERIFY(ver && ver->isEnabled());
    ver->trigger();
    QPointer<TaskWindow> w = menu.openTask();
    QVERIFY(w);
    QCOMPARE(w->objectName(), QStringLiteral("F_ver"));
    QCOMPARE(w->windowTitle(), QStringLiteral("ヴェルモラのﾊﾞｰｼﾞｮﾝ情報"));
    QVERIFY(!menu.isEnabled());
    w->findChild<QPushButton *>("cmdOK")->click();
    QTRY_VERIFY(w.isNull());
    QVERIFY(menu.isEnabled());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
