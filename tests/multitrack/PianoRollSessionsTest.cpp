// SPDX-License-Identifier: GPL-3.0-or-later
// Piano rolls opened from the multitrack page: one per clip, their edits as one undo step,
// clip lists changing under an open roll, and the preview's sound on and off.
#include "multitrack/MidiClipWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/PianoRollDialog.h"
#include "multitrack/PianoRollSessions.h"
#include "multitrack/PreviewPlaybackDevice.h"
#include "multitrack/TrackRowWidget.h"
#include "engine/LiveAudioPlayer.h"
#include "project/UndoCommands.h"

#include "MonitorCapture.h"
#include "Requirement.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMouseEvent>
#include <QTest>
#include <QUndoStack>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

void sendMouse(QWidget &widget, QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, modifiers);
    QApplication::sendEvent(&widget, &event);
}

void click(QWidget &widget, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    sendMouse(widget, QEvent::MouseButtonPress, at, modifiers);
    sendMouse(widget, QEvent::MouseButtonRelease, at, modifiers);
}

void bringIntoView(PianoRollDialog &dialog, int pitch)
{
    while (dialog.pitchToY(pitch) > dialog.gridArea().center().y()) {
        QWheelEvent wheel(QPointF(300, 200), dialog.mapToGlobal(QPointF(300, 200)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&dialog, &wheel);
    }
}

QPoint at(const PianoRollDialog &dialog, double beat, int pitch)
{
    return QPoint(dialog.beatToX(beat), dialog.pitchToY(pitch) + dialog.rowHeight() / 2);
}

// A roll closes through queued calls (its own close, then its deletion): a few rounds of the
// loop let both run.
void deleteClosedDialogs()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

bool haveAudioOutput()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

// Largest magnitude of `frames` stereo frames read from the device.
int loudest(PreviewPlaybackDevice &device, int frames)
{
    QByteArray bytes(qsizetype(frames) * 4, Qt::Uninitialized);
    EXPECT_EQ(device.read(bytes.data(), bytes.size()), bytes.size());
    const auto *samples = reinterpret_cast<const short *>(bytes.constData());
    int peak = 0;
    for (int i = 0; i < 2 * frames; ++i)
        peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
}

class PageRolls : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page.addMidiTrack(QStringLiteral("钢琴"), notes, 4.0);
        row = page.trackRows[0];
    }
    void TearDown() override
    {
        for (PianoRollDialog *dialog : page.pianoRolls->openDialogs())
            dialog->reject();
        deleteClosedDialogs();
        QTest::qWait(100);
    }

    PianoRollDialog *openRoll(int clipIndex = 0)
    {
        emit row->midiClipWidget->clipDoubleClicked(clipIndex);
        const std::vector<PianoRollDialog *> dialogs = page.pianoRolls->openDialogs();
        return dialogs.empty() ? nullptr : dialogs.back();
    }

    const std::vector<MidiNote> notes{{60, 0.0, 0.5, 90}, {64, 0.5, 0.5, 80}, {67, 1.0, 1.0, 70}};
    ProjectDocument document;
    MultiTrackEditorPage page{document, nullptr};
    TrackRowWidget *row = nullptr;
};

} // namespace

TEST_F(PageRolls, ADoubleClickedClipOpensOneRoll)
{
    PianoRollDialog *dialog = openRoll();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->currentClip(), &page.document().tracks[0].midiClips[0]);
    EXPECT_EQ(openRoll(), dialog) << "the second double-click raises the same roll";
    EXPECT_EQ(page.pianoRolls->openDialogs().size(), 1u);
    emit row->midiClipWidget->clipDoubleClicked(5);
    EXPECT_EQ(page.pianoRolls->openDialogs().size(), 1u) << "no clip there";

    // Closing stops the preview and deletes the roll.
    const QPointer<PianoRollDialog> guard(dialog);
    dialog->reject();
    EXPECT_FALSE(dialog->previewRunning());
    deleteClosedDialogs();
    EXPECT_FALSE(guard);
    EXPECT_TRUE(page.pianoRolls->openDialogs().empty());
}

