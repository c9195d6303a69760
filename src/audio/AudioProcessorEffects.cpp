// SPDX-License-Identifier: GPL-3.0-or-later
// AudioProcessor's destructive effects: parametric equaliser, feedback delay, reverb,
// compressor, exciter and stereo width, each one pass over the clip in place.
#include "audio/AudioProcessor.h"

#include "audio/BiquadCoefficients.h"
#include "audio/DecodedAudio.h"
#include "audio/dsp/DelayLine.h"
#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

namespace {

// Whole milliseconds of a time, scaled to frames as sampleRate x ms / 1000 in 64 bits.
qint64 framesOfWholeMs(int sampleRate, float ms)
{
    return static_cast<qint64>(sampleRate) * static_cast<qint64>(ms) / 1000;
}

} // namespace

void AudioProcessor::applyParametricEQ(const float *frequencies, const float *gains, const float *qs,
                                       const int *types, const bool *enabled, int count)
{
    if (samples.isEmpty() || sampleRate <= 0)
        return;
    if (channels >= 1 && frequencies && gains && qs && types && enabled) {
        std::vector<BiquadCoefficients> sections;
        for (int band = 0; band < count; ++band) {
            if (!enabled[band])
                continue;
            if (const std::optional<BiquadCoefficients> section =
                    BiquadCoefficients::forBand(types[band], frequencies[band], gains[band], qs[band], sampleRate))
                sections.push_back(*section);
        }
        BiquadCoefficients::processInterleaved(sections, std::span<float>(samples.data(), samples.size()),
                                               channels);
    }
    emit audioProcessed();
}

void AudioProcessor::applyDelay(float mix, int delayMs, float feedback)
{
    if (samples.isEmpty() || sampleRate <= 0 || channels < 1)
        return;
    mix = clampEffectArgument(mix, 0.0f, 1.0f);
    feedback = clampEffectArgument(feedback, 0.0f, 0.95f);
    delayMs = std::clamp(delayMs, 1, 5000);
    const size_t length = static_cast<size_t>(std::max<qint64>(1, static_cast<qint64>(sampleRate) * delayMs / 1000));

    DelayLine ring(length);
    const size_t stride = static_cast<size_t>(channels);
    float *data = samples.data();
    const size_t total = static_cast<size_t>(samples.size());
    for (size_t c = 0; c < stride; ++c) {
        ring.clear();
        float lowPass = 0.0f;
        for (size_t i = c; i < total; i += stride) {
            const float x = data[i];
            const float delayed = ring.oldest();
            lowPass = 0.3f * lowPass + 0.7f * delayed;
            ring.push(lowPass * feedback + x);
            data[i] = (1.0f - mix) * x + mix * delayed;
        }
    }
    emit audioProcessed();
}

void AudioProcessor::applyReverb(float mix, float roomSize, float damping, float preDelayMs, float decay)
{
    // A stride below 1 has no frames to read.
    if (samples.isEmpty() || sampleRate <= 0 || channels < 1)
        return;
    const qint64 frames = samples.size() / channels;
    if (frames < 1)
        return;
    mix = clampEffectArgument(mix, 0.0f, 1.0f);
    roomSize = clampEffectArgument(roomSize, 0.1f, 1.0f);
    damping = clampEffectArgument(damping, 0.0f, 1.0f);
    decay = clampEffectArgument(decay, 0.0f, 1.0f);
    qint64 preDelay = 0;
    if (preDelayMs >= 200.0f)
        preDelay = framesOfWholeMs(sampleRate, 200.0f);
    else if (preDelayMs > 0.0f)
        preDelay = framesOfWholeMs(sampleRate, preDelayMs);
    preDelay = std::clamp<qint64>(preDelay, 0, frames - 1);

    const float feedback = decay * 0.95f;
    const float newestWeight = 1.0f - 0.8f * damping;
    // Every line holds at least one sample.
    const auto lineLength = [this](float ms) {
        return static_cast<size_t>(std::max<qint64>(1, framesOfWholeMs(sampleRate, ms)));
    };
    const std::array<float, 4> combMs = {29.7f, 37.1f, 41.1f, 43.7f};
    std::vector<DampedComb> combs;
    for (float ms : combMs)
        combs.emplace_back(lineLength(ms * roomSize));
    std::array<AllPassDiffuser, 2> allPasses = {AllPassDiffuser(lineLength(5.0f * roomSize)),
                                                AllPassDiffuser(lineLength(1.7f * roomSize))};
    // The dry samples the pre-delay still needs, since the output overwrites them.
    DelayLine preDelayLine(static_cast<size_t>(std::max<qint64>(1, preDelay)));

    const size_t stride = static_cast<size_t>(channels);
    float *data = samples.data();
    for (size_t c = 0; c < stride; ++c) {
        for (DampedComb &comb : combs)
            comb.clear();
        for (AllPassDiffuser &allPass : allPasses)
            allPass.clear();
        preDelayLine.clear();
        for (qint64 frame = 0; frame < frames; ++frame) {
            float &sample = data[static_cast<size_t>(frame) * stride + c];
            const float dry = sample;
            float input = dry;
            if (preDelay > 0) {
                input = preDelayLine.oldest();
                preDelayLine.push(dry);
            }
            // Same summation order as running each comb over the whole channel in turn.
            float wet = 0.0f;
            for (DampedComb &comb : combs)
                wet += comb.process(input, feedback, newestWeight);
            wet *= 0.25f;
            for (AllPassDiffuser &allPass : allPasses)
                wet = allPass.process(wet);
            sample = (1.0f - mix) * dry + mix * wet;
        }
    }
    emit audioProcessed();
}

