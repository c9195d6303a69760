// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse gestures on the audio and MIDI lanes, driven through QTest: which gesture a press
// starts, trims, fades, body drags with snapping, envelope points and Alt-drawn MIDI clips.
#include "multitrack/AudioClipWidget.h"
#include "multitrack/MidiClipWidget.h"
#include "project/TrackData.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int kRate = 1000;

// Audio: one clip of `seconds` of silence at `start`. MIDI: one clip of `seconds` at `start`.
TrackData audioTrack(double start, double seconds)
{
    TrackData track;
    track.color = QColor(58, 134, 255);
    AudioClip clip;
    clip.samples = QList<float>(qsizetype(seconds * kRate), 0.1f);
    clip.sampleRate = kRate;
    clip.start = start;
    track.audioClips.push_back(clip);
    return track;
}

TrackData midiTrack(double start, double seconds)
{
    TrackData track;
    track.type = TrackType::Midi;
    track.color = QColor(58, 134, 255);
    MidiClip clip;
    clip.start = start;
    clip.duration = seconds;
    clip.notes = {{60, 0.0, 0.5, 100}};
    track.midiClips.push_back(clip);
    return track;
}

void drag(QWidget &lane, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mousePress(&lane, Qt::LeftButton, modifiers, from);
    QTest::mouseMove(&lane, to);
    QTest::mouseRelease(&lane, Qt::LeftButton, modifiers, to);
}

// What one press started, told apart by the signals and record changes it leads to.
struct Outcome
{
    int scissor = 0;
    int dragStarted = 0;
    int clicked = 0;
    int envelopeCommits = 0;
    int trimmed = 0;
};

// The press priority, same table for both lanes: clip 2.0..3.5 s at zoom 1 (x 200..350),
// one envelope point at (250, y of 1.0) when the envelope shows.
TEST(ClipLaneGestures, APressStartsTheFirstGestureInPriorityOrder)
{
    const int pointY = 8 + int(104 * (1 - 1.0 / 1.5));
    const struct
    {
        const char *name;
        int tool;
        bool envelope;
        QPoint press;
        QPoint release;
        Outcome expected;
        bool audioOnly;
    } cases[] = {
        {"envelope point before the scissor", 1, true, {250, pointY}, {250, pointY}, {0, 0, 0, 1, 0}, false},
        {"scissor on a clip", 1, false, {260, 60}, {260, 60}, {1, 0, 0, 0, 0}, false},
        {"scissor beside every clip moves the playhead", 1, false, {600, 60}, {600, 60}, {0, 0, 1, 0, 0}, false},
        {"move tool on a clip", 2, false, {260, 60}, {290, 60}, {0, 1, 0, 0, 0}, false},
        {"move tool beside every clip does nothing", 2, false, {600, 60}, {600, 60}, {0, 0, 0, 0, 0}, false},
        {"fade handle before the edge", 0, false, {205, 12}, {240, 12}, {0, 0, 0, 0, 1}, true},
        {"left edge", 0, false, {203, 60}, {230, 60}, {0, 0, 1, 0, 1}, false},
        {"right edge", 0, false, {348, 60}, {330, 60}, {0, 0, 1, 0, 1}, false},
        {"body drag", 0, false, {260, 60}, {300, 60}, {0, 0, 1, 0, 1}, false},
        {"empty place", 0, false, {600, 60}, {600, 60}, {0, 0, 1, 0, 0}, false},
    };
    for (const bool midi : {false, true}) {
        for (const auto &c : cases) {
            if (midi && c.audioOnly)
                continue;
            SCOPED_TRACE(testing::Message() << (midi ? "MIDI: " : "audio: ") << c.name);
            TrackData track = midi ? midiTrack(2.0, 1.5) : audioTrack(2.0, 1.5);
            track.volumeEnvelope = {{2.5, 1.0f}};
            std::unique_ptr<ClipLaneWidget> lane;
            if (midi)
                lane = std::make_unique<MidiClipWidget>(nullptr);
            else
                lane = std::make_unique<AudioClipWidget>(nullptr);
            lane->resize(1000, 120);
            lane->setTrackData(&track);
            lane->setToolMode(c.tool);
            lane->setShowEnvelope(c.envelope);
            QSignalSpy scissor(lane.get(), &ClipLaneWidget::scissorClicked);
            QSignalSpy started(lane.get(), &ClipLaneWidget::clipDragStarted);
            QSignalSpy finished(lane.get(), &ClipLaneWidget::clipDragFinished);
            QSignalSpy clicked(lane.get(), &ClipLaneWidget::clicked);
            QSignalSpy envelope(lane.get(), &ClipLaneWidget::envelopeEditCommitted);
            QSignalSpy trimmed(lane.get(), &ClipLaneWidget::clipTrimmed);
            drag(*lane, c.press, c.release);
            EXPECT_EQ(scissor.count(), c.expected.scissor);
            EXPECT_EQ(started.count(), c.expected.dragStarted);
            EXPECT_EQ(finished.count(), c.expected.dragStarted);
            EXPECT_EQ(clicked.count(), c.expected.clicked);
            EXPECT_EQ(envelope.count(), c.expected.envelopeCommits);
            EXPECT_EQ(trimmed.count(), c.expected.trimmed);
            EXPECT_FALSE(lane->gestureActive()) << "every gesture ends at the release";
        }
    }
}

