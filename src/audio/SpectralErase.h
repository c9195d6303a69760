// SPDX-License-Identifier: GPL-3.0-or-later
// Spectral erase: attenuates a time-frequency box of one channel by short-time overlap-add.
#pragma once

#include "audio/FrameRange.h"

// A stroke's bounding box in seconds and hertz.
struct SpectralBox
{
    double startSec = 0.0;
    double endSec = 0.0;
    float freqLow = 0.0f;
    float freqHigh = 0.0f;
};

// Which list of a clip a box is erased from: the mono list, or a channel of the stereo one.
enum class ClipChannel { Mono, Left, Right };

// Scales the bins inside `box` of every 2048-sample periodic-Hann frame (hop 512) that overlaps
// its time span by 1 - overlap/2048 * strength, and resynthesises only the samples those frames
// cover; every other sample keeps its exact value. The box is held to the clip and to 0 .. R/2
// (a box reaching an end of the clip erases fully up to it);
// an empty box changes nothing. Channel frame i is data[i * stride]. Returns the rewritten range.
FrameRange eraseSpectralBox(float *data, qsizetype frames, int stride, int sampleRate, SpectralBox box,
                            float strength);

// The frames eraseSpectralBox would rewrite, without touching any.
FrameRange spectralEraseRange(qsizetype frames, int sampleRate, SpectralBox box);
