// SPDX-License-Identifier: GPL-3.0-or-later
// Gain, panner, biquad, delay and reverb checked against closed-form results and numpy,
// and driven through misuse that must neither crash nor touch memory it does not own.
#include "NumpyOracle.h"
#include "Requirement.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DelayProcessor.h"
#include "audio/dsp/FilterProcessor.h"
#include "audio/dsp/GainProcessor.h"
#include "audio/dsp/PannerProcessor.h"
#include "audio/dsp/ReverbProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

AudioBlock makeBlock(int channels, std::size_t length, std::uint64_t numSamples)
{
    AudioBlock block;
    block.channels.resize(static_cast<std::size_t>(channels));
    for (auto &channel : block.channels)
        channel.samples.assign(length, 0.5f);
    block.numSamples = numSamples;
    return block;
}

TEST(GainProcessorTest, DecibelSettersClampAndReportBack)
{
    struct Case { float dB; float gain; float reportedDB; };
    const Case cases[] = {
        {12.0f, 3.9810717f, 12.0f}, {30.0f, 3.9810717f, 12.0f}, {nan, 3.9810717f, 12.0f},
        {-60.0f, 0.001f, -60.0f}, {-200.0f, 0.001f, -60.0f}, {-6.0f, 0.5011872f, -6.0f},
        {0.0f, 1.0f, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dB);
        GainProcessor gain;
        gain.setGainDB(c.dB);
        EXPECT_NEAR(gain.getGain(), c.gain, 1e-6f);
        EXPECT_NEAR(gain.getGainDB(), c.reportedDB, 1e-4f);
    }
    GainProcessor gain;
    gain.setGain(0.0f);
    EXPECT_EQ(gain.getGainDB(), -96.0f);
    gain.setGain(9.0f);
    EXPECT_EQ(gain.getGain(), 4.0f);
    gain.setGain(nan);
    EXPECT_EQ(gain.getGain(), 4.0f);
}

TEST(GainProcessorTest, ScalesSamplesAndBlocks)
{
    GainProcessor gain;
    gain.setGain(0.5f);
    std::vector<float> data{1.0f, -2.0f, 0.25f};
    gain.process(data.data(), data.data(), data.size());
    EXPECT_EQ(data, (std::vector<float>{0.5f, -1.0f, 0.125f}));

    AudioBlock block = makeBlock(3, 4, 4);
    gain.processBlock(block);
    for (const auto &channel : block.channels)
        EXPECT_EQ(channel.samples, std::vector<float>(4, 0.25f));
}

TEST(PannerProcessorTest, ConstantPowerLaw)
{
    for (float pan : {-0.99f, -0.5f, -0.1f, 0.0f, 0.3f, 0.75f, 0.99f}) {
        SCOPED_TRACE(pan);
        PannerProcessor panner;
        panner.setPan(pan);
        std::vector<float> frame{1.0f, 1.0f};
        panner.process(frame.data(), frame.data(), 1, 2);
        EXPECT_NEAR(frame[0] * frame[0] + frame[1] * frame[1], 1.0f, 1e-6f);
        // The angle runs from 0 (left) to pi/2 (right) linearly with the pan position.
        EXPECT_NEAR(std::atan2(frame[1], frame[0]), (1.0f + pan) * std::numbers::pi_v<float> / 4.0f, 1e-5f);
    }
}

TEST(PannerProcessorTest, EndStopsAndConstructionGains)
{
    struct Case { float pan; float left; float right; };
    const Case cases[] = {
        {1.0f, -4.371139e-8f, 1.0f}, {5.0f, -4.371139e-8f, 1.0f}, {nan, -4.371139e-8f, 1.0f},
        {-1.0f, 1.0f, 0.0f}, {-3.0f, 1.0f, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pan);
        PannerProcessor panner;
        panner.setPan(c.pan);
        std::vector<float> frame{1.0f, 1.0f};
        panner.process(frame.data(), frame.data(), 1, 2);
        EXPECT_FLOAT_EQ(frame[0], c.left);
        EXPECT_FLOAT_EQ(frame[1], c.right);
    }
    PannerProcessor fresh;
    std::vector<float> frame{1.0f, 1.0f};
    fresh.process(frame.data(), frame.data(), 1, 2);
    EXPECT_EQ(frame, (std::vector<float>{0.707f, 0.707f}));
}

