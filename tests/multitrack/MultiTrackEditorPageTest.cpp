// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's project operations: track records and their rows, undo steps,
// selection, arming, the add-track menu, instrument lists and markers.
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"

#include "Requirement.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <gtest/gtest.h>

namespace {

// The eight track colours in the order new tracks take them.
const char *const kColours[] = {"#3a86ff", "#ff0055", "#00f2ff", "#ffcc00", "#7209b7", "#ff9f1c", "#00d26a", "#ff66cc"};

TEST(MultiTrackPage, AddedTracksTakeNamesColoursAndChannelsInTurn)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
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
        ASSERT_EQ(page.document().tracks.size(), size_t(index + 1));
        const TrackData &track = page.document().tracks.back();
        EXPECT_EQ(track.name, QString::fromUtf8(step.expected));
        EXPECT_EQ(track.color.name(), QLatin1String(kColours[index % 8])) << "the ninth track starts the table again";
        EXPECT_EQ(track.type, step.midi ? TrackType::Midi : TrackType::Audio);
        EXPECT_EQ(track.midiChannel, step.midiChannel);
        EXPECT_FLOAT_EQ(track.volume, 0.8f);
        EXPECT_EQ(track.pluginId, -1);
        EXPECT_EQ(page.document().undoStack->undoText(), step.midi ? QStringLiteral("添加MIDI轨道") : QStringLiteral("添加轨道"));
        ++index;
    }
}

TEST(MultiTrackPage, TheSeventeenthMidiTrackWrapsToChannelZero)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    for (int i = 0; i < 17; ++i)
        page.addMidiTrack(QString(), {}, 1.0);
    EXPECT_EQ(page.document().tracks[15].midiChannel, 15);
    EXPECT_EQ(page.document().tracks[16].midiChannel, 0);
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
        ProjectDocument document;
        MultiTrackEditorPage page(document, nullptr);
        page.addTrack(TrackType::Audio, c.samples, 48000, QStringLiteral("t"), c.stereo);
        ASSERT_EQ(page.document().tracks.size(), 1u);
        ASSERT_EQ(page.document().tracks[0].audioClips.size(), c.clips);
        if (c.clips == 0)
            continue;
        const AudioClip &clip = page.document().tracks[0].audioClips[0];
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
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    const std::vector<MidiNote> notes{{60, 0.0, 0.5, 100}, {64, 1.0, 0.25, 90}};
    page.addMidiTrack(QStringLiteral("Piano"), notes, 3.5);
    ASSERT_EQ(page.document().tracks.size(), 1u);
    ASSERT_EQ(page.document().tracks[0].midiClips.size(), 1u);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].notes, notes);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].start, 0.0);
    EXPECT_EQ(page.document().tracks[0].midiClips[0].duration, 3.5);
    EXPECT_TRUE(page.document().tracks[0].audioClips.empty());
}

TEST(MultiTrackPage, UndoRemovesExactlyTheAddedTrack)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addTrack(TrackType::Audio, {0.5f}, 44100, QStringLiteral("a"), {});
    page.addMidiTrack(QStringLiteral("m"), {{60, 0.0, 1.0, 100}}, 1.0);
    const auto both = page.document().tracks;
    page.document().undoStack->undo();
    ASSERT_EQ(page.document().tracks.size(), 1u);
    EXPECT_EQ(page.document().tracks[0], both[0]);
    page.document().undoStack->redo();
    EXPECT_EQ(page.document().tracks, both);
}

TEST(MultiTrackPage, ClearTracksEmptiesTheProjectAndItsHistory)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addTrack(TrackType::Audio, {0.5f}, 44100, QString(), {});
    page.setMarkers({{1.0, QStringLiteral("A"), Qt::red}});
    page.clearTracks();
    EXPECT_TRUE(page.document().tracks.empty());
    EXPECT_TRUE(page.document().markers.empty());
    EXPECT_EQ(page.document().undoStack->count(), 0);
    // The next track is numbered and coloured as the first again.
    page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
    EXPECT_EQ(page.document().tracks[0].name, QStringLiteral("轨道 1"));
    EXPECT_EQ(page.document().tracks[0].color.name(), QLatin1String(kColours[0]));
}

TEST(MultiTrackPage, SetMarkersKeepsThemSortedByTime)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.setMarkers({{5.0, QStringLiteral("b"), Qt::red}, {1.0, QStringLiteral("a"), Qt::green},
                     {5.0, QStringLiteral("c"), Qt::blue}});
    ASSERT_EQ(page.document().markers.size(), 3u);
    EXPECT_EQ(page.document().markers[0].label, QStringLiteral("a"));
    EXPECT_EQ(page.document().markers[1].label, QStringLiteral("b"));
    EXPECT_EQ(page.document().markers[2].label, QStringLiteral("c"));
}

TEST(MultiTrackPage, SetSampleRateIgnoresUnusableRates)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    EXPECT_EQ(page.document().sampleRate, 44100);
    page.setSampleRate(96000);
    EXPECT_EQ(page.document().sampleRate, 96000);
    page.setSampleRate(0);
    page.setSampleRate(-48000);
    EXPECT_EQ(page.document().sampleRate, 96000);
}

