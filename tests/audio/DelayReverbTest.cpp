// SPDX-License-Identifier: GPL-3.0-or-later
// Impulse responses of the feedback delay and the reverb, their parameter limits and stability.
#include "AudioFixtures.h"

#include "audio/AudioProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::vector<float> impulse(size_t length)
{
    std::vector<float> out(length, 0.0f);
    out[0] = 1.0f;
    return out;
}

size_t firstNonZeroAfter(const std::vector<float> &values, size_t from)
{
    for (size_t i = from; i < values.size(); ++i) {
        if (values[i] != 0.0f)
            return i;
    }
    return values.size();
}

} // namespace

TEST(Delay, FirstEchoArrivesAfterTheDelayAtTheMixLevel)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case { const char *name; int rate; float mix; int delayMs; float feedback; size_t echo; float level; };
    const Case cases[] = {
        {"250 ms at 44.1 kHz", 44100, 0.5f, 250, 0.4f, 11025, 0.5f},
        {"0 ms counts as 1 ms", 44100, 0.5f, 0, 2.0f, 44, 0.5f},
        {"10 s counts as 5 s", 1000, 1.0f, 10000, 0.5f, 5000, 1.0f},
        {"mix above 1", 8000, 3.0f, 10, 0.5f, 80, 1.0f},
        {"NaN mix keeps the dry signal only", 8000, nan, 10, 0.5f, 80, 0.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, impulse(c.echo * 3), c.rate, 1);
        processor.applyDelay(c.mix, c.delayMs, c.feedback);
        const std::vector<float> out = clipOf(processor);
        const float mix = std::isnan(c.mix) ? 0.0f : std::min(c.mix, 1.0f);
        EXPECT_FLOAT_EQ(out[0], 1.0f - mix);
        EXPECT_EQ(firstNonZeroAfter(out, 1), c.level == 0.0f ? out.size() : c.echo);
        EXPECT_FLOAT_EQ(out[c.echo], c.level);
        EXPECT_EQ(record.processed, 1);
    }
}

TEST(Delay, RepeatsPassThroughTheFeedbackLowPass)
{
    // D = 10 frames, feedback 0.5: the second repeat is 0.5 x 0.7 of the first, and the
    // one-pole low pass leaves 0.5 x 0.7 x 0.3 one frame later.
    AudioProcessor processor;
    setClip(processor, impulse(40), 1000, 1);
    processor.applyDelay(1.0f, 10, 0.5f);
    const std::vector<float> out = clipOf(processor);
    EXPECT_FLOAT_EQ(out[10], 1.0f);
    EXPECT_FLOAT_EQ(out[20], 0.35f);
    EXPECT_FLOAT_EQ(out[21], 0.105f);
    EXPECT_FLOAT_EQ(out[19], 0.0f);
}

TEST(Delay, StereoChannelsEchoSeparatelyAndZeroChannelsChangeNothing)
{
    AudioProcessor processor;
    SignalRecord record(processor);
    std::vector<float> stereo(40, 0.0f);
    stereo[1] = 1.0f; // right channel only
    setClip(processor, stereo, 1000, 2);
    processor.applyDelay(1.0f, 5, 0.0f);
    const std::vector<float> out = clipOf(processor);
    EXPECT_FLOAT_EQ(out[2 * 5 + 1], 1.0f);
    EXPECT_FLOAT_EQ(out[2 * 5], 0.0f);

    processor.channels = 0;
    processor.applyDelay(1.0f, 5, 0.0f);
    EXPECT_EQ(clipOf(processor), out);
    EXPECT_EQ(record.processed, 1);
}

TEST(Reverb, FirstWetSampleFollowsPreDelayAndShortestComb)
{
    // At 1 kHz a frame is a millisecond. The shortest comb's first output passes both
    // all-passes' direct paths: 0.25 x (-0.5) x (-0.5).
    struct Case { const char *name; float room; float preDelayMs; size_t length; size_t firstWet; };
    const Case cases[] = {
        {"room 0.5, 50 ms", 0.5f, 50.0f, 1000, 50 + 14},
        {"room 0.05 counts as 0.1", 0.05f, 0.0f, 1000, 2},
        {"pre-delay 500 ms counts as 200", 0.5f, 500.0f, 1000, 200 + 14},
        {"whole milliseconds only", 1.0f, 10.7f, 1000, 10 + 29},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, impulse(c.length), 1000, 1);
        processor.applyReverb(1.0f, c.room, 0.5f, c.preDelayMs, 0.5f);
        const std::vector<float> out = clipOf(processor);
        EXPECT_EQ(firstNonZeroAfter(out, 0), c.firstWet);
        EXPECT_FLOAT_EQ(out[c.firstWet], 0.0625f);
        EXPECT_EQ(record.processed, 1);
    }
}

TEST(Reverb, PreDelayLongerThanTheClipStopsOneFrameShort)
{
    AudioProcessor processor;
    setClip(processor, impulse(100), 1000, 1);
    processor.applyReverb(0.5f, 0.5f, 0.5f, 150.0f, 0.5f);
    const std::vector<float> out = clipOf(processor);
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_EQ(firstNonZeroAfter(out, 1), out.size());
}

TEST(DelayAndReverb, LongClipsAtTheirStrongestSettingsStayFiniteAndBounded)
{
    struct Case { const char *name; bool reverb; };
    for (const Case &c : {Case{"reverb", true}, Case{"delay", false}}) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        setClip(processor, seededNoise(8000 * 60, 0.9f, 21), 8000, 1);
        if (c.reverb)
            processor.applyReverb(1.0f, 1.0f, 0.0f, 0.0f, 1.0f);
        else
            processor.applyDelay(1.0f, 1, 5.0f);
        float peak = 0.0f;
        for (float v : processor.samples) {
            ASSERT_TRUE(std::isfinite(v));
            peak = std::max(peak, std::fabs(v));
        }
        EXPECT_LT(peak, 20.0f);
    }
}

TEST(Reverb, GuardsChangeNothing)
{
    const std::vector<float> noise = seededNoise(500, 0.5f, 22);
    struct Case { const char *name; int rate; int channels; };
    const Case cases[] = {{"rate 0", 0, 1}, {"no channels", 44100, 0}, {"shorter than a frame", 44100, 1000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, noise, c.rate, c.channels);
        processor.applyReverb(0.5f, 0.5f, 0.5f, 20.0f, 0.5f);
        EXPECT_EQ(clipOf(processor), noise);
        EXPECT_EQ(record.processed, 0);
    }
}
