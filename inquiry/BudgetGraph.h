// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>
#include <array>

// The budget window's graph of one row (or the total): for each month a bar of the budget and
// one of the actual figure (red when over the budget), and a line through the month's
// remainder. Drawn to the widget's size in device-independent units, so it keeps its
// proportions at any scale.
class QPainter;

class BudgetGraph : public QWidget
{
    Q_OBJECT

public:
    explicit BudgetGraph(QWidget *parent = nullptr);

    void setMonths(const QString &name, const std::array<qint64, 12> &budget,
        const std::array<qint64, 12> &actual, const std::array<qint64, 12> &remainder);

    Q_INVOKABLE QString name() const { return m_name; }
    Q_INVOKABLE qint64 budget(int month) const;
    Q_INVOKABLE qint64 actual(int month) const;
    Q_INVOKABLE qint64 remainder(int month) const;

    // Where value v lies between `top` (for hi) and `bottom` (for lo); lo < hi, and lo <= 0 <= hi
    // so that every bar starts at the zero line. Exact for any 64-bit values.
    static double place(qint64 v, qint64 lo, qint64 hi, double top, double bottom);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // At the graph's top right, what each mark is: the budget's bar, the actual figure's, the
    // actual figure's over the budget and the remainder's line.
    void drawLegend(QPainter &p, const QPointF &rightMiddle) const;

    QString m_name;
    std::array<qint64, 12> m_budget {}, m_actual {}, m_remainder {};
};
