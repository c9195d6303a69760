// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform view on a one-hour stereo 44.1 kHz clip in a 1920x400 view: summary build on a
// data change, repaint after every zoom step and scroll position, and anchored wheel zooms.
#include "editor/WaveformWidget.h"
#include "audio/PeakSummary.h"

#include "../OffscreenApplication.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr qsizetype frames = qsizetype(3600) * rate;
constexpr int viewWidth = 1920;
constexpr int viewHeight = 400;

// Noise with a decaying tone and sparse single-sample clicks, generated without libm per sample.
struct Clip
{
    QList<float> mono;
    QList<float> stereo;

    Clip()
    {
        mono.resize(frames);
        stereo.resize(2 * frames);
        std::uint32_t state = 12345;
        for (qsizetype i = 0; i < frames; ++i) {
            state = state * 1664525u + 1013904223u;
            const float noise = float(int32_t(state)) * (0.3f / 2147483648.0f);
            const float click = (state >> 8) % 500000 == 0 ? 0.99f : 0.0f;
            const float left = noise + click;
            const float right = -0.5f * noise - click;
            stereo[2 * i] = left;
            stereo[2 * i + 1] = right;
            mono[i] = 0.5f * (left + right);
        }
    }
};

Clip &clip()
{
    static Clip c;
    return c;
}

WaveformWidget &loadedWidget()
{
    offscreenApplication();
    static WaveformWidget *widget = [] {
        auto *w = new WaveformWidget;
        w->resize(viewWidth, viewHeight);
        w->show();
        QApplication::processEvents();
        w->setAudioData(clip().mono, rate, clip().stereo);
        return w;
    }();
    return *widget;
}

void reportTimes(benchmark::State &state, std::vector<double> &ms)
{
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[ms.size() * 95 / 100];
    state.counters["worst_ms"] = ms.back();
}

// One channel's summary, as built for each lane after every edit.
void BM_SummaryBuildOneChannel(benchmark::State &state)
{
    const QList<float> &samples = clip().mono;
    PeakSummary summary;
    for (auto _ : state) {
        summary.update({samples.constData(), std::size_t(samples.size())});
        benchmark::DoNotOptimize(summary.size());
    }
    state.SetBytesProcessed(state.iterations() * frames * qsizetype(sizeof(float)));
}
BENCHMARK(BM_SummaryBuildOneChannel)->Unit(benchmark::kMillisecond)->Iterations(5);

// Everything a data change costs: the summaries of both channels and one column pass. The
// view is emptied first, or it would keep the summaries it already has for these lists.
void BM_SetAudioData(benchmark::State &state)
{
    WaveformWidget &widget = loadedWidget();
    for (auto _ : state) {
        state.PauseTiming();
        widget.clearAudioData();
        state.ResumeTiming();
        widget.setAudioData(clip().mono, rate, clip().stereo);
    }
}
BENCHMARK(BM_SetAudioData)->Unit(benchmark::kMillisecond)->Iterations(3);

// Zoom steps of 1.15 from 1 to 512, each at five scroll positions: the column rebuild of
// the scroll plus a full paint of the widget, as one scroll step costs the user.
void BM_ScrollRepaintAtEveryZoom(benchmark::State &state)
{
    WaveformWidget &widget = loadedWidget();
    QImage target(viewWidth, viewHeight, QImage::Format_RGB32);
    std::vector<double> ms;
    for (auto _ : state) {
        for (double zoom = 1.0; zoom <= 512.0 * 1.15; zoom *= 1.15) {
            widget.setZoomLevel(zoom);
            const double span = double(frames) / rate / widget.getZoomLevel();
            for (double fraction : {0.0, 0.25, 0.5, 0.77, 1.0}) {
                QElapsedTimer timer;
                timer.start();
                widget.setViewStartSec(fraction * (double(frames) / rate - span));
                widget.render(&target);
                ms.push_back(timer.nsecsElapsed() / 1.0e6);
            }
        }
    }
    reportTimes(state, ms);
}
BENCHMARK(BM_ScrollRepaintAtEveryZoom)->Unit(benchmark::kMillisecond)->Iterations(2);

// Paint alone, from the column cache, at zoom 1 and the deepest zoom.
void BM_RepaintOnly(benchmark::State &state)
{
    WaveformWidget &widget = loadedWidget();
    widget.setZoomLevel(double(state.range(0)));
    widget.setViewStartSec(1234.5);
    QImage target(viewWidth, viewHeight, QImage::Format_RGB32);
    for (auto _ : state)
        widget.render(&target);
}
BENCHMARK(BM_RepaintOnly)->Arg(1)->Arg(512)->Unit(benchmark::kMillisecond);

// 100 Ctrl+wheel zooms anchored under the pointer (50 in, 50 out), each followed by a paint.
void BM_HundredAnchoredWheelZooms(benchmark::State &state)
{
    WaveformWidget &widget = loadedWidget();
    QImage target(viewWidth, viewHeight, QImage::Format_RGB32);
    std::vector<double> ms;
    for (auto _ : state) {
        widget.setZoomLevel(1.0);
        for (int i = 0; i < 100; ++i) {
            const QPointF at(700.0 + i, 200.0);
            QWheelEvent event(at, at, {}, {0, i < 50 ? 120 : -120}, Qt::NoButton, Qt::ControlModifier,
                              Qt::NoScrollPhase, false);
            QElapsedTimer timer;
            timer.start();
            QApplication::sendEvent(&widget, &event);
            widget.render(&target);
            ms.push_back(timer.nsecsElapsed() / 1.0e6);
        }
    }
    reportTimes(state, ms);
}
BENCHMARK(BM_HundredAnchoredWheelZooms)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
