// SPDX-License-Identifier: GPL-3.0-or-later
// Video preview window: title, lifetime and the playback clock the editors drive.
#include "video/widgets/VideoPlayerDialog.h"

#include <cmath>

VideoPlayerDialog::VideoPlayerDialog(VideoDemuxer *, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("视频预览"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
}

void VideoPlayerDialog::syncPosition(double seconds)
{
    // Moves below one frame at 25 fps would only repaint the same picture.
    if (std::abs(seconds - lastSyncPosition) < 0.04)
        return;
    lastSyncPosition = seconds;
}

void VideoPlayerDialog::syncPlay()
{
    playing = true;
}

void VideoPlayerDialog::syncPause()
{
    playing = false;
}
