// SPDX-License-Identifier: GPL-3.0-or-later
#include "Forecast.h"

#include "BankCalendar.h"
#include "BasGeneral.h"
#include "CardLedger.h"
#include "Database.h"

#include <QHash>
#include <algorithm>
#include <functional>
#include <tuple>

namespace Forecast {

namespace {

// A day as the ledger's yyyymmdd number, for binding.
qint64 number(const QDate &day)
{
    return qint64(day.year()) * 10000 + day.month() * 100 + day.day();
}

QDate fromNumber(qint64 yyyymmdd)
{
    return QDate(int(yyyymmdd / 10000), int(yyyymmdd / 100 % 100), int(yyyymmdd % 100));
}

// The columns of one side's postings.
struct Postings
{
    QString table, item, place, money, date;
};

Postings postingsOf(Schedule::Side side)
{
    if (side == Schedule::Side::Income)
        return {QStringLiteral("N"), QStringLiteral("N_index"), QStringLiteral("N_hokan"),
            QStringLiteral("N_money"), QStringLiteral("N_date")};
    return {QStringLiteral("S"), QStringLiteral("S_index"), QStringLiteral("S_hokan"),
        QStringLiteral("S_money"), QStringLiteral("S_date")};
}

// What one scheduled item has posted that its occurrences depend on.
struct ItemPostings
{
    std::optional<qint64> last; // the latest posting's amount
    QList<QDate> recent; // posting days from shortly before today on
    QHash<int, qint64> monthly; // yyyymm -> sum, a year before the period
};

ItemPostings readPostings(Database &db, const Schedule::Entry &e, const QDate &today, const QDate &to)
{
    const Postings p = postingsOf(e.side);
    const QString where
        = QStringLiteral(" FROM ") + p.table + QStringLiteral(" WHERE ") + p.item + QStringLiteral(" = ?");
    ItemPostings out;
    {
        Cursor c = db.query(QStringLiteral("SELECT ") + p.money + where + QStringLiteral(" ORDER BY ")
                + p.date + QStringLiteral(" DESC LIMIT 1"),
            {e.item});
        if (!c.eof())
            out.last = c.integer64(0);
    }
    // A business day lies at most a few days from the scheduled one.
    {
        Cursor c = db.query(QStringLiteral("SELECT ") + p.date + where + QStringLiteral(" AND ") + p.date
                + QStringLiteral(" >= ?"),
            {e.item, number(today.addDays(-15))});
        for (; !c.eof(); c.next())
            out.recent << fromNumber(c.integer64(0));
    }
    if (e.amount == Schedule::AmountRule::SameMonthLastYear) {
        const QDate lo = today.addMonths(-13), hi = to.addMonths(-11);
        Cursor c = db.query(QStringLiteral("SELECT ") + p.date + u',' + p.money + where
                + QStringLiteral(" AND ") + p.date + QStringLiteral(" BETWEEN ? AND ?"),
            {e.item, number(QDate(lo.year(), lo.month(), 1)),
                number(QDate(hi.year(), hi.month(), hi.daysInMonth()))});
        for (; !c.eof(); c.next())
            out.monthly[int(c.integer64(0) / 100)] += c.integer64(1);
    }
    return out;
}

// What the item is expected to bring or cost on the scheduled day; nothing when no amount can
// be expected.
std::optional<qint64> expected(const Schedule::Entry &e, const ItemPostings &p, const QDate &scheduled)
{
    switch (e.amount) {
    case Schedule::AmountRule::Fixed:
        return e.fixed;
    case Schedule::AmountRule::SameMonthLastYear: {
        const int key = (scheduled.year() - 1) * 100 + scheduled.month();
        // A month without postings a year before falls back on the last amount.
        if (p.monthly.contains(key))
            return p.monthly.value(key);
        return p.last;
    }
    case Schedule::AmountRule::LastPosted:
        break;
    }
    return p.last;
}

using CardLedger::Card;

// One thing that happens on a day: a scheduled item, or a card's bill (its amount is known
// only once the walk reaches its day).
struct Event
{
    QDate date, scheduled;
    int order = 0; // income 0, expense and bills 1
    int seq = 0;
    QString item, place;
    qint64 in = 0, out = 0;
    int card = -1; // a card's bill: the card and the bill among its bills
    qsizetype bill = 0;
};

// A card's bills as the walk through the period meets them. A bill is what the card owed at its
// closing day, less what earlier bills not yet due then still ask (or the imported statement's
// total); payments into the card settle the bills oldest first, and the forecast pays on the
// bill's business day what is left of it. An earlier bill whose day passed unpaid by the
// closing day is part of what the card owes then, so it goes into the new bill.
class CardBills
{
public:
    struct Bill
    {
        QDate closing, scheduled, date; // date: the payment day moved to a business day
        std::optional<qint64> imported;
        qint64 left = 0; // what is still unpaid once closed
        bool closed = false;
    };

