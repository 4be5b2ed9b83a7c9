// SPDX-License-Identifier: GPL-3.0-or-later
#include "PostingSearch.h"

#include "Database.h"
#include "PreparedStatements.h"
#include "SearchIndex.h"
#include "SearchText.h"

#include <QStringList>
#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace PostingSearch {

namespace {

// The values of a search's statements, bound by number (?1, ?2, ...): a condition is built once
// and stands in several statements.
class Values
{
public:
    // The mark that stands for `value` in a statement.
    QString add(const QVariant &value)
    {
        m_values << value;
        return u'?' + QString::number(m_values.size());
    }

    // Binds the values up to the highest mark `statement` holds. A mark may stand more than once
    // in a statement: a condition can be part of two of its clauses.
    void bind(sqlite3_stmt *statement) const
    {
        const int marks = std::min<int>(sqlite3_bind_parameter_count(statement), int(m_values.size()));
        for (int i = 0; i < marks; ++i)
            PreparedStatements::bind(statement, i + 1, m_values.at(i));
    }

private:
    QVariantList m_values;
};

// The items of one master whose folded category holds the word, as marks of `values`.
QStringList itemsInCategory(
    Database &db, Values &values, const QString &master, const QString &prefix, const QString &word)
{
    QStringList items;
    Cursor c = db.query(QStringLiteral("SELECT %1_index, %1_kubun FROM %2").arg(prefix, master));
    for (; !c.eof(); c.next())
        if (SearchText::fold(c.text(1)).contains(word))
            items << values.add(c.text(0));
    return items;
}

// The rows of X_meisai of the postings of the listed items (marks), found through the history
// tables' item index.
QString rowsOfItems(const QString &table, const QStringList &items)
{
    return QStringLiteral("SELECT %1 FROM %2 r WHERE r.%2_index IN (%3)")
        .arg(SearchText::rowidOf(table.at(0), QStringLiteral("r.rowid")), table, items.join(u','));
}

struct Where
{
    QString sql;
    // The conditions without the narrowing word's, which every row of its places meets.
    QString ofPlaces;
    // The rows are narrowed by a word through the indexes: the rows of `places` (numbers) through
    // the index of the places, and the rows `others` selects (row ids) besides them.
    bool byIndex = false;
    QStringList places;
    QString others;
    // What the conditions' marks stand for.
    Values values;

    // No row at all.
    static Where none()
    {
        Where w;
        w.sql = QStringLiteral("0");
        return w;
    }

