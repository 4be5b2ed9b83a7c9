// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchText.h"

#include "Database.h"
#include "PreparedStatements.h"

#include <memory>
#include <sqlite3.h>
#include <vector>

namespace SearchText {

namespace {

// The fields joined into one text are separated by this, so a word never spans two of them.
constexpr QChar Separator = u'\x1f';

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

Statement prepare(Database &db, const QString &sql)
{
    db.announce(sql);
    sqlite3_stmt *s = nullptr;
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db.handle(), text.constData(), int(text.size()), &s, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(s);
        throw DbError(sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db.handle())), rc);
    }
    return Statement(s, &sqlite3_finalize);
}

QString columnText(sqlite3_stmt *s, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(s, column)) : QString();
}

// The source of each table's folded text: the item and the memo (a stocktake's reason). Places
// are kept apart, as numbers of X_meisai_hokan, and matched by their names (see PostingSearch).
struct Source
{
    const char *table;
    const char *fields; // selected after the row id
};

const Source sources[] = {
    {"N", "N_index, N_memo"},
    {"S", "S_index, S_memo"},
    {"Idourireki_T", "'', I_memo"},
    {"Ktanaorosi_T", "'', K_riyuu"},
};

// What the copy holds of a row of each table: its key (whose code is its place in this list),
// kind, date, amount and item (in terms of the row "r."), the columns whose change writes the
// row again, those whose change sets its text anew, and the one or two columns of its places. A
// debit is the S row the debit run writes with its fixed memo.
struct TriggerRow
{
    const char *table;
    const char *key;
    const char *kind;
    const char *dateAndMoney;
    const char *item;
    const char *columns;
    const char *textColumns;
    const char *places[2];
};

const TriggerRow triggerRows[] = {
    {"N", "N", "'N'", "r.N_date, r.N_money", "r.N_index", "N_date, N_money", "N_index, N_memo",
        {"N_hokan", nullptr}},
    {"S", "S", "CASE WHEN r.S_memo = '自動引落処理' THEN 'Z' ELSE 'S' END", "r.S_date, r.S_money",
        "r.S_index", "S_date, S_money", "S_index, S_memo", {"S_hokan", nullptr}},
    {"Idourireki_T", "I", "'I'", "r.I_day, r.I_money", "NULL", "I_day, I_money", "I_memo",
        {"I_hokanmoto", "I_hokansaki"}},
    {"Ktanaorosi_T", "K", "'K'", "r.K_day, r.K_amoney - r.K_bmoney", "NULL", "K_day, K_amoney, K_bmoney",
        "K_riyuu", {"K_hokan", nullptr}},
};

constexpr int Codes = 4;

// The columns of a row of the copy as rowValues() gives them.
constexpr const char *CopyColumns
    = "rowid, XM_table, XM_rowid, XM_kind, XM_date, XM_money, XM_place, XM_place2, XM_item, XM_norm";

int codeOf(const TriggerRow &t)
{
    return int(&t - triggerRows);
}

QString inTermsOf(const char *text, const QString &row)
{
    return QString::fromUtf8(text).replace(QStringLiteral("r."), row + u'.');
}

// The copy's row id of the row `row` of the table.
QString copyRowid(const TriggerRow &t, const QString &row)
{
    return QStringLiteral("(%1.rowid * %2 + %3)").arg(row).arg(Codes).arg(codeOf(t));
}

QString placeNumber(const QString &name)
{
    return QStringLiteral("(SELECT XH_id FROM X_meisai_hokan WHERE XH_name = %1)").arg(name);
}

QString keepPlace(const QString &name)
{
    return QStringLiteral(" INSERT OR IGNORE INTO X_meisai_hokan (XH_name) SELECT %1 WHERE %1 IS NOT NULL;")
        .arg(name);
}

// The values of the copy's row for the row `row` of the table, its places numbered already.
QString rowValues(const TriggerRow &t, const QString &row)
{
    const QString place2
        = t.places[1] ? placeNumber(row + u'.' + QLatin1String(t.places[1])) : QStringLiteral("NULL");
    return QStringLiteral("%1, '%2', %3.rowid, %4, %5, %6, %7, NULL")
        .arg(copyRowid(t, row), QLatin1String(t.key), row,
            inTermsOf(t.kind, row) + QStringLiteral(", ") + inTermsOf(t.dateAndMoney, row),
            placeNumber(row + u'.' + QLatin1String(t.places[0])), place2, inTermsOf(t.item, row));
}

