// SPDX-License-Identifier: GPL-3.0-or-later
// Save and load of one stereo 44.1 kHz clip of 1 and 10 minutes through ProjectFile.
#include "project/ProjectFile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <cmath>

namespace {

ProjectData stereoProject(qsizetype frames)
{
    AudioClip clip;
    clip.samples.resize(frames);
    clip.stereoSamples.resize(2 * frames);
    for (qsizetype i = 0; i < frames; ++i) {
        const float v = 0.5f * float(std::sin(0.0627 * double(i % 100000)));
        clip.samples[i] = v;
        clip.stereoSamples[2 * i] = 0.9f * v;
        clip.stereoSamples[2 * i + 1] = 0.7f * v;
    }
    TrackData track;
    track.audioClips = {clip};
    ProjectData project;
    project.tracks = {track};
    return project;
}

void saveProject(benchmark::State &state)
{
    const ProjectData project = stereoProject(state.range(0) * 60 * 44100);
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.zqp");
    for (auto _ : state) {
        const auto result = ProjectFile::save(path, project.name, project.tracks, project.settings, 0.0, 1.0,
                                              project.markers);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 60 * 44100 * 3 * 4);
}

void loadProject(benchmark::State &state)
{
    const ProjectData project = stereoProject(state.range(0) * 60 * 44100);
    QTemporaryDir dir;
    const QString path = dir.filePath("bench.zqp");
    ProjectFile::save(path, project.name, project.tracks, project.settings, 0.0, 1.0, project.markers);
    for (auto _ : state) {
        ProjectData loaded;
        const auto result = ProjectFile::load(path, loaded);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 60 * 44100 * 3 * 4);
}

} // namespace

BENCHMARK(saveProject)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(loadProject)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3);