    // The rows the narrowing word picks, as a condition.
    QString narrowed() const
    {
        QStringList sources;
        if (!places.isEmpty())
            sources
                << QStringLiteral("SELECT rowid FROM X_meisai WHERE XM_place IN (%1)").arg(places.join(u','));
        if (!others.isEmpty())
            sources << others;
        return QStringLiteral("rowid IN (%1)").arg(sources.join(QStringLiteral(" UNION ALL ")));
    }
};

Where whereClause(Database &db, const Conditions &cond)
{
    Where out;
    Values &values = out.values;
    QStringList where;
    QStringList kinds;
    for (QChar k : {u'N', u'S', u'Z', u'I', u'K'})
        if (cond.kinds.contains(k))
            kinds << u'\'' + k + u'\'';
    if (kinds.isEmpty())
        return Where::none();
    if (kinds.size() < 5)
        where << QStringLiteral("XM_kind IN (%1)").arg(kinds.join(u','));
    if (cond.from)
        where << QStringLiteral("XM_date >= ") + values.add(qint64(*cond.from));
    if (cond.to)
        where << QStringLiteral("XM_date <= ") + values.add(qint64(*cond.to));
    if (cond.min)
        where << QStringLiteral("XM_money >= ") + values.add(qint64(*cond.min));
    if (cond.max)
        where << QStringLiteral("XM_money <= ") + values.add(qint64(*cond.max));
    if (!cond.hokan.isEmpty())
        where << QStringLiteral("(XM_place = %1 OR XM_place2 = %1)")
                     .arg(QStringLiteral("(SELECT XH_id FROM X_meisai_hokan WHERE XH_name = %1)")
                              .arg(values.add(cond.hokan)));
    struct Word
    {
        QString word;
        QStringList income, expense, places;
        QString test;
    };
    QList<Word> words;
    const QStringList typed = SearchText::words(cond.words);
    QList<std::pair<qint64, QString>> places; // each place held, by number, folded
    if (!typed.isEmpty())
        for (const auto &[number, name] : SearchText::places(db))
            places.append({number, SearchText::fold(name)});
    for (const QString &word : typed) {
        Word w {word, itemsInCategory(db, values, QStringLiteral("Nyuukin_T"), QStringLiteral("N"), word),
            itemsInCategory(db, values, QStringLiteral("Syukkin_T"), QStringLiteral("S"), word), {}, {}};
        for (const auto &[number, folded] : std::as_const(places))
            if (folded.contains(word))
                w.places << QString::number(number);
        // The places first: a row a place's index picks is then taken without reading it.
        QStringList tests;
        if (!w.places.isEmpty())
            tests << QStringLiteral("XM_place IN (%1) OR XM_place2 IN (%1)").arg(w.places.join(u','));
        tests << QStringLiteral("instr(XM_norm, %1) > 0").arg(values.add(word));
        if (!w.income.isEmpty())
            tests << QStringLiteral("(XM_table = 'N' AND XM_item IN (%1))").arg(w.income.join(u','));
        if (!w.expense.isEmpty())
            tests << QStringLiteral("(XM_table = 'S' AND XM_item IN (%1))").arg(w.expense.join(u','));
        w.test = u'(' + tests.join(QStringLiteral(" OR ")) + u')';
        where << w.test;
        words << w;
    }
    // Every word is tested above; one of them, the longest the index can narrow, also picks the
    // few rows to test: those the index finds for it, those of its places and those of its
    // categories' items. A word held in the text of a third of the rows or more is quicker found
    // by reading every row (the four tables' highest row ids stand for the number of rows).
    if (!words.isEmpty() && SearchIndex::exists(db)) {
        std::stable_sort(words.begin(), words.end(), [](const Word &a, const Word &b) {
            return SearchIndex::length(a.word) > SearchIndex::length(b.word);
        });
        std::optional<qint64> total;
        for (const Word &w : std::as_const(words)) {
            const std::optional<SearchIndex::Match> match = SearchIndex::match(db, w.word);
            if (!match)
                continue;
            if (match->rows > 0) {
                if (!total) {
                    Cursor c
                        = db.query(QStringLiteral("SELECT (SELECT coalesce(max(rowid), 0) FROM N)"
                                                  " + (SELECT coalesce(max(rowid), 0) FROM S)"
                                                  " + (SELECT coalesce(max(rowid), 0) FROM Idourireki_T)"
                                                  " + (SELECT coalesce(max(rowid), 0) FROM Ktanaorosi_T)"));
                    total = c.eof() ? 0 : c.integer64(0);
                }
                if (match->rows * 3 >= *total)
                    continue;
            }
            QStringList sources;
            if (!match->expression.isEmpty())
                sources << QStringLiteral("SELECT rowid FROM X_meisai_fts WHERE X_meisai_fts MATCH %1")
                               .arg(values.add(match->expression));
            if (!w.places.isEmpty())
                sources << QStringLiteral("SELECT rowid FROM X_meisai WHERE XM_place2 IN (%1)")
                               .arg(w.places.join(u','));
            if (!w.income.isEmpty())
                sources << rowsOfItems(QStringLiteral("N"), w.income);
            if (!w.expense.isEmpty())
                sources << rowsOfItems(QStringLiteral("S"), w.expense);
            if (sources.isEmpty() && w.places.isEmpty())
                return Where::none();
            out.places = w.places;
            out.others = sources.join(QStringLiteral(" UNION ALL "));
            out.byIndex = true;
            where.removeOne(w.test);
            out.ofPlaces = where.isEmpty() ? QStringLiteral("1") : where.join(QStringLiteral(" AND "));
            where << w.test;
            break;
        }
    }
    out.sql = where.isEmpty() ? QStringLiteral("1") : where.join(QStringLiteral(" AND "));
    return out;
}

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

Statement prepare(Database &db, const QString &sql)
{
    db.announce(sql);
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const int prepared = sqlite3_prepare_v2(db.handle(), text.constData(), int(text.size()), &raw, nullptr);
    Statement statement(raw, &sqlite3_finalize);
    if (prepared != SQLITE_OK)
        throw DbError(sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db.handle())), prepared);
    return statement;
}

