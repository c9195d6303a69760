// SPDX-License-Identifier: GPL-3.0-or-later
// The audio and MIDI clip lanes: where clips land, selecting a clip by click, moving the
// playhead, and what the waveform and note blocks paint.
#include "multitrack/AudioClipWidget.h"
#include "multitrack/MidiClipWidget.h"
#include "project/TrackData.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kRate = 100;

// An audio track with one clip of `frames` frames of `value` starting at `start` seconds.
TrackData audioTrack(double start, int frames, float value, const QList<float> &stereo = {})
{
    TrackData track;
    track.color = QColor(58, 134, 255);
    AudioClip clip;
    clip.samples = QList<float>(frames, value);
    clip.stereoSamples = stereo;
    clip.sampleRate = kRate;
    clip.start = start;
    track.audioClips.push_back(clip);
    return track;
}

QImage paint(QWidget &lane)
{
    QImage image(lane.size(), QImage::Format_ARGB32);
    lane.render(&image);
    return image;
}

int blue(const QImage &image, int x, int y)
{
    return qBlue(image.pixel(x, y));
}

TEST(ClipLane, MapsSecondsToTruncatedColumnsAndBack)
{
    AudioClipWidget lane(nullptr);
    const struct
    {
        double zoom;
        double viewStart;
        double seconds;
        int x;
    } cases[] = {
        {1.0, 0.0, 2.0, 200}, {1.0, 0.0, 3.5, 350},  {2.0, 1.0, 2.0, 200},   {1.0, 0.0, -0.005, 0},
        {1.0, 0.0, -0.015, -1}, {0.5, 10.0, 9.0, -50}, {512.0, 0.0, 1e300, 1000000000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s at zoom " << c.zoom << " from " << c.viewStart);
        lane.setZoomLevel(c.zoom);
        lane.setViewStartSec(c.viewStart);
        EXPECT_EQ(lane.secondsToX(c.seconds), c.x);
        if (std::abs(c.x) < 100000) {
            EXPECT_NEAR(lane.xToSeconds(lane.secondsToX(c.seconds)), c.seconds, 1 / (100.0 * c.zoom));
        }
    }
}

TEST(ClipLane, SnapsToTheNearestBeatAndIgnoresTemposBelowOne)
{
    MidiClipWidget lane(nullptr);
    EXPECT_DOUBLE_EQ(lane.snapToGrid(1.26), 1.5);
    EXPECT_DOUBLE_EQ(lane.snapToGrid(1.24), 1.0);
    EXPECT_DOUBLE_EQ(lane.snapToGrid(1.25), 1.5) << "halves away from zero";
    lane.setSnapBpm(0.0);
    lane.setSnapBpm(-60.0);
    EXPECT_DOUBLE_EQ(lane.snapToGrid(1.26), 1.5);
    lane.setSnapBpm(150.0);
    EXPECT_DOUBLE_EQ(lane.snapToGrid(1.3), 1.2);
}

TEST(ClipLane, AClickOnAClipSelectsItAndItsReleaseMovesThePlayhead)
{
    TrackData track = audioTrack(2.0, 150, 0.5);
    AudioClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    EXPECT_EQ(lane.hitTestClip({200, 8}), 0);
    EXPECT_EQ(lane.hitTestClip({350, 112}), 0);
    EXPECT_EQ(lane.hitTestClip({199, 60}), -1);
    EXPECT_EQ(lane.hitTestClip({351, 60}), -1);
    EXPECT_EQ(lane.hitTestClip({260, 7}), -1) << "above the clip body";

    QSignalSpy clicked(&lane, &ClipLaneWidget::clicked);
    QSignalSpy playhead(&lane, &ClipLaneWidget::playheadMoved);
    QTest::mouseClick(&lane, Qt::LeftButton, {}, QPoint(260, 60));
    EXPECT_EQ(lane.selectedClip(), 0);
    EXPECT_EQ(clicked.count(), 1);
    ASSERT_EQ(playhead.count(), 1);
    EXPECT_DOUBLE_EQ(playhead.at(0).at(0).toDouble(), 2.6);

    QTest::mouseClick(&lane, Qt::LeftButton, {}, QPoint(600, 60));
    EXPECT_EQ(lane.selectedClip(), -1) << "a click beside every clip clears the selection";
    EXPECT_DOUBLE_EQ(lane.playheadPosition(), 6.0);
    EXPECT_EQ(clicked.count(), 2);

    QSignalSpy scissor(&lane, &ClipLaneWidget::scissorClicked);
    lane.setToolMode(1);
    QTest::mouseClick(&lane, Qt::LeftButton, {}, QPoint(300, 60));
    EXPECT_EQ(scissor.count(), 1);
    EXPECT_EQ(lane.selectedClip(), -1) << "the scissor does not select";

    QSignalSpy doubleClicked(&lane, &ClipLaneWidget::clipDoubleClicked);
    QTest::mouseDClick(&lane, Qt::LeftButton, {}, QPoint(300, 60));
    ASSERT_EQ(doubleClicked.count(), 1);
    EXPECT_EQ(doubleClicked.at(0).at(0).toInt(), 0);
}

TEST(ClipLane, AudioWaveformsDrawAboveAndBelowTheirCentreLines)
{
    // Mono +0.5 from 1 s to 3 s: inner area y 12..108, centre 60, amplitude 48.
    TrackData mono = audioTrack(1.0, 200, 0.5);
    AudioClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&mono);
    QImage image = paint(lane);
    EXPECT_GT(blue(image, 200, 45), blue(image, 200, 80) + 30) << "the peak rises from the centre to 36";
    EXPECT_EQ(image.pixel(600, 60), QColor(20, 20, 30).rgb()) << "no clip past 3 s";

    // Stereo, left +0.5 and right -0.5: the left rises above y 36, the right falls below y 84.
    QList<float> stereo;
    for (int i = 0; i < 200; ++i)
        stereo << 0.5f << -0.5f;
    TrackData both = audioTrack(1.0, 200, 0.0f, stereo);
    lane.setTrackData(&both);
    image = paint(lane);
    EXPECT_GT(blue(image, 200, 30), blue(image, 200, 42) + 30);
    EXPECT_GT(blue(image, 200, 90), blue(image, 200, 78) + 30);

    // Single-sample spikes in silence, ten frames to a column: each shows in its own column
    // only, whatever its place among the frames scanned together.
    TrackData spikes = audioTrack(1.0, 0, 0.0f);
    AudioClip &clip = spikes.audioClips[0];
    clip.sampleRate = 1000;
    clip.samples = QList<float>(2000, 0.0f);
    clip.samples[1003] = 1.0f;  // column 1003 / (2000 / 192) = 96, x = 104 + 96
    clip.samples[502] = -1.0f;  // column 48, x = 152
    lane.setTrackData(&spikes);
    image = paint(lane);
    EXPECT_GT(blue(image, 200, 14), blue(image, 198, 14) + 30);
    EXPECT_GT(blue(image, 200, 14), blue(image, 202, 14) + 30);
    EXPECT_GT(blue(image, 152, 106), blue(image, 150, 106) + 30);
    EXPECT_GT(blue(image, 152, 106), blue(image, 154, 106) + 30);

    // A stereo list shorter than the clip draws the mono samples.
    TrackData shortStereo = audioTrack(1.0, 200, 0.5, QList<float>(10, -0.5f));
    lane.setTrackData(&shortStereo);
    EXPECT_EQ(paint(lane), paint(*[&] {
        lane.setTrackData(&mono);
        return &lane;
    }()));
}

