// SPDX-License-Identifier: GPL-3.0-or-later
// Click track on the beat grid of the timeline: a short decaying sine on every beat, higher
// on the first beat of each bar, pushed to the default audio output every 10 ms.
#pragma once

#include "engine/PushAudioOutput.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>

class QTimer;

// GUI thread only.
class Metronome : public QObject
{
    Q_OBJECT

public:
    explicit Metronome(QObject *parent = nullptr);
    ~Metronome() override;

    // Restarts the clicks for playback from `startSeconds` on the timeline. Beat k of the
    // timeline sounds at frame round(k * 60 / bpm * rate) counted from timeline 0, and beats
    // 0, beatsPerBar, 2 * beatsPerBar ... are accented. A start on a beat clicks at once, a
    // start between beats at the next beat. A bar of fewer than one beat counts as one beat;
    // a tempo that is not a positive number has no beats.
    bool start(int sampleRate, double bpm, int beatsPerBar, double startSeconds = 0.0);
    void stop();
    bool isRunning() const { return running.load(); }
    // 0 or less silences the clicks; the beat clock keeps following the timeline.
    void setVolume(float v) { volume = v; }

    // Writes the clicks of the next `frames` interleaved 16-bit stereo frames over `out`;
    // frames without a click are left untouched.
    void render(short *out, int frames);

private:
    void tick();
    std::int64_t beatFrame(std::int64_t beat) const;

    PushAudioOutput output;
    QTimer *timer = nullptr;
    std::atomic<bool> running{false};
    int sampleRate = 44100;
    double bpm = 120.0;
    int beatsPerBar = 4;
    float volume = 0.5f;
    std::int64_t position = 0;       // timeline frame of the next frame rendered
    std::int64_t nextBeat = 0;       // timeline beat index of the next click
    std::int64_t nextBeatAt = 0;     // its timeline frame
    int clickLength = 0;
    int clickRemaining = 0;
    bool accented = false;           // the sounding click opens a bar
    QList<float> accentClick;  // 800 Hz
    QList<float> normalClick;  // 600 Hz
};
