// SPDX-License-Identifier: GPL-3.0-or-later
// Audio recording on the multitrack page through the null sink's monitor: a click track
// played from one track and recorded onto the armed one lands where it was played, the
// recorded track's older clips play along and come back with one undo, and nothing a
// recording does can reach a clip of the user's.
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"

#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr int kRate = 48000;
constexpr double kClickEvery = 0.5;
constexpr int kClickFrames = 48;
constexpr double kRecordFrom = 0.5;

QList<float> clickTrack(double seconds)
{
    QList<float> samples(qsizetype(seconds * kRate), 0.0f);
    for (qsizetype beat = 0; beat * kClickEvery * kRate < samples.size(); ++beat) {
        const qsizetype at = qsizetype(std::llround(beat * kClickEvery * kRate));
        for (qsizetype k = at; k < std::min(samples.size(), at + kClickFrames); ++k)
            samples[k] = 0.8f;
    }
    return samples;
}

AudioClip sineClip(double start, double seconds, double hertz)
{
    AudioClip clip;
    clip.sampleRate = kRate;
    clip.start = start;
    clip.samples.resize(qsizetype(seconds * kRate));
    for (qsizetype i = 0; i < clip.samples.size(); ++i)
        clip.samples[i] = float(0.2 * std::sin(2.0 * std::numbers::pi * hertz * double(i) / kRate));
    return clip;
}

double rms(const QList<float> &samples, double fromSec, double toSec)
{
    const qsizetype from = qsizetype(fromSec * kRate);
    const qsizetype to = std::min(samples.size(), qsizetype(toSec * kRate));
    double sum = 0.0;
    for (qsizetype i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

class MultiTrackRecording : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        page->resize(1200, 600);
        page->show();
        page->setSampleRate(kRate);
        page->addTrack(TrackType::Audio, clickTrack(30.0), kRate, QStringLiteral("clicks"), {});
        page->addTrack(TrackType::Audio, {}, kRate, QStringLiteral("take"), {});
        // The older clips: A plays during the recording, B lies after it.
        page->document().tracks[1].audioClips = {sineClip(1.0, 0.6, 440.0), sineClip(20.0, 0.4, 440.0)};
        olderClips = page->document().tracks[1].audioClips;
        page->trackRows[1]->header->armButton->click();
        ASSERT_TRUE(page->document().tracks[1].armed);
        page->syncPlayheadAll(kRecordFrom);
    }

    // Records until the take holds `seconds` of audio (the streams may take a while to flow).
    void recordFor(double seconds)
    {
        page->recordButton->click();
        ASSERT_TRUE(page->recording);
        ASSERT_TRUE(page->playing) << "the null sink did not take the playback";
        ASSERT_TRUE(page->isTrackRecording(1));
        for (int waited = 0; waited < 20000; waited += 50) {
            if (page->document().tracks[1].audioClips.back().samples.size() >= qsizetype(seconds * kRate))
                break;
            QTest::qWait(50);
        }
        ASSERT_GE(page->document().tracks[1].audioClips.back().samples.size(), qsizetype(seconds * kRate))
            << "the monitor delivered too little";
    }

    ProjectDocument document;  // outlives the page

    std::unique_ptr<MultiTrackEditorPage> page;
    std::vector<AudioClip> olderClips;
};

TEST_F(MultiTrackRecording, ClicksLandWhereTheyWerePlayedAndOneUndoRestoresTheTrack)
{
    recordFor(3.0);
    // Undo would move the clips under the recording: it waits for the stop.
    const int undoIndex = page->document().undoStack->index();
    page->stepHistory(false);
    EXPECT_EQ(page->document().undoStack->index(), undoIndex);
    EXPECT_EQ(page->document().tracks[1].audioClips.size(), 3u);

    page->recordButton->click();
    EXPECT_FALSE(page->recording);
    EXPECT_FALSE(page->playing);
    EXPECT_FALSE(page->isTrackRecording(1));
    ASSERT_EQ(page->document().tracks[1].audioClips.size(), 3u);
    EXPECT_EQ(page->document().tracks[1].audioClips[0], olderClips[0]);
    EXPECT_EQ(page->document().tracks[1].audioClips[1], olderClips[1]);
    const AudioClip take = page->document().tracks[1].audioClips[2];
    EXPECT_DOUBLE_EQ(take.start, kRecordFrom);
    EXPECT_EQ(take.sampleRate, kRate);
    EXPECT_TRUE(take.stereoSamples.isEmpty());

    // Every click of the take within 10 ms of its timeline time.
    int found = 0;
    for (int beat = 2; (beat * kClickEvery - kRecordFrom + 0.1) * kRate < take.samples.size(); ++beat) {
        const double expected = beat * kClickEvery;
        const qsizetype from = qsizetype((expected - kRecordFrom - 0.1) * kRate);
        const qsizetype to = qsizetype((expected - kRecordFrom + 0.1) * kRate);
        qsizetype onset = -1;
        for (qsizetype i = std::max<qsizetype>(from, 0); i < to && onset < 0; ++i) {
            if (take.samples[i] > 0.2f)
                onset = i;
        }
        ASSERT_GE(onset, 0) << "no click near " << expected << " s";
        EXPECT_NEAR(kRecordFrom + double(onset) / kRate, expected, 0.010) << "click at " << expected << " s";
        ++found;
    }
    EXPECT_GE(found, 4);
    // Clip A played during the recording and was heard; between clicks after it, silence.
    EXPECT_GT(rms(take.samples, 1.1 - kRecordFrom, 1.4 - kRecordFrom), 0.05);
    EXPECT_LT(rms(take.samples, 2.1 - kRecordFrom, 2.4 - kRecordFrom), 0.01);

    page->stepHistory(false);
    EXPECT_EQ(page->document().tracks[1].audioClips, olderClips);
    page->stepHistory(true);
    ASSERT_EQ(page->document().tracks[1].audioClips.size(), 3u);
    EXPECT_EQ(page->document().tracks[1].audioClips[2], take);
}

TEST_F(MultiTrackRecording, RemovingATrackEndsTheRecordingFirst)
{
    recordFor(0.5);
    page->removeTrack(0);
    EXPECT_FALSE(page->recording);
    EXPECT_FALSE(page->isTrackRecording(0));
    ASSERT_EQ(page->document().tracks.size(), 1u);
    ASSERT_EQ(page->document().tracks[0].audioClips.size(), 3u);
    EXPECT_EQ(page->document().tracks[0].audioClips[0], olderClips[0]);
    EXPECT_EQ(page->document().tracks[0].audioClips[1], olderClips[1]);
    EXPECT_GE(page->document().tracks[0].audioClips[2].samples.size(), qsizetype(0.4 * kRate));
    // Undo brings the removed track back and then the track as it was before the take.
    page->stepHistory(false);
    page->stepHistory(false);
    ASSERT_EQ(page->document().tracks.size(), 2u);
    EXPECT_EQ(page->document().tracks[1].audioClips, olderClips);
}

TEST_F(MultiTrackRecording, AClipListChangedUnderTheRecordingTakesNoCapturedAudio)
{
    recordFor(0.3);
    // Whatever slipped past the guards and took the recording clip away, the captured audio
    // must not land in the clip that is now last.
    page->document().tracks[1].audioClips.pop_back();
    QTest::qWait(300);
    page->recordButton->click();
    EXPECT_FALSE(page->recording);
    EXPECT_EQ(page->document().tracks[1].audioClips, olderClips);
}

} // namespace
