// SPDX-License-Identifier: GPL-3.0-or-later
#include "PieChart.h"

#include "CategoryTotals.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kNamedSlices = 8;
constexpr int kFullCircle = 360 * 16;
constexpr int kTwelveOClock = 90 * 16;

QColor sliceColour(int i)
{
    static const QColor colours[] = {
        QColor(70, 130, 200), QColor(230, 120, 60), QColor(90, 170, 90), QColor(200, 70, 80),
        QColor(150, 110, 190), QColor(140, 100, 80), QColor(220, 120, 180), QColor(120, 180, 190),
        QColor(170, 170, 170), // その他
    };
    return colours[std::min<int>(i, std::size(colours) - 1)];
}

} // namespace

PieChart::PieChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Graph"));
    // The text area's colours, both from the palette: white with black text on a light
    // desktop, the theme's dark field with light text on a dark one.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setForegroundRole(QPalette::Text);
}

void PieChart::setTotals(const QList<std::pair<QString, qint64>> &totals)
{
    QList<std::pair<QString, qint64>> positive;
    for (const auto &t : totals) {
        if (t.second > 0)
            positive << t;
    }
    std::sort(positive.begin(), positive.end(), [](const auto &a, const auto &b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    m_slices.clear();
    qint64 rest = 0;
    for (qsizetype i = 0; i < positive.size(); ++i) {
        if (i < kNamedSlices)
            m_slices.append(Slice {positive[i].first, positive[i].second});
        else
            rest += positive[i].second;
    }
    if (rest > 0)
        m_slices.append(Slice {QStringLiteral("その他"), rest});

    QList<qint64> values;
    long double sum = 0;
    for (const Slice &s : std::as_const(m_slices)) {
        values << s.value;
        sum += s.value;
    }
    const QList<int> tenths = CategoryTotals::sharesInTenths(values);
    // Each boundary is rounded from the running sum, so the slices close the circle exactly.
    long double running = 0;
    int boundary = 0;
    for (qsizetype i = 0; i < m_slices.size(); ++i) {
        running += m_slices[i].value;
        const int next
            = i + 1 == m_slices.size() ? kFullCircle : int(std::lround(running / sum * kFullCircle));
        m_slices[i].tenths = tenths.at(i);
        m_slices[i].start = kTwelveOClock - boundary;
        m_slices[i].span = -(next - boundary);
        boundary = next;
    }
    update();
}

QSize PieChart::sizeHint() const
{
    return QSize(fontMetrics().height() * 34, fontMetrics().height() * 14);
}

QSize PieChart::minimumSizeHint() const
{
    return QSize(fontMetrics().height() * 24, fontMetrics().height() * 10);
}

void PieChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int margin = fontMetrics().height();
    if (m_slices.isEmpty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("データがありません"));
        return;
    }
    const int diameter = std::max(10, std::min(height() - 2 * margin, width() / 2 - 2 * margin));
    const QRectF pie(margin, (height() - diameter) / 2.0, diameter, diameter);
    painter.setPen(QPen(palette().color(QPalette::Base), 1.5));
    for (qsizetype i = 0; i < m_slices.size(); ++i) {
        painter.setBrush(sliceColour(int(i)));
        painter.drawPie(pie, m_slices[i].start, m_slices[i].span);
    }

    // The legend beside the pie: a square of the slice's colour, the name, the percentage.
    const int line = fontMetrics().height() + 4;
    const int legendX = int(pie.right()) + 2 * margin;
    int y = std::max(margin, int(height() - line * m_slices.size()) / 2);
    const int percentWidth = fontMetrics().horizontalAdvance(QStringLiteral("100.0%"));
    // The percentages stand right after the longest name, not at the far edge.
    int longest = 0;
    for (const Slice &s : std::as_const(m_slices))
        longest = std::max(longest, fontMetrics().horizontalAdvance(s.name));
    const int nameWidth
        = std::min(longest + 2 * margin, std::max(0, width() - legendX - margin - percentWidth - line));
    for (qsizetype i = 0; i < m_slices.size(); ++i) {
        const Slice &s = m_slices[i];
        painter.setPen(Qt::NoPen);
        painter.setBrush(sliceColour(int(i)));
        painter.drawRect(QRectF(legendX, y + 3, line - 8, line - 8));
        painter.setPen(palette().color(QPalette::Text));
        const QRect nameRect(legendX + line, y, nameWidth, line);
        painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
            fontMetrics().elidedText(s.name, Qt::ElideRight, nameWidth));
        painter.drawText(QRect(nameRect.right(), y, percentWidth, line), Qt::AlignRight | Qt::AlignVCenter,
            CategoryTotals::percentText(s.tenths) + QLatin1Char('%'));
        y += line;
    }
}
