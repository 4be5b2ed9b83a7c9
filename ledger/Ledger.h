// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

class Database;

// The one door through which money changes. A Ledger works on a connection whose write
// transaction (an action of the history) the caller began, and leaves the commit to the caller:
// every operation of one action stands or falls together. An operation either does all its
// writes and returns a done Outcome, or writes nothing and returns a refusal carrying the
// Japanese text the window shows. A DbError (an overflow included) leaves the caller to roll
// back.
//
// Two rules hold for every operation:
//
// What a place may give: an ordinary place never goes below 0; a card (a place with a row in
// X_card) never goes below minus its limit. Only a movement that lowers today's balance is
// checked: a movement absorbed by a stocktake (below) changes no balance of today.
//
// The order of a day: a stocktake counts everything dated before its day, and stands before
// every movement of its own day. So a movement dated before a place's latest stocktake is
// already inside that counted figure: when it is posted, changed or deleted later, the first
// stocktake of that place dated after it takes the difference in its balance-before
// (K_bmoney), and the place's balance of today stays. A movement of the stocktake's own day or
// later moves the balance of today.
class Ledger
{
public:
    explicit Ledger(Database &db);

    struct Outcome
    {
        QString refusal; // empty when done
        // The balance of the (first) place before and after; equal when a stocktake took the
        // movement.
        qint32 before = 0;
        qint32 after = 0;
        // The day of the stocktake that took the movement in place of today's balance, or 0.
        int stocktakeDay = 0;
        bool done() const { return refusal.isEmpty(); }
    };

    enum class Kind { Income, Expense, Debit };
    // An income (N), an expense (S) or an automatic debit (Zidourireki_T and S with the memo
    // 自動引落処理). A negative amount of an expense raises the balance (a refund).
    struct Posting
    {
        Kind kind = Kind::Income;
        QString item;
        QString place;
        qint32 amount = 0;
        int date = 0; // yyyymmdd
        QString memo; // not stored for a debit
    };
    // The refusal of a withdrawal beyond the place's floor is
    // "<place>に \<balance>しかないため引落せません" (a card: its limit's text).
    Outcome post(const Posting &posting);

    struct Transfer
    {
        QString from;
        QString to;
        qint32 amount = 0;
        int date = 0;
        QString memo;
    };
    // `before`/`after` are the source's; destinationBefore/After the destination's.
    struct TransferOutcome : Outcome
    {
        qint32 destinationBefore = 0;
        qint32 destinationAfter = 0;
    };
    TransferOutcome transfer(const Transfer &transfer);

    // The counted balance of a place on `date`: the place's balance becomes `amount`, and the
    // history row keeps the balance before. A negative figure is what a card owes and is refused
    // ("数値を入力して下さい") for any other place.
    struct Stocktake
    {
        QString place;
        qint32 amount = 0;
        QString reason;
        int date = 0;
    };
    Outcome stocktake(const Stocktake &stocktake);
    // A count at the start of an earlier day (an import's opening balance): the history row
    // keeps `before`, the balance replayed to the start of that day, and today's balance
    // becomes `today` (the count plus what the days since moved).
    void recount(const Stocktake &stocktake, qint32 before, qint32 today);

    // Movements of money after the fact (an imported line, a correction, taking an import
    // back): each reaches today's balance of its place or, by the order of the day, the
    // balance-before of the stocktake that counts it. Differences reaching one target are netted
    // first, so that only what a whole action does is checked against the floors.
    struct Movement
    {
        QString place;
        qint32 delta = 0;
        int date = 0;
    };
    struct Target
    {
        QString place;
        qint32 delta = 0;
        qint64 stocktake = 0; // the Ktanaorosi_T row id; 0 for the balance of today
        int stocktakeDay = 0;
    };
    struct MovePlan
    {
        QList<Target> moves; // nonzero differences only
        QString refusal; // the first place that cannot give its difference (or is gone)
        int stocktakeDay = 0; // the earliest stocktake that takes a difference, or 0
    };
    // Reads only.
    static MovePlan plan(Database &db, const QList<Movement> &movements);
    // Writes a plan's differences (refusal or not: check it first).
    void apply(const MovePlan &plan);
    // plan() and, when nothing refuses, apply(). `before`/`after` are left 0.
    Outcome move(const QList<Movement> &movements);

    // The refusal of a withdrawal of `amount` by a posting or an import from `place` at
    // `balance` with the floor `floor`: "<place>に \<balance>しかないため引落せません", or for a
    // card "<place>の利用可能額 \<left>を超えるため出金できません". Empty when it may be done.
    static QString withdrawalRefusal(const QString &place, qint64 balance, qint64 floor, qint64 amount);

    // Whether `place` is a card.
    static bool isCard(Database &db, const QString &place);
    // The lowest balance `place` may reach: 0, or minus a card's limit.
    static qint64 floorOf(Database &db, const QString &place);
    // What `place` may still give at `balance`.
    static qint64 available(Database &db, const QString &place, qint64 balance);
    // Empty when `place` at `balance` may give `amount`; else the correction's refusal,
    // "<place>に \<balance>しかありません" (a card: "<place>の利用可能額 \<left>しかありません").
    static QString shortfall(Database &db, const QString &place, qint64 balance, qint64 amount);

    // The stocktake that counts a movement of `place` dated `date`: the first one dated after
    // that day. rowid 0 when there is none (today's balance takes the movement).
    struct Counted
    {
        qint64 rowid = 0;
        int day = 0;
    };
    static Counted countingStocktake(Database &db, const QString &place, int date);

private:
    // Reads today's balance in the statement form the windows use.
    qint32 balance(const QString &place, bool spaced);
    void writeBalance(const QString &place, qint32 value, bool quotedNumber);
    void addToStocktake(qint64 rowid, qint32 delta);

    Database &m_db;
};
