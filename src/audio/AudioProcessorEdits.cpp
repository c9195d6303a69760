// SPDX-License-Identifier: GPL-3.0-or-later
// AudioProcessor's simple in-place edits (gain, one-pole filters, fades, reversal,
// normalisation, cutting, inserting and copying a range) and its unit conversions.
#include "audio/AudioProcessor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

// ms x rate / 1000 truncated toward zero; 128-bit so that no argument can overflow,
// then held within int, since frame indices are ints.
int framesOfMs(qint64 ms, int sampleRate)
{
    const __int128 frames = static_cast<__int128>(ms) * sampleRate / 1000;
    return static_cast<int>(std::clamp<__int128>(frames, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

float onePoleRc(float cutoffHz)
{
    return static_cast<float>(1.0 / (static_cast<double>(cutoffHz) * 2.0 * std::numbers::pi));
}

} // namespace

void AudioProcessor::applyGain(float gain)
{
    if (samples.isEmpty())
        return;
    // Gain only attenuates.
    if (std::isnan(gain) || gain >= 1.0f)
        gain = 1.0f;
    else if (gain <= 0.0f)
        gain = 0.0f;
    for (float &x : samples)
        x *= gain;
    emit audioProcessed();
}

void AudioProcessor::applyGainDB(float gainDb)
{
    applyGain(std::pow(10.0f, gainDb / 20.0f));
}

void AudioProcessor::applyLowPassFilter(float cutoffHz)
{
    // A cutoff of 0 or below (or NaN) gives no usable time constant.
    if (samples.isEmpty() || sampleRate <= 0 || !(cutoffHz > 0.0f))
        return;
    const float rc = onePoleRc(cutoffHz);
    const float dt = 1.0f / static_cast<float>(sampleRate);
    const float alpha = dt / (rc + dt);
    const qsizetype total = samples.size();
    float *data = samples.data();
    for (qsizetype c = 0; c < channels && c < total; ++c) {
        float y = data[c];
        for (qsizetype i = c; i < total; i += channels) {
            y = y + (data[i] - y) * alpha;
            data[i] = y;
        }
    }
    emit audioProcessed();
}

void AudioProcessor::applyHighPassFilter(float cutoffHz)
{
    if (samples.isEmpty() || sampleRate <= 0 || !(cutoffHz > 0.0f))
        return;
    const float rc = onePoleRc(cutoffHz);
    const float dt = 1.0f / static_cast<float>(sampleRate);
    const float alpha = rc / (rc + dt);
    const qsizetype total = samples.size();
    float *data = samples.data();
    for (qsizetype c = 0; c < channels && c < total; ++c) {
        float previousInput = data[c];
        float previousOutput = data[c];
        for (qsizetype i = c; i < total; i += channels) {
            const float x = data[i];
            const float y = alpha * (previousOutput + x - previousInput);
            data[i] = y;
            previousInput = x;
            previousOutput = y;
        }
    }
    emit audioProcessed();
}

void AudioProcessor::fadeIn(int durationMs)
{
    if (samples.isEmpty() || channels <= 0)
        return;
    const qsizetype frames = samples.size() / channels;
    const qsizetype n = std::clamp<qsizetype>(framesOfMs(durationMs, sampleRate), 0, frames);
    float *data = samples.data();
    for (qsizetype i = 0; i < n; ++i) {
        const float gain = static_cast<float>(i) / static_cast<float>(n);
        for (qsizetype c = 0; c < channels; ++c)
            data[i * channels + c] *= gain;
    }
    emit audioProcessed();
}

void AudioProcessor::fadeOut(int durationMs)
{
    if (samples.isEmpty() || channels <= 0)
        return;
    const qsizetype frames = samples.size() / channels;
    const qsizetype n = std::clamp<qsizetype>(framesOfMs(durationMs, sampleRate), 0, frames);
    float *data = samples.data();
    for (qsizetype j = 0; j < n; ++j) {
        const float gain = static_cast<float>(n - j) / static_cast<float>(n);
        const qsizetype frame = frames - n + j;
        for (qsizetype c = 0; c < channels; ++c)
            data[frame * channels + c] *= gain;
    }
    emit audioProcessed();
}

void AudioProcessor::reverse()
{
    if (samples.isEmpty())
        return;
    std::reverse(samples.begin(), samples.end());
    emit audioProcessed();
}

void AudioProcessor::normalize(float targetPeak)
{
    if (samples.isEmpty())
        return;
    float peak = 0.0f;
    for (float x : samples)
        peak = std::max(peak, std::fabs(x));
    if (peak > 0.0f)
        applyGain(targetPeak / peak);
}

void AudioProcessor::deleteSegment(qint64 startMs, qint64 endMs)
{
    if (samples.isEmpty() || channels <= 0)
        return;
    const qsizetype frames = samples.size() / channels;
    const qsizetype start = std::clamp<qsizetype>(framesOfMs(startMs, sampleRate), 0, std::max<qsizetype>(frames - 1, 0));
    const qsizetype end = std::clamp<qsizetype>(framesOfMs(endMs, sampleRate), start, frames);
    const qsizetype removed = end - start;
    float *data = samples.data();
    std::copy(data + end * channels, data + frames * channels, data + start * channels);
    samples.resize((frames - removed) * channels);
    emit audioProcessed();
}

void AudioProcessor::insertSegment(const QList<float> &segment, qint64 positionMs)
{
    if (segment.isEmpty() || channels <= 0)
        return;
    const qsizetype frames = samples.size() / channels;
    const qsizetype inserted = segment.size() / channels;
    const qsizetype position = std::clamp<qsizetype>(framesOfMs(positionMs, sampleRate), 0, frames);
    samples.resize((frames + inserted) * channels);
    float *data = samples.data();
    std::copy_backward(data + position * channels, data + frames * channels, data + (frames + inserted) * channels);
    std::copy(segment.constData(), segment.constData() + inserted * channels, data + position * channels);
    emit audioProcessed();
}

QList<float> AudioProcessor::extractSegment(qint64 startMs, qint64 endMs) const
{
    if (samples.isEmpty() || channels <= 0)
        return {};
    const qsizetype frames = samples.size() / channels;
    const qsizetype start = std::clamp<qsizetype>(framesOfMs(startMs, sampleRate), 0, std::max<qsizetype>(frames - 1, 0));
    const qsizetype end = std::clamp<qsizetype>(framesOfMs(endMs, sampleRate), start, frames);
    return samples.mid(start * channels, (end - start) * channels);
}

float AudioProcessor::linearToDB(float linear) const
{
    return linear > 0.0f ? 20.0f * std::log10(linear) : -96.0f;
}

float AudioProcessor::dBToLinear(float db) const
{
    return std::pow(10.0f, db / 20.0f);
}

int AudioProcessor::msToSamples(qint64 ms) const
{
    return framesOfMs(ms, sampleRate);
}

qint64 AudioProcessor::samplesToMs(int frameCount) const
{
    if (sampleRate == 0)
        return 0;
    return static_cast<qint64>(frameCount) * 1000 / sampleRate;
}
