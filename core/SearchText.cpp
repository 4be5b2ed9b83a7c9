// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchText.h"

#include "Database.h"

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
// are kept apart in XM_hokan and XM_hokan2 and matched by their names (see PostingSearch), so
// that renaming a place rewrites two columns of its rows and neither the text nor its index.
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

// What a trigger writes for a row of each table: table key, kind, date, amount, the places and
// the item. A debit is the S row the debit run writes with its fixed memo. `columns` are those
// whose change writes the row again (with the row id, which taking back may set); `places` sets
// the places alone when only they change.
struct TriggerRow
{
    const char *table;
    const char *key;
    const char *values; // in terms of the row "r."
    const char *columns;
    const char *placeColumns;
    const char *places; // in terms of the row "r."
};

const TriggerRow triggerRows[] = {
    {"N", "N", "'N', r.N_date, r.N_money, r.N_hokan, NULL, r.N_index", "N_date, N_money, N_index, N_memo",
        "N_hokan", "XM_hokan = r.N_hokan"},
    {"S", "S",
        "CASE WHEN r.S_memo = '自動引落処理' THEN 'Z' ELSE 'S' END, r.S_date, r.S_money, r.S_hokan, NULL, "
        "r.S_index",
        "S_date, S_money, S_index, S_memo", "S_hokan", "XM_hokan = r.S_hokan"},
    {"Idourireki_T", "I", "'I', r.I_day, r.I_money, r.I_hokanmoto, r.I_hokansaki, NULL",
        "I_day, I_money, I_memo", "I_hokanmoto, I_hokansaki",
        "XM_hokan = r.I_hokanmoto, XM_hokan2 = r.I_hokansaki"},
    {"Ktanaorosi_T", "K", "'K', r.K_day, r.K_amoney - r.K_bmoney, r.K_hokan, NULL, NULL",
        "K_day, K_amoney, K_bmoney, K_riyuu", "K_hokan", "XM_hokan = r.K_hokan"},
};

QString inTermsOf(const char *text, const QString &row)
{
    return QString::fromUtf8(text).replace(QStringLiteral("r."), row + u'.');
}

QString rowValues(const TriggerRow &t, const QString &row)
{
    return inTermsOf(t.values, row);
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

QStringList triggerStatements(bool replace)
{
    QStringList list;
    for (const TriggerRow &t : triggerRows) {
        const QString table = QString::fromUtf8(t.table);
        const QString key = QString::fromUtf8(t.key);
        // A row of the same key is deleted first rather than replaced: a replaced row leaves no
        // trace for the triggers on X_meisai itself (see SearchIndex).
        const QString removeNew
            = QStringLiteral("DELETE FROM X_meisai WHERE XM_table = '%1' AND XM_rowid = new.rowid;").arg(key);
        const QString insert = removeNew
            + QStringLiteral(" INSERT INTO X_meisai VALUES ('%1', new.rowid, %2, NULL);")
                  .arg(key, rowValues(t, QStringLiteral("new")));
        const QString remove
            = QStringLiteral("DELETE FROM X_meisai WHERE XM_table = '%1' AND XM_rowid = old.rowid;").arg(key);
        if (replace)
            for (const char *when : {"ins", "upd", "del", "place"})
                list << QStringLiteral("DROP TRIGGER IF EXISTS X_meisai_%1_%2")
                            .arg(table, QLatin1String(when));
        // A change of the places alone (a rename) sets them in the row as it is; any other
        // change writes the row again. When both change, both fire and agree.
        QStringList placeChanged;
        for (const QString &c : QString::fromUtf8(t.placeColumns).split(QStringLiteral(", ")))
            placeChanged << QStringLiteral("old.%1 IS NOT new.%1").arg(c);
        list << QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_%1_ins AFTER INSERT ON %1 BEGIN %2 END")
                    .arg(table, insert)
             << QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_%1_upd AFTER UPDATE OF rowid, %2 ON %1"
                               " BEGIN %3 %4 END")
                    .arg(table, QString::fromUtf8(t.columns), remove, insert)
             << QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_%1_place AFTER UPDATE OF %2 ON %1"
                               " WHEN %3 BEGIN UPDATE X_meisai SET %4 WHERE XM_table = '%5'"
                               " AND XM_rowid = new.rowid; END")
                    .arg(table, QString::fromUtf8(t.placeColumns), placeChanged.join(QStringLiteral(" OR ")),
                        inTermsOf(t.places, QStringLiteral("new")), key)
             << QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_%1_del AFTER DELETE ON %1 BEGIN %2 END")
                    .arg(table, remove);
    }
    return list;
}

