// SPDX-License-Identifier: GPL-3.0-or-later
// What every decoder hands back: interleaved floats with their layout, and the mono mix
// the clip needs (with, when asked for, the peak summaries it is drawn from), built by the
// decoder while the frames it just wrote are still in cache.
#pragma once

#include "audio/HugePages.h"
#include "audio/PeakSummary.h"

#include <QList>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

// The mono value of one stereo frame.
inline float halfSum(float left, float right)
{
    return (left + right) * 0.5f;
}

// One value per frame: the pair's half-sum for stereo, the mean otherwise. `mono` may be
// `interleaved` itself: frame i is read before any later frame's value is written over it.
inline void mixFramesToMono(const float *interleaved, float *mono, qsizetype frames, int channels)
{
    if (channels == 2) {
        for (qsizetype i = 0; i < frames; ++i)
            mono[i] = halfSum(interleaved[2 * i], interleaved[2 * i + 1]);
        return;
    }
    for (qsizetype i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[i * channels + c];
        mono[i] = sum / float(channels);
    }
}

// `count` floats left unset, for a writer about to set every one: QList::resize would
// zero them first, touching every page twice. A clip-sized buffer asks for huge pages:
// faulting in hundreds of megabytes 4 KiB at a time costs more than decoding WAV.
inline QList<float> uninitialisedFloats(qsizetype count)
{
    if (count <= 0)
        return {};
    auto [header, values] = QTypedArrayData<float>::allocate(count);
    Q_CHECK_PTR(values);
    adviseHugePages(values, std::size_t(count) * sizeof(float));
    return QList<float>(QArrayDataPointer<float>(header, values, count));
}

// Why a decoder gave no frames: the loaders turn it into the cause their refusal names.
enum class DecodeFailure {
    None,
    Unreadable,         // the file could not be read
    NotThisFormat,      // no stream of the decoder's kind was found
    DamagedHeader,      // the stream's headers are there but broken
    UnsupportedVersion, // a version of the format the decoder does not know
    NoAudio,            // the stream opened but nothing decoded
    FormatChanged,      // the rate or channel count changed part-way (see DecodedAudio::change)
    DecoderFailed,      // the decoding library itself failed
};

// A frame whose sample rate or channel count differs from the first frame's.
struct FormatChange
{
    int fromRate = 0;
    int toRate = 0;
    int fromChannels = 0;
    int toChannels = 0;

    bool happened() const { return toChannels != 0; }
};

// How a decoder runs: on how many threads (0 picks by length), and whether it also builds
// the peak summaries of DecodedAudio::summaries.
struct DecodeOptions
{
    int threads = 0;
    bool summarise = false;
};

struct DecodedAudio
{
    DecodedAudio() = default;
    explicit DecodedAudio(DecodeOptions options) : summarise(options.summarise) {}

    // Frame by frame, channel 0 first. While decoding its size is the room reserved so
    // far; finish() trims it to what was written.
    QList<float> interleaved;
    // The mix of each frame (mixFramesToMono); empty for one channel, which is its own mix.
    QList<float> mono;
    int channels = 0;
    int sampleRate = 0;
    // Set before start() by a caller that draws the clip. The summaries are then of what it
    // draws: each channel of one or two, else the mono mix; complete after finish().
    bool summarise = false;
    std::vector<PeakSummary> summaries;
    // Set when there are no frames.
    DecodeFailure failure = DecodeFailure::None;
    // With DecodeFailure::FormatChanged: what changed.
    FormatChange change;
    // Damaged codec frames left out of a stream that otherwise decoded.
    qint64 skippedFrames = 0;

    // No frames, for `why`.
    static DecodedAudio failed(DecodeFailure why)
    {
        DecodedAudio none;
        none.failure = why;
        return none;
    }

    qsizetype frames() const { return channels > 0 ? interleaved.size() / channels : 0; }

    // Sets the layout and reserves room for `frames` frames, a hint the stream may overstate
    // or understate (callers cap it by what the file size allows).
    void start(int channelCount, int rate, qsizetype frameHint)
    {
        channels = channelCount;
        sampleRate = rate;
        if (summarise)
            summaries.assign(channels > 2 ? 1 : std::size_t(std::max(channels, 0)), PeakSummary());
        grow(0, std::max<qsizetype>(frameHint, 0) * channels);
    }

    // Room for `count` more values after the `used` ones. Growth is geometric, so a stream
    // whose length hint was capped or missing still decodes in linear time.
    float *extend(qsizetype used, qsizetype count)
    {
        if (used + count > interleaved.size())
            grow(used, std::max(used + count, interleaved.size() * 2));
        return interleaved.data() + used;
    }

    // Mixes frames [first, first + count) into `mono`. Disjoint ranges may run on different
    // threads at once.
    void mix(qsizetype first, qsizetype count)
    {
        if (channels > 1)
            mixFramesToMono(interleaved.constData() + first * channels, mono.data() + first, count, channels);
        if (summarise) {
            const Summarised drawn = summarised();
            PeakSummary::summariseWritten(drawn.summaries(), drawn.channels(), std::size_t(first), std::size_t(count));
        }
    }

    // Ends the stream at `usedValues` (whole frames) and drops a reserve it did not fill.
    void finish(qsizetype usedValues)
    {
        trim(interleaved, usedValues);
        if (channels > 1)
            trim(mono, usedValues / channels);
        else
            mono = {};
        if (summarise) {
            const Summarised drawn = summarised();
            PeakSummary::finishWritten(drawn.summaries(), drawn.channels());
        }
    }

private:
    // The summaries with the channels they are of, as the lists stand now.
    struct Summarised
    {
        std::array<PeakSummary *, 2> summaryList{};
        std::array<SampleChannel, 2> channelList{SampleChannel({}), SampleChannel({})};
        std::size_t count = 0;

        std::span<PeakSummary *const> summaries() const { return {summaryList.data(), count}; }
        std::span<const SampleChannel> channels() const { return {channelList.data(), count}; }
    };

    Summarised summarised()
    {
        Summarised drawn;
        drawn.count = summaries.size();
        for (std::size_t c = 0; c < drawn.count; ++c) {
            drawn.summaryList[c] = &summaries[c];
            drawn.channelList[c] = channels > 2
                ? SampleChannel({mono.constData(), std::size_t(mono.size())})
                : SampleChannel({interleaved.constData(), std::size_t(interleaved.size())}, c, std::size_t(channels));
        }
        return drawn;
    }

    void grow(qsizetype used, qsizetype values)
    {
        interleaved = regrown(interleaved, used, values);
        if (channels > 1)
            mono = regrown(mono, used / channels, values / channels);
        if (summarise && channels > 0)
            PeakSummary::startWriting(summarised().summaries(), std::size_t(values / channels));
    }

    static QList<float> regrown(const QList<float> &old, qsizetype used, qsizetype size)
    {
        QList<float> grown = uninitialisedFloats(size);
        if (used > 0)
            std::memcpy(grown.data(), old.constData(), size_t(used) * sizeof(float));
        return grown;
    }

    static void trim(QList<float> &values, qsizetype used)
    {
        values.resize(used);
        if (values.capacity() > values.size() + values.size() / 8)
            values.squeeze();
    }
};
