// SPDX-License-Identifier: GPL-3.0-or-later
#include "Database.h"

#include "ActionHistory.h"
#include "ChangeRecorder.h"
#include "LedgerChanges.h"
#include "SqlDialect.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>
#include <QStringDecoder>
#include <QUrl>
#include <QVarLengthArray>
#include <iterator>
#include <sqlite3.h>

namespace {

Database::Observer &observer()
{
    static Database::Observer o;
    return o;
}

QString uniqueConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("velmo-%1").arg(counter.fetchAndAddRelaxed(1));
}

DbError errorFrom(const QSqlError &e, const QString &context)
{
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return DbError(context + QStringLiteral(": ") + e.text(), ok ? code : 0);
}

} // namespace

Cursor::Cursor(QSqlQuery query)
    : m_query(std::move(query))
{
    m_record = m_query.record();
    m_eof = !m_query.next();
    if (!m_eof)
        return;
    if (m_query.lastError().isValid())
        throw errorFrom(m_query.lastError(), QStringLiteral("fetch"));
}

void Cursor::next()
{
    if (m_eof)
        return;
    ++m_count;
    m_eof = !m_query.next();
    if (m_eof && m_query.lastError().isValid())
        throw errorFrom(m_query.lastError(), QStringLiteral("fetch"));
}

int Cursor::indexOf(const QString &name) const
{
    const int i = m_record.indexOf(name);
    if (i < 0)
        throw DbError(QStringLiteral("no column %1").arg(name));
    return i;
}

void Cursor::checkRow(int index) const
{
    if (index < 0 || index >= m_record.count())
        throw DbError(QStringLiteral("no column %1").arg(index));
    if (m_eof)
        throw DbError(QStringLiteral("read past the last row"));
}

QVariant Cursor::value(int index) const
{
    checkRow(index);
    return m_query.value(index);
}

QString Cursor::text(int index) const
{
    const QVariant v = value(index);
    return v.isNull() ? QString() : v.toString();
}

qint64 Cursor::integer64(int index) const
{
    const QVariant v = value(index);
    bool ok = false;
    qint64 n = 0;
    if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        ok = d >= -9.2e18 && d <= 9.2e18;
        n = static_cast<qint64>(d); // the integer part, as the stocktake reads balances
    } else if (!v.isNull()) {
        n = v.toString().trimmed().toLongLong(&ok);
    }
    if (!ok)
        throw DbError(QStringLiteral("column %1 is no number").arg(m_record.fieldName(index)));
    return n;
}

qint32 Cursor::integer(int index) const
{
    const qint64 n = integer64(index);
    if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        throw DbError(QStringLiteral("column %1 out of 32-bit range").arg(m_record.fieldName(index)));
    return static_cast<qint32>(n);
}

namespace {

// Decodes the start of a UTF-8 text made of characters of one to three bytes (ASCII, kana and
// kanji: nearly every text of a ledger) into `out`, and stops before anything else (four-byte
// characters, overlong forms, surrogates, broken bytes), which Qt's decoder then takes over.
// Returns the bytes decoded; `units` gets the UTF-16 units written.
int decodeCommon(const char *text, int bytes, QChar *out, int &units)
{
    const auto *t = reinterpret_cast<const unsigned char *>(text);
    int n = 0, k = 0;
    while (n < bytes) {
        const unsigned b = t[n];
        if (b < 0x80) {
            out[k++] = QChar(char16_t(b));
            n += 1;
        } else if (b >= 0xC2 && b < 0xE0 && n + 1 < bytes && (t[n + 1] & 0xC0) == 0x80) {
            out[k++] = QChar(char16_t(((b & 0x1F) << 6) | (t[n + 1] & 0x3F)));
            n += 2;
        } else if ((b & 0xF0) == 0xE0 && n + 2 < bytes && (t[n + 1] & 0xC0) == 0x80
            && (t[n + 2] & 0xC0) == 0x80) {
            const unsigned c = ((b & 0x0F) << 12) | ((t[n + 1] & 0x3F) << 6) | (t[n + 2] & 0x3F);
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))
                break;
            out[k++] = QChar(char16_t(c));
            n += 3;
        } else {
            break;
        }
    }
    units = k;
    return n;
}

} // namespace

