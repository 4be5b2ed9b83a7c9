// SPDX-License-Identifier: GPL-3.0-or-later
#include "Database.h"
#include "ImportLedger.h"
#include "LedgerCheck.h"
#include "StatementFiles.h"
#include "TestSupport.h"

#include <QTest>

using namespace ImportLedger;

// The ledger side of an import: states, the write, duplicates, overdraft and undo.
class TestImportLedger : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempAppDir> m_dir;

    static StatementLine line(
        int lineNo, int date, qint32 amount, const QString &text, const QString &id = {})
    {
        StatementLine l;
        l.lineNo = lineNo;
        l.date = date;
        l.amount = amount;
        l.description = text;
        l.rowId = id;
        l.key = id.isEmpty() ? QStringLiteral("fp:%1|%2|%3|1").arg(date).arg(amount).arg(text) : "id:" + id;
        return l;
    }
    static QList<Line> withItems(const QList<StatementLine> &lines)
    {
        QList<Line> out;
        for (const StatementLine &l : lines)
            out << Line {l, l.amount > 0 ? QStringLiteral("給与") : QStringLiteral("食費")};
        return out;
    }

    std::optional<qint64> import(const QList<Line> &lines, QString *refusal = nullptr,
        std::optional<qint32> stocktakeTo = std::nullopt)
    {
        Database db(m_dir->dbPath());
        db.beginWrite();
        Refusal r;
        const auto no = importLines(
            db, {"2024/12/08 10:00:00", "a.csv", "住信SBIネット銀行", "銀行", stocktakeTo}, lines, r);
        if (refusal)
            *refusal = r.message;
        if (no)
            db.commit();
        return no;
    }
    QList<State> states(const QList<StatementLine> &lines)
    {
        Database db(m_dir->dbPath());
        QList<State> out;
        for (const LineState &s : analyse(db, "銀行", lines))
            out << s.state;
        return out;
    }
    qint64 balance() const { return m_dir->balance(QStringLiteral("銀行")); }
    void verifyReplay() const
    {
        const LedgerCheck::Result r = LedgerCheck::check(m_dir->dbPath());
        QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TempAppDir>();
        m_dir->exec(
            "INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',0,'',''),('財布',0,'','')");
        m_dir->exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('生活','')");
        m_dir->exec(
            "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','生活','銀行','')");
        m_dir->exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活','銀行',''),"
                    "('家賃','自動','銀行','')");
        // An opening balance as the income window writes it.
        m_dir->exec(
            "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与','銀行',10000,20241001,'')");
        m_dir->exec("UPDATE Hokan_T SET H_money = 10000 WHERE H_index = '銀行'");
    }

    void importWritesWhatThePostingWindowsWrite()
    {
        const auto no
            = import(withItems({line(3, 20241102, -3000, "ｺﾝﾋﾞﾆ"), line(2, 20241101, 5000, "ｷﾕｳﾖ")}));
        QVERIFY(no);
        QCOMPARE(m_dir->rows("SELECT N_index,N_hokan,N_money,N_date,N_memo FROM N WHERE N_date > 20241001"),
            QStringList({"給与|銀行|5000|20241101|ｷﾕｳﾖ"}));
        QCOMPARE(m_dir->rows("SELECT S_index,S_hokan,S_money,S_date,S_memo FROM S"),
            QStringList({"食費|銀行|3000|20241102|ｺﾝﾋﾞﾆ"}));
        QCOMPARE(balance(), 12000);
        verifyReplay();
        Database db(m_dir->dbPath());
        const QList<BatchInfo> list = batches(db);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().count, 2);
        QCOMPARE(list.first().total, 2000);
        // The next download: both lines known, the item learnt for the description's kana forms.
        const QList<LineState> s
            = analyse(db, "銀行", {line(2, 20241101, 5000, "ｷﾕｳﾖ"), line(9, 20241201, -10, "コンビニ")});
        QCOMPARE(s[0].state, State::Imported);
        QCOMPARE(s[1].state, State::New);
        QCOMPARE(s[1].item, QStringLiteral("食費"));
    }

    // A household counts today's balance, then imports last month's statement: the lines dated
    // before the count are inside it. The count's balance-before takes them, today's balance
    // stays, and taking the import back takes them out of the count again. A line of the
    // count's own day comes after it.
    void linesBeforeAStocktakeAreInsideIt()
    {
        m_dir->exec("UPDATE Hokan_T SET H_money = 429044 WHERE H_index = '銀行'");
        m_dir->exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                    "('銀行',10000,429044,'残高',20241201)");
        const auto no
            = import(withItems({line(2, 20241120, -5830, "ﾃﾞﾝｷ"), line(3, 20241201, -1000, "ｺﾝﾋﾞﾆ")}));
        QVERIFY(no);
        QCOMPARE(balance(), 428044);
        QCOMPARE(m_dir->scalar("SELECT K_bmoney FROM Ktanaorosi_T").toInt(), 4170);
        verifyReplay();
        Database db(m_dir->dbPath());
        db.beginWrite();
        Refusal r;
        QVERIFY2(undo(db, *no, r), qPrintable(r.message));
        db.commit();
        QCOMPARE(balance(), 429044);
        QCOMPARE(m_dir->scalar("SELECT K_bmoney FROM Ktanaorosi_T").toInt(), 10000);
        verifyReplay();
    }

    void overlappingDownloadsImportEachLineOnce()
    {
        const auto first
            = QList<StatementLine> {line(2, 20241101, -100, "A", "1"), line(3, 20241102, -200, "B", "2")};
        const auto second
            = QList<StatementLine> {line(2, 20241102, -200, "B", "2"), line(3, 20241103, -300, "C", "3")};
        QVERIFY(import(withItems(first)));
        QCOMPARE(states(second), QList<State>({State::Imported, State::New}));
        QString why;
        // Importing a known line again is refused as a whole.
        QVERIFY(!import(withItems(second), &why));
        QVERIFY(why.contains("この明細は取込済です"));
        QVERIFY(import(withItems(second.mid(1))));
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM S").toInt(), 3);
        QCOMPARE(balance(), 10000 - 600);
        verifyReplay();
    }

    void twoIdenticalPurchasesAreBothImported()
    {
        StatementLine a = line(2, 20241105, -500, "コンビニ"), b = a;
        b.lineNo = 3;
        b.key.replace(QStringLiteral("|1"), QStringLiteral("|2"));
        QCOMPARE(states({a, b}), QList<State>({State::New, State::New}));
        QVERIFY(import(withItems({a, b})));
        QCOMPARE(
            m_dir->scalar("SELECT COUNT(*) FROM S WHERE S_date = 20241105 AND S_money = 500").toInt(), 2);
        // The rows an import wrote never make its own lines "要確認".
        QCOMPARE(states({a, b}), QList<State>({State::Imported, State::Imported}));
    }

    void checkMatchesPostingsAndDebitsNearby()
    {
        // A purchase typed by hand, and a debit run three days before the bank's line.
        m_dir->exec(
            "INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES ('食費','銀行',700,20241110,'')");
        m_dir->exec("INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES "
                    "('家賃','銀行',80000,20241127)");
        m_dir->exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES "
                    "('家賃','銀行',80000,20241127,'自動引落処理')");
        m_dir->exec(
            "INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES ('食費','財布',900,20241111,'')");
        const QList<State> s = states({line(2, 20241110, -700, "x"), line(3, 20241110, -700, "y"),
            line(4, 20241130, -80000, "ﾔﾁﾝ"), line(5, 20241201, -80000, "ﾔﾁﾝ2"),
            line(6, 20241111, -900, "other place"), line(7, 20241110, 700, "a deposit")});
        // One posting matches one line; 4 days is no longer near; other places and directions do not count.
        QCOMPARE(
            s, QList<State>({State::Check, State::New, State::Check, State::New, State::New, State::New}));
    }

    // Cash drawn and savings received, typed as transfers: the bank's lines for them are to be
    // checked, in their direction only.
    void checkMatchesTransfersOfThePlace()
    {
        m_dir->exec("INSERT INTO Idourireki_T (I_hokanmoto,I_hokansaki,I_money,I_day,I_memo) VALUES "
                    "('銀行','財布',20000,20241105,''),('財布','銀行',3000,20241106,'')");
        QCOMPARE(states({line(2, 20241105, -20000, "ATM"), line(3, 20241105, 20000, "ATM"),
                     line(4, 20241106, 3000, "入金"), line(5, 20241106, -3000, "x")}),
            QList<State>({State::Check, State::New, State::Check, State::New}));
    }

    void overdraftStopsBeforeAnythingIsWritten()
    {
        QString why;
        QVERIFY(!import(withItems({line(2, 20241101, -6000, "A"), line(3, 20241102, 1000, "B"),
                            line(4, 20241103, -5001, "C")}),
            &why));
        QCOMPARE(why, QStringLiteral("4行目 20241103 C \\5001\r\n銀行に \\5000しかないため引落せません"));
        QCOMPARE(balance(), 10000);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM S").toInt(), 0);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_import_batch").toInt(), 0);
        // Exactly the balance is accepted, as in the expense window.
        QVERIFY(import(withItems({line(2, 20241101, -10000, "A")})));
        QCOMPARE(balance(), 0);
    }

    void lineWithoutAValidItemIsRefused()
    {
        QString why;
        QList<Line> l = withItems({line(2, 20241101, 100, "A")});
        l[0].item = QStringLiteral("家賃"); // an automatic debit's item is a withdrawal's only
        QVERIFY(!import(l, &why));
        QVERIFY(why.endsWith("項目を選択して下さい"));
        l[0].item.clear();
        QVERIFY(!import(l, &why));
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_import_line").toInt(), 0);
    }

    // A withdrawal given a debit's item is written as the debit run writes it; the next
    // download knows it, a debit of the same amount nearby is no reason to check another line,
    // and taking the batch back removes both rows.
    void aDebitLineIsWrittenAsTheDebitRunWritesIt()
    {
        QList<Line> l = withItems({line(2, 20241127, -3000, "ｺｳｻﾞﾌﾘｶｴ ﾔﾁﾝ")});
        l[0].item = QStringLiteral("家賃");
        const auto no = import(l);
        QVERIFY(no);
        QCOMPARE(m_dir->rows("SELECT S_index,S_hokan,S_money,S_date,S_memo FROM S"),
            QStringList({"家賃|銀行|3000|20241127|自動引落処理"}));
        QCOMPARE(m_dir->rows("SELECT Z_index,Z_hokan,Z_money,Z_beforeday FROM Zidourireki_T"),
            QStringList({"家賃|銀行|3000|20241127"}));
        QCOMPARE(balance(), 7000);
        verifyReplay();
        {
            Database db(m_dir->dbPath());
            const QList<LineState> s = analyse(db, "銀行",
                {line(2, 20241127, -3000, "ｺｳｻﾞﾌﾘｶｴ ﾔﾁﾝ"), line(3, 20241128, -3000, "ｺｳｻﾞﾌﾘｶｴ ﾔﾁﾝ ﾍﾞﾂ")});
            QCOMPARE(s[0].state, State::Imported);
            QCOMPARE(s[1].state, State::New);
            QCOMPARE(s[1].item, QStringLiteral("家賃"));
            db.beginWrite();
            Refusal r;
            QVERIFY(undo(db, *no, r));
            db.commit();
        }
        QCOMPARE(balance(), 10000);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM S").toInt(), 0);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM Zidourireki_T").toInt(), 0);
        // A debit typed in the debit window is recognised as before.
        m_dir->exec("INSERT INTO Zidourireki_T (Z_index,Z_hokan,Z_money,Z_beforeday) VALUES "
                    "('家賃','銀行',3000,20241125)");
        QCOMPARE(states({line(2, 20241127, -3000, "ｺｳｻﾞﾌﾘｶｴ ﾔﾁﾝ")}), QList<State>({State::Check}));
    }

    void stocktakeFirstSetsTheFilesBalance()
    {
        QVERIFY(import(withItems({line(2, 20241101, -500, "A")}), nullptr, 20000));
        QCOMPARE(m_dir->rows("SELECT K_hokan,K_bmoney,K_amoney,K_riyuu,K_day FROM Ktanaorosi_T"),
            QStringList({"銀行|10000|20000|明細取込|20241101"}));
        QCOMPARE(balance(), 19500);
        verifyReplay();
        Database db(m_dir->dbPath());
        db.beginWrite();
        Refusal r;
        QVERIFY(undo(db, 1, r));
        db.commit();
        QCOMPARE(balance(), 10000);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM Ktanaorosi_T").toInt(), 0);
        verifyReplay();
    }

    // The stocktake sets the balance at the start of the first line's day; postings dated
    // after it keep their effect, so the history still replays to the balance, before and
    // after the undo. A stocktake dated that day or later leaves no room for one.
    void stocktakeBeforeLaterPostingsKeepsTheirEffect()
    {
        m_dir->exec(
            "INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES ('食費','銀行',700,20241120,'')");
        m_dir->exec("UPDATE Hokan_T SET H_money = H_money - 700 WHERE H_index = '銀行'");
        {
            Database db(m_dir->dbPath());
            QCOMPARE(balanceAtStartOf(db, "銀行", 20241101), std::optional<qint32>(10000));
            QCOMPARE(balanceAtStartOf(db, "銀行", 20241121), std::optional<qint32>(9300));
        }
        QVERIFY(import(withItems({line(2, 20241101, -500, "A")}), nullptr, 20000));
        QCOMPARE(m_dir->rows("SELECT K_bmoney,K_amoney,K_day FROM Ktanaorosi_T"),
            QStringList({"10000|20000|20241101"}));
        QCOMPARE(balance(), 20000 - 700 - 500);
        verifyReplay();
        {
            Database db(m_dir->dbPath());
            QCOMPARE(balanceAtStartOf(db, "銀行", 20241101), std::nullopt);
            db.beginWrite();
            Refusal r;
            QVERIFY(undo(db, 1, r));
            db.commit();
        }
        QCOMPARE(balance(), 10000 - 700);
        verifyReplay();

        m_dir->exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                    "('銀行',9300,9300,'',20241125)");
        QString why;
        QVERIFY(!import(withItems({line(2, 20241101, -500, "A")}), &why, 20000));
        QVERIFY2(why.endsWith("銀行にこの日以後の金額棚卸があるため、金額棚卸はできません"), qPrintable(why));
        QCOMPARE(balance(), 9300);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM Ktanaorosi_T").toInt(), 1);
    }

    void undoTakesTheBatchBack()
    {
        const QList<StatementLine> lines {line(2, 20241101, 5000, "A"), line(3, 20241102, -3000, "B")};
        const auto no = import(withItems(lines));
        QVERIFY(no);
        // A posting typed after the import: named before the undo, kept by it.
        m_dir->exec(
            "INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES ('食費','銀行',100,20241103,'')");
        m_dir->exec("UPDATE Hokan_T SET H_money = H_money - 100 WHERE H_index = '銀行'");
        m_dir->exec(
            "INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES ('食費','財布',0,20241103,'')");
        {
            Database db(m_dir->dbPath());
            const Later later = laterThan(db, *no);
            QCOMPARE(later.postings, 1);
            QCOMPARE(later.stocktakes, 0);
            db.beginWrite();
            Refusal r;
            QVERIFY(undo(db, *no, r));
            db.commit();
        }
        QCOMPARE(balance(), 10000 - 100);
        QCOMPARE(m_dir->rows("SELECT S_money FROM S WHERE S_hokan='銀行'"), QStringList({"100"}));
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM N").toInt(), 1);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_import_line").toInt(), 0);
        QCOMPARE(states(lines), QList<State>({State::New, State::New}));
        verifyReplay();
        Database db(m_dir->dbPath());
        Refusal r;
        QVERIFY(!undo(db, *no, r));
        QCOMPARE(r.message, QStringLiteral("この取込はすでに取り消されています"));
    }

    void undoIsRefusedAfterALaterStocktakeOrAChangedRow()
    {
        const auto no = import(withItems({line(2, 20241101, -3000, "B")}));
        QVERIFY(no);
        m_dir->exec("INSERT INTO Ktanaorosi_T (K_hokan,K_bmoney,K_amoney,K_riyuu,K_day) VALUES "
                    "('銀行',7000,7000,'x',20241208)");
        Refusal r;
        {
            Database db(m_dir->dbPath());
            QCOMPARE(laterThan(db, *no).stocktakes, 1);
            QVERIFY(!undo(db, *no, r));
        }
        QVERIFY(r.message.contains("金額棚卸"));
        m_dir->exec("DELETE FROM Ktanaorosi_T");
        m_dir->exec("UPDATE S SET S_money = 2999");
        Database db(m_dir->dbPath());
        QVERIFY(!undo(db, *no, r));
        QCOMPARE(r.message, QStringLiteral("取り込んだ明細が見つからないため取り消せません"));
        QCOMPARE(balance(), 7000);
    }

    // Names are spliced into the statements as quoted text only: a "%1" or "%2" in a place's
    // name neither fails a statement nor counts another place's rows.
    void laterRowsAreCountedForThePlaceAlone_data()
    {
        QTest::addColumn<QString>("place");
        QTest::newRow("%1") << "A%1";
        QTest::newRow("%2") << "A%2";
        QTest::newRow("both, backwards") << "%2%1";
        QTest::newRow("quotes") << "O'Neil's \"財布\"";
    }
    void laterRowsAreCountedForThePlaceAlone()
    {
        QFETCH(QString, place);
        const QString p = "'" + Database::escape(place) + "'";
        m_dir->exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES (" + p + ",10000,'','')");
        for (int i = 0; i < 10; ++i)
            m_dir->exec(
                QStringLiteral("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('A%1',0,'','')")
                    .arg(i));
        std::optional<qint64> no;
        {
            Database db(m_dir->dbPath());
            db.beginWrite();
            Refusal r;
            no = importLines(db, {"2024/12/08 10:00:00", "a%1.csv", "p%2", place, std::nullopt},
                withItems({line(2, 20241101, 5000, "A"), line(3, 20241102, -3000, "B")}), r);
            QVERIFY2(no, qPrintable(r.message));
            db.commit();
        }
        // After the batch: one row of each kind for the place, and for each decoy place.
        const auto later = [&](const QString &who) {
            m_dir->exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与'," + who
                + ",1,20241203,'')");
            m_dir->exec("INSERT INTO S (S_index,S_hokan,S_money,S_date,S_memo) VALUES ('食費'," + who
                + ",1,20241203,'')");
            m_dir->exec("INSERT INTO Idourireki_T VALUES (" + who + ",'財布',1,20241203,'')");
            m_dir->exec("INSERT INTO Ktanaorosi_T VALUES (" + who + ",1,1,'x',20241203)");
        };
        for (int i = 0; i < 10; ++i)
            later(QStringLiteral("'A%1'").arg(i));
        later(p);
        Database db(m_dir->dbPath());
        const Later l = laterThan(db, *no);
        QCOMPARE(l.postings, 3);
        QCOMPARE(l.stocktakes, 1);
        QCOMPARE(batches(db).first().place, place);
        QCOMPARE(batches(db).first().file, QStringLiteral("a%1.csv"));
    }

    // The point of a statement just before a line: the start of its day plus the lines of that
    // day before it that the ledger holds on that day.
    void heldEarlierThatDayCountsOnlyThatDay()
    {
        const QList<StatementLine> lines {line(2, 20241102, -1, "a"), line(3, 20241103, -20, "b"),
            line(4, 20241103, 300, "c"), line(5, 20241103, -4000, "d"), line(6, 20241103, 50000, "e")};
        QList<LineState> states(lines.size());
        for (int i : {0, 1, 3})
            states[i].heldOnItsDay = true;
        QCOMPARE(heldEarlierThatDay(lines, states, 4), -4020);
        QCOMPARE(heldEarlierThatDay(lines, states, 1), 0);
        QCOMPARE(heldEarlierThatDay(lines, states, 0), 0);
    }

    void failureMidwayLeavesNothing()
    {
        {
            StatementRecorder rec;
            rec.failOn = QStringLiteral("X_import_rule");
            QVERIFY_THROWS_EXCEPTION(DbError, import(withItems({line(2, 20241101, -3000, "B")})));
        }
        QCOMPARE(balance(), 10000);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM S").toInt(), 0);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_import_batch").toInt(), 0);
    }

    void placesAndUserPresetsAreRemembered()
    {
        Database db(m_dir->dbPath());
        db.beginWrite();
        rememberPlace(db, "ゆうちょ銀行", "10170-1", "銀行");
        rememberPlace(db, "ゆうちょ銀行", "10170-1", "財布");
        Preset p = Preset::builtIns().first();
        p.name = "O'Brien 銀行";
        saveUserPreset(db, p);
        saveUserPreset(db, p);
        db.commit();
        QCOMPARE(rememberedPlace(db, "ゆうちょ銀行", "10170-1"), QStringLiteral("財布"));
        QCOMPARE(rememberedPlace(db, "ゆうちょ銀行", "other"), QString());
        QCOMPARE(userPresets(db).size(), 1);
        QCOMPARE(userPresets(db).first().name, p.name);
    }
};

QTEST_GUILESS_MAIN(TestImportLedger)
#include "tst_importledger.moc"
