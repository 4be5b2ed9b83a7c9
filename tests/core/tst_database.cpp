// SPDX-License-Identifier: GPL-3.0-or-later
#include "Amount.h"
#include "Database.h"
#include "FileTestSupport.h"
#include "SqlDialect.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <limits>

// The statement forms the windows write, run against a real ledger made from the schema.
class TestDatabase : public QObject
{
    Q_OBJECT

private:
    static void addIncome(Database &db, const QString &item, int money, int date)
    {
        db.insert(QStringLiteral("N"),
            {{"N_index", item}, {"N_hokan", "財布"}, {"N_money", money}, {"N_date", date}, {"N_memo", ""}});
    }

private slots:
    void likeWithStarMatchesOneMonthOfAnIntegerDate()
    {
        TempAppDir dir;
        Database db(dir.dbPath());
        for (int d : {20030831, 20030901, 20030917, 20030930, 20031001, 20020917})
            addIncome(db, QStringLiteral("給与"), 100, d);
        Cursor c = db.query(QStringLiteral("SELECT * FROM N WHERE N_date like '200309*'"));
        QStringList dates;
        for (; !c.eof(); c.next())
            dates << c.text(QStringLiteral("N_date"));
        QCOMPARE(dates, QStringList({"20030901", "20030917", "20030930"}));
        QCOMPARE(c.count(), 3);

        // The Between form with a day-31 upper bound returns the same rows.
        Cursor b
            = db.query(QStringLiteral("SELECT N_date FROM N where N_date Between 20030901 And 20030931"));
        int n = 0;
        for (; !b.eof(); b.next())
            ++n;
        QCOMPARE(n, 3);
    }

    void readingTheRestAtOnceGivesWhatRowByRowReadingGives()
    {
        TempAppDir dir;
        Database db(dir.dbPath());
        addIncome(db, QStringLiteral("給与"), -1200, 20030901);
        addIncome(db, QStringLiteral("賞与（冬）"), 0, 20031215);
        addIncome(db, QStringLiteral("利息"), 2147483647, 20040101);
        db.execute(QStringLiteral("INSERT INTO N (N_index, N_money) VALUES ('未設定', NULL)"));
        const QString sql = QStringLiteral("SELECT * FROM N ORDER BY N_date");
        const QStringList columns {"N_memo", "N_index", "N_money", "N_date"};
        QStringList expected;
        for (Cursor c = db.query(sql); !c.eof(); c.next()) {
            for (const QString &col : columns)
                expected << c.text(col);
        }

        // From the first row, and from the middle, where row-by-row reading left off.
        for (int skip : {0, 2}) {
            Cursor c = db.query(sql);
            std::vector<int> positions;
            for (const QString &col : columns)
                positions.push_back(c.indexOf(col));
            for (int i = 0; i < skip; ++i)
                c.next();
            QStringList got;
            std::vector<int> order;
            c.readTexts(positions, [&](int position, QStringView text) {
                order.push_back(position);
                got << text.toString();
            });
            QCOMPARE(got, expected.mid(skip * columns.size()));
            QCOMPARE(order.size(), got.size());
            QCOMPARE(order.back(), 3);
            QVERIFY(c.eof());
            QCOMPARE(c.count(), 4);
        }
        Cursor c = db.query(sql);
        QVERIFY_THROWS_EXCEPTION(DbError, c.readTexts({7}, [](int, QStringView) {}));
    }

