// SPDX-License-Identifier: GPL-3.0-or-later
// YIN pitch tracking on synthetic tones of known frequency, note segmentation and targets.
#include "audio/YinPitchDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

namespace {

std::vector<float> sine(double hz, int sampleRate, double seconds, float amplitude = 0.5f)
{
    std::vector<float> out(static_cast<size_t>(seconds * sampleRate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / sampleRate));
    return out;
}

YinPitchDetector dialogDetector(float sampleRate)
{
    YinPitchDetector detector;
    detector.configure(sampleRate, 40.0f, 10.0f, 0.15f);
    return detector;
}

PitchFrame voiced(float hz = 220.0f) { return PitchFrame{0.0, hz, 0.9f, 57}; }
PitchFrame unvoiced() { return PitchFrame{}; }

} // namespace

TEST(YinPitchDetector, ConfigureTruncatesFrameAndHop)
{
    struct Case { float rate, frameMs, hopMs; int frame, hop; };
    const Case cases[] = {
        {44100.0f, 40.0f, 10.0f, 1764, 441},
        {48000.0f, 40.0f, 10.0f, 1920, 480},
        {8000.0f, 40.0f, 0.05f, 320, 1},
        {0.0f, 40.0f, 10.0f, 0, 1},
        {NAN, 40.0f, 10.0f, 0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.frameMs << "/" << c.hopMs << " ms");
        YinPitchDetector detector;
        detector.configure(c.rate, c.frameMs, c.hopMs, 0.15f);
        EXPECT_EQ(detector.frameSize, c.frame);
        EXPECT_EQ(detector.hopSize, c.hop);
    }
}

TEST(YinPitchDetector, FramesFollowTheHopAndCentreTimes)
{
    // A detector never configured tracks as the dialog's does: 40 ms frames every 10 ms at 44.1 kHz.
    const std::pair<const char *, YinPitchDetector> detectors[] = {{"configured", dialogDetector(44100.0f)},
                                                                   {"default", YinPitchDetector()}};
    const std::vector<float> tone = sine(220.0, 44100, 1.0);
    for (const auto &[name, detector] : detectors) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(detector.detect(tone.data(), 1763).empty());
        const std::vector<PitchFrame> one = detector.detect(tone.data(), 1764);
        ASSERT_EQ(one.size(), 1u);
        EXPECT_DOUBLE_EQ(one[0].timeSec, 882.0 / 44100.0);
        EXPECT_NEAR(one[0].frequencyHz, 220.0, 1.0);
        // (44100 - 1764) / 441 + 1 frames, the second centred one hop later.
        const std::vector<PitchFrame> all = detector.detect(tone.data(), tone.size());
        ASSERT_EQ(all.size(), 97u);
        EXPECT_DOUBLE_EQ(all[1].timeSec, (441.0 + 882.0) / 44100.0);
    }
}

TEST(YinPitchDetector, UnusableSettingsGiveNoFrames)
{
    const std::vector<float> tone = sine(220.0, 44100, 0.2);
    for (float rate : {0.0f, -44100.0f}) {
        YinPitchDetector detector;
        detector.configure(rate, 40.0f, 10.0f, 0.15f);
        EXPECT_TRUE(detector.detect(tone.data(), tone.size()).empty());
    }
}

TEST(YinPitchDetector, SinesAreTrackedToTheirNote)
{
    struct Case { double hz; int note; };
    const Case tones[] = {{55.0, 33},    {82.41, 40},   {110.0, 45},  {220.0, 57},
                          {261.63, 60},  {440.0, 69},   {1000.0, 83}, {1760.0, 93}};
    for (int rate : {44100, 48000}) {
        const YinPitchDetector detector = dialogDetector(static_cast<float>(rate));
        for (const Case &c : tones) {
            SCOPED_TRACE(testing::Message() << c.hz << " Hz at " << rate);
            const std::vector<float> tone = sine(c.hz, rate, 0.25);
            const std::vector<PitchFrame> frames = detector.detect(tone.data(), tone.size());
            ASSERT_FALSE(frames.empty());
            for (const PitchFrame &frame : frames) {
                EXPECT_NEAR(frame.frequencyHz, c.hz, c.hz * 0.005);
                EXPECT_EQ(frame.midiNote, c.note);
                EXPECT_GT(frame.confidence, 0.9f);
            }
        }
    }
}

