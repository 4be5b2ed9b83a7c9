// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveInWriter.h"

#include "Database.h"

#include <sqlite3.h>

struct MoveInWriter::Statements
{
    QHash<const char *, sqlite3_stmt *> prepared;
    ~Statements()
    {
        for (sqlite3_stmt *s : std::as_const(prepared))
            sqlite3_finalize(s);
    }
};

MoveInWriter::MoveInWriter(Database &db)
    : m_db(db)
    , m_statements(std::make_unique<Statements>())
{ }

MoveInWriter::~MoveInWriter() = default;

void MoveInWriter::run(const char *sql, const QVariantList &values)
{
    const QString text = QString::fromUtf8(sql);
    // Announced for every row, as the connection announces each statement it runs.
    m_db.announce(text);
    sqlite3 *handle = m_db.handle();
    sqlite3_stmt *&s = m_statements->prepared[sql];
    if (!s && sqlite3_prepare_v2(handle, sql, -1, &s, nullptr) != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_finalize(s);
        s = nullptr;
        throw DbError(text + QStringLiteral(": ") + why);
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values.at(i);
        if (v.typeId() == QMetaType::QString) {
            const QByteArray utf8 = v.toString().toUtf8();
            sqlite3_bind_text(s, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(s, i + 1, v.toLongLong());
        }
    }
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE)
        throw DbError(text + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(handle)),
            sqlite3_extended_errcode(handle));
}

void MoveInWriter::addPlace(const QString &name, qint32 balance)
{
    run("INSERT INTO Hokan_T (H_index, H_money, H_name, H_memo) VALUES (?, ?, '', '')", {name, balance});
}

void MoveInWriter::setBalance(const QString &place, qint32 balance)
{
    run("UPDATE Hokan_T SET H_money = ? WHERE H_index = ?", {balance, place});
}

void MoveInWriter::addCategory(const QString &name)
{
    run("INSERT INTO Kubun_T (K_index, K_memo) VALUES (?, '')", {name});
}

void MoveInWriter::addItem(bool income, const QString &name, const QString &category, const QString &place)
{
    if (income)
        run("INSERT INTO Nyuukin_T (N_index, N_kubun, N_hokan, N_memo) VALUES (?, ?, ?, '')",
            {name, category, place});
    else
        run("INSERT INTO Syukkin_T (S_index, S_kubun, S_hokan, S_memo) VALUES (?, ?, ?, '')",
            {name, category, place});
}

void MoveInWriter::post(
    bool income, const QString &item, const QString &place, qint32 money, int date, const QString &memo)
{
    if (income)
        run("INSERT INTO N (N_index, N_hokan, N_money, N_date, N_memo) VALUES (?, ?, ?, ?, ?)",
            {item, place, money, date, memo});
    else
        run("INSERT INTO S (S_index, S_hokan, S_money, S_date, S_memo) VALUES (?, ?, ?, ?, ?)",
            {item, place, money, date, memo});
}

void MoveInWriter::transfer(
    const QString &from, const QString &to, qint32 money, int date, const QString &memo)
{
    run("INSERT INTO Idourireki_T (I_hokanmoto, I_hokansaki, I_money, I_day, I_memo) VALUES (?, ?, ?, ?, ?)",
        {from, to, money, date, memo});
}

void MoveInWriter::stocktake(
    const QString &place, int date, qint32 before, qint32 after, const QString &reason)
{
    run("INSERT INTO Ktanaorosi_T (K_hokan, K_bmoney, K_amoney, K_riyuu, K_day) VALUES (?, ?, ?, ?, ?)",
        {place, before, after, reason, date});
}

void MoveInWriter::remember(const QString &layout, const QString &id)
{
    run("INSERT OR IGNORE INTO X_movein_id (XM_layout, XM_id) VALUES (?, ?)", {layout, id});
}
