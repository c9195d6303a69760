// SPDX-License-Identifier: GPL-3.0-or-later
// The piano roll driven as a user drives it: drawing, moving, resizing, selecting, deleting,
// duplicating and transposing notes, the velocity lane, and what the drawn notes sound like.
#include "multitrack/PianoRollDialog.h"

#include "engine/PianoSampler.h"
#include "project/TrackData.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace {

MidiNote note(int pitch, double start, double duration, int velocity = 100)
{
    return MidiNote{pitch, start, duration, velocity};
}

void sendMouse(QWidget &widget, QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, modifiers);
    QApplication::sendEvent(&widget, &event);
}

void drag(QWidget &widget, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, modifiers);
    sendMouse(widget, QEvent::MouseMove, to, modifiers);
    sendMouse(widget, QEvent::MouseButtonRelease, to, modifiers);
}

// Plain wheel steps downwards until the row of `pitch` lies in the upper half of the grid.
void bringIntoView(PianoRollDialog &dialog, int pitch)
{
    while (dialog.pitchToY(pitch) > dialog.gridArea().center().y()) {
        const int before = dialog.verticalScroll();
        QWheelEvent wheel(QPointF(300, 200), dialog.mapToGlobal(QPointF(300, 200)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&dialog, &wheel);
        ASSERT_GT(dialog.verticalScroll(), before);
    }
}

// The middle of a note's row at the given beat.
QPoint at(const PianoRollDialog &dialog, double beat, int pitch)
{
    return QPoint(dialog.beatToX(beat), dialog.pitchToY(pitch) + dialog.rowHeight() / 2);
}

class PianoRoll : public ::testing::Test
{
protected:
    void open(std::vector<MidiNote> notes, double clipStart = 0.0)
    {
        clip.start = clipStart;
        clip.notes = std::move(notes);
        dialog = std::make_unique<PianoRollDialog>(&clip, QColor(Qt::blue), nullptr, nullptr, nullptr);
    }

    // Qt's PulseAudio backend closes a stream asynchronously; the loop runs briefly so no
    // stream is left half-closed when the process ends.
    void TearDown() override
    {
        dialog.reset();
        QTest::qWait(100);
    }

    MidiClip clip;
    std::unique_ptr<PianoRollDialog> dialog;
};

} // namespace

TEST_F(PianoRoll, GeometryOfAFreshDialog)
{
    open({});
    EXPECT_EQ(dialog->size(), QSize(960, 640));
    EXPECT_EQ(dialog->windowTitle(), "Piano Roll");
    EXPECT_EQ(dialog->gridArea(), QRect(48, 32, 912, 456));
    EXPECT_EQ(dialog->velocityArea(), QRect(48, 488, 912, 128));
    EXPECT_EQ(dialog->yToPitch(32), 119);
    EXPECT_EQ(dialog->pitchToY(12), 32 + 107 * 24);
    EXPECT_DOUBLE_EQ(dialog->xToBeat(48 + 24 * 3), 3.0);
}

TEST_F(PianoRoll, AnAltClickDrawsAQuarterBeatThatSoundsAtItsPlace)
{
    open({}, 2.0);
    bringIntoView(*dialog, 60);
    QSignalSpy edited(dialog.get(), &PianoRollDialog::clipEdited);
    const QPoint click = at(*dialog, 4.0, 60);
    sendMouse(*dialog, QEvent::MouseButtonPress, click, Qt::AltModifier);
    sendMouse(*dialog, QEvent::MouseButtonRelease, click, Qt::AltModifier);
    ASSERT_EQ(clip.notes.size(), 1u);
    EXPECT_EQ(clip.notes[0], note(60, 2.0, 0.125, 127));
    EXPECT_EQ(dialog->selection(), QSet<int>{0});
    ASSERT_EQ(edited.size(), 1);
    EXPECT_TRUE(edited.at(0).at(0).value<MidiClip>().notes.empty()) << "the clip as it was before";

    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    TrackData track;
    track.type = TrackType::Midi;
    track.midiClips = {clip};
    constexpr int rate = 44100;
    const QList<float> render = piano.renderTrack(track, rate);
    ASSERT_GE(render.size(), qsizetype(4.125 * rate));
    double energy = 0.0;
    for (qsizetype i = qsizetype(4.0 * rate); i < qsizetype(4.125 * rate); ++i)
        energy += double(render[i]) * render[i];
    const double rmsDb = 10.0 * std::log10(energy / (0.125 * rate));
    EXPECT_GT(rmsDb, -40.0);
    for (qsizetype i = 0; i < qsizetype(3.9 * rate); ++i)
        ASSERT_EQ(render[i], 0.0f) << "sound at " << double(i) / rate << " s";
}

