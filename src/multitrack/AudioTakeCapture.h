// SPDX-License-Identifier: GPL-3.0-or-later
// The capture side of a multitrack audio recording: an input-only stream whose blocks reach
// the GUI thread through a CaptureDrain.
#pragma once

#include "engine/CaptureDrain.h"
#include "engine/StreamClock.h"
#include "engine/StreamResampler.h"

#include <QObject>

#include <memory>

class AudioEngine;

// GUI thread only. The stream runs at the input device's own rate and is converted to the
// take's here, so no conversion hides a delay further on. What the GUI thread could not take
// in time is dropped and logged at the stop.
class AudioTakeCapture : public QObject
{
    Q_OBJECT

public:
    explicit AudioTakeCapture(QObject *parent = nullptr);
    ~AudioTakeCapture() override;

    // Records the default input at `sampleRate`. False, with nothing running, on failure.
    bool start(int sampleRate);
    // Stops and closes the stream first, then hands over every captured sample: once it
    // returns, samplesArrived is never emitted again.
    void stop();

    // True once the input stream failed by itself (its device or server went away): no
    // sample arrives any more, and stop() still hands over everything captured before.
    bool deviceLost() const;
    // The capture stream's timing, in the device's frames, as it stood when stop() closed it.
    StreamTiming timing() const;

    static constexpr int blockFrames = 512;

signals:
    // Captured samples in order, without gaps.
    void samplesArrived(const float *samples, int count);

private:
    CaptureDrain capture;  // before the engine, whose callback writes into it
    std::unique_ptr<AudioEngine> engine;
    long latencyFrames = 0;
    std::optional<double> deviceLine;
    // Used by the stream thread alone while it runs.
    StreamResampler toTake;
    std::vector<float> converted;
};
