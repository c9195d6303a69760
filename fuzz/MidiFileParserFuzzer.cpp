// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the MIDI file reader; the input buffer is exactly the file's size.
#include "FuzzInput.h"
#include "engine/MidiFileParser.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QList<ImportedMidiTrack> tracks;
    double durationSeconds = 0.0;
    double bpm = 0.0;
    parseMidiData(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), tracks,
                  durationSeconds, bpm);
    for (const ImportedMidiTrack &track : tracks)
        for (const MidiNote &note : track.notes)
            if (note.pitch < 0 || note.pitch > 127 || !(note.duration > 0.0))
                __builtin_trap();
    return 0;
}
