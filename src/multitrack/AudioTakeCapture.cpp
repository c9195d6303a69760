// SPDX-License-Identifier: GPL-3.0-or-later
// Capture stream of a multitrack audio recording.
#include "AudioTakeCapture.h"

#include "engine/AudioEngine.h"

#include <QDebug>

AudioTakeCapture::AudioTakeCapture(QObject *parent)
    : QObject(parent), engine(std::make_unique<AudioEngine>())
{
    connect(&capture, &CaptureDrain::samplesArrived, this, &AudioTakeCapture::samplesArrived);
}

AudioTakeCapture::~AudioTakeCapture()
{
    engine->stopRecording();
    engine->shutdown();
}

bool AudioTakeCapture::start(int sampleRate)
{
    const int rate = sampleRate > 0 ? sampleRate : 44100;
    engine->initialize(rate, blockFrames);
    engine->setRecordCallback(capture.begin(rate));
    if (!engine->startCapture())
        return false;
    capture.startDraining();
    return true;
}

void AudioTakeCapture::stop()
{
    latencyFrames = engine->reportedLatencyFrames();
    engine->stopRecording();
    engine->shutdown();
    capture.finish();
    if (capture.dropped() > 0)
        qWarning() << "MultiTrack: the GUI thread fell behind the recording; frames lost:" << capture.dropped();
}

bool AudioTakeCapture::deviceLost() const
{
    return engine->deviceLost();
}

const StreamClock &AudioTakeCapture::clock() const
{
    return engine->inputClock();
}

long AudioTakeCapture::reportedLatencyFrames() const
{
    return latencyFrames;
}
