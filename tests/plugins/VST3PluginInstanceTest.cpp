// SPDX-License-Identifier: GPL-3.0-or-later
// Real VST3 plug-ins (Debian's zam-plugins) loaded, processed and restored; broken modules
// refused.
#include "Vst3TestSupport.h"
#include "plugins/VST3PluginInstance.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

struct ZamCase
{
    const char *name;
    int channels;
};

// Channel counts as the plug-ins' own descriptions declare them.
constexpr ZamCase zamPlugins[] = {
    {"ZaMaximX2", 2},   {"ZaMultiComp", 1}, {"ZaMultiCompX2", 2}, {"ZamAutoSat", 1},
    {"ZamComp", 1},      {"ZamCompX2", 2},    {"ZamDelay", 1},      {"ZamDynamicEQ", 1},
    {"ZamEQ2", 1},      {"ZamGEQ31", 1},    {"ZamGate", 1},        {"ZamGateX2", 2},
    {"ZamGrains", 1},   {"ZamHeadX2", 2},   {"ZamPhono", 1},      {"ZamTube", 1},
    {"ZamVerb", 2},
};

// Runs `input` (copied to every channel) through a loaded, active instance and returns the
// first output channel.
std::vector<float> run(VST3PluginInstance &plugin, const std::vector<float> &input, int channels, int blockFrames)
{
    std::vector<std::vector<float>> in(std::size_t(channels), input);
    std::vector<std::vector<float>> out(std::size_t(channels), std::vector<float>(input.size(), 0.0f));
    std::vector<float *> inPointers;
    std::vector<float *> outPointers;
    for (int done = 0; done < int(input.size()); done += blockFrames) {
        inPointers.clear();
        outPointers.clear();
        for (int c = 0; c < channels; ++c) {
            inPointers.push_back(in[std::size_t(c)].data() + done);
            outPointers.push_back(out[std::size_t(c)].data() + done);
        }
        plugin.process(inPointers.data(), outPointers.data(), channels,
                       std::min(blockFrames, int(input.size()) - done));
    }
    return out[0];
}

std::string captured(const std::function<void()> &action, std::ostream &stream)
{
    std::ostringstream text;
    std::streambuf *old = stream.rdbuf(text.rdbuf());
    action();
    stream.rdbuf(old);
    return text.str();
}

} // namespace

TEST(VST3PluginInstanceTest, EveryZamPluginLoadsWithItsBusesAndAUniqueUid)
{
    std::set<std::string> uids;
    for (const ZamCase &zam : zamPlugins) {
        SCOPED_TRACE(zam.name);
        VST3PluginInstance plugin;
        const std::string out = captured([&] { ASSERT_TRUE(plugin.load(zamPath(zam.name), 44100, 512)); }, std::cout);
        const PluginInfo info = plugin.getInfo();
        EXPECT_EQ(info.name, zam.name);
        EXPECT_EQ(info.path, zamPath(zam.name));
        EXPECT_EQ(info.uid.size(), 32u);
        EXPECT_TRUE(uids.insert(info.uid).second) << info.uid;
        EXPECT_EQ(info.numInputChannels, zam.channels);
        EXPECT_EQ(info.numOutputChannels, zam.channels);
        // ZamComp, ZamCompX2, ZamGate, ZamGateX2 and ZamDynamicEQ have a side-chain input:
        // it is auxiliary and switched off, so only the main input counts.
        EXPECT_NE(out.find("Busses — in=" + std::to_string(zam.channels)), std::string::npos);

        const std::string err = captured([&] { EXPECT_FALSE(plugin.load(zamPath(zam.name), 44100, 512)); }, std::cerr);
        EXPECT_NE(err.find("VST3PluginInstance: Already loaded"), std::string::npos);
    }
}