TEST(MultiTrackPage, SetSampleRateTakesOnlyRatesDevicesAndFilesUse)
{
    // A project at 1 Hz would play one 512-frame block for 512 s.
    const struct
    {
        int rate;
        int expected;
    } cases[] = {{1, 48000}, {7999, 48000}, {8000, 8000}, {384000, 384000}, {384001, 48000}};
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rate);
        page.setSampleRate(48000);
        page.setSampleRate(c.rate);
        EXPECT_EQ(page.document().sampleRate, c.expected);
    }
}

// Row i shows track i, carries index i and points at tracks[i].
void expectRowsMirrorTracks(const MultiTrackEditorPage &page)
{
    ASSERT_EQ(page.trackRows.size(), page.document().tracks.size());
    for (size_t i = 0; i < page.document().tracks.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        EXPECT_EQ(page.trackRows[i]->trackIndex, int(i));
        EXPECT_EQ(page.trackRows[i]->track, &page.document().tracks[i]);
        EXPECT_EQ(page.trackRows[i]->lane()->trackData(), &page.document().tracks[i]);
    }
}

TEST(MultiTrackPage, LoadedRecordsKeepTheirFieldsAndEmptyNamesAreFilledAsWhenAdded)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addTrack(TrackType::Audio, {}, 44100, QStringLiteral("kept"), {});
    std::vector<TrackData> loaded(4);
    loaded[0].type = TrackType::Midi;
    loaded[1].volume = 0.25f;
    loaded[1].muted = true;
    loaded[2].type = TrackType::Midi;
    loaded[2].name = QStringLiteral("Keys");
    loaded[2].midiChannel = 9;
    loaded[3].type = TrackType::Midi;
    const std::vector<TrackData> records = loaded;
    page.document().undoStack->clear();
    page.appendLoadedTracks(loaded);

    const QStringList names = {"kept", "MIDI轨 1", "轨道 3", "Keys", "MIDI轨 3"};
    ASSERT_EQ(page.document().tracks.size(), 5u);
    for (size_t i = 1; i < page.document().tracks.size(); ++i) {
        SCOPED_TRACE(i);
        TrackData expected = records[i - 1];
        expected.name = names[int(i)];
        EXPECT_EQ(page.document().tracks[i], expected);
        EXPECT_EQ(page.trackRows[i]->header->name(), names[int(i)]);
    }
    expectRowsMirrorTracks(page);
    EXPECT_TRUE(page.trackRows[2]->header->muted);
    EXPECT_EQ(page.document().undoStack->count(), 0);
}

TEST(MultiTrackPage, HeadersFarOutOfSightShowOnceScrolledNearAndKeepTheirPlace)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.resize(1000, 600);
    page.show();
    constexpr int count = 60;
    for (int i = 0; i < count; ++i)
        page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
    TrackHeaderWidget *first = page.trackRows.front()->header;
    TrackHeaderWidget *last = page.trackRows.back()->header;
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->isVisible() && page.trackRows.back()->lane()->isVisible(); }, 10000));
    QApplication::processEvents();
    EXPECT_FALSE(last->isVisible()) << "many views below";
    // Every header holds its row's place, shown or not, beside its lane.
    for (const TrackRowWidget *row : page.trackRows)
        EXPECT_EQ(row->header->y(), row->lane()->y()) << "row " << row->trackIndex;
    EXPECT_EQ(last->y(), (count - 1) * last->height());

    QScrollBar *scroll = page.laneScrollArea->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    ASSERT_TRUE(QTest::qWaitFor([&] { return last->isVisible(); }, 10000));
    EXPECT_EQ(last->mapTo(&page, QPoint()).y(), page.trackRows.back()->lane()->mapTo(&page, QPoint()).y());
}

TEST(MultiTrackPage, RemovingATrackMovesTheSelectionWithIt)
{
    const struct
    {
        int selected;
        int removed;
        int expected;
    } cases[] = {{1, 1, -1}, {2, 0, 1}, {0, 2, 0}, {-1, 1, -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "selected " << c.selected << ", removed " << c.removed);
        ProjectDocument document;
        MultiTrackEditorPage page(document, nullptr);
        for (int i = 0; i < 3; ++i)
            page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
        if (c.selected >= 0)
            emit page.trackRows[size_t(c.selected)]->trackSelected(c.selected);
        page.removeTrack(c.removed);
        EXPECT_EQ(page.selectedTrack, c.expected);
        expectRowsMirrorTracks(page);
        for (TrackRowWidget *row : page.trackRows)
            EXPECT_EQ(row->selected, row->trackIndex == c.expected);
    }
}

