// SPDX-License-Identifier: GPL-3.0-or-later
// Recording engine and the take it fills.
#include "editor/RecordSession.h"

#include "engine/AudioEngine.h"

#include <QDebug>

namespace {
constexpr int kBlockFrames = 512;
} // namespace

RecordSession::RecordSession(QObject *parent)
    : QObject(parent)
{
    connect(&capture, &CaptureDrain::samplesArrived, this, [this](const float *samples, int frames) {
        recordTake.append({samples, std::size_t(frames)});
        emit blockArrived(samples, frames);
    });
    connect(&capture, &CaptureDrain::drained, this, [this] {
        emit drained();
        if (engine && !lossReported && engine->deviceLost()) {
            lossReported = true;
            emit deviceLost();
        }
    });
    secondTimer.setInterval(1000);
    connect(&secondTimer, &QTimer::timeout, this, [this] { emit secondElapsed(++recordedSeconds); });
}

RecordSession::~RecordSession()
{
    // Blocks still in the ring are dropped with the page.
    if (engine) {
        engine->stopRecording();
        engine->shutdown();
    }
}

bool RecordSession::start(int sampleRate, int insertAt)
{
    stop();
    rate = sampleRate;
    recordedSeconds = 0;
    lossReported = false;
    recordTake.begin(insertAt);

    auto fresh = std::make_unique<AudioEngine>();
    fresh->initialize(sampleRate, kBlockFrames);
    fresh->setRecordCallback(capture.begin(sampleRate));
    if (!fresh->startRecording())
        return false;
    engine = std::move(fresh);
    capture.startDraining();
    secondTimer.start();
    return true;
}

void RecordSession::stop()
{
    if (!engine)
        return;
    rate = engine->sampleRate();
    engine->stopRecording();
    engine->shutdown();
    engine.reset();
    secondTimer.stop();
    capture.finish();
    if (capture.dropped() > 0)
        qWarning() << "[Record] the GUI thread fell behind; frames lost:" << capture.dropped();
}

std::uint64_t RecordSession::droppedFrames() const
{
    return capture.dropped();
}
