// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch shifting of a mono signal by up to an octave either way, keeping its length.
#include "audio/dsp/PitchShiftProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;
// Frame lengths beyond what 768 kHz needs would only exhaust memory.
constexpr float maxFrameSampleRate = 768000.0f;
// A grain longer than this is treated as this long (about 1.4 s at 768 kHz).
constexpr std::uint64_t maxGrainSamples = std::uint64_t{1} << 20;
// Where fewer frames overlap than in steady state (where the sum of squared windows is 1.5),
// dividing by the tiny window sum would amplify whatever the shifted frame holds near its
// edge into a burst; the head of the output fades in instead.
constexpr float minWindowSum = 1.0f;

double wrapPhase(double phase)
{
    return phase - twoPi * std::round(phase / twoPi);
}

std::uint64_t frameLength(float sampleRate)
{
    float length = 4057.0f;
    if (sampleRate > 0.0f)
        length = std::trunc(std::min(sampleRate, maxFrameSampleRate) * 92.0f / 1000.0f);
    std::uint64_t n = 1024;
    while (static_cast<float>(n) < length)
        n <<= 1;
    return n;
}

std::uint64_t grainSamples(float grainLength)
{
    if (!(grainLength >= 1.0f))
        return 0;
    return std::min(static_cast<std::uint64_t>(std::min(grainLength, 1e9f)), maxGrainSamples);
}

} // namespace

void PitchShiftProcessor::setSampleRate(float rate)
{
    sampleRate = rate;
    grainLength = shiftedGrainLength = rate * 46.0f / 1000.0f;
}

void PitchShiftProcessor::setPitch(float semitones)
{
    pitch = clampParameter(semitones, -12.0f, 12.0f);
    if (grainLength < 1.0f)
        grainLength = 46.0f * sampleRate / 1000.0f;
    shiftedGrainLength = grainLength * std::pow(2.0f, -pitch / 12.0f);
}

void PitchShiftProcessor::setWindowSize(float ms)
{
    windowSize = clampParameter(ms, 5.0f, 100.0f);
    grainLength = windowSize * sampleRate / 1000.0f;
}

void PitchShiftProcessor::setOverlap(float value)
{
    overlap = clampParameter(value, 0.1f, 0.9f);
}

void PitchShiftProcessor::fft(float *data, std::uint64_t n, bool inverse)
{
    if (n < 2 || !std::has_single_bit(n))
        return;
    for (std::uint64_t i = 1, j = 0; i < n; ++i) {
        std::uint64_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
    }
    for (std::uint64_t len = 2; len <= n; len <<= 1) {
        const double theta = (inverse ? -twoPi : twoPi) / static_cast<double>(len);
        const float stepRe = static_cast<float>(std::cos(theta));
        const float stepIm = static_cast<float>(std::sin(theta));
        const std::uint64_t half = len / 2;
        for (std::uint64_t start = 0; start < n; start += len) {
            float wRe = 1.0f;
            float wIm = 0.0f;
            for (std::uint64_t k = 0; k < half; ++k) {
                float *a = data + 2 * (start + k);
                float *b = data + 2 * (start + k + half);
                const float tRe = wRe * b[0] - wIm * b[1];
                const float tIm = wRe * b[1] + wIm * b[0];
                b[0] = a[0] - tRe;
                b[1] = a[1] - tIm;
                a[0] += tRe;
                a[1] += tIm;
                const float nextRe = wRe * stepRe - wIm * stepIm;
                wIm = wRe * stepIm + wIm * stepRe;
                wRe = nextRe;
            }
        }
    }
    if (inverse) {
        const float scale = 1.0f / static_cast<float>(n);
        for (std::uint64_t i = 0; i < 2 * n; ++i)
            data[i] *= scale;
    }
}

void PitchShiftProcessor::reset()
{
    inputBuffer.clear();
    outputBuffer.clear();
    grainPhase = 0.0f;
}