    void readingTheRestAtOnceDecodesAsQtDoes()
    {
        // Generated texts of every width of UTF-8 character, with the forms a decoder must
        // refuse (overlong, surrogates, stray and cut-short bytes) at any place, and integers of
        // any size: each read at once as the text Qt makes of the same bytes or number.
        TempAppDir dir;
        Database db(dir.dbPath());
        db.beginWrite();
        db.execute(QStringLiteral("CREATE TABLE X_texts (a, b)"));
        const QList<QByteArray> pieces {"a", "7", " ", "\xc3\xa9", "\xe3\x81\x82", "\xe6\xbc\xa2",
            "\xef\xbd\xb6", "\xf0\x9f\x98\x80", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\x80",
            "\xe3\x81", "\xc3", "\xff", "\xf4\x90\x80\x80"};
        QRandomGenerator random(8);
        QList<QByteArray> texts;
        QList<qint64> numbers {0, -1, 9, 10, -2147483648LL, std::numeric_limits<qint64>::min(),
            std::numeric_limits<qint64>::max()};
        for (int row = 0; row < 400; ++row) {
            QByteArray t;
            for (int n = random.bounded(8); n > 0; --n)
                t += pieces.at(random.bounded(int(pieces.size())));
            texts << t;
            if (row >= numbers.size())
                numbers << (qint64(random.generate64()) >> random.bounded(64));
            db.execute(QStringLiteral("INSERT INTO X_texts (a, b) VALUES (CAST(? AS TEXT), ?)"),
                {t, numbers.at(row)});
        }
        db.commit();
        Cursor c = db.query(QStringLiteral("SELECT a, b FROM X_texts ORDER BY rowid"));
        QStringList got;
        c.readTexts({0, 1}, [&](int, QStringView text) { got << text.toString(); });
        QCOMPARE(got.size(), texts.size() * 2);
        for (int row = 0; row < texts.size(); ++row) {
            QCOMPARE(got.at(2 * row), QString::fromUtf8(texts.at(row)));
            QCOMPARE(got.at(2 * row + 1), QString::number(numbers.at(row)));
        }
    }

    void deleteFormsRemoveWholeRows()
    {
        TempAppDir dir;
        dir.exec(
            "INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',0,'',''),('銀行',0,'','')");
        dir.exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('給与','')");
        dir.exec("INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','給与','財布','')");
        dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('家賃','自動','銀行','')");
        {
            Database db(dir.dbPath());
            db.execute(QStringLiteral("DELETE H_index FROM Hokan_T WHERE (H_index = '財布')"));
            db.execute(QStringLiteral("DELETE K_index FROM kubun_T WHERE (K_index = '給与')"));
            db.execute(QStringLiteral("DELETE * FROM Nyuukin_T WHERE (N_index = '給与')"));
            db.execute(QStringLiteral("DELETE * FROM Syukkin_T WHERE (S_index = '家賃')"));
        }
        QCOMPARE(dir.rows("SELECT H_index FROM Hokan_T"), QStringList({"銀行"}));
        QCOMPARE(dir.rows("SELECT K_index FROM Kubun_T"), QStringList({"自動"}));
        QCOMPARE(dir.scalar("SELECT count(*) FROM Nyuukin_T").toInt(), 0);
        QCOMPARE(dir.scalar("SELECT count(*) FROM Syukkin_T").toInt(), 0);
    }

