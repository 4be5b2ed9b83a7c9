// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include "Cp932.h"
#include "Database.h"
#include "LedgerCheck.h"
#include "LedgerFile.h"
#include "LedgerGenerator.h"
#include "Migrations.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace BenchSupport {

QString cacheDir()
{
    const QString env = qEnvironmentVariable("VELMO_LEDGER_CACHE");
    return env.isEmpty() ? QStringLiteral(VELMO_BENCH_DIR "/ledgers") : env;
}

QString workDir()
{
    return QStringLiteral(VELMO_BENCH_DIR "/work");
}

void fail(const QString &what)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(what));
    std::exit(2);
}

QString cachedLedger(qint64 postings, quint64 seed)
{
    const QString path = QDir(cacheDir())
                             .filePath(QStringLiteral("ledger-%1-s%2-v%3.mdb")
                                           .arg(postings)
                                           .arg(seed)
                                           .arg(LedgerGenerator::Version));
    if (QFile::exists(path))
        return path;
    if (!QDir().mkpath(cacheDir()))
        fail(QStringLiteral("cannot make %1").arg(cacheDir()));

    // Made under a temporary name and renamed when complete and checked, so an interrupted
    // run never leaves a half-made ledger in the cache.
    const QString temp = path + QStringLiteral(".tmp-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temp);
    std::fprintf(stderr, "bench: generating a ledger of %lld postings (seed %llu) in %s\n",
        static_cast<long long>(postings), static_cast<unsigned long long>(seed), qPrintable(cacheDir()));
    QElapsedTimer t;
    t.start();
    QString error;
    if (!LedgerGenerator::generate(temp, postings, seed, &error))
        fail(QStringLiteral("generating %1 failed: %2").arg(temp, error));
    const qint64 generated = t.elapsed();
    const LedgerCheck::Result check = LedgerCheck::check(temp);
    if (!check.ok())
        fail(QStringLiteral("the generated ledger is inconsistent: ") + check.problems.join(u'\n'));
    std::fprintf(stderr, "bench: generated in %.1f s, checked in %.1f s\n", generated / 1000.0,
        (t.elapsed() - generated) / 1000.0);
    // Another process may have finished the same ledger meanwhile; either copy will do.
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        if (!QFile::exists(path))
            fail(QStringLiteral("cannot rename %1 to %2").arg(temp, path));
    }
    return path;
}

std::vector<LedgerSize> ledgerSizes()
{
    std::vector<LedgerSize> sizes {{QStringLiteral("large"), LedgerGenerator::LargePostings}};
    if (qEnvironmentVariable("VELMO_BENCH_HUGE") == u"1")
        sizes.push_back({QStringLiteral("huge"), LedgerGenerator::HugePostings});
    return sizes;
}

std::string benchmarkName(const char *what, const LedgerSize &size, const char *peer)
{
    return QStringLiteral("%1/%2%3")
        .arg(QLatin1String(what), size.name, peer ? QStringLiteral("/") + QLatin1String(peer) : QString())
        .toStdString();
}

void SilentDialogs::info(const QString &text)
{
    ++shown;
    last = text;
}

bool SilentDialogs::ask(const QString &text)
{
    ++shown;
    last = text;
    return true;
}

std::optional<QString> SilentDialogs::saveFileName(const QString &, const QString &, const QString &)
{
    ++shown;
    return std::nullopt;
}

QByteArray logText(int lines)
{
    static const QStringList events = {QStringLiteral("収入登録画面起動"), QStringLiteral("支出登録画面起動"),
        QStringLiteral("AP起動"), QStringLiteral("AP終了(ﾎﾞﾀﾝ)"), QStringLiteral("金額移動画面起動"),
        QStringLiteral("収支合計金額照会"), QStringLiteral("自動引落処理画面起動"),
        QStringLiteral("項目別詳細照会画面起動"), QStringLiteral("AP終了(×)"),
        QStringLiteral("CSV出力画面起動")};
    QByteArray out;
    out.reserve(lines * 40);
    QDateTime at(QDate(2025, 12, 31), QTime(21, 30, 0));
    for (int i = 0; i < lines; ++i) {
        const QString line
            = at.toString(QStringLiteral("yyyy/MM/dd H:mm:ss")) + u',' + events[i % events.size()];
        out += Cp932::encode(line);
        out += "\r\n";
        at = at.addSecs(-(97 * 60 + i % 53));
    }
    return out;
}