void finished(Database &db, int rc, const QString &sql)
{
    if (rc != SQLITE_DONE)
        throw DbError(sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db.handle())), rc);
}

// A statement of the search prepared with the values its marks stand for, stepped to its first
// row; throws when it fails.
struct Rows
{
    Rows(Database &db, const Values &values, const QString &sql)
        : m_db(db)
        , m_sql(sql)
        , m_statement(prepare(db, sql))
    {
        values.bind(m_statement.get());
        next();
    }
    bool eof() const { return m_rc != SQLITE_ROW; }
    void next()
    {
        m_rc = sqlite3_step(m_statement.get());
        if (m_rc != SQLITE_ROW)
            finished(m_db, m_rc, m_sql);
    }
    qint64 integer64(int column) const { return sqlite3_column_int64(m_statement.get(), column); }
    QString text(int column) const
    {
        return QString::fromUtf8(
            reinterpret_cast<const char *>(sqlite3_column_text(m_statement.get(), column)),
            sqlite3_column_bytes(m_statement.get(), column));
    }

private:
    Database &m_db;
    QString m_sql;
    Statement m_statement;
    int m_rc = SQLITE_DONE;
};

// The hits the indexes picked, counted and totalled in one pass, which also picks the row ids of
// the `limit` newest (in the list's order). The rows of the narrowing word's places are read
// from the index of the places alone, the rest by their row ids. nullopt when some date is not a
// whole number: the engine's order of such values is left to the engine.
std::optional<QList<qint64>> tally(Database &db, const Where &w, int limit, Result &result)
{
    struct Key
    {
        qint64 date;
        qint64 rowid;
        bool ofPlace = false;
        char table = 0;
        qint64 tableRow = 0;
    };
    std::vector<Key> keys;
    bool ordered = true;
    // Rows read one by one, their keys kept: counted and totalled, with their table and row, when
    // `tallied` (the rows besides those of the places).
    const auto read = [&](const QString &sql, bool tallied) {
        const Statement statement = prepare(db, sql);
        sqlite3_stmt *raw = statement.get();
        w.values.bind(raw);
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
            if (tallied) {
                const auto *kind = reinterpret_cast<const char *>(sqlite3_column_text(raw, 2));
                const qint64 money = sqlite3_column_int64(raw, 3);
                ++result.count;
                if (kind && qstrcmp(kind, "N") == 0)
                    result.income += money;
                else if (kind && (qstrcmp(kind, "S") == 0 || qstrcmp(kind, "Z") == 0))
                    result.expense += money;
            }
            ordered = ordered && sqlite3_column_type(raw, 1) == SQLITE_INTEGER;
            Key key {sqlite3_column_int64(raw, 1), sqlite3_column_int64(raw, 0), !tallied};
            if (tallied) {
                const auto *table = reinterpret_cast<const char *>(sqlite3_column_text(raw, 4));
                key.table = table ? table[0] : '\0';
                key.tableRow = sqlite3_column_int64(raw, 5);
            }
            keys.push_back(key);
        }
        finished(db, rc, sql);
    };
    const QString places = w.places.join(u',');
    const QString ofPlaces
        = QStringLiteral(" FROM X_meisai WHERE XM_place IN (%1) AND %2").arg(places, w.ofPlaces);
    if (!w.places.isEmpty()) {
        // The rows of the places are counted and totalled by the engine from the places' index,
        // and only the newest of each place are read.
        const QString sql
            = QStringLiteral("SELECT count(*), coalesce(sum(CASE WHEN XM_kind = 'N'"
                             " THEN CAST(XM_money AS INTEGER) END), 0),"
                             " coalesce(sum(CASE WHEN XM_kind IN ('S', 'Z')"
                             " THEN CAST(XM_money AS INTEGER) END), 0),"
                             " count(*) - count(CASE WHEN typeof(XM_date) = 'integer' THEN 1 END)")
            + ofPlaces;
        Rows c(db, w.values, sql);
        result.count += c.integer64(0);
        result.income += c.integer64(1);
        result.expense += c.integer64(2);
        if (c.integer64(3) > 0)
            return std::nullopt;
        if (limit > 0)
            for (const QString &place : w.places)
                read(QStringLiteral("SELECT rowid, XM_date FROM X_meisai WHERE XM_place = %1 AND %2"
                                    " ORDER BY XM_date DESC LIMIT %3")
                         .arg(place, w.ofPlaces)
                         .arg(limit),
                    false);
    }
    if (!w.others.isEmpty())
        read(QStringLiteral("SELECT rowid, XM_date, XM_kind, XM_money, XM_table, XM_rowid FROM X_meisai"
                            " WHERE rowid IN (%1) AND %2%3")
                 .arg(w.others, w.sql,
                     places.isEmpty() ? QString()
                                      : QStringLiteral(" AND coalesce(XM_place IN (%1), 0) = 0").arg(places)),
            true);
    if (!ordered)
        return std::nullopt;
    // Those up to the date of the limit's newest, ties at that date included, are told apart by
    // their table and row. The newest of each place hold every row of the places newer than that
    // date, not every row at it: those are read anew.
    auto candidates = keys.end();
    if (limit == 0) {
        candidates = keys.begin();
    } else if (keys.size() >= size_t(limit)) {
        const auto nth = keys.begin() + (limit - 1);
        std::nth_element(
            keys.begin(), nth, keys.end(), [](const Key &a, const Key &b) { return a.date > b.date; });
        const qint64 last = nth->date;
        keys.erase(std::remove_if(keys.begin(), keys.end(),
                       [&](const Key &k) { return k.date < last || (k.date == last && k.ofPlace); }),
            keys.end());
        if (!w.places.isEmpty())
            read(QStringLiteral("SELECT rowid, XM_date") + ofPlaces
                    + QStringLiteral(" AND XM_date = %1").arg(last),
                false);
        candidates = keys.end();
    }
    // Those of the places, read from their index, have their table and row read now.
    const auto unknown = std::partition(keys.begin(), candidates, [](const Key &k) { return !k.ofPlace; });
    if (unknown != candidates) {
        QByteArray list = "[";
        for (auto k = unknown; k != candidates; ++k) {
            if (list.size() > 1)
                list.append(',');
            list.append(QByteArray::number(k->rowid));
        }
        list.append(']');
        const QString sql = QStringLiteral("SELECT x.XM_table, x.XM_rowid FROM json_each(?1) j"
                                           " LEFT JOIN X_meisai x ON x.rowid = j.value ORDER BY j.id");
        const Statement statement = prepare(db, sql);
        sqlite3_bind_text(statement.get(), 1, list.constData(), int(list.size()), SQLITE_STATIC);
        int rc;
        for (auto k = unknown; (rc = sqlite3_step(statement.get())) == SQLITE_ROW && k != candidates; ++k) {
            const auto *table = reinterpret_cast<const char *>(sqlite3_column_text(statement.get(), 0));
            k->table = table ? table[0] : '\0';
            k->tableRow = sqlite3_column_int64(statement.get(), 1);
        }
        if (rc != SQLITE_ROW)
            finished(db, rc, sql);
    }
    const auto newer = [](const Key &a, const Key &b) {
        if (a.date != b.date)
            return a.date > b.date;
        if (a.table != b.table)
            return a.table < b.table;
        return a.tableRow > b.tableRow;
    };
    const auto picked = keys.begin() + std::min<qsizetype>(limit, candidates - keys.begin());
    std::partial_sort(keys.begin(), picked, candidates, newer);
    QList<qint64> rowids;
    rowids.reserve(picked - keys.begin());
    for (auto k = keys.begin(); k != picked; ++k)
        rowids << k->rowid;
    return rowids;
}

} // namespace