TEST_F(PageRolls, ASessionIsOneUndoStepThatRestoresTheNotesExactly)
{
    const int steps = page.document().undoStack->count();
    const MidiClip original = page.document().tracks[0].midiClips[0];
    PianoRollDialog *dialog = openRoll();
    ASSERT_TRUE(dialog);
    bringIntoView(*dialog, 62);
    click(*dialog, at(*dialog, 9.0, 62), Qt::AltModifier);  // a new note at 4.5 s, past the clip's end
    QTest::keyClick(dialog, Qt::Key_Up);
    click(*dialog, at(*dialog, 1.5, 64));
    QTest::keyClick(dialog, Qt::Key_D, Qt::ControlModifier);
    QTest::keyClick(dialog, Qt::Key_Down, Qt::ControlModifier);
    dialog->reject();
    deleteClosedDialogs();

    const MidiClip edited = page.document().tracks[0].midiClips[0];
    ASSERT_EQ(edited.notes.size(), 5u);
    EXPECT_EQ(edited.notes[3], (MidiNote{63, 4.5, 0.125, 127}));
    EXPECT_EQ(edited.notes[4], (MidiNote{52, 1.0, 0.5, 80}));
    EXPECT_DOUBLE_EQ(edited.duration, 4.625) << "the clip grew over the new note";
    ASSERT_EQ(page.document().undoStack->count(), steps + 1);
    EXPECT_EQ(page.document().undoStack->undoText(), "编辑音符");

    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].notes, original.notes);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].duration, original.duration);
    page.stepHistory(true);
    EXPECT_EQ(page.document().tracks[0].midiClips[0], edited);
    page.stepHistory(false);
    page.stepHistory(false);
    EXPECT_TRUE(page.document().tracks.empty()) << "the step before is the track's own";
}

TEST_F(PageRolls, AnotherStepBetweenEditsSplitsTheSessionInOrder)
{
    PianoRollDialog *dialog = openRoll();
    ASSERT_TRUE(dialog);
    bringIntoView(*dialog, 60);
    click(*dialog, at(*dialog, 0.5, 60));
    QTest::keyClick(dialog, Qt::Key_Up);
    const MidiClip afterFirst = page.document().tracks[0].midiClips[0];
    // The lane adds a clip with an undo step of its own while the roll stays open.
    const std::vector<MidiClip> before = page.document().tracks[0].midiClips;
    std::vector<MidiClip> after = before;
    after.push_back(MidiClip{7, {}, 8.0, 2.0});
    page.document().undoStack->push(TrackClipsSnapshotCommand::createForMidi(&page.document().tracks, 0, before, after, QStringLiteral("x")));
    QTest::keyClick(dialog, Qt::Key_Up);
    ASSERT_EQ(page.document().tracks[0].midiClips[0].notes[0].pitch, 62);

    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].notes[0].pitch, 61);
    ASSERT_EQ(page.document().tracks[0].midiClips.size(), 2u) << "the other step stays";
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].midiClips, std::vector<MidiClip>{afterFirst});
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].notes, notes);
}

// Run under AddressSanitizer: every step here once left an open roll reading freed memory.
TEST_F(PageRolls, AnOpenRollFollowsItsClipThroughListChangesAndClosesWhenItGoes)
{
    PianoRollDialog *dialog = openRoll();
    ASSERT_TRUE(dialog);
    const QPointer<PianoRollDialog> guard(dialog);
    // New clips drawn on the lane move the whole clip list.
    for (int i = 0; i < 20; ++i)
        emit row->midiClipWidget->clipCreated(10.0 + 5 * i, 4.0);
    ASSERT_EQ(page.document().tracks[0].midiClips.size(), 21u);
    page.syncPlayheadAll(1.0);
    dialog->grab();
    EXPECT_EQ(dialog->currentClip(), &page.document().tracks[0].midiClips[0]);
    bringIntoView(*dialog, 60);
    click(*dialog, at(*dialog, 0.5, 60));
    QTest::keyClick(dialog, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].notes.size(), 4u);

    // The clip is deleted: the roll closes itself.
    std::vector<MidiClip> after = page.document().tracks[0].midiClips;
    after.erase(after.begin());
    page.document().undoStack->push(TrackClipsSnapshotCommand::createForMidi(&page.document().tracks, 0, page.document().tracks[0].midiClips, after,
                                                                  QStringLiteral("删除")));
    page.syncPlayheadAll(2.0);
    deleteClosedDialogs();
    EXPECT_FALSE(guard);
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].notes.size(), 4u);

    // A roll whose track is removed closes as well.
    PianoRollDialog *again = openRoll();
    ASSERT_TRUE(again);
    const QPointer<PianoRollDialog> againGuard(again);
    page.removeTrack(0);
    deleteClosedDialogs();
    EXPECT_FALSE(againGuard);
}

TEST_F(PageRolls, WhileTheLivePlayerRunsARollOnlySendsNotes)
{
    ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    ASSERT_TRUE(page.document().pianoSampler.hasSamples());
    LiveAudioPlayer player;
    player.setPianoSampler(&page.document().pianoSampler);
    ASSERT_TRUE(player.start(44100));
    page.pianoRolls->setLivePlayer(&player);
    PianoRollDialog *dialog = openRoll();
    ASSERT_TRUE(dialog && dialog->previewSource());
    bringIntoView(*dialog, 60);
    const QPoint key(20, dialog->pitchToY(60) + dialog->rowHeight() / 2);
    sendMouse(*dialog, QEvent::MouseButtonPress, key);
    EXPECT_EQ(loudest(*dialog->previewSource(), 2048), 0) << "the player renders the note, not the roll";
    sendMouse(*dialog, QEvent::MouseButtonRelease, key);

    player.stop();
    sendMouse(*dialog, QEvent::MouseButtonPress, key);
    EXPECT_GT(loudest(*dialog->previewSource(), 2048), 1000);
    sendMouse(*dialog, QEvent::MouseButtonRelease, key);
}

