// SPDX-License-Identifier: GPL-3.0-or-later
// Ping-pong stereo delay of the DSP class library.
#pragma once

#include "audio/dsp/DelayLine.h"

#include <cstdint>

struct AudioBlock;

class DelayProcessor
{
public:
    // 0..768000 Hz, so a line never outgrows memory; takes effect on the line length only
    // at the next setDelayTime that changes it.
    void setSampleRate(float rate);
    void setDelayTime(float seconds); // 0..5 s; sizes both lines to twice the delay
    void setFeedback(float value);    // 0..0.95, crossing sides
    void setMix(float value);         // 0..1
    void reset();

    // n interleaved stereo frames; in and out may be the same array.
    void process(const float *in, float *out, std::uint64_t n);
    // Channels 0 and 1 in place; needs both and a sized line.
    void processBlock(AudioBlock &block);

private:
    // Reads the input after the output is stored, so in place the lines take the mixed output.
    void step(const float *inLeft, const float *inRight, float *outLeft, float *outRight,
              std::uint64_t delaySamples);
    std::uint64_t delaySamples() const;

    float delayTime = 0.5f;
    float feedback = 0.3f;
    float mix = 0.5f;
    float sampleRate = 44100.0f;
    DelayLine leftLine;
    DelayLine rightLine;
};