QStringList placeColumns(const TriggerRow &t)
{
    QStringList list {QLatin1String(t.places[0])};
    if (t.places[1])
        list << QLatin1String(t.places[1]);
    return list;
}

} // namespace

QString fold(const QString &text)
{
    QString out = text.normalized(QString::NormalizationForm_KC).toLower();
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        // ぁ..ゖ and the iteration marks ゝゞ have their katakana 0x60 further on.
        if ((u >= 0x3041 && u <= 0x3096) || u == 0x309D || u == 0x309E)
            c = QChar(char16_t(u + 0x60));
    }
    return out;
}

QStringList words(const QString &text)
{
    QStringList out;
    for (const QString &w : fold(text).split(QChar(u' '), Qt::SkipEmptyParts))
        for (const QString &part : w.simplified().split(u' ', Qt::SkipEmptyParts))
            out << part;
    return out;
}

QStringList triggerStatements()
{
    QStringList list;
    for (const TriggerRow &t : triggerRows) {
        const QString table = QString::fromUtf8(t.table);
        const QStringList places = placeColumns(t);
        QString insert;
        for (const QString &p : places)
            insert += keepPlace(QStringLiteral("new.") + p);
        // A row of the same id is deleted first rather than replaced: a replaced row leaves no
        // trace for the triggers on X_meisai itself (see SearchIndex).
        insert += QStringLiteral(
            " DELETE FROM X_meisai WHERE rowid = %1; INSERT INTO X_meisai (%2) VALUES (%3);")
                      .arg(copyRowid(t, QStringLiteral("new")), QLatin1String(CopyColumns),
                          rowValues(t, QStringLiteral("new")));
        const QString remove = QStringLiteral(" DELETE FROM X_meisai WHERE rowid = %1;")
                                   .arg(copyRowid(t, QStringLiteral("old")));
        // A change of the places alone (a rename) does something only when the row's number of
        // a place is not that of its new name: a rename of the masters' place has renamed the
        // name of its number already (see below). While a rename is taken back (its rows put
        // back before the masters), a name that no row holds and no place of the masters has is the rename's:
        // it takes over the number of the name it replaces, so the other rows of that name, put
        // back next, keep theirs. When the place and more change, both triggers fire and agree.
        QString renamed;
        QStringList changed, sets, differ;
        for (const QString &p : places) {
            renamed += QStringLiteral(" UPDATE X_meisai_hokan SET XH_name = new.%1 WHERE XH_name = old.%1 "
                                      "AND new.%1 IS NOT NULL"
                                      " AND NOT EXISTS (SELECT 1 FROM X_meisai_hokan WHERE XH_name = new.%1)"
                                      " AND NOT EXISTS (SELECT 1 FROM Hokan_T WHERE H_index = new.%1)"
                                      " AND EXISTS (SELECT 1 FROM X_meisai_takeback);")
                           .arg(p)
                + keepPlace(QStringLiteral("new.") + p);
            const QString column = sets.isEmpty() ? QStringLiteral("XM_place") : QStringLiteral("XM_place2");
            const QString number = placeNumber(QStringLiteral("new.") + p);
            changed << QStringLiteral("(SELECT %1 FROM X_meisai WHERE rowid = %2) IS NOT %3")
                           .arg(column, copyRowid(t, QStringLiteral("new")), number);
            sets << QStringLiteral("%1 = %2").arg(column, number);
            differ << QStringLiteral("%1 IS NOT %2").arg(column, number);
        }
        list << QStringLiteral("CREATE TRIGGER X_meisai_%1_ins AFTER INSERT ON %1 BEGIN%2 END")
                    .arg(table, insert)
             << QStringLiteral("CREATE TRIGGER X_meisai_%1_upd AFTER UPDATE OF rowid, %2 ON %1 BEGIN%3%4 END")
                    .arg(table, QString::fromUtf8(t.columns), remove, insert)
             // A change of the item or the memo (a rename of an item) sets them in the row as it
             // is, pending, and its kind only when that changes: the row's indexes stay as they are.
             << QStringLiteral(
                    "CREATE TRIGGER X_meisai_%1_text AFTER UPDATE OF %2 ON %1 WHEN old.rowid IS new.rowid"
                    " BEGIN UPDATE X_meisai SET XM_item = %3, XM_norm = NULL WHERE rowid = %4;"
                    " UPDATE X_meisai SET XM_kind = %5 WHERE rowid = %4 AND XM_kind IS NOT %5; END")
                    .arg(table, QString::fromUtf8(t.textColumns), inTermsOf(t.item, QStringLiteral("new")),
                        copyRowid(t, QStringLiteral("new")), inTermsOf(t.kind, QStringLiteral("new")))
             << QStringLiteral("CREATE TRIGGER X_meisai_%1_place AFTER UPDATE OF %2 ON %1 WHEN %3 BEGIN%4"
                               " UPDATE X_meisai SET %5 WHERE rowid = %6 AND (%7); END")
                    .arg(table, places.join(QStringLiteral(", ")), changed.join(QStringLiteral(" OR ")),
                        renamed, sets.join(QStringLiteral(", ")), copyRowid(t, QStringLiteral("new")),
                        differ.join(QStringLiteral(" OR ")))
             << QStringLiteral("CREATE TRIGGER X_meisai_%1_del AFTER DELETE ON %1 BEGIN%2 END")
                    .arg(table, remove);
    }
    // A place renamed in the masters before its rows: its name's number is renamed with it.
    list << QStringLiteral(
        "CREATE TRIGGER X_meisai_hokan_rename AFTER UPDATE OF H_index ON Hokan_T"
        " WHEN old.H_index IS NOT new.H_index BEGIN UPDATE X_meisai_hokan SET XH_name = new.H_index"
        " WHERE XH_name = old.H_index AND new.H_index IS NOT NULL"
        " AND NOT EXISTS (SELECT 1 FROM X_meisai_hokan WHERE XH_name = new.H_index); END");
    return list;
}

