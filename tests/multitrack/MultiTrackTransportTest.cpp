// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's transport on the null sink: play, pause, stop, rewind and
// fast-forward with everything that follows the playhead, the metronome with playback, and
// the record button without an armed track.
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TimelineRulerWidget.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"
#include "engine/Metronome.h"
#include "engine/MultiTrackAudioEngine.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "MonitorCapture.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kViewportWidth = 1000;

QList<float> constantSamples(qsizetype count, float value)
{
    return QList<float>(count, value);
}

class MultiTrackTransport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        page->resize(188 + kViewportWidth, 700);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
        page->setSampleRate(48000);
        // Track 0 ends at 42 s, track 1 (MIDI) at 30 s.
        page->addTrack(TrackType::Audio, constantSamples(48000 * 2, 0.01f), 48000, QString(), {});
        page->document().tracks[0].audioClips[0].start = 40.0;
        page->addMidiTrack(QString(), {MidiNote{60, 0.0, 1.0, 100}}, 30.0);
        page->updateRuler();
    }

    // Every place the playhead shows, which must all agree.
    void expectPlayheadEverywhere(double seconds, double tolerance) const
    {
        for (TrackRowWidget *row : page->trackRows)
            EXPECT_NEAR(row->lane()->playheadPosition(), seconds, tolerance);
        EXPECT_NEAR(page->ruler->playheadSec, seconds, tolerance);
        EXPECT_DOUBLE_EQ(page->ruler->playheadSec, page->trackRows[0]->lane()->playheadPosition());
    }

    Metronome *metronome() const { return page->findChild<Metronome *>(); }

    ProjectDocument document;  // outlives the page

    std::unique_ptr<MultiTrackEditorPage> page;
};

TEST_F(MultiTrackTransport, StopReturnsToWhereThePlaybackBegan)
{
    page->syncPlayheadAll(12.5);
    page->playButton->click();
    ASSERT_TRUE(page->playing) << "the null sink did not take the stream";
    EXPECT_EQ(page->playButton->text(), QStringLiteral("||"));
    QTest::qWait(3000);
    // The playhead follows the wall clock, everywhere.
    const double during = page->playheadSec();
    EXPECT_GT(during, 12.5 + 2.5);
    EXPECT_LT(during, 12.5 + 10.0);
    expectPlayheadEverywhere(during, 1e-9);
    EXPECT_EQ(page->timeLabel->text().left(8), QStringLiteral("00:00:1%1").arg(int(during) - 10));

    page->stopButton->click();
    EXPECT_FALSE(page->playing);
    EXPECT_FALSE(page->document().engine->isPlaying());
    EXPECT_EQ(page->playButton->text(), QStringLiteral(">"));
    expectPlayheadEverywhere(12.5, 1e-9);
    EXPECT_EQ(page->timeLabel->text(), QStringLiteral("00:00:12.500"));
}

TEST_F(MultiTrackTransport, PlayAfterPauseRendersAgainFromThePausedPlayhead)
{
    page->syncPlayheadAll(40.0);
    page->onPlayPause();
    ASSERT_TRUE(page->playing);
    QTest::qWait(400);
    page->onPlayPause();
    EXPECT_FALSE(page->playing);
    EXPECT_FALSE(page->document().engine->isPlaying());
    const double paused = page->playheadSec();
    EXPECT_GT(paused, 40.0);

    // An edit while paused is heard at the next Play: the whole project renders again.
    page->document().tracks[0].audioClips[0].samples = constantSamples(48000 * 2, 0.25f);
    page->onPlayPause();
    ASSERT_TRUE(page->playing);
    EXPECT_DOUBLE_EQ(page->playStartSec, paused);
    ASSERT_GT(page->document().audioRenderCache[0].size(), 48000 * 40);
    EXPECT_FLOAT_EQ(page->document().audioRenderCache[0][48000 * 41], 0.25f);
    page->onStop();
    expectPlayheadEverywhere(paused, 1e-9);
}

TEST_F(MultiTrackTransport, RewindAndFastForwardOnlyMoveThePlayhead)
{
    page->syncPlayheadAll(7.0);
    page->forwardButton->click();
    expectPlayheadEverywhere(42.0, 1e-9);
    page->rewindButton->click();
    expectPlayheadEverywhere(0.0, 0.0);
    EXPECT_FALSE(page->playing);

    // Without tracks, Play does nothing.
    page->clearTracks();
    page->onPlayPause();
    EXPECT_FALSE(page->playing);
}