TEST(PannerProcessorTest, ChannelsBeyondTheStereoPairPassThrough)
{
    PannerProcessor panner;
    panner.setPan(-1.0f);
    const std::vector<float> in{1, 2, 3, 4, 5, 6, 7, 8}; // two frames of four channels
    std::vector<float> out(in.size(), -9.0f);
    panner.process(in.data(), out.data(), 2, 4);
    EXPECT_EQ(out, (std::vector<float>{1, 0, 3, 4, 5, 0, 7, 8}));

    std::vector<float> mono{0.3f, -0.4f};
    std::vector<float> monoOut(2, 0.0f);
    panner.process(mono.data(), monoOut.data(), 2, 1);
    EXPECT_EQ(monoOut, mono);
}

struct BiquadCase
{
    FilterType type;
    float frequency;
    float q;
};

std::vector<float> impulseResponse(FilterProcessor &filter, std::size_t length)
{
    std::vector<float> data(length, 0.0f);
    data[0] = 1.0f;
    filter.process(data.data(), data.data(), length);
    return data;
}

TEST(FilterProcessorTest, ImpulseResponsesMatchTheCookbookFormulas)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty(), "python3 with numpy not installed");
    const BiquadCase cases[] = {
        {FilterType::LowPass, 1000, 0.707f}, {FilterType::LowPass, 80, 4.0f},
        {FilterType::HighPass, 1000, 0.707f}, {FilterType::HighPass, 12000, 0.3f},
        {FilterType::BandPass, 1000, 0.707f}, {FilterType::BandPass, 5000, 8.0f},
        {FilterType::Notch, 1000, 0.707f}, {FilterType::Notch, 250, 2.0f},
    };
    constexpr std::size_t length = 96;
    QString script = QStringLiteral(
        "import numpy as np\n"
        "def rbj(t, f0, q, fs=44100.0):\n"
        "    w0 = 2*np.pi*f0/fs; c = np.cos(w0); al = np.sin(w0)/(2*q)\n"
        "    b = {0: [(1-c)/2, 1-c, (1-c)/2], 1: [(1+c)/2, -(1+c), (1+c)/2],\n"
        "         2: [al, 0, -al], 3: [1, -2*c, 1]}[t]\n"
        "    a = [1+al, -2*c, 1-al]\n"
        "    x = np.zeros(%1); x[0] = 1; y = np.zeros(%1)\n"
        "    for n in range(%1):\n"
        "        y[n] = (b[0]*x[n] + b[1]*(x[n-1] if n > 0 else 0) + b[2]*(x[n-2] if n > 1 else 0)\n"
        "                - a[1]*(y[n-1] if n > 0 else 0) - a[2]*(y[n-2] if n > 1 else 0)) / a[0]\n"
        "    return y\n").arg(length);
    for (const BiquadCase &c : cases)
        script += QStringLiteral("print(*rbj(%1, %2, %3))\n").arg(int(c.type)).arg(c.frequency).arg(c.q);
    bool ok = false;
    const std::vector<double> expected = runNumpy(script, {}, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(expected.size(), std::size(cases) * length);

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const BiquadCase &c = cases[i];
        SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " " << c.frequency << " Hz Q " << c.q);
        FilterProcessor filter;
        filter.setType(c.type);
        filter.setFrequency(c.frequency);
        filter.setQ(c.q);
        const std::vector<float> response = impulseResponse(filter, length);
        for (std::size_t n = 0; n < length; ++n)
            ASSERT_NEAR(response[n], expected[i * length + n], 2e-4) << "sample " << n;
    }
}

