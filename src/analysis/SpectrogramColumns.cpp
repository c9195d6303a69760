// SPDX-License-Identifier: GPL-3.0-or-later
// Short-time Fourier columns of the spectrogram view, kept as 16-bit levels.
#include "analysis/SpectrogramColumns.h"

#include "audio/Fft.h"
#include "audio/dsp/HannWindow.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <thread>

namespace Stft {

qsizetype columnCount(qsizetype frames)
{
    return frames >= size ? (frames - size) / hop + 1 : 0;
}

namespace {
// The standard HSL conversion, in single precision.
float hueChannel(float p, float q, float t)
{
    if (t < 0.0f)
        t += 1.0f;
    if (t > 1.0f)
        t -= 1.0f;
    if (t < 1.0f / 6.0f)
        return p + (q - p) * 6.0f * t;
    if (t < 0.5f)
        return q;
    if (t < 2.0f / 3.0f)
        return p + (q - p) * (2.0f / 3.0f - t) * 6.0f;
    return p;
}

std::array<QRgb, 256> makeRamp()
{
    std::array<QRgb, 256> ramp{};
    for (int i = 0; i < 256; ++i) {
        const float t = float(i) / 255.0f;
        const float hue = std::fmod(280.0f + 120.0f * t, 360.0f) / 360.0f;
        const float lightness = (10.0f + 70.0f * t) / 100.0f;
        const float q = lightness < 0.5f ? 2.0f * lightness : 1.0f;
        const float p = 2.0f * lightness - q;
        const auto byte = [](float x) { return int(std::lround(255.0f * x)); };
        ramp[std::size_t(i)] = qRgb(byte(hueChannel(p, q, hue + 1.0f / 3.0f)), byte(hueChannel(p, q, hue)),
                                    byte(hueChannel(p, q, hue - 1.0f / 3.0f)));
    }
    return ramp;
}
} // namespace

QRgb rampEntry(int index)
{
    static const std::array<QRgb, 256> ramp = makeRamp();
    return ramp[std::size_t(std::clamp(index, 0, 255))];
}

QRgb colour(float fraction)
{
    const float scaled = fraction * 255.0f + 0.5f;
    // Compared before converting: a huge or NaN fraction never reaches the integer cast.
    if (!(scaled >= 1.0f))
        return rampEntry(0);
    return rampEntry(scaled >= 255.0f ? 255 : int(scaled));
}

} // namespace Stft

namespace {
// 10 lg p for p > 0, to about 1e-4 dB: the exponent from the bits and log2 of the mantissa m in
// [1, 2) from the series of 2 artanh((m - 1)/(m + 1)). Plain arithmetic, so the loop below
// vectorises where std::log10 would run bin by bin.
inline float tenLog10(float p)
{
    const auto bits = std::bit_cast<std::uint32_t>(p);
    const float exponent = float(int(bits >> 23) - 127);
    const float mantissa = std::bit_cast<float>((bits & 0x007fffffu) | 0x3f800000u);
    const float t = (mantissa - 1.0f) / (mantissa + 1.0f);
    const float t2 = t * t;
    const float series = t * (2.885390082f + t2 * (0.961796694f + t2 * (0.577078016f + t2 * (0.412198583f + t2 * 0.320598898f))));
    return 3.010299957f * (exponent + series);
}
} // namespace

void StftColumnMaker::levels(const float *pairs, std::uint16_t *out)
{
    // |X|/N in dB is 10 lg(re^2 + im^2) - 20 lg N. A zero bin comes out far below -100 dB.
    const float offset = 100.0f - 20.0f * std::log10(float(Stft::size));
    for (int k = 0; k < Stft::bins; ++k) {
        const float re = pairs[2 * k], im = pairs[2 * k + 1];
        const float v = (tenLog10(re * re + im * im) + offset) / 70.0f;
        out[k] = std::uint16_t(std::clamp(v, 0.0f, 1.0f) * 65535.0f + 0.5f);
    }
}

