// SPDX-License-Identifier: GPL-3.0-or-later
// A bank statement of 10,000 lines on a large ledger: reading it into the import window with
// every line's state, importing it through cmd_ok, and taking the batch back; beside them the
// file's decoding and parsing alone, without the ledger.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Cp932.h"
#include "Database.h"
#include "Grid.h"
#include "ImportLedger.h"
#include "ImportWindow.h"
#include "LedgerGenerator.h"
#include "Migrations.h"
#include "StatementParser.h"

#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>

namespace {

constexpr int StatementLines = 10'000;

// A postal-bank download (cp932, the lines before its heading, a comma after every line) of a
// busy account over the year after the ledger's last: its balances follow on from the place's
// balance, so the import asks for no stocktake, and no stocktake of the place counts a line (a
// line dated before one would be inside that count, not in the balance the file follows on from).
QByteArray statementFile(qint32 opening, int lines)
{
    const QStringList payees {QStringLiteral("ｶｰﾄﾞ,ｺﾝﾋﾞﾆ"), QStringLiteral("ｶｰﾄﾞ,ｽｰﾊﾟｰ ﾏﾙｴﾂ"),
        QStringLiteral("ｶｰﾄﾞ,ﾄﾞﾗｯｸﾞｽﾄｱ"), QStringLiteral("自払,ﾃﾞﾝｷﾘﾖｳｷﾝ"), QStringLiteral("自払,ｶﾞｽﾘﾖｳｷﾝ"),
        QStringLiteral("ＡＴＭ,ｹﾞﾝｷﾝ"), QStringLiteral("振込,ﾔﾁﾝ"), QStringLiteral("ｶｰﾄﾞ,ﾎﾝﾔ"),
        QStringLiteral("ｶｰﾄﾞ,ｶﾞｿﾘﾝｽﾀﾝﾄﾞ"), QStringLiteral("ｶｰﾄﾞ,ﾚｽﾄﾗﾝ")};
    const QStringList payers {
        QStringLiteral("振込,ｷﾕｳﾖ"), QStringLiteral("振込,ｳﾘｱｹﾞ"), QStringLiteral("利息,ﾌﾂｳﾖｷﾝ")};
    QStringList out {QStringLiteral("お客さま口座情報,"), QStringLiteral("現在高,0,"),
        QStringLiteral("出力日時,令和9年1月5日 10時00分,"), QStringLiteral("口座番号,10170-99999991,"),
        QStringLiteral("照会対象,普通預金,"), QStringLiteral("日付指定,20260101-20261231,"),
        QStringLiteral("明細件数,%1,").arg(lines),
        QStringLiteral("取引日,入出金明細ＩＤ,受入金額（円）,払出金額（円）,詳細１,詳細２,現在（貸付）高,")};
    QRandomGenerator random(7);
    qint64 balance = opening;
    const QDate first(2026, 1, 1);
    for (int i = 0; i < lines; ++i) {
        const int date = first.addDays(qint64(i) * 365 / lines).toString(QStringLiteral("yyyyMMdd")).toInt();
        const qint32 amount = 100 * random.bounded(1, 200);
        const bool deposit = i % 10 == 0 || amount > balance;
        const qint32 money = deposit ? 1000 * random.bounded(50, 400) : amount;
        balance += deposit ? money : -money;
        const QString &text
            = deposit ? payers.at(random.bounded(payers.size())) : payees.at(random.bounded(payees.size()));
        out << QStringLiteral("%1,%2,%3,%4,%5,%6,")
                   .arg(date)
                   .arg(i + 1, 9, 10, QChar(u'0'))
                   .arg(deposit ? QString::number(money) : QString())
                   .arg(deposit ? QString() : QString::number(money))
                   .arg(text)
                   .arg(balance);
    }
    return Cp932::encode(out.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// A copy of the large ledger brought to the current version, the statement beside it, and the
// rules an earlier import would have taught (each description to an item of its direction).
struct Fixture
{
    BenchSupport::AppDir app;
    QString place = LedgerGenerator::storagePlaceNames().at(1);
    QString file;

    explicit Fixture(qint64 postings)
        : app(postings)
    {
        Migrations::migrate(app.dbPath());
        qint32 opening = 0;
        {
            Database db(app.dbPath());
            const Cursor c = db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index = '")
                + Database::escape(place) + QStringLiteral("')"));
            opening = c.integer(QStringLiteral("H_money"));
        }
        file = app.path() + QStringLiteral("/statement.csv");
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(statementFile(opening, StatementLines)) < 0)
            BenchSupport::fail(QStringLiteral("cannot write the statement"));
        f.close();
        learnRules();
    }

    void learnRules()
    {
        const Statement statement = parsed();
        QList<ImportLedger::Line> lines;
        QSet<QString> seen;
        for (const StatementLine &l : statement.lines) {
            if (seen.contains(l.description))
                continue;
            seen.insert(l.description);
            StatementLine taught = l;
            taught.key = QStringLiteral("fp:taught|") + l.description;
            taught.date = 20241231;
            taught.amount = l.amount < 0 ? -1 : 1;
            lines << ImportLedger::Line {taught,
                l.amount < 0 ? LedgerGenerator::expenseItemNames().at(10 + lines.size())
                             : LedgerGenerator::incomeItemNames().at(lines.size())};
        }
        // Deposits first, so the one-yen withdrawals are covered.
        std::stable_sort(lines.begin(), lines.end(),
            [](const auto &a, const auto &b) { return a.line.amount > b.line.amount; });
        Database db(app.dbPath());
        db.beginWrite();
        ImportLedger::Refusal refusal;
        const auto batch = ImportLedger::importLines(
            db, {QStringLiteral("2025/01/05 10:00:00"), {}, {}, place, std::nullopt}, lines, refusal);
        if (!batch)
            BenchSupport::fail(QStringLiteral("teaching the rules failed: ") + refusal.message);
        db.commit();
        db.beginWrite();
        if (!ImportLedger::undo(db, *batch, refusal))
            BenchSupport::fail(QStringLiteral("undoing the rules' batch failed: ") + refusal.message);
        db.commit();
    }

    Statement parsed() const
    {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        const StatementValues::Decoded decoded = StatementValues::decode(f.readAll());
        const QStringList lines = StatementValues::lines(decoded.text);
        const QList<Preset> presets = Preset::builtIns();
        const auto preset = StatementParser::detect(presets, lines);
        if (!preset)
            BenchSupport::fail(QStringLiteral("the statement's layout was not recognised"));
        return StatementParser::parse(presets.at(*preset), lines, QDate(2026, 1, 5));
    }
};

struct Window
{
    Fixture &f;
    ImportWindow window {f.app.context()};
    Grid *grid = window.findChild<Grid *>(QStringLiteral("SP"));

