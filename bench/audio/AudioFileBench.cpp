// SPDX-License-Identifier: GPL-3.0-or-later
// In-process cost of loading and saving a 10-minute stereo 44.1 kHz clip in each format we
// write. Inputs are written once into a temporary folder by our own writers.
#include "audio/AudioProcessor.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int rate = 44100;
constexpr qsizetype frames = qsizetype(rate) * 600;

void dropLog(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Inputs
{
    QTemporaryDir dir;
    QList<float> stereo;

    Inputs()
    {
        qInstallMessageHandler(dropLog);
        stereo.resize(frames * 2);
        for (qsizetype i = 0; i < frames; ++i) {
            stereo[2 * i] = 0.5f * float(std::sin(0.0628 * double(i)));
            stereo[2 * i + 1] = 0.4f * float(std::sin(0.0314 * double(i)));
        }
        AudioProcessor writer;
        writer.saveAudioFile(path("in16.wav"), stereo, rate, 2, 16);
        writer.saveAudioFile(path("in24.wav"), stereo, rate, 2, 24);
        writer.saveAudioFile(path("in.flac"), stereo, rate, 2, 16);
    }
    QString path(const char *name) const { return dir.filePath(name); }
};

Inputs &inputs()
{
    static Inputs shared;
    return shared;
}

void load(benchmark::State &state, const char *name, bool summarise = false)
{
    const QString path = inputs().path(name);
    for (auto _ : state) {
        AudioProcessor processor;
        processor.summariseWhileLoading = summarise;
        if (!processor.loadAudioFile(path))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(processor.samples.constData());
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void save(benchmark::State &state, const char *name, int bitDepth)
{
    const QString path = inputs().path(name);
    const QList<float> &stereo = inputs().stereo;
    for (auto _ : state) {
        AudioProcessor processor;
        if (!processor.saveAudioFile(path, stereo, rate, 2, bitDepth))
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void BM_LoadWav16(benchmark::State &state) { load(state, "in16.wav"); }
// As the editor's import loads: with the waveform's peak summaries built while decoding.
void BM_LoadWav16Summarised(benchmark::State &state) { load(state, "in16.wav", true); }
void BM_LoadWav24(benchmark::State &state) { load(state, "in24.wav"); }
void BM_LoadFlac(benchmark::State &state) { load(state, "in.flac"); }
void BM_SaveWav16(benchmark::State &state) { save(state, "out16.wav", 16); }
void BM_SaveWav32(benchmark::State &state) { save(state, "out32.wav", 32); }
void BM_SaveFlac(benchmark::State &state) { save(state, "out.flac", 16); }

} // namespace

BENCHMARK(BM_LoadWav16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWav16Summarised)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWav24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFlac)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveWav16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveWav32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFlac)->Unit(benchmark::kMillisecond);