namespace {
std::uint16_t *allocateLevels(std::size_t count)
{
    return static_cast<std::uint16_t *>(allocateHugePages(count * sizeof(std::uint16_t)));
}
} // namespace

void detachLargeList(QList<float> &list)
{
    if (list.isDetached())
        return;
    QList<float> copy;
    copy.reserve(list.size());
    adviseHugePages(const_cast<float *>(copy.constData()), std::size_t(list.size()) * sizeof(float));
    copy.append(list.constBegin(), list.constEnd());
    list = std::move(copy);
}

void SpectrogramColumns::Free::operator()(std::uint16_t *levels) const
{
    std::free(levels);
}

StftColumnMaker::StftColumnMaker()
    : window(hannWindow(Stft::size, HannShape::Symmetric)),
      frame(Stft::size),
      spectrum(2 * (Stft::bins + 1))
{
}

void StftColumnMaker::column(const ChannelSamples &source, qsizetype position, std::uint16_t *out,
                             double *magnitudeSum)
{
    const qsizetype first = std::clamp<qsizetype>(-position, 0, Stft::size);
    const qsizetype end = std::clamp<qsizetype>(source.frames - position, first, Stft::size);
    std::fill(frame.begin(), frame.begin() + first, 0.0f);
    if (source.stride == 1) {
        const float *x = source.data + position;
        for (qsizetype i = first; i < end; ++i)
            frame[std::size_t(i)] = x[i] * window[std::size_t(i)];
    } else {
        for (qsizetype i = first; i < end; ++i)
            frame[std::size_t(i)] = source.at(position + i) * window[std::size_t(i)];
    }
    std::fill(frame.begin() + end, frame.end(), 0.0f);

    static const Fft fft(Stft::size);
    auto *bins = reinterpret_cast<std::complex<float> *>(spectrum.data());
    fft.forward(frame.data(), bins);
    levels(spectrum.data(), out);
    if (magnitudeSum) {
        for (int k = 0; k <= Stft::bins; ++k)
            magnitudeSum[k] += std::abs(bins[k]);
    }
}

SpectrogramColumns SpectrogramColumns::forFrames(qsizetype frames, int channels, std::size_t budgetBytes)
{
    SpectrogramColumns made;
    made.hops = Stft::columnCount(frames);
    const double needed = double(made.hops) * Stft::bins * sizeof(std::uint16_t) * std::max(channels, 1);
    made.poolHops = std::max(1, int(std::ceil(needed / double(std::max<std::size_t>(budgetBytes, 1)))));
    // The last stored column may be partly empty, and the coarse copy adds a sixteenth: pool a
    // little more if either breaks the budget.
    const auto fits = [&] {
        qsizetype stored = (made.hops + made.poolHops - 1) / made.poolHops;
        stored += (stored + coarseFactor - 1) / coarseFactor;
        return double(stored) * Stft::bins * sizeof(std::uint16_t) * std::max(channels, 1) <= double(budgetBytes)
               || made.poolHops >= made.hops;
    };
    while (!fits())
        ++made.poolHops;
    made.columns = (made.hops + made.poolHops - 1) / made.poolHops;
    made.levels.reset(allocateLevels(std::size_t(made.columns) * Stft::bins));
    made.coarseColumns = (made.columns + coarseFactor - 1) / coarseFactor;
    made.coarse.reset(allocateLevels(std::size_t(made.coarseColumns) * Stft::bins));
    // Without the memory the clip shows no spectrogram rather than ending the program.
    if (!made.levels || !made.coarse)
        made.hops = made.columns = made.coarseColumns = 0;
    return made;
}

