// SPDX-License-Identifier: GPL-3.0-or-later
// Modeless video preview that follows the editors' playhead.
#pragma once

#include <QDialog>

class VideoDemuxer;

// GUI thread only. Deletes itself when closed; holders forget it on `destroyed`. Frame
// decoding is not built yet, so the window stays empty while it keeps the playback clock.
class VideoPlayerDialog : public QDialog
{
    Q_OBJECT

public:
    // Will read `demuxer` (not owned) once frame decoding exists.
    VideoPlayerDialog(VideoDemuxer *demuxer, QWidget *parent = nullptr);

    void syncPosition(double seconds);
    void syncPlay();
    void syncPause();

private:
    double lastSyncPosition = 0.0;
    bool playing = false;
};
