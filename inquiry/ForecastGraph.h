// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QWidget>

// The balance ahead as a line, one point per day, with the zero line, the place's floor when
// it has one (a card's minus limit), and the lowest point marked. Drawn to the widget's size,
// so it keeps its proportions at any scale.
class ForecastGraph : public QWidget
{
    Q_OBJECT

public:
    explicit ForecastGraph(QWidget *parent = nullptr);

    // `daily` holds the balance at the end of each day from `from` on.
    void setBalances(const QString &name, const QDate &from, const QList<qint64> &daily, qint64 floor);

    Q_INVOKABLE QString name() const { return m_name; }
    Q_INVOKABLE int days() const { return int(m_daily.size()); }
    // The first day of the lowest balance, and that balance.
    Q_INVOKABLE QDate lowestDay() const;
    Q_INVOKABLE qint64 lowest() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int lowestIndex() const;

    QString m_name;
    QDate m_from;
    QList<qint64> m_daily;
    qint64 m_floor = 0;
};
