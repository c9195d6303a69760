// SPDX-License-Identifier: GPL-3.0-or-later
// Distortion curve and drive, chorus taps, mid/side identities and time stretching, the
// last set beside sox's tempo effect.
#include "NumpyOracle.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/ChorusProcessor.h"
#include "audio/dsp/DistortionProcessor.h"
#include "audio/dsp/MidSideProcessor.h"
#include "audio/dsp/TimeStretchProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr int rate = 44100;

std::vector<float> tone(double hz, std::size_t n)
{
    std::vector<float> samples(n);
    for (std::size_t i = 0; i < n; ++i)
        samples[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * double(i) / rate));
    return samples;
}

TEST(DistortionProcessorTest, SoftKneeAboveTheThreshold)
{
    DistortionProcessor distortion;
    distortion.setAmount(0.5f); // threshold 0.55; drive stays 1
    distortion.setMix(1.0f);
    for (float x : {0.0f, 0.3f, -0.55f, 0.56f, 0.8f, -1.5f, 4.0f, 100.0f}) {
        SCOPED_TRACE(x);
        float y = 0.0f;
        distortion.process(&x, &y, 1);
        const double t = 0.55, magnitude = std::abs(double(x));
        const double expected = magnitude <= t ? x : std::copysign(t + (1 - t) * std::tanh((magnitude - t) / (1 - t)), x);
        EXPECT_NEAR(y, expected, 1e-6);
        // Approaches 1 without reaching it until tanh itself rounds to 1 in single precision.
        if (std::abs(x) <= 4.0f) {
            EXPECT_LT(std::abs(y), 1.0f);
        }
        EXPECT_LE(std::abs(y), 1.0f);
    }
}

TEST(DistortionProcessorTest, DriveAndAmountSettings)
{
    // At amount 0 the shaper clips at 1, so a full-scale input comes back as 1/drive.
    struct Case { float dB; float drive; };
    for (const Case &c : {Case{6, 1.9952623f}, Case{-3, 1}, Case{0, 1}, Case{20, 10}, Case{50, 100}, Case{nan, 100}}) {
        SCOPED_TRACE(c.dB);
        DistortionProcessor distortion;
        distortion.setAmount(0.0f);
        distortion.setMix(1.0f);
        distortion.setDrive(c.dB);
        float x = 1.0f, y = 0.0f;
        distortion.process(&x, &y, 1);
        EXPECT_NEAR(y, 1.0f / c.drive, 1e-6f);
    }
    DistortionProcessor distortion;
    distortion.setAmount(nan);
    EXPECT_EQ(distortion.getAmount(), 1.0f);
    distortion.setMix(0.0f);
    std::vector<float> data{0.9f, -0.2f};
    distortion.process(data.data(), data.data(), 2);
    EXPECT_EQ(data, (std::vector<float>{0.9f, -0.2f}));
}

TEST(ChorusProcessorTest, TapsFollowTheVoiceDelaysFromTheFirstCall)
{
    ChorusProcessor chorus; // never set up: the first call must still work
    chorus.setDepth(0.0f);
    chorus.setMix(1.0f);
    std::vector<float> data(1000, 0.0f);
    data[0] = 1.0f;
    chorus.process(data.data(), data.data(), data.size());
    // Voices 7, 11 and 15 ms behind, each a third of the wet signal.
    for (std::size_t i = 0; i < data.size(); ++i) {
        const bool tap = i == 308 || i == 485 || i == 661;
        ASSERT_FLOAT_EQ(data[i], tap ? 1.0f / 3.0f : 0.0f) << i;
    }
}

TEST(ChorusProcessorTest, DryMixAndMisuse)
{
    ChorusProcessor chorus;
    chorus.setMix(0.0f);
    const std::vector<float> in = tone(300, 5000);
    std::vector<float> out(in.size());
    chorus.process(in.data(), out.data(), in.size());
    EXPECT_EQ(out, in);

    ChorusProcessor extreme;
    extreme.setRate(nan);
    extreme.setDepth(1e9f);
    extreme.setMix(-1.0f);
    extreme.reset();
    AudioBlock block;
    block.channels.resize(2);
    block.channels[0].samples = tone(200, 64);
    block.channels[1].samples = tone(200, 16);
    block.numSamples = 100000;
    extreme.setMix(1.0f);
    extreme.processBlock(block);
    EXPECT_EQ(block.channels[1].samples.size(), 16u);
    for (const auto &channel : block.channels)
        for (float v : channel.samples)
            ASSERT_TRUE(std::isfinite(v));
}

