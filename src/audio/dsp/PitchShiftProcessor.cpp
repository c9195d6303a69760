// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch shifting of a mono signal by up to an octave either way, keeping its length.
#include "audio/dsp/PitchShiftProcessor.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DspParameter.h"
#include "audio/dsp/HannWindow.h"
#include "audio/dsp/OverlapAddNorm.h"
#include "audio/Fft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numbers>
#include <span>
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

// Into -pi..pi, the nearest turn rounded half away from zero. Truncating the integer
// conversion vectorises where std::round is a library call, and this runs per bin. The phases
// here stay far below 2^31 turns.
double wrapPhase(double phase)
{
    const double turns = phase * (1.0 / twoPi);
    return phase - twoPi * static_cast<double>(static_cast<std::int32_t>(turns + std::copysign(0.5, turns)));
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

// atan2 in single precision without a library call, so the per-bin phase loop vectorises.
// Cephes' atanf reduction and polynomial: within 2e-7 rad of the exact angle, as close as
// atan2f itself rounds. Both parts 0 give 0.
float phaseOf(float re, float im)
{
    const float x = std::fabs(re);
    const float y = std::fabs(im);
    // Never 0/0: with both parts 0 the quotient is 0 / the smallest float.
    const float a = std::min(x, y) / std::max(std::max(x, y), std::numeric_limits<float>::denorm_min());
    constexpr float tanEighthPi = 0.41421356f;
    const bool reduce = a > tanEighthPi;
    const float reduced = (a - 1.0f) / (a + 1.0f);
    const float t = reduce ? reduced : a;
    const float z = t * t;
    float angle = (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z - 3.33329491539e-1f)
                      * z * t + t;
    angle += reduce ? std::numbers::pi_v<float> / 4.0f : 0.0f;
    angle = y > x ? std::numbers::pi_v<float> / 2.0f - angle : angle;
    angle = re < 0.0f ? std::numbers::pi_v<float> - angle : angle;
    return im < 0.0f ? -angle : angle;
}

// The FFT's largest length; beyond it the FFT leaves its data alone.
constexpr std::uint64_t maxFftLength = std::uint64_t{1} << 30;

// One frame length's transform and work arrays, made once and reused frame after frame.
class VocoderFrame
{
public:
    explicit VocoderFrame(std::uint64_t N)
        : N(N), M(N / 2), fft(N <= maxFftLength ? static_cast<int>(N) : 0), bins(M + 1), magnitude(M + 1),
          phase(M + 1), binFrequency(M + 1), shifted(M + 1)
    {
        peaks.reserve(M + 1);
    }

    void run(const float *frameIn, float *frameOut, float *lastPhase, float *sumPhase, double ratio,
             std::uint64_t analysisHop, std::uint64_t synthesisHop);

private:
    void analyse(float *lastPhase, float *sumPhase, double ratio, std::uint64_t analysisHop,
                 std::uint64_t synthesisHop);
    void findPeaks();
    void movePeakRegions(const float *sumPhase, double ratio);

    std::uint64_t N;
    std::uint64_t M;
    Fft fft;
    std::vector<std::complex<float>> bins;
    std::vector<float> magnitude;
    std::vector<float> phase;
    std::vector<double> binFrequency; // measured, in bins
    std::vector<std::uint64_t> peaks;
    std::vector<std::complex<float>> shifted;
};

void VocoderFrame::run(const float *frameIn, float *frameOut, float *lastPhase, float *sumPhase, double ratio,
                       std::uint64_t analysisHop, std::uint64_t synthesisHop)
{
    if (fft.size() == 0) {
        std::fill(frameOut, frameOut + N, 0.0f);
        return;
    }
    fft.forward(frameIn, bins.data());
    analyse(lastPhase, sumPhase, ratio, analysisHop, synthesisHop);
    findPeaks();
    movePeakRegions(sumPhase, ratio);
    fft.inverse(shifted.data(), frameOut);
}

void VocoderFrame::analyse(float *lastPhase, float *sumPhase, double ratio, std::uint64_t analysisHop,
                           std::uint64_t synthesisHop)
{
    // Three passes with few dependencies between them, each vectorised.
    const float *__restrict parts = reinterpret_cast<const float *>(bins.data());
    float *__restrict level = magnitude.data();
    for (std::uint64_t k = 0; k <= M; ++k)
        level[k] = std::sqrt(parts[2 * k] * parts[2 * k] + parts[2 * k + 1] * parts[2 * k + 1]);
    float *__restrict angle = phase.data();
    for (std::uint64_t k = 0; k <= M; ++k)
        angle[k] = phaseOf(parts[2 * k], parts[2 * k + 1]);

    const double hop = static_cast<double>(analysisHop);
    const double binStep = twoPi / static_cast<double>(N); // radians per sample of bin 1
    const double expectedStep = binStep * hop;
    const double perHop = 1.0 / hop;
    const double binsPerRadian = 1.0 / binStep;
    const double synthesisAdvance = static_cast<double>(synthesisHop) * ratio;
    const float *__restrict measured = phase.data();
    double *__restrict frequency = binFrequency.data();
    const auto binCount = static_cast<std::int32_t>(M + 1);
    for (std::int32_t k = 0; k < binCount; ++k) {
        const double expected = expectedStep * static_cast<double>(k);
        const double deviation = wrapPhase(double(measured[k]) - double(lastPhase[k]) - expected);
        const double omega = deviation * perHop + binStep * static_cast<double>(k);
        frequency[k] = omega * binsPerRadian;
        // The synthesis phase advances at the shifted frequency. Kept wrapped, so it keeps its
        // precision over hours of frames.
        sumPhase[k] = static_cast<float>(wrapPhase(double(sumPhase[k]) + synthesisAdvance * omega));
        lastPhase[k] = measured[k];
    }
}

void VocoderFrame::findPeaks()
{
    peaks.clear();
    for (std::uint64_t k = 0; k <= M; ++k) {
        const bool aboveLower = k == 0 || magnitude[k] > magnitude[k - 1];
        const bool notBelowUpper = k == M || magnitude[k] >= magnitude[k + 1];
        if (aboveLower && notBelowUpper && magnitude[k] > 0.0f)
            peaks.push_back(k);
    }
}

// Each peak carries the bins around it (down to the lowest bin before the next peak) as one
// region, moved by a whole number of bins so the window's spectral shape survives and rotated
// so the peak's phase is its accumulated synthesis phase. The bins keep their phases relative
// to the peak; splitting bins one by one instead smears and cancels them.
void VocoderFrame::movePeakRegions(const float *sumPhase, double ratio)
{
    std::fill(shifted.begin(), shifted.end(), std::complex<float>());
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
        // One rotation for the whole region: each bin times it is the bin at its own phase
        // plus the rotation, without a cosine and sine per bin.
        const float rotation = sumPhase[peak] - phase[peak];
        const std::complex<float> turn(std::cos(rotation), std::sin(rotation));
        const std::int64_t first = std::max<std::int64_t>(static_cast<std::int64_t>(regionStart), -shift);
        const std::int64_t last = std::min<std::int64_t>(static_cast<std::int64_t>(regionEnd),
                                                         static_cast<std::int64_t>(M) - shift);
        if (first <= last) {
            const float *__restrict source = reinterpret_cast<const float *>(bins.data() + first);
            float *__restrict target = reinterpret_cast<float *>(shifted.data() + first + shift);
            for (std::int64_t j = 0; j <= last - first; ++j) {
                const float binRe = source[2 * j];
                const float binIm = source[2 * j + 1];
                target[2 * j] += binRe * turn.real() - binIm * turn.imag();
                target[2 * j + 1] += binRe * turn.imag() + binIm * turn.real();
            }
        }
        regionStart = regionEnd + 1;
    }
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
    if (n < 2 || !std::has_single_bit(n) || n > maxFftLength)
        return;
    // This forward is the usual inverse without its 1/n, this inverse the usual forward with it.
    // Scaling by a power of two is exact.
    const Fft transform(static_cast<int>(n));
    auto *values = reinterpret_cast<std::complex<float> *>(data);
    transform.transform(values, !inverse);
    const float scale = inverse ? 1.0f / static_cast<float>(n) : static_cast<float>(n);
    for (std::uint64_t i = 0; i < n; ++i)
        values[i] *= scale;
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
    float value = 0.0f;
    for (std::uint64_t j = 0; j < length && start + j < held; ++j)
        value += hannPoint(j, length) * inputBuffer[start + j];
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
    VocoderFrame(N).run(frameIn, frameOut, lastPhase, sumPhase, ratio, analysisHop, synthesisHop);
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

    const std::vector<float> window = hannWindow(N, HannShape::Periodic);
    std::vector<float> squaredWindow(N);
    for (std::uint64_t k = 0; k < N; ++k)
        squaredWindow[k] = window[k] * window[k];
    OverlapAddNorm norms(std::move(squaredWindow), hop);
    VocoderFrame vocoder(N);
    std::vector<float> lastPhase(M + 1, 0.0f);
    std::vector<float> sumPhase(M + 1, 0.0f);
    std::vector<float> frameIn(N, 0.0f);
    std::vector<float> frameOut(N, 0.0f);

    std::uint64_t written = 0; // out[0, written) holds this call's sums
    for (std::uint64_t p = 0; p <= n; p += hop) {
        const std::uint64_t end = std::min(N, n - p);
        for (std::uint64_t k = 0; k < end; ++k)
            frameIn[k] = in[p + k] * window[k];
        std::fill(frameIn.begin() + static_cast<std::ptrdiff_t>(end), frameIn.end(), 0.0f);
        vocoder.run(frameIn.data(), frameOut.data(), lastPhase.data(), sumPhase.data(), ratio, hop, hop);
        // Added onto the frames before it, written where none reached yet: out needs no clearing.
        const std::uint64_t overlapEnd = std::min(end, written - p);
        for (std::uint64_t k = 0; k < overlapEnd; ++k)
            out[p + k] += frameOut[k] * window[k];
        for (std::uint64_t k = overlapEnd; k < end; ++k)
            out[p + k] = frameOut[k] * window[k];
        written = p + end;
        // No later frame reaches below the next one's start: that stretch is final.
        const std::span<const float> sums = norms.hopAt(p);
        for (std::uint64_t j = p; j < std::min(p + hop, n); ++j)
            out[j] /= std::max(sums[j - p], minWindowSum);
    }
}
