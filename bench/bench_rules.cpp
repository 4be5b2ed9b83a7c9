// SPDX-License-Identifier: GPL-3.0-or-later
// Pre-filling a 2,000-line card statement from 5,000 rules of its place (learnt descriptions of
// shops at many branches and with order numbers, and some written parts) on a large ledger:
// every line's state and item as the import window asks for them.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "ImportLedger.h"
#include "ImportRules.h"
#include "LedgerGenerator.h"

#include <QRandomGenerator>

namespace {

constexpr int Lines = 2'000;
constexpr int Rules = 5'000;
constexpr int Written = 50;

const QStringList Chains {QStringLiteral("ローソン"), QStringLiteral("セブン－イレブン"),
    QStringLiteral("ファミリーマート"), QStringLiteral("ﾏﾂﾓﾄｷﾖｼ"), QStringLiteral("ユニクロ"),
    QStringLiteral("スターバックス　コーヒー"), QStringLiteral("AMAZON.CO.JP"), QStringLiteral("楽天市場"),
    QStringLiteral("ＮＴＴドコモ　ご利用料金"), QStringLiteral("東急ストア")};

// The n-th description: a chain (of many, told apart by a number written in letters) at a
// branch, or with an order number.
QString description(QRandomGenerator &random, int n)
{
    const int chains = int(Chains.size());
    const QString chain = Chains.at(n % chains) + QChar(char16_t(u'Ａ' + n / chains % 26))
        + QChar(char16_t(u'ア' + n / chains / 26 % 40));
    return n % 3 == 0 ? chain + QStringLiteral("*") + QString::number(random.bounded(100000, 999999))
                      : chain + QStringLiteral("　支") + QChar(char16_t(u'亜' + random.bounded(200)))
            + QStringLiteral("店");
}

struct Fixture
{
    BenchSupport::MigratedAppDir app;
    QString place = LedgerGenerator::storagePlaceNames().at(1);
    QList<StatementLine> lines;

    explicit Fixture(qint64 postings)
        : app(postings)
    {
        QRandomGenerator random(11);
        const QStringList items = LedgerGenerator::expenseItemNames();
        Database db(app.dbPath());
        db.beginWrite();
        for (int i = 0; i < Rules; ++i)
            db.execute(QStringLiteral("INSERT OR REPLACE INTO X_import_rule VALUES ('%1','S','%2','%3')")
                           .arg(Database::escape(place), Database::escape(description(random, i)),
                               Database::escape(items.at(i % items.size()))));
        for (int i = 0; i < Written; ++i)
            db.execute(
                QStringLiteral("INSERT OR REPLACE INTO X_import_pattern VALUES ('%1','S','%2','ZZ%3','%4')")
                    .arg(Database::escape(place), i % 2 ? QStringLiteral("P") : QStringLiteral("C"))
                    .arg(i)
                    .arg(Database::escape(items.at(i % items.size()))));
        db.commit();
        for (int i = 0; i < Lines; ++i) {
            StatementLine l;
            l.lineNo = i + 1;
            l.date = 20251201 + i % 28;
            l.amount = -100 * random.bounded(1, 100);
            l.description = description(random, random.bounded(Rules + Rules / 4));
            l.key = QStringLiteral("fp:%1").arg(i);
            lines << l;
        }
    }
};

void prefill(benchmark::State &state, qint64 postings)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(postings);
    int filled = 0;
    for (auto _ : state) {
        Database db(f.app.dbPath());
        filled = 0;
        for (const ImportLedger::LineState &s : ImportLedger::analyse(db, f.place, f.lines))
            filled += !s.item.isEmpty();
    }
    state.counters["filled"] = filled;
    state.counters["target_ms"] = 50;
}

// The matcher alone: built from the place's rules and asked for each line, no ledger.
void match(benchmark::State &state)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(LedgerGenerator::LargePostings);
    QList<RuleMatcher::Rule> rules;
    {
        Database db(f.app.dbPath());
        rules = ImportRules::forMatcher(ImportRules::rules(db, f.place));
    }
    int filled = 0;
    for (auto _ : state) {
        const RuleMatcher matcher(rules);
        filled = 0;
        for (const StatementLine &l : f.lines)
            filled += !matcher.find(QStringLiteral("S"), l.description).item.isEmpty();
    }
    state.counters["filled"] = filled;
}

const int registered = [] {
    benchmark::RegisterBenchmark("RuleMatch2000x5000", match)->Unit(benchmark::kMillisecond)->UseRealTime();
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("ImportPrefill2000x5000", size).c_str(),
            [n](benchmark::State &s) { prefill(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
