// SPDX-License-Identifier: GPL-3.0-or-later
#include "YearlyGraph.h"

#include "Contrast.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

namespace {

constexpr std::array<int, 12> kLeft {
    1320, 2280, 3240, 4200, 5160, 6120, 7200, 8160, 9120, 10080, 11040, 12000};

// The vertical scale: "150万" at the level of 1,500,000 yen down to "0万" at 0, one entry
// per 100,000 yen.
constexpr int kScaleLeft = 120;
constexpr int kScaleWidth = 615;
constexpr int kScaleTop = 720;
constexpr int kScaleHeight = 5655;
constexpr int kScaleStep = 360;

const QColor kExpense(255, 0, 0);

// Label1: the vertical scale beside the graph, "150万" down to "0万".
class ScaleLabel : public QWidget
{
public:
    explicit ScaleLabel(YearlyGraph *graph);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    YearlyGraph *m_graph;
};

} // namespace

int YearlyGraph::pointLeft(int month)
{
    return kLeft.at(month - 1);
}

double YearlyGraph::pointTop(qint64 amount)
{
    return 6120.0 - double(amount * 360) / 100000.0;
}

YearlyGraph::YearlyGraph(QWidget *parent)
    : QWidget(parent)
    , m_scale(new ScaleLabel(this))
{
    m_incomeTop.fill(pointTop(0));
    m_expenseTop.fill(pointTop(0));
}

double YearlyGraph::scaleX() const
{
    return logicalDpiX() / 1440.0;
}

double YearlyGraph::scaleY() const
{
    return logicalDpiY() / 1440.0;
}

QRect YearlyGraph::toPixels(const QRect &t) const
{
    const int x = qRound(t.x() * scaleX());
    const int y = qRound(t.y() * scaleY());
    return QRect(
        x, y, qRound((t.x() + t.width()) * scaleX()) - x, qRound((t.y() + t.height()) * scaleY()) - y);
}

QSize YearlyGraph::sizeHint() const
{
    return toPixels(QRect(0, 0, widthTwips, heightTwips)).size();
}

void YearlyGraph::setTotals(const std::array<qint64, 12> &income, const std::array<qint64, 12> &expense)
{
    for (int i = 0; i < 12; ++i) {
        m_incomeTop[i] = pointTop(income[i]);
        m_expenseTop[i] = pointTop(expense[i]);
    }
    m_lines = true;
    update();
}

void YearlyGraph::clearLines()
{
    m_lines = false;
    update();
}

void YearlyGraph::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The label reaches half a line above its first entry and below its last, so that the
    // texts centred on the levels of 150万 and 0万 are not cut.
    const QRect box = toPixels(QRect(kScaleLeft, kScaleTop, kScaleWidth, kScaleHeight));
    const int half = m_scale->fontMetrics().height() / 2 + 1;
    m_scale->setGeometry(box.adjusted(0, -half, 0, half));
}

void YearlyGraph::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(QTransform::fromScale(scaleX(), scaleY()));

    // The graph stands on the window's background: its blue follows that background.
    const QColor income = Contrast::incomeBlue(palette().color(QPalette::Window));
    // Lines first, then the dots above them, income before expense.
    if (m_lines) {
        QPen pen;
        pen.setCosmetic(true); // one pixel wide at any scale
        for (const auto &[tops, colour] :
            {std::pair {&m_incomeTop, income}, std::pair {&m_expenseTop, kExpense}}) {
            pen.setColor(colour);
            p.setPen(pen);
            for (int m = 2; m <= 12; ++m)
                p.drawLine(QPointF(pointLeft(m - 1) + 50, (*tops)[m - 2] + 50),
                    QPointF(pointLeft(m) + 50, (*tops)[m - 1] + 50));
        }
    }
    p.setPen(Qt::NoPen);
    for (const auto &[tops, colour] :
        {std::pair {&m_incomeTop, income}, std::pair {&m_expenseTop, kExpense}}) {
        p.setBrush(colour);
        for (int m = 1; m <= 12; ++m)
            p.drawEllipse(QRectF(pointLeft(m), (*tops)[m - 1], dotTwips, dotTwips));
    }
}

ScaleLabel::ScaleLabel(YearlyGraph *graph)
    : QWidget(graph)
    , m_graph(graph)
{
    setObjectName(QStringLiteral("Label1"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ScaleLabel::paintEvent(QPaintEvent *)
{
    // Each text is centred on the level of the dots of its amount. The texts are laid out
    // in pixels because fonts are sized in points, not in twips.
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const double lineHeight = p.fontMetrics().height();
    for (int k = 0; k <= 15; ++k) {
        const double centre
            = (kScaleTop + k * kScaleStep + YearlyGraph::dotTwips / 2.0) * m_graph->scaleY() - y();
        p.drawText(QRectF(0, centre - lineHeight / 2, width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
            QStringLiteral("%1万").arg((15 - k) * 10));
    }
}
