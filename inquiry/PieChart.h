// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

// The shares of a year's total as a pie, largest first, clockwise from twelve o'clock: the
// eight largest by name and the rest together as "その他", each with its percentage in the
// legend. Totals of zero or below have no slice. Drawn with QPainter at the widget's size.
class PieChart : public QWidget
{
    Q_OBJECT

public:
    struct Slice
    {
        QString name;
        qint64 value = 0;
        int tenths = 0; // of a percent of the pie, adding up to 1000
        // In sixteenths of a degree as QPainter counts them: from three o'clock,
        // counter-clockwise; the spans are negative (clockwise).
        int start = 0;
        int span = 0;
    };

    explicit PieChart(QWidget *parent = nullptr);

    // Names with their totals, in any order.
    void setTotals(const QList<std::pair<QString, qint64>> &totals);
    const QList<Slice> &slices() const { return m_slices; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<Slice> m_slices;
};
