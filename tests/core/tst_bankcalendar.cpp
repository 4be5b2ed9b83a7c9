// SPDX-License-Identifier: GPL-3.0-or-later
#include "BankCalendar.h"

#include <QFile>
#include <QHash>
#include <QTest>

// The holiday rules against the published list of every national holiday, and the bank's
// business days that card payments move to.
class TestBankCalendar : public QObject
{
    Q_OBJECT

private slots:
    // Every day of 1970-2050, holiday or not, with the name as the list gives it.
    void agreesWithThePublishedList()
    {
        QFile file(QStringLiteral(VELMO_HOLIDAYS_CSV));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QHash<QDate, QString> listed;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : lines.mid(1)) {
            const QStringList fields = line.trimmed().split(u',');
            QCOMPARE(fields.size(), 2);
            const QDate day = QDate::fromString(fields[0], QStringLiteral("yyyyMMdd"));
            QVERIFY2(day.isValid(), qPrintable(line));
            listed.insert(day, fields[1]);
        }
        QCOMPARE(listed.size(), 1329);

        // The list names a substitute holiday after a holiday before it, not always the one on
        // the Sunday (5/6 after 5/3 on a Sunday is "憲法記念日" in 2020, "こどもの日" in 2026): for
        // those only the kind is compared.
        const QString substitute = QStringLiteral(" 振替休日");
        const auto sameName = [&](const QString &ours, const QString &theirs) {
            return ours == theirs || (ours.endsWith(substitute) && theirs.endsWith(substitute));
        };
        QStringList wrong;
        for (QDate d(1970, 1, 1); d <= QDate(2050, 12, 31); d = d.addDays(1)) {
            const QString expected = listed.value(d);
            const QString name = BankCalendar::holidayName(d);
            if (!sameName(name, expected) || BankCalendar::isNationalHoliday(d) != !expected.isEmpty())
                wrong << d.toString(Qt::ISODate) + u' ' + name + u'/' + expected;
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 20).join(u'\n')));
    }

    // Days outside the list, from the law's first year and past the list's last.
    void rulesOutsideThePublishedList_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("name");
        QTest::newRow("before the law") << QDate(1948, 5, 3) << QString();
        QTest::newRow("first autumn under the law") << QDate(1948, 11, 3) << "文化の日";
        QTest::newRow("crown prince's wedding 1959") << QDate(1959, 4, 10) << "結婚の儀";
        QTest::newRow("no substitute before 1973") << QDate(1967, 1, 16) << QString();
        QTest::newRow("first sports day") << QDate(1966, 10, 10) << "体育の日";
        QTest::newRow("not yet a holiday") << QDate(1965, 9, 15) << QString();
        QTest::newRow("emperor's birthday later") << QDate(2060, 2, 23) << "天皇誕生日";
        QTest::newRow("happy monday later") << QDate(2055, 1, 11) << "成人の日";
        QTest::newRow("substitute later") << QDate(2054, 5, 6) << "憲法記念日 振替休日";
        QTest::newRow("invalid date") << QDate() << QString();
    }
    void rulesOutsideThePublishedList()
    {
        QFETCH(QDate, day);
        QFETCH(QString, name);
        QCOMPARE(BankCalendar::holidayName(day), name);
        QCOMPARE(BankCalendar::isNationalHoliday(day), !name.isEmpty());
    }

    void businessDays_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<bool>("business");
        QTest::addColumn<QDate>("next");
        QTest::addColumn<QDate>("previous");
        QTest::newRow("ordinary Tuesday")
            << QDate(2026, 6, 30) << true << QDate(2026, 6, 30) << QDate(2026, 6, 30);
        QTest::newRow("Saturday to Monday")
            << QDate(2026, 6, 27) << false << QDate(2026, 6, 29) << QDate(2026, 6, 26);
        QTest::newRow("Sunday") << QDate(2022, 8, 28) << false << QDate(2022, 8, 29) << QDate(2022, 8, 26);
        QTest::newRow("12/31 on a weekday")
            << QDate(2026, 12, 31) << false << QDate(2027, 1, 4) << QDate(2026, 12, 30);
        QTest::newRow("1/2 on a Thursday")
            << QDate(2025, 1, 2) << false << QDate(2025, 1, 6) << QDate(2024, 12, 30);
        QTest::newRow("1/3 on a Tuesday")
            << QDate(2023, 1, 3) << false << QDate(2023, 1, 4) << QDate(2022, 12, 30);
        QTest::newRow("Golden Week with its substitute")
            << QDate(2026, 5, 2) << false << QDate(2026, 5, 7) << QDate(2026, 5, 1);
        QTest::newRow("holiday on a Monday")
            << QDate(2020, 5, 4) << false << QDate(2020, 5, 7) << QDate(2020, 5, 1);
        QTest::newRow("2019's ten days")
            << QDate(2019, 4, 27) << false << QDate(2019, 5, 7) << QDate(2019, 4, 26);
        QTest::newRow("citizens' holiday")
            << QDate(2026, 9, 22) << false << QDate(2026, 9, 24) << QDate(2026, 9, 18);
        QTest::newRow("Friday before a weekend")
            << QDate(2026, 7, 3) << true << QDate(2026, 7, 3) << QDate(2026, 7, 3);
    }
    void businessDays()
    {
        QFETCH(QDate, day);
        QFETCH(bool, business);
        QFETCH(QDate, next);
        QFETCH(QDate, previous);
        QCOMPARE(BankCalendar::isBusinessDay(day), business);
        QCOMPARE(BankCalendar::nextBusinessDay(day), next);
        QCOMPARE(BankCalendar::previousBusinessDay(day), previous);
    }
};

QTEST_GUILESS_MAIN(TestBankCalendar)
#include "tst_bankcalendar.moc"
