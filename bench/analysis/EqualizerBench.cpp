// SPDX-License-Identifier: GPL-3.0-or-later
// The equaliser's two hot paths: one 512-frame block of preview through the engine's real
// callback, and one repaint of the graph during a drag. "allocations" counts every heap
// allocation inside the pumped blocks; "p95_ms" is the 95th percentile of 300 drag repaints.
#include "analysis/EqualizerDialog.h"
#include "analysis/FrequencyAnalyzerWidget.h"
#include "analysis/ParametricEQWidget.h"
#include "audio/AudioProcessor.h"
#include "engine/AudioEngine.h"

#include "AllocationCounter.h"
#include "PumpedAudioBackend.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {
constexpr int rate = 48000;
constexpr int blockFrames = 512;

QList<float> noise(qsizetype count)
{
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    QList<float> values(count);
    for (float &value : values)
        value = uniform(generator);
    return values;
}

QPushButton *button(EqualizerDialog &dialog, const QString &text)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

// Five active bands, the preview on: each iteration is one engine block with the filters.
void BM_PreviewBlock(benchmark::State &state)
{
    AudioProcessor clip;
    clip.samples = noise(qsizetype(rate) * 180);
    clip.sampleRate = rate;
    clip.channels = 1;
    auto backend = std::make_unique<PumpedAudioBackend>();
    PumpedAudioBackend *device = backend.get();
    AudioEngine engine(std::move(backend));
    engine.initialize(rate, blockFrames);
    EqualizerDialog dialog(&clip, &engine);
    for (int i = 0; i < ParametricEQWidget::bandCount; ++i)
        dialog.graph()->setBandGain(i, 3.0f + float(i));
    button(dialog, QStringLiteral("试听"))->click();

    std::vector<float> output(2 * blockFrames);
    std::vector<float> input(blockFrames);
    const std::uint64_t before = AllocationCounter::count();
    double worstUs = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        {
            AllocationCounter::Scope counting;
            device->pumpInto(output, input);
        }
        worstUs = std::max(worstUs, std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(output.data());
        if (!engine.isPlaying())
            engine.startPlayback(clip.samples.constData(), int(clip.samples.size()), rate, 0);
    }
    state.counters["allocations"] = double(AllocationCounter::count() - before);
    state.counters["worst_us"] = worstUs;
    button(dialog, QStringLiteral("试听"))->click();
}
BENCHMARK(BM_PreviewBlock)->Unit(benchmark::kMicrosecond);

// 300 moves of a band across a 1600 x 900 graph whose analyser has a spectrum; each move is
// followed by a synchronous repaint, timed alone. With the argument k > 0 the analyser takes
// a new spectrum before every k-th move (moves at 120 Hz against its 33 ms ticks: k = 4), so
// those repaints also redraw the analyser's picture.
void BM_DragRepaint(benchmark::State &state)
{
    ParametricEQWidget graph;
    graph.resize(1600, 900);
    graph.setAudioData(noise(rate * 4), rate);
    for (int tick = 0; tick < 8; ++tick)
        graph.spectrumAnalyzer()->feedTick();
    graph.spectrumAnalyzer()->updateTick();
    graph.show();
    // Painting needs an exposed window.
    QElapsedTimer wait;
    wait.start();
    while (!graph.windowHandle() || !graph.windowHandle()->isExposed()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (wait.elapsed() > 5000) {
            state.SkipWithError("the graph was never exposed");
            return;
        }
    }
    graph.repaint();
    const QRect plot(QPoint(55, 20), QPoint(1600 - 11, 900 - 31));
    const auto pointOf = [&](float hz, float db) {
        return QPointF(plot.left() + plot.width() * (std::log10(hz) - std::log10(20.0)) / 3.0,
                       plot.top() + plot.height() * (1.0 - (db + 24.0) / 48.0));
    };

    std::vector<double> times;
    for (auto _ : state) {
        times.clear();
        const QPointF grab = pointOf(1000.0f, 0.0f);
        QMouseEvent press(QEvent::MouseButtonPress, grab, graph.mapToGlobal(grab), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&graph, &press);
        for (int move = 0; move < 300; ++move) {
            if (state.range(0) > 0 && move % state.range(0) == 0) {
                graph.spectrumAnalyzer()->feedTick();
                graph.spectrumAnalyzer()->updateTick();
            }
            const double t = move / 299.0;
            const QPointF at = pointOf(float(100.0 * std::pow(100.0, t)), float(18.0 * std::sin(6.0 * t)));
            QMouseEvent event(QEvent::MouseMove, at, graph.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                              Qt::NoModifier);
            QElapsedTimer clock;
            clock.start();
            QApplication::sendEvent(&graph, &event);
            graph.repaint();
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        QMouseEvent release(QEvent::MouseButtonRelease, grab, graph.mapToGlobal(grab), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(&graph, &release);
    }
    std::sort(times.begin(), times.end());
    state.counters["p95_ms"] = times[times.size() * 95 / 100];
    state.counters["median_ms"] = times[times.size() / 2];
}
BENCHMARK(BM_DragRepaint)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(3);
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
