// SPDX-License-Identifier: GPL-3.0-or-later
// The page's clip and marker edits: splits that sound exactly as the whole clip did, moves
// between tracks, MIDI splits, markers, rendering MIDI in place, refusals while a track
// records, and random edits whose history leads back to both ends exactly.
#include "editor/AudioEditorPage.h"
#include "multitrack/AudioClipWidget.h"
#include "multitrack/ClipSplitting.h"
#include "multitrack/MidiClipWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "document/TrackRendering.h"
#include "multitrack/TrackRowWidget.h"
#include "project/ProjectSerializer.h"

#include "Signals.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

constexpr int kRate = 44100;

QList<float> noise(qsizetype frames, unsigned seed)
{
    return seededNoise<QList<float>>(std::size_t(frames), 0.9f, seed);
}

AudioClip clipAt(double start, QList<float> samples)
{
    AudioClip clip;
    clip.samples = std::move(samples);
    clip.sampleRate = kRate;
    clip.start = start;
    return clip;
}

QByteArray projectJson(const MultiTrackEditorPage &page)
{
    ProjectSettings settings;
    settings.sampleRate = page.document().sampleRate;
    QJsonObject root =
        ProjectSerializer::saveProject(QStringLiteral("edits"), page.document().tracks, settings, 0.0, 1.0, page.document().markers).object();
    for (const char *key : {"id", "createdAt", "updatedAt"})
        root.remove(QLatin1String(key));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

// The render of the split track equals the render of the whole clip over their common
// length, and whatever one has beyond it is silence.
void expectSameSound(const QList<float> &whole, const QList<float> &split)
{
    const qsizetype common = std::min(whole.size(), split.size());
    qsizetype firstDifference = -1;
    for (qsizetype i = 0; i < common && firstDifference < 0; ++i) {
        if (whole[i] != split[i])
            firstDifference = i;
    }
    EXPECT_EQ(firstDifference, -1) << "frame " << firstDifference;
    for (const QList<float> *longer : {&whole, &split}) {
        for (qsizetype i = common; i < longer->size(); ++i)
            ASSERT_EQ((*longer)[i], 0.0f) << "extra frame " << i;
    }
}

TEST(ClipEdits, ASplitAtAnyPlayheadSoundsExactlyAsTheWholeClipAndUndoes)
{
    const struct
    {
        double start;
        double headTrim;
        double tailTrim;
    } cases[] = {
        {0.0, 0.0, 0.0}, {0.3, 0.0, 0.0}, {1.23456, 0.0, 0.0}, {0.0, 0.1, 0.2}, {0.3, 0.1, 0.2}, {1.23456, 0.1, 0.2},
    };
    const QList<float> source = noise(kRate * 3 / 2, 3);
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addTrack(TrackType::Audio, source, kRate, QStringLiteral("split"), {});
    std::mt19937 random(11);
    for (const auto &c : cases) {
        AudioClip clip = clipAt(c.start, source);
        clip.audioStart = c.headTrim;
        clip.audioEnd = c.tailTrim;
        // Fades that stay clear of every cut below.
        clip.fadeIn = 0.04;
        clip.fadeInCurve = FadeCurve::SCurve;
        clip.fadeOut = 0.05;
        clip.fadeOutCurve = FadeCurve::Logarithmic;
        std::uniform_real_distribution<double> playhead(c.start + 0.06, c.start + clip.length() - 0.06);
        for (int i = 0; i < 50; ++i) {
            const double h = playhead(random);
            SCOPED_TRACE(testing::Message() << "start " << c.start << ", trims " << c.headTrim << "/" << c.tailTrim
                                            << ", playhead " << h);
            page.document().tracks[0].audioClips = {clip};
            const QList<float> whole = renderAudioClips(page.document().tracks[0], kRate);
            page.syncPlayheadAll(h);
            page.splitClipAtPlayhead(0, 0);
            ASSERT_EQ(page.document().tracks[0].audioClips.size(), 2u);
            EXPECT_EQ(page.document().undoStack->undoText(), QStringLiteral("拆分片段"));
            const AudioClip &left = page.document().tracks[0].audioClips[0];
            const AudioClip &right = page.document().tracks[0].audioClips[1];
            EXPECT_EQ(left.fadeOut, 0.0);
            EXPECT_EQ(right.fadeIn, 0.0);
            EXPECT_EQ(right.fadeOut, clip.fadeOut);
            EXPECT_EQ(right.fadeOutCurve, clip.fadeOutCurve);
            EXPECT_EQ(right.samples.constData(), clip.samples.constData()) << "the halves share the source";
            expectSameSound(whole, renderAudioClips(page.document().tracks[0], kRate));
            page.stepHistory(false);
            ASSERT_EQ(page.document().tracks[0].audioClips.size(), 1u);
            EXPECT_TRUE(page.document().tracks[0].audioClips[0] == clip);
        }
    }
}

TEST(ClipEdits, SplitsOutsideTheAudioOrWithinItsFirstOrLastFrameDoNothing)
{
    const AudioClip clip = clipAt(1.0, noise(kRate, 5));
    for (const double h : {0.5, 1.0, 1.0 + 0.4 / kRate, 2.0 - 0.4 / kRate, 2.0, 2.5}) {
        SCOPED_TRACE(h);
        EXPECT_FALSE(splitAudioClip(clip, h).has_value());
    }
    EXPECT_TRUE(splitAudioClip(clip, 1.0 + 0.6 / kRate).has_value());
}

// Which notes sound when, per pitch, as intervals of the timeline.
std::multimap<int, std::pair<double, double>> soundingNotes(const std::vector<MidiClip> &clips)
{
    std::multimap<int, std::pair<double, double>> sounding;
    for (const MidiClip &clip : clips) {
        for (const MidiNote &note : clip.notes)
            sounding.insert({note.pitch, {clip.start + note.start, clip.start + note.start + note.duration}});
    }
    return sounding;
}

TEST(ClipEdits, AMidiSplitCutsCrossingNotesSoNoNoteSoundsTwice)
{
    MidiClip clip;
    clip.id = 4;
    clip.start = 2.0;
    clip.duration = 2.0;
    clip.notes = {{60, 0.0, 1.0, 100}, {62, 1.0, 1.0, 90}, {64, 0.5, 1.0, 80}, {65, 0.2, 0.3, 70}};
    const auto halves = splitMidiClip(clip, 1.0);
    ASSERT_TRUE(halves.has_value());
    const auto &[left, right] = *halves;
    EXPECT_EQ(left.duration, 1.0);
    EXPECT_EQ(right.start, 3.0);
    EXPECT_EQ(right.duration, 1.0);
    EXPECT_EQ(right.id, 5);
    EXPECT_EQ(left.notes, (std::vector<MidiNote>{{60, 0.0, 1.0, 100}, {64, 0.5, 0.5, 80}, {65, 0.2, 0.3, 70}}));
    EXPECT_EQ(right.notes, (std::vector<MidiNote>{{62, 0.0, 1.0, 90}, {64, 0.0, 0.5, 80}}));

    // Every note sounds over the same time as before, in pieces that never overlap.
    const auto before = soundingNotes({clip});
    const auto after = soundingNotes({left, right});
    for (const int pitch : {60, 62, 64, 65}) {
        SCOPED_TRACE(pitch);
        const auto [from, to] = before.equal_range(pitch);
        double total = 0.0;
        double lastEnd = -1.0;
        for (auto [piece, end] = after.equal_range(pitch); piece != end; ++piece) {
            EXPECT_GE(piece->second.first, lastEnd - 1e-12) << "pieces overlap";
            lastEnd = piece->second.second;
            total += piece->second.second - piece->second.first;
        }
        EXPECT_NEAR(total, from->second.second - from->second.first, 1e-12);
    }
    EXPECT_FALSE(splitMidiClip(clip, 0.0).has_value());
    EXPECT_FALSE(splitMidiClip(clip, 2.0).has_value());
}

// MIDI clips stored at 120 BPM playing at 97 BPM are cut where the playhead is as they sound.
TEST(ClipEdits, MidiSplitsFollowTheProjectTempo)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addMidiTrack(QStringLiteral("m"), {{60, 0.0, 2.0, 100}}, 4.0);
    page.document().midiFileTempo = 120.0;
    page.setTempo(97.0);
    const double g = 120.0 / 97.0;
    page.syncPlayheadAll(1.0 * g);
    page.splitClipAtPlayhead(0, 0);
    ASSERT_EQ(page.document().tracks[0].midiClips.size(), 2u);
    EXPECT_NEAR(page.document().tracks[0].midiClips[0].duration, 1.0, 1e-12);
    EXPECT_NEAR(page.document().tracks[0].midiClips[1].start, 1.0, 1e-12);
    EXPECT_NEAR(page.trackRows[0]->midiClipWidget->tempoScale(), g, 1e-15);

    // The project ends where its last MIDI clip stops sounding.
    page.document().tracks[0].midiClips[1].duration = 400.0;
    EXPECT_NEAR(page.projectLength(), 401.0 * g, 1e-9);
}

