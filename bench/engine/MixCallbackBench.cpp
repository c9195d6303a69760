// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of one live 512-frame block of the mixing engine for 8, 32 and 128 tracks, and of
// the single-track engine playing and recording into a ring; the "budget" counter is the
// share of the block's 11.6 ms at 44.1 kHz, "allocations" the heap allocations made inside
// the callbacks over all blocks (a malloc hook counts them), "worst_us" the slowest block.
#include "engine/AudioEngine.h"
#include "engine/MultiTrackAudioEngine.h"
#include "engine/SampleRing.h"

#include "AllocationCounter.h"
#include "PumpedAudioBackend.h"

#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
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

// Times `block` once per iteration with allocations counted inside it; `rewind` runs
// untimed at the start of every pass through the two seconds of audio.
template<typename Rewind, typename Block>
void runBlocks(benchmark::State &state, Rewind rewind, Block block)
{
    int index = 0;
    const std::uint64_t allocationsBefore = AllocationCounter::count();
    std::chrono::steady_clock::duration worst{};
    for (auto _ : state) {
        if (index++ % blocksPerPass == 0) {
            state.PauseTiming();
            rewind();
            state.ResumeTiming();
        }
        const auto started = std::chrono::steady_clock::now();
        {
            AllocationCounter::Scope counting;
            block();
        }
        worst = std::max(worst, std::chrono::steady_clock::now() - started);
    }
    state.counters["worst_us"] = std::chrono::duration<double, std::micro>(worst).count();
    state.counters["budget"] = benchmark::Counter(double(blockFrames) / rate,
                                                  benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["allocations"] = double(AllocationCounter::count() - allocationsBefore);
}

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
    runBlocks(state, [&] { engine.startPlayback(0.0); }, [&] {
        engine.audioCallback(out.data(), blockFrames);
        benchmark::DoNotOptimize(out.data());
    });
}

// Plays a clip with the level callback the editor installs, while every captured block
// goes into the ring the editor drains.
void singleTrackCallback(benchmark::State &state)
{
    qInstallMessageHandler(quiet);
    std::vector<float> clip(static_cast<std::size_t>(trackFrames));
    std::mt19937 random(9);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (float &v : clip)
        v = noise(random);

    AudioEngine engine(std::make_unique<PumpedAudioBackend>());
    engine.initialize(rate, blockFrames);
    SampleRing ring(std::size_t(rate) * 10);
    std::vector<float> drained(ring.capacity());
    std::atomic<float> level{0.0f};
    engine.setPlaybackProcessCallback([&level](float *samples, int count) {
        float sum = 0.0f;
        for (int k = 0; k < count; ++k)
            sum += samples[k] * samples[k];
        level.store(sum, std::memory_order_relaxed);
    });
    engine.setRecordCallback([&ring](const float *input, int frames) { ring.write({input, std::size_t(frames)}); });
    engine.startRecording();
    std::vector<float> out(2 * blockFrames);
    std::vector<float> in(blockFrames, 0.25f);
    runBlocks(
        state,
        [&] {
            engine.startPlayback(clip.data(), int(clip.size()), rate, 0);
            ring.read(drained);
        },
        [&] {
            engine.audioCallback(out.data(), in.data(), blockFrames);
            benchmark::DoNotOptimize(out.data());
        });
    state.counters["dropped"] = double(ring.dropped());
}
} // namespace

BENCHMARK(mixCallback)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(singleTrackCallback)->Iterations(10000)->Unit(benchmark::kMicrosecond);
