// SPDX-License-Identifier: GPL-3.0-or-later
// Track renders for the mixing engine: clip resampling, fades, crossfades, envelope,
// MIDI tempo scaling and the slot rule.
#include "document/TrackRendering.h"

#include "engine/TrackRenderPlan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

namespace {

// Frames of a clip rendered at once: the source is read into a block, faded only where a
// fade or crossfade reaches into it, then added to the output.
constexpr qint64 blockFrames = 1024;

// Nearest whole frame of a time, clamped far beyond any render so that frame arithmetic
// cannot overflow; NaN counts as 0.
qint64 nearestFrame(double seconds, int rate)
{
    constexpr double limit = double(qint64(1) << 40);
    const double frames = seconds * rate;
    if (std::isnan(frames))
        return 0;
    return std::llround(std::clamp(frames, -limit, limit));
}

// Where one clip lands: output frames [outStart, outStart + length) read source frames
// from srcStart, up to srcEnd.
struct Segment
{
    const AudioClip *clip = nullptr;
    qint64 outStart = 0;
    qint64 length = 0;
    qint64 srcStart = 0;
    qint64 srcEnd = 0;
};

Segment segmentOf(const AudioClip &clip, int rate)
{
    const qint64 sourceFrames = clip.samples.size();
    Segment segment;
    segment.clip = &clip;
    segment.outStart = nearestFrame(clip.start, rate);
    segment.length = nearestFrame(clip.start + clip.length(), rate) - segment.outStart;
    segment.srcStart = std::clamp<qint64>(nearestFrame(clip.audioStart, clip.sampleRate), 0, sourceFrames);
    segment.srcEnd = sourceFrames - std::clamp<qint64>(nearestFrame(clip.audioEnd, clip.sampleRate), 0, sourceFrames);
    return segment;
}

// Output frames [from, to) where two neighbouring clips fade into each other: the later
// one's start up to the earlier end of the two. Running to the earlier clip's own end
// would fade everything after a short overlapping clip nearly to silence.
struct Crossfade
{
    qint64 from = 0;
    qint64 to = 0;

