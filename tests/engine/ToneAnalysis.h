// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch of a rendered note for instrument tests: the strongest frequency of a windowed DFT.
#pragma once

#include <span>

// Frequency in [lowHz, highHz) whose Hann-windowed DFT magnitude over `mono` is largest,
// scanned in 0.25 Hz steps.
double strongestFrequency(std::span<const float> mono, int sampleRate, double lowHz, double highHz);
