// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main() of a benchmark program: a QApplication on the offscreen platform (unless
// QT_QPA_PLATFORM says otherwise), then Google Benchmark with its usual command line.
// Put VELMO_BENCHMARK_MAIN() at the end of a bench_<name>.cpp instead of BENCHMARK_MAIN().

#include <QApplication>
#include <benchmark/benchmark.h>

#define VELMO_BENCHMARK_MAIN()                                                                               \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QApplication app(argc, argv);                                                                        \
        benchmark::Initialize(&argc, argv);                                                                  \
        if (benchmark::ReportUnrecognizedArguments(argc, argv))                                              \
            return 1;                                                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                                 \
        benchmark::Shutdown();                                                                               \
        return 0;                                                                                            \
    }                                                                                                        \
    static_assert(true, "")
