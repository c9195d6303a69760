// SPDX-License-Identifier: GPL-3.0-or-later
// Project records: defaults, envelope interpolation, clip length and copy independence.
#include "project/ProjectData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TrackData trackWithEnvelope(std::vector<EnvelopePoint> points)
{
    TrackData track;
    track.volumeEnvelope = std::move(points);
    return track;
}

TEST(ProjectRecords, DefaultsAreThoseOfAFreshProject)
{
    const TrackData track;
    EXPECT_EQ(track.type, TrackType::Audio);
    EXPECT_FLOAT_EQ(track.volume, 0.8f);
    EXPECT_EQ(track.pan, 0.0f);
    EXPECT_EQ(track.pluginId, -1);
    EXPECT_FALSE(track.color.isValid());
    EXPECT_TRUE(track.audioClips.empty());
    EXPECT_TRUE(track.midiClips.empty());
    EXPECT_EQ(MidiClip().duration, 4.0);
    const MidiNote note;
    EXPECT_EQ(note.pitch, 60);
    EXPECT_EQ(note.duration, 0.5);
    EXPECT_EQ(note.velocity, 100);
    EXPECT_EQ(TimelineMarker().color, QColor(255, 165, 0));
    const ProjectSettings settings;
    EXPECT_EQ(settings.sampleRate, 44100);
    EXPECT_EQ(settings.bitDepth, 32);
    EXPECT_EQ(settings.channels, 2);
    EXPECT_EQ(settings.tempo, 120.0);
    EXPECT_EQ(settings.timeSignature, QStringLiteral("4/4"));
    EXPECT_EQ(ProjectData().zoom, 1.0);
}

struct EnvelopeCase
{
    const char *name;
    std::vector<EnvelopePoint> points;
    double time;
    float expected;
};

TEST(ProjectRecords, EnvelopeValueAt)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<EnvelopePoint> ramp{{1.0, 0.2f}, {3.0, 1.0f}};
    const std::vector<EnvelopePoint> step{{2.0, 0.5f}, {2.0, 1.0f}};
    const EnvelopeCase cases[] = {
        {"before first", ramp, 0.0, 0.2f},
        {"at first", ramp, 1.0, 0.2f},
        {"midway", ramp, 2.0, 0.6f},
        {"at last", ramp, 3.0, 1.0f},
        {"after last", ramp, 10.0, 1.0f},
        {"single point", {{5.0, 0.3f}}, -100.0, 0.3f},
        {"single point later", {{5.0, 0.3f}}, 100.0, 0.3f},
        {"step at its time", step, 2.0, 0.5f},
        {"step before", step, 1.0, 0.5f},
        {"step after", step, 2.0000001, 1.0f},
        {"nan time", ramp, nan, 0.2f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(trackWithEnvelope(c.points).envelopeValueAt(c.time), c.expected, 1e-6f);
    }
}

TEST(ProjectRecords, EnvelopeWithoutPointsIsTheTrackVolume)
{
    TrackData track;
    track.volume = 1.25f;
    for (bool enabled : {false, true}) {
        track.envelopeEnabled = enabled;
        EXPECT_EQ(track.envelopeValueAt(-1.0), 1.25f);
        EXPECT_EQ(track.envelopeValueAt(1e9), 1.25f);
    }
}

struct LengthCase
{
    const char *name;
    qsizetype frames;
    int rate;
    double audioStart;
    double audioEnd;
    double expected;
};

TEST(ProjectRecords, ClipAudibleLength)
{
    const LengthCase cases[] = {
        {"trimmed", 88200, 44100, 0.5, 0.25, 1.25},
        {"trims eat it all", 88200, 44100, 1.5, 0.5, 0.0},
        {"no samples", 0, 44100, 0.0, 0.0, 0.0},
        {"zero rate", 88200, 0, 0.0, 0.0, 0.0},
        {"nan trim", 88200, 44100, std::nan(""), 0.0, 0.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AudioClip clip;
        clip.samples = QList<float>(c.frames, 0.1f);
        clip.sampleRate = c.rate;
        clip.audioStart = c.audioStart;
        clip.audioEnd = c.audioEnd;
        EXPECT_DOUBLE_EQ(clip.length(), c.expected);
    }
}

TEST(ProjectRecords, CopyOfTrackKeepsItsClipsWhenTheOriginalChanges)
{
    TrackData original;
    AudioClip clip;
    clip.samples = {0.1f, 0.2f, 0.3f};
    original.audioClips.push_back(clip);
    const TrackData copy = original;

    original.audioClips[0].samples[1] = 9.0f;
    original.audioClips.push_back(clip);

    ASSERT_EQ(copy.audioClips.size(), 1u);
    EXPECT_EQ(copy.audioClips[0].samples, (QList<float>{0.1f, 0.2f, 0.3f}));
}

} // namespace
