// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reliability tests need processes of their own: one to kill at a random moment, one
// under a file-size limit, one as an unprivileged user, one in a private mount namespace.
// Each test program re-runs its own binary as "<binary> --child <role> <arguments...>"; the
// child drives the real windows and reports on its standard output, one line per event.

#include "Dialogs.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <random>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace Child {

// One line on standard output, unbuffered, so that a kill never loses what was said.
// Line breaks inside the text are written as "\n" so that one event stays one line.
inline void say(const QString &line)
{
    QString text = line;
    text.replace(QLatin1String("\r"), QLatin1String("\\r"))
        .replace(QLatin1String("\n"), QLatin1String("\\n"));
    const QByteArray bytes = text.toUtf8() + '\n';
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(1, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

// Dialogs of a child: every text shown becomes a line "info <text>" or "ask <text>";
// questions are answered Yes; the save dialog answers the path it was given.
class ReportingDialogs : public Dialogs
{
public:
    void info(const QString &text) override
    {
        say(QStringLiteral("info ") + text);
        last = text;
    }
    bool ask(const QString &text) override
    {
        say(QStringLiteral("ask ") + text);
        return true;
    }
    std::optional<QString> saveFileName(const QString &, const QString &, const QString &) override
    {
        return saveAs.isEmpty() ? std::nullopt : std::optional<QString>(saveAs);
    }
    QString saveAs;
    QString last;
};

// The child's lines, as the parent reads them back.
struct Report
{
    Report() = default;
    explicit Report(QStringList l)
        : lines(std::move(l))
    { }

    QStringList lines;
    bool started = false;
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString errors;

    QStringList infos() const { return prefixed(QStringLiteral("info ")); }
    QStringList prefixed(const QString &prefix) const
    {
        QStringList out;
        for (const QString &l : lines) {
            if (l.startsWith(prefix))
                out << l.mid(prefix.size());
        }
        return out;
    }
    bool finishedCleanly() const { return exitStatus == QProcess::NormalExit && exitCode == 0; }
};

inline QStringList splitLines(const QByteArray &out)
{
    QStringList lines = QString::fromUtf8(out).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString &l : lines)
        l.replace(QLatin1String("\\n"), QLatin1String("\n"))
            .replace(QLatin1String("\\r"), QLatin1String("\r"));
    return lines;
}

// Runs this binary as a child with the given role and arguments and waits for it.
// `modifier` runs in the child between fork and exec (resource limits, user).
inline Report run(const QStringList &args, const std::function<void()> &modifier = {},
    const QString &program = QString(), int timeoutMs = 120000)
{
    QProcess p;
    if (modifier)
        p.setChildProcessModifier(modifier);
    p.start(program.isEmpty() ? QCoreApplication::applicationFilePath() : program,
        program.isEmpty() ? QStringList {QStringLiteral("--child")} + args : args);
    Report r;
    r.started = p.waitForStarted(timeoutMs);
    if (!r.started || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.errors = QStringLiteral("child did not finish: ") + p.errorString();
    }
    r.lines = splitLines(p.readAllStandardOutput());
    r.errors += QString::fromLocal8Bit(p.readAllStandardError());
    r.exitCode = p.exitCode();
    r.exitStatus = p.exitStatus();
    return r;
}

// Starts this binary as a child with the given role and arguments, waits for its line
// "ready", kills it with SIGKILL after a random pause below maxPauseMs and returns what it said
// (a line "not started" or "never ready" when it got no further).
template <typename Random> QStringList runAndKill(const QStringList &args, Random &rng, int maxPauseMs)
{
    QProcess child;
    child.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    child.start(QCoreApplication::applicationFilePath(), QStringList {QStringLiteral("--child")} + args);
    if (!child.waitForStarted(30000))
        return {QStringLiteral("not started")};
    QByteArray out;
    while (!out.contains("ready\n")) {
        if (!child.waitForReadyRead(60000)) {
            child.kill();
            child.waitForFinished(30000);
            return splitLines(out) << QStringLiteral("never ready");
        }
        out += child.readAllStandardOutput();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % unsigned(maxPauseMs)));
    child.kill();
    child.waitForFinished(30000);
    return splitLines(out + child.readAllStandardOutput());
}

// An integer from the environment, or the fallback when it is unset or not a number.
inline int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

// The number of kills a crash test makes (VELMO_CRASH_KILLS) and its random source, seeded by
// VELMO_CRASH_SEED or at random.
inline int crashKills(int fallback)
{
    return envInt("VELMO_CRASH_KILLS", fallback);
}
inline std::mt19937 crashRandom()
{
    return std::mt19937(quint32(envInt("VELMO_CRASH_SEED", int(std::random_device {}() >> 1))));
}

} // namespace Child

// main() of a reliability test program: "--child <role> ..." runs the child, anything else
// runs the test class as QTEST_MAIN would.
#define RELIABILITY_MAIN(TestObject, childMain)                                                              \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        QApplication app(argc, argv);                                                                        \
        if (argc >= 2 && qstrcmp(argv[1], "--child") == 0)                                                   \
            return childMain(app.arguments().mid(2));                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
