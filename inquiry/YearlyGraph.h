// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointF>
#include <QWidget>
#include <array>

// The line graph of the yearly totals, drawn on the whole client area of its window. All
// geometry is in twips (1440 per inch) and reaches the screen through one scale transform,
// so every point sits where the layout puts it at any resolution.
class YearlyGraph : public QWidget
{
    Q_OBJECT

public:
    static constexpr int widthTwips = 12750;
    static constexpr int heightTwips = 7350;
    // A point is a dot of this diameter whose top-left corner is the point's position, so the
    // joining lines, which run between (left + 50, top + 50), pass through its centre.
    static constexpr int dotTwips = 100;

    // The left edge of the points of a month (1..12).
    static int pointLeft(int month);
    // The top edge of the point of an amount: 6120 − amount × 360 / 100000, the product
    // formed in 64 bits so that totals of any size are placed by the same rule.
    static double pointTop(qint64 amount);

    explicit YearlyGraph(QWidget *parent = nullptr);

    // Screen pixels per twip, from the screen's logical resolution.
    double scaleX() const;
    double scaleY() const;
    QRect toPixels(const QRect &twips) const;
    QSize sizeHint() const override;

    // Moves the points to the totals and draws the lines between them.
    void setTotals(const std::array<qint64, 12> &income, const std::array<qint64, 12> &expense);
    // Erases the lines; the points stay where they are.
    void clearLines();
    bool hasLines() const { return m_lines; }

    // Top-left corners of the points, in twips.
    QPointF incomePoint(int month) const { return {double(pointLeft(month)), m_incomeTop.at(month - 1)}; }
    QPointF expensePoint(int month) const { return {double(pointLeft(month)), m_expenseTop.at(month - 1)}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *m_scale;
    std::array<double, 12> m_incomeTop;
    std::array<double, 12> m_expenseTop;
    bool m_lines = false;
};
