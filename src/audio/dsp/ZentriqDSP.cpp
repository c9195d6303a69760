// SPDX-License-Identifier: GPL-3.0-or-later
// Facade of the DSP class library.
#include "audio/dsp/ZentriqDSP.h"

#include <algorithm>
#include <cstring>
#include <vector>

void ZentriqDSP::initialize(int rate, int size)
{
    sampleRate = rate;
    blockSize = size;
    filter.setFrequency(static_cast<float>(rate) * 0.5f);
    reverb.initialize(rate);
}

void ZentriqDSP::reset()
{
    filter.reset();
    delay.reset();
    reverb.reset();
}

void ZentriqDSP::process(const float *in, float *out, std::uint64_t n, int channels)
{
    if (channels <= 0 || n == 0)
        return;
    const auto stride = static_cast<std::uint64_t>(channels);
    if (bypass) {
        if (in != out)
            std::memmove(out, in, n * stride * sizeof(float));
        return;
    }
    if (channels < 2) {
        gain.process(in, out, n);
        return;
    }
    panner.process(in, out, n, channels);
    gain.process(out, out, n * stride);
    if (!reverbEnabled)
        return;
    if (channels == 2) {
        reverb.process(out, out, n);
    } else {
        // Left and right sit side by side at the head of every frame.
        for (std::uint64_t frame = 0; frame < n; ++frame)
            reverb.process(out + frame * stride, out + frame * stride, 1);
    }
}

void ZentriqDSP::processNonInterleaved(const float *const *in, float *const *out, std::uint64_t n, int channels)
{
    if (channels <= 0)
        return;
    const auto count = static_cast<std::size_t>(channels);
    if (bypass || n == 0) {
        for (std::size_t c = 0; c < count; ++c) {
            if (in[c] != out[c])
                std::memmove(out[c], in[c], n * sizeof(float));
        }
        return;
    }
    AudioBlock block;
    block.channels.resize(count);
    block.sampleRate = sampleRate;
    block.numSamples = n;
    for (std::size_t c = 0; c < count; ++c)
        block.channels[c].samples.assign(in[c], in[c] + n);

    gain.processBlock(block);
    panner.processBlock(block);
    if (filterEnabled)
        filter.processBlock(block);
    if (delayEnabled)
        delay.processBlock(block);
    if (reverbEnabled && count >= 2)
        reverb.processBlock(block);

    for (std::size_t c = 0; c < count; ++c)
        std::copy(block.channels[c].samples.begin(), block.channels[c].samples.end(), out[c]);
}

void ZentriqDSP::processBlock(const AudioBlock &in, AudioBlock &out)
{
    if (bypass || in.numSamples == 0) {
        out = in;
        return;
    }
    if (out.channels.size() != in.channels.size() || out.numSamples != in.numSamples) {
        out.channels.resize(in.channels.size());
        for (auto &channel : out.channels)
            channel.samples.resize(static_cast<std::size_t>(in.numSamples), 0.0f);
        out.numSamples = in.numSamples;
    }
    // Never read or write beyond a channel shorter than numSamples.
    std::uint64_t n = in.numSamples;
    for (std::size_t c = 0; c < in.channels.size(); ++c)
        n = std::min<std::uint64_t>(n, in.usableSamples(c));
    std::vector<const float *> inputs;
    std::vector<float *> outputs;
    for (std::size_t c = 0; c < in.channels.size(); ++c) {
        if (out.channels[c].samples.size() < n)
            out.channels[c].samples.resize(static_cast<std::size_t>(n), 0.0f);
        inputs.push_back(in.channels[c].samples.data());
        outputs.push_back(out.channels[c].samples.data());
    }
    processNonInterleaved(inputs.data(), outputs.data(), n, static_cast<int>(in.channels.size()));
}
