// SPDX-License-Identifier: GPL-3.0-or-later
// Gain, one-pole filters, fades, reversal, normalisation, range edits and unit conversions
// on ramps whose exact results are known.
#include "AudioFixtures.h"

#include "audio/AudioProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace {

// Frame f of channel c holds f + c / 10, so every value names its place.
std::vector<float> ramp(size_t frames, int channels)
{
    std::vector<float> out;
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<float>(f) + static_cast<float>(c) / 10.0f);
    }
    return out;
}

std::vector<float> framesOf(const std::vector<float> &values, int channels, size_t from, size_t to)
{
    return std::vector<float>(values.begin() + from * channels, values.begin() + to * channels);
}

} // namespace

TEST(OfflineEdits, GainOnlyAttenuates)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> clip = {0.5f, -0.25f, 1.0f};
    struct Case { const char *name; float gain; bool decibels; std::vector<float> expected; };
    const Case cases[] = {
        {"2.0 acts as 1", 2.0f, false, clip},
        {"NaN acts as 1", nan, false, clip},
        {"-1 silences", -1.0f, false, {0.0f, -0.0f, 0.0f}},
        {"0.5 halves", 0.5f, false, {0.25f, -0.125f, 0.5f}},
        {"+6 dB acts as 1", 6.0f, true, clip},
        {"-120 dB", -120.0f, true, {0.5e-6f, -0.25e-6f, 1e-6f}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, clip, 1000, 1);
        c.decibels ? processor.applyGainDB(c.gain) : processor.applyGain(c.gain);
        const std::vector<float> out = clipOf(processor);
        for (size_t i = 0; i < clip.size(); ++i)
            EXPECT_NEAR(out[i], c.expected[i], 1e-12) << i;
        EXPECT_EQ(record.processed, 1);
    }

    AudioProcessor halved;
    setClip(halved, clip, 1000, 1);
    halved.applyGainDB(-6.0206f);
    EXPECT_NEAR(halved.samples[0], 0.25f, 1e-6);
}

TEST(OfflineEdits, NormaliseLowersThePeakToTheTarget)
{
    struct Case { const char *name; std::vector<float> clip; float target; std::vector<float> expected; int emitted; };
    const Case cases[] = {
        {"peak 0.5, target 1 stays", {0.5f, -0.25f}, 1.0f, {0.5f, -0.25f}, 1},
        {"peak 1, target 0.5 halves", {-1.0f, 0.5f}, 0.5f, {-0.5f, 0.25f}, 1},
        {"silence is left alone", {0.0f, 0.0f}, 0.5f, {0.0f, 0.0f}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, c.clip, 1000, 1);
        processor.normalize(c.target);
        EXPECT_EQ(clipOf(processor), c.expected);
        EXPECT_EQ(record.processed, c.emitted);
    }
}

TEST(OfflineEdits, OnePoleFiltersFollowTheirStepResponses)
{
    // RC = 1 / (2 pi fc), dt = 1 / rate. Low pass of a step from the first sample's value
    // 0 to 1: y[n] = 1 - (1 - a)^n. High pass of a constant c: y[n] = a^(n + 1) c.
    const int rate = 8000;
    const double rc = 1.0 / (2.0 * std::numbers::pi * 500.0);
    const double dt = 1.0 / rate;
    std::vector<float> step(64, 1.0f);
    step[0] = 0.0f;
    AudioProcessor low;
    setClip(low, step, rate, 1);
    low.applyLowPassFilter(500.0f);
    const double lowAlpha = dt / (rc + dt);
    for (size_t n = 0; n < step.size(); ++n)
        EXPECT_NEAR(low.samples[n], 1.0 - std::pow(1.0 - lowAlpha, static_cast<double>(n)), 1e-5) << n;

    // Stereo: each channel starts from its own first sample.
    std::vector<float> constant;
    for (int i = 0; i < 32; ++i) {
        constant.push_back(0.5f);
        constant.push_back(-0.25f);
    }
    AudioProcessor high;
    setClip(high, constant, rate, 2);
    high.applyHighPassFilter(500.0f);
    const double highAlpha = rc / (rc + dt);
    for (int n = 0; n < 32; ++n) {
        EXPECT_NEAR(high.samples[2 * n], std::pow(highAlpha, n + 1) * 0.5, 1e-6) << n;
        EXPECT_NEAR(high.samples[2 * n + 1], std::pow(highAlpha, n + 1) * -0.25, 1e-6) << n;
    }
}

