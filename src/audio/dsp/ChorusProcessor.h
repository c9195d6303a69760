// SPDX-License-Identifier: GPL-3.0-or-later
// Three-voice chorus of the DSP class library.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct AudioBlock;

class ChorusProcessor
{
public:
    ChorusProcessor();

    void setRate(float hz);  // LFO 0.1..20 Hz
    void setDepth(float ms); // 0..20 ms
    void setMix(float value);

    // n mono samples; in and out may be the same array. The first call sizes the voice lines,
    // so call it once outside any real-time path.
    void process(const float *in, float *out, std::uint64_t n);
    // Every channel in turn with one state.
    void processBlock(AudioBlock &block);
    void reset(); // zeroes the LFO phases

private:
    struct ChorusVoice
    {
        float baseDelay = 0.0f; // samples
        float phase = 0.0f;     // LFO, 0..1
        std::vector<float> line;
        std::uint64_t writePosition = 0;
    };

    void sizeLines();
    float processSample(float x);

    float rate = 1.5f;
    float depth = 3.5f;
    float mix = 0.5f;
    float sampleRate = 44100.0f;
    std::array<ChorusVoice, 3> voices;
};
