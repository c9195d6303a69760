// SPDX-License-Identifier: GPL-3.0-or-later
// Clip lanes and clip edits on a page of 64 tracks of 50 clips of 5 s: repainting the lanes
// in view at zoom 1 and at the smallest zoom, the playhead's tick during playback, a split,
// a delete and a drop each with its undo, and the memory of many edits and undo cycles.
#include "../OffscreenApplication.h"
#include "../ProcessMemory.h"
#include "BusyPage.h"
#include "multitrack/ClipLaneWidget.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackRowWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollArea>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <malloc.h>
#include <functional>
#include <memory>
#include <random>

namespace {

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() * 1e-9;
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2] * 1e3;
}

// The lanes in view with their place in the viewport.
std::vector<std::pair<QWidget *, QPoint>> visibleLanes(const MultiTrackEditorPage &page)
{
    QWidget *viewport = page.laneScrollArea->viewport();
    std::vector<std::pair<QWidget *, QPoint>> visible;
    for (TrackRowWidget *row : page.trackRows) {
        QWidget *lane = row->lane();
        const QPoint at = lane->mapTo(viewport, QPoint(0, 0));
        if (QRect(at, lane->size()).intersects(viewport->rect()))
            visible.emplace_back(lane, at);
    }
    return visible;
}

// A full repaint of the lanes in view, each drawn into one viewport-sized image; argument 0
// at zoom 1, 1 at the smallest zoom the page allows (the whole project in view).
void BM_RepaintLanes(benchmark::State &state)
{
    offscreenApplication();
    ProjectDocument document;
    auto page = busyPage(document, noise(5 * rate));
    page->applyZoom(state.range(0) == 0 ? 1.0 : MultiTrackEditorPage::minZoom, 0);
    settle();
    const auto visible = visibleLanes(*page);
    QImage image(page->laneScrollArea->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        for (const auto &[lane, at] : visible)
            lane->render(&image, at);
        times.push_back(seconds(timer));
        state.SetIterationTime(times.back());
    }
    state.counters["median_ms"] = median(times);
    state.counters["zoom"] = page->zoom;
    state.counters["visible_lanes"] = double(visible.size());
}
BENCHMARK(BM_RepaintLanes)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One 50 ms playback tick: every lane's playhead moves and the page's window repaints what
// that made dirty, as the event loop does on screen.
void BM_PlayheadTick(benchmark::State &state)
{
    offscreenApplication();
    ProjectDocument document;
    auto page = busyPage(document, noise(5 * rate));
    page->applyZoom(1.0, 0);
    settle();
    double playhead = 1.0;
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        playhead += 0.05;
        for (TrackRowWidget *row : page->trackRows)
            row->lane()->setPlayheadPosition(playhead);
        QApplication::processEvents();
        times.push_back(seconds(timer));
        state.SetIterationTime(times.back());
    }
    state.counters["median_ms"] = median(times);
}
BENCHMARK(BM_PlayheadTick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);

// An edit with its undo on the busy page, timed together.
void timeEditAndUndo(benchmark::State &state, const std::function<void(MultiTrackEditorPage &)> &edit)
{
    offscreenApplication();
    ProjectDocument document;
    auto page = busyPage(document, noise(5 * rate));
    std::vector<double> times;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        edit(*page);
        page->stepHistory(false);
        times.push_back(seconds(timer));
        state.SetIterationTime(times.back());
    }
    state.counters["median_ms"] = median(times);
    state.counters["steps"] = page->document().undoStack->count();
}

void BM_SplitAndUndo(benchmark::State &state)
{
    timeEditAndUndo(state, [](MultiTrackEditorPage &page) {
        page.syncPlayheadAll(20 * 6.0 + 2.5);
        page.splitClipAtPlayhead(8, 20);
    });
}
BENCHMARK(BM_SplitAndUndo)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_DeleteAndUndo(benchmark::State &state)
{
    timeEditAndUndo(state, [](MultiTrackEditorPage &page) { page.deleteAudioClip(8, 20); });
}
BENCHMARK(BM_DeleteAndUndo)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

// A clip dropped on the next audio track in view.
void BM_DropAndUndo(benchmark::State &state)
{
    timeEditAndUndo(state, [](MultiTrackEditorPage &page) {
        const QWidget *from = page.trackRows[0]->lane();
        const QWidget *to = page.trackRows[1]->lane();
        page.onClipDragStarted(0, 0, from->mapToGlobal(QPoint(100, 60)));
        page.onClipDragFinished(to->mapToGlobal(QPoint(100, 60)));
    });
}
BENCHMARK(BM_DropAndUndo)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

// 1000 splits and moves over 50 clips that share 5 minutes of audio: the undo steps keep
// clip lists whose samples are shared, never copied. Then 10,000 undo/redo cycles, which
// must not grow at all. The heap figure (bytes allocated, from mallinfo2) shows what the
// steps hold even where RSS reuses memory freed earlier.
void BM_EditMemory(benchmark::State &state)
{
    offscreenApplication();
    const QList<float> samples = noise(300 * rate);
    for (auto _ : state) {
        ProjectDocument document;
        auto page = busyPage(document, samples, 4);
        std::mt19937 random(5);
        const double before = processMemoryMiB("VmRSS");
        const double heapBefore = mallinfo2().uordblks / 1048576.0;
        TrackData &track = page->document().tracks[0];
        for (int step = 0; step < 1000; ++step) {
            const int clip = std::uniform_int_distribution<int>(0, int(track.audioClips.size()) - 1)(random);
            const AudioClip &c = track.audioClips[size_t(clip)];
            if (step % 2 == 0) {
                page->syncPlayheadAll(c.start + c.length() * 0.37);
                page->splitClipAtPlayhead(0, clip);
            } else {
                const QWidget *lane = page->trackRows[0]->lane();
                page->onClipDragStarted(0, clip, lane->mapToGlobal(QPoint(100, 60)));
                page->onClipDragFinished(lane->mapToGlobal(QPoint(100 + 37, 60)));
            }
        }
        const double afterEdits = processMemoryMiB("VmRSS");
        state.counters["heap_growth_MiB"] = mallinfo2().uordblks / 1048576.0 - heapBefore;
        const int steps = page->document().undoStack->count();
        for (int cycle = 0; cycle < 10000; ++cycle) {
            page->document().undoStack->undo();
            page->document().undoStack->redo();
        }
        state.counters["undo_steps"] = steps;
        state.counters["edits_rss_growth_MiB"] = afterEdits - before;
        state.counters["cycles_rss_growth_MiB"] = processMemoryMiB("VmRSS") - afterEdits;
    }
}
BENCHMARK(BM_EditMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
