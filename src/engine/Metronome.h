// SPDX-License-Identifier: GPL-3.0-or-later
// Click track: a short decaying sine on every beat, higher on the first beat of each bar,
// pushed to the default audio output every 10 ms.
#pragma once

#include "engine/platform/PushAudioOutput.h"

#include <QList>
#include <QObject>

#include <atomic>

class QTimer;

// GUI thread only.
class Metronome : public QObject
{
    Q_OBJECT

public:
    explicit Metronome(QObject *parent = nullptr);
    ~Metronome() override;

    // Restarts from the beginning: the first click sounds one beat after the start. A bar
    // of fewer than one beat counts as one beat.
    bool start(int sampleRate, double bpm, int beatsPerBar);
    void stop();
    bool isRunning() const { return running.load(); }
    // 0 or less silences the metronome and holds its beat clock.
    void setVolume(float v) { volume = v; }

    // Writes the clicks of the next `frames` interleaved 16-bit stereo frames over `out`;
    // frames without a click are left untouched.
    void render(short *out, int frames);

private:
    void tick();

    PushAudioOutput output;
    QTimer *timer = nullptr;
    std::atomic<bool> running{false};
    int sampleRate = 44100;
    double bpm = 120.0;
    int beatsPerBar = 4;
    float volume = 0.5f;
    double phase = 0.0;  // fraction of the current beat elapsed
    int beat = 0;        // index in the bar
    int clickLength = 0;
    int clickRemaining = 0;
    bool clicking = false;
    QList<float> accentClick;  // 800 Hz, beat 0
    QList<float> normalClick;  // 600 Hz
};