    void notEqualAndMixedCaseNames()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('家賃','自動','銀行',''),"
                 "('食費','生活','財布','')");
        Database db(dir.dbPath());
        Cursor c
            = db.query(QStringLiteral("SELECT S_index,S_Kubun FROM Syukkin_T where Not S_kubun = '自動'"));
        QVERIFY(!c.eof());
        QCOMPARE(c.text(QStringLiteral("S_INDEX")), QStringLiteral("食費"));
        QCOMPARE(c.text(QStringLiteral("s_kubun")), QStringLiteral("生活"));
        c.next();
        QVERIFY(c.eof());
    }

    void quotedDigitsAndBareNumbersStoreTheSameInteger()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('A',0,'',''),('B',0,'','')");
        {
            Database db(dir.dbPath());
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = '1500' WHERE H_index = 'A'"));
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = 1500 WHERE H_index = 'B'"));
        }
        QCOMPARE(dir.rows("SELECT typeof(H_money), H_money FROM Hokan_T"),
            QStringList({"integer|1500", "integer|1500"}));
        // The stocktake's before-balance is written as text and stored as its number.
        {
            Database db(dir.dbPath());
            db.insert(QStringLiteral("Ktanaorosi_T"),
                {{"K_hokan", "A"}, {"K_Bmoney", QStringLiteral("1500")}, {"K_Amoney", 800}, {"K_riyuu", ""},
                    {"K_day", 20031001}});
        }
        QCOMPARE(dir.scalar("SELECT typeof(K_bmoney) || K_bmoney FROM Ktanaorosi_T").toString(),
            QStringLiteral("integer1500"));
    }

    void quotesInNamesAreData()
    {
        TempAppDir dir;
        const QString name = QStringLiteral("母's財布*");
        {
            Database db(dir.dbPath());
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = 1 WHERE H_index = '")
                + Database::escape(name) + "'");
            db.insert(QStringLiteral("Hokan_T"),
                {{"H_index", name}, {"H_money", 7}, {"H_name", ""}, {"H_memo", ""}});
            Cursor c = db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index= '")
                + Database::escape(name) + "')");
            QVERIFY(!c.eof());
            QCOMPARE(c.integer(QStringLiteral("H_money")), 7);
            QCOMPARE(c.text(QStringLiteral("H_index")), name);
        }
        {
            // An injection attempt is a name like any other.
            Database db(dir.dbPath());
            const QString evil = QStringLiteral("'); DELETE FROM Hokan_T; --");
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_memo = '") + Database::escape(evil)
                + "' WHERE H_index = '" + Database::escape(name) + "'");
        }
        QCOMPARE(dir.rows("SELECT H_memo FROM Hokan_T"), QStringList({"'); DELETE FROM Hokan_T; --"}));
    }

    void dialectTranslation_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("like") << "SELECT * FROM N WHERE N_date like '200309*'"
                              << "SELECT * FROM N WHERE N_date like '200309%' ESCAPE '\\'";
        QTest::newRow("star in equality stays") << "SELECT * FROM N WHERE N_index = 'a*b'"
                                                << "SELECT * FROM N WHERE N_index = 'a*b'";
        QTest::newRow("percent in like is literal") << "x LIKE '5%*'"
                                                    << "x LIKE '5\\%%' ESCAPE '\\'";
        QTest::newRow("delete column") << "DELETE H_index FROM Hokan_T WHERE (H_index = 'FROM')"
                                       << "DELETE FROM Hokan_T WHERE (H_index = 'FROM')";
        QTest::newRow("delete star") << "delete * from N"
                                     << "delete from N";
        QTest::newRow("like word in literal") << "SELECT 'like' , 'a*'"
                                              << "SELECT 'like' , 'a*'";
        QTest::newRow("doubled quote") << "x like 'it''s*'"
                                       << "x like 'it''s%' ESCAPE '\\'";
    }
    void dialectTranslation()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(SqlDialect::translate(in), out);
    }

    void missingFileIsNotCreated()
    {
        TempAppDir dir(false);
        QVERIFY_THROWS_EXCEPTION(DbError, Database db(dir.dbPath()));
        QVERIFY(!QFile::exists(dir.dbPath()));
    }

    void brokenFilesFailCleanly()
    {
        TempAppDir dir(false);
        QFile f(dir.dbPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        bool failed = false;
        try {
            Database db(dir.dbPath());
            db.query(QStringLiteral("SELECT * FROM Hokan_T"));
        } catch (const DbError &) {
            failed = true;
        }
        QVERIFY(failed);
    }

    void lockedFileFailsWithinTheBusyTimeout()
    {
        REQUIRE_PROGRAM("sqlite3", "sqlite3");
        TempAppDir dir;
        // Another process holds a write transaction on the ledger.
        QProcess holder;
        holder.start(QStringLiteral("sqlite3"), {dir.dbPath()});
        QVERIFY(holder.waitForStarted());
        holder.write("BEGIN EXCLUSIVE; INSERT INTO Kubun_T (K_index,K_memo) VALUES ('x','');\n"
                     "SELECT 'locked';\n");
        QVERIFY(holder.waitForReadyRead(5000));
        bool failed = false;
        try {
            Database db(dir.dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = 1"));
            db.commit();
        } catch (const DbError &) {
            failed = true;
        }
        holder.write(".quit\n");
        holder.closeWriteChannel();
        holder.waitForFinished();
        QVERIFY(failed);
        QCOMPARE(dir.scalar("SELECT count(*) FROM Kubun_T").toInt(), 1);
    }

    void failureMidActionLeavesNothingApplied()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('A',100,'',''),('B',0,'','')");
        StatementRecorder rec;
        rec.failOn = QStringLiteral("'B'");
        try {
            Database db(dir.dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = '0' WHERE H_index = 'A'"));
            db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = '100' WHERE H_index = 'B'"));
            db.commit();
            QFAIL("the injected failure did not surface");
        } catch (const DbError &) { }
        QCOMPARE(dir.rows("SELECT H_money FROM Hokan_T ORDER BY H_no"), QStringList({"100", "0"}));
        QCOMPARE(rec.statements.size(), 2);
    }

    void uncommittedWorkIsRolledBackAndCommittedWorkIsSeenByASecondConnection()
    {
        TempAppDir dir;
        {
            Database db(dir.dbPath());
            db.beginWrite();
            db.execute(QStringLiteral("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('lost','')"));
        }
        QCOMPARE(dir.scalar("SELECT count(*) FROM Kubun_T").toInt(), 1);
        Database first(dir.dbPath());
        first.beginWrite();
        first.execute(QStringLiteral("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('kept','')"));
        first.commit();
        Database second(dir.dbPath());
        QCOMPARE(
            second.query(QStringLiteral("SELECT count(*) AS n FROM Kubun_T")).integer(QStringLiteral("n")),
            2);
    }

    void insertedTextIsNeverNull()
    {
        TempAppDir dir;
        {
            Database db(dir.dbPath());
            db.insert(QStringLiteral("N"),
                {{"N_index", "給与"}, {"N_hokan", "財布"}, {"N_money", 1}, {"N_date", 20030917},
                    {"N_memo", QString()}});
        }
        QCOMPARE(dir.scalar("SELECT typeof(N_memo) FROM N").toString(), QStringLiteral("text"));
    }

    void autoNumbersAreNeverReused()
    {
        TempAppDir dir;
        Database db(dir.dbPath());
        db.insert(QStringLiteral("Kubun_T"), {{"K_index", "a"}, {"K_memo", ""}});
        db.insert(QStringLiteral("Kubun_T"), {{"K_index", "b"}, {"K_memo", ""}});
        db.execute(QStringLiteral("DELETE K_index FROM kubun_T WHERE (K_index = 'b')"));
        db.insert(QStringLiteral("Kubun_T"), {{"K_index", "c"}, {"K_memo", ""}});
        QCOMPARE(db.query(QStringLiteral("SELECT K_no FROM Kubun_T WHERE K_index = 'c'")).integer("K_no"), 4);
    }

    void cursorConversions()
    {
        TempAppDir dir;
        dir.exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('A',NULL,NULL,''),"
                 "('B',4294967296,'x',''),('C',12.7,'','')");
        Database db(dir.dbPath());
        Cursor c = db.query(QStringLiteral("SELECT * FROM Hokan_T ORDER BY H_no"));
        QCOMPARE(c.text(QStringLiteral("H_name")), QString());
        QVERIFY_THROWS_EXCEPTION(DbError, c.integer(QStringLiteral("H_money")));
        c.next();
        QVERIFY_THROWS_EXCEPTION(DbError, c.integer(QStringLiteral("H_money")));
        QCOMPARE(c.integer64(QStringLiteral("H_money")), Q_INT64_C(4294967296));
        c.next();
        QCOMPARE(c.integer(QStringLiteral("H_money")), 12);
        QVERIFY_THROWS_EXCEPTION(DbError, c.text(QStringLiteral("no_such_column")));
    }

    void amountsAreChecked()
    {
        QCOMPARE(Amount::add(2147483000, 647), 2147483647);
        QVERIFY_THROWS_EXCEPTION(DbError, Amount::add(2147000000, 1000000));
        QVERIFY_THROWS_EXCEPTION(DbError, Amount::sub(-2147483647, 2));
        QCOMPARE(Amount::parse(QStringLiteral("2147483647")), std::optional<qint32>(2147483647));
        for (const char *bad : {"2147483648", "", "-1", "+1", " 1", "１２", "12345678901", "1.0", "1,000"})
            QVERIFY2(!Amount::parse(QString::fromUtf8(bad)), bad);
        QCOMPARE(Amount::parse(QStringLiteral("0007")), std::optional<qint32>(7));
        QCOMPARE(Amount::parseSigned(QStringLiteral("-15")), std::optional<qint32>(-15));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