void Cursor::readTexts(const std::vector<int> &positions, const CellSink &cell)
{
    for (int p : positions) {
        if (p < 0 || p >= m_record.count())
            throw DbError(QStringLiteral("no column %1").arg(p));
    }
    const QVariant handle = m_query.result() ? m_query.result()->handle() : QVariant();
    sqlite3_stmt *stmt = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3_stmt*") == 0
        ? *static_cast<sqlite3_stmt *const *>(handle.constData())
        : nullptr;
    if (!stmt) {
        // Not the SQLite driver: the same through the driver's values.
        for (; !m_eof; next()) {
            for (size_t i = 0; i < positions.size(); ++i)
                cell(int(i), text(positions[i]));
        }
        return;
    }
    // The driver has stepped the statement to the current row; read it and step on from there.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QVarLengthArray<QChar, 256> buffer;
    while (!m_eof) {
        for (size_t i = 0; i < positions.size(); ++i) {
            if (sqlite3_column_type(stmt, positions[i]) == SQLITE_INTEGER) {
                // Written out here as the engine would, without a text made and freed per value.
                const qint64 v = sqlite3_column_int64(stmt, positions[i]);
                char16_t digits[24];
                char16_t *end = digits + std::size(digits), *p = end;
                quint64 u = v < 0 ? 0 - quint64(v) : quint64(v);
                do {
                    *--p = char16_t(u'0' + u % 10);
                    u /= 10;
                } while (u);
                if (v < 0)
                    *--p = u'-';
                cell(int(i), QStringView(p, end - p));
                continue;
            }
            const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(stmt, positions[i]));
            const int bytes = t ? sqlite3_column_bytes(stmt, positions[i]) : 0;
            buffer.resize(qMax(bytes, 1));
            QChar *const out = buffer.data();
            int units = 0;
            const int n = decodeCommon(t, bytes, out, units);
            const QChar *end = n == bytes
                ? out + units
                : utf8.appendToBuffer(out + units, QByteArrayView(t + n, bytes - n));
            cell(int(i), QStringView(out, end - out));
        }
        ++m_count;
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) {
            m_eof = true;
        } else if (rc != SQLITE_ROW) {
            m_eof = true;
            throw DbError(
                QStringLiteral("fetch: ") + QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt))), rc);
        }
    }
}

QVariant Cursor::value(const QString &name) const
{
    return value(indexOf(name));
}

QString Cursor::text(const QString &name) const
{
    return text(indexOf(name));
}

qint64 Cursor::integer64(const QString &name) const
{
    return integer64(indexOf(name));
}

qint32 Cursor::integer(const QString &name) const
{
    return integer(indexOf(name));
}

Database::Database(const QString &path)
    : m_name(uniqueConnectionName())
    , m_path(path)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        // mode=rw: a missing file stays missing and the open fails.
        db.setDatabaseName(
            QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
            + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=3000"));
        if (db.open())
            return;
        const DbError e = errorFrom(db.lastError(), QStringLiteral("open ") + path);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw e;
    }
}

Database::~Database()
{
    rollback();
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QString Database::escape(const QString &text)
{
    QString s = text;
    return s.replace(u'\'', QStringLiteral("''"));
}

void Database::setObserver(Observer o)
{
    observer() = std::move(o);
}

QSqlQuery Database::run(const QString &statement, const QString &original)
{
    if (observer() && !m_bookkeeping) {
        try {
            observer()(original);
        } catch (...) {
            rollback();
            throw;
        }
    }
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    if (!q.exec(statement)) {
        const DbError e = errorFrom(q.lastError(), statement);
        rollback();
        throw e;
    }
    return q;
}

Cursor Database::query(const QString &sql)
{
    try {
        return Cursor(run(SqlDialect::translate(sql), sql));
    } catch (const DbError &) {
        rollback();
        throw;
    }
}

void Database::execute(const QString &sql)
{
    run(SqlDialect::translate(sql), sql);
}

void Database::insert(const QString &table, const std::vector<std::pair<QString, QVariant>> &columns)
{
    QStringList names;
    QStringList marks;
    QVariantList values;
    for (const auto &c : columns) {
        names << c.first;
        marks << QStringLiteral("?");
        values << c.second;
    }
    runBound(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(u','), marks.join(u',')),
        values, true);
}

