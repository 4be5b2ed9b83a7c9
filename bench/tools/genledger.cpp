// SPDX-License-Identifier: GPL-3.0-or-later
// genledger <path> <small|large|huge|postings> [seed]   makes a ledger of that size
// genledger <path> demo [seed [yyyymmdd]]               a household's two years up to that day
// genledger --check <path>                              replays a ledger's history
#include "LedgerCheck.h"
#include "LedgerGenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr,
        "usage: genledger <path> <small|large|huge|postings> [seed]\n"
        "       genledger <path> demo [seed [yyyymmdd]]   (default: today)\n"
        "       genledger --check <path>\n");
    return 2;
}

int check(const QString &path)
{
    QElapsedTimer t;
    t.start();
    const LedgerCheck::Result r = LedgerCheck::check(path);
    for (const QString &p : r.problems)
        std::printf("%s\n", qPrintable(p));
    std::printf("%s: %lld history rows replayed in %.2f s, %s\n", qPrintable(path),
        static_cast<long long>(r.rowsReplayed), t.elapsed() / 1000.0, r.ok() ? "consistent" : "INCONSISTENT");
    return r.ok() ? 0 : 1;
}

void report(const QString &path, const LedgerGenerator::Summary &s, qint64 ms)
{
    std::printf("%s: %lld income, %lld expense (%lld automatic debits), %lld transfers, %lld stocktakes "
                "in %.2f s\n",
        qPrintable(path), static_cast<long long>(s.income), static_cast<long long>(s.expense),
        static_cast<long long>(s.debits), static_cast<long long>(s.transfers),
        static_cast<long long>(s.stocktakes), ms / 1000.0);
}

int demo(const QStringList &args)
{
    if (args.size() > 4)
        return usage();
    bool ok = true;
    const quint64 seed = args.size() >= 3 ? args[2].toULongLong(&ok) : 1;
    const QDate day
        = args.size() == 4 ? QDate::fromString(args[3], QStringLiteral("yyyyMMdd")) : QDate::currentDate();
    if (!ok || !day.isValid())
        return usage();
    QElapsedTimer t;
    t.start();
    QString error;
    LedgerGenerator::Summary s;
    if (!LedgerGenerator::generateDemo(args[0], day, seed, &error, &s)) {
        std::fprintf(stderr, "genledger: %s\n", qPrintable(error));
        return 1;
    }
    report(args[0], s, t.elapsed());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == u"--check")
        return check(args[1]);
    if (args.size() >= 2 && args[1] == u"demo")
        return demo(args);
    if (args.size() < 2 || args.size() > 3)
        return usage();

    qint64 postings = 0;
    if (args[1] == u"small")
        postings = LedgerGenerator::SmallPostings;
    else if (args[1] == u"large")
        postings = LedgerGenerator::LargePostings;
    else if (args[1] == u"huge")
        postings = LedgerGenerator::HugePostings;
    else
        postings = args[1].toLongLong();
    bool ok = true;
    const quint64 seed = args.size() == 3 ? args[2].toULongLong(&ok) : 1;
    if (postings <= 0 || !ok)
        return usage();

    QElapsedTimer t;
    t.start();
    QString error;
    LedgerGenerator::Summary s;
    if (!LedgerGenerator::generate(args[0], postings, seed, &error, &s)) {
        std::fprintf(stderr, "genledger: %s\n", qPrintable(error));
        return 1;
    }
    report(args[0], s, t.elapsed());
    return 0;
}
