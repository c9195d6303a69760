// SPDX-License-Identifier: GPL-3.0-or-later
// Offline pitch shift of a minute of mono audio, centre extraction of ten minutes of stereo
// and a minute stretched to two.
#include "audio/VocalIsolator.h"
#include "audio/dsp/PitchShiftProcessor.h"
#include "audio/dsp/TimeStretchProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int rate = 44100;

std::vector<float> music(std::size_t samples, int channels)
{
    // A few partials and some noise, so the spectrum has peaks and floor both.
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    std::vector<float> data(samples * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        const float v = static_cast<float>(0.3 * std::sin(2 * M_PI * 220 * t) + 0.2 * std::sin(2 * M_PI * 331 * t)
                                           + 0.1 * std::sin(2 * M_PI * 1250 * t));
        for (int c = 0; c < channels; ++c)
            data[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = v + noise(random);
    }
    return data;
}

void BM_PitchShiftMinute(benchmark::State &state)
{
    const std::vector<float> in = music(60 * rate, 1);
    std::vector<float> out(in.size());
    PitchShiftProcessor shifter;
    shifter.setSampleRate(rate);
    shifter.setPitch(static_cast<float>(state.range(0)));
    for (auto _ : state) {
        shifter.processOffline(in.data(), out.data(), in.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_x"] = benchmark::Counter(60.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PitchShiftMinute)->Arg(3)->Arg(-7)->Unit(benchmark::kMillisecond);

void BM_IsolateTenMinutes(benchmark::State &state)
{
    const std::size_t frames = 600 * rate;
    const std::vector<float> in = music(frames, 2);
    std::vector<float> out(frames);
    for (auto _ : state) {
        VocalIsolator isolator;
        isolator.setIsolationStrength(0.8f, 0.02f);
        isolator.processOffline(in.data(), out.data(), frames, rate);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_x"] = benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_IsolateTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_StretchMinuteToTwo(benchmark::State &state)
{
    const std::vector<float> in = music(60 * rate, 1);
    std::vector<float> out(2 * in.size());
    TimeStretchProcessor stretcher;
    stretcher.setStretchRatio(2.0f);
    for (auto _ : state) {
        stretcher.processOffline(in.data(), out.data(), in.size(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_StretchMinuteToTwo)->Unit(benchmark::kMillisecond);

} // namespace
