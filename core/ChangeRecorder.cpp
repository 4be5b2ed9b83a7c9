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
    const QByteArray name(table);
    sqlite3_value *v = nullptr;
    if (op == SQLITE_INSERT || op == SQLITE_DELETE) {
        flushRun();
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
    // An update: which columns changed?
    m_old.resize(size_t(n));
    m_new.resize(size_t(n));
    std::vector<int> changed;
    for (int i = 0; i < n; ++i) {
        m_old[size_t(i)].clear();
        m_new[size_t(i)].clear();
        if (sqlite3_preupdate_old(m_db, i, &v) == SQLITE_OK && v)
            putValue(m_old[size_t(i)], v);
        else
            m_old[size_t(i)].append(char(StoredValue::Null));
        if (sqlite3_preupdate_new(m_db, i, &v) == SQLITE_OK && v)
            putValue(m_new[size_t(i)], v);
        else
            m_new[size_t(i)].append(char(StoredValue::Null));
        if (m_old[size_t(i)] != m_new[size_t(i)])
            changed.push_back(i);
    }
    if (changed.empty() && key1 == key2)
        return; // nothing changed
    if (changed.size() == 1 && key1 == key2) {
        const int c = changed.front();
        if (!(m_runColumn == c && m_runTable == name && m_runBefore == m_old[size_t(c)]
                && m_runAfter == m_new[size_t(c)])) {
            flushRun();
            m_runTable = name;
            m_runColumn = c;
            m_runBefore = m_old[size_t(c)];
            m_runAfter = m_new[size_t(c)];
        }
        m_runRows.push_back(key1);
        return;
    }
    flushRun();
    m_out.append(char(RecordedChange::Update));
    putBytes(m_out, name.constData(), name.size());
    putSigned(m_out, key1);
    putSigned(m_out, key2);
    putVarint(m_out, quint64(n));
    for (const QByteArray &o : m_old)
        m_out.append(o);
    putVarint(m_out, changed.size());
    for (int c : changed) {
        putVarint(m_out, quint64(c));
        m_out.append(m_new[size_t(c)]);
    }
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
