// SPDX-License-Identifier: GPL-3.0-or-later
// From start to the main menu on the screen: in this process (the window's construction,
// the task registry, the load that logs "AP起動", showing it until it is exposed), and as the
// real program started afresh (until its start line is in the log, which the main menu
// writes just before it shows itself).
#include "BenchMain.h"
#include "BenchSupport.h"
#include "LedgerGenerator.h"
#include "MainMenu.h"
#include "Tasks.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <optional>

namespace {

using namespace BenchSupport;

// A user who never clears the log: a few lines a day over years.
constexpr int logLines = 10'000;

bool resetLog(const QString &path, const QByteArray &log)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(log) == log.size();
}

void startMainMenu(benchmark::State &state)
{
    AppDir dir(LedgerGenerator::LargePostings, 1, logLines);
    const QByteArray log = logText(logLines);
    const AppContext context = dir.context();
    for (auto _ : state) {
        state.PauseTiming();
        if (!resetLog(dir.logPath(), log))
            state.SkipWithError("cannot reset the log");
        std::optional<MainMenu> menu;
        state.ResumeTiming();

        menu.emplace(context);
        menu->setQuit([] {});
        registerTasks(*menu);
        menu->load();
        menu->show();
        if (!QTest::qWaitForWindowExposed(&*menu)) {
            state.SkipWithError("the main menu was never exposed");
            break;
        }

        state.PauseTiming();
        menu.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    if (dir.dialogs.shown > 0)
        state.SkipWithError(qPrintable(dir.dialogs.last));
    state.counters["target_ms"] = 300;
}

// The real program, started in its own application directory (a copy of the binary beside
// a large ledger and a long log).
void startProgram(benchmark::State &state)
{
    AppDir dir(LedgerGenerator::LargePostings, 1, logLines);
    const QString program = QDir(dir.path()).filePath(QStringLiteral("velmo"));
    if (!QFile::copy(QStringLiteral(VELMO_BINARY), program)) {
        state.SkipWithError("cannot copy the program");
        return;
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray log = logText(logLines);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    for (auto _ : state) {
        state.PauseTiming();
        if (!resetLog(dir.logPath(), log))
            state.SkipWithError("cannot reset the log");
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProgram(program);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timeout;
        state.ResumeTiming();

        p.start();
        timeout.start();
        // The log is replaced in one rename, so its size changes at once.
        while (QFileInfo(dir.logPath()).size() == log.size() && timeout.elapsed() < 20'000)
            QThread::usleep(200);

        state.PauseTiming();
        const bool started = timeout.elapsed() < 20'000;
        p.kill();
        p.waitForFinished();
        state.ResumeTiming();
        if (!started) {
            state.SkipWithError("the program never wrote its start line");
            break;
        }
    }
    state.counters["target_ms"] = 300;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("StartMainMenu", startMainMenu)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("StartProgram", startProgram)->Unit(benchmark::kMillisecond)->UseRealTime();
    return true;
}();

} // namespace

VELMO_BENCHMARK_MAIN();
