// SPDX-License-Identifier: GPL-3.0-or-later
// Ten years of a household moved in from the cloud service's history export (120 monthly files,
// 30,000 lines, 20 places, 80 items) into a large ledger: the preview (reading every file and
// planning the masters and lines against the ledger) and the write (one action, committed).

#include "ActionHistory.h"
#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "MoveIn.h"

#include <QDate>
#include <QRandomGenerator>

namespace {

constexpr int Lines = 30'000;
constexpr int Places = 20;
constexpr int Categories = 10;
constexpr int ItemsPerCategory = 8;
const QDate Today(2026, 12, 9);

// The export month by month, each file newest line first; one line in twenty is a transfer,
// written as its two halves.
QList<MoveIn::SourceFile> householdFiles()
{
    QRandomGenerator random(40);
    QMap<int, QStringList> months;
    const QDate first = Today.addYears(-10);
    int id = 0;
    const auto line = [&](const QDate &d, qint32 amount, int place, const QString &large,
                          const QString &middle, bool transfer) {
        months[d.year() * 100 + d.month()].prepend(
            QStringLiteral("\"1\",\"%1\",\"明細 %2\",\"%3\",\"口座%4\",\"%5\",\"%6\",\"\",\"%7\",\"id%8\"")
                .arg(d.toString(QStringLiteral("yyyy/MM/dd")))
                .arg(id % 997)
                .arg(amount)
                .arg(place)
                .arg(large, middle)
                .arg(transfer ? 1 : 0)
                .arg(id));
        ++id;
    };
    for (int i = 0; i < Lines; ++i) {
        const QDate d = first.addDays(qint64(i) * first.daysTo(Today) / Lines);
        const int place = random.bounded(Places);
        const int kind = random.bounded(20);
        if (kind == 0) {
            const int other = (place + 1 + random.bounded(Places - 1)) % Places;
            const qint32 money = 1000 * random.bounded(1, 50);
            line(d, -money, place, QStringLiteral("未分類"), QStringLiteral("未分類"), true);
            line(d, money, other, QStringLiteral("未分類"), QStringLiteral("未分類"), true);
            continue;
        }
        const int category = random.bounded(Categories);
        const QString large = QStringLiteral("大項目%1").arg(category);
        const QString middle
            = QStringLiteral("中項目%1-%2").arg(category).arg(random.bounded(ItemsPerCategory));
        const bool income = kind <= 3;
        line(d, income ? 1000 * random.bounded(50, 300) : -10 * random.bounded(10, 3000), place, large,
            middle, false);
    }
    const QString heading = QStringLiteral("\"計算対象\",\"日付\",\"内容\",\"金額（円）\",\"保有金融機関\","
                                           "\"大項目\",\"中項目\",\"メモ\",\"振替\",\"ID\"");
    QList<MoveIn::SourceFile> files;
    for (auto it = months.cbegin(); it != months.cend(); ++it)
        files.append({QStringLiteral("%1.csv").arg(it.key()),
            BenchSupport::statementFile(QStringList {heading} + it.value())});
    return files;
}

struct Fixture
{
    BenchSupport::MigratedAppDir app;
    QList<MoveIn::SourceFile> files = householdFiles();

    explicit Fixture(qint64 postings)
        : app(postings)
    { }

    MoveIn::Plan preview()
    {
        const MoveIn::Reading reading = MoveIn::read(files, Today);
        if (!reading.refusal.isEmpty() || !reading.bad.isEmpty())
            BenchSupport::fail(QStringLiteral("the export was not read: ") + reading.refusal);
        Database db(app.dbPath());
        return MoveIn::plan(db, reading);
    }
};

void previewHousehold(benchmark::State &state, qint64 postings)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(postings);
    qsizetype rows = 0;
    for (auto _ : state)
        rows = f.preview().rows.size();
    state.counters["rows"] = double(rows);
    state.counters["target_ms"] = 1000;
}

// The write as one action up to its commit; the action is taken back untimed.
void writeHousehold(benchmark::State &state, qint64 postings)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(postings);
    MoveIn::Plan plan = f.preview();
    for (MoveIn::PlaceEntry &e : plan.places)
        e.balance = std::max<qint64>(e.fileSum, 0) + 100000;
    MoveIn::Summary done;
    for (auto _ : state) {
        {
            Database db(f.app.dbPath());
            db.beginAction(
                QStringLiteral("F_iten"), QStringLiteral("他の家計簿から移行"), QDateTime::currentDateTime());
            QString refusal;
            const auto summary = MoveIn::apply(db, plan, Today, refusal);
            if (!summary)
                BenchSupport::fail(QStringLiteral("the move-in was refused: ") + refusal);
            done = *summary;
            db.commit();
        }
        state.PauseTiming();
        {
            Database db(f.app.dbPath());
            const qint64 no = ActionHistory::recent(db, 1).constFirst().no;
            db.beginAction(
                QStringLiteral("F_undo"), QStringLiteral("元に戻す"), QDateTime::currentDateTime());
            const QString refusal = ActionHistory::takeBack(db, no);
            if (!refusal.isEmpty())
                BenchSupport::fail(QStringLiteral("the move-in was not taken back: ") + refusal);
            db.commit();
        }
        state.ResumeTiming();
    }
    state.counters["postings"] = done.postings;
    state.counters["transfers"] = done.transfers;
    state.counters["target_ms"] = 3000;
}

const int registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("MoveInPreview30000", size).c_str(),
            [n](benchmark::State &s) { previewHousehold(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("MoveInWrite30000", size).c_str(),
            [n](benchmark::State &s) { writeHousehold(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
