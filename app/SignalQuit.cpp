// SPDX-License-Identifier: GPL-3.0-or-later
#include "SignalQuit.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_fds[2] = {-1, -1};

void onSignal(int signal)
{
    // Only what is safe in a signal handler: write(2), with errno kept for the code it cut into.
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = saved;
}

} // namespace

namespace SignalQuit {

bool install(std::initializer_list<int> signalNumbers)
{
    if (g_fds[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) {
        g_fds[0] = g_fds[1] = -1;
        return false;
    }
    auto *notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(g_fds[1], bytes, sizeof bytes) > 0) { }
        QCoreApplication::quit();
    });
    bool all = true;
    for (const int s : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        all = ::sigaction(s, &action, nullptr) == 0 && all;
    }
    return all;
}

} // namespace SignalQuit