TEST_F(PianoRoll, MovesSnapToQuarterBeatsAndStopAtTheClipStart)
{
    const struct
    {
        int dxPixels;
        int dyRows;
        double startBeat;
        int pitch;
    } cases[] = {
        {37, 0, 2.0 + 1.5, 60},   // 1.54 beats rounds to 1.5
        {5, 1, 2.0 + 0.25, 59},   // 0.21 beat rounds to 0.25, one row down
        {-2, -2, 2.0, 62},
        {-1000, 0, 0.0, 60},      // never before the clip start
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dxPixels);
        open({note(60, 1.0, 0.5)});
        bringIntoView(*dialog, 60);
        const QPoint grab = at(*dialog, 2.5, 60);
        drag(*dialog, grab, grab + QPoint(c.dxPixels, c.dyRows * dialog->rowHeight()));
        ASSERT_EQ(clip.notes.size(), 1u);
        EXPECT_DOUBLE_EQ(clip.notes[0].start * 2.0, c.startBeat);
        EXPECT_EQ(clip.notes[0].pitch, c.pitch);
        EXPECT_DOUBLE_EQ(clip.notes[0].duration, 0.5);
    }
}

TEST_F(PianoRoll, ResizingKeepsAtLeastAQuarterBeat)
{
    const struct
    {
        bool leftEdge;
        double toBeat;
        double startBeat;
        double lengthBeats;
    } cases[] = {
        {false, 4.5, 2.0, 2.5},
        {false, 2.25, 2.0, 0.25},
        {false, 2.0, 2.0, 1.0},   // shorter than a quarter beat: left as it was
        {false, 1.0, 2.0, 1.0},
        {true, 1.5, 1.5, 1.5},
        {true, 2.75, 2.0, 1.0},   // past end - 0.25: left as it was
        {true, -3.0, 0.0, 3.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.leftEdge << " to " << c.toBeat);
        open({note(60, 1.0, 0.5)});
        bringIntoView(*dialog, 60);
        const QPoint edge = at(*dialog, c.leftEdge ? 2.0 : 3.0, 60);
        const QPoint target(dialog->beatToX(c.toBeat), edge.y());
        drag(*dialog, edge, target);
        EXPECT_DOUBLE_EQ(clip.notes[0].start * 2.0, c.startBeat);
        EXPECT_DOUBLE_EQ(clip.notes[0].duration * 2.0, c.lengthBeats);
    }
}

TEST_F(PianoRoll, DeletingTheSelectionLeavesTheOtherNotesInOrder)
{
    // Notes 1 and 3 lie one row above the others, so a band over that row selects just them.
    open({note(60, 0.0, 0.25), note(61, 0.5, 0.25), note(60, 1.0, 0.25), note(61, 1.5, 0.25), note(60, 2.0, 0.25)});
    const std::vector<MidiNote> all = clip.notes;
    bringIntoView(*dialog, 61);
    const int rowTop = dialog->pitchToY(61);
    drag(*dialog, QPoint(dialog->beatToX(0.5), rowTop - 2), QPoint(dialog->beatToX(4.9), rowTop + 2));
    EXPECT_EQ(dialog->selection(), (QSet<int>{1, 3}));
    QTest::keyClick(dialog.get(), Qt::Key_Delete);
    EXPECT_EQ(clip.notes, (std::vector<MidiNote>{all[0], all[2], all[4]}));
    EXPECT_TRUE(dialog->selection().isEmpty());
}

