// SPDX-License-Identifier: GPL-3.0-or-later
#include "Backup.h"
#include "Cp932.h"
#include "Database.h"
#include "FileTestSupport.h"
#include "Grid.h"
#include "MainMenu.h"
#include "Migrations.h"
#include "RestoreWindow.h"
#include "SessionBackup.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QString Question
    = QStringLiteral("の状態に戻します　現在の台帳はバックアップしてから置き換えます　よろしいですか？");
const QString Unreadable = QStringLiteral("このバックアップは読めません　復元できません");

} // namespace

class TestRestore : public QObject
{
    Q_OBJECT

    struct Fixture
    {
        TempAppDir dir;
        ScriptedDialogs dialogs;
        FixedClock clock = clockAt(2003, 9, 17, 21, 0, 0);
        std::unique_ptr<RestoreWindow> window;

        // Three backups a day apart with 1, 2 and 3 income postings; the middle one unreadable.
        Fixture()
        {
            dir.exec("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('銀行', 1000, '', ''), "
                     "('財布', -300, '', '')");
            for (int day = 1; day <= 3; ++day) {
                dir.exec(QStringLiteral("INSERT INTO N VALUES ('給料', '銀行', %1, 2003091%1, '')").arg(day));
                dir.exec("INSERT INTO S VALUES ('食費', '財布', 5, 20030910, '')");
                dir.exec("UPDATE Hokan_T SET H_money = H_money + 1000 WHERE H_index = '銀行'");
                Backup::take(dir.dbPath(), QDateTime(QDate(2003, 9, 13 + day), QTime(8, 4, 3)));
            }
            writeBytes(QDir(Backup::folder(dir.dbPath())).filePath("velmo-20030915-080403.mdb"), "garbage");
        }
        RestoreWindow &open()
        {
            window = std::make_unique<RestoreWindow>(dir.context(dialogs, clock));
            window->show();
            window->load();
            return *window;
        }
        Grid *grid() const { return window->findChild<Grid *>("SP"); }
    };

private slots:
    void listsTheBackupsNewestFirstWithWhatTheyHold()
    {
        Fixture f;
        RestoreWindow &w = f.open();
        QCOMPARE(w.windowTitle(), QStringLiteral("バックアップから復元"));
        QCOMPARE(w.findChild<QPushButton *>("cmd_end")->text(), QStringLiteral("閉じる"));
        QCOMPARE(gridTexts(*f.grid()),
            QStringList({"作成日時|収入件数|支出件数|残高合計|復元", "2003/09/16 8:04:03|3|3|3700|",
                "2003/09/15 8:04:03|読めません|読めません|読めません|", "2003/09/14 8:04:03|1|1|1700|"}));
        QCOMPARE(f.grid()->cellKind(5, 1), Grid::Kind::Button);
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void anUnreadableBackupIsRefused()
    {
        Fixture f;
        f.open();
        const QByteArray ledger = fileBytes(f.dir.dbPath());
        f.grid()->clickButton(5, 2);
        QCOMPARE(f.dialogs.shown, QStringList {Unreadable});
        QCOMPARE(fileBytes(f.dir.dbPath()), ledger);
    }

    void restoringAsksThenBacksUpReplacesAndReloads()
    {
        Fixture f;
        f.open();
        f.dir.exec("DELETE FROM N");
        const QStringList current = ledgerDump(f.dir.dbPath());

        f.dialogs.answers = {false};
        f.grid()->clickButton(5, 3);
        QCOMPARE(f.dialogs.shown, QStringList {"2003/09/14 8:04:03" + Question});
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM N").toInt(), 0);
        QCOMPARE(f.grid()->maxRows(), 3);

        f.dialogs.clear();
        f.grid()->clickButton(5, 3);
        QCOMPARE(f.dialogs.shown, QStringList({"2003/09/14 8:04:03" + Question, "復元しました"}));
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM N").toInt(), 1);
        // The ledger as it was before the restore is the newest backup now.
        QCOMPARE(f.grid()->maxRows(), 4);
        QCOMPARE(f.grid()->text(1, 1), QStringLiteral("2003/09/17 21:00:00"));
        QCOMPARE(f.grid()->text(2, 1), QStringLiteral("0"));
        QCOMPARE(ledgerDump(Backup::list(f.dir.dbPath()).first().path), current);
    }

    void theMenuEntryLogsAndOpensTheWindowAsEveryTask()
    {
        Fixture f;
        MainMenu menu(f.dir.context(f.dialogs, f.clock));
        registerTasks(menu);
        menu.load();
        menu.show();
        auto *entry = menu.findChild<QAction *>("restore");
        QCOMPARE(entry->text(), QStringLiteral("バックアップから復元(&R)..."));
        // Above the separator before the end entry.
        const QList<QAction *> actions = menu.findChild<QMenu *>("file")->actions();
        QCOMPARE(actions.indexOf(entry) + 1, actions.indexOf(menu.findChild<QAction *>("se2")));
        entry->trigger();
        QVERIFY(menu.openTask());
        QCOMPARE(menu.openTask()->objectName(), QStringLiteral("F_restore"));
        QVERIFY(!menu.openTask()->isModal());
        QVERIFY(!menu.isEnabled());
        QVERIFY(Cp932::decode(fileBytes(f.dir.logPath())).contains(u",バックアップから復元\r\n"));
        menu.openTask()->findChild<QPushButton *>("cmd_end")->click();
        QVERIFY(menu.isEnabled());
    }

    void aDamagedOrMissingLedgerAtStartOffersTheNewestGoodBackup_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::addColumn<bool>("answer");
        QTest::newRow("damaged, yes") << false << true;
        QTest::newRow("damaged, no") << false << false;
        QTest::newRow("missing, yes") << true << true;
        QTest::newRow("missing, no") << true << false;
    }
    void aDamagedOrMissingLedgerAtStartOffersTheNewestGoodBackup()
    {
        QFETCH(bool, missing);
        QFETCH(bool, answer);
        Fixture f;
        const QString newest = Backup::list(f.dir.dbPath()).first().path;
        writeBytes(newest, "garbage too"); // the newest good one is the oldest
        const QStringList good = ledgerDump(Backup::list(f.dir.dbPath()).last().path);
        const QByteArray damaged("this is not a ledger any more");
        if (missing)
            QVERIFY(QFile::remove(f.dir.dbPath()));
        else
            writeBytes(f.dir.dbPath(), damaged);

        f.dialogs.answers = {answer};
        SessionBackup session(f.dir.context(f.dialogs, f.clock));
        QCOMPARE(
            session.checkLedger(), answer ? SessionBackup::Check::Restored : SessionBackup::Check::Declined);
        const QString problem = missing ? "がありません" : "が壊れています";
        QCOMPARE(f.dialogs.asked,
            QStringList {"台帳ファイル(velmo.mdb)" + problem
                + "　最新のバックアップ(2003/09/14 8:04:03)から復元しますか？"});
        const QString aside = f.dir.dbPath() + ".damaged-20030917-210000";
        if (answer) {
            QCOMPARE(f.dialogs.infos, QStringList {"復元しました"});
            QCOMPARE(ledgerDump(f.dir.dbPath()), good);
            QCOMPARE(fileBytes(aside), missing ? QByteArray() : damaged);
        } else {
            QVERIFY(f.dialogs.infos.isEmpty());
            QCOMPARE(QFileInfo::exists(f.dir.dbPath()), !missing);
            QVERIFY(!QFileInfo::exists(aside));
        }
    }

