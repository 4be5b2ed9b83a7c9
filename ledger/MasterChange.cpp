// SPDX-License-Identifier: GPL-3.0-or-later
#include "MasterChange.h"

#include "Database.h"
#include "SearchText.h"

#include <QSet>

namespace MasterChange {

namespace {

QString q(const QString &text)
{
    return Database::escape(text);
}

// The side tables present: a ledger the program has not extended has none of them.
QSet<QString> sideTables(Database &db)
{
    QSet<QString> names;
    for (Cursor c = db.lookup(
             QStringLiteral(
                 "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'X\\_%' ESCAPE '\\'"),
             {});
         !c.eof(); c.next())
        names.insert(c.text(0));
    return names;
}

// Rewrites `from` to `to` in every row of table.column.
void rename(Database &db, const QString &table, const QString &column, const QString &from, const QString &to)
{
    const Database::ExpectedRename expected(db, table, column, from, to);
    db.execute(QStringLiteral("UPDATE %1 SET %2 = '").arg(table, column) + q(to)
        + QStringLiteral("' WHERE %1 = '").arg(column) + q(from) + QStringLiteral("'"));
}

// The same, but only when some row holds `from` (checked by hasRow first).
void renameWhereUsed(
    Database &db, const QString &table, const QString &column, const QString &from, const QString &to)
{
    if (hasRow(db, table, column, from))
        rename(db, table, column, from, to);
}

// Whether a row of the table holds `value` in `column`, read the way `reads` says.
bool holds(Database &db, Reads reads, const QString &table, const QString &column, const QString &value)
{
    if (reads == Reads::Shown)
        return anyRowHas(db, table, column, value);
    return !db.lookup(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(table, column), {value})
                .eof();
}

// Whether `name` is already taken in table.column, read the way `reads` says.
bool taken(Database &db, Reads reads, const QString &table, const QString &column, const QString &name)
{
    if (reads == Reads::Shown)
        return hasRow(db, table, column, name);
    return holds(db, Reads::Quiet, table, column, name);
}

// Which item master names `value` in its column: "支出" (examined first), "収入" or "".
QString itemMasterUsing(Database &db, Reads reads, const QString &suffix, const QString &value)
{
    if (holds(db, reads, QStringLiteral("Syukkin_T"), QStringLiteral("S_") + suffix, value))
        return QStringLiteral("支出");
    if (holds(db, reads, QStringLiteral("Nyuukin_T"), QStringLiteral("N_") + suffix, value))
        return QStringLiteral("収入");
    return {};
}

// Every table and column of the ledger that holds a storage-place name, in the order a rename
// rewrites them (after Hokan_T itself).
constexpr const char *PlaceColumns[][2] = {
    {"N", "N_hokan"},
    {"S", "S_hokan"},
    {"Nyuukin_T", "N_hokan"},
    {"Syukkin_T", "S_hokan"},
    {"Idourireki_T", "I_hokanmoto"},
    {"Idourireki_T", "I_hokansaki"},
    {"Zidourireki_T", "Z_hokan"},
    {"Ktanaorosi_T", "K_hokan"},
};

// The statement import's tables and columns that hold a storage-place name.
constexpr const char *ImportPlaceColumns[][2]
    = {{"X_import_line", "XL_hokan"}, {"X_import_batch", "XB_hokan"}, {"X_import_rule", "XR_hokan"},
        {"X_import_place", "XA_hokan"}, {"X_import_pattern", "XQ_hokan"}};

// The cards' tables and columns that hold a storage-place name, and those of them whose rows
// belong to the place (a card's settings and bills), which go with it.
constexpr const char *CardPlaceColumns[][2]
    = {{"X_card", "XC_place"}, {"X_card", "XC_pay_from"}, {"X_card_bill", "XCB_place"}};
constexpr const char *CardOwnColumns[][2] = {{"X_card", "XC_place"}, {"X_card_bill", "XCB_place"}};

void deleteWhere(
    Database &db, const QSet<QString> &tables, const char *table, const char *column, const QString &value)
{
    const QString t = QLatin1String(table);
    if (tables.contains(t))
        db.execute(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(t, QLatin1String(column)), {value});
}

void renameIn(Database &db, const QSet<QString> &tables, const char *table, const char *column,
    const QString &from, const QString &to)
{
    const QString t = QLatin1String(table);
    if (tables.contains(t))
        db.execute(
            QStringLiteral("UPDATE %1 SET %2 = ? WHERE %2 = ?").arg(t, QLatin1String(column)), {to, from});
}

// The rows of the side tables that belong to `place` alone.
void forgetPlaceRows(Database &db, const QSet<QString> &tables, const QString &place)
{
    for (const auto &c : ImportPlaceColumns)
        deleteWhere(db, tables, c[0], c[1], place);
    for (const auto &c : CardOwnColumns)
        deleteWhere(db, tables, c[0], c[1], place);
}

// The budget rows of the sides given, planned by `by` (K category, I item).
const QString PlanYears
    = QStringLiteral(" AND XZ_year IN (SELECT XY_year FROM X_budget_year WHERE XY_side = ? AND XY_by = ?)");

void forgetPlanRows(Database &db, const QSet<QString> &tables, const QStringList &sides, const QString &by,
    const QString &name)
{
    if (!tables.contains(QStringLiteral("X_budget_row")) || !tables.contains(QStringLiteral("X_budget_year")))
        return;
    for (const QString &side : sides)
        db.execute(QStringLiteral("DELETE FROM X_budget_row WHERE XZ_side = ? AND XZ_name = ?") + PlanYears,
            {side, name, side, by});
}

// Whatever is still kept under the new name in the same plan (a name deleted long ago) gives
// way first.
void renamePlanRows(Database &db, const QSet<QString> &tables, const QStringList &sides, const QString &by,
    const QString &from, const QString &to)
{
    if (!tables.contains(QStringLiteral("X_budget_row")) || !tables.contains(QStringLiteral("X_budget_year")))
        return;
    for (const QString &side : sides) {
        db.execute(QStringLiteral("DELETE FROM X_budget_row WHERE XZ_side = ? AND XZ_name = ?") + PlanYears,
            {side, to, side, by});
        db.execute(QStringLiteral("UPDATE X_budget_row SET XZ_name = ? WHERE XZ_side = ? AND XZ_name = ?")
                + PlanYears,
            {to, side, from, side, by});
    }
}

QString itemTable(const QString &kind)
{
    return kind == u"N" ? QStringLiteral("Nyuukin_T") : QStringLiteral("Syukkin_T");
}

QString itemWord(const QString &kind)
{
    return kind == u"N" ? QStringLiteral("収入") : QStringLiteral("支出");
}

// "N_index" and the like: the item master's columns and the postings' item column share names.
QString itemColumn(const QString &kind, const char *suffix)
{
    return kind + u'_' + QLatin1String(suffix);
}

QString otherItemColumns(const QString &kind, const Item &item)
{
    return itemColumn(kind, "kubun") + QStringLiteral(" = '") + q(item.category) + QStringLiteral("',")
        + itemColumn(kind, "hokan") + QStringLiteral(" = '") + q(item.place) + QStringLiteral("',")
        + itemColumn(kind, "memo") + QStringLiteral(" = '") + q(item.memo) + QStringLiteral("'");
}

QList<Card> readCards(Database &db, const QString &where, const QVariantList &values)
{
    QList<Card> list;
    if (!sideTables(db).contains(QStringLiteral("X_card")))
        return list;
    for (Cursor c
         = db.lookup(QStringLiteral("SELECT XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit FROM X_card")
                 + where + QStringLiteral(" ORDER BY XC_place"),
             values);
         !c.eof(); c.next())
        list << Card {c.text(0), c.integer(1), c.integer(2), c.text(3), c.integer64(4)};
    return list;
}

} // namespace

bool hasRow(Database &db, const QString &table, const QString &column, const QString &value)
{
    Cursor c = db.query(QStringLiteral("SELECT %1 FROM %2 WHERE (%1 = '").arg(column, table) + q(value)
        + QStringLiteral("')"));
    return !c.eof();
}

bool anyRowHas(Database &db, const QString &table, const QString &column, const QString &value)
{
    for (Cursor c = db.query(QStringLiteral("SELECT * FROM ") + table); !c.eof(); c.next()) {
        if (c.text(column) == value)
            return true;
    }
    return false;
}

QString transferTarget(bool withdrawal, const QString &otherPlace)
{
    return (withdrawal ? QStringLiteral("→ ") : QStringLiteral("← ")) + otherPlace;
}

// ---- Storage places -------------------------------------------------------------------------

void registerPlace(Database &db, const QString &name, const QString &keeper, const QString &memo)
{
    db.insert(QStringLiteral("Hokan_T"),
        {{QStringLiteral("H_index"), name}, {QStringLiteral("H_money"), 0},
            {QStringLiteral("H_name"), keeper}, {QStringLiteral("H_memo"), memo}});
}

void updatePlace(Database &db, const QString &name, const QString &keeper, const QString &memo)
{
    db.execute(QStringLiteral("UPDATE Hokan_T SET H_name = '") + q(keeper) + QStringLiteral("', H_memo = '")
        + q(memo) + QStringLiteral("' WHERE H_index = '") + q(name) + QStringLiteral("'"));
}

QString placeDeletionRefusal(Database &db, const QString &place, Reads reads)
{
    const QString master = itemMasterUsing(db, reads, QStringLiteral("hokan"), place);
    if (!master.isEmpty())
        return QStringLiteral("この保管場所名は") + master
            + QStringLiteral("ﾏｽﾀで使用されています 削除できません");
    // A card's bill is paid from a place: without it the card would name a place that is gone.
    const QString paid = cardPaidFrom(db, place);
    if (!paid.isEmpty())
        return QStringLiteral("この保管場所名はカード「") + paid
            + QStringLiteral("」の引落口座で使用されています 削除できません");
    return {};
}

QString deletePlace(Database &db, const QString &place)
{
    if (QString refusal = placeDeletionRefusal(db, place, Reads::Quiet); !refusal.isEmpty())
        return refusal;
    db.execute(
        QStringLiteral("DELETE H_index FROM Hokan_T WHERE (H_index = '") + q(place) + QStringLiteral("')"));
    const QSet<QString> tables = sideTables(db);
    forgetPlaceRows(db, tables, place);
    // A rule would offer a transfer to a place that is gone.
    for (const bool out : {true, false}) {
        deleteWhere(db, tables, "X_import_rule", "XR_item", transferTarget(out, place));
        deleteWhere(db, tables, "X_import_pattern", "XQ_item", transferTarget(out, place));
    }
    return {};
}

QString placeRenameRefusal(Database &db, const QString &from, const QString &to, Reads reads)
{
    if (from.isEmpty() || to.isEmpty())
        return QStringLiteral("全ての値が入力されていない為処理できません");
    // A new name that another place already has would merge the two places' balances and
    // histories under one name.
    if (to != from && taken(db, reads, QStringLiteral("Hokan_T"), QStringLiteral("H_index"), to))
        return QStringLiteral("この保管場所名は既に使用されています 変更できません");
    return {};
}

QString renamePlace(Database &db, const QString &from, const QString &to)
{
    if (QString refusal = placeRenameRefusal(db, from, to, Reads::Quiet); !refusal.isEmpty())
        return refusal;
    SearchText::PlaceRename copy(db, from, to);
    rename(db, QStringLiteral("Hokan_T"), QStringLiteral("H_index"), from, to);
    for (const auto &c : PlaceColumns)
        renameWhereUsed(db, QLatin1String(c[0]), QLatin1String(c[1]), from, to);
    copy.finish();

    // A place renamed to its own name keeps everything it has in the side tables: clearing the
    // new name first would clear its own rows.
    if (from == to)
        return {};
    // The side tables: whatever is still kept there under the new name belongs to a place
    // deleted long ago and, left there, would become the renamed place's.
    const QSet<QString> tables = sideTables(db);
    forgetPlaceRows(db, tables, to);
    for (const auto &c : ImportPlaceColumns)
        renameIn(db, tables, c[0], c[1], from, to);
    // The transfers the import's rules, lines and patterns name by the place.
    for (const bool out : {true, false}) {
        const QString f = transferTarget(out, from), t = transferTarget(out, to);
        renameIn(db, tables, "X_import_rule", "XR_item", f, t);
        if (tables.contains(QStringLiteral("X_import_line")))
            db.execute(
                QStringLiteral("UPDATE X_import_line SET XL_item = ? WHERE XL_table = 'I' AND XL_item = ?"),
                {t, f});
        renameIn(db, tables, "X_import_pattern", "XQ_item", f, t);
    }
    for (const auto &c : CardPlaceColumns)
        renameIn(db, tables, c[0], c[1], from, to);
    return {};
}

// ---- Cards ----------------------------------------------------------------------------------

std::optional<Card> card(Database &db, const QString &place)
{
    const QList<Card> list = readCards(db, QStringLiteral(" WHERE XC_place = ?"), {place});
    if (list.isEmpty())
        return std::nullopt;
    return list.first();
}

QList<Card> cards(Database &db)
{
    return readCards(db, QString(), {});
}

QString cardPaidFrom(Database &db, const QString &place)
{
    const QList<Card> list = readCards(db, QStringLiteral(" WHERE XC_pay_from = ?"), {place});
    return list.isEmpty() ? QString() : list.first().place;
}

void saveCard(Database &db, const Card &c, bool registering)
{
    if (registering)
        db.execute(QStringLiteral("INSERT INTO X_card (XC_place,XC_closing,XC_payment,XC_pay_from,XC_limit) "
                                  "VALUES (?,?,?,?,?)"),
            {c.place, c.closing, c.payment, c.payFrom, c.limit});
    else
        db.execute(QStringLiteral("UPDATE X_card SET XC_closing = ?, XC_payment = ?, XC_limit = ?, "
                                  "XC_pay_from = ? WHERE XC_place = ?"),
            {c.closing, c.payment, c.limit, c.payFrom, c.place});
}

void deleteCard(Database &db, const QString &place)
{
    const QSet<QString> tables = sideTables(db);
    for (const auto &c : CardOwnColumns)
        deleteWhere(db, tables, c[0], c[1], place);
}

// ---- Categories -----------------------------------------------------------------------------

QString automaticCategory()
{
    return QStringLiteral("自動");
}

void registerCategory(Database &db, const QString &name, const QString &memo)
{
    db.insert(
        QStringLiteral("Kubun_T"), {{QStringLiteral("K_index"), name}, {QStringLiteral("K_memo"), memo}});
}

void updateCategory(Database &db, const QString &name, const QString &memo)
{
    db.execute(QStringLiteral("UPDATE Kubun_T SET K_memo = '") + q(memo)
        + QStringLiteral("' WHERE (K_index = '") + q(name) + QStringLiteral("')"));
}

QString categoryDeletionRefusal(Database &db, const QString &name, Reads reads)
{
    if (name == automaticCategory())
        return QStringLiteral("この区分名(自動)は削除できません");
    const QString master = itemMasterUsing(db, reads, QStringLiteral("kubun"), name);
    if (!master.isEmpty())
        return QStringLiteral("この区分名は") + master
            + QStringLiteral("ﾏｽﾀで使用されています 削除できません");
    return {};
}

QString deleteCategory(Database &db, const QString &name)
{
    if (QString refusal = categoryDeletionRefusal(db, name, Reads::Quiet); !refusal.isEmpty())
        return refusal;
    db.execute(
        QStringLiteral("DELETE K_index FROM kubun_T WHERE (K_index = '") + q(name) + QStringLiteral("')"));
    forgetPlanRows(db, sideTables(db), {QStringLiteral("N"), QStringLiteral("S")}, QStringLiteral("K"), name);
    return {};
}

QString categoryRenameRefusal(Database &db, const QString &from, const QString &to, Reads reads)
{
    if (from == automaticCategory())
        return QStringLiteral("この区分名(自動)は変更できません");
    // An empty name, or one another category has, would leave items without a category or
    // merge two categories.
    if (to.isEmpty())
        return QStringLiteral("区分名が入力されていません");
    if (to != from && taken(db, reads, QStringLiteral("Kubun_T"), QStringLiteral("K_index"), to))
        return QStringLiteral("この区分名は既に使用されています 変更できません");
    return {};
}

QString renameCategory(Database &db, const QString &from, const QString &to, const QString &memo)
{
    if (QString refusal = categoryRenameRefusal(db, from, to, Reads::Quiet); !refusal.isEmpty())
        return refusal;
    renameWhereUsed(db, QStringLiteral("Nyuukin_T"), QStringLiteral("N_kubun"), from, to);
    renameWhereUsed(db, QStringLiteral("Syukkin_T"), QStringLiteral("S_kubun"), from, to);
    if (from != to)
        renamePlanRows(
            db, sideTables(db), {QStringLiteral("N"), QStringLiteral("S")}, QStringLiteral("K"), from, to);
    db.execute(QStringLiteral("UPDATE Kubun_T SET K_index = '") + q(to) + QStringLiteral("',K_memo = '")
        + q(memo) + QStringLiteral("' WHERE K_index = '") + q(from) + QStringLiteral("'"));
    return {};
}

// ---- Items ----------------------------------------------------------------------------------

void registerItem(Database &db, const QString &kind, const Item &item)
{
    db.insert(itemTable(kind),
        {{itemColumn(kind, "index"), item.name}, {itemColumn(kind, "kubun"), item.category},
            {itemColumn(kind, "hokan"), item.place}, {itemColumn(kind, "memo"), item.memo}});
}

void updateItem(Database &db, const QString &kind, const Item &item)
{
    const QString index = itemColumn(kind, "index");
    db.execute(QStringLiteral("UPDATE ") + itemTable(kind) + QStringLiteral(" SET ")
        + otherItemColumns(kind, item) + QStringLiteral(" WHERE (") + index + QStringLiteral(" = '")
        + q(item.name) + QStringLiteral("')"));
}

QString itemRenameRefusal(
    Database &db, const QString &kind, const QString &from, const QString &to, Reads reads)
{
    if (to.isEmpty())
        return itemWord(kind) + QStringLiteral("名が入力されていません");
    if (to != from && taken(db, reads, itemTable(kind), itemColumn(kind, "index"), to))
        return QStringLiteral("この") + itemWord(kind)
            + QStringLiteral("名は既に使用されています 変更できません");
    return {};
}

QString renameItem(Database &db, const QString &kind, const QString &from, const Item &item)
{
    const QString &to = item.name;
    if (QString refusal = itemRenameRefusal(db, kind, from, to, Reads::Quiet); !refusal.isEmpty())
        return refusal;
    const QString index = itemColumn(kind, "index");
    renameWhereUsed(db, kind, index, from, to);
    // A debit item's history is named by the item as well.
    if (kind == u"S")
        renameWhereUsed(db, QStringLiteral("Zidourireki_T"), QStringLiteral("Z_index"), from, to);

    // An item renamed to its own name keeps its plans and schedule (see renamePlace).
    const QSet<QString> tables = from == to ? QSet<QString>() : sideTables(db);
    if (tables.contains(QStringLiteral("X_import_rule")))
        db.execute(QStringLiteral("UPDATE X_import_rule SET XR_item = ? WHERE XR_kind = ? AND XR_item = ?"),
            {to, kind, from});
    if (tables.contains(QStringLiteral("X_import_line"))) {
        db.execute(QStringLiteral("UPDATE X_import_line SET XL_item = ? WHERE XL_table = ? AND XL_item = ?"),
            {to, kind, from});
        // The expense a card's bill turned into a transfer, which taking the bill back gives back.
        if (kind == u"S")
            db.execute(QStringLiteral("UPDATE X_import_line SET XL_paid_item = ? WHERE XL_paid_item = ?"),
                {to, from});
    }
    if (tables.contains(QStringLiteral("X_import_pattern")))
        db.execute(
            QStringLiteral("UPDATE X_import_pattern SET XQ_item = ? WHERE XQ_item = ? AND XQ_kind = ?"),
            {to, from, kind});
    renamePlanRows(db, tables, {kind}, QStringLiteral("I"), from, to);
    if (tables.contains(QStringLiteral("X_schedule"))) {
        // A schedule still kept under the new name (an item deleted long ago) gives way.
        db.execute(QStringLiteral("DELETE FROM X_schedule WHERE XS_side = ? AND XS_item = ?"), {kind, to});
        db.execute(QStringLiteral("UPDATE X_schedule SET XS_item = ? WHERE XS_side = ? AND XS_item = ?"),
            {to, kind, from});
    }

    db.execute(QStringLiteral("UPDATE %1 SET %2 = '").arg(itemTable(kind), index) + q(to)
        + QStringLiteral("',") + otherItemColumns(kind, item) + QStringLiteral(" WHERE (") + index
        + QStringLiteral(" = '") + q(from) + QStringLiteral("')"));
    return {};
}

void deleteItem(Database &db, const QString &kind, const QString &name)
{
    db.execute(QStringLiteral("DELETE * FROM ") + itemTable(kind) + QStringLiteral(" WHERE (")
        + itemColumn(kind, "index") + QStringLiteral(" = '") + q(name) + QStringLiteral("')"));
    const QSet<QString> tables = sideTables(db);
    if (tables.contains(QStringLiteral("X_import_rule")))
        db.execute(
            QStringLiteral("DELETE FROM X_import_rule WHERE XR_kind = ? AND XR_item = ?"), {kind, name});
    if (tables.contains(QStringLiteral("X_import_pattern")))
        db.execute(
            QStringLiteral("DELETE FROM X_import_pattern WHERE XQ_item = ? AND XQ_kind = ?"), {name, kind});
    forgetPlanRows(db, tables, {kind}, QStringLiteral("I"), name);
    if (tables.contains(QStringLiteral("X_schedule")))
        db.execute(QStringLiteral("DELETE FROM X_schedule WHERE XS_side = ? AND XS_item = ?"), {kind, name});
}

} // namespace MasterChange
