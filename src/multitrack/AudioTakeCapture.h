// SPDX-License-Identifier: GPL-3.0-or-later
// The capture side of a multitrack audio recording: an input-only stream whose blocks go
// through a pre-sized ring to the GUI thread, drained on a short timer.
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class AudioEngine;
class SampleRing;
class StreamClock;

// GUI thread only. The stream thread only writes captured blocks into the ring: no lock, no
// allocation, no signal. What finds the ring full is dropped and logged at the stop.
class AudioTakeCapture : public QObject
{
    Q_OBJECT

public:
    explicit AudioTakeCapture(QObject *parent = nullptr);
    ~AudioTakeCapture() override;

    // Opens the default input at `sampleRate`. False, with nothing running, on failure.
    bool start(int sampleRate);
    // Stops and closes the stream first, then hands over every captured sample: once it
    // returns, samplesArrived is never emitted again.
    void stop();

    // The capture stream's timing; complete once stop() has returned.
    const StreamClock &clock() const;
    long reportedLatencyFrames() const;

    static constexpr int blockFrames = 512;
    static constexpr int drainIntervalMs = 20;
    static constexpr int ringSeconds = 10;

signals:
    // Captured samples in order, without gaps.
    void samplesArrived(const float *samples, int count);

private:
    void drain();

    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<SampleRing> ring;
    QTimer drainTimer;
    std::vector<float> block;
    long latencyFrames = 0;
};
