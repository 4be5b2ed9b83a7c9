// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

class Database;

// What the four masters write: storage places (and the card settings of a place), categories,
// income items and expense items, registered, updated, renamed and deleted. A rename carries
// the name into every table that holds it: the postings and histories, the item masters, the
// statement import's lines, batches, rules and patterns, the cards and their bills, the budget
// plans and the schedules; a deletion takes with it the rows of those side tables that only
// make sense for the name. Postings and histories keep a deleted name.
//
// Every function works inside the caller's write transaction (one action of the history) and
// leaves the commit to the caller. A function returning a QString returns a refusal, the
// Japanese text the window shows, and then has written nothing; empty when done.
//
// The statements on the masters' own tables and on the postings keep the forms the windows have
// always issued, quoted through Database::escape; the side tables' statements bind their values.
namespace MasterChange {

// How a reader of the rules is run: Shown issues the statements the windows are known to issue
// (the observer sees them); Quiet reads through bound lookups the observer does not see, for
// the guards a write repeats inside its transaction.
enum class Reads { Shown, Quiet };

// Whether any row of the table holds `value` in `column`, read as
// "SELECT column FROM table WHERE (column = '...')".
bool hasRow(Database &db, const QString &table, const QString &column, const QString &value);
// Whether any row holds `value` in `column`: reads the whole table ("SELECT * FROM table") and
// stops at the first match.
bool anyRowHas(Database &db, const QString &table, const QString &column, const QString &value);

// The name the statement import gives a transfer in its lines and rules: "→ <place>" for money
// going out to the place, "← <place>" for money coming in from it.
QString transferTarget(bool withdrawal, const QString &otherPlace);

// ---- Storage places -------------------------------------------------------------------------

// A new place, with a balance of 0.
void registerPlace(Database &db, const QString &name, const QString &keeper, const QString &memo);
// The keeper and remark of a place.
void updatePlace(Database &db, const QString &name, const QString &keeper, const QString &memo);

// Why `place` cannot be deleted: an expense item names it (examined first), an income item
// names it, or a card is paid from it. Empty when it can.
QString placeDeletionRefusal(Database &db, const QString &place, Reads reads = Reads::Shown);
QString deletePlace(Database &db, const QString &place);

// Why `from` cannot be renamed to `to`: a name missing, or `to` another place's name.
QString placeRenameRefusal(Database &db, const QString &from, const QString &to, Reads reads = Reads::Shown);
QString renamePlace(Database &db, const QString &from, const QString &to);

// ---- Cards (a place with a row in X_card) --------------------------------------------------

struct Card
{
    QString place;
    int closing = 31; // 1..31, 31 the month's last day
    int payment = 27; // 1..31
    QString payFrom;
    qint64 limit = 0;
};
// The card settings of a place; nullopt for a place that is no card.
std::optional<Card> card(Database &db, const QString &place);
// Every card, by name.
QList<Card> cards(Database &db);
// The card a place pays (its first, by name), "" when it pays none.
QString cardPaidFrom(Database &db, const QString &place);
// Registers a card, or rewrites the settings of one.
void saveCard(Database &db, const Card &card, bool registering);
// The place stays; it is no card any more, and its bills go with its settings.
void deleteCard(Database &db, const QString &place);

// ---- Categories -----------------------------------------------------------------------------

// The category debits are filed under: neither renamed nor deleted.
QString automaticCategory();

void registerCategory(Database &db, const QString &name, const QString &memo);
// The remark of a category.
void updateCategory(Database &db, const QString &name, const QString &memo);

// Why a category cannot be deleted: it is 自動, or an expense item (examined first) or an income
// item is filed under it.
QString categoryDeletionRefusal(Database &db, const QString &name, Reads reads = Reads::Shown);
QString deleteCategory(Database &db, const QString &name);

// Why `from` cannot be renamed to `to`: `from` is 自動, `to` is empty or another category's.
QString categoryRenameRefusal(
    Database &db, const QString &from, const QString &to, Reads reads = Reads::Shown);
// Renames the category and sets its remark.
QString renameCategory(Database &db, const QString &from, const QString &to, const QString &memo);

// ---- Income (kind "N") and expense (kind "S") items -----------------------------------------

struct Item
{
    QString name;
    QString category;
    QString place;
    QString memo;
};
void registerItem(Database &db, const QString &kind, const Item &item);
// The category, place and remark of an item named item.name.
void updateItem(Database &db, const QString &kind, const Item &item);

// Why `from` cannot be renamed to `to`: `to` is empty or another item's of the kind.
QString itemRenameRefusal(
    Database &db, const QString &kind, const QString &from, const QString &to, Reads reads = Reads::Shown);
// Renames the item `from` to item.name, carrying the name into its postings (and an expense
// item's debit history), and sets its other columns.
QString renameItem(Database &db, const QString &kind, const QString &from, const Item &item);
// The item's postings stay as they are.
void deleteItem(Database &db, const QString &kind, const QString &name);

} // namespace MasterChange
