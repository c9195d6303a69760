// SPDX-License-Identifier: GPL-3.0-or-later
// Standard MIDI File import: one named note list per track, timed in seconds through the
// file's tempo map. Free functions without state between calls.
#pragma once

#include "project/MidiNote.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

// One entry of the tempo map.
struct TempoEntry
{
    std::uint32_t tick = 0;                     // absolute tick from the start of its track
    std::uint32_t microsecondsPerQuarter = 0;   // tempo from this tick on
};

// One imported track: its name and its notes, timed from the start of the file. The notes
// come in the order of their note-offs, not sorted by start.
struct ImportedMidiTrack
{
    QString name;
    std::vector<MidiNote> notes;
};

// Reads a Standard MIDI File (format 0, 1 or 2, ticks-per-quarter timing). On success `tracks`
// holds the tracks with notes, `durationSeconds` the latest note end and `bpm` the initial
// tempo; the result is true when at least one track has notes. Header failures leave the
// outputs untouched. Malformed or truncated data never makes it read outside the file.
bool parseMidiFile(const QString &path, QList<ImportedMidiTrack> &tracks, double &durationSeconds, double &bpm);

// The same as parseMidiFile on bytes already in memory (no file is read or named).
bool parseMidiData(const QByteArray &bytes, QList<ImportedMidiTrack> &tracks, double &durationSeconds, double &bpm);

// Parses the `length` bytes of one track chunk's data at `data + start`, which must lie inside
// the caller's buffer, with the tick-sorted `tempoMap` and `division` ticks per quarter note.
// `trackIndex` only names the track. When the chunk yields notes they are appended to `track`
// and `durationSeconds` becomes the track's latest note end; otherwise both stay unchanged.
void parseTrack(const unsigned char *data, int start, int length, int division,
                const std::vector<TempoEntry> &tempoMap, int trackIndex, ImportedMidiTrack &track,
                double &durationSeconds);
