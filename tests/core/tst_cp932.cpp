// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"

#include <QTemporaryDir>
#include <QTest>

class TestCp932 : public QObject
{
    Q_OBJECT

private slots:
    void encodesTheBytesOfTheCodePage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("full-width tilde") << QStringLiteral("～") << QByteArray("\x81\x60");
        // The JIS forms input methods produce, written as the code page's codes.
        QTest::newRow("wave dash") << QStringLiteral("\u301C") << QByteArray("\x81\x60");
        QTest::newRow("minus sign") << QStringLiteral("\u2212") << QByteArray("\x81\x7c");
        QTest::newRow("double vertical line") << QStringLiteral("\u2016") << QByteArray("\x81\x61");
        QTest::newRow("em dash") << QStringLiteral("\u2014") << QByteArray("\x81\x5c");
        QTest::newRow("cent sign") << QStringLiteral("\u00A2") << QByteArray("\x81\x91");
        QTest::newRow("pound sign") << QStringLiteral("\u00A3") << QByteArray("\x81\x92");
        QTest::newRow("not sign") << QStringLiteral("\u00AC") << QByteArray("\x81\xca");
        QTest::newRow("memo with JIS forms beside a character the page lacks")
            << QStringLiteral("10\u301C12月分\u2212調整😀")
            << QByteArray("10\x81\x60"
                          "12\x8c\x8e\x95\xaa\x81\x7c\x92\xb2\x90\xae?");
        QTest::newRow("numero") << QStringLiteral("№") << QByteArray("\x87\x82");
        QTest::newRow("times") << QStringLiteral("×") << QByteArray("\x81\x7e");
        QTest::newRow("half-width kana") << QStringLiteral("ﾎﾞﾀﾝ") << QByteArray("\xce\xde\xc0\xdd");
        QTest::newRow("yen backslash") << QStringLiteral("\\1,000") << QByteArray("\\1,000");
        QTest::newRow("ideographic space") << QStringLiteral("　") << QByteArray("\x81\x40");
        QTest::newRow("kanji") << QStringLiteral("自動") << QByteArray("\x8e\xa9\x93\xae");
        QTest::newRow("emoji becomes ?") << QStringLiteral("a😀b") << QByteArray("a?b");
    }
    void encodesTheBytesOfTheCodePage()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Cp932::encode(text), bytes);
    }

    void roundTripsAndTellsWhatItCannotHold()
    {
        const QString s = QStringLiteral("収入登録画面起動 ～№×ﾎﾞﾀﾝ");
        QCOMPARE(Cp932::decode(Cp932::encode(s)), s);
        QVERIFY(Cp932::canEncode(s));
        QVERIFY(!Cp932::canEncode(QStringLiteral("😀")));
    }

    void atomicWriteReplacesOrLeavesTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(Cp932::writeFileAtomically(path, "one"));
        QVERIFY(Cp932::writeFileAtomically(path, "two"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("two"));
        QString error;
        QVERIFY(!Cp932::writeFileAtomically(dir.filePath(QStringLiteral("no/such/dir.txt")), "x", &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCp932)
#include "tst_cp932.moc"
