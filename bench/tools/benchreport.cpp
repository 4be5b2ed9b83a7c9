// SPDX-License-Identifier: GPL-3.0-or-later
// benchreport [--csv <file>] <google-benchmark.json>...
//
// Prints one table of the medians (wall-clock) of every benchmark in the given JSON files,
// with each benchmark's ratio to its baselines and its target, and writes the same as CSV.
// Baselines and targets follow the conventions described at the top of bench/CMakeLists.txt.
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

const QString Raw = QStringLiteral("raw");
const QString Cli = QStringLiteral("cli");
const QStringList peerKinds = {Raw, Cli};

struct Result
{
    QString name;
    double medianNs = NAN;
    int repetitions = 0;
    std::optional<double> targetMs;
    std::optional<double> targetRatio;
    std::optional<double> residentMb; // counter rss_mb: resident size after the work
    std::optional<double> targetResidentMb;
    QString error;
};

double nanosecondsPer(const QString &unit)
{
    if (unit == u"us")
        return 1e3;
    if (unit == u"ms")
        return 1e6;
    if (unit == u"s")
        return 1e9;
    return 1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Reads the medians of one file, in the order the benchmarks ran.
void readFile(const QString &path, std::vector<Result> &results)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "benchreport: cannot read %s\n", qPrintable(path));
        return;
    }
    const QJsonArray runs = QJsonDocument::fromJson(f.readAll()).object().value(u"benchmarks").toArray();
    QStringList order;
    QMap<QString, Result> byName;
    QMap<QString, std::vector<double>> iterations;
    for (const QJsonValue &v : runs) {
        const QJsonObject o = v.toObject();
        // Every figure is wall-clock time (measured or, with manual timing, reported by the
        // benchmark itself); the suffixes Google Benchmark appends for it say nothing here.
        QStringList parts = o.value(u"run_name").toString(o.value(u"name").toString()).split(u'/');
        parts.removeAll(QStringLiteral("real_time"));
        parts.removeAll(QStringLiteral("manual_time"));
        const QString name = parts.join(u'/');
        if (!order.contains(name))
            order << name;
        Result &r = byName[name];
        r.name = name;
        if (o.value(u"error_occurred").toBool())
            r.error = o.value(u"error_message").toString(QStringLiteral("error"));
        const double ns = o.value(u"real_time").toDouble() * nanosecondsPer(o.value(u"time_unit").toString());
        const QString type = o.value(u"run_type").toString();
        if (type == u"iteration") {
            iterations[name].push_back(ns);
        } else if (type == u"aggregate" && o.value(u"aggregate_name").toString() == u"median") {
            r.medianNs = ns;
            r.repetitions = o.value(u"repetitions").toInt();
        } else {
            continue;
        }
        if (o.contains(u"target_ms"))
            r.targetMs = o.value(u"target_ms").toDouble();
        if (o.contains(u"target_ratio"))
            r.targetRatio = o.value(u"target_ratio").toDouble();
        if (o.contains(u"rss_mb"))
            r.residentMb = o.value(u"rss_mb").toDouble();
        if (o.contains(u"target_rss_mb"))
            r.targetResidentMb = o.value(u"target_rss_mb").toDouble();
    }
    for (const QString &name : order) {
        Result r = byName.value(name);
        // Without aggregates (one repetition), the median of the runs there are.
        if (std::isnan(r.medianNs) && !iterations.value(name).empty()) {
            r.medianNs = median(iterations.value(name));
            r.repetitions = static_cast<int>(iterations.value(name).size());
        }
        results.push_back(r);
    }
}

// "Lookup99/large/raw" -> ("Lookup99/large", "raw"); names without a peer part -> (name, "").
std::pair<QString, QString> splitPeer(const QString &name)
{
    QStringList parts = name.split(u'/');
    for (const QString &kind : peerKinds) {
        if (parts.removeOne(kind))
            return {parts.join(u'/'), kind};
    }
    return {name, QString()};
}

QString duration(double ns)
{
    if (std::isnan(ns))
        return QStringLiteral("-");
    struct Unit
    {
        double factor;
        const char *name;
    };
    static const Unit units[] = {{1e9, "s"}, {1e6, "ms"}, {1e3, "us"}, {1, "ns"}};
    for (const Unit &u : units) {
        if (ns >= u.factor || u.factor == 1) {
            const double x = ns / u.factor;
            const int decimals = x >= 100 ? 0 : x >= 10 ? 1 : 2;
            return QString::number(x, 'f', decimals) + u' ' + QLatin1String(u.name);
        }
    }
    return {};
}

QString ratio(double x)
{
    return std::isnan(x) ? QString() : QString::number(x, 'f', x >= 10 ? 1 : 2) + u'x';
}

QString csvNumber(double x)
{
    return std::isnan(x) ? QString() : QString::number(x, 'g', 6);
}

