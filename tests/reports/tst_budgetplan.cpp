// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetPlan.h"
#include "Database.h"
#include "MasterChange.h"
#include "TestSupport.h"

#include <QTest>
#include <limits>

using BudgetPlan::By;
using BudgetPlan::Side;

// The plan's storage, its comparison with the actual figures and the masters' renames.
class TestBudgetPlan : public QObject
{
    Q_OBJECT

    using Months = QList<qint64>;

    static std::array<qint64, 12> array(const Months &list)
    {
        std::array<qint64, 12> out {};
        for (int m = 0; m < 12 && m < list.size(); ++m)
            out[m] = list.at(m);
        return out;
    }

    static void expense(const TempAppDir &dir, const QString &item, int date, qint64 money)
    {
        dir.exec(QStringLiteral("INSERT INTO S VALUES ('") + item + QStringLiteral("', '財布', ")
            + QString::number(money) + u',' + QString::number(date) + QStringLiteral(", '')"));
    }

    static BudgetPlan::Row row(const QString &name, qint32 each, bool carry = false)
    {
        BudgetPlan::Row r;
        r.name = name;
        r.carry = carry;
        r.months.fill(each);
        return r;
    }

private slots:
    void remainders_data()
    {
        QTest::addColumn<Months>("budget");
        QTest::addColumn<Months>("actual");
        QTest::addColumn<bool>("carry");
        QTest::addColumn<Months>("remainder");
        QTest::addColumn<qint64>("yearRemainder");
        QTest::newRow("no carry: each month stands alone")
            << Months {1000, 1000, 1000} << Months {400, 1500, 0} << false << Months {600, -500, 1000}
            << qint64(1100);
        QTest::newRow("carry: leftovers add up") << Months {1000, 1000, 1000} << Months {400, 1500, 0} << true
                                                 << Months {600, 100, 1100} << qint64(1100);
        QTest::newRow("carry: overspending is taken from the next month")
            << Months {1000, 1000} << Months {3000, 0} << true << Months {-2000, -1000, -1000}
            << qint64(-1000);
        QTest::newRow("refund counts against the actual")
            << Months {500} << Months {-200} << false << Months {700} << qint64(700);
        // Cells at the 32-bit limit in every month: the year's sums need 64 bits.
        QTest::newRow("sums beyond 32 bits")
            << Months(12, std::numeric_limits<qint32>::max()) << Months {} << true
            << Months {2147483647LL, 4294967294LL, 6442450941LL, 8589934588LL, 10737418235LL, 12884901882LL,
                   15032385529LL, 17179869176LL, 19327352823LL, 21474836470LL, 23622320117LL, 25769803764LL}
            << qint64(25769803764LL);
    }
    void remainders()
    {
        QFETCH(Months, budget);
        QFETCH(Months, actual);
        QFETCH(bool, carry);
        QFETCH(Months, remainder);
        QFETCH(qint64, yearRemainder);
        BudgetPlan::Plan plan;
        BudgetPlan::Row r = row(QStringLiteral("食費"), 0, carry);
        for (int m = 0; m < budget.size(); ++m)
            r.months[m] = qint32(budget.at(m));
        plan.rows << r;
        CategoryTotals::Year year;
        CategoryTotals::Row a;
        a.name = QStringLiteral("食費");
        a.months = array(actual);
        year.rows << a;
        const BudgetPlan::Sheet sheet = BudgetPlan::compare(plan, year);
        QCOMPARE(sheet.lines.size(), 1);
        const BudgetPlan::Line &line = sheet.lines.first();
        std::array<qint64, 12> expected = array(remainder);
        // Months past the list keep the last remainder when carried, the month's own otherwise.
        for (int m = int(remainder.size()); m < 12; ++m)
            expected[m] = carry && m > 0 ? expected[m - 1] : budget.value(m) - actual.value(m);
        QCOMPARE(line.remainder, expected);
        QCOMPARE(line.remainderTotal, yearRemainder);
        QCOMPARE(sheet.total.remainderTotal, yearRemainder);
        QCOMPARE(sheet.total.remainder, expected);
    }

