// SPDX-License-Identifier: GPL-3.0-or-later
// Files under faults, through the real main menu and windows.
//
// A ledger that cannot be read (missing, empty, a directory, random bytes, held by another
// process's exclusive lock): every window shows "DB接続失敗" once, changes nothing, stays
// open, closes normally, and opens cleanly again once the ledger is back.
// A ledger that can be read but not written (read-only, or another process in the middle
// of a write): every writing action shows "DB接続失敗" once and changes nothing.
// A log that is missing, read-only or on a full file system: "ログ書込み失敗" and the log
// as it was. A CSV export, or a posting, onto a full file system: the failure message, an
// existing file byte for byte as it was, the ledger unchanged.
//
// Root ignores file permissions, so the read-only cases run in a child process that has
// given up root (it runs as "nobody"). A full file system is a file-size limit
// (RLIMIT_FSIZE, the writes fail with EFBIG) and, where the machine lets a private mount
// namespace mount one, a small tmpfs filled to the last byte (ENOSPC).

#include "ChildProcess.h"
#include "Cp932.h"
#include "FileTestSupport.h"
#include "LedgerCheck.h"
#include "Unprivileged.h"
#include "WindowDriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <grp.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString DbFailed = QStringLiteral("DB接続失敗");
const QString LogFailed = QStringLiteral("ログ書込み失敗");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// What a path is, as exactly as it can be compared: missing, a directory and its entries,
// or a file's bytes.
QByteArray fingerprint(const QString &path)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return "missing";
    if (fi.isDir())
        return "dir:" + QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u'/').toUtf8();
    return "file:" + readAll(path);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A log with some history, in code page 932.
QByteArray someLog()
{
    return Cp932::encode(
        QStringLiteral("2003/09/16 21:00:00,AP終了(ﾎﾞﾀﾝ)\r\n2003/09/16 20:59:00,AP起動\r\n"));
}

// Income postings of 2003, some 50 bytes each in the CSV file (4000 make about 200 KB).
void addManyPostings(const TempAppDir &dir, int count = 4000)
{
    dir.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
        "INSERT INTO N SELECT '給料', '銀行', i, 20030101 + (i % 28), '長めの備考欄の文章' || i "
        "FROM n")
                 .arg(count));
}

// ------------------------------------------------------------------ children

// A file-size limit in the child, with the signal it raises ignored, so writes past it
// fail with EFBIG as they would on a full disk.
void limitFileSize(rlim_t bytes)
{
    signal(SIGXFSZ, SIG_IGN);
    const rlimit r {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &r);
}

FixedClock childClock()
{
    return clockAt(2003, 9, 17, 21, 7, 45);
}

// "log <appdir>": starts the menu (AP起動), opens and closes one window.
int childLog(const QString &appDir)
{
    ScriptedDialogs dialogs;
    const FixedClock clock = childClock();
    Drive::Menu m(AppContext {appDir, &dialogs, &clock});
    const bool opened = m.open("cmd_rireki") != nullptr;
    const bool closed = m.close();
    for (const QString &s : dialogs.infos)
        Child::say(QStringLiteral("info ") + s);
    Child::say(opened && closed ? QStringLiteral("window ok") : QStringLiteral("window broken"));
    return 0;
}

// "csv <appdir> <target> [kind]": exports the income history of 2003 (or another kind) to
// the target.
int childCsv(const QString &appDir, const QString &target, int kind = 0)
{
    ScriptedDialogs dialogs;
    const FixedClock clock = childClock();
    Drive::Menu m(AppContext {appDir, &dialogs, &clock});
    TaskWindow *w = m.open("csv");
    if (!w)
        return 3;
    Drive::exportCsv(w, dialogs, kind, target);
    for (const QString &s : dialogs.infos)
        Child::say(QStringLiteral("info ") + s);
    Child::say(m.close() ? QStringLiteral("window ok") : QStringLiteral("window broken"));
    return 0;
}

// "post <appdir>": posts 500 to 給料.
int childPost(const QString &appDir)
{
    ScriptedDialogs dialogs;
    const FixedClock clock = childClock();
    Drive::Menu m(AppContext {appDir, &dialogs, &clock});
    TaskWindow *w = m.open("cmd_nyuukin");
    if (!w)
        return 3;
    Drive::post(w, "給料", "500");
    for (const QString &s : dialogs.infos)
        Child::say(QStringLiteral("info ") + s);
    Child::say(QStringLiteral("result ") + Drive::result(w));
    Child::say(m.close() ? QStringLiteral("window ok") : QStringLiteral("window broken"));
    return 0;
}