TEST(FilterProcessorTest, BandPassPassesItsCentreAtUnityGain)
{
    FilterProcessor filter;
    filter.setType(FilterType::BandPass);
    std::vector<float> tone(44100);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = std::sin(2.0f * std::numbers::pi_v<float> * 1000.0f * static_cast<float>(i) / 44100.0f);
    filter.process(tone.data(), tone.data(), tone.size());
    float peak = 0.0f;
    for (std::size_t i = 22050; i < tone.size(); ++i)
        peak = std::max(peak, std::abs(tone[i]));
    EXPECT_NEAR(peak, 1.0f, 2e-3f);
}

TEST(FilterProcessorTest, UnknownShapeKeepsCoefficientsAndBlockStateRunsAcrossChannels)
{
    FilterProcessor filter;
    filter.setType(FilterType::HighPass);
    const std::vector<float> highPass = impulseResponse(filter, 32);
    filter.reset();
    filter.setType(static_cast<FilterType>(7));
    EXPECT_EQ(impulseResponse(filter, 32), highPass);

    filter.reset();
    AudioBlock block = makeBlock(2, 16, 16);
    std::fill(block.channels[0].samples.begin(), block.channels[0].samples.end(), 0.0f);
    std::fill(block.channels[1].samples.begin(), block.channels[1].samples.end(), 0.0f);
    block.channels[0].samples[0] = 1.0f;
    filter.processBlock(block);
    for (std::size_t n = 0; n < 16; ++n) {
        EXPECT_EQ(block.channels[0].samples[n], highPass[n]);
        EXPECT_EQ(block.channels[1].samples[n], highPass[16 + n]);
    }
}

TEST(DelayProcessorTest, ImpulseEchoesPingPongAtTheDelayTime)
{
    DelayProcessor delay;
    delay.setDelayTime(0.5f); // lines of 44100, tap at 22050
    const std::size_t frames = 44100 + 10;
    std::vector<float> in(2 * frames, 0.0f);
    in[0] = 1.0f;
    std::vector<float> out(2 * frames, -1.0f);
    delay.process(in.data(), out.data(), frames);

    for (std::size_t i = 0; i < frames; ++i) {
        SCOPED_TRACE(i);
        const float left = i == 0 ? 0.5f : i == 22050 ? 0.5f : 0.0f;
        const float right = i == 44100 ? 0.5f * 0.3f : 0.0f;
        ASSERT_FLOAT_EQ(out[2 * i], left);
        ASSERT_FLOAT_EQ(out[2 * i + 1], right);
    }
}

TEST(DelayProcessorTest, TimeClampsAndZeroTimeCopies)
{
    DelayProcessor delay;
    delay.setSampleRate(100.0f);
    delay.setDelayTime(9.0f); // 5 s: tap at 500
    delay.setMix(1.0f);
    std::vector<float> in(2 * 600, 0.0f);
    in[0] = 1.0f;
    std::vector<float> out(in.size());
    delay.process(in.data(), out.data(), 600);
    EXPECT_EQ(out[2 * 500], 1.0f);
    EXPECT_EQ(out[2 * 499], 0.0f);

    delay.setDelayTime(0.0f);
    std::vector<float> copy(in.size(), 7.0f);
    delay.process(in.data(), copy.data(), 600);
    EXPECT_EQ(copy, in);
}

