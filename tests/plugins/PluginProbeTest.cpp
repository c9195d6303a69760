// SPDX-License-Identifier: GPL-3.0-or-later
// The probe helper in its child process: hostile modules crash, hang or fail there and are
// named; real plug-ins pass; a state that crashes its plug-in is caught before the host uses it.
#include "ScopedEnv.h"
#include "Vst3TestSupport.h"
#include "plugins/PluginProbe.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using Outcome = PluginProbeResult::Outcome;

namespace {

// Bundles that cannot be built as libraries: a text file where the library belongs, and a
// folder whose library is a symbolic link to itself beside a link back up the tree.
struct MadeBundles
{
    MadeBundles()
    {
        const fs::path root(dir.path().toStdString());
        notALibrary = root / "Text.vst3";
        fs::create_directories(notALibrary / "Contents" / "x86_64-linux");
        std::ofstream(notALibrary / "Contents" / "x86_64-linux" / "Text.so") << "not a library\n";
        loop = root / "Loop.vst3";
        const fs::path binaries = loop / "Contents" / "x86_64-linux";
        fs::create_directories(binaries);
        fs::create_symlink("Loop.so", binaries / "Loop.so");
        fs::create_directory_symlink("../..", binaries / "up");
    }

    QTemporaryDir dir;
    fs::path notALibrary;
    fs::path loop;
};

PluginProbeResult probe(const std::string &module, const std::string &state = {},
                        std::chrono::milliseconds timeLimit = std::chrono::seconds(60))
{
    PluginProbeRequest request;
    request.modulePath = module;
    request.statePath = state;
    request.timeLimit = timeLimit;
    return runPluginProbe(request);
}

} // namespace

TEST(PluginProbeTest, HostileModulesAreNamedWhileTheHostStaysUp)
{
    const MadeBundles made;
    const struct
    {
        const char *what;
        std::string path;
        Outcome outcome;
        int signal;
        PluginLoadFailure failure;
        std::chrono::milliseconds timeLimit;
    } cases[] = {
        {"factory writes through null", HOSTILE_CRASHING_FACTORY, Outcome::Crashed, SIGSEGV, PluginLoadFailure::None,
         std::chrono::seconds(60)},
        {"factory returns garbage", HOSTILE_GARBAGE_FACTORY, Outcome::Crashed, SIGSEGV, PluginLoadFailure::None,
         std::chrono::seconds(60)},
        {"factory ends the process", HOSTILE_EXITING_FACTORY, Outcome::NoReport, 0, PluginLoadFailure::None,
         std::chrono::seconds(60)},
        // Waited for only as long as the limit; a second keeps the test short.
        {"factory never returns", HOSTILE_HANGING_FACTORY, Outcome::TimedOut, 0, PluginLoadFailure::None,
         std::chrono::seconds(1)},
        {"null factory", HOSTILE_NULL_FACTORY, Outcome::Failed, 0, PluginLoadFailure::NoFactory,
         std::chrono::seconds(60)},
        {"no GetPluginFactory", HOSTILE_NO_FACTORY, Outcome::Failed, 0, PluginLoadFailure::MissingEntryPoint,
         std::chrono::seconds(60)},
        {"ModuleEntry fails", HOSTILE_ENTRY_FAILS, Outcome::Failed, 0, PluginLoadFailure::EntryFailed,
         std::chrono::seconds(60)},
        {"text file as library", made.notALibrary.string(), Outcome::Failed, 0, PluginLoadFailure::NotALibrary,
         std::chrono::seconds(60)},
        {"symbolic-link loop", made.loop.string(), Outcome::Failed, 0, PluginLoadFailure::NotALibrary,
         std::chrono::seconds(60)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const PluginProbeResult result = probe(c.path, {}, c.timeLimit);
        EXPECT_EQ(result.outcome, c.outcome) << result.summary();
        EXPECT_EQ(result.signal, c.signal);
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_TRUE(result.blamesModule());
        EXPECT_EQ(result.plugin.name, "");
    }
}

TEST(PluginProbeTest, RealPluginsPassUnlessTheirStateCrashesThem)
{
    QTemporaryDir dir;
    const std::string sane = dir.filePath("sane.bin").toStdString();
    const std::string hostile = dir.filePath("hostile.bin").toStdString();
    std::ofstream(sane, std::ios::binary) << zamDelayState("160");
    // A delay of 1.6e26 ms makes ZamDelay index far outside its buffer on its first block.
    std::ofstream(hostile, std::ios::binary) << zamDelayState("1.6e26");
    const struct
    {
        const char *module;
        std::string state;
        Outcome outcome;
        int signal;
    } cases[] = {
        {"ZamEQ2", {}, Outcome::Passed, 0},
        {"ZamDelay", sane, Outcome::Passed, 0},
        {"ZamDelay", hostile, Outcome::Crashed, SIGSEGV},
        {"ZamDelay", dir.filePath("missing.bin").toStdString(), Outcome::Failed, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.module) + " " + c.state);
        const PluginProbeResult result = probe(zamPath(c.module), c.state);
        EXPECT_EQ(result.outcome, c.outcome) << result.summary();
        EXPECT_EQ(result.signal, c.signal);
        // The audio class was set up before the state went in.
        EXPECT_EQ(result.plugin.name, c.module);
        EXPECT_EQ(result.plugin.uid.size(), 32u);
    }
}

TEST(PluginProbeTest, AMissingHelperIsNotTheModulesFault)
{
    const ScopedEnv missing("ZENTRIQ_PLUGIN_PROBE", "/nonexistent/zentriq-plugin-probe");
    const PluginProbeResult result = probe(zamPath("ZamEQ2"));
    EXPECT_EQ(result.outcome, Outcome::NotStarted);
    EXPECT_NE(result.detail.find("/nonexistent/zentriq-plugin-probe"), std::string::npos) << result.detail;
    EXPECT_FALSE(result.blamesModule());
}

TEST(PluginProbeTest, AStopRequestEndsAHangingProbe)
{
    std::stop_source stop;
    stop.request_stop();
    PluginProbeRequest request;
    request.modulePath = HOSTILE_HANGING_FACTORY;
    request.timeLimit = std::chrono::hours(1);
    const PluginProbeResult result = runPluginProbe(request, stop.get_token());
    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_FALSE(result.blamesModule());
}
