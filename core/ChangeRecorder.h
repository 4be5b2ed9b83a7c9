// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

struct sqlite3;
struct sqlite3_value;

// One value as the engine stored it: its storage class and its exact contents.
struct StoredValue
{
    enum Type : char { Null = 0, Integer = 1, Real = 2, Text = 3, Blob = 4 };
    Type type = Null;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; // Text (UTF-8) and Blob

    bool operator==(const StoredValue &other) const = default;
};

// One row change of an action, as it is played backwards.
struct RecordedChange
{
    enum Kind : char { Insert = 'I', Delete = 'D', Update = 'U', Run = 'R' };
    Kind kind = Insert;
    QString table;
    // Insert: the new row's id and values. Delete: the old row's. Update: the id and values
    // before, and the id after.
    qint64 rowid = 0;
    qint64 newRowid = 0;
    std::vector<StoredValue> values;
    // Update: the columns that changed, with their values after.
    std::vector<std::pair<int, StoredValue>> changed;
    // Run: one column of many rows set from one value to another (a rename), by row id.
    int column = 0;
    StoredValue before, after;
    std::vector<qint64> rowids;
};

// While attached to a connection, records every row change SQLite's pre-update hook reports
// (old values, new values and row id, also for tables without a declared key) into a compact
// list. Consecutive changes of one column of many rows from the same value to the same value
// (what a rename does) are kept as one run of row ids rather than row by row. The history's
// own tables and SQLite's internal ones are left out.
class ChangeRecorder
{
public:
    explicit ChangeRecorder(sqlite3 *db);
    ~ChangeRecorder();
    ChangeRecorder(const ChangeRecorder &) = delete;
    ChangeRecorder &operator=(const ChangeRecorder &) = delete;

    void detach();
    // The changes so far, encoded; empty when nothing changed.
    QByteArray changes();

    static std::vector<RecordedChange> decode(const QByteArray &changes);

    // Told before a statement that sets one column of a table from one text to another and
    // nothing else (a rename): a row of that table whose column held `before` is added to the
    // run by its row id alone, without reading its other values. Any other change is recorded
    // as always. expectNothing() ends it.
    void expectRun(const QByteArray &table, int column, const QByteArray &before, const QByteArray &after);
    void expectNothing();
    // The row ids added to the expected run since expectRun().
    const std::vector<qint64> &expectedRows() const { return m_expected.rows; }

private:
    static void hook(void *self, sqlite3 *db, int op, const char *dbName, const char *table, long long key1,
        long long key2);
    void record(int op, const char *table, qint64 key1, qint64 key2);
    void flushRun();

    sqlite3 *m_db = nullptr;
    bool m_attached = false;
    QByteArray m_out;
    // The run being collected: its table, column, encoded values before and after, row ids.
    QByteArray m_runTable;
    int m_runColumn = -1;
    QByteArray m_runBefore, m_runAfter;
    std::vector<qint64> m_runRows;
    // Scratch space for one row's values before and after, and one column's encoded.
    std::vector<sqlite3_value *> m_oldValues, m_newValues;
    QByteArray m_scratchBefore, m_scratchAfter;
    // The run a statement is known to make: its table, column, the text before and both encoded.
    struct Expected
    {
        QByteArray table;
        int column = -1;
        QByteArray before, encodedBefore, encodedAfter;
        std::vector<qint64> rows;
    } m_expected;
    bool recordExpected(const char *table, qint64 key1, qint64 key2);
};
