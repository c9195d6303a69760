// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the VST3 tests: Debian's zam-plugins, sines and levels.
#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

inline std::string zamPath(const std::string &name)
{
    return "/usr/lib/vst3/" + name + ".vst3";
}

inline std::vector<float> sine(double frequencyHz, float amplitude, int frames, int sampleRate = 44100)
{
    std::vector<float> samples(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i)
        samples[std::size_t(i)] = amplitude * float(std::sin(2.0 * std::numbers::pi * frequencyHz * i / sampleRate));
    return samples;
}

// RMS level in dB of the samples from `skip` on (past the plug-in's settling time).
inline double rmsDb(const std::vector<float> &samples, std::size_t skip)
{
    double sum = 0.0;
    for (std::size_t i = skip; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return 10.0 * std::log10(sum / double(samples.size() - skip) + 1e-30);
}
