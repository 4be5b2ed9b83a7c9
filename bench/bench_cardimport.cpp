// SPDX-License-Identifier: GPL-3.0-or-later
// A card statement of 2,000 lines on a large ledger: the file read into the import window with
// every line's state, the place being a card paid from another place.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "Database.h"
#include "Grid.h"
#include "ImportWindow.h"
#include "LedgerGenerator.h"

#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QRandomGenerator>

namespace {

constexpr int StatementLines = 2'000;

// A card's download in code page 932 with its payment date and total before the heading:
// purchases over two months, every twentieth a cancellation.
QByteArray cardFile(int lines)
{
    const QStringList shops {QStringLiteral("スーパーマルエツ"), QStringLiteral("コンビニ　ローソン"),
        QStringLiteral("ＥＴＣ　首都高速"), QStringLiteral("ドラッグストア"), QStringLiteral("書店　ＡＢＣ"),
        QStringLiteral("ガソリンスタンド"), QStringLiteral("レストラン　ＸＹＺ"),
        QStringLiteral("家電量販店")};
    QRandomGenerator random(11);
    QStringList rows;
    qint64 total = 0;
    const QDate first(2025, 10, 16);
    for (int i = 0; i < lines; ++i) {
        const QString date = first.addDays(qint64(i) * 60 / lines).toString(QStringLiteral(" yyyy/MM/dd"));
        const int amount = 10 * random.bounded(10, 2000);
        const bool cancelled = i % 20 == 19;
        total += cancelled ? 0 : amount;
        rows << QStringLiteral(
            "\"本人\",\"ショッピング\",\"%1\",\"%2\",\"%3\",\"1回払い\",\"\",\"%4\",\"%5\","
            "\"国内\",\"\",\"\"")
                    .arg(date, shops.at(random.bounded(shops.size())), QString::number(amount),
                        cancelled ? QStringLiteral("取消") : QString(),
                        cancelled ? QString() : QString::number(amount));
    }
    QStringList out {QStringLiteral("\"\",\"\",\"今回のお支払日\",\"2026/01/10\""),
        QStringLiteral("\"\",\"\",\"今回のお支払金額合計(￥)\",\"%1\"").arg(total),
        QStringLiteral("\"【ご利用明細】\""),
        QStringLiteral(
            "\"ご利用者\",\"カテゴリ\",\"ご利用日\",\"ご利用先など\",\"ご利用金額(￥)\",\"支払区分\","
            "\"今回回数\",\"訂正サイン\",\"お支払い金額(￥)\",\"国内／海外\",\"摘要\",\"備考\"")};
    return BenchSupport::statementFile(out + rows);
}

// A copy of the large ledger brought to the current version, one of its places made a card.
struct Fixture
{
    BenchSupport::MigratedAppDir app;
    QString card = LedgerGenerator::storagePlaceNames().at(2);
    QString file;

    explicit Fixture(qint64 postings)
        : app(postings)
    {
        {
            Database db(app.dbPath());
            db.beginWrite();
            db.insert(QStringLiteral("X_card"),
                {{QStringLiteral("XC_place"), card}, {QStringLiteral("XC_closing"), 15},
                    {QStringLiteral("XC_payment"), 10},
                    {QStringLiteral("XC_pay_from"), LedgerGenerator::storagePlaceNames().at(1)},
                    {QStringLiteral("XC_limit"), 1'000'000}});
            db.commit();
        }
        file = app.path() + QStringLiteral("/card.csv");
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(cardFile(StatementLines)) < 0)
            BenchSupport::fail(QStringLiteral("cannot write the statement"));
    }
};

void openCardStatement(benchmark::State &state, qint64 postings)
{
    Fixture &f = BenchSupport::fixtureFor<Fixture>(postings);
    ImportWindow window(f.app.context());
    window.show();
    window.load();
    window.findChild<QComboBox *>(QStringLiteral("cb_hokan"))->setCurrentText(f.card);
    Grid *grid = window.findChild<Grid *>(QStringLiteral("SP"));
    int checked = 0;
    for (auto _ : state) {
        window.openFile(f.file);
        if (grid->maxRows() != StatementLines)
            BenchSupport::fail(QStringLiteral("the window shows %1 lines").arg(grid->maxRows()));
        checked = 0;
        for (int r = 1; r <= StatementLines; ++r)
            checked += window.isChecked(r);
    }
    state.counters["new_lines"] = checked;
    state.counters["target_ms"] = 100;
}

const int registered = [] {
    for (const BenchSupport::LedgerSize &size : BenchSupport::ledgerSizes()) {
        const qint64 n = size.postings;
        benchmark::RegisterBenchmark(BenchSupport::benchmarkName("CardImportOpen2000", size).c_str(),
            [n](benchmark::State &s) { openCardStatement(s, n); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
