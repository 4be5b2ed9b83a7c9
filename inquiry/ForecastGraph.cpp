// SPDX-License-Identifier: GPL-3.0-or-later
#include "ForecastGraph.h"

#include "BudgetGraph.h"

#include "BasGeneral.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

const QColor lineColour(0, 0, 255);
const QColor lowColour(255, 0, 0);

} // namespace

ForecastGraph::ForecastGraph(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Graph"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void ForecastGraph::setBalances(
    const QString &name, const QDate &from, const QList<qint64> &daily, qint64 floor)
{
    m_name = name;
    m_from = from;
    m_daily = daily;
    m_floor = floor;
    update();
}

int ForecastGraph::lowestIndex() const
{
    if (m_daily.isEmpty())
        return -1;
    return int(std::min_element(m_daily.begin(), m_daily.end()) - m_daily.begin());
}

QDate ForecastGraph::lowestDay() const
{
    const int i = lowestIndex();
    return i < 0 ? QDate() : m_from.addDays(i);
}

qint64 ForecastGraph::lowest() const
{
    const int i = lowestIndex();
    return i < 0 ? 0 : m_daily[i];
}

QSize ForecastGraph::sizeHint() const
{
    const QFontMetricsF fm(font());
    return QSize(int(fm.height() * 40), int(fm.height() * 12));
}

QSize ForecastGraph::minimumSizeHint() const
{
    const QFontMetricsF fm(font());
    return QSize(int(fm.height() * 20), int(fm.height() * 6));
}

void ForecastGraph::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF fm(font());
    const double line = fm.height();
    const QRectF plot(line * 5, line * 1.5, width() - line * 6, height() - line * 3);
    const QColor text = palette().color(QPalette::WindowText);
    p.setPen(text);
    p.drawText(QRectF(plot.left(), 0, std::max(0.0, plot.width()), line * 1.5),
        Qt::AlignLeft | Qt::AlignVCenter, m_name + QStringLiteral("　残高の見通し"));
    if (plot.width() <= 0 || plot.height() <= 0 || m_daily.isEmpty())
        return;

    // The zero line and the floor are always in sight.
    qint64 lo = std::min<qint64>(0, m_floor), hi = 0;
    for (qint64 v : m_daily) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (hi == lo)
        hi = lo + 1;
    auto y = [&](qint64 v) { return BudgetGraph::place(v, lo, hi, plot.top(), plot.bottom()); };
    const int n = int(m_daily.size());
    const double step = n > 1 ? plot.width() / (n - 1) : 0;
    auto x = [&](int i) { return plot.left() + step * i; };

    p.drawText(QRectF(0, plot.top() - line / 2, plot.left() - line / 4, line),
        Qt::AlignRight | Qt::AlignVCenter, BasGeneral::amountLabel(hi));
    p.drawText(QRectF(0, plot.bottom() - line / 2, plot.left() - line / 4, line),
        Qt::AlignRight | Qt::AlignVCenter, BasGeneral::amountLabel(lo));
    // A mark and the month's number on the first day of each month.
    double lastLabel = -1e9;
    for (int i = 0; i < n; ++i) {
        const QDate d = m_from.addDays(i);
        if (d.day() != 1 && i != 0)
            continue;
        p.setPen(QPen(palette().color(QPalette::Mid), 0));
        p.drawLine(QPointF(x(i), plot.top()), QPointF(x(i), plot.bottom()));
        const QString label = QStringLiteral("%1月").arg(d.month());
        const double w = fm.horizontalAdvance(label) + line / 2;
        if (x(i) - lastLabel >= w) {
            p.setPen(text);
            p.drawText(
                QRectF(x(i), plot.bottom() + line * 0.25, w, line), Qt::AlignLeft | Qt::AlignTop, label);
            lastLabel = x(i);
        }
    }
    p.setPen(QPen(text, 0));
    p.drawLine(QPointF(plot.left(), y(0)), QPointF(plot.right(), y(0)));
    p.drawLine(plot.topLeft(), plot.bottomLeft());
    if (m_floor < 0) {
        p.setPen(QPen(lowColour, 0, Qt::DashLine));
        p.drawLine(QPointF(plot.left(), y(m_floor)), QPointF(plot.right(), y(m_floor)));
    }

    // The balance holds through each day and changes at its end: a step line.
    QPainterPath path(QPointF(x(0), y(m_daily[0])));
    for (int i = 1; i < n; ++i) {
        path.lineTo(QPointF(x(i), y(m_daily[i - 1])));
        path.lineTo(QPointF(x(i), y(m_daily[i])));
    }
    p.setPen(QPen(lineColour, line / 8));
    p.drawPath(path);

    const int low = lowestIndex();
    const QPointF at(x(low), y(m_daily[low]));
    p.setPen(QPen(lowColour, line / 8));
    p.setBrush(lowColour);
    p.drawEllipse(at, line / 4, line / 4);
    const QString label
        = QStringLiteral("最低 %1（%2）")
              .arg(BasGeneral::amountLabel(m_daily[low]), lowestDay().toString(QStringLiteral("M/d")));
    const double w = fm.horizontalAdvance(label) + line / 2;
    const double left = std::clamp(at.x() - w / 2, plot.left(), std::max(plot.left(), plot.right() - w));
    const double top = at.y() - line * 1.4 < plot.top() ? at.y() + line * 0.4 : at.y() - line * 1.4;
    p.setPen(lowColour);
    p.drawText(QRectF(left, top, w, line), Qt::AlignCenter, label);
}