float AudioProcessor::compressionReductionDb(float levelDb, float thresholdDb, float ratio, float kneeDb)
{
    if (!(ratio > 1.0f))
        return 0.0f;
    kneeDb = std::max(kneeDb, 0.0f);
    const float halfKnee = kneeDb * 0.5f;
    const float slope = 1.0f - 1.0f / ratio;
    if (levelDb > thresholdDb + halfKnee)
        return slope * (levelDb - thresholdDb);
    if (levelDb > thresholdDb - halfKnee) {
        const float over = levelDb - thresholdDb + halfKnee;
        return slope * over * over / (2.0f * kneeDb);
    }
    return 0.0f;
}

void AudioProcessor::applyCompression(float thresholdDb, float ratio, float attackMs, float releaseMs,
                                      float makeupDb, float kneeDb)
{
    if (samples.isEmpty()
        || !compressValues(samples.data(), samples.size(), 1, sampleRate, thresholdDb, ratio, attackMs, releaseMs,
                           makeupDb, kneeDb))
        return;
    emit audioProcessed();
}

bool AudioProcessor::compressValues(float *values, qsizetype count, qsizetype stride, int sampleRate,
                                    float thresholdDb, float ratio, float attackMs, float releaseMs, float makeupDb,
                                    float kneeDb)
{
    // A NaN here, or an infinite level or knee, would turn the whole clip into NaN; such
    // settings are refused.
    if (!(ratio > 1.0f) || sampleRate <= 0 || !std::isfinite(thresholdDb) || std::isnan(attackMs)
        || std::isnan(releaseMs) || !std::isfinite(makeupDb) || !std::isfinite(kneeDb))
        return false;
    // A negative time would give a coefficient above 1 and a gain that runs away.
    const auto smoothing = [sampleRate](float ms) {
        const float framesOfTime = std::max(ms, 0.0f) * 0.001f * static_cast<float>(sampleRate);
        return framesOfTime > 0.0f ? std::exp(-1.0f / framesOfTime) : 0.0f;
    };
    const float attack = smoothing(attackMs);
    const float release = smoothing(releaseMs);
    const float makeup = std::pow(10.0f, makeupDb / 20.0f);
    const float halfKnee = std::max(kneeDb, 0.0f) * 0.5f;

    // 20 log10(x) = (20 / ln 10) ln(x): the natural logarithm and exponential are far
    // cheaper per sample than log10 and pow, and agree with them to float precision.
    constexpr float decibelsPerNeper = static_cast<float>(20.0 / std::numbers::ln10);

    // Samples clearly below the knee need no reduction (a target of exactly 1); the margin
    // keeps the shortcut on the same side of the knee as the logarithm would be.
    const float quietBelow = std::pow(10.0f, (thresholdDb - halfKnee) / 20.0f) * (1.0f - 1e-4f);

    // Unity start: the clip begins at its own level instead of fading in from silence.
    float gain = 1.0f;
    for (qsizetype i = 0; i < count; ++i) {
        float &x = values[i * stride];
        const float magnitude = std::fabs(x) + 1e-10f;
        float target = 1.0f;
        if (!(magnitude < quietBelow)) {
            const float level = decibelsPerNeper * std::log(magnitude);
            const float reduction = compressionReductionDb(level, thresholdDb, ratio, kneeDb);
            target = reduction > 0.0f ? std::exp(-reduction / decibelsPerNeper) : 1.0f;
        }
        gain += (target - gain) * (1.0f - (gain > target ? attack : release));
        x = gain * makeup * x;
    }
    return true;
}

void AudioProcessor::applyExciter(float amount)
{
    if (samples.isEmpty() || !(amount > 0.0f))
        return;
    amount = std::min(amount, 1.0f);
    // At a rate of 4 kHz or less the 2 kHz high pass sits at or past Nyquist and has no stable
    // design; there is then no band left to excite.
    const std::optional<BiquadCoefficients> highPass = BiquadCoefficients::forBand(
        static_cast<int>(EqBandType::HighPass), 2000.0f, 0.0f, 0.707f, sampleRate);
    if (!highPass)
        return;
    const float drive = 8.0f * amount + 1.0f;

    // The filter's states keep the original inputs, so the list can be overwritten as it is read.
    BiquadDirectFormI filter;
    for (float &sample : samples) {
        const float x = sample;
        const float y = filter.process(*highPass, x);
        const float harmonics = std::tanh(y * drive);
        sample = std::clamp(x + harmonics * amount * 0.5f, -1.0f, 1.0f);
    }
    emit audioProcessed();
}

void AudioProcessor::applyImager(float width)
{
    width = clampEffectArgument(width, 0.0f, 2.0f);
    if (stereoSamples.isEmpty())
        return;
    const qsizetype pairs = stereoSamples.size() / 2;
    samples.resize(pairs);
    float *stereo = stereoSamples.data();
    float *mono = samples.data();
    for (qsizetype i = 0; i < pairs; ++i) {
        const float left = stereo[2 * i];
        const float right = stereo[2 * i + 1];
        const float mid = halfSum(left, right);
        const float side = (left - right) * 0.5f * width;
        stereo[2 * i] = mid + side;
        stereo[2 * i + 1] = mid - side;
        mono[i] = halfSum(stereo[2 * i], stereo[2 * i + 1]);
    }
    emit audioProcessed();
}
