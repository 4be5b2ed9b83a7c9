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

// The source of each table's searchable fields.
struct Source
{
    const char *table;
    const char *fields; // selected after the row id
};

const Source sources[] = {
    {"N", "N_index, N_hokan, N_memo"},
    {"S", "S_index, S_hokan, S_memo"},
    {"Idourireki_T", "I_hokanmoto, I_hokansaki, I_memo"},
    {"Ktanaorosi_T", "K_hokan, K_riyuu, ''"},
};

// What a trigger writes for a row of each table: table key, kind, date, amount, the places and
// the item. A debit is the S row the debit run writes with its fixed memo.
struct TriggerRow
{
    const char *table;
    const char *key;
    const char *values; // in terms of the row "r."
};

const TriggerRow triggerRows[] = {
    {"N", "N", "'N', r.N_date, r.N_money, r.N_hokan, NULL, r.N_index"},
    {"S", "S",
        "CASE WHEN r.S_memo = '自動引落処理' THEN 'Z' ELSE 'S' END, r.S_date, r.S_money, r.S_hokan, NULL, "
        "r.S_index"},
    {"Idourireki_T", "I", "'I', r.I_day, r.I_money, r.I_hokanmoto, r.I_hokansaki, NULL"},
    {"Ktanaorosi_T", "K", "'K', r.K_day, r.K_amoney - r.K_bmoney, r.K_hokan, NULL, NULL"},
};

QString rowValues(const TriggerRow &t, const QString &row)
{
    return QString::fromUtf8(t.values).replace(QStringLiteral("r."), row + u'.');
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
            for (const char *when : {"ins", "upd", "del"})
                list << QStringLiteral("DROP TRIGGER IF EXISTS X_meisai_%1_%2")
                            .arg(table, QLatin1String(when));
        list << QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_%1_ins AFTER INSERT ON %1 BEGIN %2 END")
                    .arg(table, insert)
             << QStringLiteral(
                    "CREATE TRIGGER IF NOT EXISTS X_meisai_%1_upd AFTER UPDATE ON %1 BEGIN %2 %3 END")
                    .arg(table, remove, insert)
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
    list << triggerStatements(false);
    for (const TriggerRow &t : triggerRows)
        list << QStringLiteral("INSERT OR IGNORE INTO X_meisai SELECT '%1', r.rowid, %2, NULL FROM %3 r")
                    .arg(QString::fromUtf8(t.key), rowValues(t, QStringLiteral("r")),
                        QString::fromUtf8(t.table));
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
                const QString joined = columnText(read.get(), 1) + Separator + columnText(read.get(), 2)
                    + Separator + columnText(read.get(), 3);
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
