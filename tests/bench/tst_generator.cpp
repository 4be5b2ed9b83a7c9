// SPDX-License-Identifier: GPL-3.0-or-later
#include "BankCalendar.h"
#include "LedgerCheck.h"
#include "LedgerGenerator.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every row of every table, in storage order, hashed: two ledgers with the same content
// have the same digest.
QByteArray digest(const TempAppDir &dir)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const char *table : {"Hokan_T", "Kubun_T", "Nyuukin_T", "Syukkin_T", "N", "S", "Zidourireki_T",
             "Idourireki_T", "Ktanaorosi_T"})
        h.addData(dir.rows(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(QLatin1String(table)))
                      .join(u'\n')
                      .toUtf8());
    return h.result();
}

qint64 count(const TempAppDir &dir, const QString &sql)
{
    return dir.scalar(sql).toLongLong();
}

// A directory whose ledger is generated (LedgerFile::create refuses an existing file).
class GeneratedDir : public TempAppDir
{
public:
    GeneratedDir(qint64 postings, quint64 seed)
        : TempAppDir(false)
    {
        QString error;
        ok = LedgerGenerator::generate(dbPath(), postings, seed, &error, &summary);
        if (!ok)
            qWarning("%s", qPrintable(error));
    }
    bool ok = false;
    LedgerGenerator::Summary summary;
};

// A directory whose ledger is the demo household's, up to lastDay.
class DemoDir : public TempAppDir
{
public:
    DemoDir(const QDate &lastDay, quint64 seed)
        : TempAppDir(false)
    {
        QString error;
        ok = LedgerGenerator::generateDemo(dbPath(), lastDay, seed, &error, &summary);
        if (!ok)
            qWarning("%s", qPrintable(error));
    }
    bool ok = false;
    LedgerGenerator::Summary summary;
};

} // namespace