    bool holds(qint64 frame) const { return from <= frame && frame < to; }
    // 0 at `from`, rising toward 1 at `to`.
    float ramp(qint64 frame) const { return float(frame - from) / float(to - from); }
};

// Adds one clip to `out`, which holds the render's frames from `firstFrame` on; `asLater` is
// its crossfade with the clip before it, `asEarlier` the one with the clip after it (the
// first of the two that holds a frame applies).
void renderSegment(const Segment &segment, const Crossfade &asLater, const Crossfade &asEarlier, int rate,
                   qint64 firstFrame, std::span<float> out)
{
    const AudioClip &clip = *segment.clip;
    if (segment.length <= 0 || segment.srcEnd <= segment.srcStart || clip.sampleRate < 1)
        return;
    // Frames before the timeline's start (a hand-edited negative start) are skipped.
    const qint64 kBegin = std::max<qint64>(0, firstFrame - segment.outStart);
    const qint64 kEnd = std::min<qint64>(segment.length, firstFrame + qint64(out.size()) - segment.outStart);
    if (kBegin >= kEnd)
        return;

    // The source position of output frame k is k * c / rate: kept as a whole index plus a
    // remainder in 1/rate, so it never drifts however long the clip is, and at equal rates
    // it is the frame itself.
    const qint64 c = clip.sampleRate;
    const qint64 step = c / rate;
    const qint64 remainderStep = c % rate;
    qint64 index = segment.srcStart + kBegin * c / rate;
    qint64 remainder = kBegin * c % rate;
    const double perRemainder = 1.0 / rate;
    const float *source = clip.samples.constData();

    const ClipFades fades = ClipFades::of(clip, rate);
    const auto touches = [](qint64 from, qint64 to, qint64 blockFrom, qint64 blockTo) {
        return from < blockTo && blockFrom < to;
    };

    std::array<float, blockFrames> block;
    for (qint64 k0 = kBegin; k0 < kEnd; k0 += blockFrames) {
        const qint64 count = std::min(blockFrames, kEnd - k0);
        const qint64 outFrom = segment.outStart + k0;
        const bool faded = touches(0, fades.inFrames, k0, k0 + count)
                           || touches(segment.length - fades.outFrames, segment.length, k0, k0 + count);
        const bool crossfaded = touches(asLater.from, asLater.to, outFrom, outFrom + count)
                                || touches(asEarlier.from, asEarlier.to, outFrom, outFrom + count);
        float *target = out.data() + (outFrom - firstFrame);

        qint64 filled = 0;
        if (step == 1 && remainderStep == 0) {
            // Equal rates: the source frames themselves, copied bit for bit.
            filled = std::min(count, segment.srcEnd - index);
            if (!faded && !crossfaded) {
                for (qint64 i = 0; i < filled; ++i)
                    target[i] += source[index + i];
                index += filled;
                if (filled < count)
                    return;
                continue;
            }
            std::copy(source + index, source + index + filled, block.begin());
            index += filled;
        } else {
            for (; filled < count && index < segment.srcEnd; ++filled) {
                float value = source[index];
                if (remainder != 0 && index + 1 < segment.srcEnd) {
                    const float f = float(double(remainder) * perRemainder);
                    value = (1.0f - f) * source[index] + f * source[index + 1];
                }
                block[size_t(filled)] = value;
                remainder += remainderStep;
                const bool carry = remainder >= rate;
                index += step + (carry ? 1 : 0);
                remainder -= carry ? rate : 0;
            }
        }

        if (faded || crossfaded) {
            for (qint64 i = 0; i < filled; ++i) {
                float &value = block[size_t(i)];
                value *= fades.gainAt(k0 + i, segment.length);
                const qint64 frame = outFrom + i;
                if (asLater.holds(frame))
                    value *= asLater.ramp(frame);
                else if (asEarlier.holds(frame))
                    value *= 1.0f - asEarlier.ramp(frame);
            }
        }
        for (qint64 i = 0; i < filled; ++i)
            target[i] += block[size_t(i)];
        if (filled < count)
            return;  // the source ran out: the rest of the clip adds silence
    }
}

// Adds the track's clips to `out` (zeroed by the caller), which holds the render's frames
// from firstFrame on, then applies the envelope.
void addClips(const TrackData &track, int rate, qint64 firstFrame, std::span<float> out)
{
    std::vector<Segment> segments;
    for (const AudioClip &clip : track.audioClips) {
        if (!clip.samples.isEmpty())
            segments.push_back(segmentOf(clip, rate));
    }
    // Stable, so clips with equal starts keep their order and every render is the same.
    std::stable_sort(segments.begin(), segments.end(),
                     [](const Segment &a, const Segment &b) { return a.clip->start < b.clip->start; });

    // crossfades[j]: clip j-1 (earlier) against clip j (later). Only neighbours fade.
    std::vector<Crossfade> crossfades(segments.size() + 1);
    for (size_t j = 1; j < segments.size(); ++j) {
        const Segment &earlier = segments[j - 1];
        const Segment &later = segments[j];
        const qint64 earlierEnd = earlier.outStart + earlier.length;
        if (earlierEnd > later.outStart)
            crossfades[j] = {later.outStart, std::min(earlierEnd, later.outStart + later.length)};
    }
    for (size_t j = 0; j < segments.size(); ++j)
        renderSegment(segments[j], crossfades[j], crossfades[j + 1], rate, firstFrame, out);

    applyEnvelope(track, out, rate, firstFrame);
}

} // namespace

float fadeCurve(int code, float x)
{
    switch (code) {
    case FadeCurve::SCurve:
        return x * x * (3.0f - 2.0f * x);
    case FadeCurve::Exponential:
        return x * x;
    case FadeCurve::Logarithmic:
        return std::sqrt(x);
    default:
        return x;
    }
}