TEST(MidSideProcessorTest, Identities)
{
    const std::vector<float> stereo{0.8f, -0.2f, 0.1f, 0.5f, -1.0f, -1.0f};
    struct Case { const char *name; float mid; float side; std::vector<float> expected; };
    const Case cases[] = {
        {"new processor: unity gives the left channel", 1, 1, {0.8f, 0.1f, -1.0f}},
        {"side inverted gives the right channel", 1, -1, {-0.2f, 0.5f, -1.0f}},
        {"mid only", 1, 0, {0.3f, 0.3f, -1.0f}},
        {"side only", 0, 1, {0.5f, -0.2f, 0.0f}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MidSideProcessor processor;
        if (c.mid != 1 || c.side != 1) {
            processor.midGain = c.mid;
            processor.sideGain = c.side;
        }
        std::vector<float> out(3);
        processor.processOffline(stereo.data(), out.data(), 3);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_FLOAT_EQ(out[i], c.expected[i]);
    }
}

TEST(TimeStretchProcessorTest, RatioOneReproducesAndLongerOutputPadsWithSilence)
{
    const std::vector<float> in = tone(440, 10000);
    TimeStretchProcessor stretcher;
    stretcher.setOverlap(0.5f);
    std::vector<float> out(15000, 7.0f);
    stretcher.processOffline(in.data(), out.data(), in.size(), out.size());
    EXPECT_EQ(out[0], 0.0f); // the window is zero there
    for (std::size_t i = 1; i < in.size(); ++i)
        ASSERT_NEAR(out[i], in[i], 1e-6f) << i;
    for (std::size_t i = in.size() + 2048; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << i;

    std::vector<float> untouched(4, 7.0f);
    stretcher.processOffline(in.data(), untouched.data(), 0, 4);
    stretcher.processOffline(in.data(), untouched.data(), in.size(), 0);
    EXPECT_EQ(untouched, std::vector<float>(4, 7.0f));
    stretcher.setStretchRatio(nan);
    EXPECT_EQ(stretcher.getStretchRatio(), 4.0f);
    stretcher.setStretchRatio(0.0f);
    EXPECT_EQ(stretcher.getStretchRatio(), 0.25f);
}

// Twice as long, the tone keeps its pitch and level; sox's tempo effect does the same job.
TEST(TimeStretchProcessorTest, DoubleLengthKeepsPitchBesideSoxTempo)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty() && toolAvailable("sox"), "numpy or sox not installed");
    TestFiles files;
    const std::size_t length = rate;
    struct Case { double hz; float windowMs; };
    const Case cases[] = {{440, 46.4f}, {300, 46.4f}, {1000, 20.0f}, {440, 100.0f}};
    QByteArray rendered;
    for (const Case &c : cases) {
        const std::vector<float> in = tone(c.hz, length);
        TimeStretchProcessor stretcher;
        stretcher.setStretchRatio(2.0f);
        stretcher.setWindowSize(c.windowMs);
        std::vector<float> out(2 * length);
        stretcher.processOffline(in.data(), out.data(), length, out.size());
        rendered += float32Bytes(out);

        const QString input = files.write("in.wav", makeWavBytes(in, 1, rate, true));
        const ToolResult viaSox = runTool("sox", {input, "-t", "f32", "-", "tempo", "0.5"});
        ASSERT_TRUE(viaSox.ok());
        QByteArray bytes = viaSox.standardOutput.left(int(2 * length * sizeof(float)));
        bytes.append(QByteArray(int(2 * length * sizeof(float)) - bytes.size(), '\0'));
        rendered += bytes;
    }
    const QString script = QStringLiteral(
        "import sys, numpy as np\n"
        "for y in np.frombuffer(sys.stdin.buffer.read(), dtype='<f4').astype(float).reshape(-1, %1):\n"
        "    seg = y[%2:-%2]\n"
        "    X = np.abs(np.fft.rfft(seg * np.hanning(len(seg)), 1 << 20))\n"
        "    k = int(np.argmax(X)); a, b, c = np.log(X[k-1:k+2])\n"
        "    print((k + 0.5 * (a - c) / (a - 2 * b + c)) * %3 / (1 << 20), np.sqrt(np.mean(seg ** 2)))\n")
        .arg(2 * length).arg(rate / 4).arg(rate);
    bool ok = false;
    const std::vector<double> measured = runNumpy(script, rendered, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(measured.size(), 4 * std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(testing::Message() << cases[i].hz << " Hz, window " << cases[i].windowMs << " ms");
        const double ours = 1200.0 * std::log2(measured[4 * i] / cases[i].hz);
        const double sox = 1200.0 * std::log2(measured[4 * i + 2] / cases[i].hz);
        EXPECT_LT(std::abs(ours), 5.0) << "ours " << measured[4 * i] << " Hz, sox " << measured[4 * i + 2];
        EXPECT_LT(std::abs(sox), 5.0);
        EXPECT_NEAR(measured[4 * i + 1] / (0.5 / std::sqrt(2.0)), 1.0, 0.05); // level kept
    }
}

} // namespace
