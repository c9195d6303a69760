// SPDX-License-Identifier: GPL-3.0-or-later
// Modeless video preview that follows the editors' playhead.
#pragma once

#include <QDialog>
#include <QImage>

class VideoDecodeThread;
class VideoDemuxer;

// GUI thread only. Deletes itself when closed; holders forget it on `destroyed`. From the
// end of construction its decode thread alone reads the demuxer, which must outlive the
// dialog: delete the dialog (its destructor stops and joins the thread) before the demuxer;
// closing is not enough, since the deletion on close waits for the event loop.
class VideoPlayerDialog : public QDialog
{
    Q_OBJECT

public:
    // Shows the picture at 0 s, then starts the decode thread paused.
    VideoPlayerDialog(VideoDemuxer *demuxer, QWidget *parent = nullptr);
    ~VideoPlayerDialog() override;

    // Moves the playback clock; a jump of more than half a second is a seek.
    void syncPosition(double seconds);
    // Seeks the decode thread to the last position and lets it decode ahead.
    void syncPlay();
    // Stops decoding; the picture shown stays.
    void syncPause();

    // The window size for a video of `width` x `height`: fitted into 640 x 480 with its
    // aspect kept, never enlarged.
    static QSize fittedSize(int width, int height);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void takeLatestPicture();

    VideoDemuxer *demuxer;
    VideoDecodeThread *decodeThread = nullptr;
    QImage currentFrame;
    QImage scaledFrame;
    bool playing = false;
    double lastSyncPos = 0.0;
};