QStringList dropStatements()
{
    QStringList list;
    for (const char *table : {"N", "S", "Idourireki_T", "Ktanaorosi_T"})
        for (const char *when : {"ins", "upd", "del", "place", "text"})
            list << QStringLiteral("DROP TRIGGER IF EXISTS X_meisai_%1_%2")
                        .arg(QLatin1String(table), QLatin1String(when));
    list << QStringLiteral("DROP TRIGGER IF EXISTS X_meisai_hokan_rename")
         << QStringLiteral("DROP TABLE IF EXISTS X_meisai")
         << QStringLiteral("DROP TABLE IF EXISTS X_meisai_hokan")
         << QStringLiteral("DROP TABLE IF EXISTS X_meisai_takeback");
    return list;
}

QStringList createStatements()
{
    QStringList list;
    list << QStringLiteral(
        "CREATE TABLE X_meisai_hokan (XH_id INTEGER PRIMARY KEY, XH_name TEXT NOT NULL UNIQUE)")
         << QStringLiteral("CREATE TABLE X_meisai_takeback (XT_on INTEGER)")
         << QStringLiteral(
                "CREATE TABLE X_meisai ("
                " XM_table TEXT NOT NULL, XM_rowid INTEGER NOT NULL, XM_kind TEXT, XM_date INTEGER,"
                " XM_money INTEGER, XM_place INTEGER, XM_place2 INTEGER, XM_item TEXT, XM_norm TEXT)");
    for (const TriggerRow &t : triggerRows)
        for (const QString &p : placeColumns(t))
            list << QStringLiteral("INSERT OR IGNORE INTO X_meisai_hokan (XH_name) SELECT DISTINCT %1 FROM "
                                   "%2 WHERE %1 IS NOT NULL")
                        .arg(p, QString::fromUtf8(t.table));
    for (const TriggerRow &t : triggerRows)
        list << QStringLiteral("INSERT INTO X_meisai (%1) SELECT %2 FROM %3 r")
                    .arg(QLatin1String(CopyColumns), rowValues(t, QStringLiteral("r")),
                        QString::fromUtf8(t.table));
    // The first index of the places holds what a search counts and totals, so the rows of a
    // place are counted from the index alone.
    list << QStringLiteral("CREATE INDEX X_meisai_date ON X_meisai (XM_date)")
         << QStringLiteral("CREATE INDEX X_meisai_money ON X_meisai (XM_money)")
         << QStringLiteral("CREATE INDEX X_meisai_pending ON X_meisai (XM_table) WHERE XM_norm IS NULL")
         << QStringLiteral("CREATE INDEX X_meisai_place ON X_meisai (XM_place, XM_date, XM_kind, XM_money)")
         << QStringLiteral(
                "CREATE INDEX X_meisai_place2 ON X_meisai (XM_place2) WHERE XM_place2 IS NOT NULL");
    list << triggerStatements();
    return list;
}

