// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the real program on the offscreen platform, lets it run, and asks it to close.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct Surroundings
{
    const char *name;
    QList<QPair<QString, QString>> variables;
};

TEST(Program, StartsStaysUpAndClosesCleanly)
{
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", config.path());
        for (const auto &[key, value] : c.variables)
            environment.insert(key, value);

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProgram(ZENTRIQ_PROGRAM);
        program.start();
        ASSERT_TRUE(program.waitForStarted(10000));
        EXPECT_FALSE(program.waitForFinished(3000)) << "the program ended by itself:\n"
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

} // namespace