QStringList createStatements()
{
    QStringList list;
    list << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS X_meisai ("
        " XM_table TEXT NOT NULL, XM_rowid INTEGER NOT NULL, XM_kind TEXT, XM_date INTEGER,"
        " XM_money INTEGER, XM_hokan TEXT, XM_hokan2 TEXT, XM_item TEXT, XM_norm TEXT,"
        " PRIMARY KEY (XM_table, XM_rowid))")
         << QStringLiteral("CREATE INDEX IF NOT EXISTS X_meisai_date ON X_meisai (XM_date)")
         << QStringLiteral("CREATE INDEX IF NOT EXISTS X_meisai_money ON X_meisai (XM_money)")
         << QStringLiteral(
                "CREATE INDEX IF NOT EXISTS X_meisai_pending ON X_meisai (XM_table) WHERE XM_norm IS NULL");
    list << placeIndexStatements() << triggerStatements(false);
    for (const TriggerRow &t : triggerRows)
        list << QStringLiteral("INSERT OR IGNORE INTO X_meisai SELECT '%1', r.rowid, %2, NULL FROM %3 r")
                    .arg(QString::fromUtf8(t.key), rowValues(t, QStringLiteral("r")),
                        QString::fromUtf8(t.table));
    return list;
}

QStringList placeIndexStatements()
{
    // The first holds what a search counts and totals, so the rows of a place are counted from
    // the index alone.
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS X_meisai_place"
                           " ON X_meisai (XM_hokan, XM_date, XM_kind, XM_money)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS X_meisai_place2 ON X_meisai (XM_hokan2)"
                       " WHERE XM_hokan2 IS NOT NULL")};
}

QStringList refoldStatements()
{
    return triggerStatements(true) + placeIndexStatements()
        + QStringList {QStringLiteral("UPDATE X_meisai SET XM_norm = NULL")};
}

QStringList placesHeld(Database &db)
{
    // From one name to the next through the places' indexes: a step per name, not per row.
    QStringList names;
    for (const char *column : {"XM_hokan", "XM_hokan2"}) {
        const QString c = QLatin1String(column);
        Statement first
            = prepare(db, QStringLiteral("SELECT min(%1) FROM X_meisai WHERE %1 IS NOT NULL").arg(c));
        Statement next = prepare(db, QStringLiteral("SELECT min(%1) FROM X_meisai WHERE %1 > ?1").arg(c));
        sqlite3_value *last = nullptr;
        for (sqlite3_stmt *s = first.get();;) {
            if (sqlite3_step(s) != SQLITE_ROW || sqlite3_column_type(s, 0) == SQLITE_NULL)
                break;
            names << columnText(s, 0);
            sqlite3_value *value = sqlite3_value_dup(sqlite3_column_value(s, 0));
            sqlite3_reset(s);
            sqlite3_value_free(last);
            last = value;
            s = next.get();
            sqlite3_bind_value(s, 1, last);
        }
        sqlite3_value_free(last);
    }
    names.removeDuplicates();
    return names;
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
    Statement update = prepare(
        db, QStringLiteral("UPDATE X_meisai SET XM_norm = ?1 WHERE XM_table = ?2 AND XM_rowid = ?3"));
    for (const TriggerRow &t : triggerRows) {
        const Source *source = nullptr;
        for (const Source &s : sources)
            if (qstrcmp(s.table, t.table) == 0)
                source = &s;
        const QString key = QString::fromUtf8(t.key);
        const QByteArray keyUtf8 = key.toUtf8();
        Statement read = prepare(db,
            QStringLiteral("SELECT x.XM_rowid, %1 FROM X_meisai x LEFT JOIN %2 r ON r.rowid = x.XM_rowid"
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
                sqlite3_bind_text(update.get(), 2, keyUtf8.constData(), int(keyUtf8.size()), SQLITE_STATIC);
                sqlite3_bind_int64(update.get(), 3, rowid);
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
