// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

// The one failure of the connection layer. A handler catches it once and shows
// "DB接続失敗"; the transaction it interrupted has been rolled back by then.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &what, int nativeCode = 0)
        : std::runtime_error(what.toStdString())
        , m_code(nativeCode)
    { }
    // SQLite's extended result code when the engine reported one (5 busy, 13 full, ...).
    int nativeCode() const { return m_code; }

private:
    int m_code;
};

class ChangeRecorder;
struct sqlite3;

// The rows of one SELECT, read forward only. Lives no longer than its Database.
class Cursor
{
public:
    explicit Cursor(QSqlQuery query);
    Cursor(Cursor &&) = default;
    Cursor &operator=(Cursor &&) = default;

    bool eof() const { return m_eof; }
    void next();
    // Rows moved past so far; after the last row, the number of rows.
    int count() const { return m_count; }

    // Column values by name, in any letter case.
    QVariant value(const QString &column) const;
    // NULL reads as the empty text.
    QString text(const QString &column) const;
    // A 32-bit integer; NULL, text that is no number, or a value out of range is a DbError.
    qint32 integer(const QString &column) const;
    // A 64-bit integer, for sums.
    qint64 integer64(const QString &column) const;

    // The same by position, for loops over many rows: look the position up once.
    int indexOf(const QString &column) const;
    QVariant value(int index) const;
    QString text(int index) const;
    qint32 integer(int index) const;
    qint64 integer64(int index) const;

    // Reads the current row and every one after it in one go, for long lists: `cell` gets the
    // text of each column at `positions` (NULL as the empty text), row by row, in the order
    // given. The text is valid only during the call. The values come straight from the engine
    // instead of through a QVariant per value, which takes the time of long lists down to
    // about that of the engine's own reads. Afterwards the cursor is past its last row.
    using CellSink = std::function<void(int position, QStringView text)>;
    void readTexts(const std::vector<int> &positions, const CellSink &cell);

private:
    void checkRow(int index) const;

    QSqlQuery m_query;
    QSqlRecord m_record;
    bool m_eof = true;
    int m_count = 0;
};

// One connection on the application directory's velmo.mdb, for the span of one handler.
// Opening never creates the file. Writes run in one transaction: call beginWrite() before
// the first statement and commit() after the last; a Database destroyed without commit()
// rolls back, so an exception anywhere leaves nothing half-written.
class Database
{
public:
    explicit Database(const QString &path);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Statements are passed as the windows write them; see SqlDialect for the forms.
    Cursor query(const QString &sql);
    void execute(const QString &sql);
    // Appends one row, setting the named columns in the order given.
    void insert(const QString &table, const std::vector<std::pair<QString, QVariant>> &columns);

    // Statements with "?" marks whose values are bound in order (a null text binds the empty
    // text). The observer sees the statement as written, marks and all. No dialect
    // translation: write them in SQLite's own forms.
    Cursor query(const QString &sql, const QVariantList &values);
    void execute(const QString &sql, const QVariantList &values);
    // A bound read that the observer does not see: the ledger's reads of its own rules (a card's
    // limit, the stocktakes of a place), which stand between the statements a window is known
    // to issue.
    Cursor lookup(const QString &sql, const QVariantList &values);

    // Before a long read on a fresh connection: the file is mapped into memory, which spares
    // copying every page read into the connection's cache first.
    void mapForReading();

    // A write transaction that is not an action of the history (migrations, the history's
    // own upkeep).
    void beginWrite();
    // A write transaction that is one action of the history: every row it changes is recorded,
    // and commit() writes the record (when anything changed) in the same transaction. `window`
    // names the window that acts as the user knows it, `description` what it does.
    void beginAction(const QString &window, const QString &description, const QDateTime &when);
    // Names the action once its work has shown what it did.
    void setActionDescription(const QString &description) { m_description = description; }
    // Ends the transaction; the change is announced through LedgerChanges.
    void commit();
    bool inTransaction() const { return m_inTransaction; }

    // Around a statement that sets table.column from the text `from` to `to` and changes
    // nothing else (a rename): the history records the rows it reaches by their row ids alone,
    // without reading each row's other values. Any other change is recorded as always.
    class ExpectedRename
    {
    public:
        ExpectedRename(Database &db, const QString &table, const QString &column, const QString &from,
            const QString &to);
        ~ExpectedRename();
        ExpectedRename(const ExpectedRename &) = delete;
        ExpectedRename &operator=(const ExpectedRename &) = delete;
        // Whether the rows are recorded so (an action is being recorded, the column holds texts).
        bool active() const { return m_recorder != nullptr; }
        // The row ids of the rows recorded so far.
        std::vector<qint64> rows() const;

    private:
        Database &m_db;
        ChangeRecorder *m_recorder = nullptr;
    };

    // The engine's own handle, for the history's work row by row. Statements run on it
    // directly are announced to the observer through announce() first.
    sqlite3 *handle() const;
    void announce(const QString &statement);

    // Doubles single quotes so that a text can stand between two of them in a statement.
    static QString escape(const QString &text);

    // Tests observe (and may fail, by throwing DbError) every statement before it runs.
    using Observer = std::function<void(const QString &statement)>;
    static void setObserver(Observer observer);

private:
    QSqlQuery run(const QString &statement, const QString &original);
    QSqlQuery runBound(const QString &sql, const QVariantList &values, bool observed);
    void rollback() noexcept;

    QString m_name;
    QString m_path;
    bool m_inTransaction = false;
    std::unique_ptr<ChangeRecorder> m_recorder;
    QString m_window, m_description;
    // While the history writes its entry: its statements are the connection layer's own, not
    // the window's, and are not shown to the observer.
    bool m_bookkeeping = false;
    QDateTime m_when;
};
