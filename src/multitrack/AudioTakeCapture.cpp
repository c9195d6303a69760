// SPDX-License-Identifier: GPL-3.0-or-later
// Capture stream of a multitrack audio recording.
#include "AudioTakeCapture.h"

#include "engine/AudioEngine.h"

#include <QDebug>

#include <algorithm>

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
    const int deviceRate = engine->inputDeviceRate(rate);
    engine->initialize(deviceRate, blockFrames);
    AudioEngine::RecordCallback toRing = capture.begin(rate);
    if (deviceRate == rate) {
        engine->setRecordCallback(std::move(toRing));
    } else {
        toTake.reset(deviceRate, rate, 1, blockFrames);
        converted.assign(std::size_t(toTake.maxOutputFrames(blockFrames)), 0.0f);
        engine->setRecordCallback([this, toRing](const float *input, int frames) {
            // A device may deliver more than the block it promised: convert it in pieces.
            for (int done = 0; done < frames; done += blockFrames) {
                const int piece = std::min(blockFrames, frames - done);
                toRing(converted.data(), toTake.process(input + done, piece, converted.data(), int(converted.size())));
            }
        });
    }
    if (!engine->startCapture())
        return false;
    capture.startDraining();
    return true;
}

void AudioTakeCapture::stop()
{
    const StreamTiming running = engine->inputTiming();
    latencyFrames = long(running.reportedLatency);
    deviceLine = running.reportedLine;
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

StreamTiming AudioTakeCapture::timing() const
{
    return {engine->inputClock(), latencyFrames, deviceLine};
}