QString kindName(QChar kind)
{
    switch (kind.unicode()) {
    case u'N':
        return QStringLiteral("収入");
    case u'S':
        return QStringLiteral("支出");
    case u'Z':
        return QStringLiteral("自動引落");
    case u'I':
        return QStringLiteral("移動");
    case u'K':
        return QStringLiteral("棚卸");
    default:
        return QString();
    }
}

Result search(const QString &dbPath, const Conditions &conditions, int limit)
{
    Database db(dbPath);
    if (!SearchText::exists(db)) {
        Result none;
        none.noCopy = true;
        return none;
    }
    if (SearchText::hasPending(db)) {
        db.beginWrite();
        SearchText::foldPending(db);
        db.commit();
    }
    return search(db, conditions, limit);
}

Result search(Database &db, const Conditions &conditions, int limit)
{
    Result result;
    const Where w = whereClause(db, conditions);
    QString where = w.byIndex ? w.narrowed() + QStringLiteral(" AND ") + w.sql : w.sql;
    // With the indexes, the rows they picked are counted and the newest picked in one pass; the
    // list then reads only those.
    const std::optional<QList<qint64>> newest
        = w.byIndex && limit >= 0 ? tally(db, w, limit, result) : std::nullopt;
    if (newest) {
        QStringList ids;
        for (qint64 id : *newest)
            ids << QString::number(id);
        where = ids.isEmpty() ? QStringLiteral("0") : QStringLiteral("rowid IN (%1)").arg(ids.join(u','));
    } else {
        result = {};
        const QString sql
            = QStringLiteral("SELECT count(*) AS n,"
                             " coalesce(sum(CASE WHEN XM_kind = 'N' THEN XM_money END), 0) AS income,"
                             " coalesce(sum(CASE WHEN XM_kind IN ('S', 'Z') THEN XM_money END), 0)"
                             " AS expense FROM X_meisai WHERE %1")
                  .arg(where);
        Rows c(db, w.values, sql);
        if (!c.eof()) {
            result.count = c.integer64(0);
            result.income = c.integer64(1);
            result.expense = c.integer64(2);
        }
    }
    if (result.count == 0 || limit == 0)
        return result;
    // When every hit is listed, or the index has picked the rows, reading them where the
    // conditions find them and sorting is quicker than walking the date index through every row
    // ("+" keeps the index out of the order); with more hits than the limit among all rows, the
    // walk stops at the limit's newest.
    const QString order = w.byIndex || limit < 0 || result.count <= limit ? QStringLiteral("+") : QString();
    const QString list = QStringLiteral(
        "SELECT x.XM_table, x.XM_rowid, x.XM_kind, x.XM_date, x.XM_money,"
        " coalesce(n.N_index, s.S_index, '') AS item,"
        " coalesce((SELECT m.N_kubun FROM Nyuukin_T m WHERE m.N_index = n.N_index LIMIT 1),"
        " (SELECT m.S_kubun FROM Syukkin_T m WHERE m.S_index = s.S_index LIMIT 1), '') AS kubun,"
        " CASE x.XM_table WHEN 'I' THEN i.I_hokanmoto || '→' || i.I_hokansaki"
        " ELSE coalesce(n.N_hokan, s.S_hokan, k.K_hokan) END AS place,"
        " coalesce(n.N_memo, s.S_memo, i.I_memo, k.K_riyuu, '') AS memo"
        " FROM (SELECT * FROM X_meisai WHERE %1 ORDER BY %3XM_date DESC, XM_table, XM_rowid DESC LIMIT %2) x"
        " LEFT JOIN N n ON x.XM_table = 'N' AND n.rowid = x.XM_rowid"
        " LEFT JOIN S s ON x.XM_table = 'S' AND s.rowid = x.XM_rowid"
        " LEFT JOIN Idourireki_T i ON x.XM_table = 'I' AND i.rowid = x.XM_rowid"
        " LEFT JOIN Ktanaorosi_T k ON x.XM_table = 'K' AND k.rowid = x.XM_rowid"
        " ORDER BY x.XM_date DESC, x.XM_table, x.XM_rowid DESC")
                             .arg(where, QString::number(limit), order);
    for (Rows c(db, w.values, list); !c.eof(); c.next()) {
        Hit h;
        h.table = c.text(0);
        h.rowid = c.integer64(1);
        const QString kind = c.text(2);
        h.kind = kind.isEmpty() ? QChar() : kind.at(0);
        h.date = int(c.integer64(3));
        h.money = c.integer64(4);
        h.item = c.text(5);
        h.kubun = c.text(6);
        h.place = c.text(7);
        h.memo = c.text(8);
        result.hits << h;
    }
    return result;
}

} // namespace PostingSearch
