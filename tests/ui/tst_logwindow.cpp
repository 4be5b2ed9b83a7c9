// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"
#include "LogWindow.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TestLogWindow : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2026, 12, 8, 21, 30, 0);
        AppContext context() { return dir.context(dialogs, clock); }
    };

private slots:
    void showsTheLogDecoded_data();
    void showsTheLogDecoded();
    void unreadableLogIsSaid_data();
    void unreadableLogIsSaid();
    void openedFromTheMainMenu();
    void desktopViewerFailingIsSaid();
};

void TestLogWindow::showsTheLogDecoded_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("shown");
    QTest::newRow("code page lines, newest first")
        << Cp932::encode(QStringLiteral("2026/12/08 21:30:00,ログ表示\r\n2026/12/08 21:29:58,AP起動\r\n"))
        << QStringLiteral("2026/12/08 21:30:00,ログ表示\n2026/12/08 21:29:58,AP起動");
    // Half-width kana and the yen sign's byte 0x5C, as the program writes them.
    QTest::newRow("half-width kana and backslash")
        << Cp932::encode(QStringLiteral("2026/12/08 09:00:00,AP終了(ﾎﾞﾀﾝ) \\2,480\r\n"))
        << QStringLiteral("2026/12/08 09:00:00,AP終了(ﾎﾞﾀﾝ) \\2,480");
    QTest::newRow("a line without its end") << Cp932::encode(QStringLiteral("2026/12/08 09:00:00,AP起動"))
                                            << QStringLiteral("2026/12/08 09:00:00,AP起動");
    QTest::newRow("empty log") << QByteArray() << QString();
}

void TestLogWindow::showsTheLogDecoded()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    Fixture f;
    QVERIFY(writeAll(f.dir.logPath(), file));
    auto *w = new LogWindow(f.context());
    QSignalSpy closed(w, &TaskWindow::closed);
    w->load();
    QCOMPARE(closed.count(), 0);
    auto *text = w->findChild<QPlainTextEdit *>(QStringLiteral("txt_log"));
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->toPlainText(), shown);
    QVERIFY(f.dialogs.shown.isEmpty());
    // Only read: the file keeps its bytes.
    QCOMPARE(readAll(f.dir.logPath()), file);
    w->findChild<QPushButton *>(QStringLiteral("cmd_end"))->click();
    QCOMPARE(closed.count(), 1);
}

void TestLogWindow::unreadableLogIsSaid_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("missing") << QStringLiteral("missing");
    QTest::newRow("a folder in its place") << QStringLiteral("folder");
}

void TestLogWindow::unreadableLogIsSaid()
{
    QFETCH(QString, how);
    Fixture f;
    QFile::remove(f.dir.logPath());
    if (how == u"folder")
        QVERIFY(QDir().mkdir(f.dir.logPath()));
    auto *w = new LogWindow(f.context());
    QSignalSpy closed(w, &TaskWindow::closed);
    w->load();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(f.dialogs.infos, QStringList({LogWindow::unreadableMessage()}));
    QCOMPARE(QFile::exists(f.dir.logPath()), how == u"folder");
}

void TestLogWindow::openedFromTheMainMenu()
{
    Fixture f;
    MainMenu menu(f.context());
    registerTasks(menu);
    int viewerCalls = 0;
    menu.setFileViewer([&](const QString &) { return ++viewerCalls, true; });
    menu.load();
    menu.show();
    menu.findChild<QAction *>(QStringLiteral("log"))->trigger();
    TaskWindow *task = menu.openTask();
    QVERIFY(task);
    QCOMPARE(task->objectName(), QStringLiteral("F_log"));
    QCOMPARE(viewerCalls, 0);
    QVERIFY(!menu.isEnabled());
    const QStringList lines
        = task->findChild<QPlainTextEdit *>(QStringLiteral("txt_log"))->toPlainText().split(u'\n');
    QCOMPARE(lines, QStringList({"2026/12/08 21:30:00,ログ表示", "2026/12/08 21:30:00,AP起動"}));
    task->close();
    QVERIFY(menu.isEnabled());
}

void TestLogWindow::desktopViewerFailingIsSaid()
{
    // A menu without the program's own viewer hands the file to the desktop; when nothing
    // opens it, the user is told rather than left waiting.
    Fixture f;
    MainMenu menu(f.context());
    QStringList asked;
    menu.setFileViewer([&](const QString &p) { return asked << p, false; });
    menu.load();
    menu.findChild<QAction *>(QStringLiteral("log"))->trigger();
    QCOMPARE(asked, QStringList({f.dir.logPath()}));
    QCOMPARE(f.dialogs.infos, QStringList({LogWindow::unreadableMessage()}));
}

QTEST_MAIN(TestLogWindow)
#include "tst_logwindow.moc"
