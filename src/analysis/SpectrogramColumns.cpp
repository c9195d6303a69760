// SPDX-License-Identifier: GPL-3.0-or-later
// Short-time Fourier columns of the spectrogram view, kept as 16-bit levels.
#include "analysis/SpectrogramColumns.h"

#include "audio/Fft.h"
#include "audio/dsp/HannWindow.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <thread>

namespace Stft {

qsizetype columnCount(qsizetype frames)
{
    return frames >= size ? (frames - size) / hop + 1 : 0;
}

std::uint16_t level(float magnitude)
{
    if (!(magnitude > 0.0f))
        return 0;
    const float v = (20.0f * std::log10(magnitude) + 100.0f) / 70.0f;
    return std::uint16_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f));
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
    constexpr float scale = 1.0f / float(Stft::size);
    for (int k = 0; k < Stft::bins; ++k)
        out[k] = Stft::level(std::abs(bins[k]) * scale);
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
    // The last stored column may be partly empty: pool a little more if that breaks the budget.
    const auto fits = [&] {
        const qsizetype stored = (made.hops + made.poolHops - 1) / made.poolHops;
        return double(stored) * Stft::bins * sizeof(std::uint16_t) * std::max(channels, 1) <= double(budgetBytes)
               || made.poolHops >= made.hops;
    };
    while (!fits())
        ++made.poolHops;
    made.columns = (made.hops + made.poolHops - 1) / made.poolHops;
    made.levels.assign(std::size_t(made.columns) * Stft::bins, 0);
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
    for (qsizetype c = firstHop / poolHops; c * poolHops < endHop; ++c) {
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
    return true;
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
        // Split on stored-column boundaries, so no two threads write one column.
        const auto run = [&](int part) {
            StftColumnMaker maker;
            const qsizetype from = made.count() * part / threads * made.pool();
            const qsizetype to = made.count() * (part + 1) / threads * made.pool();
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
