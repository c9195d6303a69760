// SPDX-License-Identifier: GPL-3.0-or-later
// Picture decoding on files made by compare-ffmpeg.sh (paths in ZENTRIQ_BENCH_VIDEO_360P and
// ZENTRIQ_BENCH_VIDEO_1080P): a picture at a time, the first picture near the target after
// a play request, and the CPU a paused decode thread takes.
#include "video/VideoDecodeThread.h"
#include "video/VideoDemuxer.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QThread>

#include <sys/resource.h>

#include <chrono>
#include <cmath>

namespace {

QString input(const char *variable)
{
    return qEnvironmentVariable(variable);
}

bool openInput(benchmark::State &state, VideoDemuxer &demuxer, const char *variable)
{
    const QString path = input(variable);
    if (path.isEmpty() || !demuxer.open(path)) {
        state.SkipWithError("set the input variables (bench/video/compare-ffmpeg.sh does)");
        return false;
    }
    return true;
}

const char *variableFor(int height)
{
    return height == 1080 ? "ZENTRIQ_BENCH_VIDEO_1080P" : "ZENTRIQ_BENCH_VIDEO_360P";
}

void BM_DecodeFrameAt(benchmark::State &state)
{
    VideoDemuxer demuxer;
    if (!openInput(state, demuxer, variableFor(int(state.range(0)))))
        return;
    const double duration = demuxer.getDuration();
    double seconds = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(demuxer.decodeFrameAt(seconds));
        seconds = std::fmod(seconds + 3.7, duration - 1.0);
    }
}
BENCHMARK(BM_DecodeFrameAt)->Arg(360)->Arg(1080)->Unit(benchmark::kMillisecond);

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What syncPlay does at a target the thread has never been near: the time until the
// published picture lies within 40 ms of it.
void BM_PictureAfterPlay(benchmark::State &state)
{
    VideoDemuxer demuxer;
    if (!openInput(state, demuxer, variableFor(int(state.range(0)))))
        return;
    VideoDecodeThread thread(&demuxer);
    thread.startDecoding();
    const double duration = demuxer.getDuration();
    double target = 1.3;
    double worstMs = 0.0;
    for (auto _ : state) {
        thread.setPaused(true);
        target = std::fmod(target + 17.3, duration - 2.0);
        const auto start = std::chrono::steady_clock::now();
        thread.updatePlaybackTime(target);
        thread.requestSeek(target);
        thread.setPaused(false);
        while (std::abs(thread.takeLatestPts() - target) > 0.04)
            QThread::usleep(200);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        worstMs = std::max(worstMs, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_PictureAfterPlay)->Arg(360)->Arg(1080)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// After an import the preview's thread waits paused: its CPU over 10 s.
void BM_PausedThreadCpu(benchmark::State &state)
{
    VideoDemuxer demuxer;
    if (!openInput(state, demuxer, variableFor(360)))
        return;
    for (auto _ : state) {
        VideoDecodeThread thread(&demuxer);
        thread.startDecoding();
        const double before = cpuSeconds();
        QThread::sleep(10);
        state.counters["cpu_s_in_10s"] = cpuSeconds() - before;
    }
}
BENCHMARK(BM_PausedThreadCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
