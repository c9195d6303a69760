// SPDX-License-Identifier: GPL-3.0-or-later
// Compressor static curve and smoothing start, exciter range and guards, stereo width.
#include "AudioFixtures.h"

#include "audio/AudioProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

float dbToAmplitude(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

} // namespace

TEST(Compressor, SettledGainFollowsTheStaticCurve)
{
    // Threshold -20 dB, ratio 4: above the knee the reduction is 3/4 of the excess; inside a
    // 10 dB knee it is 3/4 x (excess + 5)^2 / 20.
    struct Case { const char *name; double levelDb; float kneeDb; float makeupDb; double reductionDb; };
    const Case cases[] = {
        {"below threshold", -30.0, 0.0f, 0.0f, 0.0},
        {"-8 dB, hard knee", -8.0, 0.0f, 0.0f, 9.0},
        {"0 dB with make-up", 0.0, 0.0f, 6.0f, 15.0},
        {"at threshold, soft knee", -20.0, 10.0f, 0.0f, 0.75 * 25.0 / 20.0},
        {"inside soft knee", -17.0, 10.0f, 0.0f, 0.75 * 64.0 / 20.0},
        {"above soft knee", -10.0, 10.0f, 0.0f, 7.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        const float level = dbToAmplitude(c.levelDb);
        setClip(processor, std::vector<float>(4410, level), 44100, 1);
        processor.applyCompression(-20.0f, 4.0f, 1.0f, 1.0f, c.makeupDb, c.kneeDb);
        const double gainDb = 20.0 * std::log10(processor.samples.last() / level);
        EXPECT_NEAR(gainDb, c.makeupDb - c.reductionDb, 1e-3);
        EXPECT_EQ(record.processed, 1);
    }
}

TEST(Compressor, SmoothedGainStartsAtUnity)
{
    // A quiet clip needs no reduction: it keeps its very first samples instead of rising from silence.
    AudioProcessor processor;
    const std::vector<float> quiet = sineWave(440.0, 44100, 4410, 0.05f);
    setClip(processor, quiet, 44100, 1);
    processor.applyCompression(-20.0f, 4.0f, 10.0f, 200.0f, 0.0f, 0.0f);
    EXPECT_EQ(clipOf(processor), quiet);
}

TEST(Compressor, RefusedSettingsChangeNothing)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> loud = sineWave(440.0, 44100, 4410, 0.9f);
    const float inf = std::numeric_limits<float>::infinity();
    struct Case { const char *name; int rate; float ratio; float makeupDb; float attackMs; float kneeDb; };
    const Case cases[] = {
        {"ratio 1", 44100, 1.0f, 0.0f, 5.0f, 0.0f},
        {"ratio NaN", 44100, nan, 0.0f, 5.0f, 0.0f},
        {"make-up NaN", 44100, 4.0f, nan, 5.0f, 0.0f},
        {"attack NaN", 44100, 4.0f, 0.0f, nan, 0.0f},
        {"knee infinite", 44100, 4.0f, 0.0f, 5.0f, inf},
        {"rate 0", 0, 4.0f, 0.0f, 5.0f, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, loud, c.rate, 1);
        processor.applyCompression(-20.0f, c.ratio, c.attackMs, 100.0f, c.makeupDb, c.kneeDb);
        EXPECT_EQ(clipOf(processor), loud);
        EXPECT_EQ(record.processed, 0);
    }
}

TEST(Compressor, NegativeTimesAndKneeAreHeldAtZero)
{
    AudioProcessor processor;
    setClip(processor, std::vector<float>(1000, dbToAmplitude(-8.0)), 44100, 1);
    processor.applyCompression(-20.0f, 4.0f, -5.0f, -5.0f, 0.0f, -6.0f);
    for (float v : processor.samples)
        ASSERT_NEAR(20.0 * std::log10(v), -17.0, 1e-3);
}

TEST(Exciter, StaysWithinFullScaleAndGuardsItsInput)
{
    const std::vector<float> loud = seededNoise(44100, 1.0f, 31);
    AudioProcessor processor;
    SignalRecord record(processor);
    setClip(processor, loud, 44100, 1);
    processor.applyExciter(1.0f);
    EXPECT_NE(clipOf(processor), loud);
    for (float v : processor.samples)
        ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << v;
    EXPECT_EQ(record.processed, 1);

    // Amount 0 or NaN does nothing; so does a rate at which 2 kHz is not below Nyquist.
    struct Case { const char *name; float amount; int rate; };
    const Case guards[] = {{"amount 0", 0.0f, 44100},
                           {"amount NaN", std::numeric_limits<float>::quiet_NaN(), 44100},
                           {"rate 0", 1.0f, 0},
                           {"rate negative", 1.0f, -8000},
                           {"2 kHz at Nyquist", 1.0f, 4000}};
    for (const Case &c : guards) {
        SCOPED_TRACE(c.name);
        AudioProcessor guarded;
        SignalRecord guardedRecord(guarded);
        setClip(guarded, loud, c.rate, 1);
        guarded.applyExciter(c.amount);
        EXPECT_EQ(clipOf(guarded), loud);
        EXPECT_EQ(guardedRecord.processed, 0);
    }
}

TEST(Exciter, HighPassedHarmonicsAreAddedAtHalfTheAmount)
{
    // A 5 kHz tone passes the 2 kHz high pass nearly whole: the added part is tanh of the
    // driven tone, at most amount x 0.5.
    const std::vector<float> tone = sineWave(5000.0, 44100, 4410, 0.3f);
    AudioProcessor processor;
    setClip(processor, tone, 44100, 1);
    processor.applyExciter(0.5f);
    float added = 0.0f;
    for (size_t i = 0; i < tone.size(); ++i)
        added = std::max(added, std::fabs(processor.samples[i] - tone[i]));
    EXPECT_GT(added, 0.2f);
    EXPECT_LE(added, 0.25f);
}

TEST(StereoWidth, ScalesTheSideSignal)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // One pair (0.5, 0.1): mid 0.3, side 0.2.
    struct Case { const char *name; float width; float left; float right; };
    const Case cases[] = {
        {"width 1 keeps the pair", 1.0f, 0.5f, 0.1f},
        {"width 0 is the mid signal", 0.0f, 0.3f, 0.3f},
        {"width 2 doubles the side", 2.0f, 0.7f, -0.1f},
        {"width 5 counts as 2", 5.0f, 0.7f, -0.1f},
        {"NaN counts as 0", nan, 0.3f, 0.3f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        processor.stereoSamples = {0.5f, 0.1f, -0.2f, -0.2f};
        processor.samples = {9.0f};
        processor.applyImager(c.width);
        ASSERT_EQ(processor.stereoSamples.size(), 4);
        EXPECT_FLOAT_EQ(processor.stereoSamples[0], c.left);
        EXPECT_FLOAT_EQ(processor.stereoSamples[1], c.right);
        EXPECT_FLOAT_EQ(processor.stereoSamples[2], -0.2f);
        ASSERT_EQ(processor.samples.size(), 2);
        EXPECT_FLOAT_EQ(processor.samples[0], 0.3f);
        EXPECT_FLOAT_EQ(processor.samples[1], -0.2f);
        EXPECT_EQ(record.processed, 1);
    }

    AudioProcessor empty;
    SignalRecord record(empty);
    empty.samples = {0.25f};
    empty.applyImager(2.0f);
    EXPECT_EQ(empty.samples, QList<float>{0.25f});
    EXPECT_EQ(record.processed, 0);
}
