// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

// Lowers the largest file this process may write, so that a write fails part-way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit limit {bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    rlimit m_old {};
};

// The whole file; empty when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Skips the running test when a program it runs is not installed, naming the Debian package
// that brings it (scripts/install-deps installs every one of them).
#define REQUIRE_PROGRAM(program, package)                                                                    \
    do {                                                                                                     \
        if (QStandardPaths::findExecutable(QStringLiteral(program)).isEmpty())                               \
            QSKIP(program " is not installed: the Debian package " package                                   \
                          " brings it (scripts/install-deps)");                                              \
    } while (false)