    void aSoundLedgerOrNoBackupAsksNothing()
    {
        Fixture f;
        SessionBackup sound(f.dir.context(f.dialogs, f.clock));
        QCOMPARE(sound.checkLedger(), SessionBackup::Check::Present);
        TempAppDir bare(false);
        SessionBackup none(bare.context(f.dialogs, f.clock));
        QCOMPARE(none.checkLedger(), SessionBackup::Check::NoBackup);
        QVERIFY(f.dialogs.shown.isEmpty());
        QVERIFY(!QFileInfo::exists(bare.dbPath()));
    }

    // The start's backup runs on its own thread (the ledger changed since the last backup: the
    // last run was killed); the end's is taken only when this run changed the ledger again.
    void aRunBacksUpAtStartAndAtTheEndOnlyAfterChanges()
    {
        Fixture f;
        f.dir.exec("DELETE FROM S");
        {
            SessionBackup session(f.dir.context(f.dialogs, f.clock));
            QSignalSpy finished(&session, &SessionBackup::backgroundFinished);
            session.startInBackground();
            QVERIFY(finished.wait(10000));
            QCOMPARE(Backup::list(f.dir.dbPath()).size(), 4);
            session.atExit();
            QCOMPARE(Backup::list(f.dir.dbPath()).size(), 4);
        }
        {
            f.clock.set(f.clock.now().addSecs(60));
            SessionBackup session(f.dir.context(f.dialogs, f.clock));
            session.startInBackground();
            f.dir.exec("DELETE FROM N"); // the run's own change, made while the start's check runs
            session.atExit();
            QCOMPARE(Backup::list(f.dir.dbPath()).size(), 5);
            QCOMPARE(ledgerDump(Backup::list(f.dir.dbPath()).first().path), ledgerDump(f.dir.dbPath()));
        }
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    // An older ledger gets the program's own tables at start, after a backup of it as it was;
    // when that backup fails the ledger stays as it is.
    void anOlderLedgerIsBackedUpBeforeItsTablesAreAdded_data()
    {
        QTest::addColumn<bool>("backupFails");
        QTest::newRow("backup taken") << false;
        QTest::newRow("backup fails") << true;
    }
    void anOlderLedgerIsBackedUpBeforeItsTablesAreAdded()
    {
        QFETCH(bool, backupFails);
        Fixture f;
        dropToVersionZero(f.dir);
        const QStringList before = ledgerDump(f.dir.dbPath());
        if (backupFails) {
            QVERIFY(QDir(Backup::folder(f.dir.dbPath())).removeRecursively());
            writeBytes(Backup::folder(f.dir.dbPath()), "a file where the folder would be");
        }
        SessionBackup session(f.dir.context(f.dialogs, f.clock));
        session.upgradeLedger();
        const int version = f.dir.scalar("PRAGMA user_version").toInt();
        if (backupFails) {
            QCOMPARE(f.dialogs.shown, QStringList {"バックアップを作成できませんでした"});
            QCOMPARE(version, 0);
        } else {
            QVERIFY(f.dialogs.shown.isEmpty());
            QVERIFY(version > 0);
            const QString newest = Backup::list(f.dir.dbPath()).first().path;
            QCOMPARE(ledgerDump(newest), before);
            Database backup(newest);
            QCOMPARE(Migrations::version(backup), 0);
        }
        QCOMPARE(ledgerDump(f.dir.dbPath()), before);
    }

    // A damaged ledger can be replaced from the window: the damage is seen before the question
    // (a file that is no ledger) or when the ledger's backup fails (a page damaged inside). The
    // damaged file is kept aside; a No changes nothing.
    void aDamagedLedgerIsReplacedFromTheWindow_data()
    {
        QTest::addColumn<bool>("inside");
        QTest::addColumn<bool>("answer");
        QTest::newRow("not a ledger, yes") << false << true;
        QTest::newRow("not a ledger, no") << false << false;
        QTest::newRow("damaged inside, yes") << true << true;
        QTest::newRow("damaged inside, no") << true << false;
    }
    void aDamagedLedgerIsReplacedFromTheWindow()
    {
        QFETCH(bool, inside);
        QFETCH(bool, answer);
        Fixture f;
        const QStringList oldest = ledgerDump(Backup::list(f.dir.dbPath()).last().path);
        if (inside) {
            f.dir.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                       "INSERT INTO S SELECT '食費', '財布', i, 20030917, 'メモ' || i FROM n");
            QFile file(f.dir.dbPath());
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2));
            file.write(QByteArray(4096, '\x5a'));
        } else {
            writeBytes(f.dir.dbPath(), "this is not a ledger any more");
        }
        const QByteArray damaged = fileBytes(f.dir.dbPath());
        f.open();
        f.dialogs.answers = inside ? std::deque<bool> {true, answer} : std::deque<bool> {answer};
        f.grid()->clickButton(5, 3);
        const QString replace = inside
            ? "台帳ファイル(velmo.mdb)が壊れているためバックアップできません　壊れた台帳を別名で残して"
              "2003/09/14 8:04:03の状態に置き換えますか？"
            : "台帳ファイル(velmo.mdb)が壊れています　2003/09/14 "
              "8:04:03の状態に置き換えます　よろしいですか？";
        QCOMPARE(f.dialogs.asked.last(), replace);
        QCOMPARE(f.dialogs.asked.size(), inside ? 2 : 1);
        const QString aside = f.dir.dbPath() + ".damaged-20030917-210000";
        if (answer) {
            QCOMPARE(f.dialogs.infos, QStringList {"復元しました"});
            QCOMPARE(ledgerDump(f.dir.dbPath()), oldest);
            QCOMPARE(fileBytes(aside), damaged);
        } else {
            QVERIFY(f.dialogs.infos.isEmpty());
            QCOMPARE(fileBytes(f.dir.dbPath()), damaged);
            QVERIFY(!QFileInfo::exists(aside));
        }
        QCOMPARE(Backup::list(f.dir.dbPath()).size(), 3); // the damaged ledger is never a backup
    }

    // The backup at the end names a damaged ledger as its cause and the window that mends it.
    void aDamagedLedgerIsNamedWhenItsBackupFails()
    {
        Fixture f;
        writeBytes(f.dir.dbPath(), QByteArray(8192, 'r'));
        SessionBackup session(f.dir.context(f.dialogs, f.clock));
        f.dialogs.answers = {false};
        QCOMPARE(session.checkLedger(), SessionBackup::Check::Declined);
        session.atExit();
        QCOMPARE(f.dialogs.infos,
            QStringList {"台帳ファイル(velmo.mdb)が壊れているためバックアップを作成できませんでした"
                         "　「バックアップから復元」で壊れる前の状態に戻してください"});
    }

    // A backup from before the program's own tables existed gets them as soon as it is put
    // back, after a backup of it as it was restored.
    void restoringAnOlderBackupAddsTheProgramsTables()
    {
        Fixture f;
        dropToVersionZero(f.dir);
        f.dir.exec("DELETE FROM S");
        const QString old = Backup::take(f.dir.dbPath(), f.clock.now().addSecs(-60)).path;
        const QStringList restored = ledgerDump(old);
        SessionBackup(f.dir.context(f.dialogs, f.clock)).upgradeLedger();
        QVERIFY(f.dir.scalar("PRAGMA user_version").toInt() > 0);
        f.dir.exec("DELETE FROM N");

        f.open();
        QCOMPARE(f.grid()->text(1, 1), QStringLiteral("2003/09/17 20:59:00"));
        f.grid()->clickButton(5, 1);
        QCOMPARE(f.dialogs.infos, QStringList {"復元しました"});
        QCOMPARE(ledgerDump(f.dir.dbPath()), restored);
        QCOMPARE(f.dir.scalar("PRAGMA user_version").toInt(), Migrations::latest());
        QCOMPARE(f.dir.scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'X_import_batch'").toInt(), 1);
        // The ledger replaced, then the restored one as it was before its tables were added.
        const QList<Backup::Entry> all = Backup::list(f.dir.dbPath());
        QCOMPARE(all.at(1).created, f.clock.now());
        QCOMPARE(all.at(0).created, f.clock.now().addSecs(1));
        QCOMPARE(ledgerDump(all.at(0).path), restored);
        Database newest(all.at(0).path);
        QCOMPARE(Migrations::version(newest), 0);
    }

    void aFailedBackupAtTheEndIsReportedOnce()
    {
        Fixture f;
        f.dir.exec("DELETE FROM S");
        QVERIFY(QDir(Backup::folder(f.dir.dbPath())).removeRecursively());
        writeBytes(Backup::folder(f.dir.dbPath()), "a file where the folder would be");
        SessionBackup session(f.dir.context(f.dialogs, f.clock));
        session.atExit();
        QCOMPARE(f.dialogs.shown, QStringList {"バックアップを作成できませんでした"});
    }

    // A ledger file chosen anywhere is checked before anything is replaced; each check that
    // fails is told and changes nothing. A good one (an older version too) is put in place as
    // a backup from the list is, the current ledger backed up first, then brought up to date.
    void restoringFromAFileChecksItFirst_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("no such file")
            << "missing"
            << "を台帳として開けません　台帳ファイルかそのバックアップ（.mdb）を選んで下さい";
        QTest::newRow("not a database")
            << "text"
            << "を台帳として開けません　台帳ファイルかそのバックアップ（.mdb）を選んで下さい";
        QTest::newRow("damaged") << "damaged"
                                 << "は壊れているため復元できません　ほかのバックアップを選んで下さい";
        QTest::newRow("another program's database")
            << "foreign"
            << "はヴェルモラの台帳ではないため復元できません　台帳ファイルかそのバックアップを選んで下さい";
        QTest::newRow("an empty database")
            << "empty"
            << "はヴェルモラの台帳ではないため復元できません　台帳ファイルかそのバックアップを選んで下さい";
        QTest::newRow("a newer version")
            << "newer"
            << "はこの版より新しいヴェルモラの台帳のため復元できません　新しい版のヴェルモラで開いて下さい";
        QTest::newRow("this version") << "current"
                                      << "";
        QTest::newRow("an older version") << "older"
                                          << "";
    }
    void restoringFromAFileChecksItFirst()
    {
        QFETCH(QString, file);
        QFETCH(QString, refusal);
        Fixture f;
        QTemporaryDir usb;
        const QString path = QDir(usb.path()).filePath("velmo.mdb");
        // A ledger of another computer: two postings of its own.
        {
            TempAppDir other;
            other.exec(
                "INSERT INTO N VALUES ('賞与', '銀行', 7, 20250101, ''), ('賞与', '銀行', 8, 20250102, '')");
            other.exec("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('銀行', 15, '', '')");
            if (file == "older")
                dropToVersionZero(other);
            if (file == "newer")
                other.exec(QStringLiteral("PRAGMA user_version = %1").arg(Migrations::latest() + 1));
            if (file == "foreign")
                other.exec("DROP TABLE Ktanaorosi_T");
            if (file != "missing")
                QVERIFY(QFile::copy(other.dbPath(), path));
        }
        if (file == "text")
            writeBytes(path, "日付,金額\n");
        if (file == "empty")
            writeBytes(path, QByteArray());
        if (file == "damaged") {
            QByteArray bytes = fileBytes(path);
            for (qint64 at = 4096; at + 100 < bytes.size(); at += 4096)
                bytes.replace(at + 20, 60, QByteArray(60, '\x5a'));
            writeBytes(path, bytes);
        }
        f.open();
        const QStringList before = ledgerDump(f.dir.dbPath());
        const int backupCount = int(Backup::list(f.dir.dbPath()).size());
        f.dialogs.openFiles = {path};
        f.window->findChild<QPushButton *>("cmd_file")->click();
        QCOMPARE(f.dialogs.pickerFolders, QStringList {QDir::homePath()});
        if (!refusal.isEmpty()) {
            QCOMPARE(f.dialogs.shown, QStringList {QStringLiteral("ファイル「%1」").arg(path) + refusal});
            QCOMPARE(ledgerDump(f.dir.dbPath()), before);
            QCOMPARE(int(Backup::list(f.dir.dbPath()).size()), backupCount);
            return;
        }
        QCOMPARE(f.dialogs.asked,
            QStringList {
                QStringLiteral("ファイル「%1」（収入2件　支出0件　残高合計\\15）").arg(path) + Question});
        QCOMPARE(f.dialogs.infos, QStringList {"復元しました"});
        QCOMPARE(f.dir.scalar("SELECT group_concat(N_money) FROM N").toString(), QStringLiteral("7,8"));
        QCOMPARE(f.dir.scalar("PRAGMA user_version").toInt(), Migrations::latest());
        // The ledger it replaced is the backup of the restore.
        const QList<Backup::Entry> all = Backup::list(f.dir.dbPath());
        QCOMPARE(ledgerDump(all.at(file == "older" ? 1 : 0).path), before);
        QVERIFY(QFileInfo::exists(path)); // the chosen file stays where it was
    }

    // F_bkset: the second folder is checked, saved beside the ledger, and the newest backup is
    // copied there at once; each bad folder is told and changes nothing.
    void theSecondFolderIsCheckedAndSaved_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("told");
        QTest::newRow("nothing") << ""
                                 << "コピー先フォルダーを指定して下さい";
        QTest::newRow("relative")
            << "usb"
            << "コピー先フォルダーは「参照...」で選ぶか、/ から始まる形で指定して下さい";
        QTest::newRow("missing")
            << "<usb>/none"
            << "フォルダー「<usb>/none」が見つかりません　ディスクやUSBメモリをつないでから指定して下さい";
        QTest::newRow("the ledger's folder") << "<app>"
                                             << "台帳と同じフォルダーやその中は指定できません　別のディスクや"
                                                "USBメモリのフォルダーを指定して下さい";
        QTest::newRow("its backup folder") << "<app>/backup"
                                           << "台帳と同じフォルダーやその中は指定できません　別のディスクやUS"
                                              "Bメモリのフォルダーを指定して下さい";
        QTest::newRow("a folder elsewhere") << "<usb>/"
                                            << "設定を保存しました　最新のバックアップをコピーしました";
    }
    void theSecondFolderIsCheckedAndSaved()
    {
        QFETCH(QString, typed);
        QFETCH(QString, told);
        Fixture f;
        QTemporaryDir usb;
        typed.replace("<usb>", usb.path()).replace("<app>", f.dir.path());
        told.replace("<usb>", usb.path());
        MainMenu menu(f.dir.context(f.dialogs, f.clock));
        registerTasks(menu);
        menu.load();
        menu.findChild<QAction *>("bkset")->trigger();
        TaskWindow *w = menu.openTask();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QStringLiteral("F_bkset"));
        f.dialogs.folders = {typed};
        w->findChild<QPushButton *>("cmd_sansyou")->click();
        QCOMPARE(w->findChild<QLineEdit *>("txt_folder")->text(), typed);
        w->findChild<QPushButton *>("cmd_hozon")->click();
        QCOMPARE(f.dialogs.infos, QStringList {told});
        const bool saved = told.startsWith(u"設定を保存");
        QCOMPARE(Backup::secondFolder(f.dir.dbPath()), saved ? usb.path() : QString());
        QCOMPARE(Backup::listFolder(usb.path()).size(), saved ? 1 : 0);
        if (saved) {
            QCOMPARE(fileBytes(Backup::listFolder(usb.path()).first().path),
                fileBytes(Backup::list(f.dir.dbPath()).first().path));
            f.dialogs.clear();
            w->findChild<QPushButton *>("cmd_kaijo")->click();
            QCOMPARE(f.dialogs.asked.size(), 1);
            QVERIFY(Backup::secondFolder(f.dir.dbPath()).isEmpty());
        }
        w->findChild<QPushButton *>("cmd_end")->click();
        QVERIFY(menu.isEnabled());
    }

    // A second folder that is away is told once in a run, naming it, however many backups
    // the run takes; the local backups go on, and the run ends as it would.
    void aSecondFolderThatIsAwayIsToldOncePerRun()
    {
        Fixture f;
        QTemporaryDir usb;
        const QString away = usb.path() + "/stick";
        QVERIFY(Backup::setSecondFolder(f.dir.dbPath(), away));
        const QString told = QStringLiteral(
            "バックアップのコピー先「%1」が見つからないため、コピーできませんでした　"
            "ディスクやUSBメモリをつないで下さい　backup フォルダーのバックアップは作成済みです")
                                 .arg(away);
        {
            SessionBackup session(f.dir.context(f.dialogs, f.clock));
            f.dir.exec("DELETE FROM S");
            session.atExit();
            f.dir.exec("DELETE FROM N");
            f.clock.set(f.clock.now().addSecs(60));
            session.atExit();
        }
        QCOMPARE(f.dialogs.shown, QStringList {told});
        QCOMPARE(Backup::list(f.dir.dbPath()).size(), 5);
        // The next run tells it again; once the stick is back, the newest backup follows.
        f.dialogs.clear();
        SessionBackup(f.dir.context(f.dialogs, f.clock)).atExit();
        QCOMPARE(f.dialogs.shown, QStringList {told});
        QVERIFY(QDir().mkpath(away));
        f.dialogs.clear();
        SessionBackup(f.dir.context(f.dialogs, f.clock)).atExit();
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(fileBytes(Backup::listFolder(away).first().path),
            fileBytes(Backup::list(f.dir.dbPath()).first().path));
    }
};

QTEST_MAIN(TestRestore)
#include "tst_restore.moc"
