// SPDX-License-Identifier: GPL-3.0-or-later
// AudioProcessor's destructive effects: parametric equaliser, feedback delay, reverb,
// compressor, exciter and stereo width, each one pass over the clip in place.
#include "audio/AudioProcessor.h"

#include "audio/BiquadCoefficients.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>
#include <vector>

namespace {

// std::clamp keeps a NaN; every effect parameter has a stated value for "not a number".
float clampParameter(float value, float low, float high, float nanValue)
{
    if (std::isnan(value))
        return nanValue;
    return std::clamp(value, low, high);
}

// Whole milliseconds of a time, scaled to frames as sampleRate x ms / 1000 in 64 bits.
qint64 framesOfWholeMs(int sampleRate, float ms)
{
    return static_cast<qint64>(sampleRate) * static_cast<qint64>(ms) / 1000;
}

// A ring of one delay line per comb or all-pass, the index advancing modulo its length.
class DelayRing
{
public:
    explicit DelayRing(qint64 length) : buffer(static_cast<size_t>(std::max<qint64>(1, length)), 0.0f) {}
    float read() const { return buffer[index]; }
    void writeAndAdvance(float value)
    {
        buffer[index] = value;
        if (++index == buffer.size())
            index = 0;
    }
    void reset()
    {
        std::fill(buffer.begin(), buffer.end(), 0.0f);
        index = 0;
    }

private:
    std::vector<float> buffer;
    size_t index = 0;
};

// Comb with a one-pole damping filter in its feedback path.
class DampedComb
{
public:
    DampedComb(qint64 length, float damping, float feedback)
        : ring(length), k(1.0f - 0.8f * damping), feedback(feedback) {}
    float process(float input)
    {
        const float v = ring.read();
        state = state * (1.0f - k) + k * v;
        ring.writeAndAdvance(feedback * state + input);
        return v;
    }
    void reset()
    {
        ring.reset();
        state = 0.0f;
    }

private:
    DelayRing ring;
    float k;
    float feedback;
    float state = 0.0f;
};

class ReverbAllPass
{
public:
    explicit ReverbAllPass(qint64 length) : ring(length) {}
    float process(float input)
    {
        const float v = ring.read();
        ring.writeAndAdvance(0.5f * v + input);
        return v - 0.5f * input;
    }
    void reset() { ring.reset(); }

private:
    DelayRing ring;
};

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
    mix = clampParameter(mix, 0.0f, 1.0f, 0.0f);
    feedback = clampParameter(feedback, 0.0f, 0.95f, 0.0f);
    delayMs = std::clamp(delayMs, 1, 5000);
    const size_t length = static_cast<size_t>(std::max<qint64>(1, static_cast<qint64>(sampleRate) * delayMs / 1000));

