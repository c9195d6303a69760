// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the real program on a private X server, lets it run, and asks it to close: once its
// window shows, and at every moment of its start-up.
#include "OracleTool.h"
#include "Requirement.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

namespace {

// Xvfb on the first free display, for as long as this object lives. -noreset: when its
// last client goes, a resetting server refuses the next program that connects meanwhile.
class PrivateXServer
{
public:
    PrivateXServer()
    {
        server.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-noreset", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"});
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && !server.canReadLine() && server.state() != QProcess::NotRunning)
            server.waitForReadyRead(100);
        if (server.canReadLine())
            display = QStringLiteral(":") + QString::fromLatin1(server.readLine()).trimmed();
    }
    ~PrivateXServer()
    {
        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
        server.waitForFinished(5000);
    }

    QString display;  // empty when the server did not start

private:
    QProcess server;
};

// The program on the X server `display`, with its settings in `configDir`.
QProcessEnvironment programEnvironment(const QString &display, const QString &configDir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("DISPLAY", display);
    environment.insert("XDG_CONFIG_HOME", configDir);
    // libxkbcommon-x11 strndup()s counted atom names that have no terminator: legal, but
    // AddressSanitizer's strict string checks report it.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":strict_string_checks=0");
    return environment;
}

// Waits until the main window is mapped on `display`, while `program` runs.
bool mainWindowShows(const QString &display, QProcess &program, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && program.state() == QProcess::Running) {
        const ToolResult window = runTool("xwininfo", {"-display", display, "-name", "ZentriqStudio"}, {}, 10000);
        if (window.ok() && window.standardOutput.contains("IsViewable"))
            return true;
        program.waitForFinished(100);
    }
    return false;
}

struct Surroundings
{
    const char *name;
    QList<QPair<QString, QString>> variables;
};

TEST(Program, StartsStaysUpAndClosesCleanly)
{
    ZENTRIQ_REQUIRE(toolAvailable("Xvfb") && toolAvailable("xwininfo"), "Xvfb or xwininfo is not installed");
    const PrivateXServer x;
    ASSERT_FALSE(x.display.isEmpty()) << "Xvfb did not start";
    const Surroundings cases[] = {
        {"the test session's audio servers", {}},
        {"no audio server, no MIDI, no network",
         {{"PULSE_SERVER", "unix:/nonexistent/zentriq/pulse"},
          {"JACK_DEFAULT_SERVER", "zentriq-no-such-server"},
          {"JACK_NO_START_SERVER", "1"},
          {"ALSA_CONFIG_PATH", "/nonexistent/zentriq/alsa.conf"},
          {"http_proxy", "http://127.0.0.1:9"},
          {"https_proxy", "http://127.0.0.1:9"},
          {"all_proxy", "http://127.0.0.1:9"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir config;
        QProcessEnvironment environment = programEnvironment(x.display, config.path());
        for (const auto &[key, value] : c.variables)
            environment.insert(key, value);

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProgram(ZENTRIQ_PROGRAM);
        program.start();
        ASSERT_TRUE(program.waitForStarted(10000));
        // Before its window shows, a termination request ends the program without saving.
        EXPECT_TRUE(mainWindowShows(x.display, program, 60000));
        EXPECT_FALSE(program.waitForFinished(2000)) << "the program ended by itself:\n"
                                                     << program.readAllStandardError().toStdString();
        ::kill(pid_t(program.processId()), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(30000));

        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
        EXPECT_FALSE(errors.contains("Sanitizer")) << errors.toStdString();
        EXPECT_FALSE(errors.contains("runtime error")) << errors.toStdString();

        // Closing saved the window settings in the platform store under the organisation
        // and application names.
        const QSettings stored(config.filePath("Zentriq/Zentriq Studio.conf"), QSettings::IniFormat);
        EXPECT_FALSE(stored.value("window/state").toByteArray().isEmpty());
        EXPECT_TRUE(stored.value("window/geometry").toRect().isValid());
    }
}

// Where start-up stands when a request comes depends on timing, so requests land at many
// moments of the first seconds, several programs at a time to keep the test short.
TEST(Program, TerminationRequestEndsItAtAnyMomentOfStartUp)
{
    ZENTRIQ_REQUIRE(toolAvailable("Xvfb"), "Xvfb is not installed");
    const PrivateXServer x;
    ASSERT_FALSE(x.display.isEmpty()) << "Xvfb did not start";
    QTemporaryDir config;
    QProcessEnvironment environment = programEnvironment(x.display, config.path());
    // The leak check at exit scans the whole heap and takes over a second on a busy machine;
    // the clean start and close above covers leaks.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");

    // Densely over the first two seconds, then sparser for machines that start slower.
    std::vector<int> delaysMs;
    for (int ms = 0; ms <= 3000; ms += ms < 2000 ? 30 : 200)
        delaysMs.push_back(ms);
    constexpr int together = 4;
    constexpr qint64 endWithinMs = 3000;

    struct Run
    {
        int delayMs;
        std::unique_ptr<QProcess> program;
        QElapsedTimer sinceStart;
        qint64 signalledAtMs = -1;
    };
    std::vector<Run> running;
    size_t next = 0;
    const auto finish = [&](Run &run) {
        SCOPED_TRACE(testing::Message() << "SIGTERM " << run.delayMs << " ms after start");
        QProcess &program = *run.program;
        if (program.state() != QProcess::NotRunning) {
            ADD_FAILURE() << "still running " << endWithinMs << " ms after the termination request";
            program.kill();
            program.waitForFinished(5000);
            return;
        }
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        if (program.exitStatus() == QProcess::CrashExit)
            EXPECT_EQ(program.exitCode(), SIGTERM) << "only the signal itself, before the handler is installed, "
                                                     "may end it otherwise\n"
                                                  << errors.toStdString();
        else
            EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
        EXPECT_FALSE(errors.contains("Sanitizer")) << errors.toStdString();
        EXPECT_FALSE(errors.contains("runtime error")) << errors.toStdString();
    };
    while (next < delaysMs.size() || !running.empty()) {
        while (next < delaysMs.size() && running.size() < together) {
            Run run{delaysMs[next++], std::make_unique<QProcess>(), {}};
            run.program->setProcessEnvironment(environment);
            run.program->setProgram(ZENTRIQ_PROGRAM);
            run.program->start();
            ASSERT_TRUE(run.program->waitForStarted(10000));
            run.sinceStart.start();
            running.push_back(std::move(run));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (auto it = running.begin(); it != running.end();) {
            const qint64 now = it->sinceStart.elapsed();
            if (it->signalledAtMs < 0 && now >= it->delayMs) {
                ::kill(pid_t(it->program->processId()), SIGTERM);
                it->signalledAtMs = now;
            }
            const bool ended = it->program->state() == QProcess::NotRunning;
            if (ended && it->signalledAtMs < 0)
                ADD_FAILURE() << "ended by itself before the request " << it->delayMs << " ms after start";
            if (ended || (it->signalledAtMs >= 0 && now - it->signalledAtMs > endWithinMs)) {
                finish(*it);
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    }
}

} // namespace
