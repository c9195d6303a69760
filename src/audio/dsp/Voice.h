// SPDX-License-Identifier: GPL-3.0-or-later
// One synthesiser voice: an oscillator shaped by an envelope and a velocity.
#pragma once

#include "audio/dsp/Envelope.h"
#include "audio/dsp/Oscillator.h"

class Voice
{
public:
    // The rate is not used: restores the default envelope and the sine waveform.
    void setSampleRate(float rate);
    void setEnvelopeParams(float attack, float decay, float sustain, float release);
    void setOscillatorType(WaveformType type) { oscillator.setType(type); }

    void noteOn(float frequency, float velocity); // velocity 0..127
    void noteOff() { envelope.triggerRelease(); }
    bool isActive() const { return active || envelope.isActive(); }
    float process();
    void reset();

private:
    friend class Synth;
    // The synthesiser passes a gain of 0..1 where a voice on its own takes a MIDI velocity.
    void start(float frequency, float gain);

    Oscillator oscillator;
    Envelope envelope;
    float noteFrequency = 440.0f;
    float velocity = 1.0f;
    bool active = false;
};
