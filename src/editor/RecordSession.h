// SPDX-License-Identifier: GPL-3.0-or-later
// One recording of the single-track editor: a fresh engine captures, the GUI thread takes
// the captured blocks into the take, and whole seconds are counted.
#pragma once

#include "editor/RecordTake.h"
#include "engine/CaptureDrain.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>

class AudioEngine;

// GUI thread only. The blocks reach it through a CaptureDrain; what the GUI thread could not
// take in time is counted in droppedFrames().
class RecordSession : public QObject
{
    Q_OBJECT

public:
    explicit RecordSession(QObject *parent = nullptr);
    ~RecordSession() override;

    // Opens a fresh engine at `sampleRate` and captures into a take that goes into the
    // document at frame `insertAt`. False, with nothing left running, when capture fails.
    bool start(int sampleRate, int insertAt);
    // Stops and deletes the engine, then drains every captured frame: after it returns the
    // take is complete and no block arrives any more.
    void stop();

    bool isActive() const { return engine != nullptr; }
    int engineRate() const { return rate; }
    RecordTake &take() { return recordTake; }
    int seconds() const { return recordedSeconds; }
    std::uint64_t droppedFrames() const;

signals:
    // Each drained block, in capture order, already appended to the take.
    void blockArrived(const float *samples, int frames);
    // After the blocks of one drain: the moment to refresh views at most once.
    void drained();
    void secondElapsed(int seconds);
    // Once per recording, when its stream failed by itself (the device or audio server went
    // away): nothing more arrives, and stop() keeps what was captured before.
    void deviceLost();

private:
    CaptureDrain capture;  // before the engine, whose callback writes into it
    std::unique_ptr<AudioEngine> engine;
    QTimer secondTimer;
    RecordTake recordTake;
    int recordedSeconds = 0;
    int rate = 0;
    bool lossReported = false;
};
