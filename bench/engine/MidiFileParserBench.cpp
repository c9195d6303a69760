// SPDX-License-Identifier: GPL-3.0-or-later
// Time to import one Standard MIDI File named by ZENTRIQ_MIDI_BENCH_FILE (see midi_import_vs_mido.py).
#include "engine/MidiFileParser.h"

#include <benchmark/benchmark.h>

#include <QtGlobal>

namespace {

void silence(QtMsgType, const QMessageLogContext &, const QString &) {}

void ImportMidiFile(benchmark::State &state)
{
    const QString path = qEnvironmentVariable("ZENTRIQ_MIDI_BENCH_FILE");
    if (path.isEmpty()) {
        state.SkipWithError("set ZENTRIQ_MIDI_BENCH_FILE to a MIDI file");
        return;
    }
    qInstallMessageHandler(silence);
    std::size_t notes = 0;
    for (auto _ : state) {
        QList<ImportedMidiTrack> tracks;
        double durationSeconds = 0.0;
        double bpm = 0.0;
        if (!parseMidiFile(path, tracks, durationSeconds, bpm)) {
            state.SkipWithError("the file did not import");
            return;
        }
        notes = 0;
        for (const ImportedMidiTrack &track : tracks)
            notes += track.notes.size();
        benchmark::DoNotOptimize(durationSeconds);
    }
    state.counters["notes"] = double(notes);
}

} // namespace

BENCHMARK(ImportMidiFile)->Unit(benchmark::kMillisecond);