float PitchShiftProcessor::emitGrain() const
{
    const std::uint64_t length = grainSamples(grainLength);
    if (length == 0)
        return 0.0f;
    const std::uint64_t held = inputBuffer.size();
    const std::uint64_t start = length >= held ? 0 : held - length;
    const float scale = 2.0f * std::numbers::pi_v<float> / static_cast<float>(length);
    float value = 0.0f;
    for (std::uint64_t j = 0; j < length && start + j < held; ++j)
        value += 0.5f * (1.0f - std::cos(scale * static_cast<float>(j))) * inputBuffer[start + j];
    return value;
}

void PitchShiftProcessor::process(const float *in, float *out, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n; ++i) {
        inputBuffer.push_back(in[i]);
        if (grainPhase >= 1.0f) {
            grainPhase -= 1.0f;
            outputBuffer.push_back(emitGrain());
        }
        grainPhase += shiftedGrainLength / grainLength;
        if (outputBuffer.empty()) {
            out[i] = 0.0f;
        } else {
            out[i] = outputBuffer.front();
            outputBuffer.erase(outputBuffer.begin());
        }
        // A grain never reads further back than its length; trimming in bulk keeps it cheap.
        const std::uint64_t keep = std::max<std::uint64_t>(grainSamples(grainLength), 1);
        if (inputBuffer.size() >= 2 * keep + 4096)
            inputBuffer.erase(inputBuffer.begin(),
                              inputBuffer.end() - static_cast<std::ptrdiff_t>(keep));
    }
}

void PitchShiftProcessor::processBlock(AudioBlock &block)
{
    for (std::size_t c = 0; c < block.channels.size(); ++c) {
        float *data = block.channels[c].samples.data();
        process(data, data, block.usableSamples(c));
    }
}

void PitchShiftProcessor::phaseVocoderFrame(const float *frameIn, float *frameOut, std::uint64_t N,
                                            float *lastPhase, float *sumPhase, double ratio,
                                            std::uint64_t analysisHop, std::uint64_t synthesisHop)
{
    const std::uint64_t M = N / 2;
    std::vector<float> spectrum(2 * N, 0.0f);
    for (std::uint64_t i = 0; i < N; ++i)
        spectrum[2 * i] = frameIn[i];
    fft(spectrum.data(), N, false);

    std::vector<float> magnitude(M + 1);
    std::vector<float> phase(M + 1);
    std::vector<double> binFrequency(M + 1); // measured, in bins
    const double hop = static_cast<double>(analysisHop);
    for (std::uint64_t k = 0; k <= M; ++k) {
        const float re = spectrum[2 * k];
        const float im = spectrum[2 * k + 1];
        magnitude[k] = std::sqrt(re * re + im * im);
        // The forward transform's positive exponent mirrors the spectrum: a partial's phase
        // in its bin turns backwards. Read it forwards so the measured frequency is right.
        phase[k] = std::atan2(-im, re);
        const double expected = twoPi * static_cast<double>(k) * hop / static_cast<double>(N);
        const double deviation = wrapPhase(double(phase[k]) - double(lastPhase[k]) - expected);
        const double omega = deviation / hop + twoPi * static_cast<double>(k) / static_cast<double>(N);
        binFrequency[k] = omega * static_cast<double>(N) / twoPi;
        // The synthesis phase advances at the shifted frequency. Kept wrapped, so it keeps its
        // precision over hours of frames.
        sumPhase[k] = static_cast<float>(
            wrapPhase(double(sumPhase[k]) + static_cast<double>(synthesisHop) * ratio * omega));
        lastPhase[k] = phase[k];
    }

    // Each peak carries the bins around it (down to the lowest bin before the next peak) as one
    // region, moved by a whole number of bins so the window's spectral shape survives and
    // rotated so the peak's phase is its accumulated synthesis phase. The bins keep their
    // phases relative to the peak; splitting bins one by one instead smears and cancels them.
    std::vector<std::uint64_t> peaks;
    for (std::uint64_t k = 0; k <= M; ++k) {
        const bool aboveLower = k == 0 || magnitude[k] > magnitude[k - 1];
        const bool notBelowUpper = k == M || magnitude[k] >= magnitude[k + 1];
        if (aboveLower && notBelowUpper && magnitude[k] > 0.0f)
            peaks.push_back(k);
    }

    std::vector<double> re(M + 1, 0.0);
    std::vector<double> im(M + 1, 0.0);
    std::uint64_t regionStart = 0;
    for (std::size_t p = 0; p < peaks.size(); ++p) {
        const std::uint64_t peak = peaks[p];
        std::uint64_t regionEnd = M;
        if (p + 1 < peaks.size()) {
            const std::uint64_t next = peaks[p + 1];
            regionEnd = peak;
            for (std::uint64_t k = peak + 1; k < next; ++k)
                if (magnitude[k] < magnitude[regionEnd])
                    regionEnd = k;
            if (regionEnd == peak)
                regionEnd = next - 1;
        }
        // A peak bin is the bin nearest its partial; a wider reading is a transient's noise.
        const double partial = std::clamp(binFrequency[peak], double(peak) - 0.5, double(peak) + 0.5);
        const auto shift = static_cast<std::int64_t>(std::round((ratio - 1.0) * partial));
        const double rotation = double(sumPhase[peak]) - double(phase[peak]);
        for (std::uint64_t k = regionStart; k <= regionEnd; ++k) {
            const std::int64_t target = static_cast<std::int64_t>(k) + shift;
            if (target < 0 || target > static_cast<std::int64_t>(M))
                continue;
            const double theta = double(phase[k]) + rotation;
            re[static_cast<std::size_t>(target)] += double(magnitude[k]) * std::cos(theta);
            im[static_cast<std::size_t>(target)] += double(magnitude[k]) * std::sin(theta);
        }
        regionStart = regionEnd + 1;
    }

    // Back into the transform's mirrored convention, conjugate-symmetric for a real frame.
    for (std::uint64_t j = 0; j <= M; ++j) {
        spectrum[2 * j] = static_cast<float>(re[j]);
        spectrum[2 * j + 1] = static_cast<float>(-im[j]);
    }
    for (std::uint64_t j = 1; j < M; ++j) {
        spectrum[2 * (N - j)] = static_cast<float>(re[j]);
        spectrum[2 * (N - j) + 1] = static_cast<float>(im[j]);
    }
    fft(spectrum.data(), N, true);
    for (std::uint64_t i = 0; i < N; ++i)
        frameOut[i] = spectrum[2 * i];
}

