// SPDX-License-Identifier: GPL-3.0-or-later
// Crash consistency: a child process works the ledger through the real windows, opened from
// the real main menu (postings, expenses, automatic debits, transfers, stocktakes, renames of
// storage places, items and categories), and is killed with SIGKILL at a random moment. After
// every kill the ledger must pass the engine's integrity check, every storage place's balance
// must equal the replay of its history, no row may name a place, item or category that the
// masters no longer hold (a half-done rename), every automatic debit must have both of its
// rows, no action the child saw committed may be missing, and the log must be whole.
//
// Every action of the child runs on a day of its own, so the replay is exact: a stocktake's
// balance before is checked against exactly the movements of the days before it.
//
// VELMO_CRASH_KILLS sets the number of kills (default 20; `make test-long` runs 200),
// VELMO_CRASH_SEED the random seed.

#include "ChildProcess.h"
#include "Cp932.h"
#include "Grid.h"
#include "LedgerCheck.h"
#include "MainMenu.h"
#include "Tasks.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <random>
#include <sys/prctl.h>
#include <thread>

namespace {

const QString Debit = QStringLiteral("自動引落処理");

// Names a rename may choose: quotes, commas, blanks and a character outside code page 932
// go through every statement of every table.
const QStringList PlaceNames = {"財布", "銀行", "金庫", "貯金箱", "銀行'", "財,布", "金\"庫", "O'Brien口座",
    "🐷貯金", "銀行 2", "'); DELETE FROM Hokan_T; --"};
const QStringList IncomeNames = {"給料", "賞与", "利息", "給料'", "臨時,収入", "利息🎉"};
const QStringList ExpenseNames = {"食費", "日用品", "電気", "電話", "食'費", "日用,品", "電気代", "電話\"代"};
const QStringList CategoryNames = {"給与", "雑収入", "生活費", "給'与", "雑,収入", "生活費2"};
const QStringList Memos
    = {"", "メモ", "'", "a,b,c", "改行\r\nあり", "\"引用\"", "'); DELETE FROM N; --", "🍣"};

class StepClock : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void setDay(const QDate &d) { m_now = QDateTime(d, QTime(10, 0, 0)); }

private:
    QDateTime m_now;
};

// ---------------------------------------------------------------- the child

class Worker
{
public:
    Worker(const QString &appDir, QDate day, quint32 seed)
        : m_context {appDir, &m_dialogs, &m_clock}
        , m_menu(m_context)
        , m_day(day)
        , m_rng(seed)
    {
        m_clock.setDay(m_day);
        registerTasks(m_menu);
        m_menu.setQuit([] {});
        m_menu.setFileViewer([](const QString &) { return true; });
        m_menu.show();
        m_menu.load();
    }