TEST_F(PianoRoll, CtrlDAppendsCopiesThatBecomeTheSelection)
{
    open({note(60, 1.0, 0.5), note(64, 0.0, 0.25)});
    bringIntoView(*dialog, 60);
    sendMouse(*dialog, QEvent::MouseButtonPress, at(*dialog, 2.4, 60));
    sendMouse(*dialog, QEvent::MouseButtonRelease, at(*dialog, 2.4, 60));
    QTest::keyClick(dialog.get(), Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(clip.notes.size(), 3u);
    EXPECT_EQ(clip.notes[2], note(60, 1.5, 0.5));
    EXPECT_EQ(dialog->selection(), QSet<int>{2});

    // Copies past the clip's end grow the clip, so they sound.
    clip.duration = 2.0;
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(dialog.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(clip.notes.back(), note(60, 3.0, 0.5));
    EXPECT_DOUBLE_EQ(clip.duration, 3.5);
}

TEST_F(PianoRoll, TransposingStopsAtTheMidiRange)
{
    open({note(119, 0.0, 0.5)});
    sendMouse(*dialog, QEvent::MouseButtonPress, at(*dialog, 0.5, 119));
    sendMouse(*dialog, QEvent::MouseButtonRelease, at(*dialog, 0.5, 119));
    ASSERT_EQ(dialog->selection(), QSet<int>{0});
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int presses;
        int pitch;
    } steps[] = {{Qt::Key_Up, Qt::NoModifier, 10, 127},
                 {Qt::Key_Down, Qt::ControlModifier, 2, 103},
                 {Qt::Key_Down, Qt::ControlModifier, 20, 0},
                 {Qt::Key_Up, Qt::NoModifier, 1, 1}};
    for (const auto &s : steps) {
        for (int i = 0; i < s.presses; ++i)
            QTest::keyClick(dialog.get(), s.key, s.modifiers);
        EXPECT_EQ(clip.notes[0].pitch, s.pitch);
    }
}

TEST_F(PianoRoll, EditKeysWaitWhileADragIsHeld)
{
    open({note(60, 0.0, 0.5), note(62, 1.0, 0.5)});
    bringIntoView(*dialog, 62);
    // A move is held on the last note; deleting would leave its index past the list.
    sendMouse(*dialog, QEvent::MouseButtonPress, at(*dialog, 2.5, 62));
    QTest::keyClick(dialog.get(), Qt::Key_Delete);
    QTest::keyClick(dialog.get(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(clip.notes.size(), 2u);
    sendMouse(*dialog, QEvent::MouseMove, at(*dialog, 3.5, 62));
    sendMouse(*dialog, QEvent::MouseButtonRelease, at(*dialog, 3.5, 62));
    EXPECT_DOUBLE_EQ(clip.notes[1].start, 1.5);
    QTest::keyClick(dialog.get(), Qt::Key_Delete);
    EXPECT_EQ(clip.notes, (std::vector<MidiNote>{note(60, 0.0, 0.5)}));
}

TEST_F(PianoRoll, TheVelocityLaneEditsOnlyTheBarUnderThePointer)
{
    open({note(60, 0.0, 0.5, 100), note(62, 2.0, 0.5, 100)});
    const QRect lane = dialog->velocityArea();
    // The bar of note 1 (beats 4..5), dragged to the lane's middle.
    sendMouse(*dialog, QEvent::MouseButtonPress, QPoint(dialog->beatToX(4.5), lane.top() + 10));
    sendMouse(*dialog, QEvent::MouseMove, QPoint(dialog->beatToX(4.5), lane.top() + 64));
    sendMouse(*dialog, QEvent::MouseButtonRelease, QPoint(dialog->beatToX(4.5), lane.top() + 64));
    EXPECT_EQ(clip.notes[1].velocity, int((1.0 - 64.0 / 128.0) * 127));
    EXPECT_EQ(dialog->selection(), QSet<int>{1});

    // Beside every bar: the selected note keeps its velocity through the whole drag.
    sendMouse(*dialog, QEvent::MouseButtonPress, QPoint(dialog->beatToX(3.0), lane.top() + 100));
    sendMouse(*dialog, QEvent::MouseMove, QPoint(dialog->beatToX(4.5), lane.top() + 120));
    sendMouse(*dialog, QEvent::MouseButtonRelease, QPoint(dialog->beatToX(4.5), lane.top() + 120));
    EXPECT_EQ(clip.notes[1].velocity, 63);
    EXPECT_EQ(clip.notes[0].velocity, 100);
}

TEST_F(PianoRoll, WheelScrollsAndZoomsWithinLimits)
{
    open({});
    const auto wheel = [this](QPoint angle, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(300, 200), dialog->mapToGlobal(QPointF(300, 200)), QPoint(), angle, Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(dialog.get(), &event);
    };
    wheel(QPoint(0, 120), Qt::NoModifier);
    EXPECT_EQ(dialog->verticalScroll(), 0) << "never above the top row";
    wheel(QPoint(0, -120), Qt::NoModifier);
    EXPECT_EQ(dialog->verticalScroll(), 40);
    wheel(QPoint(0, 120), Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(dialog->horizontalZoom(), 1.1);
    for (int i = 0; i < 40; ++i)
        wheel(QPoint(0, -120), Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(dialog->verticalZoom(), 0.1);
}