QString rowidOf(QChar key, const QString &rowid)
{
    for (const TriggerRow &t : triggerRows)
        if (QLatin1String(t.key) == QString(key))
            return QStringLiteral("(%1 * %2 + %3)").arg(rowid).arg(Codes).arg(codeOf(t));
    return QStringLiteral("NULL");
}

void setTakingBack(Database &db, bool on)
{
    Cursor c = db.query(
        QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'X_meisai_takeback'"));
    if (c.eof())
        return;
    db.execute(on ? QStringLiteral("INSERT INTO X_meisai_takeback VALUES (1)")
                  : QStringLiteral("DELETE FROM X_meisai_takeback"));
}

namespace {

// Runs one statement on the connection's own handle with the texts bound in order: the copy's
// upkeep, which no observer of the windows' statements is told of.
void runQuiet(Database &db, const QString &sql, const QStringList &texts = {})
{
    sqlite3 *h = db.handle();
    sqlite3_stmt *s = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(h, text.constData(), int(text.size()), &s, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(h)), sqlite3_extended_errcode(h));
    for (int i = 0; i < texts.size(); ++i)
        PreparedStatements::bind(s, i + 1, texts.at(i));
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) { }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(h)), sqlite3_extended_errcode(h));
}

bool hasNumber(Database &db, const QString &name)
{
    return !db.lookup(QStringLiteral("SELECT 1 FROM X_meisai_hokan WHERE XH_name = ?"), {name}).eof();
}

} // namespace

bool holdsPlace(const QString &table, const QString &column)
{
    for (const TriggerRow &t : triggerRows)
        if (table == QLatin1String(t.table))
            return placeColumns(t).contains(column);
    return false;
}

PlaceRename::PlaceRename(Database &db, const QString &from, const QString &to)
    : m_db(db)
    , m_from(from)
    , m_to(to)
{
    if (from == to || !exists(db) || !hasNumber(db, from) || hasNumber(db, to))
        return;
    QStringList names;
    for (const TriggerRow &t : triggerRows)
        names << QStringLiteral("'X_meisai_%1_place'").arg(QString::fromUtf8(t.table));
    QStringList dropped;
    for (Cursor c = db.lookup(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger' "
                                             "AND name IN (%1) ORDER BY name")
                                  .arg(names.join(u',')),
             {});
         !c.eof(); c.next()) {
        dropped << c.text(0);
        m_triggers << c.text(1);
    }
    for (const QString &name : std::as_const(dropped))
        runQuiet(db, QStringLiteral("DROP TRIGGER \"%1\"").arg(name));
    runQuiet(db, QStringLiteral("UPDATE X_meisai_hokan SET XH_name = ?2 WHERE XH_name = ?1"), {from, to});
    m_renamed = true;
}

PlaceRename::~PlaceRename()
{
    if (m_triggers.isEmpty())
        return;
    try {
        restoreTriggers();
    } catch (const DbError &) {
        // The transaction is rolled back, and the triggers with it.
    }
}

void PlaceRename::restoreTriggers()
{
    QStringList left = m_triggers;
    while (!left.isEmpty()) {
        runQuiet(m_db, left.constFirst());
        left.removeFirst();
        m_triggers = left;
    }
}