struct Row
{
    Result result;
    QMap<QString, double> peerNs; // kind -> median
    double ratioTo(const QString &kind) const
    {
        return peerNs.contains(kind) ? result.medianNs / peerNs.value(kind) : NAN;
    }
    QString target() const
    {
        QStringList t;
        if (result.targetMs)
            t << QStringLiteral("< %1").arg(duration(*result.targetMs * 1e6));
        if (result.targetRatio)
            t << QStringLiteral("< %1 raw").arg(ratio(*result.targetRatio));
        return t.join(QStringLiteral(", "));
    }
    QString verdict() const
    {
        if (!result.error.isEmpty())
            return QStringLiteral("ERROR: ") + result.error;
        bool missed = false;
        if (result.targetMs && !(result.medianNs <= *result.targetMs * 1e6))
            missed = true;
        if (result.targetRatio && !(ratioTo(Raw) <= *result.targetRatio))
            missed = true;
        if (!result.targetMs && !result.targetRatio)
            return {};
        return missed ? QStringLiteral("MISSED") : QStringLiteral("ok");
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString csvPath;
    if (args.size() >= 2 && args[0] == u"--csv") {
        csvPath = args[1];
        args = args.mid(2);
    }

    std::vector<Result> results;
    for (const QString &file : args)
        readFile(file, results);

    // Baselines join the row of the benchmark they belong to; a baseline whose benchmark is
    // missing keeps a row of its own.
    std::vector<Row> rows;
    QMap<QString, size_t> rowOf;
    for (const Result &r : results) {
        if (splitPeer(r.name).second.isEmpty()) {
            rowOf.insert(r.name, rows.size());
            rows.push_back({r, {}});
        }
    }
    for (const Result &r : results) {
        const auto [base, kind] = splitPeer(r.name);
        if (kind.isEmpty())
            continue;
        if (rowOf.contains(base))
            rows[rowOf.value(base)].peerNs.insert(kind, r.medianNs);
        else
            rows.push_back({r, {}});
    }
    // A painted variant ("HistoryLoad100k/large/painted") does the reads of the unpainted one
    // and then draws: without a baseline of its own it is measured against that one's.
    for (Row &row : rows) {
        QStringList parts = row.result.name.split(u'/');
        if (row.peerNs.contains(Raw) || !parts.removeOne(QStringLiteral("painted")))
            continue;
        const QString base = parts.join(u'/');
        if (rowOf.contains(base))
            row.peerNs.insert(Raw, rows[rowOf.value(base)].peerNs.value(Raw, NAN));
    }

    const QStringList headings = {QStringLiteral("benchmark"), QStringLiteral("median"),
        QStringLiteral("raw"), QStringLiteral("vs raw"), QStringLiteral("cli"), QStringLiteral("vs cli"),
        QStringLiteral("target"), QString()};
    std::vector<QStringList> cells;
    int repetitions = 0;
    for (const Row &row : rows) {
        repetitions = std::max(repetitions, row.result.repetitions);
        cells.push_back({row.result.name, duration(row.result.medianNs),
            row.peerNs.contains(Raw) ? duration(row.peerNs.value(Raw)) : QString(), ratio(row.ratioTo(Raw)),
            row.peerNs.contains(Cli) ? duration(row.peerNs.value(Cli)) : QString(), ratio(row.ratioTo(Cli)),
            row.target(), row.verdict()});
    }
    std::vector<qsizetype> width(headings.size());
    for (qsizetype c = 0; c < headings.size(); ++c) {
        width[c] = headings[c].size();
        for (const QStringList &line : cells)
            width[c] = std::max(width[c], line[c].size());
    }
    const auto print = [&](const QStringList &line) {
        QString text;
        for (qsizetype c = 0; c < line.size(); ++c) {
            // Names and targets read left to right; figures line up on the right.
            const bool left = c == 0 || c >= 6;
            text += (left ? line[c].leftJustified(width[c]) : line[c].rightJustified(width[c]))
                + QStringLiteral("  ");
        }
        std::printf("%s\n", qPrintable(text.trimmed()));
    };
    std::printf("\n");
    print(headings);
    qsizetype total = 0;
    for (qsizetype w : width)
        total += w + 2;
    std::printf("%s\n", qPrintable(QString(total - 2, u'-')));
    for (const QStringList &line : cells)
        print(line);
    std::printf("%s\n", qPrintable(QString(total - 2, u'-')));
    for (const Row &row : rows) {
        const Result &r = row.result;
        if (!r.residentMb)
            continue;
        QString line
            = QStringLiteral("resident size after %1: %2 MB").arg(r.name).arg(*r.residentMb, 0, 'f', 1);
        if (r.targetResidentMb) {
            line += QStringLiteral(" (target < %1 MB) ").arg(*r.targetResidentMb)
                + (*r.residentMb <= *r.targetResidentMb ? QStringLiteral("ok") : QStringLiteral("MISSED"));
        }
        std::printf("%s\n", qPrintable(line));
    }
    std::printf("medians of %d repetitions, wall-clock time; \"vs raw\" = median / median of the same work\n"
                "by the engine alone, \"vs cli\" = median / the same work by the sqlite3 command line\n",
        repetitions);

    if (!csvPath.isEmpty()) {
        QFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            std::fprintf(stderr, "benchreport: cannot write %s\n", qPrintable(csvPath));
            return 1;
        }
        QString out = QStringLiteral("benchmark,median_ms,raw_ms,ratio_raw,cli_ms,ratio_cli,target_ms,target_"
                                     "ratio,verdict,repetitions\n");
        for (const Row &row : rows) {
            out += QStringList {row.result.name, csvNumber(row.result.medianNs / 1e6),
                       csvNumber(row.peerNs.value(Raw, NAN) / 1e6), csvNumber(row.ratioTo(Raw)),
                       csvNumber(row.peerNs.value(Cli, NAN) / 1e6), csvNumber(row.ratioTo(Cli)),
                       row.result.targetMs ? csvNumber(*row.result.targetMs) : QString(),
                       row.result.targetRatio ? csvNumber(*row.result.targetRatio) : QString(),
                       row.verdict().replace(u',', u';'), QString::number(row.result.repetitions)}
                       .join(u',')
                + u'\n';
        }
        csv.write(out.toUtf8());
        std::printf("CSV: %s\n", qPrintable(csvPath));
    }
    return 0;
}
