// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"
#include "Cp932.h"
#include "Database.h"
#include "LedgerGenerator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fileDigest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestBenchSupport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_cache.isValid());
        qputenv("VELMO_LEDGER_CACHE", QFile::encodeName(m_cache.path()));
    }

    void cachedLedgersAreKeyedBySizeAndSeedAndMadeOnce()
    {
        const QString a = BenchSupport::cachedLedger(800, 3);
        QVERIFY(QFileInfo(a).isFile());
        QCOMPARE(QFileInfo(a).path(), m_cache.path());
        const QDateTime made = QFileInfo(a).lastModified();
        const QByteArray digest = fileDigest(a);

        QCOMPARE(BenchSupport::cachedLedger(800, 3), a);
        QCOMPARE(QFileInfo(a).lastModified(), made);
        QCOMPARE(fileDigest(a), digest);

        const QString otherSeed = BenchSupport::cachedLedger(800, 4);
        const QString otherSize = BenchSupport::cachedLedger(900, 3);
        QVERIFY(otherSeed != a && otherSize != a && otherSeed != otherSize);
        QVERIFY(fileDigest(otherSeed) != digest);
        // Only finished ledgers are left in the cache.
        QCOMPARE(QDir(m_cache.path()).entryList(QDir::Files).size(), 3);
    }

    void appDirWritesOnItsOwnCopy()
    {
        const QString cached = BenchSupport::cachedLedger(800, 3);
        const QByteArray digest = fileDigest(cached);
        BenchSupport::AppDir dir(800, 3, 25);
        QVERIFY(dir.path() != m_cache.path());
        QCOMPARE(fileDigest(dir.dbPath()), digest);
        QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("yazirusi.gif"))));
        {
            Database db(dir.dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = 1 WHERE H_index = '財布'"));
            db.commit();
        }
        QVERIFY(fileDigest(dir.dbPath()) != digest);
        QCOMPARE(fileDigest(cached), digest);
    }

    void anEmptyAppDirHasAFreshLedger()
    {
        BenchSupport::AppDir dir(0);
        Database db(dir.dbPath());
        QVERIFY(db.query(QStringLiteral("SELECT * FROM N")).eof());
        QCOMPARE(db.query(QStringLiteral("SELECT K_index FROM Kubun_T")).text(QStringLiteral("K_index")),
            QStringLiteral("自動"));
        QFile log(dir.logPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.size(), 0);
    }

    // The long logs of the benchmarks look like the program's own: cp932, CR LF, newest first.
    void logTextIsAProgramLog()
    {
        const QString text = Cp932::decode(BenchSupport::logText(500));
        QVERIFY(text.endsWith(QStringLiteral("\r\n")));
        const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 500);
        const QRegularExpression form(
            QStringLiteral("^(\\d{4}/\\d\\d/\\d\\d \\d{1,2}:\\d\\d:\\d\\d),[^,]+$"));
        QDateTime previous;
        for (const QString &line : lines) {
            const QRegularExpressionMatch m = form.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            const QDateTime at = QDateTime::fromString(m.captured(1), QStringLiteral("yyyy/MM/dd H:mm:ss"));
            QVERIFY(at.isValid());
            if (previous.isValid())
                QVERIFY(at < previous);
            previous = at;
        }
        QVERIFY(text.contains(QStringLiteral("AP終了(ﾎﾞﾀﾝ)")));
    }

    void theHugeLedgerOnlyOnRequest()
    {
        qunsetenv("VELMO_BENCH_HUGE");
        auto sizes = BenchSupport::ledgerSizes();
        QCOMPARE(sizes.size(), size_t(1));
        QCOMPARE(sizes[0].postings, LedgerGenerator::LargePostings);
        qputenv("VELMO_BENCH_HUGE", "1");
        sizes = BenchSupport::ledgerSizes();
        qunsetenv("VELMO_BENCH_HUGE");
        QCOMPARE(sizes.size(), size_t(2));
        QCOMPARE(sizes[1].name, QStringLiteral("huge"));
        QCOMPARE(sizes[1].postings, LedgerGenerator::HugePostings);
    }

private:
    QTemporaryDir m_cache;
};

QTEST_GUILESS_MAIN(TestBenchSupport)
#include "tst_benchsupport.moc"