void PlaceRename::finish()
{
    if (m_renamed) {
        m_renamed = false;
        // Rows the rename did not reach keep the old name, and so their own number of it.
        for (const TriggerRow &t : triggerRows) {
            const QStringList places = placeColumns(t);
            for (int i = 0; i < places.size(); ++i) {
                const QString table = QString::fromUtf8(t.table);
                if (m_db.lookup(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(table, places[i]),
                            {m_from})
                        .eof())
                    continue;
                runQuiet(m_db, QStringLiteral("INSERT OR IGNORE INTO X_meisai_hokan (XH_name) VALUES (?1)"),
                    {m_from});
                runQuiet(m_db,
                    QStringLiteral(
                        "UPDATE X_meisai SET %1 = %2 WHERE rowid IN (SELECT %3 FROM %4 WHERE %5 = ?1)")
                        .arg(i == 0 ? QStringLiteral("XM_place") : QStringLiteral("XM_place2"),
                            placeNumber(QStringLiteral("?1")), copyRowid(t, table), table, places[i]),
                    {m_from});
            }
        }
    }
    restoreTriggers();
}

QList<std::pair<qint64, QString>> places(Database &db)
{
    QList<std::pair<qint64, QString>> list;
    for (Cursor c = db.query(QStringLiteral("SELECT XH_id, XH_name FROM X_meisai_hokan")); !c.eof(); c.next())
        list.append({c.integer64(0), c.text(1)});
    return list;
}

int foldPending(Database &db, const Progress &progress)
{
    // Read in batches and write after each: the rows being read are the ones being written,
    // which a single pass over the pending index would not see reliably.
    constexpr int Batch = 20000;
    int filled = 0;
    qint64 total = 0;
    if (progress) {
        Cursor c = db.query(QStringLiteral("SELECT count(*) FROM X_meisai WHERE XM_norm IS NULL"));
        total = c.eof() ? 0 : c.integer64(0);
    }
    Statement update = prepare(db, QStringLiteral("UPDATE X_meisai SET XM_norm = ?1 WHERE rowid = ?2"));
    for (const TriggerRow &t : triggerRows) {
        const Source *source = nullptr;
        for (const Source &s : sources)
            if (qstrcmp(s.table, t.table) == 0)
                source = &s;
        const QString key = QString::fromUtf8(t.key);
        Statement read = prepare(db,
            QStringLiteral("SELECT x.rowid, %1 FROM X_meisai x LEFT JOIN %2 r ON r.rowid = x.XM_rowid"
                           " WHERE x.XM_table = '%3' AND x.XM_norm IS NULL LIMIT %4")
                .arg(QString::fromUtf8(source->fields), QString::fromUtf8(t.table), key)
                .arg(Batch));
        std::vector<std::pair<qint64, QByteArray>> batch;
        do {
            batch.clear();
            for (;;) {
                const int rc = sqlite3_step(read.get());
                if (rc == SQLITE_DONE)
                    break;
                if (rc != SQLITE_ROW)
                    throw DbError(QString::fromUtf8(sqlite3_errmsg(db.handle())), rc);
                const QString joined = columnText(read.get(), 1) + Separator + columnText(read.get(), 2);
                batch.emplace_back(sqlite3_column_int64(read.get(), 0), fold(joined).toUtf8());
            }
            sqlite3_reset(read.get());
            for (const auto &[rowid, folded] : batch) {
                sqlite3_bind_text(update.get(), 1, folded.constData(), int(folded.size()), SQLITE_STATIC);
                sqlite3_bind_int64(update.get(), 2, rowid);
                const int u = sqlite3_step(update.get());
                sqlite3_reset(update.get());
                if (u != SQLITE_DONE)
                    throw DbError(QString::fromUtf8(sqlite3_errmsg(db.handle())), u);
                ++filled;
            }
            if (progress && !batch.empty())
                progress(filled, total);
        } while (int(batch.size()) == Batch);
    }
    return filled;
}

bool exists(Database &db)
{
    Cursor c
        = db.query(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'X_meisai'"));
    return !c.eof();
}

bool hasPending(Database &db)
{
    Cursor c = db.query(QStringLiteral("SELECT 1 FROM X_meisai WHERE XM_norm IS NULL LIMIT 1"));
    return !c.eof();
}

} // namespace SearchText
