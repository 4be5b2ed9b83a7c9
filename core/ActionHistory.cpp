// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionHistory.h"

#include "ChangeRecorder.h"
#include "Database.h"
#include "SearchText.h"

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <sqlite3.h>

namespace ActionHistory {

namespace {

const QString TimeFormat = QStringLiteral("yyyy/MM/dd hh:mm:ss");

// A statement on the engine's handle, finalized when it goes.
using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)>;

QString quotedName(const QString &name)
{
    QString n = name;
    return u'"' + n.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString valueText(const StoredValue &v)
{
    switch (v.type) {
    case StoredValue::Integer:
        return QString::number(v.integer);
    case StoredValue::Real:
        return QString::number(v.real);
    case StoredValue::Text:
    case StoredValue::Blob:
        return QString::fromUtf8(v.bytes);
    default:
        return QString();
    }
}

// A row as a person knows it: the master's name, or a history row's day, names and amount.
QString rowName(const QString &table, const std::vector<StoredValue> &v, qint64 rowid)
{
    const auto at = [&](size_t i) { return i < v.size() ? valueText(v[i]) : QString(); };
    const auto yen = [&](size_t i) { return QStringLiteral("\\") + at(i); };
    const auto named = [&](const char *what, size_t i) {
        return QString::fromUtf8(what) + QStringLiteral("「") + at(i) + QStringLiteral("」");
    };
    const auto listed = [&](const char *what, const QStringList &parts) {
        return QString::fromUtf8(what) + QStringLiteral("「") + parts.join(u' ') + QStringLiteral("」");
    };
    if (table == u"Hokan_T")
        return named("保管場所", 1);
    if (table == u"Kubun_T")
        return named("入出金区分", 1);
    if (table == u"Nyuukin_T")
        return named("収入項目", 1);
    if (table == u"Syukkin_T")
        return named("支出項目", 1);
    if (table == u"N")
        return listed("収入", {at(3), at(1), at(0), yen(2)});
    if (table == u"S")
        return listed("支出", {at(3), at(1), at(0), yen(2)});
    if (table == u"Zidourireki_T")
        return listed("自動引落", {at(3), at(1), at(0), yen(2)});
    if (table == u"Idourireki_T")
        return listed("金額移動", {at(3), at(0) + QStringLiteral("→") + at(1), yen(2)});
    if (table == u"Ktanaorosi_T")
        return listed("金額棚卸", {at(4), at(0), yen(2)});
    return QStringLiteral("%1の%2番の行").arg(table).arg(rowid);
}

QString changedSince(const QString &row)
{
    return row + QStringLiteral("がこの操作の後で変更されているため取り消せません");
}

// The play-back of recorded changes on one connection, with what it learnt of each table.
class Player
{
public:
    explicit Player(Database &db)
        : m_db(db)
        , m_handle(db.handle())
    { }

    // Puts back one change; returns the refusal, or an empty text.
    QString undo(const RecordedChange &c)
    {
        const Table *t = table(c.table);
        if (!t)
            return QStringLiteral("%1がないため取り消せません").arg(c.table);
        switch (c.kind) {
        case RecordedChange::Insert:
            return undoInsert(*t, c);
        case RecordedChange::Delete:
            return undoDelete(*t, c);
        case RecordedChange::Update:
            return undoUpdate(*t, c);
        case RecordedChange::Run:
            return undoRun(*t, c);
        }
        return QString();
    }

    // The name of the column a run sets, or an empty text.
    QString columnOf(const RecordedChange &c)
    {
        const Table *t = table(c.table);
        return t && c.column >= 0 && c.column < t->columns.size() ? t->columns.at(c.column) : QString();
    }

private:
    struct Table
    {
        QString name;
        QStringList columns;
    };

    Statement prepare(const QString &sql)
    {
        m_db.announce(sql);
        sqlite3_stmt *s = nullptr;
        const QByteArray text = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(m_handle, text.constData(), int(text.size()), &s, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(s);
            throw DbError(sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_handle)), rc);
        }
        return Statement(s, &sqlite3_finalize);
    }

