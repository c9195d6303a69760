// SPDX-License-Identifier: GPL-3.0-or-later
// The processing chain on its three layouts: defaults, bypass, stage order and state,
// more than two channels, and misuse.
#include "audio/dsp/FilterProcessor.h"
#include "audio/dsp/ZentriqDSP.h"

#include "Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<float> noise(std::size_t n, unsigned seed = 3)
{
    return seededNoise(n, 1.0f, seed);
}

AudioBlock blockOf(const std::vector<std::vector<float>> &channels, int sampleRate = 22050)
{
    AudioBlock block;
    for (const auto &samples : channels)
        block.channels.push_back({samples});
    block.sampleRate = sampleRate;
    block.numSamples = channels.empty() ? 0 : channels[0].size();
    return block;
}

// A chain that changes every sample it touches.
void makeBusy(ZentriqDSP &dsp)
{
    dsp.initialize(44100, 512);
    dsp.setGain(1.7f);
    dsp.setPan(0.3f);
    dsp.setFilterEnabled(true);
    dsp.setDelayTime(0.01f);
    dsp.setDelayEnabled(true);
    dsp.setReverbEnabled(true);
}

TEST(ZentriqDspTest, DefaultChainCopiesMonoAndScalesStereoByTheConstructionGains)
{
    ZentriqDSP dsp;
    const std::vector<float> mono = noise(64);
    std::vector<float> out(64);
    dsp.process(mono.data(), out.data(), 64, 1);
    EXPECT_EQ(out, mono);

    const std::vector<float> stereo = noise(2 * 64);
    std::vector<float> scaled(stereo.size());
    dsp.process(stereo.data(), scaled.data(), 64, 2);
    for (std::size_t i = 0; i < stereo.size(); ++i)
        ASSERT_EQ(scaled[i], stereo[i] * 0.707f);
    dsp.setPan(0.0f);
    dsp.process(stereo.data(), scaled.data(), 64, 2);
    EXPECT_FLOAT_EQ(scaled[0], stereo[0] * 0.7071068f);
}

TEST(ZentriqDspTest, BypassIsBitExactOnAllThreePaths)
{
    ZentriqDSP dsp;
    makeBusy(dsp);
    dsp.setBypass(true);
    EXPECT_TRUE(dsp.isBypassed());

    const std::vector<float> interleaved = noise(2 * 500);
    std::vector<float> out(interleaved.size());
    dsp.process(interleaved.data(), out.data(), 500, 2);
    EXPECT_EQ(out, interleaved);

    const std::vector<float> left = noise(500, 4), right = noise(500, 5);
    std::vector<float> outLeft(500), outRight(500);
    const float *in[] = {left.data(), right.data()};
    float *outs[] = {outLeft.data(), outRight.data()};
    dsp.processNonInterleaved(in, outs, 500, 2);
    EXPECT_EQ(outLeft, left);
    EXPECT_EQ(outRight, right);

    const AudioBlock block = blockOf({left, right}, 22050);
    AudioBlock result;
    dsp.processBlock(block, result);
    EXPECT_EQ(result.sampleRate, 22050);
    EXPECT_EQ(result.numSamples, 500u);
    ASSERT_EQ(result.channels.size(), 2u);
    EXPECT_EQ(result.channels[0].samples, left);
    EXPECT_EQ(result.channels[1].samples, right);
}

TEST(ZentriqDspTest, InitializeSetsFilterAndReverbButNotTheDelayRate)
{
    ZentriqDSP dsp;
    dsp.initialize(48000, 256);
    dsp.setReverbEnabled(true);
    dsp.setReverbDamping(1.0f);
    dsp.setPan(-1.0f); // left gain exactly 1
    std::vector<float> left(3000, 0.0f), right(3000, 0.0f);
    left[0] = 1.0f;
    const float *in[] = {left.data(), right.data()};
    std::vector<float> outLeft(3000), outRight(3000);
    float *outs[] = {outLeft.data(), outRight.data()};
    dsp.processNonInterleaved(in, outs, 3000, 2);
    // Combs sized for 48000 Hz: the shortest is 1200 + 1116 samples.
    for (std::size_t i = 1; i <= 2316; ++i)
        ASSERT_EQ(outLeft[i] != 0.0f, i == 2316) << i;

    ZentriqDSP delayed;
    delayed.initialize(48000, 256);
    delayed.setPan(-1.0f);
    delayed.setDelayTime(1.0f); // a tap of 44100 samples: the delay keeps 44100 Hz
    delayed.setDelayMix(0.5f); // in place the line takes the mixed sample
    delayed.setDelayEnabled(true);
    std::vector<float> longLeft(44101, 0.0f), longRight(44101, 0.0f);
    longLeft[0] = 1.0f;
    const float *longIn[] = {longLeft.data(), longRight.data()};
    float *longOut[] = {longLeft.data(), longRight.data()};
    delayed.processNonInterleaved(longIn, longOut, 44101, 2);
    EXPECT_EQ(longLeft[0], 0.5f);
    EXPECT_EQ(longLeft[44100], 0.25f);
    EXPECT_EQ(longLeft[44099], 0.0f);

    // The filter follows the chain's rate, clamped to 20 kHz, at its own 44100 Hz.
    ZentriqDSP filtered;
    filtered.initialize(48000, 256);
    filtered.setFilterEnabled(true);
    FilterProcessor reference;
    reference.setFrequency(20000.0f);
    std::vector<float> mono = noise(256), expected(256);
    reference.process(mono.data(), expected.data(), 256);
    const float *monoIn[] = {mono.data()};
    float *monoOut[] = {mono.data()};
    filtered.processNonInterleaved(monoIn, monoOut, 256, 1);
    EXPECT_EQ(mono, expected);
}