TEST(ClipEdits, TheRecordingTrackRefusesSplitsDeletesDropsAndUndo)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addTrack(TrackType::Audio, noise(kRate, 1), kRate, QStringLiteral("a"), {});
    page.addTrack(TrackType::Audio, noise(kRate, 2), kRate, QStringLiteral("b"), {});
    const QByteArray start = projectJson(page);
    const int steps = page.document().undoStack->index();
    page.recordingTrackIndex = 0;
    page.syncPlayheadAll(0.5);
    page.splitClipAtPlayhead(0, 0);
    page.deleteAudioClip(0, 0);
    page.stepHistory(false);
    EXPECT_EQ(projectJson(page), start);
    EXPECT_EQ(page.document().undoStack->index(), steps);
    page.splitClipAtPlayhead(1, 0);
    EXPECT_EQ(page.document().tracks[1].audioClips.size(), 2u) << "the other tracks stay editable";
}

class ClipMoves : public testing::Test
{
protected:
    void SetUp() override
    {
        page.resize(1200, 700);
        page.show();
        page.addTrack(TrackType::Audio, noise(kRate, 1), kRate, QStringLiteral("ABC"), {});
        page.addTrack(TrackType::Audio, noise(kRate, 2), kRate, QStringLiteral("D"), {});
        page.addMidiTrack(QStringLiteral("midi"), {}, 2.0);
        page.document().tracks[0].audioClips.push_back(clipAt(2.0, noise(kRate, 3)));
        page.document().tracks[0].audioClips.push_back(clipAt(4.0, noise(kRate, 4)));
        page.document().tracks[1].audioClips[0].start = 1.5;
        page.document().undoStack->clear();
        QApplication::processEvents();
    }

