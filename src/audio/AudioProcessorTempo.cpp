// SPDX-License-Identifier: GPL-3.0-or-later
// AudioProcessor's tempo estimate: the autocorrelation of an energy-onset signal at about
// 100 steps per second, searched between 0.3 s and 1 s.
#include "audio/AudioProcessor.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

AudioProcessor::TempoResult tempoFailure(const QString &error)
{
    AudioProcessor::TempoResult result;
    result.error = error;
    return result;
}

} // namespace

AudioProcessor::TempoResult AudioProcessor::detectTempo() const
{
    if (samples.isEmpty())
        return tempoFailure(tr("没有音频数据"));
    if (sampleRate <= 0)
        return tempoFailure(tr("采样率无效"));
    // The callers always pass at least one channel; a stride of 0 reads the list as mono.
    const qsizetype stride = std::max(channels, 1);

    const int q = sampleRate >= 22050 ? sampleRate / 11025 : 1;
    const int r = sampleRate / q;
    const qsizetype workingFrames = (samples.size() / stride) / q;
    if (workingFrames < r)
        return tempoFailure(tr("音频太短（至少需要 1 秒）"));

    const float *s = samples.constData();
    const qsizetype size = samples.size();
    const auto at = [s, size](qsizetype index) { return index < size ? s[index] : 0.0f; };
    std::vector<float> x(static_cast<size_t>(workingFrames));
    for (qsizetype i = 0; i < workingFrames; ++i) {
        x[i] = stride == 2 ? 0.5f * at(2 * q * i) + 0.5f * at(2 * q * i + 1) : at(q * i);
    }

    const int h = r >= 200 ? r / 100 : 1;
    const qsizetype envelopeLength = workingFrames / h;
    if (envelopeLength < 20)
        return tempoFailure(tr("音频太短（至少需要 1 秒）"));
    std::vector<float> envelope(static_cast<size_t>(envelopeLength));
    for (qsizetype k = 0; k < envelopeLength; ++k) {
        float energy = 0.0f;
        for (int j = 0; j < h; ++j) {
            const float v = x[k * h + j];
            energy += v * v;
        }
        envelope[k] = std::sqrt(energy / static_cast<float>(h));
    }
    x = {};

    const qsizetype n = envelopeLength - 1;
    std::vector<float> onsets(static_cast<size_t>(n));
    for (qsizetype k = 0; k < n; ++k)
        onsets[k] = std::max(envelope[k + 1] - envelope[k], 0.0f);

    const qsizetype shortestLag = std::max<qsizetype>(1, static_cast<qsizetype>(std::floor(0.3 * r / h)));
    const qsizetype longestLag = std::min<qsizetype>(r / h, envelopeLength - 2);
    if (shortestLag >= longestLag)
        return tempoFailure(tr("音频太短，无法检测速度"));

    std::vector<float> correlation(static_cast<size_t>(longestLag + 1));
    for (qsizetype lag = 0; lag <= longestLag; ++lag) {
        float sum = 0.0f;
        for (qsizetype i = 0; i < n - lag; ++i)
            sum += onsets[i] * onsets[i + lag];
        correlation[lag] = sum / static_cast<float>(n - lag);
    }
    if (correlation[0] > 1e-10f) {
        const float zeroLag = correlation[0];
        for (float &value : correlation)
            value /= zeroLag;
    }

    qsizetype best = shortestLag;
    float peak = correlation[shortestLag];
    for (qsizetype lag = shortestLag + 1; lag <= longestLag; ++lag) {
        if (correlation[lag] > peak && correlation[lag] > correlation[lag - 1]) {
            best = lag;
            peak = correlation[lag];
        }
    }
    if (peak <= 0.01f) {
        const auto first = correlation.begin() + shortestLag;
        const auto highest = std::max_element(first, correlation.begin() + longestLag + 1);
        best = highest - correlation.begin();
        peak = *highest;
    }

    double bpm = 60.0 / ((static_cast<double>(best) * h) / r);
    if (bpm < 60.0) {
        while (bpm < 60.0)
            bpm *= 2.0;
    } else {
        while (bpm > 200.0)
            bpm /= 2.0;
    }

    double mean = 0.0;
    for (qsizetype lag = shortestLag; lag <= longestLag; ++lag)
        mean += correlation[lag];
    mean /= static_cast<double>(longestLag - shortestLag + 1);
    const double confidence = std::clamp((peak - mean) / std::max(1.0 - mean, 0.01), 0.0, 1.0);

    TempoResult result;
    result.bpm = bpm;
    result.confidence = confidence;
    result.ok = true;
    return result;
}
