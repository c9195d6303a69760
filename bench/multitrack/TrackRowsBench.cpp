// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page with 64 tracks of 50 clips: adding and removing a track (every row
// re-bound), repainting the visible lanes and the ruler, and the memory of track undo steps;
// and 1000 empty tracks added one by one to a shown page.
#include "../ProcessMemory.h"
#include "BusyPage.h"
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TimelineRulerWidget.h"
#include "multitrack/TrackRowWidget.h"

#include "../OffscreenApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QScrollArea>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>

namespace {

// Rows of removed tracks are deleted once control is back in an event loop; the benchmark
// has none running, so it hands them over itself.
void deleteRemovedRows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() * 1e-9;
}

// Times `edit` on a page of 64 tracks, then undoes it untimed, so every iteration starts
// from the same page.
void timeTrackEdit(benchmark::State &state, const std::function<void(MultiTrackEditorPage &, const QList<float> &)> &edit)
{
    offscreenApplication();
    const QList<float> samples = noise(2 * rate);
    ProjectDocument document;
    auto page = busyPage(document, samples, trackCount, 16);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        edit(*page, samples);
        state.SetIterationTime(seconds(timer));
        page->document().undoStack->undo();
        deleteRemovedRows();
    }
}

// Appending a track: the vector may move every record, so every row is re-bound.
void BM_AddTrack(benchmark::State &state)
{
    timeTrackEdit(state, [](MultiTrackEditorPage &page, const QList<float> &samples) {
        page.addTrack(TrackType::Audio, samples, rate, QString(), {});
    });
}
BENCHMARK(BM_AddTrack)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// Removing the middle track: the rows after it are renumbered and re-bound.
void BM_RemoveTrack(benchmark::State &state)
{
    timeTrackEdit(state, [](MultiTrackEditorPage &page, const QList<float> &) { page.removeTrack(trackCount / 2); });
}
BENCHMARK(BM_RemoveTrack)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// One repaint of the lanes in view and of the ruler, at zoom 1 in a 1600 x 900 page, each
// lane drawn into one viewport-sized image where the screen would show it. The median of
// the iterations is reported as well as the mean.
void BM_RepaintVisibleLanes(benchmark::State &state)
{
    offscreenApplication();
    const QList<float> samples = noise(2 * rate);
    ProjectDocument document;
    auto page = busyPage(document, samples, trackCount, 16);
    page->applyZoom(1.0, 0);
    QWidget *viewport = page->laneScrollArea->viewport();
    std::vector<std::pair<QWidget *, QPoint>> visible;
    for (TrackRowWidget *row : page->trackRows) {
        QWidget *lane = row->lane();
        const QPoint at = lane->mapTo(viewport, QPoint(0, 0));
        if (QRect(at, lane->size()).intersects(viewport->rect()))
            visible.emplace_back(lane, at);
    }
    QImage lanes(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    QImage ruler(page->ruler->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    std::vector<double> rulerTimes;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (const auto &[lane, at] : visible)
            lane->render(&lanes, at);
        const double lanesDone = seconds(timer);
        page->ruler->render(&ruler);
        const double elapsed = seconds(timer);
        state.SetIterationTime(elapsed);
        times.push_back(elapsed);
        rulerTimes.push_back(elapsed - lanesDone);
    }
    const auto median = [](std::vector<double> &values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2] * 1e3;
    };
    state.counters["median_ms"] = median(times);
    state.counters["ruler_median_ms"] = median(rulerTimes);
    state.counters["visible_lanes"] = double(visible.size());
    state.counters["viewport_w"] = viewport->width();
}
BENCHMARK(BM_RepaintVisibleLanes)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// 1000 track removals and re-additions over clips that share one minute of samples: each
// undo step keeps a copy of its track, which must share the samples instead of copying them.
void BM_TrackUndoMemory(benchmark::State &state)
{
    offscreenApplication();
    const QList<float> samples = noise(60 * rate);
    for (auto _ : state) {
        ProjectDocument document;
        auto page = busyPage(document, samples, trackCount, 16);
        std::mt19937 random(3);
        const double before = processMemoryMiB("VmRSS");
        for (int step = 0; step < 1000; ++step) {
            const int count = int(page->document().tracks.size());
            if (step % 2 == 0) {
                page->removeTrack(std::uniform_int_distribution<int>(0, count - 1)(random));
            } else {
                page->addTrack(TrackType::Audio, samples, rate, QString(), {});
                page->document().tracks.back().audioClips.resize(clipsPerTrack, page->document().tracks.back().audioClips[0]);
            }
            if (step % 50 == 0)
                deleteRemovedRows();
        }
        deleteRemovedRows();
        state.counters["undo_steps"] = page->document().undoStack->count();
        state.counters["rss_growth_MiB"] = processMemoryMiB("VmRSS") - before;
    }
}
BENCHMARK(BM_TrackUndoMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// 1000 empty audio tracks added one by one to a shown 1600 x 900 page, as the add-track
// menu adds them, until the layouts settled: the time, and the resident memory per track.
// Run in a fresh process for the memory figure: a page freed earlier leaves pages to reuse.
void BM_AddEmptyTracks(benchmark::State &state)
{
    offscreenApplication();
    constexpr int added = 1000;
    for (auto _ : state) {
        ProjectDocument document;
        auto page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        page->resize(1600, 900);
        page->show();
        settle();
        const double before = processMemoryMiB("VmRSS");
        QElapsedTimer timer;
        timer.start();
        for (int t = 0; t < added; ++t)
            page->addTrack(TrackType::Audio, {}, rate, QString(), {});
        settle();
        state.SetIterationTime(seconds(timer));
        state.counters["KiB_per_track"] = (processMemoryMiB("VmRSS") - before) * 1024.0 / added;
        state.PauseTiming();
        page.reset();
        deleteRemovedRows();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddEmptyTracks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
