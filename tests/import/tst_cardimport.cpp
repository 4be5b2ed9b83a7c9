// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardLedger.h"
#include "Database.h"
#include "ImportLedger.h"
#include "LedgerCheck.h"
#include "Preset.h"
#include "StatementFiles.h"
#include "TestSupport.h"

#include <QTest>

using namespace ImportLedger;

// A card's statement imported as the card's spending, its bill paid by a transfer from the bank:
// the payment is matched in either order of the two imports and never counts as spending.
class TestCardImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempAppDir> m_dir;

    // A セゾン statement: two purchases that make the bill, its payment date as stated.
    static Statement cardStatement(const QString &paymentDate, const QStringList &rows = {})
    {
        QStringList file {"カード名称,セゾンカード", "お支払日," + paymentDate, "今回ご請求額,0000003500", "",
            "利用日,ご利用店名及び商品名,本人・家族区分,支払区分名称,締前入金区分,利用金額,備考"};
        file << (rows.isEmpty()
                ? QStringList {"2026/04/01,スーパー,本人,1回,,2000,", "2026/04/03,書店,本人,1回,,1500,"}
                : rows);
        const QStringList l
            = StatementValues::lines(StatementValues::decode(StatementFiles::bytes(file)).text);
        for (const Preset &p : Preset::builtIns())
            if (p.name == QStringLiteral("セゾンカード"))
                return StatementParser::parse(p, l, QDate(2026, 6, 1));
        return {};
    }
    static StatementLine bankLine(int date, qint32 amount, const QString &text)
    {
        StatementLine l;
        l.lineNo = 2;
        l.date = date;
        l.amount = amount;
        l.description = text;
        l.key = QStringLiteral("fp:%1|%2|%3|1").arg(date).arg(amount).arg(text);
        return l;
    }

    std::optional<qint64> importInto(const QString &place, const QList<Line> &lines,
        std::optional<Bill> bill = {}, QString *refusal = nullptr)
    {
        Database db(m_dir->dbPath());
        db.beginWrite();
        Refusal r;
        const auto no
            = importLines(db, {"2026/06/01 10:00:00", "a.csv", "p", place, std::nullopt, bill}, lines, r);
        if (refusal)
            *refusal = r.message;
        if (no)
            db.commit();
        return no;
    }
    std::optional<qint64> importCard(const Statement &st)
    {
        QList<Line> lines;
        for (const StatementLine &l : st.lines)
            lines << Line {l, QStringLiteral("食費"), QString()};
        return importInto(QStringLiteral("カード"), lines, Bill {*st.paymentDate, *st.billTotal});
    }
    QList<LineState> analyseBank(const QList<StatementLine> &lines)
    {
        Database db(m_dir->dbPath());
        return analyse(db, QStringLiteral("銀行"), lines);
    }
    qint64 balance(const QString &place) const { return m_dir->balance(place); }
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
            "INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('銀行',0,'',''),('財布',0,'',''),"
            "('カード',0,'','')");
        m_dir->exec("INSERT INTO Kubun_T (K_index,K_memo) VALUES ('生活','')");
        m_dir->exec(
            "INSERT INTO Nyuukin_T (N_index,N_kubun,N_hokan,N_memo) VALUES ('給与','生活','銀行','')");
        m_dir->exec("INSERT INTO Syukkin_T (S_index,S_kubun,S_hokan,S_memo) VALUES ('食費','生活','銀行',''),"
                    "('カード払い','生活','銀行','')");
        m_dir->exec("INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES "
                    "('給与','銀行',100000,20260101,'')");
        m_dir->exec("UPDATE Hokan_T SET H_money = 100000 WHERE H_index = '銀行'");
        m_dir->exec("INSERT INTO X_card VALUES ('カード', 10, 7, '銀行', 5000)");
    }

    // The bill is paid on its date or, when the banks are closed then, on the next business day;
    // a day later than that is left to the user. Either import may come first.
    void billAndPaymentInEitherOrder_data()
    {
        QTest::addColumn<bool>("cardFirst");
        QTest::addColumn<QString>("paymentDate");
        QTest::addColumn<int>("bankDate");
        QTest::addColumn<bool>("matched");
        const struct
        {
            const char *name, *due;
            int paid;
            bool matched;
        } cases[] = {
            {"on its day", "2026/05/07", 20260507, true},
            {"Monday after a Saturday", "2026/06/27", 20260629, true},
            {"after 12/31-1/3", "2026/12/31", 20270104, true},
            {"after Golden Week", "2026/05/03", 20260507, true},
            {"a business day late", "2026/05/07", 20260508, false},
            {"Saturday's Monday without the Sunday", "2026/06/27", 20260630, false},
        };
        for (const auto &c : cases)
            for (const bool cardFirst : {true, false})
                QTest::addRow("%s, %s first", c.name, cardFirst ? "card" : "bank")
                    << cardFirst << QString::fromUtf8(c.due) << c.paid << c.matched;
    }
    void billAndPaymentInEitherOrder()
    {
        QFETCH(bool, cardFirst);
        QFETCH(QString, paymentDate);
        QFETCH(int, bankDate);
        QFETCH(bool, matched);
        const Statement card = cardStatement(paymentDate);
        QCOMPARE(card.billTotal, std::optional<qint64>(3500));
        const StatementLine payment = bankLine(bankDate, -3500, "口座振替 セゾン");

        if (cardFirst) {
            QVERIFY(importCard(card));
            QCOMPARE(balance("カード"), -3500);
            const QList<LineState> s = analyseBank({payment});
            QCOMPARE(s.first().state, matched ? State::Matched : State::New);
            if (!matched)
                return verifyReplay();
            QCOMPARE(s.first().item, QStringLiteral("→ カード"));
            QVERIFY(importInto("銀行", {Line {payment, QString(), transferPlace(true, s.first().item)}}));
        } else {
            QVERIFY(importInto("銀行", {Line {payment, QStringLiteral("カード払い"), QString()}}));
            QVERIFY(importCard(card));
        }
        // Spending: the purchases only; the payment is a transfer unless it could not be linked.
        QCOMPARE(m_dir->scalar("SELECT SUM(S_money) FROM S").toInt(), matched ? 3500 : 7000);
        QCOMPARE(m_dir->rows("SELECT I_hokanmoto,I_hokansaki,I_money,I_day,I_memo FROM Idourireki_T"),
            matched ? QStringList {QStringLiteral("銀行|カード|3500|%1|口座振替 セゾン").arg(bankDate)}
                    : QStringList());
        QCOMPARE(balance("銀行"), 96500);
        QCOMPARE(balance("カード"), matched ? 0 : -3500);
        verifyReplay();
        // Matched once: the bank's next download knows the line, and no other line takes the bill.
        const QList<LineState> again = analyseBank({payment, bankLine(bankDate, -3500, "口座振替 セゾン 2")});
        QCOMPARE(again.at(0).state, State::Imported);
        QCOMPARE(again.at(1).state, State::New);
        // Its item is what the payee's line was last given, as for next month's payment.
        QCOMPARE(again.at(1).item, matched ? QStringLiteral("→ カード") : QStringLiteral("カード払い"));
    }

    // The transfer a line was imported as is learnt for its description, and taking the batch
    // back gives both places what they held.
    void transfersAreLearntAndTakenBack()
    {
        const StatementLine atm = bankLine(20260510, -10000, "ATM");
        const StatementLine refund = bankLine(20260511, 300, "ﾍﾝｷﾝ");
        const auto no = importInto("銀行",
            {Line {atm, QString(), QStringLiteral("財布")},
                Line {refund, QString(), QStringLiteral("財布")}});
        QVERIFY(no);
        QCOMPARE(m_dir->rows("SELECT I_hokanmoto,I_hokansaki,I_money FROM Idourireki_T ORDER BY I_day"),
            QStringList({"銀行|財布|10000", "財布|銀行|300"}));
        QCOMPARE(balance("銀行"), 90300);
        QCOMPARE(balance("財布"), 9700);
        verifyReplay();
        const QList<LineState> next
            = analyseBank({bankLine(20260610, -5000, "ａｔｍ"), bankLine(20260611, 100, "ﾍﾝｷﾝ")});
        QCOMPARE(next.at(0).item, QStringLiteral("→ 財布"));
        QCOMPARE(next.at(1).item, QStringLiteral("← 財布"));

        Database db(m_dir->dbPath());
        db.beginWrite();
        Refusal r;
        QVERIFY(undo(db, *no, r));
        db.commit();
        QCOMPARE(balance("銀行"), 100000);
        QCOMPARE(balance("財布"), 0);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM Idourireki_T").toInt(), 0);
    }

    // The card's import stops at its limit, not at zero; a refund is a negative expense of its
    // item, so the item's total is net; taking the card's batch back takes its bill.
    void cardImportAgainstTheLimit()
    {
        QString why;
        const Statement over = cardStatement("2026/05/07", {"2026/04/01,スーパー,本人,1回,,5001,"});
        QVERIFY(!importInto("カード", {Line {over.lines.first(), "食費", {}}}, Bill {20260507, 5001}, &why));
        QCOMPARE(why,
            QStringLiteral(
                "6行目 20260401 スーパー \\5001\r\nカードの利用可能額 \\5000を超えるため出金できません"));
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_card_bill").toInt(), 0);

        const Statement st = cardStatement(
            "2026/05/07", {"2026/04/01,スーパー,本人,1回,,5000,", "2026/04/02,スーパー,本人,1回,,-1200,"});
        const auto no = importCard(st);
        QVERIFY(no);
        QCOMPARE(m_dir->rows("SELECT S_index,S_hokan,S_money FROM S ORDER BY S_date"),
            QStringList({"食費|カード|5000", "食費|カード|-1200"}));
        QCOMPARE(balance("カード"), -3800);
        verifyReplay();
        QCOMPARE(m_dir->rows("SELECT XCB_place,XCB_payment_date,XCB_total,XCB_batch FROM X_card_bill"),
            QStringList {QStringLiteral("カード|20260507|3500|%1").arg(*no)});
        Database db(m_dir->dbPath());
        db.beginWrite();
        Refusal r;
        QVERIFY2(undo(db, *no, r), qPrintable(r.message));
        db.commit();
        QCOMPARE(balance("カード"), 0);
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_card_bill").toInt(), 0);
    }

    // The next download of the same statement: every line known, the bill kept once.
    void aCardStatementImportedAgainIsKnown()
    {
        const Statement st = cardStatement("2026/05/07");
        QVERIFY(importCard(st));
        Database db(m_dir->dbPath());
        for (const LineState &s : analyse(db, QStringLiteral("カード"), st.lines))
            QCOMPARE(s.state, State::Imported);
        db.beginWrite();
        CardLedger::addBill(db, QStringLiteral("カード"), 20260507, 3500, 99);
        db.commit();
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM X_card_bill").toInt(), 1);
    }

    // Statements without a payment date: the card's own closing and payment days give it.
    void paymentDateFromTheCardsDays_data()
    {
        QTest::addColumn<int>("closing");
        QTest::addColumn<int>("payment");
        QTest::addColumn<QDate>("newest");
        QTest::addColumn<int>("billMonth");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("month's end, the 27th") << 31 << 27 << QDate(2026, 4, 20) << 0 << QDate(2026, 5, 27);
        QTest::newRow("on the closing day") << 15 << 10 << QDate(2026, 4, 15) << 0 << QDate(2026, 5, 10);
        QTest::newRow("after the closing day") << 15 << 10 << QDate(2026, 4, 16) << 0 << QDate(2026, 6, 10);
        QTest::newRow("paid in the closing's month")
            << 5 << 27 << QDate(2026, 4, 3) << 0 << QDate(2026, 4, 27);
        QTest::newRow("31 in February") << 31 << 31 << QDate(2026, 1, 31) << 0 << QDate(2026, 2, 28);
        QTest::newRow("month from the heading") << 31 << 27 << QDate(2026, 4, 20) << 5 << QDate(2026, 5, 27);
        QTest::newRow("heading's month across the year")
            << 31 << 27 << QDate(2025, 11, 30) << 1 << QDate(2026, 1, 27);
    }
    void paymentDateFromTheCardsDays()
    {
        QFETCH(int, closing);
        QFETCH(int, payment);
        QFETCH(QDate, newest);
        QFETCH(int, billMonth);
        QFETCH(QDate, expected);
        const CardLedger::Card card {QStringLiteral("カード"), closing, payment, QStringLiteral("銀行"), 0};
        QCOMPARE(CardLedger::paymentDate(card, newest, billMonth), expected);
    }
};

QTEST_GUILESS_MAIN(TestCardImport)
#include "tst_cardimport.moc"
