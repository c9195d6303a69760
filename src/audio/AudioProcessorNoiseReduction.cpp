// SPDX-License-Identifier: GPL-3.0-or-later
// AudioProcessor's spectral noise tools: the radix-2 FFT, the noise profile of a range and
// spectral subtraction over the whole clip with Hann-windowed overlap-add.
#include "audio/AudioProcessor.h"

#include "audio/RadixTwoFft.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bool isUsableFftSize(int n)
{
    // Below 4 the hop N / 4 is 0 and the frame loop would never advance.
    return n >= 4 && (n & (n - 1)) == 0;
}

std::vector<float> hannWindow(int n)
{
    std::vector<float> window(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        window[i] = static_cast<float>((1.0 - std::cos(2.0 * 3.14159265358979323846 * i / (n - 1))) * 0.5);
    return window;
}

} // namespace

void AudioProcessor::fftReal(float *real, float *imag, int n, bool inverse)
{
    RadixTwoFft(n).transform(real, imag, inverse);
}

void AudioProcessor::analyzeNoiseProfile(int startSample, int endSample)
{
    if (samples.isEmpty())
        return;
    const int n = fftSize;
    if (!isUsableFftSize(n)) {
        emit errorOccurred(tr("FFT长度无效: %1").arg(n));
        return;
    }
    const qsizetype start = std::max(startSample, 0);
    const qsizetype end = std::min<qsizetype>(endSample, samples.size());
    if (end - start < n) {
        emit errorOccurred(tr("噪声样本太短，至少需要 %1 个采样点").arg(n));
        return;
    }

    const int bins = n / 2 + 1;
    const int hop = n / 4;
    const std::vector<float> window = hannWindow(n);
    const RadixTwoFft fft(n);
    std::vector<float> real(static_cast<size_t>(n));
    std::vector<float> imag(static_cast<size_t>(n));
    QList<float> profile(bins, 0.0f);
    int frameCount = 0;
    const float *input = samples.constData();
    for (qsizetype frame = start; frame + n <= end; frame += hop) {
        for (int i = 0; i < n; ++i) {
            real[i] = input[frame + i] * window[i];
            imag[i] = 0.0f;
        }
        fft.transform(real.data(), imag.data(), false);
        for (int k = 0; k < bins; ++k)
            profile[k] += std::sqrt(real[k] * real[k] + imag[k] * imag[k]);
        ++frameCount;
    }
    for (float &value : profile) {
        const float mean = value / static_cast<float>(frameCount);
        value = mean * mean;
    }
    noiseProfile = profile;
}

void AudioProcessor::applyNoiseReduction(float strength)
{
    if (samples.isEmpty())
        return;
    const int n = fftSize;
    if (!isUsableFftSize(n)) {
        emit errorOccurred(tr("FFT长度无效: %1").arg(n));
        return;
    }
    const int bins = n / 2 + 1;
    // A profile measured with another frame length does not describe these bins.
    if (noiseProfile.size() != bins) {
        emit errorOccurred(tr("请先框选一段噪声样本并分析噪声特征"));
        return;
    }
    strength = std::isnan(strength) ? 1.0f : std::clamp(strength, 0.0f, 1.0f);

    const int hop = n / 4;
    const std::vector<float> window = hannWindow(n);
    std::vector<float> noiseMagnitude(static_cast<size_t>(bins));
    for (int k = 0; k < bins; ++k)
        noiseMagnitude[k] = std::sqrt(noiseProfile[k]) * strength;

    const size_t total = static_cast<size_t>(samples.size());
    const RadixTwoFft fft(n);
    std::vector<float> output(total, 0.0f);
    std::vector<float> windowSum(total, 0.0f);
    std::vector<float> real(static_cast<size_t>(n));
    std::vector<float> imag(static_cast<size_t>(n));
    const float *input = samples.constData();
    for (size_t position = 0; position + n <= total; position += hop) {
        for (int i = 0; i < n; ++i) {
            real[i] = input[position + i] * window[i];
            imag[i] = 0.0f;
        }
        fft.transform(real.data(), imag.data(), false);
        for (int k = 0; k < bins; ++k) {
            const float power = real[k] * real[k] + imag[k] * imag[k];
            if (std::sqrt(power) < 1e-10f)
                continue;
            const float noise = noiseMagnitude[k];
            float gain = power > 0.0f ? (power - noise * noise) / power : 1.0f;
            if (!(gain > 0.0f))
                gain = 0.0f;
            real[k] *= gain;
            imag[k] *= gain;
            if (k > 0 && k < n / 2) {
                real[n - k] *= gain;
                imag[n - k] *= gain;
            }
        }
        fft.transform(real.data(), imag.data(), true);
        for (int i = 0; i < n; ++i) {
            output[position + i] += real[i] * window[i];
            windowSum[position + i] += window[i] * window[i];
        }
    }

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
