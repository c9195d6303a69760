// SPDX-License-Identifier: GPL-3.0-or-later
// AudioProcessor's spectral noise tools: the radix-2 FFT, the noise profile of a range and
// spectral subtraction over the whole clip with Hann-windowed overlap-add.
#include "audio/AudioProcessor.h"

#include "audio/Fft.h"
#include "audio/dsp/DspParameter.h"
#include "audio/dsp/HannWindow.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace {

// Both noise steps need a power-of-two frame length; any other is reported and refused.
bool usableFftSize(AudioProcessor &processor)
{
    const int n = processor.fftSize;
    // Below 4 the hop N / 4 is 0 and the frame loop would never advance.
    if (n >= 4 && (n & (n - 1)) == 0)
        return true;
    emit processor.errorOccurred(AudioProcessor::tr("FFT长度无效: %1").arg(n));
    return false;
}

// Runs `use(position, bins)` on the spectrum of each Hann-windowed frame that fits whole
// between start and end, frames a quarter of their length apart.
template<typename Use>
void forEachFrameSpectrum(const float *input, qsizetype start, qsizetype end, const std::vector<float> &window,
                          const Fft &fft, Use use)
{
    const qsizetype n = fft.size();
    std::vector<float> frame(static_cast<size_t>(n));
    std::vector<std::complex<float>> bins(static_cast<size_t>(n / 2 + 1));
    for (qsizetype position = start; position + n <= end; position += n / 4) {
        for (qsizetype i = 0; i < n; ++i)
            frame[i] = input[position + i] * window[i];
        fft.forward(frame.data(), bins.data());
        use(position, bins);
    }
}

} // namespace

void AudioProcessor::fftReal(float *real, float *imag, int n, bool inverse)
{
    Fft(n).transform(real, imag, inverse);
}

void AudioProcessor::analyzeNoiseProfile(int startSample, int endSample)
{
    if (samples.isEmpty() || !usableFftSize(*this))
        return;
    const int n = fftSize;
    const qsizetype start = std::max(startSample, 0);
    const qsizetype end = std::min<qsizetype>(endSample, samples.size());
    if (end - start < n) {
        emit errorOccurred(tr("噪声样本太短，至少需要 %1 个采样点").arg(n));
        return;
    }

    QList<float> profile(n / 2 + 1, 0.0f);
    int frameCount = 0;
    forEachFrameSpectrum(samples.constData(), start, end, hannWindow(n, HannShape::Symmetric), Fft(n),
                         [&](qsizetype, const std::vector<std::complex<float>> &bins) {
                             for (qsizetype k = 0; k < profile.size(); ++k)
                                 profile[k] += std::abs(bins[k]);
                             ++frameCount;
                         });
    for (float &value : profile) {
        const float mean = value / static_cast<float>(frameCount);
        value = mean * mean;
    }
    noiseProfile = profile;
}

void AudioProcessor::applyNoiseReduction(float strength)
{
    if (samples.isEmpty() || !usableFftSize(*this))
        return;
    const int n = fftSize;
    const int binCount = n / 2 + 1;
    // A profile measured with another frame length does not describe these bins.
    if (noiseProfile.size() != binCount) {
        emit errorOccurred(tr("请先框选一段噪声样本并分析噪声特征"));
        return;
    }
    strength = clampParameter(strength, 0.0f, 1.0f);

    const int hop = n / 4;
    const std::vector<float> window = hannWindow(n, HannShape::Symmetric);
    std::vector<float> noiseMagnitude(static_cast<size_t>(binCount));
    for (int k = 0; k < binCount; ++k)
        noiseMagnitude[k] = std::sqrt(noiseProfile[k]) * strength;

    const size_t total = static_cast<size_t>(samples.size());
    const Fft fft(n);
    std::vector<float> output(total, 0.0f);
    std::vector<float> windowSum(total, 0.0f);
    std::vector<float> restored(static_cast<size_t>(n));
    forEachFrameSpectrum(samples.constData(), 0, samples.size(), window, fft,
                         [&](qsizetype position, std::vector<std::complex<float>> &bins) {
                             for (int k = 0; k < binCount; ++k) {
                                 const float power = std::norm(bins[k]);
                                 if (std::sqrt(power) < 1e-10f)
                                     continue;
                                 const float noise = noiseMagnitude[k];
                                 const float gain = (power - noise * noise) / power;
                                 bins[k] *= gain > 0.0f ? gain : 0.0f;
                             }
                             fft.inverse(bins.data(), restored.data());
                             for (int i = 0; i < n; ++i) {
                                 output[position + i] += restored[i] * window[i];
                                 windowSum[position + i] += window[i] * window[i];
                             }
                         });

    // Near the clip's ends only one or two frames overlap and the window sum falls toward 0;
    // dividing by it there magnifies the frames' errors a thousandfold. Below half the
    // steady-state sum the result fades into the untouched input instead.
    float windowEnergy = 0.0f;
    for (float w : window)
        windowEnergy += w * w;
    const float floorSum = 0.5f * windowEnergy / static_cast<float>(hop);
    float *data = samples.data();
    for (size_t i = 0; i < total; ++i) {
        const float sum = windowSum[i];
        if (sum <= 1e-6f)
            continue;
        if (sum >= floorSum)
            data[i] = output[i] / sum;
        else
            data[i] = (output[i] + (floorSum - sum) * data[i]) / floorSum;
    }
    emit audioProcessed();
}
