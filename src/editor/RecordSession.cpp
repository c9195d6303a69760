// SPDX-License-Identifier: GPL-3.0-or-later
// Recording engine, capture ring and its GUI-side drain.
#include "editor/RecordSession.h"

#include "engine/AudioEngine.h"
#include "engine/SampleRing.h"

#include <QDebug>

#include <algorithm>

namespace {
constexpr int kBlockFrames = 512;
} // namespace

RecordSession::RecordSession(QObject *parent)
    : QObject(parent)
{
    drainTimer.setInterval(drainIntervalMs);
    connect(&drainTimer, &QTimer::timeout, this, &RecordSession::drain);
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
    recordTake.begin(insertAt);
    ring = std::make_unique<SampleRing>(std::size_t(sampleRate > 0 ? sampleRate : 44100) * ringSeconds);
    block.assign(kBlockFrames, 0.0f);

    auto fresh = std::make_unique<AudioEngine>();
    fresh->initialize(sampleRate, kBlockFrames);
    SampleRing *target = ring.get();
    fresh->setRecordCallback([target](const float *input, int frames) {
        if (input && frames > 0)
            target->write({input, std::size_t(frames)});
    });
    if (!fresh->startRecording())
        return false;
    engine = std::move(fresh);
    drainTimer.start();
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
    drainTimer.stop();
    secondTimer.stop();
    drain();
    if (ring->dropped() > 0)
        qWarning() << "[Record] the GUI thread fell behind; frames lost:" << ring->dropped();
}

std::uint64_t RecordSession::droppedFrames() const
{
    return ring ? ring->dropped() : 0;
}

void RecordSession::drain()
{
    if (!ring)
        return;
    // Only what has arrived so far: a GUI thread slower than the stream must still get back
    // to its event loop, and what comes meanwhile waits in the ring for the next tick.
    std::size_t due = ring->readable();
    while (due > 0) {
        const std::size_t count = ring->read({block.data(), std::min(due, block.size())});
        due -= count;
        recordTake.append({block.data(), count});
        emit blockArrived(block.data(), int(count));
    }
    emit drained();
}
