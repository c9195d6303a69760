// SPDX-License-Identifier: GPL-3.0-or-later
// Apply of each effect through its dialog on the editor page against the offline effect's
// own run on the same three-minute stereo clip at 44.1 kHz, with the settings that
// bench/audio/offline-effects.sh gives the effects. Each iteration runs both sides in turn
// and times them in the thread's CPU time, so a load elsewhere on a shared machine weighs
// on both alike; the counters give each side's mean and the dialog's overhead in percent,
// of the means and of the medians.
#include "EffectDialogDriver.h"

#include "audio/AudioProcessor.h"
#include "audio/VectorState.h"
#include "audio/VocalIsolator.h"
#include "editor/AudioEditorPage.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <numbers>
#include <numeric>
#include <random>
#include <vector>

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

double mean(const std::vector<double> &values)
{
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : 0.5 * (values[half - 1] + values[half]);
}

double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The offline effect as offline_effect_file runs it: in place on a processor that starts
// from a shared copy of the clip, so the copy its first write makes is timed, as in the
// dialog. Its results are handed back and freed untimed, as the dialog's stay on the undo
// stack until the next load.
using Offline = std::function<void(AudioProcessor &)>;
using Results = std::vector<QList<float>>;

// The one-channel effects run on each channel, split off beforehand.
Results eachChannel(const Offline &effect)
{
    static const QList<float> channels[] = {channel(clip(), 0), channel(clip(), 1)};
    Results results;
    for (const QList<float> &values : channels) {
        AudioProcessor processor;
        processor.samples = values;
        processor.sampleRate = rate;
        processor.channels = 1;
        effect(processor);
        results.push_back(std::move(processor.samples));
    }
    return results;
}

std::function<Results()> offlineRun(const char *effect)
{
    const QString name = QString::fromLatin1(effect);
    const auto onPairs = [](Offline run) {
        return [run] {
            AudioProcessor processor;
            processor.sampleRate = rate;
            processor.samples = clip();
            processor.channels = 2;
            run(processor);
            return Results{std::move(processor.samples)};
        };
    };
    if (name == QLatin1String("gain"))
        return onPairs([](AudioProcessor &p) { p.applyGain(0.5f); });
    if (name == QLatin1String("reverb"))
        return onPairs([](AudioProcessor &p) { p.applyReverb(0.3f, 0.5f, 0.5f, 20.0f, 0.5f); });
    if (name == QLatin1String("delay"))
        return onPairs([](AudioProcessor &p) { p.applyDelay(0.4f, 250, 0.5f); });
    if (name == QLatin1String("compress"))  // the dialog's defaults: no make-up gain
        return onPairs([](AudioProcessor &p) { p.applyCompression(-20.0f, 4.0f, 10.0f, 100.0f, 0.0f, 6.0f); });
    if (name == QLatin1String("eq5"))
        return onPairs([](AudioProcessor &p) {
            const float frequencies[] = {100.0f, 500.0f, 2000.0f, 5000.0f, 10000.0f};
            const float gains[] = {3.0f, -3.0f, 4.0f, 2.0f, -2.0f};
            const float qs[] = {0.7f, 1.0f, 1.2f, 0.8f, 0.7f};
            const int types[] = {0, 0, 0, 0, 0};
            const bool enabled[] = {true, true, true, true, true};
            p.applyParametricEQ(frequencies, gains, qs, types, enabled, 5);
        });
    if (name == QLatin1String("exciter"))
        return [] { return eachChannel([](AudioProcessor &p) { p.applyExciter(0.3f); }); };
    if (name == QLatin1String("noisered"))
        return [] {
            return eachChannel([](AudioProcessor &p) {
                p.analyzeNoiseProfile(0, rate);
                p.applyNoiseReduction(0.8f);
            });
        };
    if (name == QLatin1String("width"))
        return [] {
            AudioProcessor processor;
            processor.stereoSamples = clip();
            processor.sampleRate = rate;
            processor.channels = 2;
            processor.applyImager(1.5f);
            return Results{std::move(processor.stereoSamples), std::move(processor.samples)};
        };
    return [] {
        QList<float> mono(clip().size() / 2);
        VocalIsolator isolator;
        isolator.setIsolationStrength(1.0f, 0.02f);
        isolator.processOffline(clip().constData(), mono.data(), std::uint64_t(mono.size()), rate);
        return Results{std::move(mono)};
    };
}

AudioEditorPage &page()
{
    static AudioEditorPage *editor = [] {
        auto *created = new AudioEditorPage();
        created->resize(1200, 700);
        created->show();
        return created;
    }();
    return *editor;
}

void BM_ApplyThroughDialog(benchmark::State &state, const char *effect)
{
    clip();  // made once, untimed
    const std::function<Results()> offline = offlineRun(effect);
    std::vector<double> offlineMs;
    std::vector<double> dialogMs;
    for (auto _ : state) {
        // Started as offline_effect_file starts, with no vector state left by the widgets.
        clearUpperVectorState();
        double start = cpuMs();
        Results results = offline();
        offlineMs.push_back(cpuMs() - start);
        benchmark::DoNotOptimize(results.data());
        results.clear();

        // The load, which also frees the last run's undo step, is not part of the apply.
        page().loadStereoAudioSamples(clip(), rate);
        start = cpuMs();
        const bool applied = applyThroughDialog(page(), QString::fromLatin1(effect));
        const double elapsed = cpuMs() - start;
        dialogMs.push_back(elapsed);
        state.SetIterationTime(elapsed / 1e3);
        if (!applied)
            state.SkipWithError("the dialog did not apply");
    }
    const double offlineMean = mean(offlineMs);
    const double dialogMean = mean(dialogMs);
    state.counters["offline_ms"] = offlineMean;
    state.counters["dialog_ms"] = dialogMean;
    state.counters["overhead_pct"] = 100.0 * (dialogMean / offlineMean - 1.0);
    // A page fault that stalls on the machine's memory can add a hundred milliseconds to one
    // run of either side; the medians show the typical run without it.
    state.counters["overhead_median_pct"] = 100.0 * (median(dialogMs) / median(offlineMs) - 1.0);
}

// What every apply pays after its effect, whatever the effect: the refresh of the page's views.
void BM_PageRefresh(benchmark::State &state)
{
    page().loadStereoAudioSamples(clip(), rate);
    for (auto _ : state) {
        const double start = cpuMs();
        // What the page does on every change of its document.
        emit page().document().changed({0, page().document().samples().size()});
        state.SetIterationTime((cpuMs() - start) / 1e3);
    }
}

} // namespace

BENCHMARK(BM_PageRefresh)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);
#define EFFECT_BENCHMARK(effect)                                                                                      \
    BENCHMARK_CAPTURE(BM_ApplyThroughDialog, effect, #effect)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7)
EFFECT_BENCHMARK(gain);
EFFECT_BENCHMARK(reverb);
EFFECT_BENCHMARK(delay);
EFFECT_BENCHMARK(exciter);
EFFECT_BENCHMARK(width);
EFFECT_BENCHMARK(noisered);
EFFECT_BENCHMARK(centre);
EFFECT_BENCHMARK(compress);
EFFECT_BENCHMARK(eq5);

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
