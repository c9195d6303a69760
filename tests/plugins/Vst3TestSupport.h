// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the VST3 tests: Debian's zam-plugins, their states, sines and levels.
#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <utility>
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

// The state a DPF plug-in (every zam plug-in) writes: a program, then NUL-separated
// key/value pairs, then DPF's end byte 0xFE.
inline std::string dpfState(const std::vector<std::pair<std::string, std::string>> &values)
{
    std::string state = std::string("__dpf_program__") + '\0' + "0" + '\0' + "__dpf_parameters_begin__" + '\0';
    for (const auto &[key, value] : values)
        state += key + '\0' + value + '\0';
    return state + "__dpf_parameters_end__" + '\0' + '\xfe' + '\0';
}

// ZamDelay's state with its delay time (ms) set to `time`.
inline std::string zamDelayState(const std::string &time)
{
    return dpfState({{"inv", "0"}, {"time", time}, {"sync", "0"}, {"lpf", "6000"},
                     {"div", "3"}, {"gain", "0"}, {"drywet", "0.5"}, {"feedb", "0"}});
}
