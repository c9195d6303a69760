// SPDX-License-Identifier: GPL-3.0-or-later
// Apply of each effect through its dialog on the editor page against the offline effect's
// own run on the same three-minute stereo clip at 44.1 kHz, with the settings that
// bench/audio/offline-effects.sh gives the effects.
#include "EffectDialogDriver.h"

#include "audio/AudioProcessor.h"
#include "audio/VocalIsolator.h"
#include "editor/AudioEditorPage.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

namespace {

constexpr int rate = 44100;

// Noise under a 220 Hz tone, different in each channel.
const QList<float> &clip()
{
    static const QList<float> pairs = [] {
        const qsizetype frames = qsizetype(rate) * 180;
        std::mt19937 generator(5);
        std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
        QList<float> values(2 * frames);
        for (qsizetype i = 0; i < frames; ++i) {
            const float tone = float(0.4 * std::sin(2.0 * std::numbers::pi * 220.0 * double(i) / rate));
            values[2 * i] = tone + noise(generator);
            values[2 * i + 1] = 0.8f * tone + noise(generator);
        }
        return values;
    }();
    return pairs;
}

QList<float> channel(const QList<float> &pairs, int c)
{
    QList<float> values(pairs.size() / 2);
    for (qsizetype i = 0; i < values.size(); ++i)
        values[i] = pairs[2 * i + c];
    return values;
}

// ---------------------------------------------------------------- the offline runs

void runOffline(benchmark::State &state, const std::function<void(AudioProcessor &)> &effect)
{
    for (auto _ : state) {
        AudioProcessor processor;
        processor.samples = clip();
        processor.sampleRate = rate;
        processor.channels = 2;
        effect(processor);
        benchmark::DoNotOptimize(processor.samples.constData());
    }
}

// The one-channel effects run on each channel, split off before the clock starts.
void runOfflinePerChannel(benchmark::State &state, const std::function<void(AudioProcessor &)> &effect)
{
    const QList<float> channels[] = {channel(clip(), 0), channel(clip(), 1)};
    for (auto _ : state) {
        for (const QList<float> &values : channels) {
            AudioProcessor processor;
            processor.samples = values;
            processor.sampleRate = rate;
            processor.channels = 1;
            effect(processor);
            benchmark::DoNotOptimize(processor.samples.constData());
        }
    }
}

void BM_OfflineGain(benchmark::State &state)
{
    runOffline(state, [](AudioProcessor &p) { p.applyGain(0.5f); });
}
void BM_OfflineReverb(benchmark::State &state)
{
    runOffline(state, [](AudioProcessor &p) { p.applyReverb(0.3f, 0.5f, 0.5f, 20.0f, 0.5f); });
}
void BM_OfflineDelay(benchmark::State &state)
{
    runOffline(state, [](AudioProcessor &p) { p.applyDelay(0.4f, 250, 0.5f); });
}
void BM_OfflineWidth(benchmark::State &state)
{
    for (auto _ : state) {
        AudioProcessor processor;
        processor.stereoSamples = clip();
        processor.sampleRate = rate;
        processor.channels = 2;
        processor.applyImager(1.5f);
        benchmark::DoNotOptimize(processor.stereoSamples.constData());
    }
}
void BM_OfflineExciter(benchmark::State &state)
{
    runOfflinePerChannel(state, [](AudioProcessor &p) { p.applyExciter(0.3f); });
}
void BM_OfflineNoiseReduction(benchmark::State &state)
{
    runOfflinePerChannel(state, [](AudioProcessor &p) {
        p.analyzeNoiseProfile(0, rate);
        p.applyNoiseReduction(0.8f);
    });
}
void BM_OfflineCentreSpectral(benchmark::State &state)
{
    for (auto _ : state) {
        QList<float> mono(clip().size() / 2);
        VocalIsolator isolator;
        isolator.setIsolationStrength(1.0f, 0.02f);
        isolator.processOffline(clip().constData(), mono.data(), std::uint64_t(mono.size()), rate);
        benchmark::DoNotOptimize(mono.constData());
    }
}

// ---------------------------------------------------------------- through the dialogs

// Each run starts from the clip, loaded untimed, and times the dialog from opening to the
// step on the stack.
void runDialog(benchmark::State &state, const char *effect)
{
    static AudioEditorPage *page = [] {
        auto *created = new AudioEditorPage();
        created->resize(1200, 700);
        created->show();
        return created;
    }();
    for (auto _ : state) {
        state.PauseTiming();
        page->loadStereoAudioSamples(clip(), rate);
        state.ResumeTiming();
        if (!applyThroughDialog(*page, QString::fromLatin1(effect)))
            state.SkipWithError("the dialog did not apply");
    }
}

void BM_DialogGain(benchmark::State &state)
{
    runDialog(state, "gain");
}
void BM_DialogReverb(benchmark::State &state)
{
    runDialog(state, "reverb");
}
void BM_DialogDelay(benchmark::State &state)
{
    runDialog(state, "delay");
}
void BM_DialogWidth(benchmark::State &state)
{
    runDialog(state, "width");
}
void BM_DialogExciter(benchmark::State &state)
{
    runDialog(state, "exciter");
}
void BM_DialogNoiseReduction(benchmark::State &state)
{
    runDialog(state, "noisered");
}
void BM_DialogCentreSpectral(benchmark::State &state)
{
    runDialog(state, "centre");
}

} // namespace

#define EFFECT_BENCHMARK(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->Iterations(5)
EFFECT_BENCHMARK(BM_OfflineGain);
EFFECT_BENCHMARK(BM_DialogGain);
EFFECT_BENCHMARK(BM_OfflineReverb);
EFFECT_BENCHMARK(BM_DialogReverb);
EFFECT_BENCHMARK(BM_OfflineDelay);
EFFECT_BENCHMARK(BM_DialogDelay);
EFFECT_BENCHMARK(BM_OfflineExciter);
EFFECT_BENCHMARK(BM_DialogExciter);
EFFECT_BENCHMARK(BM_OfflineWidth);
EFFECT_BENCHMARK(BM_DialogWidth);
EFFECT_BENCHMARK(BM_OfflineNoiseReduction);
EFFECT_BENCHMARK(BM_DialogNoiseReduction);
EFFECT_BENCHMARK(BM_OfflineCentreSpectral);
EFFECT_BENCHMARK(BM_DialogCentreSpectral);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The page's refresh writes debug lines that would bury the table.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
