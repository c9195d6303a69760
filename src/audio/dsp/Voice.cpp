// SPDX-License-Identifier: GPL-3.0-or-later
// One synthesiser voice: an oscillator shaped by an envelope and a velocity.
#include "audio/dsp/Voice.h"

void Voice::setSampleRate(float)
{
    setEnvelopeParams(0.01f, 0.1f, 0.7f, 0.3f);
    oscillator.setType(WaveformType::Sine);
}

void Voice::setEnvelopeParams(float attack, float decay, float sustain, float release)
{
    envelope.setAttack(attack);
    envelope.setDecay(decay);
    envelope.setSustain(sustain);
    envelope.setRelease(release);
}

void Voice::start(float frequency, float gain)
{
    noteFrequency = frequency;
    velocity = gain;
    oscillator.setFrequency(frequency);
    oscillator.start();
    envelope.triggerAttack();
    active = true;
}

void Voice::noteOn(float frequency, float midiVelocity)
{
    start(frequency, midiVelocity / 127.0f);
}

float Voice::process()
{
    const float level = envelope.process();
    const float sample = oscillator.isRunning() ? oscillator.generateSample() : 0.0f;
    if (!envelope.isActive() && active) {
        active = false;
        oscillator.stop();
    }
    return sample * level * velocity;
}

void Voice::reset()
{
    oscillator.stop();
    envelope.reset();
    active = false;
}