    QPoint laneCentre(int track) const
    {
        const ClipLaneWidget *lane = page.trackRows[size_t(track)]->lane();
        return lane->mapToGlobal(QPoint(300, lane->height() / 2));
    }

    void drop(int track, int clip, QPoint at)
    {
        page.onClipDragStarted(track, clip, laneCentre(track));
        page.onClipDragMoved(at);
        page.onClipDragFinished(at);
    }

    ProjectDocument document;

    MultiTrackEditorPage page{document, nullptr};
};

TEST_F(ClipMoves, AClipDroppedOnAnotherTrackOfItsKindGoesToTheEndOfItsList)
{
    const std::vector<AudioClip> abc = page.document().tracks[0].audioClips;
    const std::vector<AudioClip> d = page.document().tracks[1].audioClips;
    drop(0, 1, laneCentre(1) + QPoint(250, 0));
    EXPECT_EQ(page.document().tracks[0].audioClips, (std::vector<AudioClip>{abc[0], abc[2]}));
    EXPECT_EQ(page.document().tracks[1].audioClips, (std::vector<AudioClip>{d[0], abc[1]})) << "B keeps its start";
    EXPECT_EQ(page.document().undoStack->undoText(), QStringLiteral("移动片段"));
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].audioClips, abc);
    EXPECT_EQ(page.document().tracks[1].audioClips, d);
}