TEST(ClipLane, MidiNotesOfOnePitchFillTheInnerHeight)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.color = QColor(255, 0, 85);
    MidiClip clip;
    clip.start = 1.0;
    clip.duration = 4.0;
    clip.notes = {{60, 0.0, 1.0, 100}, {60, 2.0, 1.0, 100}};
    track.midiClips.push_back(clip);
    MidiClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    const QImage image = paint(lane);
    // Clip body x 100..500, inner width 392 from x 104: notes at 104..202 and 300..398.
    const int red = qRed(image.pixel(150, 60));
    EXPECT_GT(red, qRed(image.pixel(250, 60)) + 40) << "a note, then the gap between the notes";
    EXPECT_NEAR(qRed(image.pixel(150, 14)), red, 10) << "one pitch spans the whole inner height";
    EXPECT_NEAR(qRed(image.pixel(150, 106)), red, 10);
    EXPECT_GT(qRed(image.pixel(350, 60)), qRed(image.pixel(250, 60)) + 40);
}

TEST(ClipLane, AnEmptyLaneShowsItsHint)
{
    AudioClipWidget audio(nullptr);
    MidiClipWidget midi(nullptr);
    for (ClipLaneWidget *lane : {static_cast<ClipLaneWidget *>(&audio), static_cast<ClipLaneWidget *>(&midi)}) {
        lane->resize(1000, 120);
        lane->setPlayheadPosition(9.0);
        const QImage image = paint(*lane);
        const QRgb background = QColor(20, 20, 30).rgb();
        int textPixels = 0;
        for (int y = 40; y < 80; ++y)
            for (int x = 200; x < 800; ++x)
                textPixels += image.pixel(x, y) != background;
        EXPECT_GT(textPixels, 100) << "the hint text is drawn in the middle";
        EXPECT_GT(qRed(image.pixel(900, 10)), 100) << "the playhead at 9 s";
        EXPECT_EQ(image.pixel(5, 10), background);
    }
}

} // namespace
