// SPDX-License-Identifier: GPL-3.0-or-later
// One 60-minute track through the clip renderer, at the project rate and resampled, with
// fades; the "realtime" counter is how many times faster than playing it.
#include "document/TrackRendering.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int projectRate = 44100;
constexpr double minutes = 60.0;

void renderHour(benchmark::State &state)
{
    const int sourceRate = int(state.range(0));
    TrackData track;
    AudioClip clip;
    clip.sampleRate = sourceRate;
    clip.samples.resize(qsizetype(minutes * 60 * sourceRate));
    for (qsizetype i = 0; i < clip.samples.size(); ++i)
        clip.samples[i] = float(0.5 * std::sin(0.01 * double(i)));
    clip.fadeIn = 5.0;
    clip.fadeOut = 10.0;
    clip.fadeOutCurve = FadeCurve::Logarithmic;
    track.audioClips.push_back(clip);

    for (auto _ : state) {
        QList<float> out = renderAudioClips(track, projectRate);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime"] = benchmark::Counter(minutes * 60 * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(renderHour)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace
