// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer with 64 tracks: a refresh shown on screen, and the memory 50 page toggles leave.
#include "document/ProjectDocument.h"
#include "multitrack/MixerPage.h"

#include "../OffscreenApplication.h"
#include "../ProcessMemory.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

std::vector<TrackData> tracks64()
{
    std::vector<TrackData> tracks(64);
    for (size_t i = 0; i < tracks.size(); ++i) {
        tracks[i].name = QStringLiteral("轨道 %1").arg(i + 1);
        tracks[i].color = QColor::fromHsv(int(i * 37 % 360), 200, 220);
        tracks[i].volume = 0.5f + 0.01f * float(i);
        tracks[i].pan = -0.5f + 0.015f * float(i);
    }
    return tracks;
}

// What the shell does each time the mixer shows: rebuild the strips, then lay out and paint.
void BM_MixerRefreshAndShow(benchmark::State &state)
{
    offscreenApplication();
    std::vector<TrackData> tracks = tracks64();
    ProjectDocument document;
    MixerPage page(document, nullptr);
    page.resize(1600, 900);
    page.setTracks(&tracks);
    for (auto _ : state) {
        page.hide();
        page.refreshFromData();
        page.show();
        QApplication::processEvents();
    }
}

void BM_MixerFiftyTogglesMemory(benchmark::State &state)
{
    offscreenApplication();
    std::vector<TrackData> tracks = tracks64();
    ProjectDocument document;
    MixerPage page(document, nullptr);
    page.resize(1600, 900);
    page.setTracks(&tracks);
    page.show();
    QApplication::processEvents();
    double grownMiB = 0.0;
    for (auto _ : state) {
        const double before = processMemoryMiB("VmRSS");
        for (int i = 0; i < 50; ++i) {
            page.hide();
            page.refreshFromData();
            page.show();
            QApplication::processEvents();
        }
        grownMiB = processMemoryMiB("VmRSS") - before;
    }
    state.counters["rssGrowthMiB"] = grownMiB;
}

} // namespace

BENCHMARK(BM_MixerRefreshAndShow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixerFiftyTogglesMemory)->Unit(benchmark::kMillisecond)->Iterations(3);
