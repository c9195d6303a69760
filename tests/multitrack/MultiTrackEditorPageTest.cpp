// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's project operations: track records, their undo steps and markers.
#include "multitrack/MultiTrackEditorPage.h"

#include <QUndoStack>

#include <gtest/gtest.h>

namespace {

// The eight track colours in the order new tracks take them.
const char *const kColours[] = {"#3a86ff", "#ff0055", "#00f2ff", "#ffcc00", "#7209b7", "#ff9f1c", "#00d26a", "#ff66cc"};

TEST(MultiTrackPage, AddedTracksTakeNamesColoursAndChannelsInTurn)
{
    MultiTrackEditorPage page(nullptr);
    const struct
    {
        bool midi;
        const char *name;      // empty: the page names it
        const char *expected;
        int midiChannel;
    } steps[] = {
        {false, "", "轨道 1", 0},    {true, "", "MIDI轨 1", 0},     {true, "Bass", "Bass", 1},
        {false, "vox", "vox", 0},    {false, "", "轨道 5", 0},      {true, "", "MIDI轨 3", 2},
        {false, "", "轨道 7", 0},    {false, "", "轨道 8", 0},      {true, "", "MIDI轨 4", 3},
    };
    int index = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(step.expected);
        if (step.midi)
            page.addMidiTrack(QString::fromUtf8(step.name), {}, 2.0);
        else
            page.addTrack(TrackType::Audio, {}, 44100, QString::fromUtf8(step.name), {});
        ASSERT_EQ(page.tracks.size(), size_t(index + 1));
        const TrackData &track = page.tracks.back();
        EXPECT_EQ(track.name, QString::fromUtf8(step.expected));
        EXPECT_EQ(track.color.name(), QLatin1String(kColours[index % 8])) << "the ninth track starts the table again";
        EXPECT_EQ(track.type, step.midi ? TrackType::Midi : TrackType::Audio);
        EXPECT_EQ(track.midiChannel, step.midiChannel);
        EXPECT_FLOAT_EQ(track.volume, 0.8f);
        EXPECT_EQ(track.pluginId, -1);
        EXPECT_EQ(page.undoStack->undoText(), step.midi ? QStringLiteral("添加MIDI轨道") : QStringLiteral("添加轨道"));
        ++index;
    }
}

TEST(MultiTrackPage, TheSeventeenthMidiTrackWrapsToChannelZero)
{
    MultiTrackEditorPage page(nullptr);
    for (int i = 0; i < 17; ++i)
        page.addMidiTrack(QString(), {}, 1.0);
    EXPECT_EQ(page.tracks[15].midiChannel, 15);
    EXPECT_EQ(page.tracks[16].midiChannel, 0);
}

TEST(MultiTrackPage, AddTrackPutsTheSamplesIntoOneClipAtZero)
{
    const QList<float> mono{0.25f, -0.5f, 0.75f};
    const QList<float> stereo{0.0f, 0.5f, -0.5f, -0.5f, 1.0f, 0.5f};
    const struct
    {
        const char *name;
        QList<float> samples;
        QList<float> stereo;
        size_t clips;
    } cases[] = {
        {"mono", mono, {}, 1},
        {"stereo", mono, stereo, 1},
        {"no samples: no clip", {}, {}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MultiTrackEditorPage page(nullptr);
        page.addTrack(TrackType::Audio, c.samples, 48000, QStringLiteral("t"), c.stereo);
        ASSERT_EQ(page.tracks.size(), 1u);
        ASSERT_EQ(page.tracks[0].audioClips.size(), c.clips);
        if (c.clips == 0)
            continue;
        const AudioClip &clip = page.tracks[0].audioClips[0];
        EXPECT_EQ(clip.samples, c.samples);
        EXPECT_EQ(clip.stereoSamples, c.stereo);
        EXPECT_EQ(clip.sampleRate, 48000);
        EXPECT_EQ(clip.start, 0.0);
        EXPECT_EQ(clip.audioStart, 0.0);
        EXPECT_EQ(clip.fadeIn, 0.0);
    }
}

TEST(MultiTrackPage, AddMidiTrackHoldsOneClipWithTheNotes)
{
    MultiTrackEditorPage page(nullptr);
    const std::vector<MidiNote> notes{{60, 0.0, 0.5, 100}, {64, 1.0, 0.25, 90}};
    page.addMidiTrack(QStringLiteral("Piano"), notes, 3.5);
    ASSERT_EQ(page.tracks.size(), 1u);
    ASSERT_EQ(page.tracks[0].midiClips.size(), 1u);
    EXPECT_EQ(page.tracks[0].midiClips[0].notes, notes);
    EXPECT_EQ(page.tracks[0].midiClips[0].start, 0.0);
    EXPECT_EQ(page.tracks[0].midiClips[0].duration, 3.5);
    EXPECT_TRUE(page.tracks[0].audioClips.empty());
}

TEST(MultiTrackPage, UndoRemovesExactlyTheAddedTrack)
{
    MultiTrackEditorPage page(nullptr);
    page.addTrack(TrackType::Audio, {0.5f}, 44100, QStringLiteral("a"), {});
    page.addMidiTrack(QStringLiteral("m"), {{60, 0.0, 1.0, 100}}, 1.0);
    const auto both = page.tracks;
    page.undoStack->undo();
    ASSERT_EQ(page.tracks.size(), 1u);
    EXPECT_EQ(page.tracks[0], both[0]);
    page.undoStack->redo();
    EXPECT_EQ(page.tracks, both);
}

TEST(MultiTrackPage, ClearTracksEmptiesTheProjectAndItsHistory)
{
    MultiTrackEditorPage page(nullptr);
    page.addTrack(TrackType::Audio, {0.5f}, 44100, QString(), {});
    page.setMarkers({{1.0, QStringLiteral("A"), Qt::red}});
    page.clearTracks();
    EXPECT_TRUE(page.tracks.empty());
    EXPECT_TRUE(page.markers.empty());
    EXPECT_EQ(page.undoStack->count(), 0);
    // The next track is numbered and coloured as the first again.
    page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
    EXPECT_EQ(page.tracks[0].name, QStringLiteral("轨道 1"));
    EXPECT_EQ(page.tracks[0].color.name(), QLatin1String(kColours[0]));
}

TEST(MultiTrackPage, SetMarkersKeepsThemSortedByTime)
{
    MultiTrackEditorPage page(nullptr);
    page.setMarkers({{5.0, QStringLiteral("b"), Qt::red}, {1.0, QStringLiteral("a"), Qt::green},
                     {5.0, QStringLiteral("c"), Qt::blue}});
    ASSERT_EQ(page.markers.size(), 3u);
    EXPECT_EQ(page.markers[0].label, QStringLiteral("a"));
    EXPECT_EQ(page.markers[1].label, QStringLiteral("b"));
    EXPECT_EQ(page.markers[2].label, QStringLiteral("c"));
}

TEST(MultiTrackPage, SetSampleRateIgnoresUnusableRates)
{
    MultiTrackEditorPage page(nullptr);
    EXPECT_EQ(page.sampleRate, 44100);
    page.setSampleRate(96000);
    EXPECT_EQ(page.sampleRate, 96000);
    page.setSampleRate(0);
    page.setSampleRate(-48000);
    EXPECT_EQ(page.sampleRate, 96000);
}

} // namespace
