// SPDX-License-Identifier: GPL-3.0-or-later
// A PulseAudio server of one test alone, which the test may stop and start again.
#pragma once

#include "ScopedEnv.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// One null sink at `sampleRate` is the default output; its monitor, remapped as an ordinary
// source, is the default input. PULSE_SERVER points at it while the object lives, so engines
// created meanwhile use it, and tests running beside it on the shared server can neither be
// heard here nor see this sink. stop() ends the server process by its id, as a crash or a
// user would; start() brings it back on the same socket; freeze() makes it hang.
class PrivatePulseServer
{
public:
    explicit PrivatePulseServer(int sampleRate = 48000);
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer &) = delete;
    PrivatePulseServer &operator=(const PrivatePulseServer &) = delete;

    // True once the server answers, with the null sink and its source as the defaults;
    // otherwise its log has gone to the test's warnings.
    bool start();
    // Ends the server (SIGTERM to its process id) and waits until it has exited.
    bool stop();
    // Stops the server process where it stands (SIGSTOP), keeping its connections open, or
    // lets it go on (SIGCONT).
    bool freeze(bool frozen);
    bool isValid() const { return ready; }
    // Arguments that point pulse tools at this server.
    QStringList serverArguments() const { return {QStringLiteral("--server=") + address}; }

private:
    bool pactl(const QStringList &arguments) const;

    // No blank in the path: the module argument list is split at blanks.
    QTemporaryDir dir;
    const int rate;
    const QString socket;
    const QString address;
    QProcess daemon;
    bool ready = false;
    std::optional<ScopedEnv> server;
};
