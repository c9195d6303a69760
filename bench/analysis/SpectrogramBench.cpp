// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: the whole-clip STFT of 10 minutes (and the longest GUI-thread stall while it
// runs), a 1-second erase on a 10-minute clip from release to repaint, and repaints of an
// 800x300 view of a one-hour stereo clip with the memory its columns and pictures take.
#include "../ProcessMemory.h"
#include "analysis/SpectrumAnalyzerWidget.h"
#include "../OffscreenApplication.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cmath>

struct SpectrumAnalyzerWidgetProbe
{
    static bool ready(const SpectrumAnalyzerWidget &view) { return view.spectrumReady; }
    static std::size_t columnBytes(const SpectrumAnalyzerWidget &view)
    {
        std::size_t bytes = 0;
        for (const SpectrogramColumns &channel : view.columns)
            bytes += channel.bytes();
        return bytes;
    }
    static std::size_t pictureBytes(const SpectrumAnalyzerWidget &view)
    {
        return std::size_t(view.pictures[0].sizeInBytes() + view.pictures[1].sizeInBytes());
    }
    static int pool(const SpectrumAnalyzerWidget &view) { return view.columns.empty() ? 0 : view.columns[0].pool(); }
};

namespace {

constexpr int rate = 44100;

QList<float> clip(qsizetype frames, int channels)
{
    QList<float> values(frames * channels);
    for (qsizetype i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            values[i * channels + c] = float(0.3 * std::sin(2.0 * M_PI * (1000.0 + 500.0 * c) * double(i) / rate)
                                             + 0.1 * std::sin(2.0 * M_PI * 6000.0 * double(i) / rate));
    return values;
}

const QList<float> &tenMinutes()
{
    static const QList<float> values = clip(qsizetype(600) * rate, 1);
    return values;
}

// Longest time the GUI thread spent in one pass of its event loop until the STFT arrived.
double waitReady(SpectrumAnalyzerWidget &view)
{
    double longestMs = 0.0;
    QElapsedTimer pass;
    while (!SpectrumAnalyzerWidgetProbe::ready(view)) {
        pass.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        longestMs = std::max(longestMs, pass.nsecsElapsed() / 1e6);
        QThread::usleep(200);
    }
    return longestMs;
}

void wholeClipStft(benchmark::State &state)
{
    const QList<float> &samples = tenMinutes();
    for (auto _ : state) {
        const std::vector<SpectrogramColumns> columns =
            computeSpectrogram({{samples.constData(), samples.size(), 1}}, std::size_t(-1) / 2, int(state.range(0)));
        benchmark::DoNotOptimize(columns.data());
        state.counters["columns"] = double(columns[0].count());
    }
}
BENCHMARK(wholeClipStft)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// The view shown, 10 minutes handed in: time until the picture is there, and the longest stall.
void stftInTheView(benchmark::State &state)
{
    offscreenApplication();
    const QList<float> &samples = tenMinutes();
    {
        // Fonts and the window system load on the first paint, not on the STFT's account.
        SpectrumAnalyzerWidget warmUp;
        warmUp.resize(800, 300);
        warmUp.show();
        warmUp.setAudioData(clip(rate, 1), rate);
        waitReady(warmUp);
        warmUp.repaint();
    }
    double longest = 0.0;
    for (auto _ : state) {
        SpectrumAnalyzerWidget view;
        view.resize(800, 300);
        view.show();
        QElapsedTimer handOver;
        handOver.start();
        view.setAudioData(samples, rate);
        longest = std::max(longest, handOver.nsecsElapsed() / 1e6);
        longest = std::max(longest, waitReady(view));
        view.repaint();
    }
    state.counters["longest_gui_stall_ms"] = longest;
}
BENCHMARK(stftInTheView)->Unit(benchmark::kMillisecond)->Iterations(5);

// A stroke whose box spans one second, at a zoom where a second is 100 pixels wide.
void eraseOneSecond(benchmark::State &state)
{
    offscreenApplication();
    SpectrumAnalyzerWidget view;
    view.resize(800, 300);
    view.show();
    view.setAudioData(tenMinutes(), rate);
    waitReady(view);
    view.setZoomLevel(600.0 / 7.4);
    view.setViewStartSec(300.0);
    view.setToolMode(SpectrumAnalyzerWidget::Erase);
    view.repaint();
    // The box adds 8 hops on each side of the stroke.
    const int strokePixels = int(std::lround((1.0 - 16.0 * 512 / rate) * 100.0));
    for (auto _ : state) {
        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(200, 60));
        QTest::mouseMove(&view, QPoint(200 + strokePixels, 60));
        QElapsedTimer clock;
        clock.start();
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(200 + strokePixels, 60));
        view.repaint();
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
    }
}
// Each stroke copies the list once (the page keeps the old one for undo); the first copy in a
// process also pays for the kernel gathering huge pages.
BENCHMARK(eraseOneSecond)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

struct OneHour
{
    OneHour()
    {
        offscreenApplication();
        stereo = clip(qsizetype(3600) * rate, 2);
        mono.resize(stereo.size() / 2);
        for (qsizetype i = 0; i < mono.size(); ++i)
            mono[i] = (stereo[2 * i] + stereo[2 * i + 1]) * 0.5f;
        view = new SpectrumAnalyzerWidget;
        view->resize(800, 300);
        view->show();
        const double before = processMemoryMiB("VmRSS");
        view->setAudioData(mono, rate, stereo);
        waitReady(*view);
        view->repaint();
        residentGrowthMb = processMemoryMiB("VmRSS") - before;
    }
    QList<float> mono, stereo;
    SpectrumAnalyzerWidget *view = nullptr;
    double residentGrowthMb = 0.0;
};

OneHour &oneHour()
{
    static OneHour *fixture = new OneHour;
    return *fixture;
}

void addMemoryCounters(benchmark::State &state, const OneHour &hour)
{
    state.counters["column_MB"] = double(SpectrumAnalyzerWidgetProbe::columnBytes(*hour.view)) / (1 << 20);
    state.counters["picture_MB"] = double(SpectrumAnalyzerWidgetProbe::pictureBytes(*hour.view)) / (1 << 20);
    state.counters["rss_growth_MB"] = hour.residentGrowthMb;
    state.counters["hops_per_column"] = SpectrumAnalyzerWidgetProbe::pool(*hour.view);
}

// Playhead moves: the picture is cached.
void repaintOneHour(benchmark::State &state)
{
    OneHour &hour = oneHour();
    QImage target(800, 300, QImage::Format_RGB32);
    hour.view->setZoomLevel(double(state.range(0)));
    hour.view->setViewStartSec(1000.0);
    hour.view->render(&target);
    double t = 1000.0;
    for (auto _ : state) {
        hour.view->setPlayheadPosition(t += 0.05);
        hour.view->render(&target);
    }
    addMemoryCounters(state, hour);
}
BENCHMARK(repaintOneHour)->Arg(1)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond);

// Scrolling: the picture is redrawn from the columns every time.
void scrollOneHour(benchmark::State &state)
{
    OneHour &hour = oneHour();
    QImage target(800, 300, QImage::Format_RGB32);
    hour.view->setZoomLevel(double(state.range(0)));
    double start = 0.0;
    for (auto _ : state) {
        hour.view->setViewStartSec(start += 1.0);
        hour.view->render(&target);
    }
    addMemoryCounters(state, hour);
}
BENCHMARK(scrollOneHour)->Arg(1)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond);

} // namespace
