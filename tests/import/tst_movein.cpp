// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"
#include "Cp932.h"
#include "Database.h"
#include "LedgerCheck.h"
#include "MoveIn.h"
#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace MoveIn;

namespace {

const QDate Today(2026, 12, 9);

// A household's books as the generator makes them: incomes, expenses and transfers between its
// places, and what each place holds today.
struct Household
{
    struct Line
    {
        int date = 0;
        qint32 amount = 0; // into `place` positive
        QString place, other; // other: a transfer's destination
        QString category, item, memo;
        bool counted = true;
    };
    QList<Line> lines;
    QStringList places;
    QHash<QString, qint32> today; // the figure typed for today
};

// Names hold quotes, percent signs and commas: they travel through CSV quoting and bound values.
Household generate(quint32 seed, int count, bool transfers)
{
    QRandomGenerator rng(seed);
    Household h;
    h.places = {"財布", "みずほ \"普通\"", "カード%1"};
    const QList<QStringList> expense = {{"食費", "食料品"}, {"食費", "外食"}, {"住宅", "家賃, 共益費"},
        {"日用品", "その他"}, {"趣味", "その他"}};
    const QList<QStringList> income = {{"収入", "給与"}, {"収入", "賞与 100%"}};
    QDate day = Today.addYears(-2);
    for (int i = 0; i < count; ++i) {
        day = day.addDays(rng.bounded(2));
        if (day > Today)
            day = Today;
        Household::Line l;
        l.date = day.year() * 10000 + day.month() * 100 + day.day();
        l.place = h.places.at(rng.bounded(h.places.size()));
        const int kind = rng.bounded(10);
        if (transfers && kind == 0) {
            do
                l.other = h.places.at(rng.bounded(h.places.size()));
            while (l.other == l.place);
            l.amount = -qint32(rng.bounded(1, 50000));
        } else if (kind <= 2) {
            const QStringList &c = income.at(rng.bounded(income.size()));
            l.category = c.at(0), l.item = c.at(1);
            l.amount = qint32(rng.bounded(1, 400000));
        } else {
            const QStringList &c = expense.at(rng.bounded(expense.size()));
            l.category = c.at(0), l.item = c.at(1);
            l.amount = -qint32(rng.bounded(1, 30000));
        }
        l.memo = QStringLiteral("明細%1 \"引用\" 50%").arg(i);
        h.lines << l;
    }
    for (const QString &p : h.places)
        h.today.insert(p, qint32(rng.bounded(0, 1000000)));
    return h;
}

QString csv(const QString &field)
{
    return u'"' + QString(field).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString dateText(int yyyymmdd, QChar sep)
{
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QChar(u'0')); };
    return QString::number(yyyymmdd / 10000) + sep + two(yyyymmdd / 100 % 100) + sep + two(yyyymmdd % 100);
}

// The history export: one file a month, newest line first, a transfer as two lines.
QList<SourceFile> historyFiles(const Household &h)
{
    QMap<int, QStringList> months;
    int id = 0;
    for (const Household::Line &l : h.lines) {
        const auto write = [&](const QString &place, qint32 amount, bool transfer) {
            months[l.date / 100].prepend(QStringList {csv(l.counted ? "1" : "0"), csv(dateText(l.date, u'/')),
                csv(l.memo), csv(QString::number(amount)), csv(place), csv(transfer ? "未分類" : l.category),
                csv(transfer ? "未分類" : l.item), csv(""), csv(transfer ? "1" : "0"),
                csv(QStringLiteral("id%1").arg(id++))}
                                             .join(u','));
        };
        write(l.place, l.amount, !l.other.isEmpty());
        if (!l.other.isEmpty())
            write(l.other, -l.amount, true);
    }
    QList<SourceFile> files;
    for (auto it = months.begin(); it != months.end(); ++it)
        files.append({QStringLiteral("収入・支出詳細_%1.csv").arg(it.key()),
            Cp932::encode(
                "\"計算対象\",\"日付\",\"内容\",\"金額（円）\",\"保有金融機関\",\"大項目\",\"中項目\","
                "\"メモ\",\"振替\",\"ID\"\r\n"
                + it.value().join("\r\n") + "\r\n")});
    return files;
}