TEST(OfflineEdits, FiltersRefuseCutoffsAndRatesWithoutATimeConstant)
{
    const std::vector<float> noise = seededNoise(256, 0.5f, 61);
    struct Case { const char *name; float cutoff; int rate; };
    const Case cases[] = {{"cutoff 0", 0.0f, 44100},
                          {"negative cutoff", -100.0f, 44100},
                          {"NaN cutoff", std::numeric_limits<float>::quiet_NaN(), 44100},
                          {"rate 0", 1000.0f, 0},
                          {"negative rate", 1000.0f, -44100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (bool lowPass : {true, false}) {
            AudioProcessor processor;
            SignalRecord record(processor);
            setClip(processor, noise, c.rate, 1);
            lowPass ? processor.applyLowPassFilter(c.cutoff) : processor.applyHighPassFilter(c.cutoff);
            EXPECT_EQ(clipOf(processor), noise);
            EXPECT_EQ(record.processed, 0);
        }
    }
}

TEST(OfflineEdits, FadesScaleWholeFrames)
{
    struct Case { const char *name; bool in; int durationMs; size_t frames; std::vector<float> gains; };
    const Case cases[] = {
        {"10 ms in", true, 10, 20, {0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f}},
        {"10 ms out", false, 10, 20, {1.0f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 0.1f}},
        {"longer than the clip", true, 100, 4, {0.0f, 0.25f, 0.5f, 0.75f}},
        {"length 0", false, 0, 4, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        const std::vector<float> ones(c.frames * 2, 1.0f);
        setClip(processor, ones, 1000, 2);
        c.in ? processor.fadeIn(c.durationMs) : processor.fadeOut(c.durationMs);
        std::vector<float> expected = ones;
        const size_t first = c.in ? 0 : c.frames - c.gains.size();
        for (size_t i = 0; i < c.gains.size(); ++i) {
            expected[2 * (first + i)] = c.gains[i];
            expected[2 * (first + i) + 1] = c.gains[i];
        }
        const std::vector<float> out = clipOf(processor);
        ASSERT_EQ(out.size(), expected.size());
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_FLOAT_EQ(out[i], expected[i]) << i;
        EXPECT_EQ(record.processed, 1);
    }
}

TEST(OfflineEdits, ReverseTurnsTheWholeInterleavedList)
{
    AudioProcessor processor;
    SignalRecord record(processor);
    setClip(processor, ramp(3, 2), 1000, 2);
    processor.reverse();
    EXPECT_EQ(clipOf(processor), (std::vector<float>{2.1f, 2.0f, 1.1f, 1.0f, 0.1f, 0.0f}));
    EXPECT_EQ(record.processed, 1);
}

TEST(OfflineEdits, DeleteRemovesWholeFrames)
{
    const std::vector<float> clip = ramp(3000, 2);
    struct Case { const char *name; qint64 startMs, endMs; size_t from, to; };
    const Case cases[] = {
        {"first second", 0, 1000, 0, 1000},
        {"middle", 1500, 2500, 1500, 2500},
        {"end before start", 2000, 1000, 0, 0},
        {"past the end", 2500, 99999, 2500, 3000},
        {"negative start", -500, 10, 0, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, clip, 1000, 2);
        processor.deleteSegment(c.startMs, c.endMs);
        std::vector<float> expected = framesOf(clip, 2, 0, c.from);
        const std::vector<float> tail = framesOf(clip, 2, c.to, 3000);
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(clipOf(processor), expected);
        EXPECT_EQ(record.processed, 1);
    }
}

TEST(OfflineEdits, InsertPlacesWholeFramesAndExtractCopiesThem)
{
    const std::vector<float> clip = ramp(10, 2);
    struct Case { const char *name; QList<float> segment; qint64 positionMs; size_t at; size_t inserted; };
    const Case cases[] = {
        {"middle", {-1.0f, -2.0f, -3.0f, -4.0f}, 4, 4, 2},
        {"beyond the end appends", {-1.0f, -2.0f}, 999, 10, 1},
        {"five values are two frames", {-1.0f, -2.0f, -3.0f, -4.0f, -5.0f}, 0, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, clip, 1000, 2);
        processor.insertSegment(c.segment, c.positionMs);
        std::vector<float> expected = framesOf(clip, 2, 0, c.at);
        expected.insert(expected.end(), c.segment.begin(), c.segment.begin() + c.inserted * 2);
        const std::vector<float> tail = framesOf(clip, 2, c.at, 10);
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(clipOf(processor), expected);
        EXPECT_EQ(record.processed, 1);
        // Copying the inserted range back gives the inserted frames.
        const QList<float> copy = processor.extractSegment(static_cast<qint64>(c.at),
                                                           static_cast<qint64>(c.at + c.inserted));
        EXPECT_EQ(copy, c.segment.first(static_cast<qsizetype>(c.inserted * 2)));
        EXPECT_EQ(record.processed, 1);
    }

    AudioProcessor processor;
    SignalRecord record(processor);
    setClip(processor, clip, 1000, 2);
    EXPECT_TRUE(processor.extractSegment(8, 2).isEmpty());
    processor.insertSegment({}, 0);
    processor.channels = 0;
    processor.insertSegment({1.0f}, 0);
    processor.deleteSegment(0, 5);
    EXPECT_TRUE(processor.extractSegment(0, 5).isEmpty());
    EXPECT_EQ(clipOf(processor), clip);
    EXPECT_EQ(record.processed, 0);
}

TEST(OfflineEdits, UnitConversions)
{
    AudioProcessor processor;
    processor.sampleRate = 44100;
    EXPECT_EQ(processor.samplesToMs(3000000), 68027);
    EXPECT_EQ(processor.msToSamples(1000), 44100);
    EXPECT_EQ(processor.msToSamples(-10), -441);
    EXPECT_EQ(processor.msToSamples(std::numeric_limits<qint64>::max()), std::numeric_limits<int>::max());
    EXPECT_FLOAT_EQ(processor.linearToDB(0.0f), -96.0f);
    EXPECT_FLOAT_EQ(processor.linearToDB(-1.0f), -96.0f);
    EXPECT_NEAR(processor.linearToDB(0.5f), -6.0206f, 1e-4);
    EXPECT_NEAR(processor.dBToLinear(-6.0206f), 0.5f, 1e-6);
    processor.sampleRate = 0;
    EXPECT_EQ(processor.samplesToMs(1000), 0);
}
