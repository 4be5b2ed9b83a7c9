// SPDX-License-Identifier: GPL-3.0-or-later
// Filling an item list: 500 rows of 7 columns (text, whole number, numeric, choice and
// button cells) through setText, as a window's load does after sizing the grid.

#include "BenchMain.h"
#include "Grid.h"

#include <QCoreApplication>

namespace {

constexpr int rows = 500;

void setUpColumns(Grid &g)
{
    g.setTextColumn(1);
    g.setChoiceColumn(2, QStringLiteral("現金\t普通預金\t定期預金\t金庫\t"));
    g.setIntegerColumn(3, -99999999, 99999999);
    g.setTextColumn(4);
    g.setNumericColumn(5, -99999999, 99999999);
    g.setTextColumn(6, 60, false);
    g.setButtonColumn(7, QStringLiteral("処理実行"));
    const char *headings[]
        = {"項目", "保管場所", "収入金額", "前回入力日", "前回収入額", "備考", "入金処理実行"};
    for (int c = 1; c <= 7; ++c)
        g.setHeading(c, QString::fromUtf8(headings[c - 1]));
}

// The texts are made before timing, so only the grid's work is measured.
struct Rows
{
    QStringList name, choice, amount, date, last;
    Rows()
    {
        for (int r = 0; r < rows; ++r) {
            name << QStringLiteral("収入項目%1").arg(r);
            choice << QString::number(r % 4);
            amount << QString();
            date << QString::number(20030101 + r % 28);
            last << QString::number(1000 * r + 7);
        }
    }
};

void fill(Grid &g, const Rows &d)
{
    g.setMaxRows(0);
    g.setMaxRows(rows);
    for (int r = 0; r < rows; ++r) {
        g.setText(1, r + 1, d.name[r]);
        g.setText(2, r + 1, d.choice[r]);
        g.setText(3, r + 1, d.amount[r]);
        g.setText(4, r + 1, d.date[r]);
        g.setText(5, r + 1, d.last[r]);
        g.setText(6, r + 1, QString());
        g.setText(7, r + 1, QString());
    }
}

void BM_GridFill500(benchmark::State &state)
{
    Grid g(7, rows);
    setUpColumns(g);
    g.resize(1000, 600);
    g.show();
    QCoreApplication::processEvents();
    const Rows d;
    for (auto _ : state) {
        fill(g, d);
        benchmark::DoNotOptimize(g.text(5, rows));
    }
    state.counters["target_ms"] = 50;
}
BENCHMARK(BM_GridFill500)->Unit(benchmark::kMillisecond);

// The same, and the visible part drawn once afterwards (what the user waits for).
void BM_GridFill500Painted(benchmark::State &state)
{
    Grid g(7, rows);
    setUpColumns(g);
    g.resize(1000, 600);
    g.show();
    QCoreApplication::processEvents();
    const Rows d;
    for (auto _ : state) {
        fill(g, d);
        g.repaint();
        QCoreApplication::processEvents();
    }
    state.counters["target_ms"] = 100;
}
BENCHMARK(BM_GridFill500Painted)->Unit(benchmark::kMillisecond);

} // namespace

VELMO_BENCHMARK_MAIN();
