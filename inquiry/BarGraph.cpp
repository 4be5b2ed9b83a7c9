// SPDX-License-Identifier: GPL-3.0-or-later
#include "BarGraph.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtMath>

namespace {

constexpr int twipsPerInch = 1440;

// Boxes, captions and axes in twips within the page.
constexpr int picLeft = 480, picTop = 960, picWidth = 500, picHeight = 2600, pitch = 1080;
constexpr int labelLeft = 360, labelWidth = 855, labelHeight = 255, amountTop = 600, dateTop = 3840;
constexpr int axisX0 = 120, axisX1 = 10800, axisYTop = 960, axisY = 3720;
// The page's extent: the last caption's right edge and the dates' bottom, with a margin.
constexpr int pageWidth = labelLeft + pitch * (BarGraph::Slots - 1) + labelWidth + 120;
constexpr int pageHeight = dateTop + labelHeight + 120;

const QColor barColour(0, 0, 255);

} // namespace

BarGraph::BarGraph(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Graph"));
    setAutoFillBackground(true);
}

void BarGraph::clear()
{
    for (Slot &s : m_slots)
        s = Slot();
    update();
}

void BarGraph::setSlot(int i, std::optional<int> gap, const QString &date, const QString &amount)
{
    if (i < 0 || i >= Slots)
        return;
    m_slots[i] = Slot {gap, date, amount};
    update();
}

int BarGraph::gap(int i) const
{
    return i >= 0 && i < Slots && m_slots[i].gap ? *m_slots[i].gap : -1;
}

QString BarGraph::dateCaption(int i) const
{
    return i >= 0 && i < Slots ? m_slots[i].date : QString();
}

QString BarGraph::amountCaption(int i) const
{
    return i >= 0 && i < Slots ? m_slots[i].amount : QString();
}

std::optional<int> BarGraph::gapPercent(qint64 v, qint64 max)
{
    if (max <= 0 || v < 0 || v > max)
        return std::nullopt;
    // Exact in integers, so that a true half is recognised: 100 (max - v) / max.
    const qint64 num = 100 * (max - v);
    qint64 q = num / max;
    const qint64 twiceRest = 2 * (num % max);
    if (twiceRest > max || (twiceRest == max && q % 2 != 0))
        ++q;
    return int(q);
}

QRect BarGraph::picRect(int i)
{
    return QRect(picLeft + pitch * i, picTop, picWidth, picHeight);
}

QRect BarGraph::amountRect(int i)
{
    return QRect(labelLeft + pitch * i, amountTop, labelWidth, labelHeight);
}

QRect BarGraph::dateRect(int i)
{
    return QRect(labelLeft + pitch * i, dateTop, labelWidth, labelHeight);
}

QRect BarGraph::barRect(int i, int gap)
{
    const QRect box = picRect(i);
    const int top = box.top() + picHeight * gap / 100;
    return QRect(box.left(), top, picWidth, box.top() + picHeight - top);
}

QSize BarGraph::sizeHint() const
{
    return QSize(qCeil(pageWidth * logicalDpiX() / double(twipsPerInch)),
        qCeil(pageHeight * logicalDpiY() / double(twipsPerInch)));
}

void BarGraph::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.scale(logicalDpiX() / double(twipsPerInch), logicalDpiY() / double(twipsPerInch));

    const QPen hairline(palette().color(QPalette::WindowText), 0);
    for (int i = 0; i < Slots; ++i) {
        const QRectF box = picRect(i);
        p.fillRect(box, palette().color(QPalette::Base));
        if (const auto g = m_slots[i].gap; g && *g < 100)
            p.fillRect(QRectF(barRect(i, *g)), barColour);
        p.setPen(QPen(palette().color(QPalette::Mid), 0));
        p.drawRect(box);
    }
    p.setPen(hairline);
    p.drawLine(axisX0, axisY, axisX1, axisY); // Line1, the x axis
    p.drawLine(axisX0, axisYTop, axisX0, axisY); // Line2, the y axis

    // Captions in device pixels, so the text keeps the widget's font size; one wider than the
    // gap between two boxes' centres is drawn smaller rather than overlapping its neighbour.
    const QTransform toDevice = p.transform();
    p.resetTransform();
    const double room = toDevice.mapRect(QRectF(0, 0, pitch - 60, 1)).width();
    // The currency mark "\" is drawn as the yen sign by the application font (YenFont).
    auto caption = [&](const QRect &twips, const QString &text) {
        if (text.isEmpty())
            return;
        QFont f = font();
        const double w = QFontMetricsF(f).horizontalAdvance(text);
        if (w > room) {
            if (f.pointSizeF() > 0)
                f.setPointSizeF(f.pointSizeF() * room / w);
            else
                f.setPixelSize(qMax(1, int(f.pixelSize() * room / w)));
        }
        p.setFont(f);
        const QRectF r = toDevice.mapRect(QRectF(twips));
        p.drawText(r, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, text);
    };
    for (int i = 0; i < Slots; ++i) {
        caption(amountRect(i), m_slots[i].amount);
        caption(dateRect(i), m_slots[i].date);
    }
}
