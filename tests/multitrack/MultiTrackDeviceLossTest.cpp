// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page on a PulseAudio server of the test's own that goes away during playback
// or a recording, or is not there at all: the transport ends, the user is told once, a
// recording keeps its take, and Play works again once the server is back.
#include "document/ProjectDocument.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"
#include "engine/MultiTrackAudioEngine.h"
#include "ui/AudioDeviceNotice.h"

#include "PrivatePulseServer.h"
#include "ScopedEnv.h"
#include "WarningBoxes.h"

#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using AudioDeviceNotice::Event;
constexpr int kRate = 48000;

bool waitUntil(const std::function<bool()> &done)
{
    // Generous: a stream on a busy machine may take seconds to start.
    return QTest::qWaitFor(done, 20000);
}

std::unique_ptr<MultiTrackEditorPage> pageWithArmedTrack(ProjectDocument &document)
{
    auto page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
    page->resize(1200, 600);
    page->show();
    page->setSampleRate(kRate);
    page->addTrack(TrackType::Audio, QList<float>(kRate * 60, 0.1f), kRate, QStringLiteral("bed"), {});
    page->addTrack(TrackType::Audio, {}, kRate, QStringLiteral("take"), {});
    page->trackRows[1]->header->armButton->click();
    // Only what the transport does is on the stack.
    document.undoStack->clear();
    return page;
}

class MultiTrackDeviceLoss : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pulse.isValid()) << "no private PulseAudio server";
        page = pageWithArmedTrack(document);
        ASSERT_TRUE(document.tracks[1].armed);
    }

    ScopedEnv api{"ZENTRIQ_AUDIO_API", "pulse"};
    PrivatePulseServer pulse{kRate};
    ProjectDocument document;  // outlives the page
    std::unique_ptr<MultiTrackEditorPage> page;
};

TEST_P(MultiTrackDeviceLoss, TheTransportEndsTheUserIsToldOnceAndPlayWorksOnceTheServerIsBack)
{
    const bool recording = GetParam();
    const auto outputFrames = [&] { return document.engine->outputClock().frames(); };
    page->syncPlayheadAll(2.0);
    (recording ? page->recordButton : page->playButton)->click();
    ASSERT_TRUE(page->playing);
    ASSERT_EQ(page->recording, recording);
    qsizetype seenBeforeLoss = 0;
    if (recording) {
        ASSERT_EQ(document.tracks[1].audioClips.size(), 1u);
        const AudioClip &take = document.tracks[1].audioClips.back();
        ASSERT_TRUE(waitUntil([&] { return take.samples.size() >= kRate / 2; })) << "nothing was recorded";
        seenBeforeLoss = take.samples.size();
    } else {
        ASSERT_TRUE(waitUntil([&] { return outputFrames() > 4096; })) << "the stream never ran";
    }

    ASSERT_TRUE(pulse.stop());
    ASSERT_TRUE(waitUntil([&] { return !page->playing && !page->recording; }))
        << "the page still shows a running transport without a server";
    EXPECT_EQ(page->playButton->text(), QStringLiteral(">"));
    EXPECT_EQ(page->recordButton->text(), QStringLiteral("录制"));
    EXPECT_FALSE(page->isTrackRecording(1));
    EXPECT_EQ(takeMessageBoxes(*page),
              QStringList{AudioDeviceNotice::text(recording ? Event::LostWhileRecording : Event::LostWhilePlaying)});
    if (recording) {
        // Kept as a take of its own, starting where the recording began, as after the button.
        ASSERT_EQ(document.tracks[1].audioClips.size(), 1u);
        const AudioClip &take = document.tracks[1].audioClips.back();
        EXPECT_DOUBLE_EQ(take.start, 2.0);
        // The streams' clocks may move it by a few blocks, no more; a flood of stale blocks
        // would make it far longer than the minute the test runs at most.
        EXPECT_GT(take.samples.size(), seenBeforeLoss - 8192);
        EXPECT_LT(take.samples.size(), qsizetype(kRate) * 60);
        ASSERT_EQ(document.undoStack->count(), 1);
        EXPECT_EQ(document.undoStack->text(0), QStringLiteral("录音"));
    } else {
        EXPECT_EQ(document.tracks[1].audioClips.size(), 0u);
    }

    // Without a server Play says why it does not start.
    page->playButton->click();
    EXPECT_FALSE(page->playing);
    EXPECT_EQ(takeMessageBoxes(*page), QStringList{AudioDeviceNotice::text(Event::OutputUnavailable)});

    ASSERT_TRUE(pulse.start());
    page->playButton->click();
    ASSERT_TRUE(page->playing) << "Play did not open a new stream on the returned server";
    EXPECT_TRUE(waitUntil([&] { return outputFrames() > 4096; })) << "the new stream never ran";
    EXPECT_FALSE(document.engine->deviceLost());
    page->stopButton->click();
    EXPECT_TRUE(takeMessageBoxes(*page).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(PlayingOrRecording, MultiTrackDeviceLoss, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "Recording" : "Playing");
                         });

TEST(MultiTrackWithoutServer, PlayAndRecordSayWhyNothingStarts)
{
    ScopedEnv api("ZENTRIQ_AUDIO_API", "pulse");
    ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/zentriq-no-server");
    ScopedEnv noAutospawn("PULSE_NO_AUTOSPAWN", "1");
    ProjectDocument document;
    const auto page = pageWithArmedTrack(document);

    page->playButton->click();
    EXPECT_FALSE(page->playing);
    EXPECT_EQ(takeMessageBoxes(*page), QStringList{AudioDeviceNotice::text(Event::OutputUnavailable)});

    page->recordButton->click();
    EXPECT_FALSE(page->recording);
    EXPECT_FALSE(page->playing);
    EXPECT_EQ(page->recordButton->text(), QStringLiteral("录制"));
    EXPECT_TRUE(document.tracks[1].audioClips.empty());
    EXPECT_EQ(document.undoStack->count(), 0);
    EXPECT_EQ(takeMessageBoxes(*page), QStringList{AudioDeviceNotice::text(Event::InputUnavailable)});
}

} // namespace