    // One step; true when it gave a row.
    bool step(sqlite3_stmt *s)
    {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw DbError(QString::fromUtf8(sqlite3_sql(s)) + QStringLiteral(": ")
                + QString::fromUtf8(sqlite3_errmsg(m_handle)),
            sqlite3_extended_errcode(m_handle));
    }

    static void bind(sqlite3_stmt *s, int i, const StoredValue &v)
    {
        switch (v.type) {
        case StoredValue::Integer:
            sqlite3_bind_int64(s, i, v.integer);
            break;
        case StoredValue::Real:
            sqlite3_bind_double(s, i, v.real);
            break;
        case StoredValue::Text:
            sqlite3_bind_text(s, i, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT);
            break;
        case StoredValue::Blob:
            sqlite3_bind_blob(s, i, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_null(s, i);
        }
    }

    static StoredValue columnValue(sqlite3_stmt *s, int i)
    {
        StoredValue v;
        switch (sqlite3_column_type(s, i)) {
        case SQLITE_INTEGER:
            v.type = StoredValue::Integer;
            v.integer = sqlite3_column_int64(s, i);
            break;
        case SQLITE_FLOAT:
            v.type = StoredValue::Real;
            v.real = sqlite3_column_double(s, i);
            break;
        case SQLITE_TEXT:
            v.type = StoredValue::Text;
            v.bytes = QByteArray(
                reinterpret_cast<const char *>(sqlite3_column_text(s, i)), sqlite3_column_bytes(s, i));
            break;
        case SQLITE_BLOB:
            v.type = StoredValue::Blob;
            v.bytes = QByteArray(
                static_cast<const char *>(sqlite3_column_blob(s, i)), sqlite3_column_bytes(s, i));
            break;
        default:
            break;
        }
        return v;
    }

    const Table *table(const QString &name)
    {
        auto found = m_tables.find(name);
        if (found != m_tables.end())
            return found->columns.isEmpty() ? nullptr : &*found;
        Table t {name, {}};
        Statement info = prepare(QStringLiteral("PRAGMA table_info(%1)").arg(quotedName(name)));
        while (step(info.get()))
            t.columns << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1)));
        found = m_tables.insert(name, t);
        return found->columns.isEmpty() ? nullptr : &*found;
    }

    // The row's values now; empty when there is no such row.
    std::vector<StoredValue> current(const Table &t, qint64 rowid)
    {
        Statement s = prepare(QStringLiteral("SELECT * FROM %1 WHERE rowid = ?").arg(quotedName(t.name)));
        sqlite3_bind_int64(s.get(), 1, rowid);
        std::vector<StoredValue> row;
        if (step(s.get()))
            for (int i = 0; i < sqlite3_column_count(s.get()); ++i)
                row.push_back(columnValue(s.get(), i));
        return row;
    }

    void run(const QString &sql, const std::vector<std::pair<int, const StoredValue *>> &values)
    {
        Statement s = prepare(sql);
        for (const auto &[i, v] : values)
            bind(s.get(), i, *v);
        step(s.get());
    }

    QString undoInsert(const Table &t, const RecordedChange &c)
    {
        if (current(t, c.rowid) != c.values)
            return changedSince(rowName(t.name, c.values, c.rowid));
        const StoredValue id {StoredValue::Integer, c.rowid, 0, {}};
        run(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quotedName(t.name)), {{1, &id}});
        return QString();
    }

    QString undoDelete(const Table &t, const RecordedChange &c)
    {
        if (!current(t, c.rowid).empty() || int(c.values.size()) != t.columns.size())
            return changedSince(rowName(t.name, c.values, c.rowid));
        QStringList names {QStringLiteral("rowid")};
        QStringList marks {QStringLiteral("?")};
        const StoredValue id {StoredValue::Integer, c.rowid, 0, {}};
        std::vector<std::pair<int, const StoredValue *>> values {{1, &id}};
        for (int i = 0; i < t.columns.size(); ++i) {
            names << quotedName(t.columns.at(i));
            marks << QStringLiteral("?");
            values.emplace_back(i + 2, &c.values[size_t(i)]);
        }
        run(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(quotedName(t.name), names.join(u','), marks.join(u',')),
            values);
        return QString();
    }

    QString undoUpdate(const Table &t, const RecordedChange &c)
    {
        std::vector<StoredValue> left = c.values;
        for (const auto &[col, v] : c.changed)
            left[size_t(col)] = v;
        if (current(t, c.newRowid) != left)
            return changedSince(rowName(t.name, left, c.newRowid));
        QStringList sets;
        std::vector<std::pair<int, const StoredValue *>> values;
        for (const auto &[col, v] : c.changed) {
            if (col >= t.columns.size())
                return changedSince(rowName(t.name, left, c.newRowid));
            sets << quotedName(t.columns.at(col)) + QStringLiteral(" = ?");
            values.emplace_back(int(values.size()) + 1, &c.values[size_t(col)]);
        }
        const StoredValue oldId {StoredValue::Integer, c.rowid, 0, {}};
        const StoredValue newId {StoredValue::Integer, c.newRowid, 0, {}};
        if (c.rowid != c.newRowid) {
            sets << QStringLiteral("rowid = ?");
            values.emplace_back(int(values.size()) + 1, &oldId);
        }
        values.emplace_back(int(values.size()) + 1, &newId);
        run(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quotedName(t.name), sets.join(u',')),
            values);
        return QString();
    }

    static StoredValue jsonList(const std::vector<qint64> &rowids)
    {
        QByteArray list;
        list.reserve(qsizetype(rowids.size()) * 8);
        list.append('[');
        for (qint64 r : rowids) {
            if (list.size() > 1)
                list.append(',');
            list.append(QByteArray::number(r));
        }
        list.append(']');
        return StoredValue {StoredValue::Text, 0, 0, list};
    }

    // The refusal for a run whose row `rowid` no longer holds what the action left.
    QString notHeld(const Table &t, const RecordedChange &c, qint64 rowid)
    {
        std::vector<StoredValue> row = current(t, rowid);
        if (!row.empty())
            row[size_t(c.column)] = c.after;
        return changedSince(rowName(t.name, row, rowid));
    }

    QString undoRun(const Table &t, const RecordedChange &c)
    {
        if (c.column < 0 || c.column >= t.columns.size() || c.rowids.empty())
            return changedSince(rowName(t.name, {}, c.rowids.empty() ? 0 : c.rowids.front()));
        const QString table = quotedName(t.name);
        const QString column = quotedName(t.columns.at(c.column));
        // Most often the rows that hold the text the action left are the listed ones: the column
        // is set back by that value alone, in one pass over the table as the rename made, and
        // the rows it reached (recorded as they change) are compared with the list afterwards.
        if (c.after.type == StoredValue::Text) {
            const Database::ExpectedRename expected(m_db, t.name, t.columns.at(c.column),
                QString::fromUtf8(c.after.bytes), QString::fromUtf8(c.before.bytes));
            if (expected.active()) {
                run(QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE %2 = ?2").arg(table, column),
                    {{1, &c.before}, {2, &c.after}});
                std::vector<qint64> listed = c.rowids, reached = expected.rows();
                for (std::vector<qint64> *v : {&listed, &reached}) {
                    std::sort(v->begin(), v->end());
                    v->erase(std::unique(v->begin(), v->end()), v->end());
                }
                if (reached == listed)
                    return QString();
                std::vector<qint64> missing, extra;
                std::set_difference(listed.begin(), listed.end(), reached.begin(), reached.end(),
                    std::back_inserter(missing));
                if (!missing.empty())
                    return notHeld(t, c, missing.front());
                // Rows given that text since (by another program) keep it.
                std::set_difference(
                    reached.begin(), reached.end(), listed.begin(), listed.end(), std::back_inserter(extra));
                const StoredValue rows = jsonList(extra);
                run(QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE rowid IN (SELECT value FROM json_each(?2))")
                        .arg(table, column),
                    {{1, &c.after}, {2, &rows}});
                return QString();
            }
        }
        // Else one statement sets the column back in every listed row that still holds what the
        // action left. It reads the table in order, as the rename did, and looks each row up in
        // the list, which the engine takes as one JSON array ("+rowid" keeps the planner from
        // seeking every listed row in the large table instead).
        const StoredValue rows = jsonList(c.rowids);
        run(QStringLiteral(
                "UPDATE %1 SET %2 = ?1 WHERE %2 IS ?2 AND +rowid IN (SELECT value FROM json_each(?3))")
                .arg(table, column),
            {{1, &c.before}, {2, &c.after}, {3, &rows}});
        const qint64 changed = sqlite3_changes64(m_handle);
        if (changed == qint64(c.rowids.size()))
            return QString();
        {
            // A row id listed twice counts once.
            Statement listed = prepare(QStringLiteral("SELECT COUNT(DISTINCT value) FROM json_each(?1)"));
            bind(listed.get(), 1, rows);
            if (step(listed.get()) && sqlite3_column_int64(listed.get(), 0) == changed)
                return QString();
        }
        // Some row did not hold it: name the first one that does not hold the value put back.
        Statement odd
            = prepare(QStringLiteral("SELECT u.value FROM json_each(?2) u LEFT JOIN %1 t ON t.rowid = "
                                     "u.value WHERE t.rowid IS NULL OR t.%2 IS NOT ?1 LIMIT 1")
                          .arg(table, column));
        bind(odd.get(), 1, c.before);
        bind(odd.get(), 2, rows);
        return notHeld(t, c, step(odd.get()) ? sqlite3_column_int64(odd.get(), 0) : c.rowids.front());
    }

    Database &m_db;
    sqlite3 *m_handle;
    QHash<QString, Table> m_tables;
};

