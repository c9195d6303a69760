// SPDX-License-Identifier: GPL-3.0-or-later
// A block of notes placed on a MIDI track.
#pragma once

#include "project/MidiNote.h"

#include <vector>

struct MidiClip
{
    int id = 0;                   // given by the multitrack editor, never saved; an open piano roll finds its clip by it
    std::vector<MidiNote> notes;  // times relative to `start`, in no required order
    double start = 0.0;           // timeline seconds
    double duration = 4.0;        // seconds

    bool operator==(const MidiClip &) const = default;
};
