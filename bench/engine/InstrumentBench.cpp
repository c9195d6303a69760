// SPDX-License-Identifier: GPL-3.0-or-later
// Instruments: offline SoundFont render of a 2,000-note track against the fluidsynth command
// on the same notes, and start-up loading of the 88 built-in piano recordings.
#include "audio/AudioProcessor.h"
#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "project/TrackData.h"

#include "StandardMidiFileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

namespace {
const char *const soundFonts[] = {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
constexpr int rate = 44100;

void quietDebug()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg)
            fprintf(stderr, "%s\n", qPrintable(message));
    });
}

// 2,000 notes over about three minutes with up to a few overlapping, on the MIDI tick grid
// so the command renders exactly the same times; fixed seed.
std::vector<MidiNote> benchmarkNotes()
{
    std::mt19937 random(20240611);
    std::vector<MidiNote> notes;
    int tick = 0;
    for (int i = 0; i < 2000; ++i) {
        tick += std::uniform_int_distribution(20, 160)(random);
        MidiNote note;
        note.pitch = std::uniform_int_distribution(36, 96)(random);
        note.velocity = std::uniform_int_distribution(40, 127)(random);
        note.start = double(tick) / midiTicksPerSecond;
        note.duration = double(std::uniform_int_distribution(50, 900)(random)) / midiTicksPerSecond;
        notes.push_back(note);
    }
    return notes;
}

TrackData benchmarkTrack()
{
    TrackData track;
    track.type = TrackType::Midi;
    MidiClip clip;
    clip.notes = benchmarkNotes();
    double end = 0;
    for (const MidiNote &n : clip.notes)
        end = std::max(end, n.start + n.duration);
    clip.duration = end;
    track.midiClips.push_back(clip);
    return track;
}

// Load and render, as the fluidsynth command does both.
void BM_SF2RenderTrack(benchmark::State &state)
{
    quietDebug();
    const TrackData track = benchmarkTrack();
    for (auto _ : state) {
        SF2Sampler sampler;
        if (!sampler.loadSoundFont(soundFonts[state.range(0)])) {
            state.SkipWithError("SoundFont not installed");
            return;
        }
        benchmark::DoNotOptimize(sampler.renderTrack(track, rate));
    }
}
BENCHMARK(BM_SF2RenderTrack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same notes through `fluidsynth -F` with reverb and chorus off, float output.
void BM_FluidsynthCommand(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile midi(dir.filePath("notes.mid"));
    if (!midi.open(QIODevice::WriteOnly) || midi.write(standardMidiFile(benchmarkNotes())) < 0) {
        state.SkipWithError("cannot write the MIDI file");
        return;
    }
    midi.close();
    const QString command = QStringLiteral("fluidsynth -n -i -q -R 0 -C 0 -g 1.0 -r %1 -O float -T raw -F '%2' '%3' '%4'")
                                .arg(rate)
                                .arg(dir.filePath("out.raw"), QString::fromLatin1(soundFonts[state.range(0)]),
                                     midi.fileName());
    for (auto _ : state) {
        if (std::system(command.toLocal8Bit().constData()) != 0) {
            state.SkipWithError("fluidsynth failed");
            return;
        }
    }
}
BENCHMARK(BM_FluidsynthCommand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Start-up: the piano fills its map from ":/piano" (decoded in parallel).
void BM_PianoLoadBuiltIn(benchmark::State &state)
{
    quietDebug();
    for (auto _ : state) {
        PianoSampler piano;
        if (!piano.loadSampleLibraryFromResources(":/piano")) {
            state.SkipWithError("no built-in recordings");
            return;
        }
    }
}
BENCHMARK(BM_PianoLoadBuiltIn)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 88 decodes one after another, for comparison with the parallel load.
void BM_PianoDecodeSerially(benchmark::State &state)
{
    quietDebug();
    const QStringList files = QDir(":/piano").entryList({"*.mp3"}, QDir::Files, QDir::Name);
    for (auto _ : state) {
        for (const QString &name : files) {
            AudioProcessor processor;
            benchmark::DoNotOptimize(processor.loadAudioFile(":/piano/" + name));
        }
    }
}
BENCHMARK(BM_PianoDecodeSerially)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