    void actualRowsWithoutBudgetFollowThePlan()
    {
        BudgetPlan::Plan plan;
        plan.rows << row(QStringLiteral("娯楽"), 100) << row(QStringLiteral("生活"), 200);
        CategoryTotals::Year year;
        CategoryTotals::Row a;
        a.name = QStringLiteral("(未登録)");
        a.months[0] = 50;
        CategoryTotals::Row b;
        b.name = QStringLiteral("生活");
        b.months[0] = 70;
        year.rows << a << b;
        const BudgetPlan::Sheet sheet = BudgetPlan::compare(plan, year);
        QCOMPARE(sheet.lines.size(), 3);
        QCOMPARE(sheet.lines[0].name, QStringLiteral("娯楽"));
        QCOMPARE(sheet.lines[1].actual[0], 70);
        QCOMPARE(sheet.lines[2].name, QStringLiteral("(未登録)"));
        QVERIFY(!sheet.lines[2].planned);
        QCOMPARE(sheet.total.budgetTotal, 3600);
        QCOMPARE(sheet.total.actualTotal, 120);
    }

    void roundedUp_data()
    {
        QTest::addColumn<qint64>("yen");
        QTest::addColumn<qint64>("expected"); // -1: beyond a cell
        QTest::newRow("zero") << qint64(0) << qint64(0);
        QTest::newRow("one yen") << qint64(1) << qint64(100);
        QTest::newRow("exact hundred") << qint64(300) << qint64(300);
        QTest::newRow("just over") << qint64(301) << qint64(400);
        QTest::newRow("refunds plan nothing") << qint64(-250) << qint64(0);
        QTest::newRow("largest cell") << qint64(2147483600) << qint64(2147483600);
        QTest::newRow("rounds past the cell") << qint64(2147483601) << qint64(-1);
        QTest::newRow("far beyond") << qint64(50000000000LL) << qint64(-1);
    }
    void roundedUp()
    {
        QFETCH(qint64, yen);
        QFETCH(qint64, expected);
        const std::optional<qint32> got = BudgetPlan::roundedUp(yen);
        QCOMPARE(got.has_value(), expected >= 0);
        if (got)
            QCOMPARE(qint64(*got), expected);
    }

