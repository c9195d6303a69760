// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one live 512-frame block of the mixing engine for 8, 32 and 128 tracks; the
// "budget" counter is the share of the block's 11.6 ms at 44.1 kHz.
#include "engine/MultiTrackAudioEngine.h"

#include "PumpedAudioBackend.h"

#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {
constexpr int rate = 44100;
constexpr int blockFrames = 512;
// Two seconds a track: 128 tracks are 45 MB, so blocks stream from memory as in a real
// project instead of from cache.
constexpr int trackFrames = 2 * rate;
constexpr int blocksPerPass = trackFrames / blockFrames;

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void mixCallback(benchmark::State &state)
{
    qInstallMessageHandler(quiet);
    const auto trackCount = std::size_t(state.range(0));
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<std::vector<float>> buffers(trackCount, std::vector<float>(trackFrames));
    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots(trackCount);
    for (std::size_t t = 0; t < trackCount; ++t) {
        for (float &v : buffers[t])
            v = noise(random);
        trackSlots[t].samples = buffers[t].data();
        trackSlots[t].sampleCount = trackFrames;
        trackSlots[t].pan = float(t % 9) * 0.25f - 1.0f;
        trackSlots[t].startTime = double(t % 4) * 0.001;
    }

    MultiTrackAudioEngine engine(std::make_unique<PumpedAudioBackend>());
    engine.initialize(rate, blockFrames);
    engine.setTracks(trackSlots);
    std::vector<float> out(2 * blockFrames);
    int block = 0;
    for (auto _ : state) {
        if (block++ % blocksPerPass == 0) {
            state.PauseTiming();
            engine.startPlayback(0.0);
            state.ResumeTiming();
        }
        engine.audioCallback(out.data(), blockFrames);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["budget"] = benchmark::Counter(double(blockFrames) / rate,
                                                  benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK(mixCallback)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMicrosecond);