QSqlQuery Database::runBound(const QString &sql, const QVariantList &values, bool observed)
{
    if (observed && observer() && !m_bookkeeping) {
        try {
            observer()(sql);
        } catch (...) {
            rollback();
            throw;
        }
    }
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        const DbError e = errorFrom(q.lastError(), sql);
        rollback();
        throw e;
    }
    for (const QVariant &v : values) {
        // A null text would be stored as NULL; the ledger holds the empty text instead.
        if (v.typeId() == QMetaType::QString && v.toString().isNull())
            q.addBindValue(QString(QLatin1String("")));
        else
            q.addBindValue(v);
    }
    if (!q.exec()) {
        const DbError e = errorFrom(q.lastError(), sql);
        rollback();
        throw e;
    }
    return q;
}

Cursor Database::query(const QString &sql, const QVariantList &values)
{
    try {
        return Cursor(runBound(sql, values, true));
    } catch (const DbError &) {
        rollback();
        throw;
    }
}

void Database::execute(const QString &sql, const QVariantList &values)
{
    runBound(sql, values, true);
}

Cursor Database::lookup(const QString &sql, const QVariantList &values)
{
    try {
        return Cursor(runBound(sql, values, false));
    } catch (const DbError &) {
        rollback();
        throw;
    }
}

void Database::beginWrite()
{
    // IMMEDIATE takes the write lock at once, so a read is never promoted to a write
    // that could deadlock with another writer.
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw errorFrom(q.lastError(), QStringLiteral("BEGIN IMMEDIATE"));
    m_inTransaction = true;
}

void Database::beginAction(const QString &window, const QString &description, const QDateTime &when)
{
    beginWrite();
    m_recorder = std::make_unique<ChangeRecorder>(handle());
    m_window = window;
    m_description = description;
    m_when = when;
}

Database::ExpectedRename::ExpectedRename(
    Database &db, const QString &table, const QString &column, const QString &from, const QString &to)
    : m_db(db)
{
    // A text set to itself changes no row, and so is no run.
    if (!db.m_recorder || from == to)
        return;
    // A text stays the text it was written as only in a column of text affinity.
    Cursor c = db.lookup(
        QStringLiteral("SELECT cid FROM pragma_table_info(?) WHERE name = ? AND upper(type) = 'TEXT'"),
        {table, column});
    if (c.eof())
        return;
    m_recorder = db.m_recorder.get();
    m_recorder->expectRun(table.toUtf8(), c.integer(0), from.toUtf8(), to.toUtf8());
}

std::vector<qint64> Database::ExpectedRename::rows() const
{
    return m_recorder && m_db.m_recorder.get() == m_recorder ? m_recorder->expectedRows()
                                                             : std::vector<qint64>();
}

Database::ExpectedRename::~ExpectedRename()
{
    // A failed statement has rolled the action back and let its recorder go already.
    if (m_recorder && m_db.m_recorder.get() == m_recorder)
        m_recorder->expectNothing();
}

void Database::mapForReading()
{
    lookup(QStringLiteral("PRAGMA mmap_size = 268435456"), {});
}

sqlite3 *Database::handle() const
{
    const QVariant h = QSqlDatabase::database(m_name, false).driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        throw DbError(QStringLiteral("not an SQLite connection"));
    return *static_cast<sqlite3 *const *>(h.constData());
}

void Database::announce(const QString &statement)
{
    if (!observer())
        return;
    try {
        observer()(statement);
    } catch (...) {
        rollback();
        throw;
    }
}

void Database::commit()
{
    if (!m_inTransaction)
        return;
    if (m_recorder) {
        m_recorder->detach();
        const QByteArray changes = m_recorder->changes();
        m_recorder.reset();
        if (!changes.isEmpty()) {
            m_bookkeeping = true;
            try {
                ActionHistory::append(*this, m_when, m_window, m_description, changes);
            } catch (...) {
                m_bookkeeping = false;
                rollback();
                throw;
            }
            m_bookkeeping = false;
        }
    }
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const DbError e = errorFrom(q.lastError(), QStringLiteral("COMMIT"));
        rollback();
        throw e;
    }
    m_inTransaction = false;
    LedgerChanges::announce(m_path);
}

void Database::rollback() noexcept
{
    m_recorder.reset();
    if (!m_inTransaction)
        return;
    // After an error SQLite may have undone only the failing statement; ROLLBACK, never
    // COMMIT, discards the rest of the action.
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.exec(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
}
