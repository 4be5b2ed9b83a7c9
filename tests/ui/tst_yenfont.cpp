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

QImage drawn(const QFont &font, const QString &text)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, 64, 64), Qt::AlignCenter, text);
    return image;
}

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
    QVERIFY(drawnBy(f, QStringLiteral("電気代"), 0) != YenFont::family());
}

void TestYenFont::drawsTheYenGlyph()
{
    const QFont app = QApplication::font();
    const QImage backslash = drawn(app, QStringLiteral("\\"));
    QVERIFY(backslash != drawn(m_before, QStringLiteral("\\")));
    QFont yenOnly(YenFont::family());
    yenOnly.setPointSize(app.pointSize());
    QCOMPARE(backslash, drawn(yenOnly, QStringLiteral("\\")));
    // Not blank: the glyph has ink.
    QVERIFY(backslash != drawn(app, QStringLiteral(" ")));
    // Where the Japanese font is installed, the glyph is its own yen sign.
    if (QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP"))) {
        QFont noto(QStringLiteral("Noto Sans CJK JP"));
        noto.setPointSize(app.pointSize());
        QCOMPARE(backslash, drawn(noto, QString(QChar(0x00A5))));
    }
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
