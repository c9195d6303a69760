// SPDX-License-Identifier: GPL-3.0-or-later
// Capture ring and its GUI-side drain.
#include "engine/CaptureDrain.h"

#include "engine/SampleRing.h"

#include <algorithm>

namespace {
constexpr std::size_t drainBlockSamples = 512;
} // namespace

CaptureDrain::CaptureDrain(QObject *parent)
    : QObject(parent)
{
    timer.setInterval(drainIntervalMs);
    connect(&timer, &QTimer::timeout, this, &CaptureDrain::drain);
}

CaptureDrain::~CaptureDrain() = default;

AudioEngine::RecordCallback CaptureDrain::begin(int sampleRate)
{
    timer.stop();
    ring = std::make_unique<SampleRing>(std::size_t(sampleRate > 0 ? sampleRate : 44100) * ringSeconds);
    block.assign(drainBlockSamples, 0.0f);
    SampleRing *target = ring.get();
    return [target](const float *input, int frames) {
        if (input && frames > 0)
            target->write({input, std::size_t(frames)});
    };
}

void CaptureDrain::startDraining()
{
    timer.start();
}

void CaptureDrain::finish()
{
    timer.stop();
    drain();
}

std::uint64_t CaptureDrain::dropped() const
{
    return ring ? ring->dropped() : 0;
}

void CaptureDrain::drain()
{
    if (!ring)
        return;
    // Only what has arrived so far: a GUI thread slower than the stream must still get back
    // to its event loop, and what comes meanwhile waits in the ring for the next tick.
    std::size_t due = ring->readable();
    while (due > 0) {
        const std::size_t count = ring->read({block.data(), std::min(due, block.size())});
        if (count == 0)
            break;
        due -= count;
        emit samplesArrived(block.data(), int(count));
    }
    emit drained();
}