TEST(ClipLaneGestures, AFadeHandleDragStopsAtHalfTheClipAndCurvesComeFromTheMenu)
{
    TrackData track = audioTrack(2.0, 4.0);
    AudioClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    QSignalSpy committed(&lane, &ClipLaneWidget::clipsEditCommitted);
    drag(lane, {205, 12}, {900, 12});
    EXPECT_DOUBLE_EQ(track.audioClips[0].fadeIn, 2.0);
    drag(lane, {595, 12}, {500, 12});
    EXPECT_NEAR(track.audioClips[0].fadeOut, 1.0, 1e-9);
    ASSERT_EQ(committed.count(), 2);
    EXPECT_EQ(committed.at(1).at(0).value<TrackClips>().audio[0].fadeOut, 0.0) << "the lists before the edit";

    // Third item of the fade-out submenu: exponential.
    QTimer::singleShot(0, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QMenu *fadeOut = menu->actions().at(1)->menu();
        menu->setActiveAction(menu->actions().at(1));
        QTest::keyClick(menu, Qt::Key_Right);
        fadeOut->setActiveAction(fadeOut->actions().at(2));
        QTest::keyClick(fadeOut, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 60), lane.mapToGlobal(QPoint(400, 60)));
    QApplication::sendEvent(&lane, &event);
    EXPECT_EQ(track.audioClips[0].fadeOutCurve, FadeCurve::Exponential);
}

// Pointer positions anywhere, off the lane included: the clip never starts before 0, no trim
// goes negative, 10 ms of audio always remain, and a left trim keeps the audio in place.
TEST(ClipLaneGestures, RandomTrimsKeepEveryClipSound)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pointer(-300, 1300);
    std::bernoulli_distribution leftEdge(0.5);
    TrackData track = audioTrack(0.6, 6.0);
    track.audioClips[0].audioStart = 1.0;
    track.audioClips[0].audioEnd = 0.5;
    AudioClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    const AudioClip &clip = track.audioClips[0];
    for (int i = 0; i < 500; ++i) {
        SCOPED_TRACE(i);
        const bool left = leftEdge(random);
        const int x = lane.secondsToX(left ? clip.start : clip.start + clip.length());
        const int edge = lane.hitTestClipEdge({x, 60});
        ASSERT_GE(edge, 0);
        const bool grabbedLeft = edge % 2 == 0;
        const double anchor = clip.start - clip.audioStart;
        drag(lane, {x, 60}, {pointer(random), 60});
        EXPECT_GE(clip.start, 0.0);
        EXPECT_GE(clip.audioStart, 0.0);
        EXPECT_GE(clip.audioEnd, 0.0);
        EXPECT_GE(clip.length(), 0.01 - 1e-9);
        if (grabbedLeft) {
            EXPECT_NEAR(clip.start - clip.audioStart, anchor, 1e-9);
        }
    }
}

