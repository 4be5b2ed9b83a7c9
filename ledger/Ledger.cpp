// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ledger.h"

#include "Amount.h"
#include "Database.h"

#include <QHash>
#include <QVariantList>
#include <algorithm>

namespace {

const QString debitMemo = QStringLiteral("自動引落処理");

QString yen(qint64 amount)
{
    return QStringLiteral(" \\") + QString::number(amount);
}

} // namespace

Ledger::Ledger(Database &db)
    : m_db(db)
{ }

bool Ledger::isCard(Database &db, const QString &place)
{
    // A ledger of an older layout has no cards at all.
    Cursor t = db.lookup(
        QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'X_card'"), {});
    if (t.eof() || t.value(0).toInt() == 0)
        return false;
    return !db.lookup(QStringLiteral("SELECT 1 FROM X_card WHERE XC_place = ?"), {place}).eof();
}

qint64 Ledger::floorOf(Database &db, const QString &place)
{
    if (!isCard(db, place))
        return 0;
    Cursor c = db.lookup(QStringLiteral("SELECT XC_limit FROM X_card WHERE XC_place = ?"), {place});
    return c.eof() ? 0 : -c.integer64(0);
}

qint64 Ledger::available(Database &db, const QString &place, qint64 balance)
{
    return balance - floorOf(db, place);
}

QString Ledger::shortfall(Database &db, const QString &place, qint64 balance, qint64 amount)
{
    // An ordinary place at or above the amount needs no look at the cards.
    if (amount <= balance)
        return {};
    const qint64 floor = floorOf(db, place);
    if (amount <= balance - floor)
        return {};
    if (floor == 0)
        return place + QStringLiteral("に") + yen(balance) + QStringLiteral("しかありません");
    return place + QStringLiteral("の利用可能額") + yen(balance - floor) + QStringLiteral("しかありません");
}

Ledger::Counted Ledger::countingStocktake(Database &db, const QString &place, int date)
{
    Cursor c
        = db.lookup(QStringLiteral("SELECT rowid, K_day FROM Ktanaorosi_T WHERE K_hokan = ? AND K_day > ?"
                                   " ORDER BY K_day, rowid LIMIT 1"),
            {place, date});
    if (c.eof())
        return {};
    return {c.integer64(0), c.integer(1)};
}

qint32 Ledger::balance(const QString &place, bool spaced)
{
    Cursor c = m_db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index")
        + (spaced ? QStringLiteral(" = '") : QStringLiteral("= '")) + Database::escape(place)
        + QStringLiteral("')"));
    if (c.eof())
        throw DbError(QStringLiteral("no storage place named %1").arg(place));
    return c.integer(QStringLiteral("H_money"));
}

void Ledger::writeBalance(const QString &place, qint32 value, bool quotedNumber)
{
    const QString number = quotedNumber ? u'\'' + QString::number(value) + u'\'' : QString::number(value);
    m_db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = ") + number
        + QStringLiteral(" WHERE H_index = '") + Database::escape(place) + QStringLiteral("'"));
}

void Ledger::addToStocktake(qint64 rowid, qint32 delta)
{
    Cursor c = m_db.lookup(QStringLiteral("SELECT K_bmoney FROM Ktanaorosi_T WHERE rowid = ?"), {rowid});
    const qint32 after = Amount::add(c.eof() ? 0 : c.integer(0), delta);
    m_db.execute(QStringLiteral("UPDATE Ktanaorosi_T SET K_bmoney = ? WHERE rowid = ?"), {after, rowid});
}

Ledger::Outcome Ledger::post(const Posting &p)
{
    Outcome out;
    out.before = balance(p.place, true);
    const bool withdraws = p.kind != Kind::Income;
    const qint32 delta = withdraws ? Amount::sub(0, p.amount) : p.amount;
    const Counted counted = countingStocktake(m_db, p.place, p.date);
    if (counted.rowid != 0) {
        out.after = out.before;
        out.stocktakeDay = counted.day;
        addToStocktake(counted.rowid, delta);
    } else {
        if (delta < 0 && -qint64(delta) > out.before) {
            out.refusal = withdrawalRefusal(p.place, out.before, floorOf(m_db, p.place), -qint64(delta));
            if (!out.done())
                return out;
        }
        out.after = Amount::add(out.before, delta);
        writeBalance(p.place, out.after, false);
    }
    switch (p.kind) {
    case Kind::Income:
        m_db.insert(QStringLiteral("N"),
            {{QStringLiteral("N_index"), p.item}, {QStringLiteral("N_hokan"), p.place},
                {QStringLiteral("N_money"), p.amount}, {QStringLiteral("N_date"), p.date},
                {QStringLiteral("N_memo"), p.memo}});
        break;
    case Kind::Debit:
        m_db.insert(QStringLiteral("Zidourireki_T"),
            {{QStringLiteral("Z_index"), p.item}, {QStringLiteral("Z_hokan"), p.place},
                {QStringLiteral("Z_money"), p.amount}, {QStringLiteral("Z_beforeday"), p.date}});
        [[fallthrough]];
    case Kind::Expense:
        m_db.insert(QStringLiteral("S"),
            {{QStringLiteral("S_index"), p.item}, {QStringLiteral("S_hokan"), p.place},
                {QStringLiteral("S_money"), p.amount}, {QStringLiteral("S_date"), p.date},
                {QStringLiteral("S_memo"), p.kind == Kind::Debit ? debitMemo : p.memo}});
        break;
    }
    return out;
}

