// SPDX-License-Identifier: GPL-3.0-or-later
// Spectral erase: attenuates a time-frequency box of one channel by short-time overlap-add.
#include "audio/SpectralErase.h"

#include "audio/Fft.h"
#include "audio/dsp/HannWindow.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace {
constexpr qsizetype N = 2048;
constexpr qsizetype hop = 512;

// Where a box's frames lie: the samples that change, the span that scales, the bins.
struct ErasePlan
{
    FrameRange changed;
    qsizetype s0 = 0;
    qsizetype s1 = 0;
    int binLow = 0;
    int binHigh = -1;
};

ErasePlan planErase(qsizetype frames, int sampleRate, SpectralBox box)
{
    if (frames < 1 || sampleRate < 1)
        return {};
    const double duration = double(frames) / sampleRate;
    box.startSec = box.startSec > 0.0 ? box.startSec : 0.0;
    box.endSec = std::min(box.endSec, duration);
    box.freqLow = box.freqLow > 0.0f ? box.freqLow : 0.0f;
    box.freqHigh = std::min(box.freqHigh, float(sampleRate / 2));
    if (!(box.startSec < box.endSec) || !(box.freqLow < box.freqHigh))
        return {};
    if (qsizetype(box.startSec * sampleRate) >= qsizetype(box.endSec * sampleRate))
        return {};

    ErasePlan plan;
    const float binWidth = float(sampleRate) / float(N);
    plan.binLow = std::max(0, int(std::floor(box.freqLow / binWidth)));
    plan.binHigh = std::min(int(N / 2), int(std::ceil(box.freqHigh / binWidth)));
    // A box that reaches the clip's start or end erases right up to it: the frames hanging
    // over the edge count as wholly inside the span, not only by their part within the clip.
    plan.s0 = box.startSec <= 0.0 ? -N : qsizetype(box.startSec * sampleRate);
    plan.s1 = box.endSec >= duration ? frames + N : qsizetype(box.endSec * sampleRate);
    // Frames start on the whole-clip grid of multiples of the hop, before the clip too, so the
    // window weights sum to the same constant at the clip's edges as inside it.
    const qsizetype firstScaled = floorDiv(plan.s0 - N, hop) + 1;
    const qsizetype lastScaled = floorDiv(plan.s1 - 1, hop);
    plan.changed = {std::max<qsizetype>(0, firstScaled * hop), std::min(frames, lastScaled * hop + N)};
    return plan;
}
} // namespace

FrameRange spectralEraseRange(qsizetype frames, int sampleRate, SpectralBox box)
{
    return planErase(frames, sampleRate, box).changed;
}

FrameRange eraseSpectralBox(float *data, qsizetype frames, int stride, int sampleRate, SpectralBox box,
                            float strength)
{
    const ErasePlan plan = planErase(frames, sampleRate, box);
    const FrameRange changed = plan.changed;
    if (!data || stride < 1 || changed.isEmpty())
        return {};
    const qsizetype s0 = plan.s0, s1 = plan.s1;
    const int binLow = plan.binLow, binHigh = plan.binHigh;

    static const Fft fft{int(N)};
    static const std::vector<float> window = hannWindow(std::size_t(N), HannShape::Periodic);
    const qsizetype length = changed.end - changed.first;
    std::vector<double> out(static_cast<std::size_t>(length), 0.0);
    std::vector<double> weight(static_cast<std::size_t>(length), 0.0);
    std::vector<float> frame(static_cast<std::size_t>(N));
    std::vector<std::complex<float>> bins(static_cast<std::size_t>(N / 2 + 1));

    for (qsizetype p = floorDiv(changed.first - N, hop) + 1; p * hop < changed.end; ++p) {
        const qsizetype pos = p * hop;
        for (qsizetype i = 0; i < N; ++i) {
            const qsizetype at = pos + i;
            frame[std::size_t(i)] = at >= 0 && at < frames ? data[at * stride] * window[std::size_t(i)] : 0.0f;
        }
        if (pos < s1 && pos + N > s0) {
            const float overlap = float(std::min(pos + N, s1) - std::max(s0, pos));
            const float gain = 1.0f - overlap / float(N) * strength;
            fft.forward(frame.data(), bins.data());
            for (int j = binLow; j <= binHigh; ++j)
                bins[std::size_t(j)] *= gain;
            fft.inverse(bins.data(), frame.data());
        }
        // Frames outside the span come back as they went in, without a transform pair.
        const qsizetype from = std::max(pos, changed.first);
        const qsizetype to = std::min(pos + N, changed.end);
        for (qsizetype at = from; at < to; ++at) {
            const float w = window[std::size_t(at - pos)];
            out[std::size_t(at - changed.first)] += double(frame[std::size_t(at - pos)]) * w;
            weight[std::size_t(at - changed.first)] += double(w) * w;
        }
    }
    for (qsizetype i = 0; i < length; ++i) {
        const double w = weight[std::size_t(i)];
        if (w > 1e-8)
            data[(changed.first + i) * stride] = float(out[std::size_t(i)] / w);
    }
    return changed;
}