TEST(ReverbProcessorTest, FirstEchoArrivesAfterTheShortestComb)
{
    ReverbProcessor reverb;
    reverb.initialize(44100);
    reverb.setDamping(1.0f);
    const std::size_t frames = 2400;
    std::vector<float> data(2 * frames, 0.0f);
    data[0] = 1.0f;
    data[1] = -1.0f;
    reverb.process(data.data(), data.data(), frames);
    // Dry share 0.7; the shortest comb (1102 + 1116 samples) returns the impulse, and each of the
    // four all-passes passes its input on at once scaled by -0.5.
    const float echo = 0.3f * 0.0625f;
    for (std::size_t i = 0; i <= 2218; ++i) {
        SCOPED_TRACE(i);
        const float expected = i == 0 ? 0.7f : i == 2218 ? echo : 0.0f;
        ASSERT_NEAR(data[2 * i], expected, 1e-7f);
        ASSERT_NEAR(data[2 * i + 1], -expected, 1e-7f);
    }
}

TEST(ReverbProcessorTest, DryAtZeroWetWhileLinesFill)
{
    ReverbProcessor reverb;
    reverb.initialize(44100);
    reverb.setWet(0.0f);
    std::vector<float> in(2 * 3000);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = std::sin(0.01f * static_cast<float>(i));
    std::vector<float> out(in.size());
    reverb.process(in.data(), out.data(), 3000);
    EXPECT_EQ(out, in);

    reverb.setWet(1.0f);
    std::vector<float> silence(2 * 10, 0.0f);
    reverb.process(silence.data(), silence.data(), 10);
    EXPECT_NE(silence[0], 0.0f); // the tail of what went in before
}

// Misuse through the public interface: every case must finish under the sanitizers and
// keep the output finite.
TEST(DspBuildingBlocksMisuseTest, NoCrashAndNoStrayAccess)
{
    std::vector<float> stereo(2 * 4096);
    for (std::size_t i = 0; i < stereo.size(); ++i)
        stereo[i] = std::sin(0.05f * static_cast<float>(i));

    {   // reverb before initialize: passes the input through
        ReverbProcessor reverb;
        std::vector<float> out(stereo.size());
        reverb.process(stereo.data(), out.data(), 4096);
        EXPECT_EQ(out, stereo);
        AudioBlock block = makeBlock(2, 64, 64);
        reverb.processBlock(block);
        EXPECT_EQ(block.channels[0].samples, std::vector<float>(64, 0.5f));
    }
    for (int rate : {-44100, 0, 1, 44100, 8000, std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(rate);
        ReverbProcessor reverb;
        reverb.initialize(44100);
        reverb.process(stereo.data(), stereo.data(), 1000); // positions deep into the lines
        reverb.initialize(rate);
        std::vector<float> data = stereo;
        reverb.process(data.data(), data.data(), 4096);
        for (float v : data)
            ASSERT_TRUE(std::isfinite(v));
    }
    for (float rate : {-44100.0f, 0.0f, nan, 96000.0f, 1e12f}) {
        SCOPED_TRACE(rate);
        DelayProcessor delay;
        delay.setDelayTime(0.01f);  // sized for 44100 Hz
        delay.setSampleRate(rate);  // then the tap moves, possibly beyond the line
        std::vector<float> data = stereo;
        delay.process(data.data(), data.data(), 4096);
        delay.setDelayTime(0.002f); // shrinks the line below the positions reached
        delay.process(data.data(), data.data(), 4096);
        for (float v : data)
            ASSERT_TRUE(std::isfinite(v));
    }
    {   // numSamples beyond the channel vectors
        AudioBlock block = makeBlock(2, 32, 100000);
        GainProcessor gain;
        gain.setGain(2.0f);
        gain.processBlock(block);
        PannerProcessor().processBlock(block);
        FilterProcessor().processBlock(block);
        DelayProcessor delay;
        delay.setDelayTime(0.1f);
        delay.processBlock(block);
        ReverbProcessor reverb;
        reverb.initialize(44100);
        reverb.processBlock(block);
        EXPECT_EQ(block.channels[0].samples.size(), 32u);
        AudioBlock empty;
        empty.numSamples = 10;
        gain.processBlock(empty);
        reverb.processBlock(empty);
        delay.processBlock(empty);
    }
}

} // namespace
