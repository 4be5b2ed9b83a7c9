// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Children that give up root, for the cases where file permissions must apply.

#include "ChildProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// Gives up root for good: as "nobody", file permissions apply.
inline constexpr int CannotDropRoot = 97;
inline void becomeNobody()
{
    if (geteuid() != 0)
        return;
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
        _exit(CannotDropRoot);
}

// The test binary, copied where an unprivileged user can run it (a build directory under a
// home directory may be closed to others).
inline QString binaryFor(const QTemporaryDir &where)
{
    const QString copy = where.path() + QStringLiteral("/childbin");
    if (!QFileInfo::exists(copy))
        QFile::copy(QCoreApplication::applicationFilePath(), copy);
    return copy;
}

// Opens a directory tree to everybody (QTemporaryDir makes it private), so that the child
// that gave up root can reach it.
inline void openToAll(const QString &path)
{
    chmod(QFile::encodeName(path).constData(), 0777);
}

inline void chownToNobody(const QString &path)
{
    if (geteuid() == 0 && chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
        qFatal("chown failed");
}

// Runs the child as "nobody" (when root); nullopt when this machine cannot (no such user in
// a user namespace, a temporary directory mounted noexec).
inline std::optional<Child::Report> runUnprivileged(const QStringList &args, const QTemporaryDir &bin)
{
    Child::Report r = Child::run(QStringList {"--child"} + args, becomeNobody, binaryFor(bin));
    if (!r.started || r.exitCode == CannotDropRoot)
        return std::nullopt;
    return r;
}

// Runs f in a forked copy of this process that gave up root first (when root) and returns what
// f returned, as the child's exit status (128 + the signal when it was killed); nullopt when
// the child could not give up root. The child leaves by _exit, so nothing of the parent's is
// torn down twice.
inline std::optional<int> forkUnprivileged(const std::function<int()> &f)
{
    const pid_t pid = fork();
    if (pid == 0) {
        becomeNobody();
        _exit(f());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return std::nullopt;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    if (WEXITSTATUS(status) == CannotDropRoot)
        return std::nullopt;
    return WEXITSTATUS(status);
}
