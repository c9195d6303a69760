// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in bridge without loadable modules: initialisation, refused loads, unknown ids
// and a chain that leaves the output alone.
#include "plugins/AudioBuffer.h"
#include "plugins/AudioPluginBridge.h"

#include <gtest/gtest.h>

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

TEST(AudioPluginBridgeTest, LoadingFailsAndHandsOutNoId)
{
    AudioPluginBridge bridge;
    EXPECT_EQ(bridge.loadPlugin("/usr/lib/vst3/any.vst3"), -1);  // not initialised
    bridge.initialize(44100, 512);
    EXPECT_EQ(bridge.loadPlugin("/usr/lib/vst3/any.vst3"), -1);
    EXPECT_EQ(bridge.loadPlugin(""), -1);
    for (int id : {-1, 0, 1})
        EXPECT_FALSE(bridge.activatePlugin(id)) << id;
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