class TestGenerator : public QObject
{
    Q_OBJECT

private slots:
    void smallLedgerIsRealisticAndConsistent()
    {
        GeneratedDir dir(LedgerGenerator::SmallPostings, 7);
        QVERIFY(dir.ok);
        const auto &s = dir.summary;

        // The size counts the postings: income and expense rows together.
        QCOMPARE(s.income + s.expense, LedgerGenerator::SmallPostings);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM N"), s.income);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM S"), s.expense);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Zidourireki_T"), s.debits);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Idourireki_T"), s.transfers);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Ktanaorosi_T"), s.stocktakes);
        QVERIFY(s.income > 1000 && s.expense > 3000);
        QVERIFY(s.debits > 50 && s.transfers > 50 && s.stocktakes > 25);

        // The masters.
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT H_index) FROM Hokan_T"), 20);
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT N_index) FROM Nyuukin_T"), 99);
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT S_index) FROM Syukkin_T"), 99);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Syukkin_T WHERE S_kubun = '自動'"), 10);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Kubun_T WHERE K_index = '自動'"), 1);
        QVERIFY(count(dir, "SELECT COUNT(DISTINCT K_index) FROM Kubun_T") >= 10);
        QCOMPARE(dir.rows("SELECT N_index FROM Nyuukin_T ORDER BY N_no"), LedgerGenerator::incomeItemNames());
        QCOMPARE(dir.rows("SELECT H_index FROM Hokan_T ORDER BY H_no"), LedgerGenerator::storagePlaceNames());
        // Every item and place a row names is registered, categories included.
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM Nyuukin_T WHERE N_kubun NOT IN (SELECT K_index FROM Kubun_T) "
                     "OR N_hokan NOT IN (SELECT H_index FROM Hokan_T)"),
            0);
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM Syukkin_T WHERE S_kubun NOT IN (SELECT K_index FROM Kubun_T) "
                     "OR S_hokan NOT IN (SELECT H_index FROM Hokan_T)"),
            0);

        // Postings name their item and the item's storage place, as the windows write them.
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM N LEFT JOIN Nyuukin_T i ON i.N_index = N.N_index "
                     "WHERE i.N_hokan IS NOT N.N_hokan"),
            0);
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM S LEFT JOIN Syukkin_T i ON i.S_index = S.S_index "
                     "WHERE i.S_hokan IS NOT S.S_hokan"),
            0);
        // Automatic debits: only the items of 自動, each with its expense row.
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM Zidourireki_T WHERE Z_index NOT IN "
                     "(SELECT S_index FROM Syukkin_T WHERE S_kubun = '自動')"),
            0);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM S WHERE S_memo = '自動引落処理'"), s.debits);
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM S WHERE S_memo = '自動引落処理' AND S_index NOT IN "
                     "(SELECT S_index FROM Syukkin_T WHERE S_kubun = '自動')"),
            0);
        QCOMPARE(dir.rows("SELECT Z_index, Z_hokan, Z_money, Z_beforeday FROM Zidourireki_T ORDER BY rowid"),
            dir.rows("SELECT S_index, S_hokan, S_money, S_date FROM S WHERE S_memo = '自動引落処理' "
                     "ORDER BY rowid"));
        QCOMPARE(
            count(dir, "SELECT COUNT(*) FROM Idourireki_T WHERE I_hokanmoto = I_hokansaki OR I_money <= 0"),
            0);

        // Thirty years of postings with amounts as people type them.
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT N_date / 10000) FROM N"), 30);
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT S_date / 10000) FROM S"), 30);
        QVERIFY(count(dir, "SELECT MIN(S_date) FROM S") >= LedgerGenerator::FirstDate);
        QVERIFY(count(dir, "SELECT MAX(N_date) FROM N") <= LedgerGenerator::LastDate);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM N WHERE N_money < 1 OR N_money > 99999999"), 0);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM S WHERE S_money < 1 OR S_money > 99999999"), 0);
        QVERIFY(count(dir, "SELECT COUNT(DISTINCT N_index) FROM N") > 60);
        QVERIFY(count(dir, "SELECT COUNT(*) FROM S WHERE S_memo <> ''") > s.expense / 4);

        // Balances never went below zero and stay far inside 32 bits, their sum too.
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Hokan_T WHERE H_money < 0"), 0);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_bmoney < 0 OR K_amoney < 0"), 0);
        QVERIFY(count(dir, "SELECT SUM(H_money) FROM Hokan_T") < 1'000'000'000);

        const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
        QVERIFY2(check.ok(), qPrintable(check.problems.join(u'\n')));
        QCOMPARE(check.rowsReplayed, s.income + s.expense + 2 * s.transfers + s.stocktakes);
    }

    void sameSeedSameLedgerOtherSeedAnother()
    {
        GeneratedDir a(2000, 42);
        GeneratedDir b(2000, 42);
        GeneratedDir c(2000, 43);
        QVERIFY(a.ok && b.ok && c.ok);
        QCOMPARE(digest(a), digest(b));
        QVERIFY(digest(a) != digest(c));
    }

    // Two years up to a day: the span crosses year ends, and a leap day as its last day.
    void demoLedgerIsAHouseholdsTwoYears_data()
    {
        QTest::addColumn<QDate>("lastDay");
        QTest::newRow("December") << QDate(2026, 12, 8);
        QTest::newRow("leap day") << QDate(2024, 2, 29);
        QTest::newRow("end of June") << QDate(2025, 6, 30);
    }
    void demoLedgerIsAHouseholdsTwoYears()
    {
        QFETCH(QDate, lastDay);
        DemoDir dir(lastDay, 1);
        QVERIFY(dir.ok);
        const auto &s = dir.summary;
        const auto day = [](const QDate &d) { return d.year() * 10000 + d.month() * 100 + d.day(); };
        const int first = day(lastDay.addYears(-2).addDays(1));
        const int last = day(lastDay);

        QCOMPARE(dir.rows("SELECT H_index FROM Hokan_T ORDER BY H_no"),
            QStringList({"財布", "銀行", "郵便貯金", "貯金箱", "クレジットカード"}));
        QCOMPARE(dir.rows("SELECT N_index FROM Nyuukin_T ORDER BY N_no"),
            QStringList({"給料", "賞与", "お小遣い"}));
        QCOMPARE(dir.rows("SELECT S_index FROM Syukkin_T WHERE S_kubun <> '自動' ORDER BY S_no"),
            QStringList({"食料品", "外食", "日用品", "電車・バス", "娯楽"}));
        QCOMPARE(dir.rows("SELECT S_index FROM Syukkin_T WHERE S_kubun = '自動' ORDER BY S_no"),
            QStringList({"電気", "ガス"}));
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM (SELECT N_kubun k, N_hokan h FROM Nyuukin_T UNION ALL "
                     "SELECT S_kubun, S_hokan FROM Syukkin_T) WHERE k NOT IN (SELECT K_index FROM Kubun_T) "
                     "OR h NOT IN (SELECT H_index FROM Hokan_T)"),
            0);

        // Every movement inside the two years; the opening balances counted the day before.
        for (const char *sql : {"SELECT MIN(N_date) FROM N", "SELECT MIN(S_date) FROM S",
                 "SELECT MIN(I_day) FROM Idourireki_T", "SELECT MIN(Z_beforeday) FROM Zidourireki_T"})
            QVERIFY2(count(dir, sql) >= first, sql);
        for (const char *sql : {"SELECT MAX(N_date) FROM N", "SELECT MAX(S_date) FROM S",
                 "SELECT MAX(I_day) FROM Idourireki_T", "SELECT MAX(K_day) FROM Ktanaorosi_T"})
            QVERIFY2(count(dir, sql) <= last, sql);
        QCOMPARE(count(dir, "SELECT MIN(K_day) FROM Ktanaorosi_T"), day(lastDay.addYears(-2)));
        QVERIFY(count(dir, "SELECT COUNT(*) FROM Ktanaorosi_T") >= 4 + 3);

        // A salary every month, a bonus each half year, both debits every month.
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT N_date / 100) FROM N WHERE N_index = '給料'"), 24);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM N WHERE N_index = '給料'"), 24);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM N WHERE N_index = '賞与'"), 4);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Zidourireki_T WHERE Z_index = '電気'"), 24);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Zidourireki_T WHERE Z_index = 'ガス'"), 24);
        QCOMPARE(dir.rows("SELECT Z_index, Z_hokan, Z_money, Z_beforeday FROM Zidourireki_T ORDER BY rowid"),
            dir.rows("SELECT S_index, S_hokan, S_money, S_date FROM S WHERE S_memo = '自動引落処理' "
                     "ORDER BY rowid"));

        // Daily expenses of every kind, most with a memo; cash drawn from the bank.
        QCOMPARE(count(dir, "SELECT COUNT(DISTINCT S_index) FROM S"), 7);
        QVERIFY(s.expense > 600 && s.transfers > 40);
        QVERIFY(count(dir, "SELECT COUNT(*) FROM S WHERE S_memo <> ''") > s.expense / 2);
        QVERIFY(count(dir,
                    "SELECT COUNT(*) FROM Idourireki_T WHERE I_hokanmoto = '銀行' AND I_hokansaki = '財布'")
            > 10);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM S WHERE S_money < 100 OR S_money > 20000"), 0);

        // Nothing held goes negative, neither now nor at any counting; the card owes, within its
        // limit.
        QCOMPARE(count(dir,
                     "SELECT COUNT(*) FROM Hokan_T WHERE H_money < 0 AND H_index NOT IN (SELECT XC_place "
                     "FROM X_card)"),
            0);
        QCOMPARE(count(dir, "SELECT COUNT(*) FROM Ktanaorosi_T WHERE K_bmoney < 0 OR K_amoney < 0"), 0);
        QVERIFY(count(dir,
                    "SELECT H_money FROM Hokan_T, X_card WHERE H_index = XC_place AND H_money < 0 "
                    "AND H_money >= -XC_limit")
            < 0);

        // Salaries, bonuses, debits and the card's payments on bank business days only.
        for (const char *sql : {"SELECT N_date FROM N WHERE N_index IN ('給料', '賞与')",
                 "SELECT Z_beforeday FROM Zidourireki_T",
                 "SELECT I_day FROM Idourireki_T WHERE I_hokansaki = 'クレジットカード'"}) {
            const QStringList days = dir.rows(sql);
            QVERIFY2(!days.isEmpty(), sql);
            for (const QString &d : days)
                QVERIFY2(BankCalendar::isBusinessDay(QDate::fromString(d, QStringLiteral("yyyyMMdd"))),
                    qPrintable(QString::fromLatin1(sql) + u' ' + d));
        }

        const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
        QVERIFY2(check.ok(), qPrintable(check.problems.join(u'\n')));
        QCOMPARE(check.rowsReplayed, s.income + s.expense + 2 * s.transfers + s.stocktakes);
    }

    void demoLedgerDependsOnSeedAndDayOnly()
    {
        const QDate day(2026, 12, 8);
        DemoDir a(day, 3), b(day, 3), c(day, 4), d(day.addDays(1), 3);
        QVERIFY(a.ok && b.ok && c.ok && d.ok);
        QCOMPARE(digest(a), digest(b));
        QVERIFY(digest(a) != digest(c));
        QVERIFY(digest(a) != digest(d));
        QString error;
        QVERIFY(!LedgerGenerator::generateDemo(a.dbPath(), day, 3, &error)); // exists: refused, kept
        QCOMPARE(digest(a), digest(b));
    }

    void refusesAnExistingFile()
    {
        TempAppDir dir; // holds an empty ledger already
        const QByteArray before = [&] {
            QFile f(dir.dbPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QString error;
        QVERIFY(!LedgerGenerator::generate(dir.dbPath(), 100, 1, &error));
        QVERIFY(!error.isEmpty());
        QFile f(dir.dbPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    // The check must catch the faults a crash or a wrong statement leaves behind.
    void checkFindsWhatIsWrong_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("balance update lost")
            << "UPDATE Hokan_T SET H_money = H_money - 1 WHERE H_index = '財布'"
            << "財布: balance";
        QTest::newRow("posting row lost") << "DELETE FROM N WHERE rowid = (SELECT MAX(rowid) FROM N)"
                                          << "the history gives";
        QTest::newRow("transfer half-applied")
            << "UPDATE Idourireki_T SET I_hokansaki = I_hokanmoto WHERE rowid = 10"
            << "the history gives";
        QTest::newRow("stocktake with a wrong before")
            << "UPDATE Ktanaorosi_T SET K_bmoney = K_bmoney + 7 WHERE rowid = 5"
            << "a stocktake on";
        QTest::newRow("amount stored as text") << "UPDATE Hokan_T SET H_money = '12a' WHERE H_index = 'レジ'"
                                               << "Hokan_T.H_money";
        QTest::newRow("amount beyond 32 bits") << "UPDATE S SET S_money = 4294967296 WHERE rowid = 3"
                                               << "S.S_money";
    }
    void checkFindsWhatIsWrong()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        GeneratedDir dir(1000, 5);
        QVERIFY(dir.ok);
        QVERIFY(LedgerCheck::check(dir.dbPath()).ok());
        dir.exec(damage);
        const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
        QVERIFY(!check.ok());
        QVERIFY2(check.problems.join(u'\n').contains(expected), qPrintable(check.problems.join(u'\n')));
    }

    void checkReportsAMissingLedgerWithoutMakingOne()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("velmo.mdb"));
        QVERIFY(!LedgerCheck::check(path).ok());
        QVERIFY(!QFile::exists(path));
    }

    // Histories carry only days: a stocktake may have been counted before, after or between
    // the other movements of its day, and the check must accept each order that explains it.
    void checkOrdersTheMovementsOfAStocktakeDay_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("balance");
        QTest::addColumn<bool>("consistent");
        const QString in = QStringLiteral("INSERT INTO N VALUES ('給料', 'A', %1, %2, '')");
        const QString out = QStringLiteral("INSERT INTO S VALUES ('食費', 'A', %1, %2, '')");
        const QString counted = QStringLiteral("INSERT INTO Ktanaorosi_T VALUES ('A', %1, %2, '', %3)");
        QTest::newRow("counted after the day")
            << QStringList {in.arg(1000).arg(1), counted.arg(1000).arg(900).arg(1)} << 900 << true;
        QTest::newRow("counted before the day")
            << QStringList {in.arg(1000).arg(1), counted.arg(0).arg(500).arg(1)} << 1500 << true;
        QTest::newRow("counted between") << QStringList {in.arg(1000).arg(1), in.arg(100).arg(2),
            out.arg(30).arg(2), in.arg(200).arg(2), counted.arg(1070).arg(1000).arg(2)}
                                         << 1200 << true;
        QTest::newRow("two countings after the day") << QStringList {in.arg(1000).arg(1),
            counted.arg(1000).arg(800).arg(1), counted.arg(800).arg(850).arg(1)}
                                                     << 850 << true;
        QTest::newRow("no order explains it")
            << QStringList {in.arg(1000).arg(1), in.arg(100).arg(2), counted.arg(1050).arg(1000).arg(2)}
            << 1000 << false;
        QTest::newRow("later days follow the counting")
            << QStringList {in.arg(1000).arg(1), counted.arg(1000).arg(700).arg(1), out.arg(200).arg(3)}
            << 500 << true;
        QTest::newRow("balance disagrees")
            << QStringList {in.arg(1000).arg(1), out.arg(200).arg(3)} << 801 << false;
    }
    void checkOrdersTheMovementsOfAStocktakeDay()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, balance);
        QFETCH(bool, consistent);
        TempAppDir dir;
        dir.exec(
            QStringLiteral("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES ('A', %1, '', '')")
                .arg(balance));
        for (const QString &sql : rows)
            dir.exec(sql);
        const LedgerCheck::Result check = LedgerCheck::check(dir.dbPath());
        QVERIFY2(check.ok() == consistent, qPrintable(check.problems.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestGenerator)
#include "tst_generator.moc"