    std::vector<float> ring(length);
    const size_t stride = static_cast<size_t>(channels);
    float *data = samples.data();
    const size_t total = static_cast<size_t>(samples.size());
    for (size_t c = 0; c < stride; ++c) {
        std::fill(ring.begin(), ring.end(), 0.0f);
        size_t index = 0;
        float lowPass = 0.0f;
        for (size_t i = c; i < total; i += stride) {
            const float x = data[i];
            const float delayed = ring[index];
            lowPass = 0.3f * lowPass + 0.7f * delayed;
            ring[index] = lowPass * feedback + x;
            data[i] = (1.0f - mix) * x + mix * delayed;
            if (++index == length)
                index = 0;
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
    mix = clampParameter(mix, 0.0f, 1.0f, 0.0f);
    roomSize = clampParameter(roomSize, 0.1f, 1.0f, 0.1f);
    damping = clampParameter(damping, 0.0f, 1.0f, 0.0f);
    decay = clampParameter(decay, 0.0f, 1.0f, 0.0f);
    qint64 preDelay = 0;
    if (preDelayMs >= 200.0f)
        preDelay = framesOfWholeMs(sampleRate, 200.0f);
    else if (preDelayMs > 0.0f)
        preDelay = framesOfWholeMs(sampleRate, preDelayMs);
    preDelay = std::clamp<qint64>(preDelay, 0, frames - 1);

    const float feedback = decay * 0.95f;
    const std::array<float, 4> combMs = {29.7f, 37.1f, 41.1f, 43.7f};
    std::vector<DampedComb> combs;
    for (float ms : combMs)
        combs.emplace_back(framesOfWholeMs(sampleRate, ms * roomSize), damping, feedback);
    std::array<ReverbAllPass, 2> allPasses = {ReverbAllPass(framesOfWholeMs(sampleRate, 5.0f * roomSize)),
                                              ReverbAllPass(framesOfWholeMs(sampleRate, 1.7f * roomSize))};
    // The dry samples the pre-delay still needs, since the output overwrites them.
    DelayRing preDelayLine(preDelay);

    const size_t stride = static_cast<size_t>(channels);
    float *data = samples.data();
    for (size_t c = 0; c < stride; ++c) {
        for (DampedComb &comb : combs)
            comb.reset();
        for (ReverbAllPass &allPass : allPasses)
            allPass.reset();
        preDelayLine.reset();
        for (qint64 frame = 0; frame < frames; ++frame) {
            float &sample = data[static_cast<size_t>(frame) * stride + c];
            const float dry = sample;
            float input = dry;
            if (preDelay > 0) {
                input = preDelayLine.read();
                preDelayLine.writeAndAdvance(dry);
            }
            // Same summation order as running each comb over the whole channel in turn.
            float wet = 0.0f;
            for (DampedComb &comb : combs)
                wet += comb.process(input);
            wet *= 0.25f;
            for (ReverbAllPass &allPass : allPasses)
                wet = allPass.process(wet);
            sample = (1.0f - mix) * dry + mix * wet;
        }
    }
    emit audioProcessed();
}

void AudioProcessor::applyCompression(float thresholdDb, float ratio, float attackMs, float releaseMs,
                                      float makeupDb, float kneeDb)
{
    // A NaN here, or an infinite level or knee, would turn the whole clip into NaN; such
    // settings are refused.
    if (samples.isEmpty() || !(ratio > 1.0f) || sampleRate <= 0 || !std::isfinite(thresholdDb)
        || std::isnan(attackMs) || std::isnan(releaseMs) || !std::isfinite(makeupDb) || !std::isfinite(kneeDb))
        return;
    // A negative time would give a coefficient above 1 and a gain that runs away.
    const auto smoothing = [this](float ms) {
        const float framesOfTime = std::max(ms, 0.0f) * 0.001f * static_cast<float>(sampleRate);
        return framesOfTime > 0.0f ? std::exp(-1.0f / framesOfTime) : 0.0f;
    };
    const float attack = smoothing(attackMs);
    const float release = smoothing(releaseMs);
    const float makeup = std::pow(10.0f, makeupDb / 20.0f);
    kneeDb = std::max(kneeDb, 0.0f);
    const float halfKnee = kneeDb * 0.5f;
    const float slope = 1.0f - 1.0f / ratio;

    // 20 log10(x) = (20 / ln 10) ln(x): the natural logarithm and exponential are far
    // cheaper per sample than log10 and pow, and agree with them to float precision.
    constexpr float decibelsPerNeper = static_cast<float>(20.0 / std::numbers::ln10);

    // Samples clearly below the knee need no reduction (a target of exactly 1); the margin
    // keeps the shortcut on the same side of the knee as the logarithm would be.
    const float quietBelow = std::pow(10.0f, (thresholdDb - halfKnee) / 20.0f) * (1.0f - 1e-4f);

    // Unity start: the clip begins at its own level instead of fading in from silence.
    float gain = 1.0f;
    for (float &x : samples) {
        const float magnitude = std::fabs(x) + 1e-10f;
        float target = 1.0f;
        if (!(magnitude < quietBelow)) {
            const float level = decibelsPerNeper * std::log(magnitude);
            float reduction = 0.0f;
            if (level > thresholdDb + halfKnee) {
                reduction = slope * (level - thresholdDb);
            } else if (level > thresholdDb - halfKnee) {
                const float over = level - thresholdDb + halfKnee;
                reduction = slope * over * over / (2.0f * kneeDb);
            }
            target = reduction > 0.0f ? std::exp(-reduction / decibelsPerNeper) : 1.0f;
        }
        gain += (target - gain) * (1.0f - (gain > target ? attack : release));
        x = gain * makeup * x;
    }
    emit audioProcessed();
}

void AudioProcessor::applyExciter(float amount)
{
    // At a rate of 4 kHz or less the 2 kHz high pass sits at or past Nyquist and is unstable;
    // there is then no band left to excite.
    if (samples.isEmpty() || !(amount > 0.0f) || sampleRate <= 4000)
        return;
    amount = std::min(amount, 1.0f);

    const float w0 = static_cast<float>(2.0 * std::numbers::pi * 2000.0 / sampleRate);
    const float cs = std::cos(w0);
    const float alpha = std::sin(w0) / 1.414f;
    const float a0 = 1.0f + alpha;
    const float b0 = (1.0f + cs) / 2.0f / a0;
    const float b1 = -(1.0f + cs) / a0;
    const float b2 = (1.0f + cs) / 2.0f / a0;
    const float a1 = -2.0f * cs / a0;
    const float a2 = (1.0f - alpha) / a0;
    const float drive = 8.0f * amount + 1.0f;

    // Direct form I over the whole list; the states keep the original inputs, so the
    // list can be overwritten as it is read.
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
    for (float &sample : samples) {
        const float x = sample;
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        const float harmonics = std::tanh(y * drive);
        sample = std::clamp(x + harmonics * amount * 0.5f, -1.0f, 1.0f);
    }
    emit audioProcessed();
}

void AudioProcessor::applyImager(float width)
{
    width = clampParameter(width, 0.0f, 2.0f, 0.0f);
    if (stereoSamples.isEmpty())
        return;
    const qsizetype pairs = stereoSamples.size() / 2;
    samples.resize(pairs);
    float *stereo = stereoSamples.data();
    float *mono = samples.data();
    for (qsizetype i = 0; i < pairs; ++i) {
        const float left = stereo[2 * i];
        const float right = stereo[2 * i + 1];
        const float mid = (left + right) * 0.5f;
        const float side = (left - right) * 0.5f * width;
        stereo[2 * i] = mid + side;
        stereo[2 * i + 1] = mid - side;
        mono[i] = (stereo[2 * i] + stereo[2 * i + 1]) * 0.5f;
    }
    emit audioProcessed();
}
