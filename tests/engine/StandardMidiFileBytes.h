// SPDX-License-Identifier: GPL-3.0-or-later
// Writes notes as a format-0 Standard MIDI File (480 ticks a beat at the default 120 BPM,
// so 960 ticks a second), for the fluidsynth command to render as an oracle or a peer.
#pragma once

#include "project/MidiNote.h"

#include <QByteArray>

#include <vector>

constexpr int midiTicksPerSecond = 960;

// Notes are placed on the nearest tick; the end of the track follows the last event by
// `tailTicks`, which lets the command render the release.
QByteArray standardMidiFile(const std::vector<MidiNote> &notes, int tailTicks = 0);