bool SpectrogramColumns::compute(const ChannelSamples &source, qsizetype firstHop, qsizetype endHop,
                                 StftColumnMaker &maker, const std::atomic<bool> *cancel, double *magnitudeSum)
{
    firstHop = std::max<qsizetype>(firstHop, 0);
    endHop = std::min(endHop, hops);
    if (firstHop >= endHop)
        return true;
    std::vector<std::uint16_t> one(poolHops > 1 ? Stft::bins : 0);
    qsizetype c = firstHop / poolHops;
    const qsizetype firstStored = c;
    for (; c * poolHops < endHop; ++c) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
        std::uint16_t *stored = column(c);
        const qsizetype last = std::min((c + 1) * poolHops, hops);
        for (qsizetype h = c * poolHops; h < last; ++h) {
            // A pooled column's hops outside [firstHop, endHop) are recomputed too, but counted
            // into the sum only once, by the caller that asked for them.
            double *sum = h >= firstHop && h < endHop ? magnitudeSum : nullptr;
            if (poolHops == 1) {
                maker.column(source, h * Stft::hop, stored, sum);
                continue;
            }
            maker.column(source, h * Stft::hop, one.data(), sum);
            if (h == c * poolHops)
                std::copy(one.begin(), one.end(), stored);
            else
                for (int k = 0; k < Stft::bins; ++k)
                    stored[k] = std::max(stored[k], one[std::size_t(k)]);
        }
    }
    updateCoarse(firstStored, c);
    return true;
}

void SpectrogramColumns::updateCoarse(qsizetype first, qsizetype end)
{
    first = std::max<qsizetype>(first, 0);
    end = std::min(end, columns);
    for (qsizetype g = first / coarseFactor; g * coarseFactor < end; ++g) {
        std::uint16_t *target = coarse.get() + g * Stft::bins;
        const qsizetype last = std::min((g + 1) * coarseFactor, columns);
        std::copy(column(g * coarseFactor), column(g * coarseFactor) + Stft::bins, target);
        for (qsizetype c = g * coarseFactor + 1; c < last; ++c) {
            const std::uint16_t *levels = column(c);
            for (int k = 0; k < Stft::bins; ++k)
                target[k] = std::max(target[k], levels[k]);
        }
    }
}

std::vector<SpectrogramColumns> computeSpectrogram(const std::vector<ChannelSamples> &channels, std::size_t budgetBytes,
                                                   int threads, const std::atomic<bool> *cancel,
                                                   std::vector<double> *magnitudeSum)
{
    threads = std::max(threads, 1);
    std::vector<SpectrogramColumns> result;
    for (std::size_t c = 0; c < channels.size(); ++c) {
        SpectrogramColumns made = SpectrogramColumns::forFrames(channels[c].frames, int(channels.size()), budgetBytes);
        const bool summed = c == 0 && magnitudeSum;
        std::vector<std::vector<double>> sums(std::size_t(threads), std::vector<double>(summed ? Stft::bins + 1 : 0));
        // Split on coarse-column boundaries, so no two threads write one column of either kind.
        const qsizetype groups = made.coarseCount();
        const qsizetype groupHops = qsizetype(SpectrogramColumns::coarseFactor) * made.pool();
        const auto run = [&](int part) {
            StftColumnMaker maker;
            const qsizetype from = groups * part / threads * groupHops;
            const qsizetype to = groups * (part + 1) / threads * groupHops;
            made.compute(channels[c], from, to, maker, cancel, summed ? sums[std::size_t(part)].data() : nullptr);
        };
        std::vector<std::thread> helpers;
        for (int part = 1; part < threads; ++part)
            helpers.emplace_back(run, part);
        run(0);
        for (std::thread &helper : helpers)
            helper.join();
        if (cancel && cancel->load())
            return {};
        if (summed) {
            magnitudeSum->assign(Stft::bins + 1, 0.0);
            for (const std::vector<double> &sum : sums)
                for (std::size_t k = 0; k < sum.size(); ++k)
                    (*magnitudeSum)[k] += sum[k];
        }
        result.push_back(std::move(made));
    }
    return result;
}
