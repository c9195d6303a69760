// SPDX-License-Identifier: GPL-3.0-or-later
// Video preview window: its size from the video, the picture taken from the decode thread
// as the editors' playhead moves, and the thread's lifetime.
#include "video/widgets/VideoPlayerDialog.h"

#include "video/VideoDecodeThread.h"
#include "video/VideoDemuxer.h"

#include <QCloseEvent>
#include <QDebug>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int maxWidth = 640;
constexpr int maxHeight = 480;
// Moves below one frame at 25 fps would only repaint the same picture.
constexpr double deadBandSeconds = 0.04;
// A playhead move larger than this is a jump, not playback: the thread seeks instead of
// decoding its way there (forward) or waiting for a clock it has passed (backward).
constexpr double seekThresholdSeconds = 0.5;

} // namespace

VideoPlayerDialog::VideoPlayerDialog(VideoDemuxer *demuxer, QWidget *parent) : QDialog(parent), demuxer(demuxer)
{
    setWindowTitle(tr("视频预览"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    if (!demuxer) {
        resize(fittedSize(0, 0));
        return;
    }
    resize(fittedSize(demuxer->getVideoWidth(), demuxer->getVideoHeight()));
    currentFrame = demuxer->decodeFrameAt(0.0);
    decodeThread = new VideoDecodeThread(demuxer, this);
    decodeThread->startDecoding();
}

VideoPlayerDialog::~VideoPlayerDialog()
{
    if (decodeThread) {
        decodeThread->requestStop();
        decodeThread->wait();
    }
}

QSize VideoPlayerDialog::fittedSize(int width, int height)
{
    if (width < 1 || height < 1)
        return {maxWidth, maxHeight};
    const double scale = std::min(double(maxWidth) / width, double(maxHeight) / height);
    if (scale >= 1.0)
        return {width, height};
    return {int(width * scale), int(height * scale)};
}

void VideoPlayerDialog::syncPosition(double seconds)
{
    const double moveSeconds = std::abs(seconds - lastSyncPos);
    if (moveSeconds < deadBandSeconds)
        return;
    lastSyncPos = seconds;
    if (!decodeThread)
        return;
    decodeThread->updatePlaybackTime(seconds);
    if (playing && moveSeconds > seekThresholdSeconds)
        decodeThread->requestSeek(seconds);
    takeLatestPicture();
}

void VideoPlayerDialog::takeLatestPicture()
{
    const QImage picture = decodeThread->takeLatestFrame();
    if (picture.isNull())
        return;
    currentFrame = picture;
    scaledFrame = currentFrame.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    update();
}

void VideoPlayerDialog::syncPlay()
{
    playing = true;
    if (!decodeThread)
        return;
    decodeThread->updatePlaybackTime(lastSyncPos);
    decodeThread->requestSeek(lastSyncPos);
    decodeThread->setPaused(false);
}

void VideoPlayerDialog::syncPause()
{
    playing = false;
    if (decodeThread)
        decodeThread->setPaused(true);
}

void VideoPlayerDialog::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), Qt::black);
    if (scaledFrame.isNull() && currentFrame.isNull()) {
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, tr("无视频画面"));
        return;
    }
    if (scaledFrame.isNull())
        scaledFrame = currentFrame.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage((width() - scaledFrame.width()) / 2, (height() - scaledFrame.height()) / 2, scaledFrame);
}

void VideoPlayerDialog::closeEvent(QCloseEvent *event)
{
    qDebug() << "[VideoPlayerDialog] 窗口关闭";
    event->accept();
}
