// SPDX-License-Identifier: GPL-3.0-or-later
// Random track edits with undo and redo over the real page: the rows must mirror the tracks
// after every step, and the history must lead back to the first and the last project exactly.
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackRowWidget.h"
#include "project/ProjectSerializer.h"
#include "project/UndoCommands.h"

#include <QApplication>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <random>

namespace {

// The saved project without what differs between any two saves (its id and time stamps).
QByteArray projectJson(const MultiTrackEditorPage &page)
{
    ProjectSettings settings;
    settings.sampleRate = page.document().sampleRate;
    QJsonObject root =
        ProjectSerializer::saveProject(QStringLiteral("random"), page.document().tracks, settings, 0.0, 1.0, page.document().markers).object();
    for (const char *key : {"id", "createdAt", "updatedAt"})
        root.remove(QLatin1String(key));
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

// Row i shows track i, carries index i, points at tracks[i] and has the lane of its kind.
void expectRowsMirrorTracks(const MultiTrackEditorPage &page)
{
    ASSERT_EQ(page.trackRows.size(), page.document().tracks.size());
    for (size_t i = 0; i < page.document().tracks.size(); ++i) {
        const TrackRowWidget *row = page.trackRows[i];
        const bool midi = page.document().tracks[i].type == TrackType::Midi;
        ASSERT_EQ(row->trackIndex, int(i));
        ASSERT_EQ(row->track, &page.document().tracks[i]);
        ASSERT_EQ(row->midiClipWidget != nullptr, midi);
        ASSERT_EQ(row->audioClipWidget != nullptr, !midi);
        ASSERT_EQ(row->lane()->trackData(), &page.document().tracks[i]);
    }
    ASSERT_TRUE(page.selectedTrack >= -1 && page.selectedTrack < int(page.document().tracks.size()));
}

TEST(TrackUndoRandom, TwoHundredStepsKeepRowsBoundAndTheHistoryExact)
{
    std::mt19937 random(19);
    const auto pick = [&random](int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); };
    // One sample list shared by every clip, as imports of one file would be.
    const QList<float> samples(4410, 0.25f);

    ProjectDocument document;

    MultiTrackEditorPage page(document, nullptr);
    page.resize(1200, 700);
    page.show();
    page.addTrack(TrackType::Audio, samples, 44100, QStringLiteral("start audio"), {});
    page.addMidiTrack(QStringLiteral("start midi"), {{60, 0.0, 0.5, 100}}, 2.0);
    page.document().tracks[0].audioClips.push_back(page.document().tracks[0].audioClips[0]);
    page.document().tracks[0].audioClips[1].start = 3.0;
    page.document().undoStack->clear();
    const QByteArray start = projectJson(page);

    int adds = 0;
    for (int step = 0; step < 200; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        const int count = int(page.document().tracks.size());
        switch (pick(count < 3 ? 2 : 6)) {
        case 0:
        case 1: {
            ++adds;
            if (pick(2) == 0) {
                page.addTrack(TrackType::Audio, samples, 44100, QString(), {});
                page.document().tracks.back().audioClips[0].start = pick(100) / 10.0;
            } else {
                page.addMidiTrack(QString(), {{48 + pick(24), 0.0, 0.25, 90}}, 1.0 + pick(4));
            }
            break;
        }
        case 2:
            if (count > 0) {
                emit page.trackRows[size_t(pick(count))]->trackSelected(pick(count));
                page.removeTrack(pick(count));
            }
            break;
        case 3: {
            // A clip moves to another track of its kind.
            const int source = pick(count);
            const int target = pick(count);
            const TrackData &from = page.document().tracks[size_t(source)];
            const bool midi = from.type == TrackType::Midi;
            const int clips = int(midi ? from.midiClips.size() : from.audioClips.size());
            if (source == target || page.document().tracks[size_t(target)].type != from.type || clips == 0)
                break;
            const int clip = pick(clips);
            page.document().undoStack->push(new MoveClipCommand(
                &page.document().tracks, source, target, clip, midi, midi ? AudioClip() : from.audioClips[size_t(clip)],
                midi ? from.midiClips[size_t(clip)] : MidiClip(), QStringLiteral("move")));
            break;
        }
        case 4:
            page.stepHistory(false);
            break;
        default:
            page.stepHistory(true);
            break;
        }
        expectRowsMirrorTracks(page);
        if (step % 10 == 0)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // removed rows go here
    }
    EXPECT_GE(adds, 20);

    while (page.document().undoStack->canRedo())
        page.document().undoStack->redo();
    const QByteArray end = projectJson(page);
    ASSERT_NE(start, end);

    while (page.document().undoStack->canUndo()) {
        page.document().undoStack->undo();
        expectRowsMirrorTracks(page);
    }
    EXPECT_EQ(projectJson(page), start);
    while (page.document().undoStack->canRedo()) {
        page.document().undoStack->redo();
        expectRowsMirrorTracks(page);
    }
    EXPECT_EQ(projectJson(page), end);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
