// SPDX-License-Identifier: GPL-3.0-or-later
// Capture stream, ring and GUI-side drain of a multitrack audio recording.
#include "AudioTakeCapture.h"

#include "engine/AudioEngine.h"
#include "engine/SampleRing.h"

#include <QDebug>

#include <algorithm>

AudioTakeCapture::AudioTakeCapture(QObject *parent)
    : QObject(parent), engine(std::make_unique<AudioEngine>())
{
    drainTimer.setInterval(drainIntervalMs);
    connect(&drainTimer, &QTimer::timeout, this, &AudioTakeCapture::drain);
}

AudioTakeCapture::~AudioTakeCapture()
{
    engine->stopRecording();
    engine->shutdown();
}

bool AudioTakeCapture::start(int sampleRate)
{
    const int rate = sampleRate > 0 ? sampleRate : 44100;
    ring = std::make_unique<SampleRing>(std::size_t(rate) * ringSeconds);
    block.assign(blockFrames, 0.0f);
    engine->initialize(rate, blockFrames);
    SampleRing *target = ring.get();
    engine->setRecordCallback([target](const float *input, int frames) {
        if (input && frames > 0)
            target->write({input, std::size_t(frames)});
    });
    if (!engine->startCapture())
        return false;
    drainTimer.start();
    return true;
}

void AudioTakeCapture::stop()
{
    latencyFrames = engine->reportedLatencyFrames();
    engine->stopRecording();
    engine->shutdown();
    drainTimer.stop();
    drain();
    if (ring && ring->dropped() > 0)
        qWarning() << "MultiTrack: the GUI thread fell behind the recording; frames lost:" << ring->dropped();
}

const StreamClock &AudioTakeCapture::clock() const
{
    return engine->inputClock();
}

long AudioTakeCapture::reportedLatencyFrames() const
{
    return latencyFrames;
}

void AudioTakeCapture::drain()
{
    if (!ring)
        return;
    // Only what has arrived so far, so a slow GUI thread still gets back to its event loop.
    std::size_t due = ring->readable();
    while (due > 0) {
        const std::size_t count = ring->read({block.data(), std::min(due, block.size())});
        if (count == 0)
            break;
        due -= count;
        emit samplesArrived(block.data(), int(count));
    }
}
