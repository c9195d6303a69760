// SPDX-License-Identifier: GPL-3.0-or-later
// The folder scanner on the installed zam-plugins and on generated trees.
#include "plugins/PluginScanner.h"

#include "ScopedEnv.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(const std::vector<PluginInfo> &infos)
{
    std::vector<std::string> result;
    for (const PluginInfo &info : infos)
        result.push_back(info.name);
    std::sort(result.begin(), result.end());
    return result;
}

void makeBundle(const fs::path &bundle, const std::string &plist)
{
    fs::create_directories(bundle / "Contents" / "x86_64-linux");
    std::ofstream(bundle / "Contents" / "x86_64-linux" / (bundle.stem().string() + ".so")) << "x";
    if (!plist.empty())
        std::ofstream(bundle / "Contents" / "Info.plist") << plist;
}

} // namespace

TEST(PluginScannerTest, FindsEveryInstalledBundleWithoutDescending)
{
    PluginScanner scanner;
    const std::vector<PluginInfo> found = scanner.scan("/usr/lib/vst3");
    ASSERT_EQ(found.size(), 17u);
    std::vector<std::string> expected;
    for (const auto &entry : fs::directory_iterator("/usr/lib/vst3"))
        if (entry.path().extension() == ".vst3")
            expected.push_back(entry.path().stem().string());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names(found), expected);
    for (const PluginInfo &info : found) {
        EXPECT_EQ(info.format, "vst3");
        EXPECT_EQ(info.uid, info.name);
        EXPECT_EQ(info.numInputChannels, 2);
    }
}

TEST(PluginScannerTest, GeneratedTree)
{
    QTemporaryDir dir;
    const fs::path root(dir.path().toStdString());
    makeBundle(root / "Vendor" / "Nested.vst3", "<plist><vendor>Vend</vendor></plist>");
    makeBundle(root / "Upper.VST3", "");
    std::ofstream(root / "Plain.vst3.bak") << "x";
    std::ofstream(root / "NoDot") << "x";
    std::ofstream(root / "Module.vst3") << "x";
    makeBundle(root / "elsewhere" / "Linked.vst3", "");
    fs::create_directory_symlink(root / "elsewhere" / "Linked.vst3", root / "Link.vst3");

    PluginScanner scanner;
    const std::vector<PluginInfo> found = scanner.scan(root.string());
    EXPECT_EQ(names(found), (std::vector<std::string>{"Link", "Linked", "Module", "Nested", "Upper"}));
    const auto nested = std::find_if(found.begin(), found.end(), [](const PluginInfo &i) { return i.name == "Nested"; });
    ASSERT_NE(nested, found.end());
    EXPECT_EQ(nested->vendor, "Vend");

    EXPECT_TRUE(scanner.isValidPlugin("a/B.VST3"));
    EXPECT_FALSE(scanner.isValidPlugin("a/B.vst3.bak"));
    EXPECT_FALSE(scanner.isValidPlugin("NoDot"));
    EXPECT_TRUE(scanner.scan((root / "missing").string()).empty());
}

TEST(PluginScannerTest, DefaultFoldersAreTheLinuxOnes)
{
    ScopedEnv home("HOME", "/home/someone");
    PluginScanner scanner;
    EXPECT_EQ(scanner.getDefaultSearchPaths(),
              (std::vector<std::string>{"/home/someone/.vst3", "/usr/lib/vst3", "/usr/local/lib/vst3"}));
}

TEST(PluginScannerTest, SymbolicLinkLoopsDoNotEndTheScan)
{
    QTemporaryDir dir;
    const fs::path root(dir.path().toStdString());
    // Entries the walk meets before and after the real bundles, whatever its order.
    fs::create_symlink("Aloop.vst3", root / "Aloop.vst3");
    fs::create_symlink("zloop.vst3", root / "zloop.vst3");
    fs::create_directories(root / "folder");
    fs::create_directory_symlink("..", root / "folder" / "back");
    makeBundle(root / "Real.vst3", "");
    makeBundle(root / "folder" / "Inner.vst3", "");

    PluginScanner scanner;
    EXPECT_EQ(names(scanner.scan(root.string())), (std::vector<std::string>{"Inner", "Real"}));
}
