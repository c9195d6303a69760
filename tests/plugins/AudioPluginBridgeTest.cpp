// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in bridge: initialisation, ids, chains over real zam-plugins, offline rendering,
// presets.
#include "Vst3TestSupport.h"
#include "plugins/AudioBuffer.h"
#include "plugins/AudioPluginBridge.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <fstream>

namespace {

void fill(AudioBuffer &buffer, float first)
{
    for (int c = 0; c < buffer.numChannels; ++c)
        for (int f = 0; f < buffer.numFrames; ++f)
            buffer.channels[c][f] = first + float(c * buffer.numFrames + f) * 0.001f;
}

} // namespace

TEST(AudioPluginBridgeTest, InitialiseKeepsItsFirstValuesUntilShutdown)
{
    AudioPluginBridge bridge;
    EXPECT_FALSE(bridge.isInitialized());
    EXPECT_TRUE(bridge.initialize(48000, 512));
    EXPECT_TRUE(bridge.initialize(96000, 256));
    EXPECT_EQ(bridge.sampleRate(), 48000);
    EXPECT_EQ(bridge.blockSize(), 512);

    bridge.shutdown();
    EXPECT_FALSE(bridge.isInitialized());
    bridge.shutdown();
    EXPECT_TRUE(bridge.initialize(22050, 512));
    EXPECT_EQ(bridge.sampleRate(), 22050);
}

TEST(AudioPluginBridgeTest, IdsAreHandedOutInLoadOrderAndNeverReused)
{
    AudioPluginBridge bridge;
    EXPECT_EQ(bridge.loadPlugin(zamPath("ZamEQ2")), -1);  // not initialised
    bridge.initialize(44100, 512);
    EXPECT_EQ(bridge.loadPlugin(zamPath("ZamEQ2")), 0);
    EXPECT_EQ(bridge.loadPlugin("/usr/lib/vst3/NoSuchPlugin.vst3"), -1);
    EXPECT_EQ(bridge.loadPlugin(zamPath("ZamComp")), 1);
    EXPECT_EQ(bridge.pluginName(1), "ZamComp");
    EXPECT_TRUE(bridge.unloadPlugin(0));
    EXPECT_FALSE(bridge.unloadPlugin(0));
    EXPECT_EQ(bridge.loadPlugin(zamPath("ZamEQ2")), 2);
    EXPECT_EQ(bridge.loadedPluginIds(), (std::vector<int>{1, 2}));
    EXPECT_EQ(bridge.getPluginInfo(0).path, "");
    EXPECT_EQ(bridge.pluginName(0), "");
    EXPECT_EQ(bridge.getPluginInstance(0), nullptr);
    for (int id : {-1, 0, 3})
        EXPECT_FALSE(bridge.activatePlugin(id)) << id;
    EXPECT_TRUE(bridge.activatePlugin(2));
}

TEST(AudioPluginBridgeTest, BypassedSlotLeavesTheTrackAsTheOtherPluginAlone)
{
    const std::vector<float> input = sine(1000.0, 0.5f, 2048);
    auto render = [&](bool withTube) {
        AudioPluginBridge bridge;
        bridge.initialize(44100, 512);
        if (withTube) {
            EXPECT_EQ(bridge.addPluginToTrack("t", zamPath("ZamTube")), 0);
            EXPECT_TRUE(bridge.setTrackPluginBypass("t", 0, true));
        }
        const int slot = bridge.addPluginToTrack("t", zamPath("ZamEQ2"));
        for (int id : bridge.loadedPluginIds())
            EXPECT_TRUE(bridge.activatePlugin(id));
        EXPECT_EQ(slot, withTube ? 1 : 0);
        std::vector<float> in = input;
        std::vector<float> out(input.size(), 0.0f);
        float *inChannels[1] = {in.data()};
        float *outChannels[1] = {out.data()};
        AudioBuffer inView;
        AudioBuffer outView;
        inView.channels = inChannels;
        outView.channels = outChannels;
        inView.numChannels = outView.numChannels = 1;
        inView.numFrames = outView.numFrames = int(input.size());
        bridge.processTrack("t", inView, outView);
        inView.channels = outView.channels = nullptr;
        return out;
    };
    const std::vector<float> alone = render(false);
    EXPECT_EQ(render(true), alone);
    EXPECT_NEAR(rmsDb(alone, 1024), rmsDb(input, 1024), 0.05);
}

TEST(AudioPluginBridgeTest, OfflineRenderFillsInterleavedStereo)
{
    AudioPluginBridge bridge;
    bridge.initialize(44100, 512);
    const int id = bridge.loadPlugin(zamPath("ZamEQ2"));
    ASSERT_EQ(id, 0);
    const OfflineMidiEvent note{600, 0, 0, 60, 1.0f};
    std::vector<float> output(2001, 7.0f);
    EXPECT_TRUE(bridge.renderOffline(id, &note, 1, 1000, 0, output.data()));
    EXPECT_EQ(output[2000], 7.0f);  // nothing past 2 × 1000 floats
    // An effect fed silence renders silence.
    EXPECT_EQ(std::count(output.begin(), output.end() - 1, 0.0f), 2000);
    EXPECT_FALSE(bridge.renderOffline(5, &note, 1, 1000, 0, output.data()));
    EXPECT_FALSE(bridge.renderOffline(id, &note, 1, 0, 0, output.data()));
}

TEST(AudioPluginBridgeTest, EmptyChainLeavesTheOutputUntouched)
{
    AudioBuffer in;
    AudioBuffer out;
    in.allocate(2, 512);
    out.allocate(2, 512);
    fill(in, 0.25f);
    fill(out, -0.5f);

    AudioPluginBridge bridge;
    for (bool initialised : {false, true}) {
        SCOPED_TRACE(initialised);
        if (initialised)
            bridge.initialize(44100, 512);
        bridge.process(in, out);
        AudioBuffer expectedOut;
        AudioBuffer expectedIn;
        expectedOut.allocate(2, 512);
        expectedIn.allocate(2, 512);
        fill(expectedOut, -0.5f);
        fill(expectedIn, 0.25f);
        for (int c = 0; c < 2; ++c)
            for (int f = 0; f < 512; ++f) {
                ASSERT_EQ(out.channels[c][f], expectedOut.channels[c][f]);
                ASSERT_EQ(in.channels[c][f], expectedIn.channels[c][f]);
            }
    }
}

TEST(AudioPluginBridgeTest, APresetThatCrashesThePluginNeverReachesIt)
{
    QTemporaryDir dir;
    AudioPluginBridge bridge;
    bridge.initialize(44100, 512);
    const int id = bridge.loadPlugin(zamPath("ZamDelay"));
    ASSERT_GE(id, 0);
    ASSERT_TRUE(bridge.activatePlugin(id));
    const struct
    {
        const char *time;
        bool accepted;
    } cases[] = {{"1.6e26", false}, {"250", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.time);
        const std::string path = dir.filePath(QString::fromUtf8(c.time)).toStdString();
        std::ofstream(path, std::ios::binary) << zamDelayState(c.time);
        EXPECT_EQ(bridge.loadPreset(id, path), c.accepted);

        // Either way the plug-in goes on processing in this process.
        AudioBuffer in;
        AudioBuffer out;
        in.allocate(1, 4096);
        out.allocate(1, 4096);
        fill(in, 0.1f);
        bridge.process(in, out);
        for (int f = 0; f < 4096; ++f)
            ASSERT_TRUE(std::isfinite(out.channels[0][f])) << f;
    }
}
