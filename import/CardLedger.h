// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MasterChange.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

class Database;

// Credit cards. A card is a storage place that owes: its balance is below zero by what is owed,
// purchases lower it and the bank's payment (a transfer from the paying place) raises it. What
// makes a place a card is its row in X_card; a card statement's bill is kept in X_card_bill so
// that the bank line paying it can be recognised. Functions run on a connection the caller
// opened; the writing ones inside its write transaction.
namespace CardLedger {

// A card's settings, as the card master keeps them (see MasterChange).
using Card = MasterChange::Card;
using MasterChange::card;
using MasterChange::cards;

// What a card may still be used for: the limit less what is owed. `balance` is the place's
// balance (below zero when something is owed).
qint64 available(const Card &card, qint64 balance);
// The refusal of a withdrawal of `amount` from a card whose balance is `balance`; empty when the
// limit allows it.
QString limitRefusal(const Card &card, qint64 balance, qint64 amount);

// The day `day` of a month, 31 (or any day past the month's end) meaning its last day; a day
// below 1 is the 1st.
QDate dayOfMonth(int year, int month, int day);
// The payment date of the bill that holds a purchase of `newest`: the payment day after the
// first closing day on or after it. `billMonth` (1..12, 0 when unknown) is the month the
// statement says it is paid in: the first payment day in that month after `newest`.
QDate paymentDate(const Card &card, const QDate &newest, int billMonth = 0);

struct Bill
{
    qint64 id = 0;
    QString card;
    int paymentDate = 0; // yyyymmdd, as stated or derived, before any move to a business day
    qint64 total = 0;
};
// The bills of one card in the order they were imported.
QList<Bill> billsOf(Database &db, const QString &card);
// The bills of the cards paid from `place`, oldest payment first.
QList<Bill> billsPaidFrom(Database &db, const QString &place);
// Whether a bank line of `date` and signed `amount` pays the bill: a withdrawal of its total on
// its payment date or on the next bank business day after it.
bool pays(const Bill &bill, int date, qint64 amount);
void addBill(Database &db, const QString &card, int paymentDate, qint64 total, qint64 batch);

} // namespace CardLedger