namespace {

QString appDirTemplate()
{
    QDir().mkpath(workDir());
    return QDir(workDir()).filePath(QStringLiteral("appdir-XXXXXX"));
}

} // namespace

MigratedAppDir::MigratedAppDir(qint64 postings)
    : AppDir(postings)
{
    Migrations::migrate(dbPath());
}

QByteArray statementFile(const QStringList &lines)
{
    return Cp932::encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

AppDir::AppDir(qint64 postings, quint64 seed, int logLines)
    : m_dir(appDirTemplate())
{
    if (!m_dir.isValid())
        fail(QStringLiteral("cannot make a directory under %1").arg(workDir()));
    if (postings == 0) {
        QString error;
        if (!LedgerFile::create(dbPath(), &error))
            fail(error);
    } else if (!QFile::copy(cachedLedger(postings, seed), dbPath())) {
        fail(QStringLiteral("cannot copy the ledger to %1").arg(dbPath()));
    }
    QFile::setPermissions(
        dbPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile log(logPath());
    if (!log.open(QIODevice::WriteOnly) || log.write(logText(logLines)) < 0)
        fail(QStringLiteral("cannot write %1").arg(logPath()));
    log.close();
    // A user's ledger and log are on the disk already. Without this the first commits would
    // pay for writing back the whole fresh copy, and the background writeback would disturb
    // the benchmarks after them.
    for (const QString &file : {dbPath(), logPath()}) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
        if (fd < 0 || ::fsync(fd) != 0)
            fail(QStringLiteral("cannot flush %1").arg(file));
        ::close(fd);
    }
    QFile::copy(QStringLiteral(VELMO_ARROW_GIF), QDir(path()).filePath(QStringLiteral("yazirusi.gif")));
}

QString AppDir::dbPath() const
{
    return QDir(path()).filePath(QStringLiteral("velmo.mdb"));
}

QString AppDir::logPath() const
{
    return QDir(path()).filePath(QStringLiteral("AP.log"));
}

RawDb::RawDb(const QString &path)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(QStringLiteral("sqlite3_open_v2 %1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(m_db))));
    sqlite3_busy_timeout(m_db, 3000);
}

RawDb::~RawDb()
{
    sqlite3_close_v2(m_db);
}

void RawDb::exec(const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString text = QString::fromUtf8(error ? error : "?");
        sqlite3_free(error);
        fail(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql), text));
    }
}

void RawDb::stepAll(const QByteArray &sql, qint64 *sum)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot prepare ") + QString::fromUtf8(sql));
    while (sqlite3_step(s) == SQLITE_ROW) {
        // The text is read as the windows read it; an external call is never left out.
        sqlite3_column_text(s, 0);
        *sum += sqlite3_column_int64(s, sqlite3_column_count(s) - 1);
    }
    sqlite3_finalize(s);
}

void postOneYen(Database &db)
{
    const QString place = LedgerGenerator::storagePlaceNames().constFirst();
    const QString item = LedgerGenerator::incomeItemNames().constFirst();
    qint32 before = 0;
    {
        const Cursor c = db.query(QStringLiteral("SELECT H_index,H_money FROM Hokan_T where (H_index = '")
            + Database::escape(place) + QStringLiteral("')"));
        before = c.integer(QStringLiteral("H_money"));
    }
    db.execute(QStringLiteral("UPDATE Hokan_T SET H_money = ") + QString::number(before + 1)
        + QStringLiteral(" WHERE H_index = '") + Database::escape(place) + QStringLiteral("'"));
    db.insert(QStringLiteral("N"),
        {{QStringLiteral("N_index"), item}, {QStringLiteral("N_hokan"), place},
            {QStringLiteral("N_money"), 1}, {QStringLiteral("N_date"), 20251231},
            {QStringLiteral("N_memo"), QString()}});
}

} // namespace BenchSupport
