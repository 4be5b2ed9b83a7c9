// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppContext.h"
#include "Clock.h"
#include "Dialogs.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <deque>

// Answers every dialog from a script and records what was shown.
class ScriptedDialogs : public Dialogs
{
public:
    void info(const QString &text) override;
    bool ask(const QString &text) override;
    std::optional<QString> saveFileName(
        const QString &filter, const QString &folder, const QString &proposedName) override;

    // Answers for ask(), in order; when the queue is empty, ask() answers `defaultAnswer`.
    std::deque<bool> answers;
    bool defaultAnswer = true;
    // Answers for saveFileName(), in order; nullopt is a cancel. Empty queue: cancel.
    std::deque<std::optional<QString>> files;

    // Every text shown, notices and questions alike, in order.
    QStringList shown;
    QStringList infos;
    QStringList asked;
    struct SaveRequest
    {
        QString filter, folder, proposedName;
    };
    std::vector<SaveRequest> saveRequests;

    void clear();
};

// A temporary application directory with a fresh ledger, an empty log and the arrow.
class TempAppDir
{
public:
    explicit TempAppDir(bool withLedger = true);

    QString path() const { return m_dir.path(); }
    QString dbPath() const;
    QString logPath() const;

    // A context on this directory with the given dialogs and clock.
    AppContext context(Dialogs &dialogs, const Clock &clock) const;

    // Runs statements directly on the ledger (setting up and checking tests).
    void exec(const QString &sql) const;
    QVariant scalar(const QString &sql) const;
    // All rows of a query, each row's columns joined by "|".
    QStringList rows(const QString &sql) const;
    // The stored balance of a place (0 when there is no such place).
    qint64 balance(const QString &place) const;

private:
    QTemporaryDir m_dir;
};

// The nine tables the windows write.
const QStringList &ledgerTables();

// Every row of the tables (the nine when none are named) with its row id, each
// "table|rowid|columns..." with every value as an SQL literal, so that 500 and '500' differ.
QStringList ledgerDump(const QString &path, const QStringList &tables = ledgerTables());

// Takes the ledger back to the layout the program had before its own X_ tables: those tables and
// their triggers dropped, and user_version 0.
void dropToVersionZero(const TempAppDir &dir);

class Grid;
// The grid's heading row and every data row, each row's cells joined by "|".
QStringList gridTexts(const Grid &grid);
// Every data row (1 to maxRows), the cells of columns first to last (to maxCols when last is 0)
// joined by the separator.
QStringList gridRows(const Grid &grid, int first = 1, int last = 0, QChar separator = u'|');
// Every data row, the cells of the given columns joined by the separator.
QStringList gridRows(const Grid &grid, const QList<int> &columns, QChar separator = u'|');
// Column col of every data row, top to bottom.
QStringList gridColumn(const Grid &grid, int col);
// The first data row whose cell in column col reads text; 0 when there is none.
int gridRowOf(const Grid &grid, const QString &text, int col = 1);

// The child of parent with that object name; a missing one ends the test program, naming it.
template <typename T> T *child(const QObject *parent, const char *name)
{
    T *c = parent->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal(
            "no %s named %s in %s", T::staticMetaObject.className(), name, qPrintable(parent->objectName()));
    return c;
}

// Delivers every event posted before the call, by posting one after them and processing events
// until it arrives: what they would do has then been done.
void deliverPostedEvents();

// A clock fixed at the given local date and time.
FixedClock clockAt(int y, int m, int d, int hh = 9, int mm = 5, int ss = 7);

// Collects the statements the connection layer runs while it lives.
class StatementRecorder
{
public:
    StatementRecorder();
    ~StatementRecorder();
    QStringList statements;
    // Throw DbError when a statement containing this text is about to run (once).
    QString failOn;
};
