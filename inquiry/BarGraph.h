// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <optional>

// The graph page of F_list_S: ten boxes (Pic) with a blue bar each, the amount above each box
// (lbl_m), the date below it (lbl_d) and the two axes. Geometry is kept in twips (1440 per
// inch) and drawn through a scale transform to the screen's resolution.
class BarGraph : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Slots = 10;

    explicit BarGraph(QWidget *parent = nullptr);

    // Empties every box and both captions of every slot.
    Q_INVOKABLE void clear();
    // Slot i shows a bar starting `gap` percent of the box height below the box's top (no bar
    // when gap is empty), and the two captions.
    void setSlot(int i, std::optional<int> gap, const QString &date, const QString &amount);

    // What slot i shows now: the gap of its bar (-1 when it has none) and its captions.
    Q_INVOKABLE int gap(int i) const;
    Q_INVOKABLE bool hasBar(int i) const { return gap(i) >= 0; }
    Q_INVOKABLE QString dateCaption(int i) const;
    Q_INVOKABLE QString amountCaption(int i) const;

    // (1 - v / max) x 100 rounded to the nearest whole number, an exact half to the even
    // neighbour. Empty when it is no share of a box: max not above 0, or v outside 0..max.
    static std::optional<int> gapPercent(qint64 v, qint64 max);

    // Twips within the page.
    static QRect picRect(int i);
    static QRect amountRect(int i);
    static QRect dateRect(int i);
    // The filled part of box i for a gap; empty for gap 100.
    static QRect barRect(int i, int gap);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Slot
    {
        std::optional<int> gap;
        QString date;
        QString amount;
    };
    std::array<Slot, Slots> m_slots;
};
