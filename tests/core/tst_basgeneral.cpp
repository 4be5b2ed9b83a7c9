// SPDX-License-Identifier: GPL-3.0-or-later
#include "../reliability/Unprivileged.h"
#include "BasGeneral.h"
#include "Cp932.h"
#include "FileTestSupport.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>
#include <limits>

class TestBasGeneral : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void digitsOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("date") << "20030917" << true;
        QTest::newRow("slashes") << "2003/09/17" << false;
        QTest::newRow("full-width") << "１２３" << false;
        QTest::newRow("blank") << "12 3" << false;
        QTest::newRow("sign") << "-1" << false;
        QTest::newRow("many wrong") << "abc" << false;
    }
    void digitsOnly()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        ScriptedDialogs d;
        QCOMPARE(BasGeneral::isDigitsOnly(text, d), ok);
        // One message per call, however many characters are wrong.
        QCOMPARE(d.infos, ok ? QStringList() : QStringList({"数値を入力して下さい"}));
    }

    void lengthCheck()
    {
        ScriptedDialogs d;
        const QString msg = BasGeneral::dateLengthMessage(QStringLiteral("処理日付"));
        QCOMPARE(msg, QStringLiteral("処理日付に正しい値(日付)を入力して下さい\r\n(例:20030917)"));
        QVERIFY(!BasGeneral::hasLength(QStringLiteral("2003091"), 8, msg, d));
        QVERIFY(BasGeneral::hasLength(QStringLiteral("20030230"), 8, msg, d)); // not a real day: passes
        QVERIFY(!BasGeneral::hasLength(QStringLiteral("200309170"), 8, msg, d));
        QCOMPARE(d.infos, QStringList({msg, msg}));
    }

    void yenFormatting_data()
    {
        QTest::addColumn<qint64>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << Q_INT64_C(0) << "\\0";
        QTest::newRow("999") << Q_INT64_C(999) << "\\999";
        QTest::newRow("1000") << Q_INT64_C(1000) << "\\1,000";
        QTest::newRow("123456") << Q_INT64_C(123456) << "\\123,456";
        QTest::newRow("1234567") << Q_INT64_C(1234567) << "\\1,234,567";
        QTest::newRow("max") << Q_INT64_C(2147483647) << "\\2,147,483,647";
        QTest::newRow("beyond 32 bits") << Q_INT64_C(4294967294) << "\\4,294,967,294";
        QTest::newRow("negative") << Q_INT64_C(-1500) << "\\-1,500";
        QTest::newRow("negative three digits") << Q_INT64_C(-500) << "\\-500";
    }
    void yenFormatting()
    {
        QFETCH(qint64, amount);
        QFETCH(QString, text);
        QCOMPARE(BasGeneral::formatYen(amount), text);
    }

    // A label's amount for a household: grouped by threes, a negative one with the minus sign
    // before the yen sign; a plain model (the digits of the magnitude, commas every three from
    // the right) over amounts of every length and both signs, the extremes included.
    void amountLabelMatchesAModel()
    {
        const auto model = [](qint64 amount) {
            QString digits = amount == std::numeric_limits<qint64>::min()
                ? QStringLiteral("9223372036854775808")
                : QString::number(amount < 0 ? -amount : amount);
            QString grouped;
            for (qsizetype i = 0; i < digits.size(); ++i) {
                if (i > 0 && (digits.size() - i) % 3 == 0)
                    grouped += u',';
                grouped += digits[i];
            }
            return (amount < 0 ? QStringLiteral("\u2212\\") : QStringLiteral("\\")) + grouped;
        };
        QList<qint64> amounts {0, -1, 999, -1000, 55000, -55000, std::numeric_limits<qint64>::max(),
            std::numeric_limits<qint64>::min()};
        qint64 power = 1;
        for (int digits = 1; digits <= 18; ++digits, power *= 10)
            amounts << power << power - 1 << -power << -(power * 10 - 1) << power * 7 / 3;
        for (const qint64 a : std::as_const(amounts))
            QCOMPARE(BasGeneral::amountLabel(a), model(a));
        QCOMPARE(BasGeneral::amountLabel(-55000), QStringLiteral("\u2212\\55,000"));
    }

    void logPutsNewestFirstInCp932WithCrLf()
    {
        TempAppDir dir;
        ScriptedDialogs d;
        FixedClock clock = clockAt(2003, 9, 17, 9, 5, 7);
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP起動"), d, clock);
        clock.set(QDateTime(QDate(2003, 9, 17), QTime(10, 0, 0)));
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("収入登録画面起動"), d, clock);
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP終了(ﾎﾞﾀﾝ)"), d, clock);
        QVERIFY(d.shown.isEmpty());
        const QByteArray expected = Cp932::encode(QStringLiteral("2003/09/17 10:00:00,AP終了(ﾎﾞﾀﾝ)\r\n"
                                                                 "2003/09/17 10:00:00,収入登録画面起動\r\n"
                                                                 "2003/09/17 9:05:07,AP起動\r\n"));
        QCOMPARE(read(dir.logPath()), expected);
        // The exact bytes of the half-width kana and of "×".
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP終了(×)"), d, clock);
        QVERIFY(read(dir.logPath()).startsWith("2003/09/17 10:00:00,AP\x8f\x49\x97\xb9(\x81\x7e)\r\n"));
        QVERIFY(expected.contains("(\xce\xde\xc0\xdd)"));
    }

    void logKeepsForeignLineEndsAsLines()
    {
        TempAppDir dir;
        {
            QFile f(dir.logPath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("a\nb\r\nc");
        }
        ScriptedDialogs d;
        FixedClock clock = clockAt(2003, 9, 17);
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("x"), d, clock);
        QCOMPARE(read(dir.logPath()), QByteArray("2003/09/17 9:05:07,x\r\na\r\nb\r\nc\r\n"));
    }

    void missingOrReadOnlyLogIsReportedAndNotCreated()
    {
        TempAppDir dir;
        QFile::remove(dir.logPath());
        ScriptedDialogs d;
        FixedClock clock = clockAt(2003, 9, 17);
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP起動"), d, clock);
        QCOMPARE(d.infos, QStringList({"ログ書込み失敗"}));
        QVERIFY(!QFile::exists(dir.logPath()));

        // A log its owner may not write, in a folder that may be written: reported and left as
        // it is, never replaced. Root writes any file, so the writer runs in a child that gave up
        // root (as anyone else, as this user).
        writeBytes(dir.logPath(), "old\r\n");
        QVERIFY(QFile::setPermissions(
            dir.logPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        openToAll(dir.path());
        chownToNobody(dir.path());
        chownToNobody(dir.logPath());
        const std::optional<int> refused = forkUnprivileged([&] {
            ScriptedDialogs child;
            BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP起動"), child, clock);
            return child.infos == QStringList {"ログ書込み失敗"} ? 0 : 1;
        });
        if (!refused)
            QSKIP("running as root, and no child can give up root here: a read-only log is not tested");
        QCOMPARE(*refused, 0);
        QCOMPARE(read(dir.logPath()), QByteArray("old\r\n"));
    }

    void clearAsksAndCreates()
    {
        TempAppDir dir;
        ScriptedDialogs d;
        FixedClock clock = clockAt(2003, 9, 17);
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP起動"), d, clock);
        const QByteArray before = read(dir.logPath());
        d.answers = {false};
        QVERIFY(!BasGeneral::clearLog(dir.logPath(), d, clock));
        QCOMPARE(read(dir.logPath()), before);
        QCOMPARE(d.shown, QStringList({"ログを消去します。よろしいですか？"}));

        QFile::remove(dir.logPath());
        d.clear();
        d.answers = {true};
        QVERIFY(BasGeneral::clearLog(dir.logPath(), d, clock));
        QCOMPARE(d.shown, QStringList({"ログを消去します。よろしいですか？", "ログ消去完了"}));
        QCOMPARE(read(dir.logPath()),
            Cp932::encode(QStringLiteral("2003/09/17 9:05:07,ログが消去されました\r\n")));
        BasGeneral::writeLog(dir.logPath(), QStringLiteral("AP起動"), d, clock);
        QVERIFY(read(dir.logPath()).endsWith(Cp932::encode(QStringLiteral("ログが消去されました\r\n"))));
        QCOMPARE(read(dir.logPath()).count("\r\n"), 2);
    }
};

QTEST_GUILESS_MAIN(TestBasGeneral)
#include "tst_basgeneral.moc"
