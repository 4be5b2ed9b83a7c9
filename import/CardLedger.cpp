// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardLedger.h"

#include "BankCalendar.h"
#include "Database.h"

#include <algorithm>

namespace CardLedger {

namespace {

bool haveTables(Database &db)
{
    Cursor c = db.query(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'X_card'"));
    return !c.eof() && c.value(0).toInt() > 0;
}

int numberOf(const QDate &d)
{
    return d.year() * 10000 + d.month() * 100 + d.day();
}

QDate dayOf(int yyyymmdd)
{
    return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
}

} // namespace

qint64 available(const Card &card, qint64 balance)
{
    return card.limit + balance;
}

QString limitRefusal(const Card &card, qint64 balance, qint64 amount)
{
    const qint64 left = available(card, balance);
    if (amount <= left)
        return {};
    return card.place + QStringLiteral("の利用可能額 \\") + QString::number(left)
        + QStringLiteral("を超えるため出金できません");
}

QDate dayOfMonth(int year, int month, int day)
{
    const QDate first(year, month, 1);
    return first.addDays(std::clamp(day, 1, first.daysInMonth()) - 1);
}

QDate paymentDate(const Card &card, const QDate &newest, int billMonth)
{
    if (!newest.isValid())
        return {};
    QDate month(newest.year(), newest.month(), 1);
    if (billMonth >= 1 && billMonth <= 12) {
        for (int i = 0; i < 13; ++i, month = month.addMonths(1)) {
            const QDate pay = dayOfMonth(month.year(), month.month(), card.payment);
            if (month.month() == billMonth && pay > newest)
                return pay;
        }
    }
    QDate closing = dayOfMonth(month.year(), month.month(), card.closing);
    if (closing < newest) {
        month = month.addMonths(1);
        closing = dayOfMonth(month.year(), month.month(), card.closing);
    }
    QDate pay = dayOfMonth(month.year(), month.month(), card.payment);
    if (pay <= closing) {
        month = month.addMonths(1);
        pay = dayOfMonth(month.year(), month.month(), card.payment);
    }
    return pay;
}

namespace {

QList<Bill> readBills(Database &db, const QString &whereAndOrder, const QVariantList &values)
{
    QList<Bill> list;
    if (!haveTables(db))
        return list;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XCB_id,XCB_place,XCB_payment_date,XCB_total FROM X_card_bill ")
                 + whereAndOrder,
             values);
         !c.eof(); c.next())
        list << Bill {c.integer64(0), c.text(1), c.integer(2), c.integer64(3)};
    return list;
}

} // namespace

QList<Bill> billsOf(Database &db, const QString &card)
{
    return readBills(db, QStringLiteral("WHERE XCB_place = ? ORDER BY XCB_id"), {card});
}

QList<Bill> billsPaidFrom(Database &db, const QString &place)
{
    return readBills(db,
        QStringLiteral("INNER JOIN X_card ON XCB_place = XC_place WHERE XC_pay_from = ?"
                       " ORDER BY XCB_payment_date, XCB_id"),
        {place});
}

bool pays(const Bill &bill, int date, qint64 amount)
{
    if (amount != -bill.total || bill.total <= 0)
        return false;
    const QDate due = dayOf(bill.paymentDate);
    return date == bill.paymentDate
        || (due.isValid() && date == numberOf(BankCalendar::nextBusinessDay(due)));
}

void addBill(Database &db, const QString &card, int paymentDate, qint64 total, qint64 batch)
{
    // The same statement imported in two goes is one bill.
    Cursor c = db.query(QStringLiteral("SELECT COUNT(*) FROM X_card_bill WHERE XCB_place = ? AND "
                                       "XCB_payment_date = ? AND XCB_total = ?"),
        {card, paymentDate, total});
    if (!c.eof() && c.value(0).toInt() > 0)
        return;
    db.insert(QStringLiteral("X_card_bill"),
        {{QStringLiteral("XCB_place"), card}, {QStringLiteral("XCB_payment_date"), paymentDate},
            {QStringLiteral("XCB_total"), total}, {QStringLiteral("XCB_batch"), batch}});
}

} // namespace CardLedger
