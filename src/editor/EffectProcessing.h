// SPDX-License-Identifier: GPL-3.0-or-later
// The processing behind the single-track editor's effect dialogs. Each step changes both
// lists of the document alike, so what plays is what a stereo export writes.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class AudioProcessor;

// The page's document: one value per frame, and interleaved left/right (empty for mono).
struct SampleLists
{
    QList<float> mono;
    QList<float> stereo;
};

// Steps that can fail return the processor's error text; an empty text means success.
namespace EffectProcessing {

// Multiplies every value of both lists by `factor`, without clipping.
void applyGain(SampleLists &lists, float factor);
// With stereo, each frame becomes (L − R)/2 · side + (L + R)/2 · centre and both channels
// take that value; mono audio is only scaled by `centre`.
void extractCentreMidSide(SampleLists &lists, float centre, float side);
// Spectral centre isolation of the stereo list (strength 0..1); both channels take the result.
void extractCentreSpectral(SampleLists &lists, float strength, int sampleRate);
// Runs a stride-aware processor effect on the interleaved stereo list (channels 2), or on the
// mono list (channels 1); the mono list then becomes the per-frame mean.
QString runInterleaved(SampleLists &lists, int sampleRate, const std::function<void(AudioProcessor &)> &effect);
// Runs a one-channel processor effect on each channel by itself, on a fresh processor each.
QString runPerChannel(SampleLists &lists, int sampleRate, const std::function<void(AudioProcessor &)> &effect);
// Runs `effect` in place on each channel of the interleaved stereo list, read `stride` 2 apart
// so that nothing is copied out and back, or on the mono list (stride 1); the mono list then
// becomes the per-frame mean.
using ChannelEffect = std::function<void(float *values, qsizetype count, qsizetype stride)>;
void runOnEachChannel(SampleLists &lists, const ChannelEffect &effect);
// Widens or narrows the stereo image (width 0..2) and rebuilds the mono list from it.
void applyWidth(SampleLists &lists, int sampleRate, float width);
// Stereo to mono keeps the mono list and drops the stereo one; mono to stereo copies the
// mono list into both channels.
void convertToMono(SampleLists &lists);
void convertToStereo(SampleLists &lists);

} // namespace EffectProcessing