    CardBills(Database &db, const Card &card, qint64 balance, const QDate &today, const QDate &to,
        const QList<CardLedger::Bill> &imported)
        : m_balance(balance)
    {
        // Every bill due in the period, and before the first of them those still open at the
        // closing day of the next.
        const QDate first = today.addMonths(-6);
        for (QDate m(first.year(), first.month(), 1); m <= to; m = m.addMonths(1)) {
            Bill b;
            b.scheduled = dayIn(m.year(), m.month(), card.payment);
            b.date = BankCalendar::nextBusinessDay(b.scheduled);
            if (b.date > to)
                break;
            b.closing = closingBefore(b.scheduled, card.closing);
            m_bills << b;
        }
        qsizetype start = 0;
        while (start < m_bills.size() && m_bills[start].date < today)
            ++start;
        if (start == m_bills.size()) {
            m_bills.clear(); // none due in the period
            return;
        }
        while (start > 0 && m_bills[start - 1].date > m_bills[start].closing)
            --start;
        m_bills.remove(0, start);
        // A statement states the payment day as scheduled or as moved.
        for (const CardLedger::Bill &i : imported) {
            const QDate day = fromNumber(i.paymentDate);
            for (Bill &b : m_bills)
                if (day >= b.scheduled && day <= b.date)
                    b.imported = i.total;
        }
        readRecorded(db, card.place, m_bills.first().closing);
    }

    QList<Bill> &bills() { return m_bills; }

    // What is left of bill `at` on its day: the payments recorded up to that day and the closing
    // days before it taken into account.
    qint64 leftOn(qsizetype at)
    {
        const QDate day = m_bills[at].date;
        for (;;) {
            const bool closing = m_closed < m_bills.size() && m_bills[m_closed].closing < day;
            const bool payment = m_paid < m_payments.size() && m_payments[m_paid].first <= day;
            if (payment && (!closing || m_payments[m_paid].first <= m_bills[m_closed].closing))
                pay(m_payments[m_paid++].second);
            else if (closing)
                close(m_bills[m_closed++]);
            else
                break;
        }
        return m_bills[at].left;
    }

    // A movement of the card that the forecast expects.
    void expect(const QDate &day, qint64 change)
    {
        if (!m_expected.isEmpty() && m_expected.last().first == day)
            m_expected.last().second += change;
        else
            m_expected << qMakePair(day, change);
    }

private:
    // The card's balance at the end of a day: today's, less what is recorded after the day,
    // with what the forecast expects up to it.
    qint64 balanceAt(const QDate &day) const
    {
        qint64 b = m_balance;
        for (const auto &[date, change] : m_recorded)
            if (date > day)
                b -= change;
        for (const auto &[date, change] : m_expected)
            if (date <= day)
                b += change;
        return b;
    }

    void close(Bill &bill)
    {
        qint64 open = 0;
        for (Bill &b : m_bills) {
            if (&b == &bill)
                break;
            if (b.date <= bill.closing)
                b.left = 0; // owed still, so part of the new bill
            else
                open += b.left;
        }
        bill.left = bill.imported ? *bill.imported : std::max<qint64>(0, -balanceAt(bill.closing) - open);
        bill.closed = true;
    }

    void pay(qint64 amount)
    {
        for (Bill &b : m_bills) {
            if (!b.closed || amount <= 0)
                break;
            const qint64 part = std::min(b.left, amount);
            b.left -= part;
            amount -= part;
        }
    }

