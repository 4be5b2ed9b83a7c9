// SPDX-License-Identifier: GPL-3.0-or-later
#include "Forecast.h"

#include "BankCalendar.h"
#include "CardLedger.h"
#include "Database.h"

#include <QHash>
#include <algorithm>
#include <functional>
#include <tuple>

namespace Forecast {

namespace {

QString quoted(const QString &text)
{
    return QStringLiteral("'") + Database::escape(text) + QStringLiteral("'");
}

QString number(const QDate &day)
{
    return day.toString(QStringLiteral("yyyyMMdd"));
}

QDate fromNumber(qint64 yyyymmdd)
{
    return QDate(int(yyyymmdd / 10000), int(yyyymmdd / 100 % 100), int(yyyymmdd % 100));
}

bool tableExists(Database &db, const QString &name)
{
    Cursor c = db.query(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = ") + quoted(name));
    return !c.eof() && c.integer(0) > 0;
}

qint64 sum(Database &db, const QString &sql)
{
    Cursor c = db.query(sql);
    return c.eof() || c.value(0).isNull() ? 0 : c.integer64(0);
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
    const QString where = QStringLiteral(" FROM ") + p.table + QStringLiteral(" WHERE ") + p.item
        + QStringLiteral(" = ") + quoted(e.item);
    ItemPostings out;
    {
        Cursor c = db.query(QStringLiteral("SELECT ") + p.money + where + QStringLiteral(" ORDER BY ")
            + p.date + QStringLiteral(" DESC LIMIT 1"));
        if (!c.eof())
            out.last = c.integer64(0);
    }
    // A business day lies at most a few days from the scheduled one.
    {
        Cursor c = db.query(QStringLiteral("SELECT ") + p.date + where + QStringLiteral(" AND ") + p.date
            + QStringLiteral(" >= ") + number(today.addDays(-15)));
        for (; !c.eof(); c.next())
            out.recent << fromNumber(c.integer64(0));
    }
    if (e.amount == Schedule::AmountRule::SameMonthLastYear) {
        const QDate lo = today.addMonths(-13), hi = to.addMonths(-11);
        Cursor c
            = db.query(QStringLiteral("SELECT ") + p.date + u',' + p.money + where + QStringLiteral(" AND ")
                + p.date + QStringLiteral(" BETWEEN ") + number(QDate(lo.year(), lo.month(), 1))
                + QStringLiteral(" AND ") + number(QDate(hi.year(), hi.month(), hi.daysInMonth())));
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
// only once the walk reaches its closing day).
struct Event
{
    QDate date, scheduled;
    int order = 0; // income 0, expense and bills 1
    int seq = 0;
    QString item, place;
    qint64 in = 0, out = 0;
    int card = -1;
    QDate closing;
    std::optional<qint64> bill;
};

// The card's balance at the end of a past day: today's, less everything dated after that day.
qint64 pastBalance(Database &db, const Place &card, const QDate &day)
{
    const QString place = quoted(card.name), after = number(day);
    const qint64 in
        = sum(db, "SELECT SUM(N_money) FROM N WHERE N_hokan = " + place + " AND N_date > " + after)
        + sum(db,
            "SELECT SUM(I_money) FROM Idourireki_T WHERE I_hokansaki = " + place + " AND I_day > " + after)
        + sum(db,
            "SELECT SUM(K_amoney - K_bmoney) FROM Ktanaorosi_T WHERE K_hokan = " + place + " AND K_day > "
                + after);
    const qint64 out
        = sum(db, "SELECT SUM(S_money) FROM S WHERE S_hokan = " + place + " AND S_date > " + after)
        + sum(db,
            "SELECT SUM(I_money) FROM Idourireki_T WHERE I_hokanmoto = " + place + " AND I_day > " + after);
    return card.balance - in + out;
}

// What was paid into the card after the closing day, up to today.
qint64 paidSince(Database &db, const QString &card, const QDate &closing, const QDate &today)
{
    return sum(db,
        "SELECT SUM(I_money) FROM Idourireki_T WHERE I_hokansaki = " + quoted(card) + " AND I_day > "
            + number(closing) + " AND I_day <= " + number(today));
}

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

    if (!cards.isEmpty()) {
        // The imported bills by card and stated payment day; the newest import counts.
        QHash<QString, qint64> bills;
        if (tableExists(db, QStringLiteral("X_card_bill"))) {
            Cursor c
                = db.query(QStringLiteral("SELECT XCB_place, XCB_payment_date, XCB_total FROM X_card_bill "
                                          "WHERE XCB_payment_date >= ")
                    + number(QDate(firstMonth.year(), firstMonth.month(), 1))
                    + QStringLiteral(" ORDER BY XCB_id"));
            for (; !c.eof(); c.next())
                bills.insert(c.text(0) + u'\t' + c.text(1), c.integer64(2));
        }
        for (int i = 0; i < cards.size(); ++i) {
            const Card &card = cards[i];
            eachMonth([&](int year, int month) {
                const QDate scheduled = dayIn(year, month, card.payment);
                const QDate date = shifted(scheduled, Schedule::Shift::Next);
                if (date < today || date > to)
                    return;
                Event ev;
                ev.date = date;
                ev.scheduled = scheduled;
                ev.order = 1;
                ev.seq = seq++;
                ev.item = card.place + QStringLiteral("の支払い");
                ev.place = card.payFrom;
                ev.card = i;
                ev.closing = closingBefore(scheduled, card.closing);
                const auto bill = bills.constFind(card.place + u'\t' + number(scheduled));
                if (bill != bills.constEnd())
                    ev.bill = *bill;
                events << ev;
            });
        }
    }

    std::sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return std::tie(a.date, a.order, a.seq) < std::tie(b.date, b.order, b.seq);
    });

    QList<qint64> balance;
    for (const Place &p : r.places)
        balance << p.balance;
    // Each card's balance after each day it moved, for the bills whose closing day is ahead.
    QHash<QString, QList<QPair<QDate, qint64>>> cardDays;
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
        if (r.places[at].card) {
            auto &days = cardDays[place];
            if (!days.isEmpty() && days.last().first == ev.date)
                days.last().second = m.balance;
            else
                days << qMakePair(ev.date, m.balance);
        }
    };
    for (const Event &ev : std::as_const(events)) {
        if (ev.card < 0) {
            move(ev, ev.place, ev.in, ev.out);
            continue;
        }
        const Card &card = cards[ev.card];
        const Place &cardPlace = r.places[placeAt.value(card.place)];
        qint64 owed = 0;
        if (ev.bill) {
            owed = *ev.bill;
        } else if (ev.closing < today) {
            owed = -pastBalance(db, cardPlace, ev.closing);
        } else {
            qint64 atClosing = cardPlace.balance;
            for (const auto &[day, after] : cardDays.value(card.place))
                if (day <= ev.closing)
                    atClosing = after;
            owed = -atClosing;
        }
        if (ev.closing < today)
            owed -= paidSince(db, card.place, ev.closing, today);
        if (owed <= 0)
            continue;
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
        + QStringLiteral("の残高が \\") + QString::number(s.missing) + QStringLiteral(" 不足します");
}

} // namespace Forecast
