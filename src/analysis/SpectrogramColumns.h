// SPDX-License-Identifier: GPL-3.0-or-later
// Short-time Fourier columns of the spectrogram view, kept as 16-bit levels.
#pragma once

#include "audio/FrameRange.h"
#include "audio/HugePages.h"

#include <QList>
#include <QRgb>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// Gives a shared list its own copy before it is written in place, in huge pages.
void detachLargeList(QList<float> &list);

// One channel of samples read in place: frame i is data[i * stride].
struct ChannelSamples
{
    const float *data = nullptr;
    qsizetype frames = 0;
    int stride = 1;

    float at(qsizetype i) const { return data[i * stride]; }
};

// Frames of 2048 samples with a symmetric Hann window, one every 512 samples. Column j covers
// samples [j * hop, j * hop + size). A column holds bins 0 .. size/2 - 1 as levels 0 .. 65535:
// (20 lg(|X|/size) + 100) / 70 held to 0 .. 1, so -100 dB is 0 and -30 dB is 65535.
namespace Stft {
constexpr int size = 2048;
constexpr int hop = 512;
constexpr int bins = size / 2;

// Seconds between two columns (a rate below 1 counts as 1).
inline double hopSeconds(int sampleRate)
{
    return double(hop) / std::max(sampleRate, 1);
}

using ::floorDiv;

// Columns a list of `frames` samples gives: (frames - size) / hop + 1, none below one frame.
qsizetype columnCount(qsizetype frames);
// Level as a fraction 0 .. 1.
inline float fraction(std::uint16_t level) { return float(level) / 65535.0f; }
// The colour of a fraction: index int(v * 255 + 0.5) of the 256-entry violet-to-orange ramp.
QRgb colour(float fraction);
// The ramp itself, entry i at hue 280 + 120 i/255 degrees, lightness 0.10 + 0.70 i/255.
QRgb rampEntry(int index);
} // namespace Stft

// Computes columns of one channel; one instance per thread (it owns scratch buffers).
class StftColumnMaker
{
public:
    StftColumnMaker();
    // Column of the frame that starts at `position`; samples outside the list count as 0.
    // Writes Stft::bins levels; also adds |X[k]| to `magnitudeSum` when given (bins + 1 values).
    void column(const ChannelSamples &source, qsizetype position, std::uint16_t *out, double *magnitudeSum = nullptr);

private:
    static void levels(const float *pairs, std::uint16_t *out);

    std::vector<float> window;
    std::vector<float> frame;
    std::vector<float> spectrum; // complex pairs
};

// The columns of one channel, `pool` hops per stored column (each stored level the maximum of
// the hops it spans), so that long clips fit a memory budget. Move-only; not thread-safe.
class SpectrogramColumns
{
public:
    // Room for the columns of `frames` samples, pooled just enough to stay within `budgetBytes`
    // together with `channels - 1` other channels of the same size.
    static SpectrogramColumns forFrames(qsizetype frames, int channels, std::size_t budgetBytes);

    qsizetype count() const { return columns; }
    int pool() const { return poolHops; }
    qsizetype hopColumns() const { return hops; }
    std::size_t bytes() const { return std::size_t(columns + coarseColumns) * Stft::bins * sizeof(std::uint16_t); }
    const std::uint16_t *column(qsizetype index) const { return levels.get() + index * Stft::bins; }
    std::uint16_t *column(qsizetype index) { return levels.get() + index * Stft::bins; }

    // A second, coarser copy for wide views: each column the loudest of `coarseFactor` stored
    // columns, so drawing a whole long clip reads a sixteenth of the levels.
    static constexpr int coarseFactor = 16;
    qsizetype coarseCount() const { return coarseColumns; }
    const std::uint16_t *coarseColumn(qsizetype index) const { return coarse.get() + index * Stft::bins; }
    // Brings the coarse columns over stored columns [first, end) up to date.
    void updateCoarse(qsizetype first, qsizetype end);

    // Recomputes the stored columns that hold hop columns [firstHop, endHop), and their coarse
    // columns. Stops early, with false, once `cancel` is set.
    bool compute(const ChannelSamples &source, qsizetype firstHop, qsizetype endHop, StftColumnMaker &maker,
                 const std::atomic<bool> *cancel = nullptr, double *magnitudeSum = nullptr);

private:
    // Left uninitialised until computed: zeroing a long clip's columns first would cost as much
    // as a good part of the transforms.
    struct Free
    {
        void operator()(std::uint16_t *levels) const;
    };
    std::unique_ptr<std::uint16_t[], Free> levels;
    std::unique_ptr<std::uint16_t[], Free> coarse;
    qsizetype hops = 0;
    qsizetype columns = 0;
    qsizetype coarseColumns = 0;
    int poolHops = 1;
};

// The columns of every channel of a clip, each pooled to fit `budgetBytes` all together, computed
// by `threads` threads. Adds every hop's |X[k]| of the first channel to `magnitudeSum` (bins + 1
// values) when given. Empty when `cancel` was set before it finished.
std::vector<SpectrogramColumns> computeSpectrogram(const std::vector<ChannelSamples> &channels, std::size_t budgetBytes,
                                                   int threads, const std::atomic<bool> *cancel = nullptr,
                                                   std::vector<double> *magnitudeSum = nullptr);
