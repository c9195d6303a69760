// SPDX-License-Identifier: GPL-3.0-or-later
// Recording 30 s into the middle of a 10-minute clip, in 512-frame blocks at 44.1 kHz:
// splicing each block as it arrives against splicing at the page's ~100 ms view refresh.
#include "editor/RecordTake.h"

#include <benchmark/benchmark.h>

#include <QList>

namespace {
constexpr int rate = 44100;
constexpr int blockFrames = 512;

void recordInto(benchmark::State &state, bool everyBlock)
{
    const QList<float> clip(qsizetype(rate) * 600, 0.25f);
    const QList<float> block(blockFrames, 0.5f);
    const int blocks = 30 * rate / blockFrames;
    for (auto _ : state) {
        QList<float> mono = clip;
        QList<float> stereo;
        RecordTake take;
        take.begin(300 * rate);
        for (int i = 0; i < blocks; ++i) {
            take.append({block.constData(), std::size_t(blockFrames)});
            const qsizetype total = clip.size() + take.size();
            if (everyBlock || total % (rate / 10) < blockFrames)
                take.spliceInto(mono, stereo);
        }
        take.spliceInto(mono, stereo);
        benchmark::DoNotOptimize(mono.constData());
    }
}

void BM_RecordSpliceEveryBlock(benchmark::State &state)
{
    recordInto(state, true);
}

void BM_RecordSpliceAtRefresh(benchmark::State &state)
{
    recordInto(state, false);
}
} // namespace

BENCHMARK(BM_RecordSpliceEveryBlock)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RecordSpliceAtRefresh)->Unit(benchmark::kMillisecond)->Iterations(2);
