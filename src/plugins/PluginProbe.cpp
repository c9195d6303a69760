// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the probe helper in its own process group and reads its report under a time limit.
#include "PluginProbe.h"

#include "PluginProbeReport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = PluginProbeResult::Outcome;

// A report is a few short lines; anything beyond this is not ours.
constexpr std::size_t maxReportBytes = 64 * 1024;
// How often a waiting probe looks at the child and the stop request.
constexpr int pollSliceMs = 50;

class Pipe
{
public:
    Pipe() { ok = pipe2(fds, O_CLOEXEC) == 0; }
    ~Pipe()
    {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;

    bool ok = false;
    int readEnd() const { return fds[0]; }
    int writeEnd() const { return fds[1]; }
    void closeRead() { closeEnd(0); }
    void closeWrite() { closeEnd(1); }

private:
    void closeEnd(int end)
    {
        if (fds[end] >= 0)
            close(fds[end]);
        fds[end] = -1;
    }
    int fds[2] = {-1, -1};
};

// The child, its stdout on the report pipe, its stderr shared with ours (its log lines are
// worth keeping), no other descriptor of ours, and a process group of its own so that a kill
// also reaches whatever it started.
pid_t spawnHelper(const std::string &program, const std::vector<std::string> &arguments, int reportFd, int &error)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, reportFd, STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

void killGroup(pid_t pid)
{
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Reads what is there without waiting; false once the writers are gone.
bool drain(int fd, std::string &report)
{
    char buffer[4096];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0)
            return true;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        if (report.size() < maxReportBytes)
            report.append(buffer, std::size_t(got));
    }
}

PluginProbeResult judge(int status, const std::string &text)
{
    PluginProbeResult result;
    const PluginProbeReport report = PluginProbeReport::parse(text);
    result.plugin = report.plugin;
    if (report.failure != PluginLoadFailure::None) {
        result.outcome = Outcome::Failed;
        result.failure = report.failure;
    } else if (WIFSIGNALED(status)) {
        result.outcome = Outcome::Crashed;
        result.signal = WTERMSIG(status);
    } else if (report.complete) {
        // The exit code is not read once the report is complete: a leak checker may set it.
        result.outcome = Outcome::Passed;
    } else {
        result.outcome = Outcome::NoReport;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return result;
}

} // namespace

bool PluginProbeResult::blamesModule() const
{
    return outcome == Outcome::Failed || outcome == Outcome::Crashed || outcome == Outcome::TimedOut
           || outcome == Outcome::NoReport;
}

std::string PluginProbeResult::summary() const
{
    switch (outcome) {
    case Outcome::Passed:
        return "passed (" + plugin.name + ")";
    case Outcome::Failed:
        return std::string("failed: ") + PluginProbeReport::failureName(failure);
    case Outcome::Crashed:
        return "crashed with signal " + std::to_string(signal);
    case Outcome::TimedOut:
        return "did not finish within the time limit";
    case Outcome::NoReport:
        return "exited with code " + std::to_string(exitCode) + " without a report";
    case Outcome::NotStarted:
        return "helper not started: " + detail;
    case Outcome::Cancelled:
        return "cancelled";
    }
    return {};
}

std::string pluginProbeProgram()
{
    if (const char *program = std::getenv("ZENTRIQ_PLUGIN_PROBE"); program && *program)
        return program;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (self.parent_path() / "zentriq-plugin-probe").string();
}

PluginProbeResult runPluginProbe(const PluginProbeRequest &request, std::stop_token stop)
{
    PluginProbeResult result;
    const std::string program = pluginProbeProgram();
    if (access(program.c_str(), X_OK) != 0) {
        result.detail = program + ": " + std::strerror(errno);
        return result;
    }
    Pipe report;
    if (!report.ok) {
        result.detail = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    std::vector<std::string> arguments{request.modulePath, std::to_string(request.sampleRate),
                                       std::to_string(request.blockSize)};
    if (!request.statePath.empty())
        arguments.push_back(request.statePath);
    int error = 0;
    const pid_t pid = spawnHelper(program, arguments, report.writeEnd(), error);
    report.closeWrite();
    if (pid < 0) {
        result.detail = program + ": " + std::strerror(error);
        return result;
    }

    const Clock::time_point deadline = Clock::now() + request.timeLimit;
    std::string text;
    bool reportOpen = true;
    for (;;) {
        siginfo_t ended{};
        if (waitid(P_PID, id_t(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid) {
            // Whatever the child wrote before it ended; a grandchild holding the pipe open
            // must not keep us here. The group is killed before the child is reaped, while
            // its id cannot have gone to another process.
            if (reportOpen)
                drain(report.readEnd(), text);
            kill(-pid, SIGKILL);
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return judge(status, text);
        }
        if (stop.stop_requested() || Clock::now() >= deadline) {
            killGroup(pid);
            result.outcome = stop.stop_requested() ? Outcome::Cancelled : Outcome::TimedOut;
            return result;
        }
        if (reportOpen) {
            pollfd ready{report.readEnd(), POLLIN, 0};
            if (poll(&ready, 1, pollSliceMs) > 0)
                reportOpen = drain(report.readEnd(), text);
        } else {
            poll(nullptr, 0, pollSliceMs);
        }
    }
}
