// SPDX-License-Identifier: GPL-3.0-or-later
// Starts the real program on the offscreen platform, lets it run, and asks it to close.
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

TEST(Program, StartsAndClosesCleanly)
{
    QProcess program;
    program.setProgram(ZENTRIQ_PROGRAM);
    program.start();
    ASSERT_TRUE(program.waitForStarted(10000));
    EXPECT_FALSE(program.waitForFinished(2000)) << "the program ended by itself:\n"
                                                 << program.readAllStandardError().toStdString();
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));

    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains("Sanitizer")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("runtime error")) << errors.toStdString();
}
