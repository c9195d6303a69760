// SPDX-License-Identifier: GPL-3.0-or-later
// Linear ADSR envelope of the DSP class library.
#pragma once

#include <cstdint>

class Envelope
{
public:
    enum Stage : int { Idle = 0, Attack = 1, Decay = 2, Sustain = 3, Release = 4 };

    void setAttack(float seconds);  // 0.001..10
    void setDecay(float seconds);   // 0.001..10
    void setSustain(float level);   // 0..1
    void setRelease(float seconds); // 0.001..10
    void calculateRates();

    // Attack and release start from the current level.
    void triggerAttack() { stage = Attack; }
    void triggerRelease() { stage = Release; }
    bool isActive() const { return stage != Idle; }

    float process(); // one step; returns the new level
    void processBlock(float *out, std::uint64_t n);
    void reset();

private:
    float attack = 0.01f;
    float decay = 0.1f;
    float sustain = 0.7f;
    float release = 0.3f;
    int stage = Idle;
    float level = 0.0f;
    float attackRate = 1.0f / (0.01f * 44100.0f);
    float decayRate = 1.0f / (0.1f * 44100.0f);
    float releaseRate = 1.0f / (0.3f * 44100.0f);
    float sampleRate = 44100.0f;
};