TEST_F(MultiTrackTransport, TheViewJumpsSoThePlayheadSitsAtThirtyPercent)
{
    page->applyZoom(1.0, -1);
    const double span = page->laneScrollArea->viewport()->width() / 100.0;
    page->hScrollBar->setValue(0);
    // Inside the margins nothing scrolls; past the right margin the view jumps.
    const double start = 0.95 * span;
    page->syncPlayheadAll(start);
    page->onPlayPause();
    ASSERT_TRUE(page->playing);
    EXPECT_EQ(page->hScrollBar->value(), 0);
    // The first tick moves the playhead past the margin: the view jumps once.
    QTest::qWait(300);
    const double playhead = page->playheadSec();
    EXPECT_NEAR(page->hScrollBar->value(), (playhead - 0.3 * span) * 1000.0, 300.0);
    EXPECT_NEAR(page->viewStartSec, playhead - 0.3 * span, 0.3);
    page->onStop();
    // Stopped, a playhead far outside the view leaves it alone.
    const int value = page->hScrollBar->value();
    page->syncPlayheadAll(200.0);
    EXPECT_EQ(page->hScrollBar->value(), value);
}

TEST_F(MultiTrackTransport, TheMetronomeRunsWithPlaybackOnly)
{
    ASSERT_NE(metronome(), nullptr);
    page->metronomeButton->click();
    ASSERT_TRUE(page->metronomeOn);
    for (const char *end : {"pause", "stop"}) {
        SCOPED_TRACE(end);
        page->onPlayPause();
        ASSERT_TRUE(page->playing);
        EXPECT_TRUE(metronome()->isRunning());
        if (std::string(end) == "pause")
            page->onPlayPause();
        else
            page->onStop();
        EXPECT_FALSE(metronome()->isRunning());
    }
    page->metronomeButton->click();
    page->onPlayPause();
    EXPECT_FALSE(metronome()->isRunning());
    page->onStop();
}

TEST_F(MultiTrackTransport, TheMetronomeClicksOnTheTimelineBeatsFromThePlayhead)
{
    // At 120 BPM the timeline's beats fall every 0.5 s and beat 28 (14.0 s) opens a bar.
    // From 12.25 s the clicks come at 12.5, 13.0, 13.5 (600 Hz) and 14.0 s (800 Hz).
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.start(48000));
    page->metronomeButton->click();
    page->syncPlayheadAll(12.25);
    page->onPlayPause();
    ASSERT_TRUE(metronome()->isRunning());
    QTest::qWait(3500);
    page->onStop();
    const std::vector<float> heard = monitor.stop();

    struct Click
    {
        std::size_t at;
        double hertz;
    };
    std::vector<Click> clicks;
    for (std::size_t i = 0; i + 2400 < heard.size(); ++i) {
        if (std::abs(heard[i]) < 0.05f)
            continue;
        // Zero crossings over the first 20 ms give the click's pitch.
        int crossings = 0;
        for (std::size_t k = i + 1; k < i + 960; ++k)
            crossings += (heard[k - 1] < 0.0f) != (heard[k] < 0.0f);
        clicks.push_back({i, crossings / 2.0 / 0.02});
        i += 12000;
    }
    ASSERT_GE(clicks.size(), 5u) << "the metronome was not heard";
    for (std::size_t k = 1; k < clicks.size(); ++k)
        EXPECT_NEAR(double(clicks[k].at - clicks[k - 1].at) / 48000.0, 0.5, 0.01) << "click " << k;
    const double expected[] = {600, 600, 600, 800, 600, 600, 600, 800};
    for (std::size_t k = 0; k < std::min<std::size_t>(clicks.size(), std::size(expected)); ++k)
        EXPECT_NEAR(clicks[k].hertz, expected[k], 100.0) << "click " << k;
}

TEST_F(MultiTrackTransport, RecordWithoutAnArmedTrackShowsTheBoxAndRecordsNothing)
{
    QString shown;
    QTimer::singleShot(200, [&shown] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    page->recordButton->click();
    EXPECT_EQ(shown, QStringLiteral("没有预位的轨道，请先点击 R 按钮预位一条轨道。"));
    EXPECT_FALSE(page->recording);
    EXPECT_FALSE(page->playing);
    EXPECT_EQ(page->recordButton->text(), QStringLiteral("录制"));
    EXPECT_EQ(page->document().tracks[0].audioClips.size(), 1u);
    EXPECT_EQ(page->document().tracks[1].midiClips.size(), 1u);
}

} // namespace