    void readRecorded(Database &db, const QString &place, const QDate &after)
    {
        const QVariantList values {place, number(after)};
        auto read = [&](const QString &sql, int sign, bool payment) {
            for (Cursor c = db.query(sql, values); !c.eof(); c.next()) {
                const QDate day = fromNumber(c.integer64(0));
                const qint64 money = c.integer64(1);
                m_recorded << qMakePair(day, sign * money);
                if (payment)
                    m_payments << qMakePair(day, money);
            }
        };
        read(QStringLiteral("SELECT N_date, N_money FROM N WHERE N_hokan = ? AND N_date > ?"), 1, false);
        read(QStringLiteral("SELECT S_date, S_money FROM S WHERE S_hokan = ? AND S_date > ?"), -1, false);
        read(QStringLiteral("SELECT I_day, I_money FROM Idourireki_T WHERE I_hokanmoto = ? AND I_day > ?"),
            -1, false);
        read(QStringLiteral("SELECT I_day, I_money FROM Idourireki_T WHERE I_hokansaki = ? AND I_day > ?"), 1,
            true);
        read(QStringLiteral(
                 "SELECT K_day, K_amoney - K_bmoney FROM Ktanaorosi_T WHERE K_hokan = ? AND K_day > ?"),
            1, false);
        std::stable_sort(m_payments.begin(), m_payments.end(),
            [](const auto &x, const auto &y) { return x.first < y.first; });
    }

    qint64 m_balance;
    QList<Bill> m_bills;
    QList<QPair<QDate, qint64>> m_recorded, m_payments, m_expected;
    qsizetype m_closed = 0, m_paid = 0;
};

} // namespace

const Place *Result::place(const QString &name) const
{
    for (const Place &p : places)
        if (p.name == name)
            return &p;
    return nullptr;
}

QList<qint64> Result::daily(const QString &name) const
{
    qint64 balance = 0;
    for (const Place &p : places)
        if (name.isEmpty() || p.name == name)
            balance += p.balance;
    QList<qint64> out;
    qsizetype next = 0;
    for (QDate d = from; d <= to; d = d.addDays(1)) {
        for (; next < movements.size() && movements[next].date <= d; ++next) {
            const Movement &m = movements[next];
            if (name.isEmpty() || m.place == name)
                balance += m.in - m.out;
        }
        out << balance;
    }
    return out;
}

QDate dayIn(int year, int month, int day)
{
    return CardLedger::dayOfMonth(year, month, day);
}

QDate shifted(const QDate &day, Schedule::Shift shift)
{
    return shift == Schedule::Shift::Previous ? BankCalendar::previousBusinessDay(day)
                                              : BankCalendar::nextBusinessDay(day);
}

QDate closingBefore(const QDate &payment, int closing)
{
    QDate c = dayIn(payment.year(), payment.month(), closing);
    if (c >= payment) {
        const QDate before = payment.addMonths(-1);
        c = dayIn(before.year(), before.month(), closing);
    }
    return c;
}

Result compute(Database &db, const QDate &today, int months)
{
    return compute(db, today, today.addMonths(months));
}

Result compute(Database &db, const QDate &today, const QDate &to)
{
    Result r;
    r.from = today;
    r.to = to;
    QHash<QString, qsizetype> placeAt;
    for (Cursor c = db.query(QStringLiteral("SELECT H_index, H_money FROM Hokan_T")); !c.eof(); c.next()) {
        Place p;
        p.name = c.text(0);
        p.balance = c.integer64(1);
        if (!placeAt.contains(p.name)) {
            placeAt.insert(p.name, r.places.size());
            r.places << p;
        }
    }

    QList<Card> cards;
    for (Card card : CardLedger::cards(db)) {
        const auto at = placeAt.constFind(card.place);
        if (at == placeAt.constEnd())
            continue;
        Place &p = r.places[*at];
        p.card = true;
        p.limit = std::max<qint64>(0, card.limit);
        card.closing = std::clamp(card.closing, 1, 31);
        card.payment = std::clamp(card.payment, 1, 31);
        // A bill paid from nowhere known moves only the card.
        if (!placeAt.contains(card.payFrom) || card.payFrom == card.place)
            card.payFrom.clear();
        cards << card;
    }

    // Every month whose scheduled days may, once moved, fall into the period.
    const QDate firstMonth = today.addMonths(-1), lastMonth = to.addMonths(1);
    auto eachMonth = [&](const std::function<void(int year, int month)> &f) {
        for (QDate m(firstMonth.year(), firstMonth.month(), 1); m <= lastMonth; m = m.addMonths(1))
            f(m.year(), m.month());
    };

    QList<Event> events;
    int seq = 0;
    for (const Schedule::Entry &e : Schedule::scheduled(db)) {
        if (!placeAt.contains(e.place))
            continue;
        const ItemPostings posted = readPostings(db, e, today, to);
        eachMonth([&](int year, int month) {
            if (!e.occursIn(month))
                return;
            const QDate scheduled = dayIn(year, month, e.day);
            const QDate date = shifted(scheduled, e.shift);
            if (date < today || date > to)
                return;
            // Already posted for this occurrence: a posting between the scheduled day and the
            // business day it moved to.
            const QDate lo = std::min(scheduled, date), hi = std::max(scheduled, date);
            for (const QDate &d : posted.recent)
                if (d >= lo && d <= hi)
                    return;
            const std::optional<qint64> amount = expected(e, posted, scheduled);
            if (!amount || *amount <= 0)
                return;
            Event ev;
            ev.date = date;
            ev.scheduled = scheduled;
            ev.order = e.side == Schedule::Side::Income ? 0 : 1;
            ev.seq = seq++;
            ev.item = e.item;
            ev.place = e.place;
            (e.side == Schedule::Side::Income ? ev.in : ev.out) = *amount;
            events << ev;
        });
    }

    // Each card's bills; the ones due in the period are events.
    std::vector<CardBills> cardBills;
    for (int i = 0; i < cards.size(); ++i) {
        const Card &card = cards[i];
        cardBills.emplace_back(db, card, r.places[placeAt.value(card.place)].balance, today, to,
            CardLedger::billsOf(db, card.place));
        const QList<CardBills::Bill> &bills = cardBills.back().bills();
        for (qsizetype b = 0; b < bills.size(); ++b) {
            if (bills[b].date < today)
                continue;
            Event ev;
            ev.date = bills[b].date;
            ev.scheduled = bills[b].scheduled;
            ev.order = 1;
            ev.seq = seq++;
            ev.item = card.place + QStringLiteral("の支払い");
            ev.place = card.payFrom;
            ev.card = i;
            ev.bill = b;
            events << ev;
        }
    }

    std::sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return std::tie(a.date, a.order, a.seq) < std::tie(b.date, b.order, b.seq);
    });

    QList<qint64> balance;
    for (const Place &p : r.places)
        balance << p.balance;
    QHash<QString, int> cardAt;
    for (int i = 0; i < cards.size(); ++i)
        cardAt.insert(cards[i].place, i);
    auto move = [&](const Event &ev, const QString &place, qint64 in, qint64 out) {
        const qsizetype at = placeAt.value(place);
        balance[at] += in - out;
        Movement m;
        m.date = ev.date;
        m.scheduled = ev.scheduled;
        m.item = ev.item;
        m.place = place;
        m.in = in;
        m.out = out;
        m.balance = balance[at];
        m.shortfall = m.balance < r.places[at].floor();
        r.movements << m;
        if (const auto card = cardAt.constFind(place); card != cardAt.constEnd())
            cardBills[*card].expect(ev.date, in - out);
    };
    for (const Event &ev : std::as_const(events)) {
        if (ev.card < 0) {
            move(ev, ev.place, ev.in, ev.out);
            continue;
        }
        const Card &card = cards[ev.card];
        CardBills &bills = cardBills[ev.card];
        const qint64 owed = bills.leftOn(ev.bill);
        if (owed <= 0)
            continue;
        bills.bills()[ev.bill].left = 0;
        if (!card.payFrom.isEmpty())
            move(ev, card.payFrom, 0, owed);
        move(ev, card.place, owed, 0);
    }
    return r;
}

