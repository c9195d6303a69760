// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI notes and one-clip MIDI tracks for the renderer tests.
#pragma once

#include "project/TrackData.h"

#include <utility>
#include <vector>

inline MidiNote makeNote(int pitch, double start, double duration, int velocity = 100)
{
    MidiNote n;
    n.pitch = pitch;
    n.start = start;
    n.duration = duration;
    n.velocity = velocity;
    return n;
}

// A MIDI track holding one clip of `notes`.
inline TrackData midiTrack(std::vector<MidiNote> notes, double clipStart = 0.0, double clipDuration = 4.0)
{
    TrackData track;
    track.type = TrackType::Midi;
    MidiClip clip;
    clip.start = clipStart;
    clip.duration = clipDuration;
    clip.notes = std::move(notes);
    track.midiClips.push_back(clip);
    return track;
}