    // The previous year's actual figures, read as the category report reads them, month by month.
    void planFromThePreviousYear()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES "
                 "('食料品','生活','財布',''),('映画','娯楽','財布','')");
        expense(dir, QStringLiteral("食料品"), 20040105, 2950);
        expense(dir, QStringLiteral("食料品"), 20040120, 1000);
        expense(dir, QStringLiteral("映画"), 20040301, 1800);
        expense(dir, QStringLiteral("映画"), 20040302, -1900);
        expense(dir, QStringLiteral("雑貨"), 20041231, 1);
        expense(dir, QStringLiteral("食料品"), 20050101, 99999); // the planned year itself
        Database db(dir.dbPath());
        const auto plan
            = BudgetPlan::fromActual(BudgetPlan::actual(db, Side::Expense, By::Category, 2004), By::Category);
        QVERIFY(plan);
        QCOMPARE(plan->rows.size(), 3);
        QHash<QString, BudgetPlan::Row> byName;
        for (const auto &r : plan->rows)
            byName.insert(r.name, r);
        QCOMPARE(byName.value("生活").months[0], 4000);
        QCOMPARE(byName.value("娯楽").months[2], 0);
        QCOMPARE(byName.value("(未登録)").months[11], 100);
        QCOMPARE(byName.value("生活").months[1], 0);
    }

    void storedPlanReadsBack()
    {
        TempAppDir dir;
        BudgetPlan::Plan plan;
        plan.by = By::Item;
        BudgetPlan::Row a = row(QStringLiteral("家賃's"), 80000, true);
        a.months[11] = std::numeric_limits<qint32>::max();
        plan.rows << row(QStringLiteral("食料品"), 30000) << a;
        {
            Database db(dir.dbPath());
            db.beginWrite();
            BudgetPlan::save(db, Side::Expense, 2005, plan);
            BudgetPlan::save(db, Side::Expense, 2005, plan); // saving again replaces
            db.commit();
        }
        Database db(dir.dbPath());
        QVERIFY(!BudgetPlan::load(db, Side::Income, 2005));
        QVERIFY(!BudgetPlan::load(db, Side::Expense, 2004));
        const auto back = BudgetPlan::load(db, Side::Expense, 2005);
        QVERIFY(back);
        QCOMPARE(back->by, By::Item);
        QCOMPARE(back->rows.size(), 2);
        QCOMPARE(back->rows[0].name, QStringLiteral("食料品"));
        QCOMPARE(back->rows[1].name, QStringLiteral("家賃's"));
        QVERIFY(back->rows[1].carry);
        QCOMPARE(back->rows[1].months, a.months);
    }

    // Renames and deletions in the masters reach only the plans at the same level and side.
    void mastersCarryIntoThePlans_data()
    {
        QTest::addColumn<int>("change"); // 0 rename category, 1 forget category, 2 rename item, 3 forget item
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("category renamed on both sides")
            << 0 << QString() << QStringList {"2005|N|生活費", "2005|S|生活費", "2006|S|生活"};
        QTest::newRow("category deleted") << 1 << QString() << QStringList {"2006|S|生活"};
        QTest::newRow("expense item renamed")
            << 2 << "S" << QStringList {"2005|N|生活", "2005|S|生活", "2006|S|生活費"};
        QTest::newRow("expense item deleted") << 3 << "S" << QStringList {"2005|N|生活", "2005|S|生活"};
        QTest::newRow("income item left alone")
            << 2 << "N" << QStringList {"2005|N|生活", "2005|S|生活", "2006|S|生活"};
    }
    void mastersCarryIntoThePlans()
    {
        QFETCH(int, change);
        QFETCH(QString, kind);
        QFETCH(QStringList, expected);
        TempAppDir dir;
        BudgetPlan::Plan byCategory;
        byCategory.rows << row(QStringLiteral("生活"), 100);
        BudgetPlan::Plan byItem = byCategory;
        byItem.by = By::Item;
        // 2006 planned by item and also holding a row under the new name, left from long ago.
        byItem.rows << row(QStringLiteral("生活費"), 1);
        {
            Database db(dir.dbPath());
            db.beginWrite();
            BudgetPlan::save(db, Side::Expense, 2005, byCategory);
            BudgetPlan::save(db, Side::Income, 2005, byCategory);
            BudgetPlan::save(db, Side::Expense, 2006, byItem);
            db.commit();
        }
        if (change != 2 && change != 0)
            dir.exec("DELETE FROM X_budget_row WHERE XZ_name = '生活費'");
        {
            Database db(dir.dbPath());
            db.beginWrite();
            const QString from = QStringLiteral("生活"), to = QStringLiteral("生活費");
            if (change == 0)
                QVERIFY(MasterChange::renameCategory(db, from, to, QString()).isEmpty());
            else if (change == 1)
                QVERIFY(MasterChange::deleteCategory(db, from).isEmpty());
            else if (change == 2)
                QVERIFY(MasterChange::renameItem(db, kind, from, {to, {}, {}, {}}).isEmpty());
            else
                MasterChange::deleteItem(db, kind, from);
            db.commit();
        }
        if (change == 0 || (change == 2 && kind == "N"))
            dir.exec("DELETE FROM X_budget_row WHERE XZ_year = 2006 AND XZ_name = '生活費'");
        QCOMPARE(dir.rows("SELECT XZ_year, XZ_side, XZ_name FROM X_budget_row ORDER BY 1, 2, 3"), expected);
        QCOMPARE(
            dir.scalar("SELECT SUM(XZ_m01) FROM X_budget_row").toLongLong(), qint64(expected.size() * 100));
    }
};

QTEST_MAIN(TestBudgetPlan)
#include "tst_budgetplan.moc"