TEST(ClipLaneGestures, MidiTrimsKeepATenthOfASecondAndStayRightOfZero)
{
    const struct
    {
        const char *name;
        QPoint from;
        int toX;
        double start;
        double duration;
    } cases[] = {
        {"right edge left of the start", {350, 60}, 100, 2.0, 0.1},
        {"left edge past the end", {200, 60}, 600, 3.4, 0.1},
        {"left edge left of zero", {200, 60}, -50, 0.0, 3.5},
        {"left edge into the clip", {200, 60}, 250, 2.5, 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TrackData track = midiTrack(2.0, 1.5);
        MidiClipWidget lane(nullptr);
        lane.resize(1000, 120);
        lane.setTrackData(&track);
        drag(lane, c.from, {c.toX, 60});
        EXPECT_NEAR(track.midiClips[0].start, c.start, 1e-9);
        EXPECT_NEAR(track.midiClips[0].duration, c.duration, 1e-9);
    }
}

// Body drags snap to beats of the project tempo as they sound: at 97 BPM with MIDI stored at
// 120 BPM, a MIDI clip's start x 120/97 is a whole number of beats.
TEST(ClipLaneGestures, BodyDragsSnapToTheBeatAsTheClipSounds)
{
    const struct
    {
        bool midi;
        double bpm;
        double scale;
        int toX;
        double soundingStart;
    } cases[] = {
        {false, 120.0, 1.0, 186, 1.5},  // 1.0 + 0.26 -> 1.5
        {false, 120.0, 1.0, 184, 1.0},  // 1.0 + 0.24 -> 1.0
        {true, 120.0, 1.0, 186, 1.5},
        {true, 97.0, 120.0 / 97.0, 320, 4 * 60.0 / 97.0},  // 2.6 s is 4.2 beats
        {false, 97.0, 1.0, 320, 4 * 60.0 / 97.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.midi ? "MIDI" : "audio") << " at " << c.bpm << " BPM to " << c.toX);
        // Sounding from 1.0 s to 3.0 s: x 100..300 at zoom 1, pressed at x 160.
        TrackData track = c.midi ? midiTrack(1.0 / c.scale, 2.0 / c.scale) : audioTrack(1.0, 2.0);
        std::unique_ptr<ClipLaneWidget> lane;
        if (c.midi) {
            auto midiLane = std::make_unique<MidiClipWidget>(nullptr);
            midiLane->setTempoScale(c.scale);
            lane = std::move(midiLane);
        } else {
            lane = std::make_unique<AudioClipWidget>(nullptr);
        }
        lane->resize(1000, 120);
        lane->setTrackData(&track);
        lane->setSnapEnabled(true);
        lane->setSnapBpm(c.bpm);
        drag(*lane, {160, 60}, {c.toX, 60});
        const double start = c.midi ? track.midiClips[0].start * c.scale : track.audioClips[0].start;
        EXPECT_NEAR(start, c.soundingStart, 1e-9);
    }
}

TEST(ClipLaneGestures, BodyDragsMoveOnlyPastFivePixels)
{
    for (const int dx : {5, 6}) {
        TrackData track = audioTrack(2.0, 1.5);
        AudioClipWidget lane(nullptr);
        lane.resize(1000, 120);
        lane.setTrackData(&track);
        QSignalSpy playhead(&lane, &ClipLaneWidget::playheadMoved);
        drag(lane, {260, 60}, {260 + dx, 60});
        EXPECT_DOUBLE_EQ(track.audioClips[0].start, dx == 5 ? 2.0 : 2.06);
        EXPECT_EQ(playhead.count(), dx == 5 ? 1 : 0);
    }
}

