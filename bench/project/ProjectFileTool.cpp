// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line saves and loads of project files, for timing against the Python peer:
//   project_file_tool raw <minutes> <dir>   writes mono.f32, left.f32, right.f32 (44.1 kHz)
//   project_file_tool save <dir> <file.zqp> builds a one-clip stereo project from them and saves it
//   project_file_tool load <file.zqp>       loads it and prints the frame count
//   project_file_tool busy <file.zqp> [tracks] [clips] [clip seconds]
//                                           a busy multitrack project (default 64 tracks of 50
//                                           clips of 2 s): three audio tracks in four, each clip
//                                           its own seeded noise, every fourth track MIDI with
//                                           40 notes a clip; prints the raw audio's size
// save and load print the time of the ProjectFile call alone on stderr, for project-flows.sh.
#include "RawProjectAudio.h"
#include "project/ProjectFile.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int rate = 44100;

using Clock = std::chrono::steady_clock;

void printTime(const char *what, Clock::time_point start)
{
    std::fprintf(stderr, "%s %.1f ms\n", what, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
}

bool writeRaw(const QString &path, const QList<float> &list)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly)
           && file.write(reinterpret_cast<const char *>(list.constData()), list.size() * 4) == list.size() * 4;
}

int makeRaw(double minutes, const QString &dir)
{
    const qsizetype frames = qsizetype(minutes * 60 * rate);
    QList<float> mono(frames), left(frames), right(frames);
    quint32 noise = 1;
    for (qsizetype i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const float v = 0.5f * float(std::sin(0.0627 * double(i % 1000000))) + float(noise >> 8) * 1e-9f;
        mono[i] = v;
        left[i] = 0.9f * v;
        right[i] = 0.7f * v;
    }
    return writeRaw(dir + "/mono.f32", mono) && writeRaw(dir + "/left.f32", left) && writeRaw(dir + "/right.f32", right)
               ? 0
               : 1;
}

int save(const QString &dir, const QString &path)
{
    TrackData track;
    track.name = QStringLiteral("Take");
    track.color = QColor(0x4A, 0x90, 0xD9);
    track.audioClips = {readRawClip(dir)};
    const Clock::time_point start = Clock::now();
    const auto result = ProjectFile::save(path, QStringLiteral("Bench"), {track}, ProjectSettings(), 0.0, 1.0, {});
    printTime("save", start);
    return result == ProjectFile::SaveResult::Saved ? 0 : 1;
}

int load(const QString &path)
{
    ProjectData project;
    const Clock::time_point start = Clock::now();
    const auto result = ProjectFile::load(path, project);
    printTime("load", start);
    if (result != ProjectFile::LoadResult::Loaded || project.tracks.empty()
        || project.tracks[0].audioClips.empty())
        return 1;
    std::printf("%lld frames\n", static_cast<long long>(project.tracks[0].audioClips[0].samples.size()));
    return 0;
}

int busy(const QString &path, int trackCount, int clipCount, double clipSeconds)
{
    const qsizetype frames = qsizetype(clipSeconds * rate);
    quint32 noise = 7;
    std::vector<TrackData> tracks(size_t(std::max(0, trackCount)));
    qsizetype rawBytes = 0;
    for (int t = 0; t < trackCount; ++t) {
        TrackData &track = tracks[size_t(t)];
        track.name = QStringLiteral("Track %1").arg(t + 1);
        track.color = QColor(0x3a, 0x86, 0xff);
        track.type = t % 4 == 3 ? TrackType::Midi : TrackType::Audio;
        for (int c = 0; c < clipCount; ++c) {
            const double start = c * (clipSeconds + 1.0);
            if (track.type == TrackType::Midi) {
                MidiClip clip;
                clip.id = c;
                clip.start = start;
                clip.duration = clipSeconds;
                for (int n = 0; n < 40; ++n)
                    clip.notes.push_back({48 + (n * 7) % 24, n * clipSeconds / 40, clipSeconds / 50, 100});
                track.midiClips.push_back(std::move(clip));
                continue;
            }
            AudioClip clip;
            clip.start = start;
            clip.samples.resize(frames);
            for (float &v : clip.samples) {
                noise = noise * 1664525u + 1013904223u;
                v = (float(noise >> 8) / float(1 << 24) - 0.5f) * 1.6f;
            }
            rawBytes += frames * qsizetype(sizeof(float));
            track.audioClips.push_back(std::move(clip));
        }
    }
    if (ProjectFile::save(path, QStringLiteral("Busy"), tracks, ProjectSettings(), 0.0, 1.0, {})
        != ProjectFile::SaveResult::Saved)
        return 1;
    std::printf("raw audio %.1f MiB\n", double(rawBytes) / 1048576.0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == "raw" && argc == 4)
        return makeRaw(std::atof(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (command == "save" && argc == 4)
        return save(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (command == "load" && argc == 3)
        return load(QString::fromLocal8Bit(argv[2]));
    if (command == "busy" && argc >= 3 && argc <= 6)
        return busy(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 64, argc > 4 ? std::atoi(argv[4]) : 50,
                    argc > 5 ? std::atof(argv[5]) : 2.0);
    std::fprintf(stderr, "usage: project_file_tool raw <minutes> <dir> | save <dir> <file> | load <file>"
                         " | busy <file> [tracks] [clips] [clip seconds]\n");
    return 2;
}