TEST_F(ClipMoves, ADropOnItsOwnTrackMovesByTheDragAndSnaps)
{
    drop(0, 1, laneCentre(0) + QPoint(100, 0));
    EXPECT_DOUBLE_EQ(page.document().tracks[0].audioClips[1].start, 3.0);
    page.snapButton->click();
    drop(0, 1, laneCentre(0) + QPoint(-174, 0));
    EXPECT_DOUBLE_EQ(page.document().tracks[0].audioClips[1].start, 1.5) << "1.26 s snaps to 1.5 s at 120 BPM";
    drop(0, 1, laneCentre(0) + QPoint(-500, 0));
    EXPECT_DOUBLE_EQ(page.document().tracks[0].audioClips[1].start, 0.0) << "never before the timeline's start";
    page.stepHistory(false);
    page.stepHistory(false);
    EXPECT_DOUBLE_EQ(page.document().tracks[0].audioClips[1].start, 3.0);
}

TEST_F(ClipMoves, DropsOffTheVisibleLanesOfItsKindChangeNothing)
{
    const QByteArray start = projectJson(page);
    drop(0, 1, laneCentre(2));
    EXPECT_EQ(projectJson(page), start) << "a MIDI track takes no audio clip";
    drop(0, 1, laneCentre(2) + QPoint(0, 120));
    EXPECT_EQ(projectJson(page), start) << "below the last row";

    for (int i = 0; i < 6; ++i)
        page.addTrack(TrackType::Audio, {}, kRate, {}, {});
    page.document().undoStack->clear();
    QApplication::processEvents();
    QScrollBar *scroll = page.laneScrollArea->verticalScrollBar();
    // The lanes' column takes its new height over the next passes of the event loop.
    QApplication::processEvents();
    scroll->setValue(scroll->maximum());
    QApplication::processEvents();
    const QWidget *viewport = page.laneScrollArea->viewport();
    ASSERT_LT(laneCentre(1).y(), viewport->mapToGlobal(QPoint(0, 0)).y()) << "track D is scrolled out of view";
    const QByteArray scrolled = projectJson(page);
    drop(0, 1, laneCentre(1));
    EXPECT_EQ(projectJson(page), scrolled) << "over a lane scrolled out of view";
    EXPECT_EQ(page.document().undoStack->count(), 0);
}

TEST(ClipEdits, MarkersAreNamedInTheOrderAddedAndListedByTime)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addTrack(TrackType::Audio, {}, kRate, {}, {});
    page.document().undoStack->clear();
    for (const double t : {5.0, 1.0, 3.0}) {
        page.syncPlayheadAll(t);
        page.addMarkerAtPlayhead();
    }
    ASSERT_EQ(page.document().markers.size(), 3u);
    const char *const labels[] = {"M2", "M3", "M1"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(page.document().markers[i].label, QLatin1String(labels[i]));
    EXPECT_EQ(page.document().undoStack->count(), 3);

    page.syncPlayheadAll(3.0005);
    page.addMarkerAtPlayhead();
    page.renameMarker(0, QString());
    EXPECT_EQ(page.document().undoStack->count(), 3) << "a marker within 1 ms and an empty name push nothing";

    page.renameMarker(0, QStringLiteral("Intro"));
    EXPECT_EQ(page.document().markers[0].label, QStringLiteral("Intro"));
    page.removeMarker(2);
    EXPECT_EQ(page.document().markers.size(), 2u);
    page.stepHistory(false);
    page.stepHistory(false);
    EXPECT_EQ(page.document().markers[0].label, QStringLiteral("M2"));
    EXPECT_EQ(page.document().markers.size(), 3u);
}