bool hasHistory(Database &db)
{
    // From the connection's schema, without a statement: this runs at every action's commit.
    return sqlite3_table_column_metadata(
               db.handle(), "main", "X_undo_action", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
        == SQLITE_OK;
}

} // namespace

QList<Entry> entriesFrom(Database &db, qint64 from)
{
    QList<Entry> list;
    for (Cursor c = db.query(
             QStringLiteral("SELECT XU_no,XU_when,XU_window,XU_text FROM X_undo_action WHERE XU_no >= %1 "
                            "ORDER BY XU_no")
                 .arg(from));
         !c.eof(); c.next())
        list << Entry {c.integer64(0), c.text(1), c.text(2), c.text(3)};
    return list;
}

std::optional<qint64> insertedBy(Database &db, const QString &table, qint64 rowid)
{
    if (!hasHistory(db))
        return std::nullopt;
    for (Cursor c
         = db.query(QStringLiteral("SELECT XU_no,XU_changes FROM X_undo_action ORDER BY XU_no DESC"));
         !c.eof(); c.next()) {
        for (const RecordedChange &change : ChangeRecorder::decode(c.value(1).toByteArray())) {
            if (change.kind == RecordedChange::Insert && change.rowid == rowid && change.table == table)
                return c.integer64(0);
        }
    }
    return std::nullopt;
}

