// SPDX-License-Identifier: GPL-3.0-or-later
// Refused modules are remembered by their library file until that file changes.
#include "plugins/RefusedModules.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;
using Outcome = PluginProbeResult::Outcome;

namespace {

PluginProbeResult crashed()
{
    PluginProbeResult result;
    result.outcome = Outcome::Crashed;
    result.signal = 11;
    return result;
}

} // namespace

TEST(RefusedModulesTest, ARefusalLastsUntilTheLibraryChanges)
{
    const struct
    {
        const char *what;
        std::function<void(const fs::path &library)> change;
        bool stillRefused;
    } cases[] = {
        {"nothing changed", [](const fs::path &) {}, true},
        {"touched", [](const fs::path &library) {
             fs::last_write_time(library, fs::last_write_time(library) + std::chrono::seconds(1));
         }, false},
        {"rewritten", [](const fs::path &library) { std::ofstream(library) << "a fixed build, longer\n"; }, false},
        {"replaced by a copy with the old time", [](const fs::path &library) {
             const auto time = fs::last_write_time(library);
             const fs::path copy = library.string() + ".new";
             fs::copy_file(library, copy);
             fs::last_write_time(copy, time);
             fs::rename(copy, library);
         }, false},
        {"deleted", [](const fs::path &library) { fs::remove(library); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const fs::path bundle = fs::path(dir.path().toStdString()) / "Synth.vst3";
        const fs::path library = bundle / "Contents" / "x86_64-linux" / "Synth.so";
        fs::create_directories(library.parent_path());
        std::ofstream(library) << "a broken build\n";

        RefusedModules refused;
        refused.remember(bundle.string(), crashed());
        // The bundle and its library are one module.
        ASSERT_TRUE(refused.find(library.string()).has_value());
        EXPECT_EQ(refused.find(bundle.string())->signal, 11);

        c.change(library);
        EXPECT_EQ(refused.find(bundle.string()).has_value(), c.stillRefused);
    }
}

TEST(RefusedModulesTest, OnlyFailuresOfTheModuleAreRemembered)
{
    QTemporaryDir dir;
    const std::string module = dir.filePath("Missing.so").toStdString();
    const struct
    {
        Outcome outcome;
        bool remembered;
    } cases[] = {
        {Outcome::Passed, false},  {Outcome::NotStarted, false}, {Outcome::Cancelled, false},
        {Outcome::Failed, true},   {Outcome::TimedOut, true},    {Outcome::NoReport, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.outcome));
        RefusedModules refused;
        PluginProbeResult result;
        result.outcome = c.outcome;
        refused.remember(module, result);
        // A module whose file is missing stays refused while it is missing.
        EXPECT_EQ(refused.find(module).has_value(), c.remembered);
    }
}
