// SPDX-License-Identifier: GPL-3.0-or-later
// Cutting one clip in two at a timeline time, so that the two halves sound exactly as the
// whole did. Pure functions on the records.
#pragma once

#include "project/AudioClip.h"
#include "project/MidiClip.h"

#include <optional>
#include <utility>

// Splits at timeline time `atSec` on a whole source frame: the frame under atSec (to the
// nearest) begins the right half. The halves share the source lists; the left keeps the
// fade-in, the right takes the fade-out. Nothing when the cut would leave either half
// without a frame or the time lies outside the clip.
std::optional<std::pair<AudioClip, AudioClip>> splitAudioClip(const AudioClip &clip, double atSec);

// Splits at `offsetSec` (stored seconds from the clip's start): notes at or after the cut
// move right, shifted; a note crossing the cut ends there on the left and its tail sounds
// from 0 on the right, so no part of it sounds twice. The right clip's id is the left's + 1.
// Nothing unless 0 < offsetSec < duration.
std::optional<std::pair<MidiClip, MidiClip>> splitMidiClip(const MidiClip &clip, double offsetSec);
