// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StatementParser.h"

#include <QList>
#include <QString>
#include <optional>

class Database;

// The ledger side of a statement import: what each line already is, the import itself and
// taking a batch back. Every function runs on a connection the caller opened; the writing
// ones expect its write transaction (TaskWindow::withWrite) and leave the commit to it.
namespace ImportLedger {

enum class State { New, Imported, Check, Matched };

struct LineState
{
    State state = State::New;
    // Pre-filled from the learnt rules ("" when none): an item, or a transfer target written as
    // transferTarget() writes it.
    QString item;
    // Which rule filled the item, as its tooltip says it ("" when none).
    QString rule;
    // The ledger holds the line on its own day: imported, or a posting of that day matches it.
    bool heldOnItsDay = false;
    // Why a line offered again is not ticked: it was imported before and deleted, or its amount
    // or place changed, in a correction since ("" otherwise).
    QString note;
};

// For each line of the statement, in order: "取込済" when its key was imported into this
// place before; "要確認" when a posting of this place (not one an import wrote) has the same
// date and amount, or an automatic debit of the same amount lies within 3 days; Matched when
// the line pays the bill of a card paid from this place (CardLedger::pays) that no transfer
// pays yet: its target is then the transfer to that card.
QList<LineState> analyse(Database &db, const QString &place, const QList<StatementLine> &lines);

// What the ledger holds of the lines dated as line `index` that stand before it in the
// statement: the ledger's balance at that point of the statement is its balance at the start of
// the day plus this.
qint64 heldEarlierThatDay(const QList<StatementLine> &lines, const QList<LineState> &states, int index);

struct Line
{
    StatementLine line;
    QString item; // an income item for a deposit, an expense item for a withdrawal
    // Or a transfer: a withdrawal moves the money to this place, a deposit from it.
    QString otherPlace = QString();
};

// A transfer as a line's target shows it: "→ <place>" for a withdrawal, "← <place>" for a deposit.
QString transferTarget(bool withdrawal, const QString &otherPlace);
// The other place of a target transferTarget() wrote for the line's direction; "" for an item.
QString transferPlace(bool withdrawal, const QString &target);

// A card statement's bill, kept with the batch that imports it.
struct Bill
{
    int paymentDate = 0; // yyyymmdd
    qint64 total = 0;
};

struct Batch
{
    QString when; // yyyy/MM/dd hh:mm:ss
    QString file;
    QString preset;
    QString place;
    // Set the place's balance at the start of the first line's day to this first, by a
    // stocktake of that day; the place's later movements keep their effect on top of it.
    std::optional<qint32> stocktakeTo;
    // The place is a card and the lines are its bill.
    std::optional<Bill> bill = std::nullopt;
};

// An amount as the import's messages show it: "\\" and the digits, ungrouped, as the posting
// windows' questions write it.
QString yen(qint64 amount);

// The place's balance at the start of `date`, as its history replays: the balance now less
// every movement of the place dated that day or later. nullopt when a stocktake of the place is
// dated that day or later: that count fixed the balance, whatever came before it.
std::optional<qint32> balanceAtStartOf(Database &db, const QString &place, int date);

struct Refusal
{
    QString message; // empty: nothing stands in the way
};

// Checks everything first and writes nothing when a line cannot be imported: a withdrawal the
// balance cannot cover (for a card, its limit; named by its line), a line already imported
// meanwhile, a missing item or transfer place, a control character in a description; or when
// the place does not exist.
// Otherwise writes, in date order, what the posting and transfer windows write for each line
// (the description as memo), the rules learnt, the batch, its lines and its bill. A card's bill
// also turns the payment the bank's import booked as an expense, if any, into the transfer
// to the card. Returns the batch number.
std::optional<qint64> importLines(Database &db, const Batch &batch, QList<Line> lines, Refusal &refusal);

// The bank lines an earlier import booked as expenses that pay a bill: the bank's payment of a
// card imported before the card's statement. Each becomes the transfer from the bank to the card
// (its row in S replaced by one in Idourireki_T, the card's balance raised); returns how many.
// The line's record keeps its expense item and `batch`, the card's batch, which gives the
// expense back when it is taken back.
int turnPaymentsIntoTransfers(Database &db, const QString &card, const Bill &bill, qint64 batch);

struct BatchInfo
{
    qint64 no = 0;
    QString when, file, preset, place;
    int count = 0;
    qint64 total = 0; // deposits minus withdrawals
};
QList<BatchInfo> batches(Database &db);

// What was written to the place after the batch, for the question before taking it back.
struct Later
{
    int postings = 0; // income, expense and transfer rows of the place
    int stocktakes = 0;
};
Later laterThan(Database &db, qint64 batch);

// Takes the batch back: its rows removed (as they stand after any correction; a line deleted
// since is passed over), every balance moved back by what they moved, its lines and the batch
// forgotten. A card's batch also turns the bank's payments its bill turned into transfers back
// into the expenses they were. Refused (nothing written) when a row of it is missing or was
// changed outside a correction, when the place of a transfer changed, or when a stocktake of the
// place came after it: that count fixed the balance the batch led to.
bool undo(Database &db, qint64 batch, Refusal &refusal);

// The storage place remembered for a preset and an account ("" when none).
QString rememberedPlace(Database &db, const QString &preset, const QString &account);
void rememberPlace(Database &db, const QString &preset, const QString &account, const QString &place);

// The presets the user made, and saving one (replacing one of the same name).
QList<Preset> userPresets(Database &db);
void saveUserPreset(Database &db, const Preset &preset);

} // namespace ImportLedger