TEST(ClipEdits, AMidiClipRenderedInPlaceSoundsAsTheMidiTrack)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    ASSERT_TRUE(page.document().pianoSampler.loadSampleLibraryFromResources(QStringLiteral(":/piano")));
    page.document().midiFileTempo = 120.0;
    page.setTempo(97.0);
    page.addMidiTrack(QStringLiteral("keys"), {{60, 0.25, 0.8, 100}, {67, 0.7, 0.5, 90}}, 2.0);
    page.document().tracks[0].midiClips[0].start = 1.3;
    page.addTrack(TrackType::Audio, noise(kRate, 9), kRate, QStringLiteral("below"), {});
    page.document().undoStack->clear();

    page.renderMidiInPlace(0, 0);
    ASSERT_EQ(page.document().tracks.size(), 3u);
    const TrackData &rendered = page.document().tracks[1];
    EXPECT_EQ(rendered.type, TrackType::Audio);
    EXPECT_EQ(rendered.name, QStringLiteral("keys (渲染)"));
    EXPECT_EQ(page.document().tracks[2].name, QStringLiteral("below"));
    EXPECT_EQ(page.trackRows[1]->track, &page.document().tracks[1]);
    EXPECT_EQ(page.document().undoStack->undoText(), QStringLiteral("就地渲染MIDI"));

    const QList<float> midi = page.document().pianoSampler.renderTrack(page.document().tempoScaledTrack(page.document().tracks[0]), kRate);
    ASSERT_FALSE(midi.isEmpty());
    expectSameSound(midi, renderAudioClips(rendered, kRate));

    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks.size(), 2u);
    page.stepHistory(true);
    ASSERT_EQ(page.document().tracks.size(), 3u);
    EXPECT_EQ(page.document().tracks[1].name, QStringLiteral("keys (渲染)"));
}

// The clip-edit dialog: a cancel changes nothing; an accept replaces the clip's source (a
// mono result empties its stereo list) as one undo step, keeping its place, trims and fades.
TEST(ClipEdits, TheClipEditDialogReplacesTheSourceAsOneUndoStep)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    QList<float> stereo;
    for (float v : noise(kRate, 4))
        stereo << v << -v;
    page.addTrack(TrackType::Audio, QList<float>(kRate, 0.0f), kRate, QStringLiteral("st"), stereo);
    page.document().tracks[0].audioClips[0].start = 0.5;
    page.document().tracks[0].audioClips[0].fadeIn = 0.1;
    page.document().undoStack->clear();
    const AudioClip original = page.document().tracks[0].audioClips[0];
    const QList<float> edited = noise(kRate / 2, 8);
    for (const bool accept : {false, true}) {
        SCOPED_TRACE(accept ? "accepted" : "cancelled");
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("编辑音频 - st"));
            auto *editor = dialog->findChild<AudioEditorPage *>();
            ASSERT_NE(editor, nullptr);
            editor->document().load({edited, {}}, editor->document().sampleRate());
            for (QPushButton *button : dialog->findChildren<QPushButton *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (button->text() == (accept ? QStringLiteral("确定") : QStringLiteral("取消")))
                    button->click();
            }
        });
        page.editAudioClip(0, 0);
        const AudioClip &clip = page.document().tracks[0].audioClips[0];
        if (!accept) {
            EXPECT_TRUE(clip == original);
            EXPECT_EQ(page.document().undoStack->count(), 0);
            continue;
        }
        EXPECT_EQ(clip.samples, edited);
        EXPECT_TRUE(clip.stereoSamples.isEmpty());
        EXPECT_EQ(clip.start, 0.5);
        EXPECT_EQ(clip.fadeIn, 0.1);
        EXPECT_EQ(page.document().undoStack->count(), 1);
        page.stepHistory(false);
        EXPECT_TRUE(page.document().tracks[0].audioClips[0] == original);
    }
}

