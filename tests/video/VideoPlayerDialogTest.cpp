// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window: its size, the picture following a playhead driven as the editors
// drive it (play, 50 ms ticks, jumps, pause), and its lifetime against the demuxer.
#include "VideoFixtures.h"
#include "Requirement.h"
#include "video/VideoDemuxer.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPointer>
#include <QThread>

#include <memory>

namespace {

TEST(VideoPlayerDialog, IsModelessAndDeletesItselfWhenClosed)
{
    QPointer<VideoPlayerDialog> preview = new VideoPlayerDialog(nullptr);
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("视频预览"));
    EXPECT_FALSE(preview->isModal());
    preview->show();
    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(preview.isNull());
}

TEST(VideoPlayerDialog, FitsTheVideoInto640By480WithoutEnlarging)
{
    const struct
    {
        QSize video, window;
    } cases[] = {{{1920, 1080}, {640, 360}}, {{320, 240}, {320, 240}}, {{1000, 480}, {640, 307}},
                 {{0, 0}, {640, 480}},       {{480, 1000}, {230, 480}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.video.width() << "x" << c.video.height());
        EXPECT_EQ(VideoPlayerDialog::fittedSize(c.video.width(), c.video.height()), c.window);
    }
}

QRgb shownCentre(VideoPlayerDialog &dialog)
{
    return centrePixel(dialog.grab().toImage());
}

struct Preview
{
    std::unique_ptr<VideoDemuxer> demuxer = std::make_unique<VideoDemuxer>();
    QPointer<VideoPlayerDialog> dialog;
    double position = 0.0;

    bool open(const QString &path)
    {
        QList<float> mono, interleaved;
        int rate = 0;
        // As the import does: the sound first, then the preview on the same demuxer.
        if (!demuxer->open(path) || !demuxer->extractAudio(mono, interleaved, rate))
            return false;
        dialog = new VideoPlayerDialog(demuxer.get());
        return true;
    }
    ~Preview()
    {
        delete dialog.data();
        demuxer.reset();
    }
    // The editor's playback timer: the playhead moves with the wall clock, reported every 50 ms.
    void playUntil(double seconds)
    {
        QElapsedTimer clock;
        clock.start();
        const double from = position;
        while (position < seconds) {
            QThread::msleep(50);
            position = from + clock.elapsed() / 1000.0;
            dialog->syncPosition(position);
        }
    }
    // Ticks on from `seconds` until the centre shows `colour`; the milliseconds that took.
    qint64 jumpUntil(double seconds, const QColor &colour, qint64 limitMs)
    {
        QElapsedTimer clock;
        clock.start();
        position = seconds;
        dialog->syncPosition(position);
        while (!colourNear(shownCentre(*dialog), colour) && clock.elapsed() < limitMs) {
            QThread::msleep(10);
            position = seconds + clock.elapsed() / 1000.0;
            dialog->syncPosition(position);
        }
        return clock.elapsed();
    }
};

#define OPEN_PREVIEW(preview)                                                                                         \
    Preview preview;                                                                                                  \
    ZENTRIQ_REQUIRE(!videoFixture("b.mp4").isEmpty(), "ffmpeg could not make b.mp4");                                \
    ASSERT_TRUE(preview.open(videoFixture("b.mp4")))

TEST(VideoPlayerDialog, OpensAtTheVideoSizeShowingTheFirstPicture)
{
    OPEN_PREVIEW(preview);
    EXPECT_EQ(preview.dialog->size(), QSize(320, 240));
    EXPECT_TRUE(colourNear(shownCentre(*preview.dialog), Qt::red));
}

TEST(VideoPlayerDialog, PictureFollowsPlaybackJumpsAndPause)
{
    OPEN_PREVIEW(preview);
    VideoPlayerDialog &dialog = *preview.dialog;
    const QColor lime(0, 255, 0);

    dialog.syncPlay();
    preview.playUntil(1.2);
    EXPECT_TRUE(colourNear(shownCentre(dialog), Qt::blue)) << std::hex << shownCentre(dialog);
    preview.playUntil(2.2);
    EXPECT_TRUE(colourNear(shownCentre(dialog), lime)) << std::hex << shownCentre(dialog);

    // Back by two seconds while playing: a seek, not a wait for a clock already passed,
    // which would hold the old picture for good. Forward by more than half a second: a seek
    // as well. How soon the picture comes is measured by video_benchmark (BM_PictureAfterPlay);
    // here a loaded machine only must not turn it into a failure.
    const qint64 limitMs = 3000;
    EXPECT_LT(preview.jumpUntil(0.2, Qt::red, limitMs), limitMs);
    EXPECT_LT(preview.jumpUntil(2.1, lime, limitMs), limitMs);

    // Paused at 0.9 s: the thread decodes nothing more, however the playhead moves.
    EXPECT_LT(preview.jumpUntil(0.3, Qt::red, limitMs), limitMs);
    preview.playUntil(0.9);
    dialog.syncPause();
    for (double t = 1.0; t <= 1.6; t += 0.05) {
        QThread::msleep(50);
        dialog.syncPosition(t);
    }
    EXPECT_TRUE(colourNear(shownCentre(dialog), Qt::red)) << std::hex << shownCentre(dialog);

    // Play again from there.
    dialog.syncPlay();
    preview.position = 1.6;
    preview.playUntil(1.8);
    EXPECT_TRUE(colourNear(shownCentre(dialog), Qt::blue)) << std::hex << shownCentre(dialog);
}

TEST(VideoPlayerDialog, CreatedAndDestroyedWithoutAnEventLoopTurn)
{
    OPEN_PREVIEW(preview);
    for (int i = 0; i < 100; ++i) {
        auto *dialog = new VideoPlayerDialog(preview.demuxer.get());
        if (i % 2)
            dialog->syncPlay();
        delete dialog;
    }
}

TEST(VideoPlayerDialog, DemuxerDeletedRightAfterThePlayingDialog)
{
    OPEN_PREVIEW(preview);
    preview.dialog->syncPlay();
    preview.playUntil(0.3);
    delete preview.dialog.data();
    preview.demuxer.reset();
    EXPECT_TRUE(preview.dialog.isNull());
}

} // namespace