TEST(ClipLaneGestures, EnvelopePointsComeFromAltClicksAndKeepTheirOrder)
{
    TrackData track = audioTrack(2.0, 1.5);
    AudioClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    lane.setShowEnvelope(true);
    QSignalSpy commits(&lane, &ClipLaneWidget::envelopeEditCommitted);
    QTest::mouseClick(&lane, Qt::LeftButton, Qt::AltModifier, {100, 8});
    QTest::mouseClick(&lane, Qt::LeftButton, Qt::AltModifier, {300, 112});
    QTest::mouseClick(&lane, Qt::LeftButton, Qt::AltModifier, {500, 60});
    ASSERT_EQ(track.volumeEnvelope.size(), 3u);
    EXPECT_FLOAT_EQ(track.volumeEnvelope[0].value, 1.5f);
    EXPECT_FLOAT_EQ(track.volumeEnvelope[1].value, 0.0f);
    EXPECT_DOUBLE_EQ(track.volumeEnvelope[1].time, 3.0);
    EXPECT_EQ(commits.count(), 3);

    // The middle point dragged far right and far left stops at its neighbours.
    drag(lane, {300, 112}, {900, 60});
    EXPECT_DOUBLE_EQ(track.volumeEnvelope[1].time, 5.0);
    drag(lane, {500, 60}, {20, 60});
    EXPECT_DOUBLE_EQ(track.volumeEnvelope[1].time, 1.0);
    EXPECT_EQ(commits.count(), 5);
    const auto before = commits.last().at(0).value<std::vector<EnvelopePoint>>();
    EXPECT_DOUBLE_EQ(before[1].time, 5.0) << "the commit carries the points from before the drag";

    // A right-click on a point offers to delete it.
    QTimer::singleShot(0, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menu->setActiveAction(menu->actions().at(0));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    const QPoint point(100, 8);
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, lane.mapToGlobal(point));
    QApplication::sendEvent(&lane, &event);
    EXPECT_EQ(track.volumeEnvelope.size(), 2u);
    EXPECT_EQ(commits.count(), 6);
}

// Alt-drags of the MIDI lane: the span as it will sound, snapped when snapping is on,
// never left of the timeline's start, and nothing below half a second.
TEST(ClipLaneGestures, AltDragsCreateMidiClips)
{
    const struct
    {
        int fromX;
        int toX;
        double bpm;  // 0: no snapping
        double scale;
        bool created;
        double start;
        double duration;
    } cases[] = {
        {100, 220, 0, 1.0, true, 1.0, 1.2},   {100, 140, 0, 1.0, false, 0, 0},   {200, 100, 0, 1.0, true, 1.0, 1.0},
        {110, 120, 120, 1.0, true, 1.0, 0.5}, {110, 130, 150, 1.0, true, 1.2, 0.5}, {100, 150, 150, 1.0, false, 0, 0},
        {-80, 60, 0, 1.0, true, 0.0, 0.6},    {100, 220, 0, 2.0, true, 0.5, 0.6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fromX << " to " << c.toX << " at " << c.bpm << " BPM, scale " << c.scale);
        TrackData track = midiTrack(8.0, 1.0);
        MidiClipWidget lane(nullptr);
        lane.resize(1000, 120);
        lane.setTrackData(&track);
        lane.setTempoScale(c.scale);
        lane.setSnapEnabled(c.bpm > 0);
        lane.setSnapBpm(c.bpm > 0 ? c.bpm : 120.0);
        QSignalSpy created(&lane, &MidiClipWidget::clipCreated);
        drag(lane, {c.fromX, 60}, {c.toX, 60}, Qt::AltModifier);
        ASSERT_EQ(created.count(), c.created ? 1 : 0);
        if (c.created) {
            EXPECT_NEAR(created.at(0).at(0).toDouble(), c.start, 1e-9);
            EXPECT_NEAR(created.at(0).at(1).toDouble(), c.duration, 1e-9);
        }
    }

    // With the envelope showing, the Alt press adds a point instead.
    TrackData track = midiTrack(8.0, 1.0);
    MidiClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    lane.setShowEnvelope(true);
    QSignalSpy created(&lane, &MidiClipWidget::clipCreated);
    drag(lane, {100, 60}, {300, 60}, Qt::AltModifier);
    EXPECT_EQ(created.count(), 0);
    EXPECT_EQ(track.volumeEnvelope.size(), 1u);
}

// A list replaced under a held gesture (an undo from elsewhere) ends the gesture instead of
// writing past the new list.
TEST(ClipLaneGestures, AGestureWhoseClipIsGoneEndsQuietly)
{
    TrackData track = audioTrack(2.0, 1.5);
    AudioClipWidget lane(nullptr);
    lane.resize(1000, 120);
    lane.setTrackData(&track);
    QTest::mousePress(&lane, Qt::LeftButton, {}, {203, 60});
    EXPECT_TRUE(lane.gestureActive());
    track.audioClips.clear();
    QTest::mouseMove(&lane, {100, 60});
    EXPECT_FALSE(lane.gestureActive());
    QSignalSpy trimmed(&lane, &ClipLaneWidget::clipTrimmed);
    QTest::mouseRelease(&lane, Qt::LeftButton, {}, {100, 60});
    EXPECT_EQ(trimmed.count(), 0);
}

} // namespace