TEST(ZentriqDspTest, PlanarFilterStateRunsFromChannelToChannel)
{
    ZentriqDSP dsp;
    dsp.setPan(-1.0f);
    dsp.setFilterEnabled(true);
    const std::vector<float> left = noise(128, 8), right = noise(128, 9);
    AudioBlock out;
    dsp.processBlock(blockOf({left, right}), out);

    FilterProcessor reference; // low-pass 1000 Hz, one state over left then right
    std::vector<float> expectedLeft(128), expectedRight(128);
    reference.process(left.data(), expectedLeft.data(), 128);
    std::vector<float> pannedRight(128, 0.0f); // right gain 0 at full left
    reference.process(pannedRight.data(), expectedRight.data(), 128);
    EXPECT_EQ(out.channels[0].samples, expectedLeft);
    EXPECT_EQ(out.channels[1].samples, expectedRight);
    EXPECT_NE(out.channels[1].samples[0], 0.0f); // the left channel's ringing
}

TEST(ZentriqDspTest, MonoInterleavedLeavesTheReverbOut)
{
    ZentriqDSP dsp;
    dsp.initialize(44100, 512);
    dsp.setReverbEnabled(true);
    dsp.setGain(2.0f);
    const std::vector<float> mono = noise(300);
    std::vector<float> out(300);
    dsp.process(mono.data(), out.data(), 300, 1);
    for (std::size_t i = 0; i < mono.size(); ++i)
        ASSERT_EQ(out[i], mono[i] * 2.0f);
}

TEST(ZentriqDspTest, ChannelsBeyondTheStereoPairPassThrough)
{
    ZentriqDSP dsp;
    dsp.initialize(44100, 512);
    dsp.setPan(-1.0f);
    dsp.setGain(0.5f);
    dsp.setReverbEnabled(true);
    dsp.setReverbWet(0.0f); // the reverb runs but leaves the dry signal
    const std::size_t frames = 100;
    const std::vector<float> in = noise(4 * frames);
    std::vector<float> out(in.size(), 99.0f);
    dsp.process(in.data(), out.data(), frames, 4);
    for (std::size_t f = 0; f < frames; ++f) {
        SCOPED_TRACE(f);
        ASSERT_EQ(out[4 * f], in[4 * f] * 0.5f);
        ASSERT_EQ(out[4 * f + 1], 0.0f);
        ASSERT_EQ(out[4 * f + 2], in[4 * f + 2] * 0.5f);
        ASSERT_EQ(out[4 * f + 3], in[4 * f + 3] * 0.5f);
    }
}

TEST(ZentriqDspTest, MisuseNeitherCrashesNorStrays)
{
    ZentriqDSP uninitialised; // reverb enabled without lines: passes through
    uninitialised.setReverbEnabled(true);
    uninitialised.setDelayEnabled(true);
    std::vector<float> data = noise(2 * 256);
    const std::vector<float> before = data;
    uninitialised.process(data.data(), data.data(), 256, 2);
    uninitialised.process(data.data(), data.data(), 256, 0);
    uninitialised.process(data.data(), data.data(), 256, -3);
    uninitialised.processNonInterleaved(nullptr, nullptr, 256, -1);
    for (float v : data)
        ASSERT_TRUE(std::isfinite(v));

    ZentriqDSP dsp;
    makeBusy(dsp);
    AudioBlock shortChannels = blockOf({noise(40), noise(30), noise(50)});
    shortChannels.numSamples = 100000;
    AudioBlock out = blockOf({std::vector<float>(10), std::vector<float>(10), std::vector<float>(10)});
    out.numSamples = 100000; // same shape, far too short channels
    dsp.processBlock(shortChannels, out);
    ASSERT_EQ(out.channels.size(), 3u);
    for (const auto &channel : out.channels) {
        ASSERT_GE(channel.samples.size(), 30u);
        for (std::size_t i = 0; i < 30; ++i)
            ASSERT_TRUE(std::isfinite(channel.samples[i]));
    }
    AudioBlock empty;
    dsp.processBlock(empty, out);
    EXPECT_TRUE(out.channels.empty());
}

} // namespace
