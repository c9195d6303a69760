// SPDX-License-Identifier: GPL-3.0-or-later
// The preview's decoding loop: decode the next picture, hold it until the clock reaches
// it, publish it; seek, pause and stop requests are taken between pictures.
#include "video/VideoDecodeThread.h"

#include "video/VideoDemuxer.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>

namespace {

constexpr int pausedWaitMs = 100;
constexpr int endOfStreamWaitMs = 50;
// An early picture is looked at again at least this often, so a clock that stopped
// advancing (the editor paused without telling) costs only a wake-up now and then.
constexpr int earlyWaitMs = 100;
// A picture this close to the clock counts as due.
constexpr double dueToleranceSeconds = 0.005;

} // namespace

VideoDecodeThread::VideoDecodeThread(VideoDemuxer *demuxer, QObject *parent) : QThread(parent), demuxer(demuxer) {}

VideoDecodeThread::~VideoDecodeThread()
{
    requestStop();
    wait();
}

void VideoDecodeThread::startDecoding()
{
    running = true;
    start();
}

template<typename Change>
void VideoDecodeThread::announce(Change change)
{
    QMutexLocker lock(&mutex);
    change();
    ++changes;
    wakeCondition.wakeAll();
}

void VideoDecodeThread::requestStop()
{
    announce([this] { running = false; });
}

void VideoDecodeThread::requestSeek(double seconds)
{
    announce([this, seconds] {
        seekTarget = seconds;
        seekRequested = true;
    });
}

void VideoDecodeThread::setPaused(bool pause)
{
    announce([this, pause] { paused = pause; });
}

void VideoDecodeThread::updatePlaybackTime(double seconds)
{
    announce([this, seconds] { playbackTime = seconds; });
}

QImage VideoDecodeThread::takeLatestFrame()
{
    QMutexLocker lock(&mutex);
    return latestFrame.copy();
}

double VideoDecodeThread::takeLatestPts()
{
    QMutexLocker lock(&mutex);
    return latestPts;
}

void VideoDecodeThread::publish(const QImage &picture, double pts)
{
    QMutexLocker lock(&mutex);
    latestFrame = picture;
    latestPts = pts;
}

void VideoDecodeThread::waitForChange(quint64 seen, int ms)
{
    QMutexLocker lock(&mutex);
    if (changes == seen && running)
        wakeCondition.wait(&mutex, QDeadlineTimer(ms));
}

void VideoDecodeThread::run()
{
    qDebug() << "[VideoDecodeThread] started";
    QImage held;
    double heldPts = -1.0;
    while (running) {
        quint64 seen;
        {
            QMutexLocker lock(&mutex);
            seen = changes;
        }
        if (seekRequested.exchange(false)) {
            held = QImage();
            demuxer->seekTo(seekTarget);
        }
        if (paused) {
            waitForChange(seen, pausedWaitMs);
            continue;
        }
        if (held.isNull()) {
            held = demuxer->decodeNextFrame(heldPts);
            if (held.isNull()) {
                waitForChange(seen, endOfStreamWaitMs);
                continue;
            }
        }
        // An early picture is held, not dropped: a stream whose pictures start late or
        // pause for a while still shows them once the clock gets there.
        const double aheadSeconds = heldPts - playbackTime;
        if (paused)
            continue;  // paused while decoding: the picture waits for the resume
        if (aheadSeconds <= dueToleranceSeconds) {
            publish(held, heldPts);
            held = QImage();
            continue;
        }
        waitForChange(seen, std::clamp(int(aheadSeconds * 1000.0), 1, earlyWaitMs));
    }
    qDebug() << "[VideoDecodeThread] stopped";
}