QList<SourceFile> zaimFiles(const Household &h)
{
    QStringList out {
        "日付,方法,カテゴリ,カテゴリの内訳,支払元,入金先,品目,メモ,お店,通貨,収入,支出,振替,残高調"
        "整,通貨変換前の金額,集計の設定"};
    for (const Household::Line &l : h.lines) {
        const bool in = l.amount > 0, transfer = !l.other.isEmpty();
        const QString money = QString::number(qAbs(l.amount));
        out << QStringList {dateText(l.date, u'-'),
            transfer ? "transfer"
                : in ? "income"
                     : "payment",
            transfer ? "-" : csv(l.category), transfer ? "-" : csv(l.item), in ? "-" : csv(l.place),
            in             ? csv(l.place)
                : transfer ? csv(l.other)
                           : "-",
            "-", csv(l.memo), "-", "JPY", in ? money : "0", !in && !transfer ? money : "0",
            transfer ? money : "0", "0", "", "常に集計に含める"}
                   .join(u',');
    }
    return {{"Zaim.csv", QByteArray("\xEF\xBB\xBF") + out.join("\r\n").toUtf8()}};
}

Preset sheetPreset()
{
    QString error;
    const Preset p
        = Preset::fromJson(R"({"name": "家計簿シート", "headings": [["日付", "摘要", "入金", "出金",
        "分類", "項目", "口座"]], "date": "日付", "description": "摘要", "in": "入金", "out": "出金",
        "category": "分類", "item": "項目", "place": "口座"})",
            &error);
    return p;
}

QList<SourceFile> sheetFiles(const Household &h)
{
    QStringList out {"日付,摘要,入金,出金,分類,項目,口座"};
    for (const Household::Line &l : h.lines)
        out << QStringList {dateText(l.date, u'/'), csv(l.memo),
            l.amount > 0 ? QString::number(l.amount) : "", l.amount < 0 ? QString::number(-l.amount) : "",
            csv(l.category), csv(l.item), csv(l.place)}
                   .join(u',');
    return {{"家計簿.csv", Cp932::encode(out.join("\r\n"))}};
}

} // namespace

// Moving in: the layouts read back against the household they were written from, the ledger
// they end in, a second move-in of the same files, taking it back, and bad input.
class TestMoveIn : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempAppDir> m_dir;

    Plan planOf(const Reading &r)
    {
        Database db(m_dir->dbPath());
        return plan(db, r);
    }
    // Applies the plan as one action; the refusal, or "" when done.
    QString applyAsAction(const Plan &p)
    {
        Database db(m_dir->dbPath());
        db.beginAction("F_iten", "他の家計簿から移行", QDateTime(Today, QTime(10, 0)));
        QString refusal;
        if (apply(db, p, Today, refusal))
            db.commit();
        return refusal;
    }
    void setBalances(Plan &p, const Household &h)
    {
        for (PlaceEntry &e : p.places)
            e.balance = h.today.value(e.source);
    }

