// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes a video's pictures ahead of a playback clock and keeps the latest one that is due.
#pragma once

#include <QImage>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class VideoDemuxer;

// Once started, only this thread uses the demuxer, which must outlive it. It starts paused:
// it decodes only between setPaused(false) and setPaused(true), so an idle preview costs no
// CPU. The setters and takeLatestFrame are for the owning (GUI) thread; they never block
// longer than a short lock.
class VideoDecodeThread : public QThread
{
    Q_OBJECT

public:
    VideoDecodeThread(VideoDemuxer *demuxer, QObject *parent = nullptr);
    // Stops the thread and waits for it, however long the picture in hand takes.
    ~VideoDecodeThread() override;

    // Marks the thread running, then starts it, so a stop asked for at any time after
    // this call is never lost.
    void startDecoding();
    void requestStop();
    void requestSeek(double seconds);
    void setPaused(bool paused);
    void updatePlaybackTime(double seconds);
    // A deep copy of the latest picture published; null until there is one.
    QImage takeLatestFrame();
    // Its time in seconds; -1 until there is one.
    double takeLatestPts();

protected:
    void run() override;

private:
    // Sleeps at most `ms` unless a stop, seek, pause, resume or clock change has come since
    // the change count was `seen`.
    void waitForChange(quint64 seen, int ms);
    void publish(const QImage &picture, double pts);
    // Applies `change` under the mutex, counts it and wakes the thread.
    template<typename Change>
    void announce(Change change);

    VideoDemuxer *demuxer;
    QMutex mutex;
    QWaitCondition wakeCondition;
    std::atomic<bool> running{false};
    std::atomic<bool> seekRequested{false};
    std::atomic<bool> paused{true};
    std::atomic<double> seekTarget{0.0};
    std::atomic<double> playbackTime{0.0};
    QImage latestFrame;
    double latestPts = -1.0;
    // Bumped under the mutex by every setter, so a change made between the thread's check
    // and its wait still ends the wait.
    quint64 changes = 0;
};
