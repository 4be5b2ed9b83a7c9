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
        QTest::newRow("wave dash") << QStringLiteral("～") << QByteArray("\x81\x60");
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
