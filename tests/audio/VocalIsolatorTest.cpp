// SPDX-License-Identifier: GPL-3.0-or-later
// Centre extraction: the band gains on identical channels, silence without a centre, the
// strength and smoothing settings, and misuse.
#include "audio/VocalIsolator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr int rate = 44100;

// Interleaved stereo with `left` as the left channel and `rightSign`·`left` as the right one.
std::vector<float> stereoTone(double hz, std::size_t frames, float rightSign = 1.0f)
{
    std::vector<float> stereo(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const float v = 0.25f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * double(i) / rate));
        stereo[2 * i] = v;
        stereo[2 * i + 1] = rightSign * v;
    }
    return stereo;
}

std::vector<float> isolate(const std::vector<float> &stereo, float strength, float smoothing)
{
    VocalIsolator isolator;
    isolator.setIsolationStrength(strength, smoothing);
    std::vector<float> out(stereo.size() / 2, -1.0f);
    isolator.processOffline(stereo.data(), out.data(), out.size(), rate);
    return out;
}

// Output amplitude relative to the input tone, away from the rising head and the tail.
double relativeAmplitude(const std::vector<float> &out)
{
    double sum = 0.0;
    const std::size_t from = out.size() / 4, to = out.size() * 3 / 4;
    for (std::size_t i = from; i < to; ++i)
        sum += double(out[i]) * out[i];
    return std::sqrt(2.0 * sum / double(to - from)) / 0.25;
}

TEST(VocalIsolatorTest, BandGainsOnIdenticalChannels)
{
    // Overlapping squared symmetric Hann windows at a quarter hop sum to about 1.5, so the
    // steady output is 1.5 times the band's gain; tones sit well inside their bands.
    struct Case { double hz; double gain; };
    const double lift = 1.5;   // 1 + 0.5 s at full strength
    const Case cases[] = {
        {30, 0.3}, {150, lift}, {350, lift * 1.2}, {650, lift}, {1000, lift * 1.15},
        {1600, lift}, {2500, lift * 1.1}, {3500, lift}, {6000, 0.3}, {12000, 0.3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hz);
        const std::vector<float> out = isolate(stereoTone(c.hz, rate), 1.0f, 0.0f);
        EXPECT_NEAR(relativeAmplitude(out), 1.5 * c.gain, 0.02 * 1.5 * c.gain);
    }
}

TEST(VocalIsolatorTest, NoCentreGivesSilence)
{
    for (std::size_t frames : {std::size_t{1000}, std::size_t{30000}}) {
        SCOPED_TRACE(frames);
        const std::vector<float> out = isolate(stereoTone(440.0, frames, -1.0f), 0.8f, 0.02f);
        EXPECT_EQ(out, std::vector<float>(frames, 0.0f));
    }
}

TEST(VocalIsolatorTest, StrengthAndSmoothingSettings)
{
    struct Case { const char *name; float strength; float smoothing; double hz; double amplitude; };
    const Case cases[] = {
        {"strength 0 leaves the out-of-band gain at 1", 0.0f, 0.0f, 6000, 1.5},
        {"strength 0 leaves the plain band gain at 1", 0.0f, 0.0f, 650, 1.5},
        {"strength 0 keeps the formant factor", 0.0f, 0.0f, 350, 1.5 * 1.2},
        {"out-of-range values clamp to 1 and 0", 1.5f, -1.0f, 30, 1.5 * 0.3},
        {"smoothing 1 keeps the fresh zero magnitudes", 1.0f, 1.0f, 1000, 0.0},
        {"NaN gives 1 for both", nan, nan, 1000, 0.0},
        // Smoothing only weighs in the previous frame of a steady tone: the level is unchanged.
        {"default smoothing", 1.0f, 0.02f, 1000, 1.5 * 1.5 * 1.15},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> out = isolate(stereoTone(c.hz, rate), c.strength, c.smoothing);
        EXPECT_NEAR(relativeAmplitude(out), c.amplitude, 0.02 * c.amplitude + 1e-9);
    }
}

TEST(VocalIsolatorTest, MisuseNeitherCrashesNorStrays)
{
    const std::vector<float> stereo = stereoTone(440.0, 4000);
    for (std::uint64_t size : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{3}, std::uint64_t{1000},
                               std::uint64_t{1} << 40}) {
        SCOPED_TRACE(size);
        VocalIsolator isolator;
        isolator.initialize(size);
        std::vector<float> mid(4000, 0.1f), out(4000, 5.0f);
        isolator.spectralSubtraction(mid.data(), out.data(), mid.size(), rate);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v));
        std::vector<float> window(8, 1.0f);
        isolator.applyWindow(window.data(), window.size());
        isolator.removeWindow(window.data(), window.size());
    }
    VocalIsolator isolator;
    std::vector<float> out(3, 9.0f);
    isolator.processOffline(stereo.data(), out.data(), 0, rate);
    EXPECT_EQ(out, std::vector<float>(3, 9.0f));
    isolator.processFrame(stereo.data(), out.data(), -4, rate);
    EXPECT_EQ(out, std::vector<float>(3, 9.0f));
    std::vector<float> mono(4000);
    isolator.processOffline(stereo.data(), mono.data(), 4000, 0); // every bin at 0 Hz
    EXPECT_GT(relativeAmplitude(mono), 0.0);
}

} // namespace