void append(Database &db, const QDateTime &when, const QString &window, const QString &text,
    const QByteArray &changes)
{
    if (!hasHistory(db))
        return;
    db.insert(QStringLiteral("X_undo_action"),
        {{QStringLiteral("XU_when"), when.toString(TimeFormat)}, {QStringLiteral("XU_window"), window},
            {QStringLiteral("XU_text"), text}, {QStringLiteral("XU_changes"), changes}});
    // An entry goes once it is neither among the newest KeptActions nor of the last KeptDays.
    // The clock may have been wrong when entries were written, so numbers and times need not
    // rise together: each entry is judged by its own time, and one dated later than the cutoff
    // (a clock that was ahead) stays without holding back the pruning of the others. The
    // cutoff is measured from the new entry's time, which is now; an entry dated after it
    // stays, so that a clock set back never prunes the entries of the real last days.
    db.execute(
        QStringLiteral("DELETE FROM X_undo_action WHERE XU_no <= (SELECT max(XU_no) FROM X_undo_action) "
                       "- %1 AND XU_when < '%2'")
            .arg(KeptActions)
            .arg(Database::escape(when.addDays(-KeptDays).toString(TimeFormat))));
}

QList<Entry> recent(Database &db, int limit)
{
    QList<Entry> list;
    if (!hasHistory(db))
        return list;
    for (Cursor c = db.query(QStringLiteral("SELECT XU_no,XU_when,XU_window,XU_text FROM X_undo_action "
                                            "ORDER BY XU_no DESC LIMIT %1")
                                 .arg(limit));
         !c.eof(); c.next())
        list << Entry {c.integer64(0), c.text(1), c.text(2), c.text(3)};
    return list;
}

