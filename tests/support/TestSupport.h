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
    std::optional<QString> openFileName(const QString &filter, const QString &folder) override;
    std::optional<QString> folderName(const QString &folder) override;

    // Answers for ask(), in order; when the queue is empty, ask() answers `defaultAnswer`.
    std::deque<bool> answers;
    bool defaultAnswer = true;
    // Answers for saveFileName(), in order; nullopt is a cancel. Empty queue: cancel.
    std::deque<std::optional<QString>> files;
    // Answers for openFileName() and folderName(), in order; an empty queue cancels.
    std::deque<std::optional<QString>> openFiles;
    std::deque<std::optional<QString>> folders;
    // The folders the pickers opened at.
    QStringList pickerFolders;

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

private:
    QTemporaryDir m_dir;
};

// Every row of the nine tables with its row id, each "table|rowid|columns...", table by table.
QStringList ledgerDump(const QString &path);

// Takes the ledger back to the layout the program had before its own X_ tables: those tables and
// their triggers dropped, and user_version 0.
void dropToVersionZero(const TempAppDir &dir);

class Grid;
// The grid's heading row and every data row, each row's cells joined by "|".
QStringList gridTexts(const Grid &grid);

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
