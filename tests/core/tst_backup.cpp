// SPDX-License-Identifier: GPL-3.0-or-later
#include "../reliability/Unprivileged.h"
#include "Backup.h"
#include "FileTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sys/stat.h>
#include <thread>

Q_DECLARE_METATYPE(Backup::CopyOutcome)
Q_DECLARE_METATYPE(Backup::Writers)

namespace {

const QDateTime At = QDateTime(QDate(2003, 9, 17), QTime(9, 5, 7));

void addPostings(const TempAppDir &dir, int count, int from = 0)
{
    dir.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT %1 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
                            "INSERT INTO N SELECT '給料', '銀行', i, 20030101 + (i % 28), 'メモ' || i FROM n")
                 .arg(from + 1)
                 .arg(from + count));
}

QStringList entryNames(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

mode_t modeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

QStringList backupNames(const TempAppDir &dir)
{
    QStringList out;
    for (const Backup::Entry &e : Backup::list(dir.dbPath()))
        out << QFileInfo(e.path).fileName();
    return out;
}

// Overwrites a run of bytes in the middle of a file, as a failing disk would.
void damage(const QString &path, qint64 at)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    f.write(QByteArray(4096, '\x5a'));
}

// A write transaction caught part-way, as a killed program leaves it: the ledger file with
// some of the transaction's pages already in it, and its hot journal.
void leaveHotJournal(const TempAppDir &dir)
{
    const QString name = QStringLiteral("hot");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(dir.dbPath());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA cache_size = 1")); // pages spill into the file before commit
        QVERIFY(q.exec("BEGIN"));
        QVERIFY(q.exec("UPDATE N SET N_memo = N_memo || 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'"));
        // What the disk holds at this moment is what a kill would leave.
        const QByteArray file = fileBytes(dir.dbPath());
        const QByteArray journal = fileBytes(dir.dbPath() + "-journal");
        QVERIFY(!journal.isEmpty());
        QVERIFY(q.exec("ROLLBACK"));
        q = QSqlQuery();
        db.close();
        writeBytes(dir.dbPath(), file);
        writeBytes(dir.dbPath() + "-journal", journal);
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    void aBackupIsAVerifiedCopyKeepingRowIdsAndIsTakenOnlyAfterAChange()
    {
        TempAppDir dir;
        addPostings(dir, 200);
        dir.exec("DELETE FROM N WHERE N_money % 3 = 0"); // gaps in the row ids
        const QByteArray ledger = fileBytes(dir.dbPath());

        const Backup::Result r = Backup::take(dir.dbPath(), At);
        QCOMPARE(r.outcome, Backup::Outcome::Taken);
        QCOMPARE(QFileInfo(r.path).fileName(), QStringLiteral("velmo-20030917-090507.mdb"));
        QCOMPARE(QFileInfo(r.path).absolutePath(), QDir(dir.path()).filePath("backup"));
        QCOMPARE(ledgerDump(r.path), ledgerDump(dir.dbPath()));
        QCOMPARE(fileBytes(dir.dbPath()), ledger); // the ledger is only read
        QVERIFY(Backup::verify(r.path));

        QCOMPARE(Backup::take(dir.dbPath(), At.addSecs(60)).outcome, Backup::Outcome::Unchanged);
        dir.exec("UPDATE Hokan_T SET H_money = 1"); // no rows: still a commit of the file
        addPostings(dir, 1, 1000);
        // The same second again: the new backup takes the next one, the first is kept.
        QCOMPARE(Backup::take(dir.dbPath(), At).outcome, Backup::Outcome::Taken);
        QCOMPARE(backupNames(dir), QStringList({"velmo-20030917-090508.mdb", "velmo-20030917-090507.mdb"}));
        // Without the record of the last backup, the ledger counts as changed.
        QVERIFY(QFile::remove(QDir(Backup::folder(dir.dbPath())).filePath("velmo.state")));
        QVERIFY(Backup::changedSinceBackup(dir.dbPath()));
        QCOMPARE(Backup::take(dir.dbPath(), At, true).outcome, Backup::Outcome::Taken);
        QVERIFY(!Backup::changedSinceBackup(dir.dbPath()));
    }

    void noLedgerNoBackupAndNoFolder()
    {
        TempAppDir dir(false);
        QCOMPARE(Backup::take(dir.dbPath(), At).outcome, Backup::Outcome::NoLedger);
        QVERIFY(!QFileInfo::exists(Backup::folder(dir.dbPath())));
    }

    // Two simulated years of one session a day: every day's backup is added, then rotated.
    void rotationOverTwoYearsOfDailySessions()
    {
        QList<QDateTime> kept;
        const QDateTime first(QDate(2025, 1, 1), QTime(21, 30, 0));
        QDateTime now = first;
        for (int day = 0; day < 730; ++day) {
            now = first.addDays(day);
            const QDateTime previousNewest = kept.isEmpty() ? QDateTime() : kept.first();
            kept.prepend(now);
            kept = Backup::kept(kept, now);
            QCOMPARE(kept.first(), now);
            if (previousNewest.isValid())
                QCOMPARE(kept.at(1), previousNewest);
            QVERIFY(kept.size() <= 10 + 12 + 3);
        }
        QCOMPARE(now.date(), QDate(2026, 12, 31));
        QStringList days;
        for (const QDateTime &t : kept)
            days << t.date().toString("yyyyMMdd");
        QStringList expected;
        for (int d = 31; d >= 22; --d) // the 10 newest
            expected << QStringLiteral("202612%1").arg(d);
        for (const char *monthEnd : {"20261130", "20261031", "20260930", "20260831", "20260731", "20260630",
                 "20260531", "20260430", "20260331", "20260228", "20260131"})
            expected << monthEnd;
        expected << "20251231"; // the year before the last 12 months
        QCOMPARE(days, expected);

        // A third year later, 2025 and 2026 each keep their newest. The months are those that
        // hold backups, not the calendar's: a long pause (or a clock set ahead) turns no
        // monthly backup into a yearly one at once, only the sessions after it do.
        QList<QDateTime> later = kept;
        later.prepend(QDateTime(QDate(2028, 3, 1), QTime(8, 0, 0)));
        const QList<QDateTime> after = Backup::kept(later, later.first());
        QVERIFY(after.contains(QDateTime(QDate(2025, 12, 31), QTime(21, 30, 0))));
        QVERIFY(after.contains(QDateTime(QDate(2026, 12, 31), QTime(21, 30, 0))));
        QVERIFY(after.contains(QDateTime(QDate(2026, 11, 30), QTime(21, 30, 0))));
        QList<QDateTime> monthly = after;
        for (int m = 1; m <= 11; ++m)
            monthly.prepend(QDateTime(QDate(2028, 3, 1).addMonths(m), QTime(8, 0, 0)));
        const QList<QDateTime> year = Backup::kept(monthly, monthly.first());
        QVERIFY(!year.contains(QDateTime(QDate(2026, 11, 30), QTime(21, 30, 0))));
        QVERIFY(year.contains(QDateTime(QDate(2026, 12, 31), QTime(21, 30, 0))));
    }

    // Two years of daily backups, then one session with the clock wrong: a dead battery
    // (2000-01-01) or a clock set far ahead. Each backup the rotation then keeps, by its date.
    void rotationWithTheClockWrong_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("keptOfTheTwoYears");
        const QDateTime behind(QDate(2000, 1, 1), QTime(0, 0, 5));
        // Behind: every backup is dated after now and stays; the sessions at the wrong time
        // rotate only among themselves.
        QTest::newRow("behind") << behind << 22;
        // Ahead: the newest of each month from February to December 2026 (the wrong month takes
        // the twelfth place), January's as 2026's yearly one, and 2025's.
        QTest::newRow("ahead") << QDateTime(QDate(2099, 6, 1), QTime(12, 0, 0)) << 11 + 1 + 1;
        // Corrected after a session in 2099: that backup is dated after now and stays, and the
        // months stay those that hold backups.
        QTest::newRow("corrected") << QDateTime(QDate(2027, 1, 1), QTime(20, 0, 0)) << 11 + 1 + 1;
    }
    void rotationWithTheClockWrong()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, keptOfTheTwoYears);
        QList<QDateTime> times;
        const QDateTime first(QDate(2025, 1, 1), QTime(21, 30, 0));
        for (int day = 0; day < 730; ++day) {
            times.prepend(first.addDays(day));
            times = Backup::kept(times, first.addDays(day));
        }
        const QList<QDateTime> twoYears = times;
        QCOMPARE(twoYears.size(), 22);
        if (QTest::currentDataTag() == QByteArray("corrected"))
            times.prepend(QDateTime(QDate(2099, 6, 1), QTime(12, 0, 0)));
        QList<QDateTime> wrong;
        for (int session = 0; session < 15; ++session) {
            wrong.prepend(now.addSecs(session * 60));
            times.prepend(wrong.first());
            times = Backup::kept(times, wrong.first());
        }
        int left = 0;
        for (const QDateTime &t : twoYears)
            left += times.contains(t) ? 1 : 0;
        QCOMPARE(left, keptOfTheTwoYears);
        QVERIFY(times.contains(QDateTime(QDate(2026, 12, 31), QTime(21, 30, 0))));
        QVERIFY(times.contains(QDateTime(QDate(2026, 6, 30), QTime(21, 30, 0))));
        if (QTest::currentDataTag() == QByteArray("corrected"))
            QVERIFY(times.contains(QDateTime(QDate(2099, 6, 1), QTime(12, 0, 0))));
        // The sessions at the wrong time keep their own 10 newest.
        for (int i = 0; i < 10; ++i)
            QVERIFY(times.contains(wrong.at(i)));
    }

    void rotationDeletesOnlyBackupsItDoesNotKeep()
    {
        TempAppDir dir;
        const QString folder = Backup::folder(dir.dbPath());
        QVERIFY(QDir().mkpath(folder));
        for (int i = 0; i < 40; ++i)
            writeBytes(QDir(folder).filePath(Backup::fileName(At.addDays(-i * 7))), "x");
        writeBytes(QDir(folder).filePath("velmo-mine.mdb"), "y");
        writeBytes(QDir(folder).filePath("notes.txt"), "z");
        const Backup::Result r = Backup::take(dir.dbPath(), At.addDays(1));
        QCOMPARE(r.outcome, Backup::Outcome::Taken);
        QList<QDateTime> all {At.addDays(1)};
        for (int i = 0; i < 40; ++i)
            all << At.addDays(-i * 7);
        QStringList expected;
        for (const QDateTime &t : Backup::kept(all, At.addDays(1)))
            expected << Backup::fileName(t);
        QCOMPARE(backupNames(dir), expected);
        QVERIFY(QFileInfo::exists(QDir(folder).filePath("velmo-mine.mdb")));
        QVERIFY(QFileInfo::exists(QDir(folder).filePath("notes.txt")));
    }

    // Another connection commits batches of 500 rows while the backup runs: the backup holds a
    // whole number of batches, and every commit went through.
    void aBackupTakenWhileAnotherConnectionCommitsHoldsOneStateWhole()
    {
        TempAppDir dir;
        addPostings(dir, 50'000);
        std::atomic<bool> done {false};
        Backup::Result r;
        std::thread worker([&] {
            r = Backup::take(dir.dbPath(), At, true);
            done = true;
        });
        int batches = 0;
        int waits = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "writer");
            db.setDatabaseName(dir.dbPath());
            db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
            QVERIFY(db.open());
            QSqlQuery q(db);
            while (!done || batches == 0) {
                QVERIFY(q.exec("BEGIN IMMEDIATE"));
                QVERIFY(
                    q.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                          "WHERE i < 500) INSERT INTO S SELECT '食費', '財布', i, 20030917, "
                                          "'' FROM n")));
                // The commit waits for the backup's read lock to go, however long the copy takes
                // on a loaded machine: a busy engine is asked again, anything else fails.
                while (!q.exec("COMMIT")) {
                    QVERIFY2(q.lastError().nativeErrorCode() == u"5", qPrintable(q.lastError().text()));
                    ++waits;
                }
                ++batches;
            }
            q = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase("writer");
        worker.join();
        qInfo("%d batches committed during the backup, %d commits waited for it %s", batches, waits,
            qPrintable(r.error));
        QCOMPARE(r.outcome, Backup::Outcome::Taken);
        QCOMPARE(dir.scalar("SELECT COUNT(*) FROM S").toInt(), batches * 500);
        QSqlDatabase b = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "copy");
        b.setDatabaseName(r.path);
        QVERIFY(b.open());
        QSqlQuery q(b);
        QVERIFY(q.exec("SELECT COUNT(*) FROM S") && q.next());
        QCOMPARE(q.value(0).toInt() % 500, 0);
        QVERIFY(q.exec("SELECT COUNT(*) FROM N") && q.next());
        QCOMPARE(q.value(0).toInt(), 50'000);
        q = QSqlQuery();
        b.close();
        b = QSqlDatabase();
        QSqlDatabase::removeDatabase("copy");
    }

    void aBackupThatCannotBeMadeLeavesNothingAndTheLedgerAsItWas_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<Backup::Writers>("writers");
        for (const auto writers : {Backup::Writers::Expected, Backup::Writers::Done}) {
            const char *when = writers == Backup::Writers::Done ? ", at the exit" : "";
            QTest::addRow("full disk%s", when) << "full" << writers;
            QTest::addRow("no folder%s", when) << "folder" << writers;
            QTest::addRow("locked ledger%s", when) << "locked" << writers;
            QTest::addRow("damaged ledger%s", when) << "damaged" << writers;
            QTest::addRow("damaged ledger in write-ahead mode%s", when) << "damaged wal" << writers;
        }
    }
    void aBackupThatCannotBeMadeLeavesNothingAndTheLedgerAsItWas()
    {
        QFETCH(QString, fault);
        QFETCH(Backup::Writers, writers);
        TempAppDir dir;
        addPostings(dir, 20'000);
        const QString folder = Backup::folder(dir.dbPath());
        if (fault == "folder")
            writeBytes(folder, "a file where the folder would be");
        if (fault == "damaged wal")
            dir.exec("PRAGMA journal_mode = WAL");
        if (fault.startsWith("damaged"))
            damage(dir.dbPath(), QFileInfo(dir.dbPath()).size() / 2);
        const QByteArray ledger = fileBytes(dir.dbPath());
        QSqlDatabase holder;
        if (fault == "locked") {
            holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "holder");
            holder.setDatabaseName(dir.dbPath());
            QVERIFY(holder.open());
            QVERIFY(QSqlQuery(holder).exec("BEGIN EXCLUSIVE"));
            QVERIFY(QSqlQuery(holder).exec("DELETE FROM N WHERE N_money < 10"));
        }
        Backup::Result r;
        if (fault == "full") {
            const FileSizeLimit limit(QFileInfo(dir.dbPath()).size() / 2);
            r = Backup::take(dir.dbPath(), At, false, Backup::Check::Quick, writers);
        } else {
            r = Backup::take(dir.dbPath(), At, false, Backup::Check::Quick, writers);
        }
        if (holder.isValid()) {
            QSqlQuery(holder).exec("ROLLBACK");
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase("holder");
        }
        QCOMPARE(r.outcome, Backup::Outcome::Failed);
        QVERIFY(!r.error.isEmpty());
        // Only a damaged ledger is reported as the cause: a full disk or a lock is not damage.
        QCOMPARE(r.ledgerDamaged, fault.startsWith("damaged"));
        QCOMPARE(fileBytes(dir.dbPath()), ledger);
        QVERIFY(Backup::list(dir.dbPath()).isEmpty());
        if (fault != "folder")
            QCOMPARE(entryNames(folder), QStringList());
    }

    void restoreRoundTripAndTheRestoreCanBeUndone()
    {
        TempAppDir dir;
        addPostings(dir, 300);
        dir.exec("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('銀行', 5000, '本人', '')");
        const Backup::Result a = Backup::take(dir.dbPath(), At);
        const QStringList stateA = ledgerDump(dir.dbPath());
        dir.exec("DELETE FROM N WHERE N_money > 100");
        dir.exec("UPDATE Hokan_T SET H_money = 1");
        const QStringList stateB = ledgerDump(dir.dbPath());

        const auto rights = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(dir.dbPath(), rights));
        const auto before = QFile::permissions(dir.dbPath());
        QCOMPARE(Backup::restore(dir.dbPath(), a.path, At.addSecs(3600)), Backup::RestoreOutcome::Restored);
        QCOMPARE(ledgerDump(dir.dbPath()), stateA);
        QCOMPARE(QFile::permissions(dir.dbPath()), before); // the replaced ledger's access rights
        QCOMPARE(ledgerDump(a.path), stateA);
        const QList<Backup::Entry> all = Backup::list(dir.dbPath());
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.first().created, At.addSecs(3600));
        QCOMPARE(ledgerDump(all.first().path), stateB);
        QCOMPARE(entryNames(dir.path()), QStringList({"AP.log", "velmo.mdb", "yazirusi.gif"}));

        QCOMPARE(Backup::restore(dir.dbPath(), all.first().path, At.addSecs(7200)),
            Backup::RestoreOutcome::Restored);
        QCOMPARE(ledgerDump(dir.dbPath()), stateB);
    }

    void aDamagedBackupIsRefusedAndChangesNothing()
    {
        TempAppDir dir;
        addPostings(dir, 20'000);
        const Backup::Result r = Backup::take(dir.dbPath(), At);
        dir.exec("DELETE FROM N WHERE N_money < 100");
        damage(r.path, QFileInfo(r.path).size() / 2);
        const QByteArray ledger = fileBytes(dir.dbPath());
        QVERIFY(!Backup::verify(r.path));
        QCOMPARE(Backup::restore(dir.dbPath(), r.path, At.addSecs(60)), Backup::RestoreOutcome::BadBackup);
        QCOMPARE(fileBytes(dir.dbPath()), ledger);
        QCOMPARE(Backup::list(dir.dbPath()).size(), 1);
        QVERIFY(!Backup::newestGood(dir.dbPath()));

        writeBytes(r.path, "not a database at all");
        QVERIFY(!Backup::summarize(r.path));
    }

    // The old ledger's interrupted action is rolled back into it, never into the restored one.
    void aHotJournalIsSettledBeforeTheLedgerIsReplaced()
    {
        TempAppDir dir;
        addPostings(dir, 3000);
        const Backup::Result a = Backup::take(dir.dbPath(), At);
        dir.exec("DELETE FROM N WHERE N_money > 2000");
        const QStringList committed = ledgerDump(dir.dbPath());
        leaveHotJournal(dir);
        QVERIFY(QFileInfo(dir.dbPath() + "-journal").size() > 0);

        QCOMPARE(Backup::restore(dir.dbPath(), a.path, At.addSecs(60)), Backup::RestoreOutcome::Restored);
        QVERIFY(QFileInfo(dir.dbPath() + "-journal").size() == 0);
        QCOMPARE(ledgerDump(dir.dbPath()), ledgerDump(a.path));
        QCOMPARE(ledgerDump(Backup::list(dir.dbPath()).first().path), committed);
    }

    // A backup and its summary carry the ledger's access rights, never more: a private ledger
    // has private backups.
    void aBackupHasTheLedgersRights_data()
    {
        QTest::addColumn<int>("ledger");
        QTest::addColumn<int>("backup");
        QTest::newRow("private") << 0600 << 0600;
        QTest::newRow("group") << 0640 << 0640;
        QTest::newRow("everyone") << 0644 << 0644;
        QTest::newRow("read-only") << 0444 << 0444;
        QTest::newRow("owner cannot read") << 0200 << 0600;
    }
    void aBackupHasTheLedgersRights()
    {
        QFETCH(int, ledger);
        QFETCH(int, backup);
        TempAppDir dir;
        addPostings(dir, 10);
        QVERIFY(::chmod(QFile::encodeName(dir.dbPath()).constData(), mode_t(ledger)) == 0);
        // Only root reads a ledger its owner may not read: anyone else takes no backup and
        // leaves no file behind (as root, checked in a child that gave up root).
        if (!(ledger & 0400)) {
            openToAll(dir.path());
            chownToNobody(dir.path());
            chownToNobody(dir.dbPath());
            const std::optional<int> refused = forkUnprivileged([&] {
                const Backup::Result r = Backup::take(dir.dbPath(), At);
                return r.outcome == Backup::Outcome::Failed && Backup::list(dir.dbPath()).isEmpty() ? 0 : 1;
            });
            if (refused)
                QCOMPARE(*refused, 0);
            else
                qWarning("no child can give up root here: the owner's refused backup is not checked");
            QVERIFY(Backup::list(dir.dbPath()).isEmpty());
            if (geteuid() != 0)
                return;
        }
        const Backup::Result r = Backup::take(dir.dbPath(), At);
        QCOMPARE(r.outcome, Backup::Outcome::Taken);
        QCOMPARE(int(modeOf(r.path)), backup);
        QString summary = r.path;
        summary.replace(".mdb", ".summary");
        QCOMPARE(int(modeOf(summary)), backup);
    }

    // What the restore list shows comes from the summary written with the backup, and agrees
    // with the backup itself; a summary that belongs to another file is not believed.
    void theSummaryIsRecordedWithTheBackupAndRemovedWithIt()
    {
        TempAppDir dir;
        addPostings(dir, 300);
        dir.exec("INSERT INTO S VALUES ('食費', '財布', 5, 20030910, '')");
        dir.exec("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('銀行', 5000, '', ''), "
                 "('財布', -700, '', '')");
        const Backup::Result a = Backup::take(dir.dbPath(), At);
        QString summary = a.path;
        summary.replace(".mdb", ".summary");
        QVERIFY(QFileInfo::exists(summary));
        const auto recorded = Backup::recordedSummary(a.path);
        QVERIFY(recorded);
        QCOMPARE(recorded->incomes, 300);
        QCOMPARE(recorded->expenses, 1);
        QCOMPARE(recorded->balance, 4300);

        // Another ledger's backup copied over this one: its own contents count.
        TempAppDir other;
        addPostings(other, 7);
        QVERIFY(QFile::remove(a.path));
        QVERIFY(QFile::copy(Backup::take(other.dbPath(), At).path, a.path));
        QCOMPARE(Backup::recordedSummary(a.path)->incomes, 7);
        // A backup without a summary (made by an earlier version) is counted once, then recorded.
        QVERIFY(QFile::remove(summary));
        QCOMPARE(Backup::recordedSummary(a.path)->incomes, 7);
        QVERIFY(QFileInfo::exists(summary));
        writeBytes(a.path, "not a backup");
        QVERIFY(!Backup::recordedSummary(a.path));

        // The rotation deletes a backup's summary with it.
        const QString folder = Backup::folder(dir.dbPath());
        for (int i = 1; i <= 12; ++i) {
            addPostings(dir, 1, 1000 + i);
            Backup::take(dir.dbPath(), At.addSecs(i));
        }
        QVERIFY(!QFileInfo::exists(a.path));
        QVERIFY(!QFileInfo::exists(summary));
        QCOMPARE(QDir(folder).entryList({"*.summary"}).size(), Backup::list(dir.dbPath()).size());
    }

    // The start's backup checks fully once a week: a new copy when the ledger changed, else
    // the newest backup, which is replaced when it fails.
    void theFullCheckRunsWeeklyAtStart_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("newestDamaged");
        QTest::newRow("changed") << true << false;
        QTest::newRow("unchanged") << false << false;
        QTest::newRow("unchanged, newest damaged") << false << true;
    }
    void theFullCheckRunsWeeklyAtStart()
    {
        QFETCH(bool, changed);
        QFETCH(bool, newestDamaged);
        TempAppDir dir;
        addPostings(dir, 20'000);
        QVERIFY(Backup::fullCheckDue(dir.dbPath(), At));
        QCOMPARE(Backup::takeAtStart(dir.dbPath(), At).outcome, Backup::Outcome::Taken);
        QVERIFY(!Backup::fullCheckDue(dir.dbPath(), At.addDays(6)));
        QVERIFY(Backup::fullCheckDue(dir.dbPath(), At.addDays(7)));
        QVERIFY(Backup::fullCheckDue(dir.dbPath(), At.addDays(-7))); // a clock set back

        if (changed)
            addPostings(dir, 1, 50'000);
        const QString newest = Backup::list(dir.dbPath()).first().path;
        if (newestDamaged)
            damage(newest, QFileInfo(newest).size() / 2);
        const Backup::Result r = Backup::takeAtStart(dir.dbPath(), At.addDays(8));
        QCOMPARE(r.outcome, changed || newestDamaged ? Backup::Outcome::Taken : Backup::Outcome::Unchanged);
        QCOMPARE(Backup::list(dir.dbPath()).size(), changed || newestDamaged ? 2 : 1);
        QVERIFY(!Backup::fullCheckDue(dir.dbPath(), At.addDays(8)));
        if (r.outcome == Backup::Outcome::Taken)
            QCOMPARE(ledgerDump(r.path), ledgerDump(dir.dbPath()));
    }

    // A ledger that is a symbolic link stays one: the file it points to gets the backup.
    void aRestoreReplacesTheFileALinkPointsTo_data()
    {
        QTest::addColumn<bool>("overDamaged");
        QTest::newRow("restore") << false;
        QTest::newRow("over a damaged ledger") << true;
    }
    void aRestoreReplacesTheFileALinkPointsTo()
    {
        QFETCH(bool, overDamaged);
        TempAppDir dir;
        addPostings(dir, 300);
        const Backup::Result a = Backup::take(dir.dbPath(), At);
        const QStringList stateA = ledgerDump(dir.dbPath());
        QVERIFY(QDir(dir.path()).mkdir("real"));
        const QString real = QDir(dir.path()).filePath("real/ledger.mdb");
        QVERIFY(QFile::rename(dir.dbPath(), real));
        QVERIFY(QFile::link(real, dir.dbPath()));
        dir.exec("DELETE FROM N WHERE N_money > 100");
        if (overDamaged)
            writeBytes(real, "damaged");

        const auto outcome = overDamaged ? Backup::restoreOverDamaged(dir.dbPath(), a.path, At.addSecs(60))
                                         : Backup::restore(dir.dbPath(), a.path, At.addSecs(60));
        QCOMPARE(outcome, Backup::RestoreOutcome::Restored);
        QVERIFY(QFileInfo(dir.dbPath()).isSymLink());
        QCOMPARE(ledgerDump(real), stateA);
        QCOMPARE(QDir(dir.path()).entryList({"velmo.mdb*"}, QDir::AllEntries | QDir::System),
            QStringList {"velmo.mdb"});
        if (overDamaged)
            QCOMPARE(fileBytes(real + ".damaged-20030917-090607"), QByteArray("damaged"));
        else
            QCOMPARE(Backup::list(dir.dbPath()).size(), 2);
    }

    // Damage the start's quick look misses shows when the ledger is copied: the restore names
    // it, and a restore over the damaged ledger keeps it aside.
    void aLedgerDamagedInsideIsNamedAsTheCause()
    {
        TempAppDir dir;
        addPostings(dir, 20'000);
        const Backup::Result a = Backup::take(dir.dbPath(), At);
        addPostings(dir, 10, 30'000);
        damage(dir.dbPath(), QFileInfo(dir.dbPath()).size() / 2);
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Sound);
        const QByteArray damaged = fileBytes(dir.dbPath());
        QCOMPARE(
            Backup::restore(dir.dbPath(), a.path, At.addSecs(60)), Backup::RestoreOutcome::LedgerDamaged);
        QCOMPARE(fileBytes(dir.dbPath()), damaged);
        QCOMPARE(Backup::list(dir.dbPath()).size(), 1);
        QCOMPARE(Backup::restoreOverDamaged(dir.dbPath(), a.path, At.addSecs(60)),
            Backup::RestoreOutcome::Restored);
        QCOMPARE(ledgerDump(dir.dbPath()), ledgerDump(a.path));
        QCOMPARE(fileBytes(dir.dbPath() + ".damaged-20030917-090607"), damaged);
    }

    // Every backup also goes to the second folder, byte for byte with its summary, and that
    // folder is rotated by the same rule; a backup missing there (the folder was away when it
    // was taken) follows at the next backup, even when the ledger is unchanged.
    void theSecondFolderGetsEveryBackupRotatedByTheSameRule()
    {
        TempAppDir dir;
        QTemporaryDir away;
        addPostings(dir, 2'000);
        QVERIFY(Backup::setSecondFolder(dir.dbPath(), away.path()));
        QCOMPARE(Backup::secondFolder(dir.dbPath()), away.path());
        for (int i = 0; i < 40; ++i)
            writeBytes(QDir(away.path()).filePath(Backup::fileName(At.addDays(-i * 7))), "x");
        writeBytes(QDir(away.path()).filePath("notes.txt"), "z");

        const Backup::Result r = Backup::take(dir.dbPath(), At.addDays(1));
        QCOMPARE(r.outcome, Backup::Outcome::Taken);
        QCOMPARE(r.second.outcome, Backup::CopyOutcome::Copied);
        QCOMPARE(r.second.path, QDir(away.path()).filePath(QFileInfo(r.path).fileName()));
        QCOMPARE(fileBytes(r.second.path), fileBytes(r.path));
        QString summary = r.path;
        summary.replace(".mdb", ".summary");
        QCOMPARE(fileBytes(QDir(away.path()).filePath(QFileInfo(summary).fileName())), fileBytes(summary));
        QList<QDateTime> all {At.addDays(1)};
        for (int i = 0; i < 40; ++i)
            all << At.addDays(-i * 7);
        QList<QDateTime> there;
        for (const Backup::Entry &e : Backup::listFolder(away.path()))
            there << e.created;
        QCOMPARE(there, Backup::kept(all, At.addDays(1)));
        QVERIFY(QFileInfo::exists(QDir(away.path()).filePath("notes.txt")));

        // Away for the next backup; back for a run that changed nothing.
        QVERIFY(Backup::setSecondFolder(dir.dbPath(), away.path() + "/unplugged"));
        addPostings(dir, 10, 5'000);
        const Backup::Result missed = Backup::take(dir.dbPath(), At.addDays(2));
        QCOMPARE(missed.second.outcome, Backup::CopyOutcome::Missing);
        QVERIFY(!QFileInfo::exists(away.path() + "/unplugged"));
        QVERIFY(Backup::setSecondFolder(dir.dbPath(), away.path()));
        const Backup::Result later = Backup::take(dir.dbPath(), At.addDays(3));
        QCOMPARE(later.outcome, Backup::Outcome::Unchanged);
        QCOMPARE(later.second.outcome, Backup::CopyOutcome::Copied);
        QCOMPARE(fileBytes(later.second.path), fileBytes(missed.path));
        QCOMPARE(Backup::take(dir.dbPath(), At.addDays(4)).second.outcome, Backup::CopyOutcome::None);
        QVERIFY(Backup::setSecondFolder(dir.dbPath(), QString()));
        QVERIFY(Backup::secondFolder(dir.dbPath()).isEmpty());
    }

    // A second folder that is missing, read-only or full: the local backup is taken and left
    // whole, the folder is told apart, and nothing is left there under a backup's name.
    void aSecondFolderThatCannotTakeTheCopyLeavesTheLocalBackupWhole_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<Backup::CopyOutcome>("outcome");
        QTest::newRow("missing") << "missing" << Backup::CopyOutcome::Missing;
        QTest::newRow("a file in its place") << "file" << Backup::CopyOutcome::Failed;
        QTest::newRow("read-only") << "read-only" << Backup::CopyOutcome::ReadOnly;
        QTest::newRow("read-only file system") << "erofs" << Backup::CopyOutcome::ReadOnly;
        QTest::newRow("full") << "full" << Backup::CopyOutcome::Full;
        QTest::newRow("quota") << "quota" << Backup::CopyOutcome::Full;
        QTest::newRow("a byte written wrong") << "wrong byte" << Backup::CopyOutcome::Failed;
    }
    void aSecondFolderThatCannotTakeTheCopyLeavesTheLocalBackupWhole()
    {
        QFETCH(QString, fault);
        QFETCH(Backup::CopyOutcome, outcome);
        TempAppDir dir;
        QTemporaryDir away;
        addPostings(dir, 2'000);
        QString second = away.path();
        if (fault == "missing")
            second += "/usb";
        if (fault == "file") {
            second += "/usb";
            writeBytes(second, "a file where the folder would be");
        }
        QVERIFY(Backup::setSecondFolder(dir.dbPath(), second));
        const qint64 size = QFileInfo(dir.dbPath()).size();
        if (fault == "read-only")
            Backup::setCopyFault({EACCES, -1});
        if (fault == "erofs")
            Backup::setCopyFault({EROFS, -1});
        if (fault == "full")
            Backup::setCopyFault({0, size / 2});
        if (fault == "quota")
            Backup::setCopyFault({EDQUOT, -1});
        if (fault == "wrong byte")
            Backup::setCopyFault({0, -1, size / 3});
        // At the exit, as the program takes it: the copy there is compared with the local one.
        const Backup::Result r
            = Backup::take(dir.dbPath(), At, false, Backup::Check::Quick, Backup::Writers::Done);
        Backup::setCopyFault({});
        QCOMPARE(r.outcome, Backup::Outcome::Taken);
        QCOMPARE(r.second.outcome, outcome);
        QCOMPARE(r.second.folder, second);
        QVERIFY(!r.second.error.isEmpty());
        QVERIFY(Backup::verify(r.path));
        QCOMPARE(backupNames(dir), QStringList {QFileInfo(r.path).fileName()});
        QCOMPARE(ledgerDump(r.path), ledgerDump(dir.dbPath()));
        QCOMPARE(entryNames(away.path()), fault == "file" ? QStringList {"usb"} : QStringList());
        // The next backup is copied once the folder takes it again.
        if (fault != "missing" && fault != "file") {
            const Backup::Result next = Backup::take(dir.dbPath(), At.addDays(1));
            QCOMPARE(next.second.outcome, Backup::CopyOutcome::Copied);
            QCOMPARE(fileBytes(next.second.path), fileBytes(r.path));
        }
    }

    void theStartCheckTellsSoundDamagedAndMissing()
    {
        TempAppDir dir;
        addPostings(dir, 20'000);
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Sound);
        const QByteArray good = fileBytes(dir.dbPath());

        leaveHotJournal(dir);
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Sound);

        writeBytes(dir.dbPath(), good.left(good.size() / 2));
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Damaged);
        writeBytes(dir.dbPath(), QByteArray());
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Damaged);
        writeBytes(dir.dbPath(), QByteArray(8192, 'r'));
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Damaged);
        QByteArray header = good;
        header.replace(0, 16, "SQLite format 2");
        writeBytes(dir.dbPath(), header);
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Damaged);
        QVERIFY(QFile::remove(dir.dbPath()));
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Missing);
        QVERIFY(QDir(dir.path()).mkdir("velmo.mdb"));
        QCOMPARE(Backup::checkLedger(dir.dbPath()), Backup::LedgerState::Unknown);
    }
};

QTEST_GUILESS_MAIN(TestBackup)
#include "tst_backup.moc"
