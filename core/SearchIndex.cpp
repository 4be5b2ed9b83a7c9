// SPDX-License-Identifier: GPL-3.0-or-later
#include "SearchIndex.h"

#include "Database.h"

#include <sqlite3.h>

namespace SearchIndex {

namespace {

// A two-character word followed by more different characters than this is searched without
// the index: the query would grow long and gain little.
constexpr int MaxFollowers = 400;

QString quoted(const QString &text)
{
    return u'\'' + Database::escape(text) + u'\'';
}

// One trigram as a term of a full-text query: in double quotes, a double quote doubled.
QString term(const QString &trigram)
{
    QString t = trigram;
    return u'"' + t.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

QStringList createStatements()
{
    return {
        QStringLiteral("DROP TABLE IF EXISTS X_meisai_terms"),
        QStringLiteral("DROP TABLE IF EXISTS X_meisai_fts"),
        // Contentless: X_meisai holds the text. Case is folded already; detail=none keeps only
        // which rows hold a trigram, all that a lookup of trigrams joined by AND needs.
        QStringLiteral("CREATE VIRTUAL TABLE X_meisai_fts USING fts5(XM_norm, content='',"
                       " tokenize='trigram case_sensitive 1', detail=none, columnsize=0)"),
        // The trigrams themselves, for the ones that begin with a two-character word.
        QStringLiteral("CREATE VIRTUAL TABLE X_meisai_terms USING fts5vocab(X_meisai_fts, 'row')"),
        // A contentless index forgets a row only when told the very text it indexed, which the
        // triggers have in old.XM_norm. Rows still waiting for their folded text are not indexed.
        QStringLiteral(
            "CREATE TRIGGER IF NOT EXISTS X_meisai_fts_ins AFTER INSERT ON X_meisai"
            " WHEN new.XM_norm IS NOT NULL BEGIN"
            " INSERT INTO X_meisai_fts (rowid, XM_norm) VALUES (new.rowid, new.XM_norm || char(31));"
            " END"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_fts_del AFTER DELETE ON X_meisai"
                       " WHEN old.XM_norm IS NOT NULL BEGIN"
                       " INSERT INTO X_meisai_fts (X_meisai_fts, rowid, XM_norm)"
                       " VALUES ('delete', old.rowid, old.XM_norm || char(31));"
                       " END"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS X_meisai_fts_upd AFTER UPDATE ON X_meisai"
                       " WHEN old.XM_norm IS NOT new.XM_norm OR old.rowid IS NOT new.rowid BEGIN"
                       " INSERT INTO X_meisai_fts (X_meisai_fts, rowid, XM_norm)"
                       " SELECT 'delete', old.rowid, old.XM_norm || char(31) WHERE old.XM_norm IS NOT NULL;"
                       " INSERT INTO X_meisai_fts (rowid, XM_norm)"
                       " SELECT new.rowid, new.XM_norm || char(31) WHERE new.XM_norm IS NOT NULL;"
                       " END"),
    };
}

QStringList dropStatements()
{
    QStringList list;
    for (const char *when : {"ins", "del", "upd"})
        list << QStringLiteral("DROP TRIGGER IF EXISTS X_meisai_fts_%1").arg(QLatin1String(when));
    list << QStringLiteral("DROP TABLE IF EXISTS X_meisai_terms")
         << QStringLiteral("DROP TABLE IF EXISTS X_meisai_fts");
    return list;
}

qint64 build(Database &db, const Progress &progress)
{
    // In spans of row ids (the copy's row ids interleave the four tables; any may be negative).
    constexpr qint64 Span = 80000;
    qint64 first = 0, last = 0;
    {
        Cursor c = db.query(
            QStringLiteral("SELECT coalesce(min(rowid), 1) - 1, coalesce(max(rowid), 0) FROM X_meisai"));
        if (!c.eof()) {
            first = c.integer64(0);
            last = c.integer64(1);
        }
    }
    qint64 indexed = 0;
    for (qint64 from = first; from < last; from += Span) {
        const qint64 to = qMin(from + Span, last);
        db.execute(QStringLiteral("INSERT INTO X_meisai_fts (rowid, XM_norm)"
                                  " SELECT rowid, XM_norm || char(31) FROM X_meisai"
                                  " WHERE rowid > %1 AND rowid <= %2 AND XM_norm IS NOT NULL")
                       .arg(from)
                       .arg(to));
        indexed += sqlite3_changes64(db.handle());
        if (progress)
            progress(to - first, last - first);
    }
    return indexed;
}

bool exists(Database &db)
{
    Cursor c
        = db.query(QStringLiteral("SELECT count(*) FROM sqlite_master"
                                  " WHERE type = 'table' AND name IN ('X_meisai_fts', 'X_meisai_terms')"));
    return !c.eof() && c.integer(0) == 2;
}

int length(const QString &word)
{
    return int(word.toUcs4().size());
}

std::optional<Match> match(Database &db, const QString &word)
{
    const QList<uint> chars = word.toUcs4();
    const auto slice = [&](qsizetype from, qsizetype n) {
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + from), n);
    };
    if (chars.size() >= 3) {
        // Trigrams that together cover the word; the caller tests the text for the whole word.
        QStringList terms;
        for (qsizetype i = 0; i + 3 <= chars.size(); i += 3)
            terms << term(slice(i, 3));
        if (chars.size() % 3 != 0)
            terms << term(slice(chars.size() - 3, 3));
        return Match {terms.join(QStringLiteral(" AND ")), -1};
    }
    if (chars.size() != 2)
        return std::nullopt;
    // Every occurrence is followed by a character (the separator at the end of the text at
    // least), so the trigrams that begin with the word find every row that holds it.
    Cursor c = db.query(QStringLiteral("SELECT term, doc FROM X_meisai_terms WHERE term >= %1 AND term <= %2")
                            .arg(quoted(word), quoted(word + QString::fromUcs4(U"\U0010FFFF", 1))));
    QStringList terms;
    qint64 rows = 0;
    for (; !c.eof(); c.next()) {
        const QString t = c.text(0);
        if (!t.startsWith(word))
            continue;
        if (terms.size() == MaxFollowers)
            return std::nullopt;
        terms << term(t);
        rows += c.integer64(1);
    }
    // Empty when no trigram begins with it: no row holds it.
    return Match {terms.join(QStringLiteral(" OR ")), rows};
}

} // namespace SearchIndex