std::optional<Shortfall> firstShortfall(const Result &result, int days)
{
    const QDate last = result.from.addDays(days);
    for (const Movement &m : result.movements) {
        if (m.date > last)
            break;
        if (m.out > 0 && m.shortfall) {
            const Place *p = result.place(m.place);
            return Shortfall {m.date, m.item, m.place, (p ? p->floor() : 0) - m.balance};
        }
    }
    return std::nullopt;
}

std::optional<Shortfall> firstShortfall(Database &db, const QDate &today, int days)
{
    return firstShortfall(compute(db, today, today.addDays(days)), days);
}

QString startWarning(const QString &dbPath, const QDate &today)
{
    try {
        Database db(dbPath);
        const std::optional<Shortfall> s = firstShortfall(db, today);
        return s ? shortfallText(*s) : QString();
    } catch (const DbError &e) {
        qInfo("balance check at start failed: %s", e.what());
        return QString();
    }
}

QString dayText(const QDate &day)
{
    return day.toString(QStringLiteral("yyyy/MM/dd"));
}

QString shortfallText(const Shortfall &s)
{
    return dayText(s.date) + QStringLiteral("の") + s.item + QStringLiteral("で") + s.place
        + QStringLiteral("の残高が ") + BasGeneral::amountLabel(s.missing) + QStringLiteral(" 不足します");
}

} // namespace Forecast
