// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetPlan.h"
#include "Database.h"
#include "DemoLedger.h"
#include "Migrations.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

int yyyymmdd(const QDate &d)
{
    return d.year() * 10000 + d.month() * 100 + d.day();
}

QByteArray digest(const QString &path)
{
    return QCryptographicHash::hash(ledgerDump(path).join(u'\n').toUtf8(), QCryptographicHash::Sha256);
}

} // namespace

class TestDemoLedger : public QObject
{
    Q_OBJECT

private slots:
    void aHouseholdAsTheProgramSpeaksOfIt_data();
    void aHouseholdAsTheProgramSpeaksOfIt();
    void layOutMakesAnApplicationDirectory();
    void layOutNeverReplacesALedger();
    void aBadDayLeavesNothing();
};

void TestDemoLedger::aHouseholdAsTheProgramSpeaksOfIt_data()
{
    QTest::addColumn<QDate>("lastDay");
    QTest::newRow("December") << QDate(2026, 12, 8);
    QTest::newRow("New Year's day") << QDate(2027, 1, 1);
    QTest::newRow("leap day") << QDate(2028, 2, 29);
}

void TestDemoLedger::aHouseholdAsTheProgramSpeaksOfIt()
{
    QFETCH(QDate, lastDay);
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("velmo.mdb"));
    QString error;
    DemoLedger::Counts counts;
    QVERIFY2(DemoLedger::create(path, lastDay, 1, &error, &counts), qPrintable(error));

    Database db(path);
    // At the newest layout, so the program starts on it without an upgrade.
    QCOMPARE(Migrations::version(db), Migrations::latest());
    auto rows = [&](const QString &sql) {
        QStringList out;
        for (Cursor c = db.query(sql); !c.eof(); c.next())
            out << c.text(0);
        return out;
    };
    // The program writes 代 after an expense item's name: no name carries it already, and the
    // automatic debits read 電気代 and ガス代 in its messages.
    QCOMPARE(rows(QStringLiteral("SELECT S_index FROM Syukkin_T WHERE S_kubun = '自動' ORDER BY S_no")),
        QStringList({"電気", "ガス"}));
    QCOMPARE(
        rows(QStringLiteral("SELECT S_index FROM Syukkin_T WHERE S_index LIKE '%代' OR S_index LIKE '%費'")),
        QStringList());
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM Zidourireki_T WHERE Z_index = '電気'")),
        QStringList({"24"}));

    // Nothing after the day; the budgets of its year and the year before, by category, every
    // planned category one the ledger has.
    QVERIFY(rows(QStringLiteral("SELECT MAX(S_date) FROM S")).value(0).toInt() <= yyyymmdd(lastDay));
    QCOMPARE(counts.budgetRows, 10);
    for (const int year : {lastDay.year() - 1, lastDay.year()}) {
        const std::optional<BudgetPlan::Plan> plan = BudgetPlan::load(db, BudgetPlan::Side::Expense, year);
        QVERIFY(plan);
        QCOMPARE(plan->by, BudgetPlan::By::Category);
        QCOMPARE(plan->rows.size(), 5);
        for (const BudgetPlan::Row &r : plan->rows) {
            QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM Kubun_T WHERE K_index = '")
                         + Database::escape(r.name) + u'\''),
                QStringList({"1"}));
            QVERIFY(std::all_of(r.months.begin(), r.months.end(), [](qint32 m) { return m > 0; }));
        }
    }
    QVERIFY(!BudgetPlan::load(db, BudgetPlan::Side::Expense, lastDay.year() - 2));
    QVERIFY(!BudgetPlan::load(db, BudgetPlan::Side::Income, lastDay.year()));
    // The card: on each payment day the bank pays exactly what was bought up to the closing day
    // (the 15th) of the month before; what it owes now is what was bought since.
    const QString card = QStringLiteral("クレジットカード");
    QCOMPARE(rows(QStringLiteral("SELECT XC_closing || '|' || XC_payment || '|' || XC_pay_from FROM X_card")),
        QStringList({"15|10|銀行"}));
    const auto bought = [&](int after, int upTo) {
        return rows(
            QStringLiteral("SELECT TOTAL(S_money) FROM S WHERE S_hokan = 'クレジットカード' AND S_date > %1 "
                           "AND S_date <= %2")
                .arg(after)
                .arg(upTo))
            .value(0)
            .toDouble();
    };
    int paidUpTo = 0;
    const QStringList payments = rows(QStringLiteral(
        "SELECT I_day || '|' || I_money FROM Idourireki_T WHERE I_hokanmoto = '銀行' AND I_hokansaki = "
        "'クレジットカード' ORDER BY I_day"));
    QVERIFY(payments.size() >= 10);
    for (const QString &p : payments) {
        const QDate paid = QDate::fromString(p.section(u'|', 0, 0), QStringLiteral("yyyyMMdd"));
        const QDate month = paid.addMonths(-1);
        const int closing = yyyymmdd(QDate(month.year(), month.month(), 15));
        QCOMPARE(bought(paidUpTo, closing), p.section(u'|', 1).toDouble());
        paidUpTo = closing;
    }
    QCOMPARE(-rows(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = '") + card + u'\'')
                  .value(0)
                  .toDouble(),
        bought(paidUpTo, yyyymmdd(lastDay)));

    // Schedules only of items the masters have, on the side they belong to.
    QCOMPARE(
        rows(QStringLiteral("SELECT XS_side || XS_item FROM X_schedule WHERE XS_item NOT IN (SELECT CASE "
                            "XS_side WHEN 'N' THEN N_index END FROM Nyuukin_T UNION SELECT CASE XS_side "
                            "WHEN 'S' THEN S_index END FROM Syukkin_T)")),
        QStringList());
    QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM X_schedule")), QStringList({"4"}));
}

