// SPDX-License-Identifier: GPL-3.0-or-later
// Live MIDI on the multitrack page from a virtual keyboard on the JACK server: notes recorded
// onto the armed MIDI track sound where they were played at any project tempo, a held note
// closes at the stop, an empty take leaves nothing, undo takes a take away, and live keys
// start the live player, also from a port that appears after the page.
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"
#include "engine/MidiInput.h"

#include "MidiTestKeyboard.h"
#include "MonitorCapture.h"
#include "Requirement.h"
#include "ScopedEnv.h"
#include "TestFiles.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

constexpr double kFileTempo = 120.0;

class MultiTrackMidiRecording : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(!qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER"),
                        "no JACK server (scripts/test.sh starts one)");
        api = std::make_unique<MidiApiScope>("jack");
        keyboard = std::make_unique<MidiTestKeyboard>();
        ZENTRIQ_REQUIRE(keyboard->valid(), "the JACK server does not accept clients");
        page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        page->setSampleRate(48000);
        input = page->findChild<MidiInput *>();
        ASSERT_NE(input, nullptr);
        const int port = int(input->availableDevices().indexOf(keyboard->portName()));
        ASSERT_GE(port, 0);
        ASSERT_TRUE(input->openDevice(port));
    }

    void addArmedMidiTrack()
    {
        page->addMidiTrack(QStringLiteral("keys"), {MidiNote{48, 0.0, 1.0, 90}}, 4.0);
        page->document().midiFileTempo = kFileTempo;
        page->trackRows[0]->header->armButton->click();
        ASSERT_TRUE(page->document().tracks[0].armed);
    }

    // The played time the page's clock shows now.
    double playTime() const { return page->playStartSec + page->playClock.elapsed() / 1000.0; }

    // Waits until the page's playback clock reaches `ms`.
    void waitForPlayTime(qint64 ms) const
    {
        while (page->playClock.elapsed() < ms)
            QTest::qWait(1);
    }

    std::unique_ptr<MidiApiScope> api;
    std::unique_ptr<MidiTestKeyboard> keyboard;
    ProjectDocument document;  // outlives the page
    std::unique_ptr<MultiTrackEditorPage> page;
    MidiInput *input = nullptr;
};

TEST_F(MultiTrackMidiRecording, ANoteSoundsWhereItWasPlayedAtAnyTempo)
{
    addArmedMidiTrack();
    const std::vector<MidiClip> before = page->document().tracks[0].midiClips;
    for (double tempo : {120.0, 100.0, 140.0}) {
        SCOPED_TRACE(tempo);
        page->setTempo(tempo);
        page->syncPlayheadAll(10.0);
        page->recordButton->click();
        ASSERT_TRUE(page->recording);
        ASSERT_TRUE(page->playing);
        EXPECT_TRUE(page->isTrackRecording(0));

        waitForPlayTime(2500);
        // A note is stamped when the page handles it, which on a loaded machine can be a
        // while after it was sent: expect it from the moment of sending, not at a fixed time.
        const double sentOn = playTime();
        keyboard->send({0x90, 60, 100});
        QTest::qWait(300);
        const double sentOff = playTime();
        keyboard->send({0x80, 60, 0});
        // Held past the stop.
        keyboard->send({0x90, 64, 100});
        QTest::qWait(300);
        const double stopAt = playTime();
        page->recordButton->click();
        EXPECT_FALSE(page->recording);
        EXPECT_FALSE(page->isTrackRecording(0));

        ASSERT_EQ(page->document().tracks[0].midiClips.size(), 2u);
        const MidiClip &take = page->document().tracks[0].midiClips.back();
        ASSERT_EQ(take.notes.size(), 2u);
        // Stored times sound at stored x file tempo / project tempo.
        const double scale = kFileTempo / tempo;
        const MidiNote &played = take.notes[0];
        EXPECT_EQ(played.pitch, 60);
        const double heardAt = (take.start + played.start) * scale;
        EXPECT_GE(heardAt, sentOn - 0.005);
        EXPECT_LE(heardAt, sentOn + 0.25);
        EXPECT_NEAR(played.duration * scale, sentOff - sentOn, 0.1);
        const MidiNote &held = take.notes[1];
        EXPECT_EQ(held.pitch, 64);
        EXPECT_NEAR((take.start + held.start + held.duration) * scale, stopAt, 0.05);

        // One undo takes the take away, and nothing else.
        page->onStop();
        page->stepHistory(false);
        EXPECT_EQ(page->document().tracks[0].midiClips, before);
        page->stepHistory(true);
        ASSERT_EQ(page->document().tracks[0].midiClips.size(), 2u);
        page->stepHistory(false);
    }
}

