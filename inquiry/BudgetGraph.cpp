// SPDX-License-Identifier: GPL-3.0-or-later
#include "BudgetGraph.h"

#include "BasGeneral.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

const QColor budgetColour(160, 160, 255);
const QColor actualColour(0, 0, 255);
const QColor overColour(255, 0, 0);
const QColor remainderColour(0, 128, 0);

} // namespace

BudgetGraph::BudgetGraph(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Graph"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
}

void BudgetGraph::setMonths(const QString &name, const std::array<qint64, 12> &budget,
    const std::array<qint64, 12> &actual, const std::array<qint64, 12> &remainder)
{
    m_name = name;
    m_budget = budget;
    m_actual = actual;
    m_remainder = remainder;
    update();
}

qint64 BudgetGraph::budget(int month) const
{
    return month >= 1 && month <= 12 ? m_budget[month - 1] : 0;
}

qint64 BudgetGraph::actual(int month) const
{
    return month >= 1 && month <= 12 ? m_actual[month - 1] : 0;
}

qint64 BudgetGraph::remainder(int month) const
{
    return month >= 1 && month <= 12 ? m_remainder[month - 1] : 0;
}

double BudgetGraph::place(qint64 v, qint64 lo, qint64 hi, double top, double bottom)
{
    // The span may not fit 64 bits (hi near the largest, lo near the smallest value).
    const long double span = (long double)hi - (long double)lo;
    if (span <= 0)
        return bottom;
    const long double share = ((long double)v - (long double)lo) / span;
    return double(bottom - share * (bottom - top));
}

QSize BudgetGraph::sizeHint() const
{
    const QFontMetricsF fm(font());
    return QSize(int(fm.height() * 40), int(fm.height() * 12));
}

QSize BudgetGraph::minimumSizeHint() const
{
    const QFontMetricsF fm(font());
    return QSize(int(fm.height() * 20), int(fm.height() * 6));
}

void BudgetGraph::drawLegend(QPainter &p, const QPointF &rightMiddle) const
{
    // Right-aligned on the title's line: a swatch (the remainder's as its line and dot) and its
    // text for each of the graph's marks.
    const QFontMetricsF fm(font());
    const double line = fm.height(), swatch = line * 0.7, gap = line * 0.3;
    const QStringList texts {
        QStringLiteral("予算"), QStringLiteral("実績"), QStringLiteral("予算超過"), QStringLiteral("残")};
    const QColor colours[] = {budgetColour, actualColour, overColour, remainderColour};
    double x = rightMiddle.x();
    for (qsizetype i = texts.size() - 1; i >= 0; --i) {
        x -= fm.horizontalAdvance(texts[i]);
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRectF(x, rightMiddle.y() - line / 2, fm.horizontalAdvance(texts[i]) + 1, line),
            Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
        x -= gap + swatch;
        const QRectF box(x, rightMiddle.y() - swatch / 2, swatch, swatch);
        if (i == texts.size() - 1) {
            p.setPen(QPen(colours[i], line / 8));
            p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
            p.drawEllipse(box.center(), line / 6, line / 6);
        } else {
            p.fillRect(box, colours[i]);
        }
        x -= gap * 3;
    }
}

void BudgetGraph::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(font());
    const double line = fm.height();
    const QRectF plot(line * 4, line * 1.5, width() - line * 5, height() - line * 3);
    if (plot.width() <= 0 || plot.height() <= 0)
        return;

    qint64 lo = 0, hi = 0;
    for (const auto *series : {&m_budget, &m_actual, &m_remainder})
        for (qint64 v : *series) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    if (hi == lo)
        hi = lo + 1;
    const QColor text = palette().color(QPalette::Text); // the colour that goes with Base
    p.setPen(text);
    p.drawText(QRectF(plot.left(), 0, plot.width(), line * 1.5), Qt::AlignLeft | Qt::AlignVCenter,
        m_name + QStringLiteral("　予算・実績・残"));
    drawLegend(p, QPointF(plot.right(), line * 0.75));
    p.drawText(QRectF(0, plot.top() - line / 2, plot.left() - line / 4, line),
        Qt::AlignRight | Qt::AlignVCenter, BasGeneral::amountLabel(hi));
    p.drawText(QRectF(0, plot.bottom() - line / 2, plot.left() - line / 4, line),
        Qt::AlignRight | Qt::AlignVCenter, BasGeneral::amountLabel(lo));

    const double zero = place(0, lo, hi, plot.top(), plot.bottom());
    const double slot = plot.width() / 12;
    const double bar = slot * 0.3;
    QPainterPath remainder;
    for (int m = 0; m < 12; ++m) {
        const double x = plot.left() + slot * m;
        auto column = [&](double left, qint64 v, const QColor &colour) {
            const double y = place(v, lo, hi, plot.top(), plot.bottom());
            p.fillRect(
                QRectF(QPointF(left, std::min(y, zero)), QPointF(left + bar, std::max(y, zero))), colour);
        };
        column(x + slot * 0.15, m_budget[m], budgetColour);
        column(x + slot * 0.15 + bar, m_actual[m], m_actual[m] > m_budget[m] ? overColour : actualColour);
        const QPointF point(x + slot / 2, place(m_remainder[m], lo, hi, plot.top(), plot.bottom()));
        if (m == 0)
            remainder.moveTo(point);
        else
            remainder.lineTo(point);
        p.setPen(text);
        p.drawText(QRectF(x, plot.bottom() + line * 0.25, slot, line), Qt::AlignHCenter | Qt::AlignTop,
            QStringLiteral("%1月").arg(m + 1));
    }
    p.setPen(QPen(text, 0));
    p.drawLine(QPointF(plot.left(), zero), QPointF(plot.right(), zero));
    p.drawLine(plot.topLeft(), plot.bottomLeft());
    p.setPen(QPen(remainderColour, line / 8));
    p.drawPath(remainder);
    for (int m = 0; m < 12; ++m)
        p.drawEllipse(remainder.elementAt(m), line / 6, line / 6);
}
