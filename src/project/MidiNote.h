// SPDX-License-Identifier: GPL-3.0-or-later
// One MIDI note of a clip, as produced by the recorder, the MIDI file reader and the project loader.
#pragma once

struct MidiNote
{
    int pitch = 60;         // MIDI note number, 60 is middle C
    double start = 0.0;     // seconds from the start of the holding clip
    double duration = 0.5;  // seconds
    int velocity = 100;     // 0..127

    bool operator==(const MidiNote &) const = default;
};