private slots:
    void init() { m_dir = std::make_unique<TempAppDir>(); }

    void roundTrip_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("transfers");
        QTest::newRow("history") << int(Layout::History) << true;
        QTest::newRow("zaim") << int(Layout::Zaim) << true;
        QTest::newRow("sheet") << int(Layout::Sheet) << false;
    }
    void roundTrip()
    {
        QFETCH(int, layout);
        QFETCH(bool, transfers);
        const Household h = generate(40 + layout, 600, transfers);
        const QList<SourceFile> files = layout == int(Layout::History) ? historyFiles(h)
            : layout == int(Layout::Zaim)                              ? zaimFiles(h)
                                                                       : sheetFiles(h);
        const std::optional<Preset> preset
            = layout == int(Layout::Sheet) ? std::optional<Preset>(sheetPreset()) : std::nullopt;
        const Reading r = read(files, Today, preset);
        QVERIFY2(r.refusal.isEmpty(), qPrintable(r.refusal));
        QCOMPARE(int(r.layout), layout);
        QVERIFY2(r.bad.isEmpty(), qPrintable(r.bad.value(0).text + u' ' + r.bad.value(0).reason));
        QCOMPARE(r.rows.size(), h.lines.size());

        Plan p = planOf(r);
        QCOMPARE(p.places.size(), h.places.size());
        setBalances(p, h);
        QCOMPARE(applyAsAction(p), QString());

        // The ledger against the household: each place ends at its figure, each item holds its
        // lines' total, each transfer is one row, and the history replays to the balances.
        // An item standing under two categories takes its category's name along.
        QHash<QString, QSet<QString>> categoriesOf;
        for (const Household::Line &l : h.lines)
            if (l.other.isEmpty())
                categoriesOf[(l.amount > 0 ? "N|" : "S|") + l.item].insert(l.category);
        QHash<QString, qint64> items;
        qint64 moved = 0;
        int transferCount = 0;
        for (const Household::Line &l : h.lines) {
            if (!l.other.isEmpty()) {
                moved += -l.amount;
                ++transferCount;
                continue;
            }
            const QString key = (l.amount > 0 ? "N|" : "S|") + l.item;
            items[categoriesOf.value(key).size() > 1 ? key + "（" + l.category + "）" : key]
                += qAbs(l.amount);
        }
        for (const QString &place : h.places)
            QCOMPARE(m_dir
                         ->scalar(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = '%1'")
                                      .arg(QString(place).replace("'", "''")))
                         .toLongLong(),
                qint64(h.today.value(place)));
        for (auto it = items.begin(); it != items.end(); ++it) {
            const QString side = it.key().left(1), item = it.key().mid(2);
            QCOMPARE(m_dir
                         ->scalar(QStringLiteral("SELECT SUM(%1_money) FROM %1 WHERE %1_index = '%2'")
                                      .arg(side, QString(item).replace("'", "''")))
                         .toLongLong(),
                it.value());
        }
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM Idourireki_T").toInt(), transferCount);
        QCOMPARE(m_dir->scalar("SELECT COALESCE(SUM(I_money),0) FROM Idourireki_T").toLongLong(), moved);
        QCOMPARE(
            m_dir->scalar("SELECT COUNT(*) FROM N").toInt() + m_dir->scalar("SELECT COUNT(*) FROM S").toInt(),
            int(h.lines.size()) - transferCount);
        const LedgerCheck::Result check = LedgerCheck::check(m_dir->dbPath());
        QVERIFY2(check.ok(), qPrintable(check.problems.join('\n')));

        // The same files again: every line is recognised as moved in, nothing is offered.
        const Plan again = planOf(read(files, Today, preset));
        QVERIFY(std::all_of(again.already.begin(), again.already.end(), [](bool b) { return b; }));
        for (const PlaceEntry &e : again.places)
            QVERIFY(e.exists);
        const QStringList before = ledgerDump(m_dir->dbPath());
        QVERIFY(applyAsAction(again).contains("移行する明細がありません"));
        QCOMPARE(ledgerDump(m_dir->dbPath()), before);
    }

    // The whole move-in is one entry of the history; taking it back leaves the ledger as it was.
    void takenBackWhole()
    {
        m_dir->exec("INSERT INTO Hokan_T (H_index,H_money,H_name,H_memo) VALUES ('財布',5000,'','')");
        m_dir->exec(
            "INSERT INTO N (N_index,N_hokan,N_money,N_date,N_memo) VALUES ('給与','財布',5000,20261201,'')");
        const QStringList before = ledgerDump(m_dir->dbPath());
        const Household h = generate(7, 200, true);
        Plan p = planOf(read(historyFiles(h), Today));
        setBalances(p, h);
        QCOMPARE(applyAsAction(p), QString());
        Database db(m_dir->dbPath());
        const QList<ActionHistory::Entry> entries = ActionHistory::recent(db);
        QCOMPARE(entries.size(), 1);
        db.beginAction("F_undo", "元に戻す", QDateTime(Today, QTime(11, 0)));
        QCOMPARE(ActionHistory::takeBack(db, entries.first().no), QString());
        db.commit();
        QCOMPARE(ledgerDump(m_dir->dbPath()), before);
    }

    // Halves without their partner, 計算対象 0, and the balance of a place whose history dips
    // below 0 (counted today instead of before its first line).
    void halvesAndCounts()
    {
        const QByteArray file = Cp932::encode(
            "\"計算対象\",\"日付\",\"内容\",\"金額（円）\",\"保有金融機関\",\"大項目\",\"中項目\",\"メモ\","
            "\"振替\",\"ID\"\r\n"
            "\"1\",\"2026/11/03\",\"ATM\",\"-10000\",\"銀行\",\"未分類\",\"未分類\",\"\",\"1\",\"a\"\r\n"
            "\"0\",\"2026/11/02\",\"立替\",\"-800\",\"財布\",\"食費\",\"外食\",\"\",\"0\",\"b\"\r\n"
            "\"1\",\"2026/11/01\",\"スーパー\",\"-3000\",\"財布\",\"食費\",\"食料品\",\"\",\"0\",\"c\"\r\n"
            "\"1\",\"2026/11/04\",\"給与\",\"250000\",\"銀行\",\"収入\",\"給与\",\"\",\"0\",\"d\"\r\n");
        Plan p = planOf(read({{"a.csv", file}}, Today));
        QCOMPARE(p.rows.size(), 4);
        QCOMPARE(p.take, (QList<bool> {true, false, true, true}));
        QVERIFY(p.rows.at(2).transfer && p.rows.at(2).otherPlace.isEmpty());
        QVERIFY(applyAsAction(p).contains("相手のない振替の保管場所を選択して下さい"));
        QCOMPARE(m_dir->scalar("SELECT COUNT(*) FROM Hokan_T").toInt(), 0);
        p.otherPlace = "財布";
        for (PlaceEntry &e : p.places)
            e.balance = e.source == u"財布" ? 1000 : 240000;
        QCOMPARE(applyAsAction(p), QString());
        QCOMPARE(m_dir->rows("SELECT H_index, H_money FROM Hokan_T ORDER BY H_index"),
            (QStringList {"財布|1000", "銀行|240000"}));
        // 財布 holds -3000 on 11/01 without a count before it: it is counted today.
        QCOMPARE(m_dir->rows("SELECT K_hokan, K_day, K_bmoney, K_amoney FROM Ktanaorosi_T ORDER BY K_hokan"),
            QStringList {"財布|20261209|7000|1000"});
        const LedgerCheck::Result check = LedgerCheck::check(m_dir->dbPath());
        QVERIFY2(check.ok(), qPrintable(check.problems.join('\n')));
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("bad");
        const QByteArray heading
            = "\"計算対象\",\"日付\",\"内容\",\"金額（円）\",\"保有金融機関\",\"大項目\","
              "\"中項目\",\"メモ\",\"振替\",\"ID\"\r\n";
        const auto line = [](const char *date, const char *amount) {
            return QByteArray("\"1\",\"") + date + "\",\"x\",\"" + amount
                + "\",\"銀行\",\"食費\",\"外食\",\"\",\"0\",\"i\"\r\n";
        };
        QTest::newRow("a bank statement") << Cp932::encode("日付,摘要,お支払金額,お預り金額,差引残高\r\n"
                                                           "2026/11/01,カード,1000,,5000\r\n")
                                          << "移行できる家計簿のファイルではありません"
                                          << "";
        QTest::newRow("mixed encodings")
            << Cp932::encode(heading + line("2026/11/01", "-100")) + QByteArray(line("2026/11/02", "-200"))
            << "混ざっている"
            << "";
        QTest::newRow("a day after today") << Cp932::encode(heading + line("2026/12/10", "-100")) << ""
                                           << "今日より後の日付です";
        QTest::newRow("before 1900") << Cp932::encode(heading + line("1899/12/31", "-100")) << ""
                                     << "1900年より前の日付です";
        QTest::newRow("no calendar day") << Cp932::encode(heading + line("2026/02/30", "-100")) << ""
                                         << "日付が読めません";
        QTest::newRow("beyond the ledger's range")
            << Cp932::encode(heading + line("2026/11/01", "-2147483648")) << ""
            << "記録できる範囲";
        QTest::newRow("no amount") << Cp932::encode(heading + line("2026/11/01", "0")) << ""
                                   << "金額がありません";
        QTest::newRow("too few columns") << Cp932::encode(heading + "\"1\",\"2026/11/01\",\"x\"\r\n") << ""
                                         << "列が足りません";
        QByteArray many = heading;
        for (int i = 0; i <= MaxLines; ++i)
            many += "\"1\",\"2026/11/01\",\"x\",\"-1\",\"銀行\",\"a\",\"b\",\"\",\"0\",\""
                + QByteArray::number(i) + "\"\r\n";
        QTest::newRow("too many lines") << many << "行数が多すぎます"
                                        << "";
    }
    void badInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        QFETCH(QString, bad);
        const Reading r = read({{"a.csv", bytes}}, Today);
        if (!refusal.isEmpty()) {
            QVERIFY2(r.refusal.contains(refusal), qPrintable(r.refusal + r.bad.value(0).reason));
            return;
        }
        QCOMPARE(r.refusal, QString());
        QCOMPARE(r.bad.size(), 1);
        QCOMPARE(r.bad.first().lineNo, 2);
        QVERIFY2(r.bad.first().reason.contains(bad), qPrintable(r.bad.first().reason));
        QVERIFY(r.rows.isEmpty());
    }

    // 100,000 lines are read (the limit is twice that), and the files of two layouts are not
    // moved in together.
    void largeAndMixedLayouts()
    {
        QByteArray big
            = Cp932::encode("\"計算対象\",\"日付\",\"内容\",\"金額（円）\",\"保有金融機関\",\"大項目\","
                            "\"中項目\",\"メモ\",\"振替\",\"ID\"\r\n");
        for (int i = 0; i < 100000; ++i)
            big += "\"1\",\"2026/11/01\",\"x\",\"-1\",\"a\",\"b\",\"c\",\"\",\"0\",\"" + QByteArray::number(i)
                + "\"\r\n";
        QCOMPARE(read({{"a.csv", big}}, Today).rows.size(), 100000);
        const Household h = generate(3, 20, true);
        const Reading r = read(historyFiles(h).mid(0, 1) + zaimFiles(h), Today);
        QVERIFY(r.refusal.contains("種類が違います"));
    }

    // The samples kept beside the tests read without a bad line.
    void samples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("rows");
        QTest::newRow("history") << "movein-history.csv" << int(Layout::History) << 6;
        QTest::newRow("zaim") << "movein-zaim.csv" << int(Layout::Zaim) << 5;
        QTest::newRow("sheet") << "movein-sheet.csv" << int(Layout::Sheet) << 5;
    }
    void samples()
    {
        QFETCH(QString, file);
        QFETCH(int, layout);
        QFETCH(int, rows);
        QFile f(QStringLiteral(VELMO_MOVEIN_DATA "/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const Reading r = read({{file, f.readAll()}}, Today, sheetPreset());
        QCOMPARE(int(r.layout), layout);
        QVERIFY(r.bad.isEmpty());
        QCOMPARE(r.rows.size(), rows);
    }
};

QTEST_MAIN(TestMoveIn)
#include "tst_movein.moc"
