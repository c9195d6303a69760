// SPDX-License-Identifier: GPL-3.0-or-later
// Makes live MIDI notes audible: pulls the SoundFont's or the piano's live output into the
// default audio output every 10 ms.
#pragma once

#include "engine/platform/PushAudioOutput.h"

#include <QByteArray>
#include <QObject>

class PianoSampler;
class QTimer;
class SF2Sampler;

// GUI thread only; the instruments are borrowed and must outlive the player (or be unset).
class LiveAudioPlayer : public QObject
{
    Q_OBJECT

public:
    explicit LiveAudioPlayer(QObject *parent = nullptr);
    ~LiveAudioPlayer() override;

    // Choosing one instrument unsets the other; the change is heard at the next tick.
    void setSf2Sampler(SF2Sampler *s);
    void setPianoSampler(PianoSampler *p);

    // True at once when already running.
    bool start(int sampleRate);
    void stop();
    bool isRunning() const { return running; }

public slots:
    void pushAudio();

private:
    PushAudioOutput output;
    QTimer *timer = nullptr;
    SF2Sampler *sf2 = nullptr;
    PianoSampler *piano = nullptr;
    bool running = false;
    int sampleRate = 44100;
    QByteArray pcm;  // one block of 16-bit stereo, sized once per start
};
