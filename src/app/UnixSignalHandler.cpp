// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnixSignalHandler.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};
std::atomic<bool> endAtOnce{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

// Only async-signal-safe work here: _exit, or one byte into the pipe, which never blocks (a
// full pipe already holds a request), with the interrupted code's errno kept.
void onSignal(int)
{
    if (endAtOnce.load())
        ::_exit(0);
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(signalPipe[0], &byte, 1);
    errno = savedErrno;
}

void catchSignals()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
} // namespace

UnixSignalHandler::UnixSignalHandler(QObject *parent) : QObject(parent) {}

UnixSignalHandler::~UnixSignalHandler()
{
    if (signalPipe[0] < 0)
        return;
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void UnixSignalHandler::endProcessOnRequest()
{
    endAtOnce = true;
    catchSignals();
}

bool UnixSignalHandler::deliverRequests()
{
    if (signalPipe[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return false;
    notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] ssize_t got = ::read(signalPipe[1], &byte, 1);
        emit terminationRequested();
    });
    catchSignals();
    endAtOnce = false;
    return true;
}