TEST_F(MultiTrackMidiRecording, ATakeWithoutNotesLeavesNoClipAndNoStep)
{
    addArmedMidiTrack();
    const std::vector<MidiClip> before = page->document().tracks[0].midiClips;
    const int steps = page->document().undoStack->count();
    page->recordButton->click();
    ASSERT_TRUE(page->recording);
    EXPECT_EQ(page->document().tracks[0].midiClips.size(), 2u);
    QTest::qWait(300);
    page->recordButton->click();
    EXPECT_EQ(page->document().tracks[0].midiClips, before);
    EXPECT_EQ(page->document().undoStack->count(), steps);
}

TEST_F(MultiTrackMidiRecording, AKeyStartsTheLivePlayerAndIsHeard)
{
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.start(48000));
    EXPECT_FALSE(page->isLivePlayerRunning());
    keyboard->send({0x90, 60, 127});
    for (int waited = 0; waited < 5000 && !page->isLivePlayerRunning(); waited += 10)
        QTest::qWait(10);
    EXPECT_TRUE(page->isLivePlayerRunning());
    QTest::qWait(1500);
    keyboard->send({0x80, 60, 0});
    const std::vector<float> heard = monitor.stop();
    double peak = 0.0;
    for (float v : heard)
        peak = std::max(peak, double(std::abs(v)));
    EXPECT_GT(peak, 0.01) << "the live piano was not heard";
    // The page goes while the player runs: the player stops before the instruments go.
}

TEST(MultiTrackMidiInput, APortThatAppearsLateIsConnected)
{
    ZENTRIQ_REQUIRE(!qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER"), "no JACK server (scripts/test.sh starts one)");
    MidiApiScope api("jack");
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    auto *input = page.findChild<MidiInput *>();
    ASSERT_NE(input, nullptr);
    QTest::qWait(1200);
    MidiTestKeyboard keyboard;
    ZENTRIQ_REQUIRE(keyboard.valid(), "the JACK server does not accept clients");
    ZENTRIQ_REQUIRE(input->availableDevices().indexOf(keyboard.portName()) == 0,
                    "another client's port is listed first");
    for (int waited = 0; waited < 10000 && !input->isOpen(); waited += 50)
        QTest::qWait(50);
    ASSERT_TRUE(input->isOpen());
    keyboard.send({0x90, 67, 100});
    for (int waited = 0; waited < 5000 && !page.isLivePlayerRunning(); waited += 10)
        QTest::qWait(10);
    EXPECT_TRUE(page.isLivePlayerRunning());
    keyboard.send({0x80, 67, 0});
}

TEST(MultiTrackLiveSoundFont, ALoadWhileThePianoPlaysMovesTheLivePlayerToTheSoundFont)
{
    const QString soundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    ZENTRIQ_REQUIRE(QFileInfo::exists(soundFont), "timgm6mb-soundfont is not installed");
    TestFiles files;
    ScopedEnv dataHome("XDG_DATA_HOME", files.path(QStringLiteral("data")).toUtf8());
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    page.setSampleRate(48000);
    page.addMidiTrack(QStringLiteral("keys"), {}, 4.0);
    page.sendLiveNoteOn(0, 60, 100);
    page.sendLiveNoteOff(0, 60);
    ASSERT_TRUE(page.isLivePlayerRunning());
    ASSERT_TRUE(page.copyAndLoadSoundFont(soundFont));
    EXPECT_TRUE(page.isLivePlayerRunning());

    // The key now goes to the SoundFont, and the player must be rendering it.
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.start(48000));
    page.sendLiveNoteOn(0, 72, 127);
    QTest::qWait(1500);
    page.sendLiveNoteOff(0, 72);
    const std::vector<float> heard = monitor.stop();
    double peak = 0.0;
    for (float v : heard)
        peak = std::max(peak, double(std::abs(v)));
    EXPECT_GT(peak, 0.01) << "the live key was not heard through the SoundFont";
}

} // namespace
