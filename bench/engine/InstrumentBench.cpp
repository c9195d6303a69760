// SPDX-License-Identifier: GPL-3.0-or-later
// Instruments: offline SoundFont render of a 2,000-note track against the fluidsynth command
// on the same notes, and start-up loading of the 88 built-in piano recordings.
#include "audio/AudioProcessor.h"
#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "project/TrackData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

namespace {
const char *const soundFonts[] = {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
constexpr int rate = 44100;
constexpr int ticksPerSecond = 960;  // 480 ticks a beat at 120 BPM

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
        note.start = double(tick) / ticksPerSecond;
        note.duration = double(std::uniform_int_distribution(50, 900)(random)) / ticksPerSecond;
        notes.push_back(note);
    }
    return notes;
}

QByteArray bigEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray variableLength(quint32 value)
{
    QByteArray out(1, char(value & 0x7F));
    while (value >>= 7)
        out.prepend(char((value & 0x7F) | 0x80));
    return out;
}

QByteArray standardMidiFile(const std::vector<MidiNote> &notes)
{
    struct Event
    {
        int tick;
        bool on;
        int pitch, velocity;
    };
    std::vector<Event> events;
    for (const MidiNote &n : notes) {
        const int on = int(std::lround(n.start * ticksPerSecond));
        events.push_back({on, true, n.pitch, n.velocity});
        events.push_back({on + int(std::lround(n.duration * ticksPerSecond)), false, n.pitch, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.tick < b.tick; });
    QByteArray track;
    int now = 0;
    for (const Event &e : events) {
        track += variableLength(quint32(e.tick - now)) + char(e.on ? 0x90 : 0x80) + char(e.pitch) + char(e.velocity);
        now = e.tick;
    }
    track += variableLength(0) + QByteArray("\xFF\x2F\x00", 3);
    return "MThd" + bigEndian(6, 4) + bigEndian(0, 2) + bigEndian(1, 2) + bigEndian(480, 2) + "MTrk"
           + bigEndian(quint32(track.size()), 4) + track;
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
