// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChangeRecorder.h"

#include "Database.h"

#include <cstring>
#include <sqlite3.h>

// Layout of the encoded list, one record after another (numbers as LEB128 varints, signed ones
// zigzagged first; a text as its length and its UTF-8 bytes):
//   'I' table rowid n value*n            a row inserted, with its values
//   'D' table rowid n value*n            a row deleted, with its values
//   'U' table rowid newRowid n value*n k (column value)*k
//                                        a row updated: every value before, the changed ones after
//   'R' table column before after k rowid-delta*k
//                                        one column of k rows set from `before` to `after`
// A value is its storage class (StoredValue::Type) followed by the integer, the 8 bytes of the
// real, or the length and bytes of the text or blob.

namespace {

void putVarint(QByteArray &out, quint64 v)
{
    while (v >= 0x80) {
        out.append(char(v | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

void putSigned(QByteArray &out, qint64 v)
{
    putVarint(out, (quint64(v) << 1) ^ quint64(v >> 63));
}

void putBytes(QByteArray &out, const char *data, qsizetype n)
{
    putVarint(out, quint64(n));
    out.append(data, n);
}

void putValue(QByteArray &out, sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        out.append(char(StoredValue::Integer));
        putSigned(out, sqlite3_value_int64(v));
        break;
    case SQLITE_FLOAT: {
        out.append(char(StoredValue::Real));
        const double d = sqlite3_value_double(v);
        char raw[sizeof d];
        std::memcpy(raw, &d, sizeof d);
        out.append(raw, sizeof d);
        break;
    }
    case SQLITE_TEXT: {
        out.append(char(StoredValue::Text));
        const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(v));
        putBytes(out, t, sqlite3_value_bytes(v));
        break;
    }
    case SQLITE_BLOB: {
        out.append(char(StoredValue::Blob));
        const auto *b = static_cast<const char *>(sqlite3_value_blob(v));
        putBytes(out, b, sqlite3_value_bytes(v));
        break;
    }
    default:
        out.append(char(StoredValue::Null));
    }
}

void putValueOrNull(QByteArray &out, sqlite3_value *v)
{
    if (v)
        putValue(out, v);
    else
        out.append(char(StoredValue::Null));
}

// Equal as putValue would encode them: the same storage class and the same contents.
bool sameValue(sqlite3_value *a, sqlite3_value *b)
{
    const int type = a ? sqlite3_value_type(a) : SQLITE_NULL;
    if (type != (b ? sqlite3_value_type(b) : SQLITE_NULL))
        return false;
    switch (type) {
    case SQLITE_INTEGER:
        return sqlite3_value_int64(a) == sqlite3_value_int64(b);
    case SQLITE_FLOAT: {
        const double x = sqlite3_value_double(a), y = sqlite3_value_double(b);
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const void *x
            = type == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(a)) : sqlite3_value_blob(a);
        const void *y
            = type == SQLITE_TEXT ? static_cast<const void *>(sqlite3_value_text(b)) : sqlite3_value_blob(b);
        const int n = sqlite3_value_bytes(a);
        return n == sqlite3_value_bytes(b) && (n == 0 || std::memcmp(x, y, size_t(n)) == 0);
    }
    default:
        return true;
    }
}

class Reader
{
public:
    explicit Reader(const QByteArray &in)
        : m_in(in)
    { }
    bool atEnd() const { return m_pos >= m_in.size(); }

    quint64 varint()
    {
        quint64 v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const auto b = quint8(byte());
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
        throw DbError(QStringLiteral("history record: bad number"));
    }
    qint64 signedVarint()
    {
        const quint64 v = varint();
        return qint64(v >> 1) ^ -qint64(v & 1);
    }
    char byte()
    {
        if (atEnd())
            throw DbError(QStringLiteral("history record: cut short"));
        return m_in.at(m_pos++);
    }
    QByteArray bytes()
    {
        const quint64 n = varint();
        if (n > quint64(m_in.size() - m_pos))
            throw DbError(QStringLiteral("history record: cut short"));
        const QByteArray b = m_in.mid(m_pos, qsizetype(n));
        m_pos += qsizetype(n);
        return b;
    }
    StoredValue value()
    {
        StoredValue v;
        v.type = StoredValue::Type(byte());
        switch (v.type) {
        case StoredValue::Null:
            break;
        case StoredValue::Integer:
            v.integer = signedVarint();
            break;
        case StoredValue::Real: {
            char raw[sizeof v.real];
            for (char &c : raw)
                c = byte();
            std::memcpy(&v.real, raw, sizeof v.real);
            break;
        }
        case StoredValue::Text:
        case StoredValue::Blob:
            v.bytes = bytes();
            break;
        default:
            throw DbError(QStringLiteral("history record: bad value"));
        }
        return v;
    }

private:
    const QByteArray &m_in;
    qsizetype m_pos = 0;
};

bool skipped(const char *dbName, const char *table)
{
    // Temporary tables, the engine's own (sqlite_sequence), the history itself, and the search
    // copy with its index (X_meisai_...), which their triggers keep right while changes are
    // played back.
    return std::strcmp(dbName, "main") != 0 || std::strncmp(table, "sqlite_", 7) == 0
        || std::strncmp(table, "X_undo", 6) == 0 || std::strncmp(table, "X_meisai", 8) == 0;
}

} // namespace

ChangeRecorder::ChangeRecorder(sqlite3 *db)
    : m_db(db)
{
    sqlite3_preupdate_hook(m_db, &ChangeRecorder::hook, this);
    m_attached = true;
}

ChangeRecorder::~ChangeRecorder()
{
    detach();
}

void ChangeRecorder::detach()
{
    if (!m_attached)
        return;
    sqlite3_preupdate_hook(m_db, nullptr, nullptr);
    m_attached = false;
}

void ChangeRecorder::hook(
    void *self, sqlite3 *, int op, const char *dbName, const char *table, long long key1, long long key2)
{
    if (skipped(dbName, table))
        return;
    static_cast<ChangeRecorder *>(self)->record(op, table, key1, key2);
}

void ChangeRecorder::record(int op, const char *table, qint64 key1, qint64 key2)
{
    const int n = sqlite3_preupdate_count(m_db);
    sqlite3_value *v = nullptr;
    if (op == SQLITE_INSERT || op == SQLITE_DELETE) {
        flushRun();
        const QByteArray name(table);
        m_out.append(op == SQLITE_INSERT ? char(RecordedChange::Insert) : char(RecordedChange::Delete));
        putBytes(m_out, name.constData(), name.size());
        putSigned(m_out, op == SQLITE_INSERT ? key2 : key1);
        putVarint(m_out, quint64(n));
        for (int i = 0; i < n; ++i) {
            if ((op == SQLITE_INSERT ? sqlite3_preupdate_new(m_db, i, &v)
                                     : sqlite3_preupdate_old(m_db, i, &v))
                != SQLITE_OK)
                v = nullptr;
            if (v)
                putValue(m_out, v);
            else
                m_out.append(char(StoredValue::Null));
        }
        return;
    }
    if (m_expected.column >= 0 && recordExpected(table, key1, key2))
        return;
    // An update: which columns changed? A rename reaches every row of a large table, so the
    // values are compared as the engine holds them, only what is kept is encoded, and the
    // scratch space keeps its room from row to row.
    m_oldValues.resize(size_t(n));
    m_newValues.resize(size_t(n));
    int changed = 0;
    int first = -1;
    for (int i = 0; i < n; ++i) {
        sqlite3_value *&o = m_oldValues[size_t(i)];
        sqlite3_value *&w = m_newValues[size_t(i)];
        if (sqlite3_preupdate_old(m_db, i, &o) != SQLITE_OK)
            o = nullptr;
        if (sqlite3_preupdate_new(m_db, i, &w) != SQLITE_OK)
            w = nullptr;
        if (!sameValue(o, w) && changed++ == 0)
            first = i;
    }
    if (changed == 0 && key1 == key2)
        return; // nothing changed
    if (changed == 1 && key1 == key2) {
        m_scratchBefore.resize(0);
        m_scratchAfter.resize(0);
        putValueOrNull(m_scratchBefore, m_oldValues[size_t(first)]);
        putValueOrNull(m_scratchAfter, m_newValues[size_t(first)]);
        if (!(m_runColumn == first && m_runTable == table && m_runBefore == m_scratchBefore
                && m_runAfter == m_scratchAfter)) {
            flushRun();
            m_runTable = table;
            m_runColumn = first;
            m_runBefore = m_scratchBefore;
            m_runAfter = m_scratchAfter;
        }
        m_runRows.push_back(key1);
        return;
    }
    flushRun();
    const QByteArray name(table);
    m_out.append(char(RecordedChange::Update));
    putBytes(m_out, name.constData(), name.size());
    putSigned(m_out, key1);
    putSigned(m_out, key2);
    putVarint(m_out, quint64(n));
    for (sqlite3_value *o : m_oldValues)
        putValueOrNull(m_out, o);
    putVarint(m_out, quint64(changed));
    for (int c = 0; c < n; ++c) {
        if (sameValue(m_oldValues[size_t(c)], m_newValues[size_t(c)]))
            continue;
        putVarint(m_out, quint64(c));
        putValueOrNull(m_out, m_newValues[size_t(c)]);
    }
}

void ChangeRecorder::expectRun(
    const QByteArray &table, int column, const QByteArray &before, const QByteArray &after)
{
    m_expected.table = table;
    m_expected.column = column;
    m_expected.rows.clear();
    m_expected.before = before;
    m_expected.encodedBefore.clear();
    m_expected.encodedBefore.append(char(StoredValue::Text));
    putBytes(m_expected.encodedBefore, before.constData(), before.size());
    m_expected.encodedAfter.clear();
    m_expected.encodedAfter.append(char(StoredValue::Text));
    putBytes(m_expected.encodedAfter, after.constData(), after.size());
}

void ChangeRecorder::expectNothing()
{
    m_expected = Expected();
}

bool ChangeRecorder::recordExpected(const char *table, qint64 key1, qint64 key2)
{
    if (key1 != key2 || m_expected.table != table || m_expected.column >= sqlite3_preupdate_count(m_db))
        return false;
    sqlite3_value *old = nullptr;
    if (sqlite3_preupdate_old(m_db, m_expected.column, &old) != SQLITE_OK || !old
        || sqlite3_value_type(old) != SQLITE_TEXT)
        return false;
    const int n = sqlite3_value_bytes(old);
    if (n != m_expected.before.size()
        || (n > 0 && std::memcmp(sqlite3_value_text(old), m_expected.before.constData(), size_t(n)) != 0))
        return false;
    if (!(m_runColumn == m_expected.column && m_runTable == m_expected.table
            && m_runBefore == m_expected.encodedBefore && m_runAfter == m_expected.encodedAfter)) {
        flushRun();
        m_runTable = m_expected.table;
        m_runColumn = m_expected.column;
        m_runBefore = m_expected.encodedBefore;
        m_runAfter = m_expected.encodedAfter;
    }
    m_runRows.push_back(key1);
    m_expected.rows.push_back(key1);
    return true;
}

void ChangeRecorder::flushRun()
{
    if (m_runRows.empty())
        return;
    m_out.append(char(RecordedChange::Run));
    putBytes(m_out, m_runTable.constData(), m_runTable.size());
    putVarint(m_out, quint64(m_runColumn));
    m_out.append(m_runBefore);
    m_out.append(m_runAfter);
    putVarint(m_out, m_runRows.size());
    qint64 previous = 0;
    for (qint64 r : m_runRows) {
        putSigned(m_out, r - previous);
        previous = r;
    }
    m_runRows.clear();
    m_runColumn = -1;
}

QByteArray ChangeRecorder::changes()
{
    flushRun();
    return m_out;
}

std::vector<RecordedChange> ChangeRecorder::decode(const QByteArray &changes)
{
    std::vector<RecordedChange> list;
    Reader in(changes);
    while (!in.atEnd()) {
        RecordedChange c;
        c.kind = RecordedChange::Kind(in.byte());
        c.table = QString::fromUtf8(in.bytes());
        switch (c.kind) {
        case RecordedChange::Insert:
        case RecordedChange::Delete:
        case RecordedChange::Update: {
            c.rowid = in.signedVarint();
            if (c.kind == RecordedChange::Update)
                c.newRowid = in.signedVarint();
            const quint64 n = in.varint();
            if (n > 32767)
                throw DbError(QStringLiteral("history record: too many columns"));
            for (quint64 i = 0; i < n; ++i)
                c.values.push_back(in.value());
            if (c.kind == RecordedChange::Update) {
                const quint64 k = in.varint();
                for (quint64 i = 0; i < k; ++i) {
                    const quint64 col = in.varint();
                    if (col >= n)
                        throw DbError(QStringLiteral("history record: bad column"));
                    c.changed.emplace_back(int(col), in.value());
                }
            }
            break;
        }
        case RecordedChange::Run: {
            c.column = int(in.varint());
            c.before = in.value();
            c.after = in.value();
            const quint64 k = in.varint();
            qint64 r = 0;
            for (quint64 i = 0; i < k; ++i) {
                r += in.signedVarint();
                c.rowids.push_back(r);
            }
            break;
        }
        default:
            throw DbError(QStringLiteral("history record: unknown kind"));
        }
        list.push_back(std::move(c));
    }
    return list;
}
