// SPDX-License-Identifier: GPL-3.0-or-later
// Starting, checking and stopping the test's own PulseAudio server.
#include "PrivatePulseServer.h"

#include "OracleTool.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>

PrivatePulseServer::PrivatePulseServer(int sampleRate)
    : dir(QDir::tempPath() + QStringLiteral("/zentriq-pulse-XXXXXX")), rate(sampleRate),
      socket(dir.path() + QStringLiteral("/native")), address(QStringLiteral("unix:") + socket)
{
    server.emplace("PULSE_SERVER", address.toLatin1());
    start();
}

PrivatePulseServer::~PrivatePulseServer()
{
    stop();
}

bool PrivatePulseServer::start()
{
    if (daemon.state() != QProcess::NotRunning)
        return ready;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir.path());
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), dir.path());
    daemon.setProcessEnvironment(environment);
    daemon.setStandardOutputFile(QProcess::nullDevice());
    daemon.setStandardErrorFile(dir.path() + QStringLiteral("/daemon.log"));
    daemon.start(QStringLiteral("pulseaudio"),
                 {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                  QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"), QStringLiteral("-L"),
                  QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket),
                  QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=nullsink rate=%1 channels=2").arg(rate),
                  QStringLiteral("-L"), QStringLiteral("module-remap-source master=nullsink.monitor source_name=nullsource"),
                  QStringLiteral("-L"), QStringLiteral("module-always-sink")});
    ready = false;
    if (!daemon.waitForStarted(5000))
        return false;
    // The server answers once its socket is up; a busy machine may take seconds.
    const QDeadlineTimer deadline(20000);
    bool up = false;
    while (!(up = pactl({QStringLiteral("info")})) && !deadline.hasExpired() && daemon.state() == QProcess::Running)
        QThread::msleep(50);
    ready = up && pactl({QStringLiteral("set-default-sink"), QStringLiteral("nullsink")})
            && pactl({QStringLiteral("set-default-source"), QStringLiteral("nullsource")});
    if (!ready) {
        QFile log(dir.path() + QStringLiteral("/daemon.log"));
        log.open(QIODevice::ReadOnly);
        qWarning().noquote() << "PulseAudio did not start:" << log.readAll();
    }
    return ready;
}

bool PrivatePulseServer::stop()
{
    ready = false;
    if (daemon.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(daemon.processId()), SIGTERM);
    return daemon.waitForFinished(10000);
}

bool PrivatePulseServer::freeze(bool frozen)
{
    return daemon.state() != QProcess::NotRunning && ::kill(pid_t(daemon.processId()), frozen ? SIGSTOP : SIGCONT) == 0;
}

bool PrivatePulseServer::pactl(const QStringList &arguments) const
{
    return runTool(QStringLiteral("pactl"), QStringList{QStringLiteral("-s"), address} + arguments, {}, 5000).ok();
}
