// SPDX-License-Identifier: GPL-3.0-or-later
// Ping-pong stereo delay of the DSP class library.
#include "audio/dsp/DelayProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr float maxSampleRate = 768000.0f;
}

void DelayProcessor::setSampleRate(float rate)
{
    sampleRate = clampParameter(rate, 0.0f, maxSampleRate);
}

void DelayProcessor::setDelayTime(float seconds)
{
    delayTime = clampParameter(seconds, 0.0f, 5.0f);
    const auto length = static_cast<std::size_t>(std::trunc(2.0f * delayTime * sampleRate));
    leftLine.resize(length);
    rightLine.resize(length);
}

void DelayProcessor::setFeedback(float value)
{
    feedback = clampParameter(value, 0.0f, 0.95f);
}

void DelayProcessor::setMix(float value)
{
    mix = clampParameter(value, 0.0f, 1.0f);
}

void DelayProcessor::reset()
{
    leftLine.clear();
    rightLine.clear();
}

std::uint64_t DelayProcessor::delaySamples() const
{
    // A rate raised after the line was sized would ask for a tap beyond the line.
    const auto wanted = static_cast<std::uint64_t>(std::trunc(delayTime * sampleRate));
    return std::min<std::uint64_t>(wanted, leftLine.size());
}

void DelayProcessor::step(const float *inLeft, const float *inRight, float *outLeft,
                          float *outRight, std::uint64_t delay)
{
    const float delayedLeft = leftLine.tap(delay);
    const float delayedRight = rightLine.tap(delay);
    *outLeft = *inLeft * (1.0f - mix) + mix * delayedLeft;
    *outRight = *inRight * (1.0f - mix) + mix * delayedRight;
    leftLine.push(delayedRight * feedback + *inLeft);
    rightLine.push(delayedLeft * feedback + *inRight);
}

void DelayProcessor::process(const float *in, float *out, std::uint64_t n)
{
    if (n == 0)
        return;
    if (leftLine.size() == 0) {
        if (in != out)
            std::memmove(out, in, 2 * n * sizeof(float));
        return;
    }
    const std::uint64_t delay = delaySamples();
    for (std::uint64_t i = 0; i < n; ++i)
        step(in + 2 * i, in + 2 * i + 1, out + 2 * i, out + 2 * i + 1, delay);
}

void DelayProcessor::processBlock(AudioBlock &block)
{
    if (block.channels.size() < 2 || leftLine.size() == 0)
        return;
    const std::size_t n = std::min(block.usableSamples(0), block.usableSamples(1));
    float *left = block.channels[0].samples.data();
    float *right = block.channels[1].samples.data();
    const std::uint64_t delay = delaySamples();
    for (std::size_t i = 0; i < n; ++i)
        step(left + i, right + i, left + i, right + i, delay);
}