// "writes <appdir>": every writing action, one line each.
int childWrites(const QString &appDir)
{
    ScriptedDialogs dialogs;
    const FixedClock clock = childClock();
    for (const QString &line : Drive::runWriteActions(AppContext {appDir, &dialogs, &clock}, dialogs))
        Child::say(QStringLiteral("case ") + line);
    return 0;
}

// "fullfs <source appdir> <mount point>": runs inside a private mount namespace with a small
// tmpfs at the mount point. Copies the application directory there, fills the file system
// to the last byte, then logs, exports and posts, and reports what changed.
int childFullFs(const QString &source, const QString &mount)
{
    const QString app = mount + QStringLiteral("/app");
    QDir().mkpath(app);
    for (const QString &f : entries(source)) {
        if (!QFile::copy(source + u'/' + f, app + u'/' + f))
            return 4;
    }
    const QString target = app + QStringLiteral("/old.csv");
    writeAll(target, "an existing file\r\n");
    const QString smallTarget = app + QStringLiteral("/old2.csv");
    writeAll(smallTarget, "another existing file\r\n");
    // Fill: one big file, then small ones until not a byte more fits.
    {
        QFile filler(mount + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return 5;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) { }
        filler.close();
        for (int i = 0; i < 1000; ++i) {
            QFile small(mount + QStringLiteral("/small%1").arg(i));
            if (!small.open(QIODevice::WriteOnly) || small.write("x", 1) != 1 || !small.flush())
                break;
        }
    }
    struct statvfs fs;
    if (statvfs(QFile::encodeName(mount).constData(), &fs) == 0)
        Child::say(QStringLiteral("free %1").arg(qulonglong(fs.f_bavail) * fs.f_bsize));
    const QByteArray ledgerBefore = readAll(app + QStringLiteral("/velmo.mdb"));
    const QByteArray logBefore = readAll(app + QStringLiteral("/AP.log"));
    const QStringList before = entries(app);

    Child::say(QStringLiteral("part log"));
    childLog(app);
    Child::say(QStringLiteral("part csv"));
    childCsv(app, target);
    Child::say(QStringLiteral("part small csv"));
    childCsv(app, smallTarget, 7);
    Child::say(QStringLiteral("part post"));
    childPost(app);

    Child::say(QStringLiteral("ledger ")
        + (readAll(app + QStringLiteral("/velmo.mdb")) == ledgerBefore ? "same" : "changed"));
    Child::say(QStringLiteral("log ")
        + (readAll(app + QStringLiteral("/AP.log")) == logBefore ? "same" : "changed"));
    Child::say(QStringLiteral("csv ") + (readAll(target) == "an existing file\r\n" ? "same" : "changed"));
    Child::say(QStringLiteral("small csv ")
        + (readAll(smallTarget) == "another existing file\r\n" ? "same" : "changed"));
    Child::say(QStringLiteral("entries ") + (entries(app) == before ? "same" : entries(app).join(u' ')));
    return 0;
}