void TestDemoLedger::layOutMakesAnApplicationDirectory()
{
    QTemporaryDir tmp;
    const QString folder = QDir(tmp.path()).filePath(QStringLiteral("new/demo"));
    QString error;
    QVERIFY2(DemoLedger::layOut(folder, QDate(2026, 12, 8), QStringLiteral(VELMO_ARROW_GIF), &error),
        qPrintable(error));
    const QDir dir(folder);
    QCOMPARE(dir.entryList(QDir::Files, QDir::Name), QStringList({"AP.log", "velmo.mdb", "yazirusi.gif"}));
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("AP.log"))).size(), 0);
    QFile arrow(dir.filePath(QStringLiteral("yazirusi.gif"))), source(QStringLiteral(VELMO_ARROW_GIF));
    QVERIFY(arrow.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
    QCOMPARE(arrow.readAll(), source.readAll());
    // The same day gives the same household.
    QTemporaryDir other;
    QVERIFY(DemoLedger::layOut(other.path(), QDate(2026, 12, 8), QString(), &error));
    QCOMPARE(digest(QDir(other.path()).filePath(QStringLiteral("velmo.mdb"))),
        digest(dir.filePath(QStringLiteral("velmo.mdb"))));
}

void TestDemoLedger::layOutNeverReplacesALedger()
{
    TempAppDir app; // a user's folder with its ledger
    const QByteArray before = digest(app.dbPath());
    QString error;
    QVERIFY(!DemoLedger::layOut(app.path(), QDate(2026, 12, 8), QString(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(digest(app.dbPath()), before);
}

void TestDemoLedger::aBadDayLeavesNothing()
{
    QTemporaryDir tmp;
    const QString path = QDir(tmp.path()).filePath(QStringLiteral("velmo.mdb"));
    QString error;
    QVERIFY(!DemoLedger::create(path, QDate(), 1, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestDemoLedger)
#include "tst_demoledger.moc"
