// SPDX-License-Identifier: GPL-3.0-or-later
// Linear ADSR envelope of the DSP class library.
#include "audio/dsp/Envelope.h"

#include "audio/dsp/DspParameter.h"

void Envelope::setAttack(float seconds)
{
    attack = clampParameter(seconds, 0.001f, 10.0f);
    calculateRates();
}

void Envelope::setDecay(float seconds)
{
    decay = clampParameter(seconds, 0.001f, 10.0f);
    calculateRates();
}

void Envelope::setSustain(float value)
{
    sustain = clampParameter(value, 0.0f, 1.0f);
}

void Envelope::setRelease(float seconds)
{
    release = clampParameter(seconds, 0.001f, 10.0f);
    calculateRates();
}

void Envelope::calculateRates()
{
    const auto rate = [this](float seconds) { return seconds > 0.0f ? 1.0f / (seconds * sampleRate) : 1.0f; };
    attackRate = rate(attack);
    decayRate = rate(decay);
    releaseRate = rate(release);
}

float Envelope::process()
{
    switch (stage) {
    case Attack:
        level += attackRate;
        if (level >= 1.0f) {
            level = 1.0f;
            stage = Decay;
        }
        break;
    case Decay:
        level -= decayRate;
        if (level <= sustain) {
            level = sustain;
            stage = Sustain;
        }
        break;
    case Sustain:
        break;
    case Release:
        level -= releaseRate;
        if (level <= 0.0f) {
            level = 0.0f;
            stage = Idle;
        }
        break;
    default:
        return 0.0f;
    }
    return level;
}

void Envelope::processBlock(float *out, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = process();
}

void Envelope::reset()
{
    stage = Idle;
    level = 0.0f;
}