TEST(ClipEdits, AnAltDrawnMidiClipIsOneUndoStep)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.resize(1200, 700);
    page.show();
    page.addMidiTrack(QStringLiteral("m"), {}, 1.0);
    page.document().undoStack->clear();
    ClipLaneWidget *lane = page.trackRows[0]->lane();
    QTest::mousePress(lane, Qt::LeftButton, Qt::AltModifier, {300, 60});
    QTest::mouseMove(lane, {450, 60});
    QTest::mouseRelease(lane, Qt::LeftButton, Qt::AltModifier, {450, 60});
    ASSERT_EQ(page.document().tracks[0].midiClips.size(), 2u);
    EXPECT_EQ(page.document().tracks[0].midiClips[1].start, 3.0);
    EXPECT_EQ(page.document().undoStack->undoText(), QStringLiteral("创建MIDI块"));
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].midiClips.size(), 1u);
}

TEST(ClipEdits, AnEnvelopePointDeletedFromItsMenuComesBackWithUndo)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.resize(1200, 700);
    page.show();
    page.addTrack(TrackType::Audio, noise(kRate, 6), kRate, QStringLiteral("env"), {});
    page.envelopeButton->click();
    page.document().undoStack->clear();
    ClipLaneWidget *lane = page.trackRows[0]->lane();
    QTest::mouseClick(lane, Qt::LeftButton, Qt::AltModifier, {400, 30});
    ASSERT_EQ(page.document().tracks[0].volumeEnvelope.size(), 1u);
    const EnvelopePoint point = page.document().tracks[0].volumeEnvelope[0];
    QTimer::singleShot(0, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menu->setActiveAction(menu->actions().at(0));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(400, 30), lane->mapToGlobal(QPoint(400, 30)));
    QApplication::sendEvent(lane, &event);
    EXPECT_TRUE(page.document().tracks[0].volumeEnvelope.empty());
    EXPECT_EQ(page.document().undoStack->undoText(), QStringLiteral("编辑包络"));
    page.stepHistory(false);
    ASSERT_EQ(page.document().tracks[0].volumeEnvelope.size(), 1u);
    EXPECT_EQ(page.document().tracks[0].volumeEnvelope[0], point);
    page.stepHistory(false);
    EXPECT_TRUE(page.document().tracks[0].volumeEnvelope.empty());
}

// Undo while a lane gesture is held would replace the lists under it: it waits.
TEST(ClipEdits, UndoWaitsWhileALaneGestureIsHeld)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.resize(1200, 700);
    page.show();
    page.addTrack(TrackType::Audio, noise(kRate * 2, 7), kRate, QStringLiteral("held"), {});
    page.syncPlayheadAll(1.0);
    page.splitClipAtPlayhead(0, 0);
    ClipLaneWidget *lane = page.trackRows[0]->lane();
    QTest::mousePress(lane, Qt::LeftButton, {}, {lane->secondsToX(2.0), 60});
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].audioClips.size(), 2u) << "the split stays while the trim is held";
    QTest::mouseMove(lane, {150, 60});
    QTest::mouseRelease(lane, Qt::LeftButton, {}, {150, 60});
    EXPECT_DOUBLE_EQ(page.document().tracks[0].audioClips[1].audioEnd, 0.5);
    EXPECT_EQ(page.document().undoStack->undoText(), QStringLiteral("修剪片段"));
    page.stepHistory(false);
    page.stepHistory(false);
    EXPECT_EQ(page.document().tracks[0].audioClips.size(), 1u);
}

