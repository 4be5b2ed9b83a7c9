// SPDX-License-Identifier: GPL-3.0-or-later
#include "Migrations.h"

#include "Database.h"
#include "SearchIndex.h"
#include "SearchText.h"

namespace Migrations {

namespace {

// Step 1: statement imports. A batch is one import into one storage place; its lines name the
// history row each wrote (table and rowid) and the key that recognises the bank line again.
const char *const step1[] = {
    "CREATE TABLE IF NOT EXISTS X_import_batch ("
    " XB_no INTEGER PRIMARY KEY AUTOINCREMENT, XB_when TEXT, XB_file TEXT, XB_preset TEXT,"
    " XB_hokan TEXT, XB_count INTEGER, XB_total INTEGER,"
    " XB_nmax INTEGER, XB_smax INTEGER, XB_imax INTEGER, XB_kmax INTEGER)",
    "CREATE TABLE IF NOT EXISTS X_import_line ("
    " XL_batch INTEGER, XL_hokan TEXT, XL_key TEXT, XL_date INTEGER, XL_money INTEGER,"
    " XL_memo TEXT, XL_item TEXT, XL_table TEXT, XL_rowid INTEGER, XL_before INTEGER)",
    "CREATE INDEX IF NOT EXISTS X_import_line_key ON X_import_line (XL_hokan, XL_key)",
    "CREATE INDEX IF NOT EXISTS X_import_line_batch ON X_import_line (XL_batch)",
    // The item last chosen for a normalised description, per place and direction (N or S).
    "CREATE TABLE IF NOT EXISTS X_import_rule ("
    " XR_hokan TEXT, XR_kind TEXT, XR_key TEXT, XR_item TEXT, PRIMARY KEY (XR_hokan, XR_kind, XR_key))",
    // Presets the user made, as the same JSON the built-in presets are written in.
    "CREATE TABLE IF NOT EXISTS X_import_preset (XP_name TEXT PRIMARY KEY, XP_json TEXT)",
    // The storage place last chosen for a preset and an account of the file.
    "CREATE TABLE IF NOT EXISTS X_import_place ("
    " XA_preset TEXT, XA_account TEXT, XA_hokan TEXT, PRIMARY KEY (XA_preset, XA_account))",
};

// Step 2: the history of actions. Each entry is one write action: when, the window's
// caption (earlier versions wrote its objectName), a description, and the row changes it made in the compact
// form ChangeRecorder writes. Numbers grow with every entry; times follow the clock, which may have been
// wrong.
const char *const step2[] = {
    "CREATE TABLE IF NOT EXISTS X_undo_action ("
    " XU_no INTEGER PRIMARY KEY, XU_when TEXT, XU_window TEXT, XU_text TEXT, XU_changes BLOB)",
};

// Step 4: budgets. A year is planned, for each side (N income, S expense), either by category
// (K) or by item (I); each planned category or item has one row with its budget for each month
// and whether a month's remainder carries into the next.
const char *const step4[] = {
    "CREATE TABLE IF NOT EXISTS X_budget_year ("
    " XY_year INTEGER, XY_side TEXT, XY_by TEXT, PRIMARY KEY (XY_year, XY_side))",
    "CREATE TABLE IF NOT EXISTS X_budget_row ("
    " XZ_year INTEGER, XZ_side TEXT, XZ_name TEXT, XZ_order INTEGER, XZ_carry INTEGER,"
    " XZ_m01 INTEGER, XZ_m02 INTEGER, XZ_m03 INTEGER, XZ_m04 INTEGER, XZ_m05 INTEGER, XZ_m06 INTEGER,"
    " XZ_m07 INTEGER, XZ_m08 INTEGER, XZ_m09 INTEGER, XZ_m10 INTEGER, XZ_m11 INTEGER, XZ_m12 INTEGER,"
    " PRIMARY KEY (XZ_year, XZ_side, XZ_name))",
    "CREATE INDEX IF NOT EXISTS X_budget_row_name ON X_budget_row (XZ_side, XZ_name)",
};

// Step 6: credit cards. A card is a storage place that owes: its closing day, payment day (31 is
// the month's last day), the place its bill is paid from and its limit. A card's bill, as its
// statement states it, is kept to link the bank's payment to it.
const char *const step6[] = {
    "CREATE TABLE IF NOT EXISTS X_card ("
    " XC_place TEXT PRIMARY KEY, XC_closing INTEGER NOT NULL, XC_payment INTEGER NOT NULL,"
    " XC_pay_from TEXT NOT NULL, XC_limit INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS X_card_bill ("
    " XCB_id INTEGER PRIMARY KEY, XCB_place TEXT NOT NULL, XCB_payment_date INTEGER NOT NULL,"
    " XCB_total INTEGER NOT NULL, XCB_batch INTEGER)",
};

// Step 7: schedules. An income (N) or expense (S) item of the masters may recur on a day of the
// month (1..31, 31 the last day) in the months of a mask (bit 0 January), moved to the next (N)
// or previous (P) bank business day when it falls on a holiday; its amount is expected as the
// last posted one (L), that of the same month a year before (Y) or a fixed one (F).
const char *const step7[] = {
    "CREATE TABLE IF NOT EXISTS X_schedule ("
    " XS_side TEXT, XS_item TEXT, XS_day INTEGER, XS_months INTEGER, XS_shift TEXT,"
    " XS_amount TEXT, XS_fixed INTEGER, PRIMARY KEY (XS_side, XS_item))",
};

// Step 8: moving in from another household program. The ids of the source's lines already
// moved in, per layout, so that a file of an overlapping month passes over them.
const char *const step8[] = {
    "CREATE TABLE IF NOT EXISTS X_movein_id (XM_layout TEXT, XM_id TEXT, PRIMARY KEY (XM_layout, XM_id))",
};

// Step 9: rules the user writes for a place's imports: a description's leading part (P) or a part
// anywhere (C), per direction (N or S), and the item or transfer it gives.
const char *const step9[] = {
    "CREATE TABLE IF NOT EXISTS X_import_pattern ("
    " XQ_hokan TEXT, XQ_kind TEXT, XQ_match TEXT, XQ_key TEXT, XQ_item TEXT,"
    " PRIMARY KEY (XQ_hokan, XQ_kind, XQ_match, XQ_key))",
};

// Step 11: what the record of an imported line says after the fact. XL_state: 0 as imported,
// 1 its amount or place changed in a correction since, 2 deleted since (its row id is 0 then);
// either way the line is no longer known as imported. XL_paid_by and XL_paid_item: for a bank's
// payment that a card's bill turned from an expense into the transfer to the card, the card's
// batch and the expense item it had.
const char *const step11[] = {
    "ALTER TABLE X_import_line ADD COLUMN XL_state INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE X_import_line ADD COLUMN XL_paid_by INTEGER",
    "ALTER TABLE X_import_line ADD COLUMN XL_paid_item TEXT",
    "CREATE INDEX IF NOT EXISTS X_import_line_row ON X_import_line (XL_table, XL_rowid)",
};

// Whether a statement adds a column the table has already. Like the steps' CREATE ... IF NOT
// EXISTS, a step that adds columns can then run again over a ledger that has them (one whose
// version was set back).
bool addsAColumnThatIsThere(Database &db, const QString &statement)
{
    const QStringList words = statement.split(u' ', Qt::SkipEmptyParts);
    if (words.size() < 6 || words.at(0) != u"ALTER" || words.at(3) != u"ADD" || words.at(4) != u"COLUMN")
        return false;
    for (Cursor c = db.query(QStringLiteral("PRAGMA table_info(%1)").arg(words.at(2))); !c.eof(); c.next())
        if (c.text(QStringLiteral("name")) == words.at(5))
            return true;
    return false;
}

template <size_t N> QStringList toList(const char *const (&statements)[N])
{
    QStringList list;
    for (const char *s : statements)
        list << QString::fromUtf8(s);
    return list;
}

} // namespace

int latest()
{
    return 11;
}

QStringList step(int n)
{
    switch (n) {
    case 1:
        return toList(step1);
    case 2:
        return toList(step2);
    case 3:
    case 5:
        // The search copy (3) and its index (5) in their first forms: step 10 makes both anew.
        return {};
    case 4:
        return toList(step4);
    case 6:
        return toList(step6);
    case 7:
        return toList(step7);
    case 8:
        return toList(step8);
    case 9:
        return toList(step9);
    case 10:
        // The search over every posting: a folded copy of the searchable text with its places
        // numbered, kept current by triggers (see SearchText), and its trigram index (see
        // SearchIndex), made anew in place of any earlier form (migrate() folds the copy before
        // the index is made, and builds it).
        return SearchIndex::dropStatements() + SearchText::dropStatements() + SearchText::createStatements()
            + SearchIndex::createStatements();
    case 11:
        return toList(step11);
    default:
        return {};
    }
}

int version(Database &db)
{
    Cursor c = db.query(QStringLiteral("PRAGMA user_version"));
    return c.eof() ? 0 : c.value(0).toInt();
}

Outcome migrate(
    const QString &path, const BeforeFirst &beforeFirst, const std::function<void(qint64, qint64)> &progress)
{
    int from = 0;
    {
        Database db(path);
        from = version(db);
    }
    if (from == latest())
        return Outcome::Current;
    if (from > latest())
        return Outcome::Newer;
    if (beforeFirst && !beforeFirst(from, latest()))
        return Outcome::Declined;

    Database db(path);
    db.beginWrite();
    // Read again under the write lock: another process may have migrated meanwhile.
    const int current = version(db);
    if (current >= latest())
        return Outcome::Current; // the transaction rolls back with nothing written
    for (int n = current + 1; n <= latest(); ++n) {
        const QStringList statements = step(n);
        // Step 10 makes the index last; its rows are folded first (see below).
        const qsizetype run
            = n == 10 ? statements.size() - SearchIndex::createStatements().size() : statements.size();
        for (qsizetype i = 0; i < run; ++i)
            if (!addsAColumnThatIsThere(db, statements.at(i)))
                db.execute(statements.at(i));
        // The copy is folded before its index exists and then indexed in one go, quicker than
        // row by row through the index's triggers, which keep it right from then on. The copy's
        // last form comes with step 10, which does both.
        if (n == 10) {
            SearchText::foldPending(db, progress);
            for (const QString &statement : SearchIndex::createStatements())
                db.execute(statement);
            SearchIndex::build(db, progress);
        }
    }
    db.execute(QStringLiteral("PRAGMA user_version = %1").arg(latest()));
    db.commit();
    return Outcome::Migrated;
}

} // namespace Migrations
