// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardLedger.h"

#include "BankCalendar.h"
#include "Database.h"

#include <algorithm>

namespace CardLedger {

namespace {

// For the cascades of the storage master below, which keep their statements' forms.
QString quoted(const QString &text)
{
    return QStringLiteral("'") + Database::escape(text) + QStringLiteral("'");
}

bool haveTables(Database &db)
{
    Cursor c = db.query(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'X_card'"));
    return !c.eof() && c.value(0).toInt() > 0;
}

QList<Card> read(Database &db, const QString &where, const QVariantList &values)
{
    QList<Card> list;
    if (!haveTables(db))
        return list;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit FROM X_card")
                 + where + QStringLiteral(" ORDER BY XC_place"),
             values);
         !c.eof(); c.next())
        list << Card {c.text(0), c.integer(1), c.integer(2), c.text(3), c.integer64(4)};
    return list;
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

std::optional<Card> card(Database &db, const QString &place)
{
    const QList<Card> list = read(db, QStringLiteral(" WHERE XC_place = ?"), {place});
    if (list.isEmpty())
        return std::nullopt;
    return list.first();
}

QList<Card> cards(Database &db)
{
    return read(db, QString(), {});
}

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

namespace {

void forgetRows(Database &db, const QString &place)
{
    db.execute(QStringLiteral("DELETE FROM X_card WHERE XC_place = ") + quoted(place));
    db.execute(QStringLiteral("DELETE FROM X_card_bill WHERE XCB_place = ") + quoted(place));
}

} // namespace

void renamePlace(Database &db, const QString &from, const QString &to)
{
    if (!haveTables(db))
        return;
    // Rows still kept under the new name belong to a place deleted long ago.
    forgetRows(db, to);
    const QString f = quoted(from), t = quoted(to);
    db.execute(
        QStringLiteral("UPDATE X_card SET XC_place = ") + t + QStringLiteral(" WHERE XC_place = ") + f);
    db.execute(
        QStringLiteral("UPDATE X_card SET XC_pay_from = ") + t + QStringLiteral(" WHERE XC_pay_from = ") + f);
    db.execute(QStringLiteral("UPDATE X_card_bill SET XCB_place = ") + t
        + QStringLiteral(" WHERE XCB_place = ") + f);
}

void forgetPlace(Database &db, const QString &place)
{
    if (haveTables(db))
        forgetRows(db, place);
}

QString cardPaidFrom(Database &db, const QString &place)
{
    const QList<Card> list = read(db, QStringLiteral(" WHERE XC_pay_from = ?"), {place});
    return list.isEmpty() ? QString() : list.first().place;
}

} // namespace CardLedger