void PitchShiftProcessor::processOffline(const float *in, float *out, std::uint64_t n) const
{
    if (n == 0)
        return;
    if (pitch == 0.0f) {
        std::memcpy(out, in, n * sizeof(float));
        return;
    }
    const double ratio = std::pow(2.0, static_cast<double>(pitch) / 12.0);
    const std::uint64_t N = frameLength(sampleRate);
    const std::uint64_t hop = N / 4;
    const std::uint64_t M = N / 2;

    std::vector<float> window(N);
    for (std::uint64_t i = 0; i < N; ++i)
        window[i] = 0.5f * (1.0f - std::cos(2.0f * std::numbers::pi_v<float> * static_cast<float>(i)
                                            / static_cast<float>(N)));
    std::vector<float> lastPhase(M + 1, 0.0f);
    std::vector<float> sumPhase(M + 1, 0.0f);
    std::vector<float> norm(n, 0.0f);
    std::vector<float> frameIn(N, 0.0f);
    std::vector<float> frameOut(N, 0.0f);
    std::fill(out, out + n, 0.0f);

    for (std::uint64_t p = 0; p <= n; p += hop) {
        for (std::uint64_t k = 0; k < N; ++k)
            frameIn[k] = p + k < n ? in[p + k] * window[k] : 0.0f;
        phaseVocoderFrame(frameIn.data(), frameOut.data(), N, lastPhase.data(), sumPhase.data(),
                          ratio, hop, hop);
        for (std::uint64_t k = 0; k < N && p + k < n; ++k) {
            out[p + k] += frameOut[k] * window[k];
            norm[p + k] += window[k] * window[k];
        }
    }
    for (std::uint64_t j = 0; j < n; ++j)
        out[j] /= std::max(norm[j], minWindowSum);
}