TEST(MultiTrackPage, RowsFollowTheirRecordsAndWriteIntoTheCurrentOne)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    for (const char *name : {"a", "b", "c"})
        page.addTrack(TrackType::Audio, {}, 44100, QString::fromUtf8(name), {});
    expectRowsMirrorTracks(page);
    page.removeTrack(0);
    expectRowsMirrorTracks(page);
    EXPECT_EQ(page.trackRows[0]->header->nameEdit->text(), QStringLiteral("b")) << "headers keep what they show";

    // An edit in the former second row lands in the record that is now first.
    page.trackRows[0]->header->volumeSlider->setValue(53);
    page.trackRows[0]->header->muteButton->click();
    EXPECT_FLOAT_EQ(page.document().tracks[0].volume, 0.53f);
    EXPECT_TRUE(page.document().tracks[0].muted);
    EXPECT_FALSE(page.document().tracks[1].muted);

    page.removeTrack(7);
    page.removeTrack(-1);
    EXPECT_EQ(page.document().tracks.size(), 2u) << "indexes outside the list change nothing";

    // Rows built over existing records (a load) show them without writing anything back.
    page.document().tracks[1].volume = 0.53f;
    page.document().tracks[1].solo = true;
    page.rebuildTrackRows();
    expectRowsMirrorTracks(page);
    EXPECT_EQ(page.document().tracks[1].volume, 0.53f);
    EXPECT_EQ(page.trackRows[1]->header->volumeSlider->value(), 52);
    EXPECT_TRUE(page.trackRows[1]->header->solo);
}

TEST(MultiTrackPage, ArmingATrackDisarmsTheOtherWithoutASecondReport)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    for (int i = 0; i < 3; ++i)
        page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
    TrackHeaderWidget *first = page.trackRows[0]->header;
    TrackHeaderWidget *second = page.trackRows[1]->header;
    first->armButton->click();
    ASSERT_TRUE(page.document().tracks[0].armed);

    QSignalSpy firstReports(first, &TrackHeaderWidget::armToggled);
    second->armButton->click();
    EXPECT_TRUE(page.document().tracks[1].armed);
    EXPECT_FALSE(page.document().tracks[0].armed);
    EXPECT_FALSE(first->armed);
    EXPECT_FALSE(first->armButton->isChecked());
    EXPECT_EQ(firstReports.count(), 0);
    EXPECT_FALSE(page.document().tracks[2].armed);
}

TEST(MultiTrackPage, TheAddTrackMenuNamesTracksByKind)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addMidiTrack(QString(), {}, 1.0);
    page.addMidiTrack(QString(), {}, 1.0);
    page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
    const struct
    {
        int action;
        const char *name;
        TrackType type;
    } choices[] = {{1, "MIDI轨 3", TrackType::Midi}, {0, "音频轨 2", TrackType::Audio}};
    for (const auto &choice : choices) {
        SCOPED_TRACE(choice.name);
        page.addTrackButton->click();
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        menu->actions().at(choice.action)->trigger();
        menu->close();
        EXPECT_EQ(page.document().tracks.back().name, QString::fromUtf8(choice.name));
        EXPECT_EQ(page.document().tracks.back().type, choice.type);
        EXPECT_TRUE(page.document().tracks.back().midiClips.empty()) << "a track from the menu has no clip";
    }
    expectRowsMirrorTracks(page);
    EXPECT_NE(page.trackRows[3]->midiClipWidget, nullptr);
    EXPECT_NE(page.trackRows[4]->audioClipWidget, nullptr);
}

TEST(MultiTrackPage, MidiRowsListTheSoundFontPresetsAndKeepTheirChoiceAcrossALoad)
{
    const QString soundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    ZENTRIQ_REQUIRE(QFileInfo::exists(soundFont), "timgm6mb-soundfont is not installed");
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.addMidiTrack(QString(), {}, 1.0);
    page.addMidiTrack(QString(), {}, 1.0);
    page.addTrack(TrackType::Audio, {}, 44100, QString(), {});
    QComboBox *firstList = page.trackRows[0]->header->instrumentCombo;
    ASSERT_EQ(firstList->count(), 1);
    EXPECT_EQ(firstList->itemText(0),
              page.document().pianoSampler.hasSamples() ? QStringLiteral("内置钢琴") : QStringLiteral("(未加载音色库)"));
    EXPECT_TRUE(page.trackRows[2]->header->instrumentCombo->isHidden()) << "an audio track has no list";

    page.document().tracks[0].instrumentIndex = 5;
    page.document().tracks[1].instrumentIndex = 100000;
    ASSERT_TRUE(page.document().sf2Sampler.loadSoundFont(soundFont));
    page.refreshInstrumentLists();
    const QList<QString> presets = page.document().sf2Sampler.getPresetNames();
    ASSERT_GT(presets.size(), 5);
    ASSERT_EQ(firstList->count(), presets.size());
    EXPECT_EQ(firstList->itemText(3), presets[3]);
    EXPECT_EQ(firstList->currentIndex(), 5);
    EXPECT_EQ(page.trackRows[1]->header->instrumentCombo->currentIndex(), presets.size() - 1) << "clamped";
    EXPECT_EQ(page.document().tracks[0].instrumentIndex, 5) << "rebuilding the list is no instrument choice";
    EXPECT_EQ(page.document().tracks[1].instrumentIndex, 100000);

    firstList->setCurrentIndex(2);
    EXPECT_EQ(page.document().tracks[0].instrumentIndex, 2);
    EXPECT_EQ(page.document().tracks[0].pluginId, -1);
}

} // namespace