QString undoText(const QList<Entry> &taken)
{
    if (taken.isEmpty())
        return QString();
    const QString first = QStringLiteral("「") + taken.first().text + QStringLiteral("」");
    if (taken.size() == 1)
        return first + QStringLiteral("の取消");
    return first + QStringLiteral("以降%1件の取消").arg(taken.size());
}

QString takeBack(Database &db, qint64 from)
{
    struct Stored
    {
        qint64 no;
        QByteArray changes;
    };
    std::vector<Stored> stored;
    for (Cursor c = db.query(QStringLiteral(
             "SELECT XU_no,XU_changes FROM X_undo_action WHERE XU_no >= %1 ORDER BY XU_no DESC")
                                 .arg(from));
         !c.eof(); c.next())
        stored.push_back({c.integer64(0), c.value(1).toByteArray()});
    if (stored.empty() || stored.back().no != from)
        return QStringLiteral("この操作は履歴にないため取り消せません");
    Player player(db);
    // A run (a rename) puts rows back before the masters: the search copy is told (see
    // SearchText::setTakingBack).
    bool marked = false;
    // The runs that put a place's old name back into its rows are one rename of the search
    // copy's place, for as long as nothing but runs follows.
    std::optional<SearchText::PlaceRename> renamed;
    for (const Stored &s : stored) {
        const std::vector<RecordedChange> changes = ChangeRecorder::decode(s.changes);
        for (auto c = changes.rbegin(); c != changes.rend(); ++c) {
            if (c->kind == RecordedChange::Run && !marked) {
                SearchText::setTakingBack(db, true);
                marked = true;
            }
            if (c->kind != RecordedChange::Run && renamed) {
                renamed->finish();
                renamed.reset();
            } else if (c->kind == RecordedChange::Run && c->after.type == StoredValue::Text
                && c->before.type == StoredValue::Text
                && SearchText::holdsPlace(c->table, player.columnOf(*c))) {
                const QString from = QString::fromUtf8(c->after.bytes),
                              to = QString::fromUtf8(c->before.bytes);
                if (!renamed || !renamed->renames(from, to)) {
                    if (renamed)
                        renamed->finish();
                    renamed.emplace(db, from, to);
                }
            }
            const QString refusal = player.undo(*c);
            if (!refusal.isEmpty())
                return refusal; // the caller rolls back, the mark with the rest
        }
    }
    if (renamed)
        renamed->finish();
    if (marked)
        SearchText::setTakingBack(db, false);
    return QString();
}

Outcome takeBackFrom(
    const QString &path, qint64 from, const QString &window, const QDateTime &when, int expected)
{
    Outcome outcome;
    Database db(path);
    db.beginAction(window, QString(), when);
    if (!hasHistory(db))
        return outcome;
    outcome.taken = entriesFrom(db, from);
    if (outcome.taken.isEmpty() || outcome.taken.first().no != from) {
        outcome.refusal = QStringLiteral("この操作は履歴にないため取り消せません");
        return outcome;
    }
    if (outcome.taken.size() != expected) {
        outcome.refusal
            = QStringLiteral("ほかの操作が記録されたため取り消しませんでした　履歴を確かめて下さい");
        return outcome;
    }
    db.setActionDescription(undoText(outcome.taken));
    outcome.refusal = takeBack(db, from);
    if (!outcome.refusal.isEmpty())
        return outcome; // rolled back as the connection closes
    db.commit();
    outcome.done = true;
    return outcome;
}

} // namespace ActionHistory