int childMain(const QStringList &args)
{
    const QString role = args.value(0);
    if (role == u"log")
        return childLog(args.value(1));
    if (role == u"csv")
        return childCsv(args.value(1), args.value(2), args.value(3, QStringLiteral("0")).toInt());
    if (role == u"post")
        return childPost(args.value(1));
    if (role == u"writes")
        return childWrites(args.value(1));
    if (role == u"fullfs")
        return childFullFs(args.value(1), args.value(2));
    return 2;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

    struct Holder
    {
        QProcess p;
        // sqlite3 holding a transaction on the ledger until release().
        bool start(const QString &db, const char *begin)
        {
            p.start(QStringLiteral("sqlite3"), {db});
            if (!p.waitForStarted())
                return false;
            p.write(QByteArray(begin)
                + "; INSERT INTO Kubun_T (K_index,K_memo) VALUES ('他人','');\nSELECT 'held';\n");
            while (!p.readAllStandardOutput().contains("held")) {
                if (!p.waitForReadyRead(10000))
                    return false;
            }
            return true;
        }
        // Quits without committing: the other process's change is rolled back.
        void release()
        {
            p.write(".quit\n");
            p.closeWriteChannel();
            p.waitForFinished();
        }
        ~Holder()
        {
            if (p.state() != QProcess::NotRunning)
                release();
        }
    };

private slots:
    void initTestCase()
    {
        QVERIFY2(Drive::ledgerWindows().size() == 13, "every window that reads the ledger");
    }

    void unreadableLedger_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *f : {"missing", "empty", "directory", "random bytes", "exclusively locked"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void unreadableLedger()
    {
        QFETCH(QString, fault);
        TempAppDir dir;
        Drive::seed(dir);
        const QByteArray good = readAll(dir.dbPath());
        Holder holder;
        if (fault == u"missing") {
            QFile::remove(dir.dbPath());
        } else if (fault == u"empty") {
            writeAll(dir.dbPath(), QByteArray());
        } else if (fault == u"directory") {
            QFile::remove(dir.dbPath());
            QDir().mkdir(dir.dbPath());
        } else if (fault == u"random bytes") {
            std::mt19937 rng(932);
            QByteArray junk(64 * 1024, '\0');
            for (char &c : junk)
                c = static_cast<char>(rng());
            writeAll(dir.dbPath(), junk);
        } else {
            REQUIRE_PROGRAM("sqlite3", "sqlite3");
            QVERIFY(holder.start(dir.dbPath(), "BEGIN EXCLUSIVE"));
        }
        const QByteArray state = fingerprint(dir.dbPath());
        const QString csv = dir.path() + QStringLiteral("/out.csv");

        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2003, 9, 17);
        Drive::Menu m(dir.context(dialogs, clock));
        for (const Drive::Window &win : Drive::ledgerWindows()) {
            dialogs.clear();
            TaskWindow *w = m.open(win.opener);
            QVERIFY2(w, win.name);
            QCOMPARE(w->objectName(), QString::fromLatin1(win.name));
            if (w->objectName() == u"F_csv") // the export window reads only when it exports
                Drive::exportCsv(w, dialogs, 0, csv);
            // The window's activation, and whatever it queued, before the messages are counted.
            QVERIFY2(QTest::qWaitForWindowActive(w), win.name);
            deliverPostedEvents();
            QVERIFY2(dialogs.infos == QStringList {DbFailed},
                qPrintable(QStringLiteral("%1: %2").arg(win.name, dialogs.infos.join(u';'))));
            QVERIFY2(m.menu.openTask() == w && w->isVisible(), win.name);
            QVERIFY2(m.close(), win.name);
            QCOMPARE(fingerprint(dir.dbPath()), state);
        }
        QVERIFY(!QFileInfo::exists(csv));

        // The ledger back in place: every window opens without a word.
        if (holder.p.state() != QProcess::NotRunning) {
            holder.release();
            QCOMPARE(readAll(dir.dbPath()), good); // the other process's change was rolled back
        } else {
            if (QFileInfo(dir.dbPath()).isDir())
                QVERIFY(QDir().rmdir(dir.dbPath()));
            else if (QFileInfo::exists(dir.dbPath()))
                QVERIFY(QFile::remove(dir.dbPath()));
            writeAll(dir.dbPath(), good);
        }
        for (const Drive::Window &win : Drive::ledgerWindows()) {
            dialogs.clear();
            TaskWindow *w = m.open(win.opener);
            QVERIFY2(w && QTest::qWaitForWindowActive(w), win.name);
            deliverPostedEvents();
            QVERIFY2(dialogs.infos.isEmpty(),
                qPrintable(QStringLiteral("%1: %2").arg(win.name, dialogs.infos.join(u';'))));
            QVERIFY(m.close());
        }
        QCOMPARE(readAll(dir.dbPath()), good);
    }

    // Another process is in the middle of a write: reading goes on, writing waits for the
    // busy timeout and then fails.
    void ledgerInAnotherWrite()
    {
        REQUIRE_PROGRAM("sqlite3", "sqlite3");
        TempAppDir dir;
        Drive::seed(dir);
        const QStringList rows = ledgerDump(dir.dbPath());
        Holder holder;
        QVERIFY(holder.start(dir.dbPath(), "BEGIN IMMEDIATE"));
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2003, 9, 17);
        const QStringList results = Drive::runWriteActions(dir.context(dialogs, clock), dialogs);
        holder.release();
        QCOMPARE(results.size(), qsizetype(Drive::writeActions().size()));
        for (const QString &r : results)
            QCOMPARE(r.section(u'|', 1), QStringLiteral("load:|act:DB接続失敗|open:yes"));
        QCOMPARE(ledgerDump(dir.dbPath()), rows);
    }

    void readOnlyLedger()
    {
        QTemporaryDir bin;
        openToAll(bin.path());
        TempAppDir dir;
        Drive::seed(dir);
        openToAll(dir.path());
        chownToNobody(dir.path());
        chownToNobody(dir.logPath());
        QVERIFY(QFile::setPermissions(
            dir.dbPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        const QByteArray before = readAll(dir.dbPath());

        const auto child = runUnprivileged({"writes", dir.path()}, bin);
        if (!child)
            QSKIP("no process can give up root here; the write-locked ledger covers refused writes");
        const Child::Report &r = *child;
        QVERIFY2(r.finishedCleanly(), qPrintable(r.errors));
        const QStringList cases = r.prefixed("case ");
        QCOMPARE(cases.size(), qsizetype(Drive::writeActions().size()));
        for (const QString &c : cases)
            QCOMPARE(c.section(u'|', 1), QStringLiteral("load:|act:DB接続失敗|open:yes"));
        QCOMPARE(readAll(dir.dbPath()), before);
        QVERIFY(!QFileInfo::exists(dir.dbPath() + QStringLiteral("-journal")));
    }

    void missingLog()
    {
        TempAppDir dir;
        Drive::seed(dir);
        QVERIFY(QFile::remove(dir.logPath()));
        ScriptedDialogs dialogs;
        const FixedClock clock = clockAt(2003, 9, 17);
        Drive::Menu m(dir.context(dialogs, clock));
        QCOMPARE(dialogs.infos, QStringList {LogFailed}); // AP起動
        dialogs.clear();
        QVERIFY(m.open("cmd_tanaorosi")); // the window opens all the same
        QCOMPARE(dialogs.infos, QStringList {LogFailed});
        QVERIFY(m.close());
        QVERIFY(!QFileInfo::exists(dir.logPath())); // the writer never creates the log
    }

    void readOnlyLog()
    {
        QTemporaryDir bin;
        openToAll(bin.path());
        TempAppDir dir;
        Drive::seed(dir);
        openToAll(dir.path());
        writeAll(dir.logPath(), someLog());
        chownToNobody(dir.path());
        chownToNobody(dir.logPath());
        QVERIFY(QFile::setPermissions(
            dir.logPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        const auto child = runUnprivileged({"log", dir.path()}, bin);
        if (!child)
            QSKIP("no process can give up root here; the file-size limit covers an unwritable log");
        const Child::Report &r = *child;
        QVERIFY2(r.finishedCleanly(), qPrintable(r.errors));
        QCOMPARE(r.infos(), QStringList({LogFailed, LogFailed}));
        QVERIFY(r.lines.contains("window ok"));
        QCOMPARE(readAll(dir.logPath()), someLog());
        QCOMPARE(entries(dir.path()), QStringList({"AP.log", "velmo.mdb", "yazirusi.gif"}));
    }

    // A log larger than what may be written: each rewrite fails, the log stays whole.
    // A log larger than what may be written: each rewrite fails, the log stays whole. A
    // small log is written from the file's buffer only when it is closed, a large one at
    // once; both failures must be seen.
    void logOverTheFileSizeLimit_data()
    {
        QTest::addColumn<int>("logSize");
        QTest::addColumn<int>("limit");
        QTest::newRow("small log") << 8 * 1024 << 4 * 1024;
        QTest::newRow("large log") << 40 * 1024 << 32 * 1024;
    }
    void logOverTheFileSizeLimit()
    {
        QFETCH(int, logSize);
        QFETCH(int, limit);
        TempAppDir dir;
        Drive::seed(dir);
        QByteArray log;
        while (log.size() < logSize)
            log += someLog();
        writeAll(dir.logPath(), log);
        const Child::Report r = Child::run({"log", dir.path()}, [limit] { limitFileSize(rlim_t(limit)); });
        QVERIFY2(r.finishedCleanly(), qPrintable(r.errors));
        QCOMPARE(r.infos(), QStringList({LogFailed, LogFailed}));
        QVERIFY(r.lines.contains("window ok"));
        QCOMPARE(readAll(dir.logPath()), log);
        QCOMPARE(entries(dir.path()), QStringList({"AP.log", "velmo.mdb", "yazirusi.gif"}));
    }

    // The export is larger than what may be written: the failure message, and the file that
    // was at the path before stays byte for byte; no temporary file is left behind.
    void csvExportOverTheFileSizeLimit_data()
    {
        QTest::addColumn<int>("postings");
        QTest::addColumn<int>("limit");
        QTest::newRow("small export") << 150 << 4 * 1024; // written from the buffer at the end
        QTest::newRow("large export") << 4000 << 64 * 1024; // written block by block
    }
    void csvExportOverTheFileSizeLimit()
    {
        QFETCH(int, postings);
        QFETCH(int, limit);
        TempAppDir dir;
        Drive::seed(dir);
        addManyPostings(dir, postings);
        const QString target = dir.path() + QStringLiteral("/収入履歴.CSV");
        const QByteArray old = Cp932::encode(QStringLiteral("前の出力\r\n"));
        writeAll(target, old);
        const Child::Report r
            = Child::run({"csv", dir.path(), target}, [limit] { limitFileSize(rlim_t(limit)); });
        QVERIFY2(r.finishedCleanly(), qPrintable(r.errors));
        QCOMPARE(r.infos(), QStringList {DbFailed});
        QVERIFY(r.lines.contains("window ok"));
        QCOMPARE(readAll(target), old);
        QCOMPARE(entries(dir.path()), QStringList({"AP.log", "velmo.mdb", "yazirusi.gif", "収入履歴.CSV"}));

        // Without the limit the same export succeeds and replaces the file.
        const Child::Report ok = Child::run({"csv", dir.path(), target});
        QCOMPARE(ok.infos(), QStringList {target + QStringLiteral("に保存しました")});
        QVERIFY(QFileInfo(target).size() > limit);
    }

    // A posting whose ledger pages lie past the limit: "DB接続失敗", and the ledger as it was
    // once the program next opens it (a journal left behind is rolled back).
    void postingOverTheFileSizeLimit()
    {
        TempAppDir dir;
        Drive::seed(dir);
        addManyPostings(dir);
        const QStringList rows = ledgerDump(dir.dbPath());
        const qint64 size = QFileInfo(dir.dbPath()).size();
        const Child::Report r = Child::run({"post", dir.path()}, [size] { limitFileSize(rlim_t(size / 2)); });
        QVERIFY2(r.finishedCleanly(), qPrintable(r.errors));
        QCOMPARE(r.infos(), QStringList {DbFailed});
        QVERIFY(r.lines.contains("result ")); // no 処理完了
        QVERIFY(r.lines.contains("window ok"));
        // Opening the ledger rolls back whatever the failed commit left in its journal.
        QCOMPARE(dir.scalar("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        QCOMPARE(ledgerDump(dir.dbPath()), rows);
        QVERIFY(!QFileInfo::exists(dir.dbPath() + QStringLiteral("-journal")));
    }

    // A small tmpfs filled to the last byte: ENOSPC for the log, the export and the ledger.
    void fullFileSystem()
    {
        TempAppDir dir;
        Drive::seed(dir);
        addManyPostings(dir);
        writeAll(dir.logPath(), someLog());
        QTemporaryDir mount;
        const QString unshareArgs = geteuid() == 0 ? QStringLiteral("-m") : QStringLiteral("-rm");
        const QString script = QStringLiteral(
            "mount -t tmpfs -o size=2m velmo-full \"$1\" 2>/dev/null || exit 77; shift; exec \"$@\"");
        const Child::Report r = Child::run(
            {unshareArgs, "--propagation", "private", "sh", "-c", script, "sh", mount.path(),
                QCoreApplication::applicationFilePath(), "--child", "fullfs", dir.path(), mount.path()},
            {}, QStringLiteral("unshare"));
        if (r.exitCode == 77 || (r.exitCode != 0 && r.lines.isEmpty()))
            QSKIP(qPrintable(QStringLiteral("no private tmpfs on this machine (%1); the file-size limit "
                                            "tests cover the full disk")
                                 .arg(r.errors.trimmed())));
        QVERIFY2(r.finishedCleanly(), qPrintable(r.lines.join(u'\n') + r.errors));
        const QString all = r.lines.join(u'\n');
        // Log: AP起動 and the window's line fail; the window works.
        const int csvPart = r.lines.indexOf("part csv");
        const int smallPart = r.lines.indexOf("part small csv");
        const int postPart = r.lines.indexOf("part post");
        QCOMPARE(Child::Report(r.lines.mid(0, csvPart)).infos(), QStringList({LogFailed, LogFailed}));
        QCOMPARE(Child::Report(r.lines.mid(csvPart, smallPart - csvPart)).infos(),
            QStringList({LogFailed, LogFailed, DbFailed}));
        QCOMPARE(Child::Report(r.lines.mid(smallPart, postPart - smallPart)).infos(),
            QStringList({LogFailed, LogFailed, DbFailed}));
        QCOMPARE(Child::Report(r.lines.mid(postPart)).infos(), QStringList({LogFailed, LogFailed, DbFailed}));
        QCOMPARE(r.lines.count("window ok"), 4);
        QVERIFY2(r.lines.contains("ledger same"), qPrintable(all));
        QVERIFY2(r.lines.contains("log same"), qPrintable(all));
        QVERIFY2(r.lines.contains("csv same"), qPrintable(all));
        QVERIFY2(r.lines.contains("small csv same"), qPrintable(all));
        QVERIFY2(r.lines.contains("entries same"), qPrintable(all));
    }
};

RELIABILITY_MAIN(TestFaults, childMain)
#include "tst_faults.moc"
