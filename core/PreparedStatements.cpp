// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreparedStatements.h"

#include "Database.h"

#include <sqlite3.h>

PreparedStatements::PreparedStatements(Database &db)
    : m_db(db)
{ }

PreparedStatements::~PreparedStatements()
{
    for (sqlite3_stmt *s : std::as_const(m_prepared))
        sqlite3_finalize(s);
}

void PreparedStatements::run(const char *sql, const QVariantList &values)
{
    const QString text = QString::fromUtf8(sql);
    m_db.announce(text);
    sqlite3 *handle = m_db.handle();
    sqlite3_stmt *&s = m_prepared[sql];
    if (!s && sqlite3_prepare_v2(handle, sql, -1, &s, nullptr) != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_finalize(s);
        s = nullptr;
        throw DbError(text + QStringLiteral(": ") + why);
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    for (int i = 0; i < values.size(); ++i)
        bind(s, i + 1, values.at(i));
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE)
        throw DbError(text + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(handle)),
            sqlite3_extended_errcode(handle));
}

void PreparedStatements::bind(sqlite3_stmt *statement, int index, const QVariant &value)
{
    if (value.typeId() == QMetaType::QString) {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_int64(statement, index, value.toLongLong());
    }
}
