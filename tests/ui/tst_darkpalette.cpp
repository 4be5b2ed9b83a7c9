// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetGraph.h"
#include "Grid.h"
#include "MainMenu.h"
#include "PieChart.h"
#include "TestSupport.h"
#include "YearlyTotals.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <map>

namespace {

// A dark desktop theme's colours: light text on dark fields and windows.
QPalette darkPalette()
{
    QPalette p;
    const QColor window(53, 53, 53), base(35, 35, 35), text(238, 238, 236);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Mid, QColor(80, 80, 80));
    return p;
}

double luminance(QRgb c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

// The contrast ratio (1..21) of the text in an area with its background: the background is the
// area's most frequent colour, the text the pixel most unlike it (the full colour of the ink,
// where antialiasing blends the rest). 1 when the area holds no text at all.
double textContrast(const QImage &image, const QRect &area)
{
    std::map<QRgb, int> count;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++count[image.pixel(x, y) | 0xff000000];
    QRgb background = 0;
    int most = 0;
    for (const auto &[c, n] : count)
        if (n > most)
            std::tie(background, most) = std::tie(c, n);
    const double lb = luminance(background);
    double best = 1;
    for (const auto &[c, n] : count) {
        const double lc = luminance(c);
        best = std::max(best, (std::max(lb, lc) + 0.05) / (std::min(lb, lc) + 0.05));
    }
    return best;
}

using Picture = std::function<std::pair<QImage, QRect>()>;

} // namespace

Q_DECLARE_METATYPE(Picture)

class TestDarkPalette : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setPalette(darkPalette()); }
    void textReadable_data();
    void textReadable();
    void inputCellsKeepBlackOnYellow();

private:
    TempAppDir m_dir;
    ScriptedDialogs m_dialogs;
    FixedClock m_clock = clockAt(2026, 12, 8);
};

void TestDarkPalette::textReadable_data()
{
    QTest::addColumn<Picture>("picture");

    auto gridCell = [](bool editable, Grid::Kind kind) {
        return Picture([editable, kind] {
            Grid g(2, 2);
            if (kind == Grid::Kind::Choice)
                g.setChoiceColumn(1, QStringLiteral("財布\t銀行\t"), !editable);
            else
                g.setIntegerColumn(1, 0, 99999999, !editable);
            g.setColumnWidthChars(1, 12);
            g.setText(1, 1, kind == Grid::Kind::Choice ? QStringLiteral("1") : QStringLiteral("2480"));
            g.resize(400, 200);
            g.show();
            const QRect cell = g.visualRect(g.model()->index(0, 0)).adjusted(2, 2, -2, -2);
            const QImage image = g.viewport()->grab().toImage();
            return std::pair {image, cell};
        });
    };
    QTest::newRow("typed amount in an input cell") << gridCell(true, Grid::Kind::Integer);
    QTest::newRow("chosen entry in a choice cell") << gridCell(true, Grid::Kind::Choice);
    QTest::newRow("amount in a locked cell") << gridCell(false, Grid::Kind::Integer);
    QTest::newRow("amount being typed") << Picture([] {
        Grid g(2, 2);
        g.setIntegerColumn(1, 0, 99999999, false);
        g.resize(400, 200);
        g.show();
        g.setCurrentIndex(g.model()->index(0, 0));
        g.edit(g.model()->index(0, 0));
        auto *editor = g.viewport()->findChild<QLineEdit *>();
        if (!editor)
            return std::pair {QImage(), QRect()};
        editor->setText(QStringLiteral("2480"));
        const QImage image = editor->grab().toImage();
        return std::pair {image, image.rect()};
    });
    QTest::newRow("main menu button") << Picture([this] {
        MainMenu menu(m_dir.context(m_dialogs, m_clock));
        menu.show();
        auto *b = menu.findChild<QPushButton *>(QStringLiteral("cmd_syukkin"));
        const QImage image = b->grab().toImage();
        return std::pair {image, image.rect().adjusted(4, 4, -4, -4)};
    });
    QTest::newRow("surplus in the yearly totals") << Picture([this] {
        m_dir.exec(QStringLiteral("INSERT INTO N VALUES ('給与', '銀行', 250000, 20260125, '')"));
        YearlyTotals w(m_dir.context(m_dialogs, m_clock));
        w.load();
        w.show();
        auto *g = w.findChild<Grid *>(QStringLiteral("SP"));
        const QRect cell = g->visualRect(g->model()->index(2, 0)).adjusted(2, 2, -2, -2);
        const QImage image = g->viewport()->grab().toImage();
        return std::pair {image, cell};
    });
    QTest::newRow("pie chart without data") << Picture([] {
        PieChart chart;
        chart.resize(300, 200);
        const QImage image = chart.grab().toImage();
        return std::pair {image, image.rect()};
    });
    QTest::newRow("pie chart's legend") << Picture([] {
        PieChart chart;
        chart.resize(400, 200);
        chart.setTotals({{QStringLiteral("食費"), 30000}});
        const QImage image = chart.grab().toImage();
        // The legend stands right of the pie, past its middle.
        return std::pair {image, QRect(image.width() * 3 / 5, 0, image.width() * 2 / 5, image.height())};
    });
    QTest::newRow("budget graph's title") << Picture([] {
        BudgetGraph graph;
        graph.resize(500, 300);
        graph.setMonths(QStringLiteral("食費"), {}, {}, {});
        const QImage image = graph.grab().toImage();
        return std::pair {image, QRect(0, 0, image.width(), graph.fontMetrics().height())};
    });
}

void TestDarkPalette::textReadable()
{
    QFETCH(Picture, picture);
    const auto [image, area] = picture();
    QVERIFY(!image.isNull());
    // WCAG's least contrast for large text; white on yellow is about 1.1.
    QVERIFY2(textContrast(image, area) >= 3.0, qPrintable(QString::number(textContrast(image, area))));
}

void TestDarkPalette::inputCellsKeepBlackOnYellow()
{
    Grid g(3, 2);
    g.setIntegerColumn(1, 0, 999, false);
    g.setIntegerColumn(2, 0, 999, true);
    g.setIntegerColumn(3, -999, 999, false);
    g.setCellTextColor(3, 1, Qt::red);
    QCOMPARE(g.cellBackground(1, 1), QColor(255, 255, 128));
    QCOMPARE(g.cellTextColor(1, 1), QColor(Qt::black));
    QCOMPARE(g.cellTextColor(2, 1), darkPalette().color(QPalette::Text));
    QCOMPARE(g.cellTextColor(3, 1), QColor(Qt::red));
    // An invalid colour gives the cell its default back.
    g.setCellTextColor(3, 1, QColor());
    QCOMPARE(g.cellTextColor(3, 1), QColor(Qt::black));
}

QTEST_MAIN(TestDarkPalette)
#include "tst_darkpalette.moc"