TEST(YinPitchDetector, OutOfRangeTonesAndSilenceAreUnvoiced)
{
    const YinPitchDetector detector = dialogDetector(44100.0f);
    struct Case { const char *name; std::vector<float> signal; };
    const Case cases[] = {
        {"30 Hz", sine(30.0, 44100, 0.3)},
        {"3 kHz", sine(3000.0, 44100, 0.3)},
        {"silence", std::vector<float>(13230, 0.0f)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<PitchFrame> frames = detector.detect(c.signal.data(), c.signal.size());
        ASSERT_FALSE(frames.empty());
        for (const PitchFrame &frame : frames) {
            EXPECT_EQ(frame.frequencyHz, 0.0f);
            EXPECT_EQ(frame.confidence, 0.0f);
            EXPECT_EQ(frame.midiNote, -1);
        }
    }
}

TEST(YinPitchDetector, SegmentsBridgeShortGapsOnly)
{
    struct Span { int start, end; };
    struct Case { const char *pattern; std::vector<Span> spans; };
    const Case cases[] = {
        {"VVVuuVVV", {{0, 8}}},
        {"VVVuuuVVV", {{0, 3}, {6, 9}}},
        {"VV", {}},
        {"VuuuVVVV", {{4, 8}}},
        {"uuVVVuu", {{2, 5}}},
        {"", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pattern);
        std::vector<PitchFrame> frames;
        for (const char *p = c.pattern; *p; ++p)
            frames.push_back(*p == 'V' ? voiced() : unvoiced());
        const std::vector<PitchCorrectionSegment> segments = YinPitchDetector::buildSegments(frames, 3, 2);
        ASSERT_EQ(segments.size(), c.spans.size());
        for (size_t i = 0; i < segments.size(); ++i) {
            EXPECT_EQ(segments[i].startFrame, c.spans[i].start);
            EXPECT_EQ(segments[i].endFrame, c.spans[i].end);
            EXPECT_FLOAT_EQ(segments[i].detectedHz, 220.0f);
            EXPECT_EQ(segments[i].targetHz, segments[i].detectedHz);
            EXPECT_EQ(segments[i].midiNote, 57);
            EXPECT_FALSE(segments[i].manualTarget);
        }
    }
}

TEST(YinPitchDetector, SegmentMeanCountsLowConfidenceFramesInsideAGap)
{
    // The bridged frame has a frequency but too little confidence: it still counts in the mean.
    std::vector<PitchFrame> frames = {voiced(200.0f), voiced(200.0f), PitchFrame{0.0, 260.0f, 0.1f, 60},
                                      voiced(200.0f), unvoiced(), unvoiced(), unvoiced()};
    const std::vector<PitchCorrectionSegment> segments = YinPitchDetector::buildSegments(frames, 3, 2);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].endFrame, 4);
    EXPECT_FLOAT_EQ(segments[0].detectedHz, 215.0f);
}

TEST(YinPitchDetector, TargetsBlendTowardTheGoalNote)
{
    PitchCorrectionSegment automatic;
    automatic.detectedHz = 233.0f;
    automatic.targetHz = 233.0f;
    automatic.midiNote = 58;
    PitchCorrectionSegment manual = automatic;
    manual.midiNote = 60;
    manual.manualTarget = true;
    std::vector<PitchCorrectionSegment> segments = {automatic, manual};

    // Strength changes in any order end where a single call with the last strength ends.
    struct Case { float strength; float automaticHz; float manualHz; };
    const Case cases[] = {
        {1.0f, 233.0819f, 261.6256f},
        {0.0f, 233.0f, 233.0f},
        {0.5f, 233.0410f, (233.0f + 261.6256f) / 2.0f},
        {1.0f, 233.0819f, 261.6256f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.strength);
        YinPitchDetector::computeTargets(segments, c.strength);
        EXPECT_NEAR(segments[0].targetHz, c.automaticHz, 1e-3);
        EXPECT_EQ(segments[0].midiNote, 58);
        EXPECT_NEAR(segments[1].targetHz, c.manualHz, 1e-3);
        EXPECT_EQ(segments[1].midiNote, 60);
        EXPECT_NEAR(segments[1].shiftSemitones, 12.0 * std::log2(c.manualHz / 233.0), 1e-4);
    }
}
