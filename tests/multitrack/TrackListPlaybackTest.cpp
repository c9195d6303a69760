// SPDX-License-Identifier: GPL-3.0-or-later
// The page's track list changes against a running playback, through a pumped device.
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"

#include "PumpedDocumentEngine.h"

#include "engine/MultiTrackAudioEngine.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr int rate = 44100;

class PlaybackSlots : public ::testing::Test
{
protected:
    float left() { return device.left(); }

    void play()
    {
        page.renderPlaybackSlots();
        ASSERT_TRUE(document.engine->startPlayback(0.0));
    }

    ProjectDocument document;
    MultiTrackEditorPage page{document, nullptr};
    PumpedDocumentEngine device{document, rate};
};

// Slots name tracks by index, so a change to the track list ends a running playback before
// any slot could play one track's render under another's settings; header edits reach the
// playing slot at once.
TEST_F(PlaybackSlots, TrackListChangesStopPlaybackAndHeaderEditsReachTheSlot)
{
    page.addTrack(TrackType::Audio, QList<float>(rate, 0.5f), rate, QString(), {});
    play();
    EXPECT_FLOAT_EQ(left(), 0.5f * 0.8f * 0.707f);
    page.trackRows[0]->header->muteButton->click();
    EXPECT_EQ(left(), 0.0f);

    const struct
    {
        const char *name;
        std::function<void()> change;
    } changes[] = {
        {"add", [this] { page.addTrack(TrackType::Audio, {}, rate, QString(), {}); }},
        {"undo the add", [this] { page.stepHistory(false); }},
        {"remove", [this] { page.removeTrack(0); }},
        {"undo the removal", [this] { page.stepHistory(false); }},
        {"clear", [this] { page.clearTracks(); }},
    };
    for (const auto &c : changes) {
        SCOPED_TRACE(c.name);
        play();
        c.change();
        EXPECT_FALSE(document.engine->isPlaying());
    }
}

} // namespace
