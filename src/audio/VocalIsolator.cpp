// SPDX-License-Identifier: GPL-3.0-or-later
// Centre extraction with voice-band emphasis.
#include "audio/VocalIsolator.h"

#include "audio/DecodedAudio.h"
#include "audio/dsp/DspParameter.h"
#include "audio/dsp/HannWindow.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {
// Short clips get short frames, so their few frames still overlap.
constexpr std::uint64_t shortClipFrames = 2048;
constexpr std::uint64_t shortFrameSize = 512;
constexpr std::uint64_t longFrameSize = 2048;
// Larger frames would only exhaust memory.
constexpr std::uint64_t maxFrameSize = std::uint64_t{1} << 20;
}

void VocalIsolator::setIsolationStrength(float strength, float smoothingWeight)
{
    isolationStrength = clampParameter(strength, 0.0f, 1.0f);
    smoothing = clampParameter(smoothingWeight, 0.0f, 1.0f);
}

void VocalIsolator::initialize(std::uint64_t size)
{
    if ((initialized && fftSize == size) || size > maxFrameSize)
        return;
    fftSize = size;
    fft = Fft(static_cast<int>(size));
    frame.resize(size);
    bins.resize(size / 2 + 1);
    window = hannWindow(size, HannShape::Symmetric);
    previousMagnitudes.resize(size / 2 + 1, 0.0f);
    initialized = true;
}

void VocalIsolator::applyWindow(float *data, std::uint64_t n) const
{
    const std::uint64_t count = std::min<std::uint64_t>(n, window.size());
    for (std::uint64_t i = 0; i < count; ++i)
        data[i] *= window[i];
}

void VocalIsolator::removeWindow(float *data, std::uint64_t n) const
{
    const std::uint64_t count = std::min<std::uint64_t>(n, window.size());
    for (std::uint64_t i = 0; i < count; ++i)
        if (window[i] > 0.01f)
            data[i] /= window[i];
}

void VocalIsolator::encodeMidSide(const float *stereo, float *mid, float *side, std::uint64_t frames)
{
    for (std::uint64_t i = 0; i < frames; ++i) {
        const float left = stereo[2 * i];
        const float right = stereo[2 * i + 1];
        mid[i] = halfSum(left, right);
        side[i] = (left - right) * 0.5f;
    }
}

void VocalIsolator::decodeMidSide(const float *mid, const float *side, float *stereo, std::uint64_t frames)
{
    for (std::uint64_t i = 0; i < frames; ++i) {
        const float m = mid[i];
        const float s = side[i];
        stereo[2 * i] = m + s;
        stereo[2 * i + 1] = m - s;
    }
}

void VocalIsolator::processFrame(const float *stereo, float *out, int frames, int) const
{
    for (int i = 0; i < frames; ++i)
        out[i] = halfSum(stereo[2 * i], stereo[2 * i + 1]) * (1.0f + 0.3f * isolationStrength);
}

float VocalIsolator::bandGain(float hz) const
{
    const float s = isolationStrength;
    const float inBand = 1.0f + 0.5f * s;
    if (hz < 80.0f || hz > 4000.0f)
        return 1.0f - 0.7f * s;
    if (hz < 200.0f)
        return inBand;
    if (hz <= 500.0f)
        return inBand * 1.2f; // first formant range
    if (hz < 800.0f)
        return inBand;
    if (hz <= 1200.0f)
        return inBand * 1.15f;
    if (hz < 2000.0f)
        return inBand;
    if (hz <= 3000.0f)
        return inBand * 1.1f;
    return inBand;
}

void VocalIsolator::spectralSubtraction(const float *mid, float *out, std::uint64_t frames, int sampleRate)
{
    if (!initialized)
        initialize(longFrameSize);
    std::fill(out, out + frames, 0.0f);
    const std::uint64_t N = fftSize;
    const std::uint64_t hop = N / 4;
    const std::uint64_t M = N / 2;
    if (N < 4 || !std::has_single_bit(N))
        return;
    const std::uint64_t frameCount = (frames + hop - 1) / hop;
    for (std::uint64_t f = 0; f < frameCount; ++f) {
        const std::uint64_t p = f * hop;
        for (std::uint64_t i = 0; i < N; ++i)
            frame[i] = p + i < frames ? mid[p + i] * window[i] : 0.0f;
        fft.forward(frame.data(), bins.data());
        for (std::uint64_t k = 0; k <= M; ++k) {
            const float measured = std::abs(bins[k]);
            float magnitude = measured;
            const float hz = static_cast<float>(k) * static_cast<float>(sampleRate) / static_cast<float>(N);
            const float gain = bandGain(hz);
            if (k < previousMagnitudes.size()) {
                magnitude = previousMagnitudes[k] * smoothing + (1.0f - smoothing) * magnitude;
                previousMagnitudes[k] = magnitude;
            }
            // The bin keeps its phase; a silent bin has phase 0.
            const std::complex<float> unit = measured > 0.0f ? bins[k] / measured : 1.0f;
            bins[k] = unit * (gain * magnitude);
        }
        fft.inverse(bins.data(), frame.data());
        for (std::uint64_t i = 0; i < N && p + i < frames; ++i)
            out[p + i] += window[i] * frame[i];
    }
}

void VocalIsolator::processOffline(const float *stereo, float *out, std::uint64_t frames, int sampleRate)
{
    if (frames == 0)
        return;
    initialize(frames < shortClipFrames ? shortFrameSize : longFrameSize);
    std::vector<float> mid(frames);
    mixFramesToMono(stereo, mid.data(), qsizetype(frames), 2);
    std::vector<float> result(frames);
    spectralSubtraction(mid.data(), result.data(), frames, sampleRate);
    std::copy(result.begin(), result.end(), out);
}
