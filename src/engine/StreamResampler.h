// SPDX-License-Identifier: GPL-3.0-or-later
// Sample-rate conversion of a running stream in blocks of any size: a windowed-sinc
// interpolator whose output frame j is the input signal at time j / outputRate, so a
// stream converted by it is neither early nor late (input before frame 0 counts as silence).
#pragma once

#include <cstdint>
#include <vector>

// reset() runs while no stream uses the resampler; process() and inputNeeded() then run on
// the stream thread and neither allocates nor locks.
class StreamResampler
{
public:
    // `maxInputFrames` bounds the frames one process() call takes.
    void reset(int inputRate, int outputRate, int channels, int maxInputFrames);

    // Input frames still missing before `outputFrames` more output frames can be made.
    int inputNeeded(int outputFrames) const noexcept;
    // The most output frames one process() call can make from `inputFrames`.
    int maxOutputFrames(int inputFrames) const noexcept;

    // Takes `frames` interleaved input frames (at most maxInputFrames) and writes the output
    // frames they complete, at most `capacity`; returns how many it wrote. Input it could not
    // yet use is kept for the next call.
    int process(const float *input, int frames, float *output, int capacity) noexcept;

private:
    // First input frame the output frame `produced` reads.
    std::int64_t firstNeeded() const noexcept;
    std::int64_t centreOf(std::int64_t outputFrame) const noexcept;

    int inputRate = 1;
    int outputRate = 1;
    int channels = 1;
    double cutoff = 1.0;   // of the input's Nyquist frequency
    int halfWidth = 1;     // input frames read on each side of an output frame
    std::int64_t produced = 0;
    // The weights of the 2 x halfWidth frames an output frame reads, for each of `phases`
    // fractional positions between two input frames, made once by reset().
    int phases = 1;
    std::vector<float> weights;
    // Input frames from heldStart on, interleaved; `held` is sized once by reset().
    std::vector<float> held;
    std::int64_t heldStart = 0;
    std::int64_t heldFrames = 0;
};