Ledger::TransferOutcome Ledger::transfer(const Transfer &t)
{
    TransferOutcome out;
    out.before = balance(t.from, false);
    const Counted fromCounted = countingStocktake(m_db, t.from, t.date);
    if (fromCounted.rowid == 0 && t.amount > out.before) {
        const qint64 floor = floorOf(m_db, t.from);
        const qint64 can = qint64(out.before) - floor;
        if (can < t.amount) {
            out.refusal = QStringLiteral("移動元金額が足りません。\r\n") + t.from
                + (floor != 0 ? QStringLiteral("(利用可能額") : QStringLiteral("(")) + yen(can)
                + QStringLiteral(")\r\n処理を中断します");
            return out;
        }
    }
    out.destinationBefore = balance(t.to, false);
    const Counted toCounted = countingStocktake(m_db, t.to, t.date);
    out.after = fromCounted.rowid ? out.before : Amount::sub(out.before, t.amount);
    out.destinationAfter
        = toCounted.rowid ? out.destinationBefore : Amount::add(out.destinationBefore, t.amount);
    if (fromCounted.rowid)
        addToStocktake(fromCounted.rowid, Amount::sub(0, t.amount));
    else
        writeBalance(t.from, out.after, true);
    if (toCounted.rowid)
        addToStocktake(toCounted.rowid, t.amount);
    else
        writeBalance(t.to, out.destinationAfter, true);
    out.stocktakeDay = fromCounted.rowid ? fromCounted.day : toCounted.day;
    m_db.insert(QStringLiteral("Idourireki_T"),
        {{QStringLiteral("I_hokanmoto"), t.from}, {QStringLiteral("I_hokansaki"), t.to},
            {QStringLiteral("I_money"), t.amount}, {QStringLiteral("I_day"), t.date},
            {QStringLiteral("I_memo"), t.memo}});
    return out;
}

Ledger::Outcome Ledger::stocktake(const Stocktake &s)
{
    Outcome out;
    out.before = balance(s.place, true);
    if (s.amount < 0 && !isCard(m_db, s.place)) {
        out.refusal = QStringLiteral("数値を入力して下さい");
        return out;
    }
    out.after = s.amount;
    recount(s, out.before, s.amount);
    return out;
}

void Ledger::recount(const Stocktake &s, qint32 before, qint32 today)
{
    writeBalance(s.place, today, true);
    m_db.insert(QStringLiteral("Ktanaorosi_T"),
        {{QStringLiteral("K_hokan"), s.place}, {QStringLiteral("K_bmoney"), before},
            {QStringLiteral("K_amoney"), s.amount}, {QStringLiteral("K_riyuu"), s.reason},
            {QStringLiteral("K_day"), s.date}});
}

Ledger::MovePlan Ledger::plan(Database &db, const QList<Movement> &movements)
{
    MovePlan out;
    QList<Target> targets;
    // Many movements (an import's lines) share a few places and days: each pair is looked up once.
    QHash<std::pair<QString, int>, Counted> counting;
    for (const Movement &m : movements) {
        const std::pair<QString, int> key {m.place, m.date};
        auto found = counting.constFind(key);
        if (found == counting.constEnd())
            found = counting.insert(key, countingStocktake(db, m.place, m.date));
        const Counted counted = *found;
        auto it = std::find_if(targets.begin(), targets.end(),
            [&](const Target &t) { return t.place == m.place && t.stocktake == counted.rowid; });
        if (it == targets.end())
            it = targets.insert(targets.end(), Target {m.place, 0, counted.rowid, counted.day});
        it->delta = Amount::add(it->delta, m.delta);
    }
    for (const Target &t : std::as_const(targets)) {
        if (t.delta == 0)
            continue;
        out.moves << t;
        if (t.stocktake != 0) {
            if (out.stocktakeDay == 0 || t.stocktakeDay < out.stocktakeDay)
                out.stocktakeDay = t.stocktakeDay;
            continue;
        }
        Cursor c = db.query(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = ?"), {t.place});
        if (c.eof()) {
            // A place deleted since: its balance cannot take the difference.
            if (out.refusal.isEmpty())
                out.refusal = QStringLiteral("保管場所") + t.place + QStringLiteral("がありません");
            continue;
        }
        if (t.delta < 0 && out.refusal.isEmpty())
            out.refusal = shortfall(db, t.place, c.integer(0), -qint64(t.delta));
    }
    return out;
}

void Ledger::apply(const MovePlan &plan)
{
    for (const Target &t : plan.moves) {
        if (t.stocktake != 0) {
            addToStocktake(t.stocktake, t.delta);
            continue;
        }
        Cursor c = m_db.query(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = ?"), {t.place});
        const qint32 after = Amount::add(c.eof() ? 0 : c.integer(0), t.delta);
        m_db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = ? WHERE H_index = ?"), {after, t.place});
    }
}

Ledger::Outcome Ledger::move(const QList<Movement> &movements)
{
    const MovePlan p = plan(m_db, movements);
    Outcome out;
    out.refusal = p.refusal;
    out.stocktakeDay = p.stocktakeDay;
    if (out.done())
        apply(p);
    return out;
}

QString Ledger::withdrawalRefusal(const QString &place, qint64 balance, qint64 floor, qint64 amount)
{
    if (balance - amount >= floor)
        return {};
    if (floor == 0)
        return place + QStringLiteral("に") + yen(balance) + QStringLiteral("しかないため引落せません");
    return place + QStringLiteral("の利用可能額") + yen(balance - floor)
        + QStringLiteral("を超えるため出金できません");
}
