// SPDX-License-Identifier: GPL-3.0-or-later
// Audio recording on the multitrack page through the null sink's monitor: a click track
// played from one track and recorded onto the armed one lands where it was played, take
// after take, at the sink's rate and at another, with every core busy or not; the recorded
// track's older clips play along and come back with one undo, and nothing a recording does
// can reach a clip of the user's.
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"

#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>

namespace {

constexpr int kRate = 48000;
constexpr double kClickEvery = 0.5;
constexpr int kClickFrames = 48;
constexpr double kRecordFrom = 0.5;
constexpr double kTakeTolerance = 0.010;

QList<float> clickTrack(double seconds, int rate = kRate)
{
    QList<float> samples(qsizetype(seconds * rate), 0.0f);
    for (qsizetype beat = 0; beat * kClickEvery * rate < samples.size(); ++beat) {
        const qsizetype at = qsizetype(std::llround(beat * kClickEvery * rate));
        for (qsizetype k = at; k < std::min(samples.size(), at + kClickFrames); ++k)
            samples[k] = 0.8f;
    }
    return samples;
}

// Checks every click of a take recorded from kRecordFrom against its beat, counted in the
// take's frames. Returns the error of largest size, in seconds.
double expectClicksOnTheBeat(const AudioClip &take, int minimumClicks)
{
    const int rate = take.sampleRate;
    int found = 0;
    double worst = 0.0;
    for (int beat = 2; (beat * kClickEvery - kRecordFrom + 0.1) * rate < take.samples.size(); ++beat) {
        const double expected = beat * kClickEvery;
        const qsizetype from = qsizetype((expected - kRecordFrom - 0.1) * rate);
        const qsizetype to = qsizetype((expected - kRecordFrom + 0.1) * rate);
        qsizetype onset = -1;
        for (qsizetype i = std::max<qsizetype>(from, 0); i < to && onset < 0; ++i) {
            if (take.samples[i] > 0.2f)
                onset = i;
        }
        EXPECT_GE(onset, 0) << "no click near " << expected << " s";
        if (onset < 0)
            continue;
        const double error = take.start + double(onset) / rate - expected;
        EXPECT_LE(std::fabs(error), kTakeTolerance) << "click at " << expected << " s";
        if (std::fabs(error) > std::fabs(worst))
            worst = error;
        ++found;
    }
    EXPECT_GE(found, minimumClicks);
    return worst;
}

// Keeps every core busy with a spinning shell until it goes; each is stopped by its own id.
class BusyCores
{
public:
    BusyCores()
    {
        for (int k = 0; k < QThread::idealThreadCount(); ++k) {
            auto &spinner = spinners.emplace_back(std::make_unique<QProcess>());
            spinner->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            spinner->waitForStarted();
        }
    }
    ~BusyCores()
    {
        for (auto &spinner : spinners) {
            spinner->kill();
            spinner->waitForFinished();
        }
    }

private:
    std::vector<std::unique_ptr<QProcess>> spinners;
};

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
        makePage(kRate);
        // The older clips: A plays during the recording, B lies after it.
        page->document().tracks[1].audioClips = {sineClip(1.0, 0.6, 440.0), sineClip(20.0, 0.4, 440.0)};
        olderClips = page->document().tracks[1].audioClips;
    }

    // A page at `rate` with a click track and an armed, empty track, the playhead at kRecordFrom.
    void makePage(int rate)
    {
        page.reset();
        document = std::make_unique<ProjectDocument>();
        page = std::make_unique<MultiTrackEditorPage>(*document, nullptr);
        page->resize(1200, 600);
        page->show();
        page->setSampleRate(rate);
        page->addTrack(TrackType::Audio, clickTrack(30.0, rate), rate, QStringLiteral("clicks"), {});
        page->addTrack(TrackType::Audio, {}, rate, QStringLiteral("take"), {});
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
        const qsizetype wanted = qsizetype(seconds * page->document().tracks[1].audioClips.back().sampleRate);
        for (int waited = 0; waited < 20000; waited += 50) {
            if (page->document().tracks[1].audioClips.back().samples.size() >= wanted)
                break;
            QTest::qWait(50);
        }
        ASSERT_GE(page->document().tracks[1].audioClips.back().samples.size(), wanted) << "the monitor delivered too little";
    }

    std::unique_ptr<ProjectDocument> document;  // outlives the page

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

    expectClicksOnTheBeat(take, 4);
    // Clip A played during the recording and was heard; between clicks after it, silence.
    EXPECT_GT(rms(take.samples, 1.1 - kRecordFrom, 1.4 - kRecordFrom), 0.05);
    EXPECT_LT(rms(take.samples, 2.1 - kRecordFrom, 2.4 - kRecordFrom), 0.01);

    page->stepHistory(false);
    EXPECT_EQ(page->document().tracks[1].audioClips, olderClips);
    page->stepHistory(true);
    ASSERT_EQ(page->document().tracks[1].audioClips.size(), 3u);
    EXPECT_EQ(page->document().tracks[1].audioClips[2], take);
}

TEST_F(MultiTrackRecording, EveryTakeLandsOnTheBeatAtEitherProjectRateIdleOrBusy)
{
    // 48 kHz is the null sink's own rate; at 44.1 kHz both streams must be converted.
    const struct
    {
        int rate;
        bool busy;
    } cases[] = {{48000, false}, {44100, false}, {48000, true}, {44100, true}};
    constexpr int takes = 5;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz" << (c.busy ? ", every core busy" : ""));
        makePage(c.rate);
        const std::unique_ptr<BusyCores> busy = c.busy ? std::make_unique<BusyCores>() : nullptr;
        for (int k = 0; k < takes; ++k) {
            SCOPED_TRACE(testing::Message() << "take " << k + 1);
            page->syncPlayheadAll(kRecordFrom);
            recordFor(1.7);
            page->recordButton->click();
            ASSERT_EQ(page->document().tracks[1].audioClips.size(), 1u);
            const AudioClip take = page->document().tracks[1].audioClips[0];
            EXPECT_EQ(take.sampleRate, c.rate);
            const double worst = expectClicksOnTheBeat(take, 2);
            std::printf("take at %d Hz%s: worst click %+.1f ms\n", c.rate, c.busy ? " (busy)" : "", worst * 1000.0);
            // The next take must not hear this one.
            page->stepHistory(false);
            ASSERT_TRUE(page->document().tracks[1].audioClips.empty());
        }
    }
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
