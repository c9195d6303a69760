// SPDX-License-Identifier: GPL-3.0-or-later
// The hand-over of captured samples from a stream thread to the GUI thread: a pre-sized ring
// the stream's record callback writes into, drained on a short GUI timer.
#pragma once

#include "engine/AudioEngine.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

class SampleRing;

// GUI thread only, but for the callback it hands out. That callback only writes into the ring:
// no lock, no allocation, no signal. The ring holds ten seconds, so the GUI thread may be busy
// that long without a sample being lost; what still does not fit is counted in dropped().
class CaptureDrain : public QObject
{
    Q_OBJECT

public:
    static constexpr int drainIntervalMs = 20;
    static constexpr int ringSeconds = 10;

    explicit CaptureDrain(QObject *parent = nullptr);
    ~CaptureDrain() override;

    // A fresh, empty ring for `sampleRate` (44100 when not positive), and the record callback
    // that fills it, for the engine about to capture.
    AudioEngine::RecordCallback begin(int sampleRate);
    // Drains every drainIntervalMs from now on.
    void startDraining();
    // Hands over everything still in the ring and drains no more. Call once the stream has
    // stopped: no sample arrives afterwards.
    void finish();
    std::uint64_t dropped() const;

signals:
    // Captured samples in order, without gaps.
    void samplesArrived(const float *samples, int count);
    // After the samples of one drain: the moment to refresh views at most once.
    void drained();

private:
    void drain();

    std::unique_ptr<SampleRing> ring;
    QTimer timer;
    std::vector<float> block;
};