    explicit Window(Fixture &fixture)
        : f(fixture)
    {
        window.show();
        window.load();
        window.findChild<QComboBox *>(QStringLiteral("cb_hokan"))->setCurrentText(f.place);
    }

    // Opens the file and counts the lines the import would take.
    int open()
    {
        window.openFile(f.file);
        if (grid->maxRows() != StatementLines)
            BenchSupport::fail(QStringLiteral("the window shows %1 lines").arg(grid->maxRows()));
        int checked = 0;
        for (int r = 1; r <= StatementLines; ++r)
            checked += window.isChecked(r);
        return checked;
    }
};

void openStatement(benchmark::State &state, qint64 postings)
{
    Window w(BenchSupport::fixtureFor<Fixture>(postings));
    int checked = 0;
    for (auto _ : state)
        checked = w.open();
    state.counters["new_lines"] = checked;
    state.counters["target_ms"] = 300;
}

// The import as the user does it (cmd_ok, both questions answered Yes) up to the reloaded
// grid; or, with timeUndo, the batch's undo in one transaction, the import left untimed.
void importStatement(benchmark::State &state, qint64 postings, bool timeUndo)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(postings);
    Window w(f);
    auto *ok = w.window.findChild<QPushButton *>(QStringLiteral("cmd_ok"));
    int imported = 0;
    for (auto _ : state) {
        state.PauseTiming();
        imported = w.open();
        if (!timeUndo)
            state.ResumeTiming();
        ok->click();
        if (f.app.dialogs.last != QStringLiteral("%1件を取り込みました").arg(imported))
            BenchSupport::fail(QStringLiteral("the import ended with: ") + f.app.dialogs.last);
        if (!timeUndo)
            state.PauseTiming();
        qint64 batch = 0;
        {
            Database db(f.app.dbPath());
            batch = ImportLedger::batches(db).constFirst().no;
        }
        if (timeUndo)
            state.ResumeTiming();
        {
            Database db(f.app.dbPath());
            db.beginWrite();
            ImportLedger::Refusal refusal;
            if (!ImportLedger::undo(db, batch, refusal))
                BenchSupport::fail(QStringLiteral("the undo was refused: ") + refusal.message);
            db.commit();
        }
        if (!timeUndo)
            state.ResumeTiming();
    }
    state.counters["lines"] = imported;
    if (!timeUndo)
        state.counters["target_ms"] = 1000;
}

// Decoding, splitting and parsing the file, with no ledger.
void parseStatement(benchmark::State &state)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(LedgerGenerator::LargePostings);
    for (auto _ : state)
        benchmark::DoNotOptimize(f.parsed().lines.size());
}

const int registered = [] {
    benchmark::RegisterBenchmark("ImportParse/10000", parseStatement)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ImportOpen10000", size).c_str(),
            [n](benchmark::State &s) { openStatement(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ImportRun10000", size).c_str(),
            [n](benchmark::State &s) { importStatement(s, n, false); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ImportUndo10000", size).c_str(),
            [n](benchmark::State &s) { importStatement(s, n, true); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
