// SPDX-License-Identifier: GPL-3.0-or-later
// Three-voice chorus of the DSP class library.
#include "audio/dsp/ChorusProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
// Voices 7, 11 and 15 ms behind the input, their LFOs a third of a cycle apart, so the
// three copies never line up.
constexpr std::array<float, 3> baseDelayMs{7.0f, 11.0f, 15.0f};
constexpr float maxDepthMs = 20.0f;
}

ChorusProcessor::ChorusProcessor()
{
    for (std::size_t k = 0; k < voices.size(); ++k) {
        voices[k].baseDelay = baseDelayMs[k] * sampleRate / 1000.0f;
        voices[k].phase = static_cast<float>(k) / 3.0f;
    }
}

void ChorusProcessor::setRate(float hz)
{
    rate = clampParameter(hz, 0.1f, 20.0f);
}

void ChorusProcessor::setDepth(float ms)
{
    depth = clampParameter(ms, 0.0f, maxDepthMs);
}

void ChorusProcessor::setMix(float value)
{
    mix = clampParameter(value, 0.0f, 1.0f);
}

void ChorusProcessor::reset()
{
    for (ChorusVoice &voice : voices)
        voice.phase = 0.0f;
}

void ChorusProcessor::sizeLines()
{
    // Room for the base delay plus the deepest swing, so the tap never needs clamping in use.
    for (ChorusVoice &voice : voices) {
        const auto length = static_cast<std::size_t>(voice.baseDelay + maxDepthMs * sampleRate / 1000.0f) + 2;
        voice.line.assign(length, 0.0f);
        voice.writePosition = 0;
    }
}

float ChorusProcessor::processSample(float x)
{
    const float step = rate / sampleRate;
    float taps = 0.0f;
    for (ChorusVoice &voice : voices) {
        const float lfo = std::sin(2.0f * std::numbers::pi_v<float> * voice.phase);
        voice.phase += step;
        if (voice.phase > 1.0f)
            voice.phase -= 1.0f;
        const auto length = static_cast<std::uint64_t>(voice.line.size());
        const float delay = std::min(lfo * depth * sampleRate / 1000.0f + voice.baseDelay,
                                     static_cast<float>(length - 1));
        const std::uint64_t d = delay > 1.0f ? static_cast<std::uint64_t>(delay) : 1;
        taps += voice.line[(length + voice.writePosition - d) % length];
        // The tap is read before the input is written, so a delay of 1 is the previous sample.
        voice.line[voice.writePosition] = x;
        voice.writePosition = (voice.writePosition + 1) % length;
    }
    return x * (1.0f - mix) + mix * taps / 3.0f;
}

void ChorusProcessor::process(const float *in, float *out, std::uint64_t n)
{
    if (n == 0)
        return;
    if (voices[0].line.empty())
        sizeLines();
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = processSample(in[i]);
}

void ChorusProcessor::processBlock(AudioBlock &block)
{
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
        float *data = block.channels[c].samples.data();
        process(data, data, block.usableSamples(c));
    }
}
