// SPDX-License-Identifier: GPL-3.0-or-later
// Comb and all-pass stereo reverb of the DSP class library.
#include "audio/dsp/ReverbProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <cstring>

void ReverbProcessor::initialize(int rate)
{
    sampleRate = static_cast<float>(rate);
    // A negative rate would give negative line lengths; the tunings alone stay usable.
    const int extra = std::clamp(rate / 40, 0, 768000 / 40);
    for (Channel *channel : {&left, &right}) {
        for (std::size_t c = 0; c < channel->combs.size(); ++c)
            channel->combs[c].resize(static_cast<std::size_t>(extra + COMB_TUNINGS[c]));
        for (std::size_t a = 0; a < channel->allPasses.size(); ++a)
            channel->allPasses[a].resize(static_cast<std::size_t>(extra + ALLPASS_TUNINGS[a]));
    }
    reset();
}

void ReverbProcessor::setRoomSize(float value)
{
    roomSize = clampParameter(value, 0.0f, 1.0f);
}

void ReverbProcessor::setDamping(float value)
{
    damping = clampParameter(value, 0.0f, 1.0f);
}

void ReverbProcessor::setWet(float value)
{
    wet = clampParameter(value, 0.0f, 1.0f);
}

void ReverbProcessor::setDecay(float seconds)
{
    decay = clampParameter(seconds, 0.1f, 10.0f);
}

void ReverbProcessor::reset()
{
    for (Channel *channel : {&left, &right}) {
        for (DampedComb &comb : channel->combs)
            comb.clear();
        for (AllPassDiffuser &allPass : channel->allPasses)
            allPass.clear();
    }
}

float ReverbProcessor::processSample(Channel &channel, float x)
{
    float sum = 0.0f;
    for (DampedComb &comb : channel.combs)
        sum += comb.process(x, roomSize, damping);
    float v = sum;
    for (AllPassDiffuser &allPass : channel.allPasses)
        v = allPass.process(v);
    return x * (1.0f - wet) + wet * v;
}

void ReverbProcessor::process(const float *in, float *out, std::uint64_t n)
{
    if (n == 0)
        return;
    if (!isSized()) {
        if (in != out)
            std::memmove(out, in, 2 * n * sizeof(float));
        return;
    }
    for (std::uint64_t i = 0; i < n; ++i) {
        const float inLeft = in[2 * i];
        const float inRight = in[2 * i + 1];
        out[2 * i] = processSample(left, inLeft);
        out[2 * i + 1] = processSample(right, inRight);
    }
}

void ReverbProcessor::processBlock(AudioBlock &block)
{
    if (block.channels.size() < 2 || !isSized())
        return;
    const std::size_t n = std::min(block.usableSamples(0), block.usableSamples(1));
    float *leftData = block.channels[0].samples.data();
    float *rightData = block.channels[1].samples.data();
    for (std::size_t i = 0; i < n; ++i) {
        leftData[i] = processSample(left, leftData[i]);
        rightData[i] = processSample(right, rightData[i]);
    }
}
