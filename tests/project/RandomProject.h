// SPDX-License-Identifier: GPL-3.0-or-later
// Seeded random projects for save/load round trips.
#pragma once

#include "project/ProjectData.h"

// Every savable field filled: empty and MIDI tracks, stereo clips, envelopes with steps,
// markers in time order, odd labels, and samples including -0.0, subnormals and extremes.
// Fields the file does not hold (armed, pluginId, insert paths, clip ids) keep their defaults.
ProjectData randomProject(unsigned seed, int maxFramesPerClip = 300);