// Random undoable edits, through the lanes where a gesture makes them: undoing every one
// gives the first project back exactly and redoing every one the last.
TEST(ClipEdits, RandomEditsUndoAndRedoToTheExactProjects)
{
    std::mt19937 random(23);
    const auto pick = [&random](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.resize(1400, 800);
    page.show();
    page.addTrack(TrackType::Audio, noise(kRate * 2, 1), kRate, QStringLiteral("a"), {});
    page.addTrack(TrackType::Audio, noise(kRate * 3, 2), kRate, QStringLiteral("b"), {});
    page.addMidiTrack(QStringLiteral("m"), {{60, 0.2, 1.0, 100}, {64, 1.5, 1.0, 90}}, 3.0);
    page.document().tracks[0].audioClips.push_back(clipAt(4.0, noise(kRate, 3)));
    page.envelopeButton->click();
    page.document().undoStack->clear();
    QApplication::processEvents();
    const QByteArray first = projectJson(page);

    int edits = 0;
    for (int attempt = 0; edits < 40 && attempt < 2000; ++attempt) {
        const int before = page.document().undoStack->count();
        const int track = pick(3);
        TrackData &record = page.document().tracks[size_t(track)];
        ClipLaneWidget *lane = page.trackRows[size_t(track)]->lane();
        const int clips = int(track == 2 ? record.midiClips.size() : record.audioClips.size());
        const auto clipX = [&](int clip, bool end) {
            double start = 0.0;
            double length = 0.0;
            if (track == 2) {
                start = record.midiClips[size_t(clip)].start;
                length = record.midiClips[size_t(clip)].duration;
            } else {
                start = record.audioClips[size_t(clip)].start;
                length = record.audioClips[size_t(clip)].length();
            }
            return lane->secondsToX(end ? start + length : start);
        };
        const int x = 20 + pick(900);
        switch (pick(7)) {
        case 0:  // split
            page.syncPlayheadAll(x / 100.0);
            if (clips > 0)
                page.splitClipAtPlayhead(track, pick(clips));
            break;
        case 1:  // delete
            if (clips > 1)
                track == 2 ? page.deleteMidiClip(track, pick(clips)) : page.deleteAudioClip(track, pick(clips));
            break;
        case 2: {  // move to another track or along its own
            if (clips == 0)
                break;
            const int clip = pick(clips);
            const int target = track == 2 ? 2 : pick(2);
            const QPoint from = lane->mapToGlobal(QPoint(clipX(clip, false) + 2, 60));
            const ClipLaneWidget *to = page.trackRows[size_t(target)]->lane();
            const QPoint at = to->mapToGlobal(QPoint(from.x() - to->mapToGlobal(QPoint()).x() + pick(200) - 100, 60));
            page.onClipDragStarted(track, clip, from);
            page.onClipDragFinished(at);
            break;
        }
        case 3: {  // trim an edge
            if (clips == 0)
                break;
            const int clip = pick(clips);
            const int edgeX = clipX(clip, pick(2) == 1);
            QTest::mousePress(lane, Qt::LeftButton, {}, {edgeX, 60});
            QTest::mouseMove(lane, {edgeX + pick(200) - 100, 60});
            QTest::mouseRelease(lane, Qt::LeftButton, {}, {edgeX + pick(200) - 100, 60});
            break;
        }
        case 4: {  // drag a fade handle
            if (track == 2 || clips == 0)
                break;
            const int clip = pick(clips);
            const bool fadeIn = pick(2) == 0;
            const int handleX = clipX(clip, !fadeIn) + (fadeIn ? 3 : -3);
            QTest::mousePress(lane, Qt::LeftButton, {}, {handleX, 12});
            QTest::mouseMove(lane, {handleX + (fadeIn ? 1 : -1) * pick(150), 12});
            QTest::mouseRelease(lane, Qt::LeftButton, {}, {handleX + (fadeIn ? 1 : -1) * pick(150), 12});
            break;
        }
        case 5:  // an envelope point
            QTest::mouseClick(lane, Qt::LeftButton, Qt::AltModifier, {x, 10 + pick(100)});
            break;
        default:
            page.syncPlayheadAll(x / 100.0);
            page.addMarkerAtPlayhead();
            break;
        }
        if (page.document().undoStack->count() > before)
            ++edits;
        ASSERT_LE(page.document().undoStack->count(), before + 1) << "one step per edit";
    }
    ASSERT_EQ(edits, 40);
    const QByteArray last = projectJson(page);
    ASSERT_NE(last, first);
    while (page.document().undoStack->canUndo())
        page.stepHistory(false);
    EXPECT_EQ(projectJson(page), first);
    while (page.document().undoStack->canRedo())
        page.stepHistory(true);
    EXPECT_EQ(projectJson(page), last);
}

} // namespace