TEST(PageRollsLifetime, APageClosedWithAnOpenRollReleasesItFirst)
{
    ProjectDocument document;
    auto page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
    ASSERT_TRUE(page->document().sf2Sampler.loadSoundFont(QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2"))
                || page->document().pianoSampler.hasSamples());
    page->addMidiTrack(QStringLiteral("m"), {{60, 0.0, 0.5, 100}}, 4.0);
    emit page->trackRows[0]->midiClipWidget->clipDoubleClicked(0);
    ASSERT_EQ(page->pianoRolls->openDialogs().size(), 1u);
    const QPointer<PianoRollDialog> roll(page->pianoRolls->openDialogs()[0]);
    page.reset();
    EXPECT_FALSE(roll);
    QTest::qWait(100);
}

TEST(PreviewPlaybackDevice, PlaysTheInstrumentUnlessTheLivePlayerRendersIt)
{
    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    piano.setSampleRate(44100);
    PreviewPlaybackDevice device(nullptr, &piano, nullptr);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    EXPECT_EQ(loudest(device, 2048), 0) << "silence between notes, never a dry read";
    piano.noteOn(60, 100);
    EXPECT_GT(loudest(device, 2048), 1000);
    EXPECT_EQ(device.write("x", 1), -1) << "read-only";

    ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    LiveAudioPlayer player;
    player.setPianoSampler(&piano);
    ASSERT_TRUE(player.start(44100));
    device.setLivePlayer(&player);
    EXPECT_EQ(loudest(device, 2048), 0) << "one consumer renders the instrument";
    player.stop();
    piano.noteOn(60, 100);
    EXPECT_GT(loudest(device, 2048), 1000);
    QTest::qWait(100);
}

TEST(PianoRollKeys, AKeyReleasedAnywhereEndsItsNote)
{
    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    MidiClip clip;
    PianoRollDialog dialog(&clip, QColor(Qt::blue), nullptr, &piano, nullptr);
    dialog.stopPreviewRenderer();
    // A device of our own over the same piano hears what the roll's sink would.
    PreviewPlaybackDevice device(nullptr, &piano, nullptr);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    bringIntoView(dialog, 60);
    const QPoint key(20, dialog.pitchToY(60) + dialog.rowHeight() / 2);
    sendMouse(dialog, QEvent::MouseButtonPress, key);
    EXPECT_GT(loudest(device, 4096), 1000);
    // Released over the grid, several rows away.
    sendMouse(dialog, QEvent::MouseMove, QPoint(400, key.y() - 5 * dialog.rowHeight()));
    sendMouse(dialog, QEvent::MouseButtonRelease, QPoint(400, key.y() - 5 * dialog.rowHeight()));
    loudest(device, 256);
    EXPECT_EQ(loudest(device, 4096), 0);
}

TEST(PianoRollKeys, ADrawnNoteEndsAfterItsLength)
{
    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    MidiClip clip;
    PianoRollDialog dialog(&clip, QColor(Qt::blue), nullptr, &piano, nullptr);
    dialog.stopPreviewRenderer();
    PreviewPlaybackDevice device(nullptr, &piano, nullptr);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    bringIntoView(dialog, 60);
    click(dialog, at(dialog, 1.0, 60), Qt::AltModifier);
    ASSERT_EQ(clip.notes.size(), 1u);
    EXPECT_GT(loudest(device, 2048), 1000);
    // The note-off is a timer of the note's length (0.125 s); waited for, not timed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return loudest(device, 512) == 0; }, 10000));
}

// Under Xvfb a person hears the key through the roll's own sink; here the null sink's
// monitor stands in for the ear.
TEST(PianoRollKeys, AKeyClickIsHeardOnTheNullSink)
{
    ZENTRIQ_REQUIRE(haveAudioOutput(), "no audio output: run through scripts/test.sh");
    PianoSampler piano;
    ASSERT_TRUE(piano.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    MidiClip clip;
    PianoRollDialog dialog(&clip, QColor(Qt::blue), nullptr, &piano, nullptr);
    ASSERT_TRUE(dialog.previewRunning());
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.start(48000));
    bringIntoView(dialog, 69);
    const QPoint key(20, dialog.pitchToY(69) + dialog.rowHeight() / 2);
    sendMouse(dialog, QEvent::MouseButtonPress, key);
    QTest::qWait(800);
    sendMouse(dialog, QEvent::MouseButtonRelease, key);
    QTest::qWait(300);
    const std::vector<float> heard = monitor.stop();
    const float peak = heard.empty() ? 0.0f : *std::max_element(heard.begin(), heard.end());
    EXPECT_GT(peak, 0.05f);
    dialog.stopPreviewRenderer();
    QTest::qWait(100);
}