ClipFades ClipFades::of(const AudioClip &clip, int rate)
{
    ClipFades fades;
    fades.inFrames = clip.fadeIn > 0.0 ? std::max<qint64>(0, nearestFrame(clip.fadeIn, rate)) : 0;
    fades.outFrames = clip.fadeOut > 0.0 ? std::max<qint64>(0, nearestFrame(clip.fadeOut, rate)) : 0;
    fades.inCurve = clip.fadeInCurve;
    fades.outCurve = clip.fadeOutCurve;
    return fades;
}

float ClipFades::gainAt(qint64 k, qint64 lengthFrames) const
{
    float gain = 1.0f;
    if (k < inFrames)
        gain = fadeCurve(inCurve, std::clamp(float(k) / float(inFrames), 0.0f, 1.0f));
    const qint64 outFrom = lengthFrames - outFrames;
    if (outFrames > 0 && k >= outFrom)
        gain *= 1.0f - fadeCurve(outCurve, std::clamp(float(k - outFrom) / float(outFrames), 0.0f, 1.0f));
    return gain;
}

QList<float> renderAudioClips(const TrackData &track, int rate)
{
    const TrackRenderPlan plan(track, rate);
    if (plan.isEmpty())
        return {};
    QList<float> out(plan.length(), 0.0f);
    addClips(track, plan.rate(), 0, std::span<float>(out.data(), size_t(out.size())));
    return out;
}

void renderAudioClips(const TrackData &track, int rate, qint64 firstFrame, std::span<float> out)
{
    std::fill(out.begin(), out.end(), 0.0f);
    addClips(track, rate, firstFrame, out);
}

bool envelopeInForce(const TrackData &track)
{
    return track.envelopeEnabled && !track.volumeEnvelope.empty();
}

void applyEnvelope(const TrackData &track, std::span<float> render, int rate, qint64 firstFrame)
{
    if (!envelopeInForce(track) || rate < 1)
        return;
    for (size_t j = 0; j < render.size(); ++j)
        render[j] *= track.envelopeValueAt(double(firstFrame + qint64(j)) / rate);
}

double midiTempoScale(double bpm, double midiFileTempo)
{
    // A tempo of 0 or below (or NaN, or infinite) from a file must never divide anything.
    if (!(bpm > 0.0) || !(midiFileTempo > 0.0) || !std::isfinite(bpm) || !std::isfinite(midiFileTempo))
        return 1.0;
    if (std::abs(bpm - midiFileTempo) * 1e12 <= std::min(bpm, midiFileTempo))
        return 1.0;
    return midiFileTempo / bpm;
}

TrackData tempoScaled(const TrackData &track, double scale)
{
    TrackData copy = track;
    if (track.type != TrackType::Midi || scale == 1.0)
        return copy;
    for (MidiClip &clip : copy.midiClips) {
        clip.start *= scale;
        clip.duration *= scale;
        for (MidiNote &note : clip.notes) {
            note.start *= scale;
            note.duration *= scale;
        }
    }
    return copy;
}

MultiTrackAudioEngine::TrackSlot trackSlot(const TrackData &track, const QList<float> &render, bool envelopeRendered)
{
    return trackSlot(track, std::span<const float>(render.constData(), size_t(render.size())), envelopeRendered);
}

MultiTrackAudioEngine::TrackSlot trackSlot(const TrackData &track, std::span<const float> render, bool envelopeRendered)
{
    MultiTrackAudioEngine::TrackSlot slot;
    slot.volume = envelopeRendered ? 1.0f : track.volume;
    slot.pan = track.pan;
    slot.muted = track.muted;
    slot.solo = track.solo;
    slot.startTime = 0.0;
    if (!render.empty()) {
        slot.samples = render.data();
        slot.sampleCount = int(render.size());
    }
    return slot;
}
