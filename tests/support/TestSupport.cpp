// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "Database.h"
#include "Grid.h"
#include "LedgerFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QUuid>

void ScriptedDialogs::info(const QString &text)
{
    shown << text;
    infos << text;
}

bool ScriptedDialogs::ask(const QString &text)
{
    shown << text;
    asked << text;
    if (answers.empty())
        return defaultAnswer;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<QString> ScriptedDialogs::saveFileName(
    const QString &filter, const QString &folder, const QString &proposedName)
{
    saveRequests.push_back({filter, folder, proposedName});
    if (files.empty())
        return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

void ScriptedDialogs::clear()
{
    shown.clear();
    infos.clear();
    asked.clear();
    saveRequests.clear();
}

TempAppDir::TempAppDir(bool withLedger)
{
    if (withLedger) {
        QString error;
        if (!LedgerFile::create(dbPath(), &error))
            qFatal("cannot create test ledger: %s", qPrintable(error));
    }
    QFile log(logPath());
    log.open(QIODevice::WriteOnly);
    QFile::copy(QStringLiteral(VELMO_ARROW_GIF), QDir(path()).filePath(QStringLiteral("yazirusi.gif")));
}

QString TempAppDir::dbPath() const
{
    return QDir(path()).filePath(QStringLiteral("velmo.mdb"));
}

QString TempAppDir::logPath() const
{
    return QDir(path()).filePath(QStringLiteral("AP.log"));
}

AppContext TempAppDir::context(Dialogs &dialogs, const Clock &clock) const
{
    return AppContext {path(), &dialogs, &clock};
}

namespace {

template <typename F> auto withRaw(const QString &path, F f)
{
    const QString name = QStringLiteral("test-") + QUuid::createUuid().toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open())
        qFatal("cannot open %s", qPrintable(path));
    auto result = f(db);
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    return result;
}

} // namespace

void TempAppDir::exec(const QString &sql) const
{
    withRaw(dbPath(), [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("test statement failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return 0;
    });
}

QVariant TempAppDir::scalar(const QString &sql) const
{
    return withRaw(dbPath(), [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("test query failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q.next() ? q.value(0) : QVariant();
    });
}

QStringList TempAppDir::rows(const QString &sql) const
{
    return withRaw(dbPath(), [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("test query failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        QStringList out;
        while (q.next()) {
            QStringList cols;
            for (int i = 0; i < q.record().count(); ++i)
                cols << q.value(i).toString();
            out << cols.join(u'|');
        }
        return out;
    });
}

qint64 TempAppDir::balance(const QString &place) const
{
    return withRaw(dbPath(), [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT H_money FROM Hokan_T WHERE H_index = ?"));
        q.addBindValue(place);
        if (!q.exec())
            qFatal("test query failed: %s", qPrintable(q.lastError().text()));
        return q.next() ? q.value(0).toLongLong() : qint64(0);
    });
}

void dropToVersionZero(const TempAppDir &dir)
{
    // The triggers that keep X_ tables current go first: an insert would fail without their table.
    for (const QString &t :
        dir.rows("SELECT name FROM sqlite_master WHERE type='trigger' AND name LIKE 'X\\_%' ESCAPE '\\'"))
        dir.exec("DROP TRIGGER " + t);
    // A virtual table drops its own tables with it, so each drop is followed by a new list.
    for (;;) {
        const QStringList tables
            = dir.rows("SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'X\\_%' ESCAPE '\\' "
                       "ORDER BY sql LIKE 'CREATE VIRTUAL%' DESC LIMIT 1");
        if (tables.isEmpty())
            break;
        dir.exec("DROP TABLE " + tables.first());
    }
    dir.exec("PRAGMA user_version = 0");
}

const QStringList &ledgerTables()
{
    static const QStringList tables {QStringLiteral("Hokan_T"), QStringLiteral("Kubun_T"),
        QStringLiteral("Nyuukin_T"), QStringLiteral("Syukkin_T"), QStringLiteral("N"), QStringLiteral("S"),
        QStringLiteral("Zidourireki_T"), QStringLiteral("Idourireki_T"), QStringLiteral("Ktanaorosi_T")};
    return tables;
}

QStringList ledgerDump(const QString &path, const QStringList &tables)
{
    return withRaw(path, [&](QSqlDatabase &db) {
        QStringList out;
        for (const QString &table : tables) {
            QSqlQuery q(db);
            QStringList literals {QStringLiteral("rowid")};
            if (!q.exec(QStringLiteral("SELECT name FROM pragma_table_info('%1')").arg(table)))
                qFatal("cannot list %s: %s", qPrintable(table), qPrintable(q.lastError().text()));
            while (q.next())
                literals << QStringLiteral("quote(\"%1\")").arg(q.value(0).toString());
            if (!q.exec(
                    QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY rowid").arg(literals.join(u','), table)))
                qFatal("cannot dump %s: %s", qPrintable(table), qPrintable(q.lastError().text()));
            while (q.next()) {
                QStringList cols {table};
                for (int i = 0; i < q.record().count(); ++i)
                    cols << q.value(i).toString();
                out << cols.join(u'|');
            }
        }
        return out;
    });
}

QStringList gridTexts(const Grid &grid)
{
    QStringList heading;
    for (int c = 1; c <= grid.maxCols(); ++c)
        heading << grid.text(c, 0);
    return QStringList {heading.join(u'|')} + gridRows(grid);
}

QStringList gridRows(const Grid &grid, int first, int last, QChar separator)
{
    QList<int> columns;
    for (int c = first; c <= (last > 0 ? last : grid.maxCols()); ++c)
        columns << c;
    return gridRows(grid, columns, separator);
}

QStringList gridRows(const Grid &grid, const QList<int> &columns, QChar separator)
{
    QStringList out;
    for (int r = 1; r <= grid.maxRows(); ++r) {
        QStringList cells;
        for (int c : columns)
            cells << grid.text(c, r);
        out << cells.join(separator);
    }
    return out;
}

QStringList gridColumn(const Grid &grid, int col)
{
    return gridRows(grid, QList<int> {col});
}

int gridRowOf(const Grid &grid, const QString &text, int col)
{
    for (int r = 1; r <= grid.maxRows(); ++r)
        if (grid.text(col, r) == text)
            return r;
    return 0;
}

void deliverPostedEvents()
{
    bool arrived = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&arrived] { arrived = true; }, Qt::QueuedConnection);
    while (!arrived)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

FixedClock clockAt(int y, int m, int d, int hh, int mm, int ss)
{
    return FixedClock(QDateTime(QDate(y, m, d), QTime(hh, mm, ss)));
}

StatementRecorder::StatementRecorder()
{
    Database::setObserver([this](const QString &s) {
        statements << s;
        if (!failOn.isEmpty() && s.contains(failOn)) {
            failOn.clear();
            throw DbError(QStringLiteral("injected failure"));
        }
    });
}

StatementRecorder::~StatementRecorder()
{
    Database::setObserver({});
}
