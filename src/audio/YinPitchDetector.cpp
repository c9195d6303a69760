// SPDX-License-Identifier: GPL-3.0-or-later
// YIN (de Cheveigné and Kawahara, 2002): difference function, cumulative-mean normalisation,
// absolute threshold and parabolic refinement, one frame per hop.
#include "audio/YinPitchDetector.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float minVoicedHz = 50.0f;
constexpr float maxVoicedHz = 2000.0f;
constexpr float minSegmentConfidence = 0.3f;

// A product of user settings that is not a usable count (negative, NaN, huge) counts as 0.
int truncatedCount(float value)
{
    if (!(value >= 0.0f) || value >= 2.0e9f)
        return 0;
    return static_cast<int>(value);
}

bool isVoiced(const PitchFrame &frame)
{
    return frame.frequencyHz > 0.0f && frame.confidence > minSegmentConfidence;
}

} // namespace

void YinPitchDetector::configure(float rate, float frameMs, float hopMs, float thresholdValue)
{
    sampleRate = rate;
    frameSize = truncatedCount(frameMs * rate / 1000.0f);
    hopSize = std::max(1, truncatedCount(rate * hopMs / 1000.0f));
    threshold = thresholdValue;
}

std::vector<PitchFrame> YinPitchDetector::detect(const float *samples, size_t count) const
{
    std::vector<PitchFrame> frames;
    const int w = frameSize;
    if (w < 2 || samples == nullptr || count < static_cast<size_t>(w) || !(sampleRate > 0.0f))
        return frames;
    const int h = w / 2;
    const size_t hop = static_cast<size_t>(std::max(1, hopSize));

    // The frame is used as it is: a taper makes x[k] and x[k + tau] differ in level, so the
    // difference function never dips below the threshold for low voices (110 Hz read as
    // unvoiced) and pulls the rest sharp.
    std::vector<float> x(w);
    std::vector<float> d(h);
    frames.reserve((count - w) / hop + 1);

    for (size_t start = 0; start + w <= count; start += hop) {
        for (int i = 0; i < w; ++i)
            x[i] = samples[start + i];

        // k outside, tau inside: each d[tau] still sums over k in order, and the inner
        // loop has no carried dependency, so it vectorises without reassociating.
        std::fill(d.begin(), d.end(), 0.0f);
        for (int k = 0; k < h; ++k) {
            const float xk = x[k];
            const float *shifted = x.data() + k;
            float *out = d.data();
            for (int tau = 0; tau < h; ++tau) {
                const float diff = xk - shifted[tau];
                out[tau] += diff * diff;
            }
        }
        d[0] = 1.0f;
        float running = 0.0f;
        for (int tau = 1; tau < h; ++tau) {
            running += d[tau];
            d[tau] = running > 0.0f ? d[tau] * static_cast<float>(tau) / running : 1.0f;
        }

        PitchFrame frame;
        frame.timeSec = (static_cast<double>(start) + w * 0.5) / sampleRate;

        int best = -1;
        for (int tau = 2; tau < h; ++tau) {
            if (d[tau] < threshold) {
                best = tau;
                for (int t = tau + 1; t < h && d[t] < threshold; ++t) {
                    if (d[t] < d[best])
                        best = t;
                }
                break;
            }
        }
        if (best >= 0) {
            frame.confidence = 1.0f - d[best];
            float period = static_cast<float>(best);
            if (best < h - 1) {
                const float v = d[best - 1];
                const float c = d[best];
                const float u = d[best + 1];
                const float den = 2.0f * (2.0f * c - u - v);
                if (std::fabs(den) >= 1e-10f)
                    period = static_cast<float>(best) + (u - v) / den;
            }
            if (period > 0.5f) {
                const float hz = sampleRate / period;
                if (hz >= minVoicedHz && hz <= maxVoicedHz) {
                    frame.frequencyHz = hz;
                    frame.midiNote = nearestMidiNote(hz);
                } else {
                    frame.confidence = 0.0f;
                }
            }
        }
        frames.push_back(frame);
    }
    return frames;
}

std::vector<PitchCorrectionSegment> YinPitchDetector::buildSegments(const std::vector<PitchFrame> &frames,
                                                                    int minFrames, int maxGap)
{
    std::vector<PitchCorrectionSegment> segments;
    const int n = static_cast<int>(frames.size());
    int i = 0;
    while (i < n) {
        if (!isVoiced(frames[i])) {
            ++i;
            continue;
        }
        const int start = i;
        int runEnd = i;
        for (;;) {
            while (runEnd < n && isVoiced(frames[runEnd]))
                ++runEnd;
            int next = runEnd;
            while (next < n && !isVoiced(frames[next]))
                ++next;
            if (next < n && next - runEnd <= maxGap) {
                runEnd = next;
                continue;
            }
            break;
        }
        const int end = runEnd;
        i = end;
        if (end - start < minFrames)
            continue;

        double sum = 0.0;
        int counted = 0;
        for (int f = start; f < end; ++f) {
            if (frames[f].frequencyHz > 0.0f) {
                sum += frames[f].frequencyHz;
                ++counted;
            }
        }
        const float mean = counted > 0 ? static_cast<float>(sum / counted) : 0.0f;
        const int note = mean > 0.0f ? nearestMidiNote(mean) : -1;
        if (!(mean > 0.0f) || note <= 0)
            continue;
        PitchCorrectionSegment segment;
        segment.startFrame = start;
        segment.endFrame = end;
        segment.detectedHz = mean;
        segment.targetHz = mean;
        segment.shiftSemitones = 0.0f;
        segment.midiNote = note;
        segment.manualTarget = false;
        segments.push_back(segment);
    }
    return segments;
}

void YinPitchDetector::computeTargets(std::vector<PitchCorrectionSegment> &segments, float strength)
{
    for (PitchCorrectionSegment &segment : segments) {
        const float detected = segment.detectedHz;
        if (!segment.manualTarget)
            segment.midiNote = nearestMidiNote(detected);
        const float goal = static_cast<float>(midiNoteFrequency(segment.midiNote));
        segment.targetHz = detected + (goal - detected) * strength;
        segment.shiftSemitones = detected > 0.0f && segment.targetHz > 0.0f
            ? static_cast<float>(12.0 * std::log2(static_cast<double>(segment.targetHz) / detected))
            : 0.0f;
    }
}

int YinPitchDetector::nearestMidiNote(double frequencyHz)
{
    if (!(frequencyHz > 0.0) || !std::isfinite(frequencyHz))
        return -1;
    return static_cast<int>(std::lround(12.0 * std::log2(frequencyHz / 440.0) + 69.0));
}

double YinPitchDetector::midiNoteFrequency(int midiNote)
{
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}