    [[noreturn]] void run()
    {
        Child::say(QStringLiteral("ready"));
        for (;;) {
            m_clock.setDay(m_day);
            switch (pick(16)) {
            case 0:
            case 1:
            case 2:
            case 3:
                posting("cmd_nyuukin", QStringLiteral("N"), 1000 + pick(200000));
                break;
            case 4:
            case 5:
            case 6:
                posting("cmd_syukkin", QStringLiteral("S"), 1 + pick(60000));
                break;
            case 7:
            case 8:
                posting("cmd_zidou", QStringLiteral("Z"), 1 + pick(30000));
                break;
            case 9:
            case 10:
                transfer();
                break;
            case 11:
                stocktake();
                break;
            case 12:
                renamePlace();
                break;
            case 13:
                renameItem(pick(2) == 0 ? "syu" : "si");
                break;
            case 14:
                renameCategory();
                break;
            default:
                browse();
            }
            m_day = m_day.addDays(1);
        }
    }

private:
    int pick(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    QString any(const QStringList &list) { return list.at(pick(static_cast<int>(list.size()))); }

    TaskWindow *open(const char *name)
    {
        if (auto *b = m_menu.findChild<QPushButton *>(QString::fromLatin1(name)))
            b->click();
        else if (auto *a = m_menu.findChild<QAction *>(QString::fromLatin1(name)))
            a->trigger();
        TaskWindow *w = m_menu.openTask();
        if (!w)
            qFatal("window %s did not open", name);
        return w;
    }

    void close(TaskWindow *w)
    {
        w->findChild<QPushButton *>(QStringLiteral("cmd_end"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_menu.openTask())
            qFatal("window did not close");
    }

    static bool completed(TaskWindow *w)
    {
        return w->findChild<QPlainTextEdit *>(QStringLiteral("txt_kekka"))
            ->toPlainText()
            .endsWith(u"処理完了");
    }

    void posting(const char *button, const QString &kind, int amount)
    {
        TaskWindow *w = open(button);
        auto *g = w->findChild<Grid *>(QStringLiteral("SP"));
        w->findChild<QLineEdit *>(QStringLiteral("txt_day"))
            ->setText(m_day.toString(QStringLiteral("yyyyMMdd")));
        if (g->maxRows() > 0) {
            const int r = 1 + pick(g->maxRows());
            g->setText(3, r, QString::number(amount));
            if (g->maxCols() == 7)
                g->setText(6, r, any(Memos));
            g->clickButton(g->maxCols(), r);
            if (completed(w))
                Child::say(QStringLiteral("ok ") + kind);
        }
        close(w);
    }

    void transfer()
    {
        TaskWindow *w = open("cmd_idou");
        auto *moto = w->findChild<QComboBox *>(QStringLiteral("cb_moto"));
        auto *saki = w->findChild<QComboBox *>(QStringLiteral("cb_saki"));
        if (moto->count() >= 2) {
            const int a = pick(moto->count());
            const int b = (a + 1 + pick(moto->count() - 1)) % moto->count();
            moto->setCurrentIndex(a);
            saki->setCurrentIndex(b);
            w->findChild<QLineEdit *>(QStringLiteral("txt_money"))->setText(QString::number(pick(150000)));
            w->findChild<QLineEdit *>(QStringLiteral("txt_day"))
                ->setText(m_day.toString(QStringLiteral("yyyyMMdd")));
            w->findChild<QLineEdit *>(QStringLiteral("txt_memo"))->setText(any(Memos));
            w->findChild<QPushButton *>(QStringLiteral("cmd_ok"))->click();
            if (completed(w))
                Child::say(QStringLiteral("ok I"));
        }
        close(w);
    }

    void stocktake()
    {
        TaskWindow *w = open("cmd_tanaorosi");
        auto *place = w->findChild<QComboBox *>(QStringLiteral("cb_hokan"));
        if (place->count() > 0) {
            place->setCurrentIndex(pick(place->count()));
            w->findChild<QLineEdit *>(QStringLiteral("txt_money"))->setText(QString::number(pick(400000)));
            w->findChild<QLineEdit *>(QStringLiteral("txt_riyuu"))
                ->setText(any(Memos) + QStringLiteral("数え直し"));
            w->findChild<QPushButton *>(QStringLiteral("cmd_henkou"))->click();
            if (completed(w))
                Child::say(QStringLiteral("ok K"));
        }
        close(w);
    }

    // Success shows "...に変更しました"; a taken name is refused with a message of its own.
    void reportRename()
    {
        if (m_dialogs.last.endsWith(u"に変更しました"))
            Child::say(QStringLiteral("ok R"));
        m_dialogs.last.clear();
    }

    void renamePlace()
    {
        TaskWindow *w = open("ho");
        auto *old = w->findChild<QComboBox *>(QStringLiteral("cb_hokan"));
        if (old->count() > 0) {
            old->setCurrentIndex(pick(old->count()));
            w->findChild<QLineEdit *>(QStringLiteral("txt_hokan2"))->setText(any(PlaceNames));
            w->findChild<QPushButton *>(QStringLiteral("cmd_henkou"))->click();
            reportRename();
        }
        close(w);
    }

    // Renames are made in the change grid: a new name in column 1 and the row's "更新".
    void renameInGrid(const char *window, const QStringList &names, int updateCol)
    {
        TaskWindow *w = open(window);
        auto *g = w->findChild<Grid *>(QStringLiteral("SP2"));
        if (g->maxRows() > 0) {
            const int r = 1 + pick(g->maxRows());
            const QString name = any(names);
            if (name != g->text(1, r) && g->text(1, r) != u"自動") {
                g->setText(1, r, name);
                g->clickButton(updateCol, r);
                reportRename();
            }
        }
        close(w);
    }

    void renameItem(const char *window)
    {
        renameInGrid(window, qstrcmp(window, "syu") == 0 ? IncomeNames : ExpenseNames, 5);
    }

    void renameCategory() { renameInGrid("nyu", CategoryNames, 3); }

    void browse() { close(open("cmd_rireki")); }

    Child::ReportingDialogs m_dialogs;
    StepClock m_clock;
    AppContext m_context;
    MainMenu m_menu;
    QDate m_day;
    std::mt19937 m_rng;
};

int childMain(const QStringList &args)
{
    // Dies with the test, should the test itself be killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (args.value(0) != u"worker" || args.size() != 4)
        return 2;
    Worker w(args.at(1), QDate::fromString(args.at(2), QStringLiteral("yyyyMMdd")), args.at(3).toUInt());
    w.run();
}

// ---------------------------------------------------------------- the checks

struct Counts
{
    qint64 n = 0, s = 0, z = 0, i = 0, k = 0;
};

Counts countsOf(const TempAppDir &dir)
{
    Counts c;
    c.n = dir.scalar("SELECT COUNT(*) FROM N").toLongLong();
    c.s = dir.scalar("SELECT COUNT(*) FROM S WHERE S_memo IS NOT '" + Debit + "'").toLongLong();
    c.z = dir.scalar("SELECT COUNT(*) FROM Zidourireki_T").toLongLong();
    c.i = dir.scalar("SELECT COUNT(*) FROM Idourireki_T").toLongLong();
    c.k = dir.scalar("SELECT COUNT(*) FROM Ktanaorosi_T").toLongLong();
    return c;
}

// Rows that name something the masters do not hold, or debits missing one of their rows.
QStringList danglingRows(const TempAppDir &dir)
{
    struct Ref
    {
        const char *table, *column, *master, *key;
    };
    static const Ref refs[] = {{"N", "N_hokan", "Hokan_T", "H_index"}, {"S", "S_hokan", "Hokan_T", "H_index"},
        {"Idourireki_T", "I_hokanmoto", "Hokan_T", "H_index"},
        {"Idourireki_T", "I_hokansaki", "Hokan_T", "H_index"},
        {"Zidourireki_T", "Z_hokan", "Hokan_T", "H_index"}, {"Ktanaorosi_T", "K_hokan", "Hokan_T", "H_index"},
        {"Nyuukin_T", "N_hokan", "Hokan_T", "H_index"}, {"Syukkin_T", "S_hokan", "Hokan_T", "H_index"},
        {"N", "N_index", "Nyuukin_T", "N_index"}, {"S", "S_index", "Syukkin_T", "S_index"},
        {"Nyuukin_T", "N_kubun", "Kubun_T", "K_index"}, {"Syukkin_T", "S_kubun", "Kubun_T", "K_index"}};
    QStringList out;
    for (const Ref &r : refs) {
        const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %1 NOT IN (SELECT %4 FROM %3)")
                                .arg(QLatin1String(r.column), QLatin1String(r.table), QLatin1String(r.master),
                                    QLatin1String(r.key));
        for (const QString &name : dir.rows(sql))
            out << QStringLiteral("%1.%2 names %3, which %4 does not hold")
                       .arg(QLatin1String(r.table), QLatin1String(r.column), name, QLatin1String(r.master));
    }
    // Each debit is one Zidourireki_T row and one S row with the same place, amount and day.
    const QStringList unmatched = dir.rows("SELECT z.h, z.m, z.d FROM (SELECT Z_hokan h, Z_money m, "
                                           "Z_beforeday d, COUNT(*) c FROM Zidourireki_T "
                                           "GROUP BY 1, 2, 3) z LEFT JOIN (SELECT S_hokan h, S_money m, "
                                           "S_date d, COUNT(*) c FROM S WHERE S_memo = '"
        + Debit
        + "' GROUP BY 1, 2, 3) s ON z.h = s.h AND z.m = s.m AND z.d = s.d WHERE s.c IS NULL OR s.c <> z.c");
    for (const QString &row : unmatched)
        out << QStringLiteral("debit %1 lacks its expense row").arg(row);
    const qint64 debitRows = dir.scalar("SELECT COUNT(*) FROM S WHERE S_memo = '" + Debit + "'").toLongLong();
    const qint64 historyRows = dir.scalar("SELECT COUNT(*) FROM Zidourireki_T").toLongLong();
    if (debitRows != historyRows)
        out << QStringLiteral("%1 debit expense rows for %2 debit history rows")
                   .arg(debitRows)
                   .arg(historyRows);
    return out;
}

QDate nextDay(const TempAppDir &dir)
{
    const qint64 last
        = dir.scalar("SELECT MAX(d) FROM (SELECT MAX(N_date) d FROM N UNION ALL "
                     "SELECT MAX(S_date) FROM S UNION ALL SELECT MAX(Z_beforeday) FROM Zidourireki_T "
                     "UNION ALL SELECT MAX(I_day) FROM Idourireki_T UNION ALL "
                     "SELECT MAX(K_day) FROM Ktanaorosi_T)")
              .toLongLong();
    if (last == 0)
        return QDate(2001, 1, 1);
    return QDate::fromString(QString::number(last), QStringLiteral("yyyyMMdd")).addDays(1);
}

// The log's lines, newest first; every line "date time,event".
QStringList logLines(const QString &path, QString *problem)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("AP.log is gone");
        return {};
    }
    const QByteArray bytes = f.readAll();
    QStringList lines = Cp932::decode(bytes).split(QStringLiteral("\r\n"));
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        *problem = QStringLiteral("AP.log does not end with a whole line");
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    static const QRegularExpression form(QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d{1,2}:\\d\\d:\\d\\d,.+$"));
    for (const QString &l : lines) {
        if (!form.match(l).hasMatch())
            *problem = QStringLiteral("AP.log holds a broken line: ") + l;
    }
    return lines;
}

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedAtRandomTheLedgerStaysConsistent()
    {
        const int kills = Child::envInt("VELMO_CRASH_KILLS", 20);
        const quint32 seed
            = static_cast<quint32>(Child::envInt("VELMO_CRASH_SEED", int(std::random_device {}() >> 1)));
        qInfo("kills %d, seed %u (VELMO_CRASH_SEED reproduces the kill moments)", kills, seed);
        std::mt19937 rng(seed);

        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',0,'本人',''),"
                 "('銀行',0,'本人','普通'),('金庫',0,'家族','')");
        dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('給与',''),('雑収入',''),('生活費','')");
        dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給料','給与','銀行',''),"
                 "('賞与','給与','銀行',''),('利息','雑収入','金庫','')");
        dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活費','財布',''),"
                 "('日用品','生活費','金庫',''),('電気','自動','銀行',''),('電話','自動','財布','')");

        const QString journal = dir.dbPath() + QStringLiteral("-journal");
        QStringList previousLog;
        qint64 committed = 0;
        QMap<QString, int> byKind;
        int hotJournals = 0;
        QElapsedTimer clock;
        clock.start();
        for (int kill = 1; kill <= kills; ++kill) {
            const Counts before = countsOf(dir);
            QProcess child;
            child.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
            child.start(QCoreApplication::applicationFilePath(),
                {"--child", "worker", dir.path(), nextDay(dir).toString("yyyyMMdd"), QString::number(rng())});
            QVERIFY2(child.waitForStarted(30000), qPrintable(child.errorString()));
            QByteArray out;
            while (!out.contains("ready\n")) {
                QVERIFY2(child.waitForReadyRead(60000), "the child never got ready");
                out += child.readAllStandardOutput();
            }
            // A random moment: most kills land inside some action, many inside a transaction.
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 800));
            child.kill(); // SIGKILL
            QVERIFY(child.waitForFinished(30000));
            out += child.readAllStandardOutput();
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);

            const QStringList lines = Child::splitLines(out);
            for (const QString &l : lines) {
                QVERIFY2(!l.contains(u"DB接続失敗") && !l.contains(u"ログ書込み失敗"),
                    qPrintable(QStringLiteral("kill %1: the child saw a failure: %2").arg(kill).arg(l)));
            }

            if (QFileInfo(journal).size() > 0)
                ++hotJournals;
            // The check opens the ledger as the program would, which rolls a hot journal back.
            const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
            QVERIFY2(
                check.ok(), qPrintable(QStringLiteral("kill %1: ").arg(kill) + check.problems.join(u'\n')));
            const QStringList dangling = danglingRows(dir);
            QVERIFY2(
                dangling.isEmpty(), qPrintable(QStringLiteral("kill %1: ").arg(kill) + dangling.join(u'\n')));

            // Every action the child saw committed is there; at most the one it was in
            // when killed is there too without having been reported.
            const Counts after = countsOf(dir);
            const QStringList ok = Child::Report(lines).prefixed(QStringLiteral("ok "));
            const qint64 excess[] = {after.n - before.n - ok.count("N"), after.s - before.s - ok.count("S"),
                after.z - before.z - ok.count("Z"), after.i - before.i - ok.count("I"),
                after.k - before.k - ok.count("K")};
            qint64 unreported = 0;
            QString tally;
            for (qint64 e : excess) {
                tally += QStringLiteral(" %1").arg(e);
                unreported += e;
            }
            for (qint64 e : excess) {
                QVERIFY2(e >= 0,
                    qPrintable(QStringLiteral("kill %1: a committed action is missing (N S Z I K:%2)")
                                   .arg(kill)
                                   .arg(tally)));
            }
            QVERIFY2(unreported <= 1,
                qPrintable(
                    QStringLiteral("kill %1: rows nobody posted (N S Z I K:%2)").arg(kill).arg(tally)));
            committed += ok.size();
            for (const QString &kind : ok)
                ++byKind[kind];

            // The log is whole and lost nothing: what it held before is still its tail.
            QString logProblem;
            const QStringList log = logLines(dir.logPath(), &logProblem);
            QVERIFY2(logProblem.isEmpty(), qPrintable(logProblem));
            QVERIFY(log.size() >= previousLog.size());
            QCOMPARE(log.mid(log.size() - previousLog.size()), previousLog);
            previousLog = log;
        }
        const qint64 rows
            = dir.scalar("SELECT (SELECT COUNT(*) FROM N) + (SELECT COUNT(*) FROM S) + "
                         "(SELECT COUNT(*) FROM Idourireki_T) + (SELECT COUNT(*) FROM Ktanaorosi_T)")
                  .toLongLong();
        QStringList tally;
        for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
            tally << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        qInfo("%d kills survived in %.1f s: %lld actions committed (%s), %lld history rows, %d kills left a "
              "hot journal, %lld log lines",
            kills, clock.elapsed() / 1000.0, committed, qPrintable(tally.join(u", ")), rows, hotJournals,
            qint64(previousLog.size()));
        QVERIFY(committed > 0);
    }
};

RELIABILITY_MAIN(TestCrash, childMain)
#include "tst_crash.moc"
