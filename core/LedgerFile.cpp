// SPDX-License-Identifier: GPL-3.0-or-later
#include "LedgerFile.h"

#include "Migrations.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

static void initSchemaResource()
{
    // The resource lives in a static library: register it explicitly.
    Q_INIT_RESOURCE(schema);
}

namespace LedgerFile {

QString schema()
{
    initSchemaResource();
    QFile f(QStringLiteral(":/schema.sql"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

bool create(const QString &path, QString *errorText)
{
    if (QFile::exists(path)) {
        if (errorText)
            *errorText = QStringLiteral("%1 already exists").arg(path);
        return false;
    }
    const QString name = QStringLiteral("mkledger-") + QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        if (ok)
            ok = q.exec(QStringLiteral("BEGIN"));
        const QString text = schema();
        if (text.isEmpty()) {
            ok = false;
            if (errorText)
                *errorText = QStringLiteral("the schema is missing from the build");
        }
        // Statements end with ";" at the end of a line; comments are whole lines.
        QString current;
        for (const QString &line : text.split(u'\n')) {
            if (!ok)
                break;
            if (line.trimmed().startsWith(QLatin1String("--")))
                continue;
            current += line + u'\n';
            if (line.trimmed().endsWith(u';')) {
                ok = q.exec(current);
                current.clear();
            }
        }
        // A new ledger is made at the newest version, with every step's tables.
        for (int n = 1; ok && n <= Migrations::latest(); ++n)
            for (const QString &statement : Migrations::step(n))
                ok = ok && q.exec(statement);
        if (ok)
            ok = q.exec(QStringLiteral("PRAGMA user_version = %1").arg(Migrations::latest()));
        if (ok)
            ok = q.exec(QStringLiteral("COMMIT"));
        if (!ok && errorText)
            *errorText = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok)
        QFile::remove(path);
    return ok;
}

} // namespace LedgerFile
