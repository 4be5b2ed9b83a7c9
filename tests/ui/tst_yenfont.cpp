// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"
#include "PieChart.h"
#include "YenFont.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTextLayout>
#include <memory>

namespace {

// The family of the font that actually draws text[pos] in the font, after Qt's fallback.
QString drawnBy(const QFont &font, const QString &text, int pos)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns(pos, 1);
    return runs.isEmpty() ? QString() : runs.first().rawFont().familyName();
}

// The text drawn black on white at 48 pixels, large enough to tell the shapes of glyphs apart.
QImage drawn(QFont font, const QString &text)
{
    font.setPixelSize(48);
    QImage image(96, 96, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

bool ink(const QImage &image, int x, int y)
{
    return image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 128;
}

// The share of the inked pixels whose mirror image across the ink's vertical centre line is
// not inked: near 0 for a symmetric glyph such as ¥, near 1 for a slanted stroke such as \.
double asymmetry(const QImage &image)
{
    int left = image.width(), right = -1, inked = 0, unmatched = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (ink(image, x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    for (int y = 0; y < image.height(); ++y)
        for (int x = left; x <= right; ++x)
            if (ink(image, x, y)) {
                ++inked;
                const int mirror = left + right - x;
                if (!ink(image, mirror, y) && !ink(image, mirror - 1, y) && !ink(image, mirror + 1, y))
                    ++unmatched;
            }
    return inked == 0 ? 1.0 : double(unmatched) / inked;
}

// The longest run of inked pixels in one row: the bars of ¥ are far wider than the stroke of \.
int widestRow(const QImage &image)
{
    int widest = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0, run = 0; x < image.width(); ++x) {
            run = ink(image, x, y) ? run + 1 : 0;
            widest = std::max(widest, run);
        }
    return widest;
}

// A font of the desktop's that draws Japanese text; empty when none is installed.
QString japaneseFamily()
{
    for (const QString &family : QFontDatabase::families(QFontDatabase::Japanese))
        if (family != YenFont::family())
            return family;
    return {};
}

const char *const NoJapaneseFont = "no Japanese font is installed: the Debian package "
                                   "fonts-motoya-l-cedar brings one (scripts/install-deps)";

const QString amount = QStringLiteral("\\2,480");

} // namespace

class TestYenFont : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void backslashDrawnAsYen_data();
    void backslashDrawnAsYen();
    void drawsTheYenGlyph();
    void installedOnce();

private:
    QFont m_before;
};

void TestYenFont::initTestCase()
{
    m_before = QApplication::font();
    // A theme's own font for message boxes keeps its size and gets the yen font first.
    QFont boxFont = m_before;
    boxFont.setPointSize(17);
    QApplication::setFont(boxFont, "QMessageBox");
    QVERIFY(YenFont::install());
}

void TestYenFont::backslashDrawnAsYen_data()
{
    QTest::addColumn<std::shared_ptr<QWidget>>("widget");
    QTest::addColumn<int>("pointSize");
    const int app = QApplication::font().pointSize();
    QTest::newRow("label") << std::shared_ptr<QWidget>(new QLabel(amount)) << app;
    QTest::newRow("push button") << std::shared_ptr<QWidget>(new QPushButton(amount)) << app;
    QTest::newRow("grid") << std::shared_ptr<QWidget>(new Grid(2, 2)) << app;
    QTest::newRow("painted graph") << std::shared_ptr<QWidget>(new PieChart) << app;
    QTest::newRow("menu") << std::shared_ptr<QWidget>(new QMenu) << app;
    auto box = std::make_shared<QMessageBox>(QMessageBox::NoIcon, QStringLiteral("ヴェルモラ"), amount);
    QWidget *text = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(text);
    QTest::newRow("message box") << std::shared_ptr<QWidget>(box, text) << 17;
}

void TestYenFont::backslashDrawnAsYen()
{
    QFETCH(std::shared_ptr<QWidget>, widget);
    QFETCH(int, pointSize);
    widget->window()->ensurePolished(); // class fonts take effect when a window is polished
    const QFont f = widget->font();
    QCOMPARE(f.families().value(0), YenFont::family());
    QCOMPARE(f.pointSize(), pointSize);
    QCOMPARE(drawnBy(f, amount, 0), YenFont::family());
    // Every other character falls through to the desktop's font.
    QVERIFY(drawnBy(f, amount, 1) != YenFont::family());
    if (japaneseFamily().isEmpty())
        QSKIP(NoJapaneseFont);
    QVERIFY(drawnBy(f, QStringLiteral("電気代"), 0) != YenFont::family());
}

void TestYenFont::drawsTheYenGlyph()
{
    const QImage backslash = drawn(QApplication::font(), QStringLiteral("\\"));
    QCOMPARE(backslash, drawn(QFont(YenFont::family()), QStringLiteral("\\")));
    // The shape of a yen sign, whatever build of whichever font draws the desktop's text: a
    // symmetric glyph with bars across it, where the desktop's own backslash is one slanted
    // stroke.
    const QImage desktop = drawn(m_before, QStringLiteral("\\"));
    QVERIFY2(asymmetry(desktop) > 0.5, qPrintable(QString::number(asymmetry(desktop))));
    QVERIFY2(asymmetry(backslash) < 0.1, qPrintable(QString::number(asymmetry(backslash))));
    QVERIFY2(widestRow(backslash) > 3 * widestRow(desktop) / 2,
        qPrintable(QStringLiteral("%1 %2").arg(widestRow(backslash)).arg(widestRow(desktop))));
}

void TestYenFont::installedOnce()
{
    // Installing again (a second window, a test) does not stack the family twice.
    QVERIFY(YenFont::install());
    const QStringList families = QApplication::font().families();
    QCOMPARE(families.count(YenFont::family()), 1);
    QCOMPARE(YenFont::withYen(QApplication::font()).families(), families);
}

QTEST_MAIN(TestYenFont)
#include "tst_yenfont.moc"
