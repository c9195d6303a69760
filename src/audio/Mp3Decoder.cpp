// SPDX-License-Identifier: GPL-3.0-or-later
// MP3 decoding from memory with libmpg123.
#include "audio/Mp3Decoder.h"

#include "audio/MemoryReader.h"
#include "audio/ParallelRanges.h"

#include <mpg123.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// A seekable reader over memory lets mpg123 scan the stream for its exact length and the
// LAME tag's gapless information, which a push-fed decoder cannot.
mpg123_ssize_t readMemory(void *handle, void *buffer, size_t bytes)
{
    return mpg123_ssize_t(static_cast<MemoryReader *>(handle)->read(buffer, qint64(bytes)));
}

off_t seekMemory(void *handle, off_t offset, int whence)
{
    return off_t(static_cast<MemoryReader *>(handle)->seek(offset, whence));
}

struct HandleDeleter
{
    void operator()(mpg123_handle *handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

// Frames decoded and dropped before a seek target, so the bit reservoir the target's frame
// draws on is whole: 511 bytes reach back over eight of the smallest MPEG-1 frames.
constexpr long reservoirFrames = 10;

// Frames a range decodes past its end, for the next range's start to be checked against.
constexpr qsizetype overlapFrames = 4096;

// One open float stream over the bytes, with the layout of its first frame.
struct FloatStream
{
    MemoryReader source;
    std::unique_ptr<mpg123_handle, HandleDeleter> handle;
    long rate = 0; // the rate read() reads on through; outputRate() tells a new one
    int channels = 0;
    int encoding = 0;
    DecodeFailure failure = DecodeFailure::None;

    // Opens and reads the first frame's layout; false unless it is mono or stereo float.
    // `outputChannels` (1 or 2) holds the output to that count whatever a frame carries:
    // mpg123 mixes a stereo section to mono, or gives a mono section to both sides.
    bool open(QByteArrayView bytes, long preframes = 0, int outputChannels = 0)
    {
        source = {bytes.data(), bytes.size(), 0};
        int error = MPG123_OK;
        handle.reset(mpg123_new(nullptr, &error));
        if (!handle) {
            failure = DecodeFailure::DecoderFailed;
            return false;
        }
        mpg123_handle *mh = handle.get();
        long flags = MPG123_FORCE_FLOAT | MPG123_QUIET;
        if (outputChannels == 1)
            flags |= MPG123_MONO_MIX;
        else if (outputChannels == 2)
            flags |= MPG123_FORCE_STEREO;
        // ADD_FLAGS, not FLAGS: replacing the flags would switch gapless decoding off.
        mpg123_param(mh, MPG123_ADD_FLAGS, flags, 0.0);
        if (preframes > 0)
            mpg123_param(mh, MPG123_PREFRAMES, preframes, 0.0);
        if (mpg123_replace_reader_handle(mh, readMemory, seekMemory, nullptr) != MPG123_OK
            || mpg123_open_handle(mh, &source) != MPG123_OK) {
            failure = DecodeFailure::DecoderFailed;
            return false;
        }
        // The decoder hunts through the bytes for a frame; not finding one, there is no MP3.
        if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
            failure = DecodeFailure::NotThisFormat;
            return false;
        }
        if ((channels != 1 && channels != 2) || encoding != MPG123_ENC_FLOAT_32) {
            failure = DecodeFailure::DecoderFailed;
            return false;
        }
        return true;
    }

    // Reads up to `values` floats into `dst`; a change to the same layout is read through.
    // Returns the count read and, in `status`, why it stopped short: MPG123_DONE at the end,
    // MPG123_NEW_FORMAT before frames at another rate (outputRate() gives it), or an error.
    qsizetype read(float *dst, qsizetype values, int &status)
    {
        qsizetype used = 0;
        status = MPG123_OK;
        while (used < values) {
            size_t done = 0;
            status = mpg123_read(handle.get(), dst + used, size_t(values - used) * sizeof(float), &done);
            used += qsizetype(done / sizeof(float));
            if (status == MPG123_NEW_FORMAT && outputRate() == rate)
                status = MPG123_OK;
            if (status != MPG123_OK)
                break;
        }
        return used;
    }

    // The rate of the frames about to be read. The channel count and encoding never change:
    // open() fixed them.
    long outputRate()
    {
        long newRate = 0;
        int newChannels = 0;
        int newEncoding = 0;
        mpg123_getformat(handle.get(), &newRate, &newChannels, &newEncoding);
        return newRate;
    }

    // Only MPEG-1 Layer III is known to decode after a seek to the values a straight pass
    // gives: in the half-rate MPEG-2 frames the synthesis filter's rounding depends on how
    // many frames came before.
    bool rangesDecodeAlike()
    {
        mpg123_frameinfo info{};
        return mpg123_info(handle.get(), &info) == MPG123_OK && info.version == MPG123_1_0 && info.layer == 3;
    }
};

// A damaged frame header can read as frames at another rate: the decoder finds a few of
// them in the damaged bytes before it is back in step. A stream that really changes its rate
// keeps the new one, so a rate held this many frames in a row is taken as a real change.
constexpr qint64 framesOfARealRateChange = 8;

// What the frame headers of a stream show, read without decoding.
struct FrameWalk
{
    qint64 damagedFrames = 0; // frames' worth of damaged bytes the decoder passes over
    long lastingRate = 0;     // another rate that lasted: the stream really changed to it
};

bool isTagAt(QByteArrayView bytes, qint64 at)
{
    const QByteArrayView rest = bytes.sliced(std::min<qint64>(at, bytes.size()));
    return rest.startsWith("ID3") || rest.startsWith("TAG") || rest.startsWith("APETAGEX");
}

// Walks the frames of `stream`, just opened. Bytes between two frames at the stream's rate
// that are no such frame are damage: mpg123 skips them, or finds frames at other rates in
// them, which the decode leaves out. They are counted in frames of the length before them; a
// tag between joined files is no damage.
FrameWalk walkFrames(FloatStream &stream, QByteArrayView bytes)
{
    FrameWalk walk;
    mpg123_handle *mh = stream.handle.get();
    mpg123_frameinfo frame{};
    if (mpg123_info(mh, &frame) != MPG123_OK || frame.framesize <= 0)
        return walk;
    qint64 expected = qint64(mpg123_framepos(mh)) + frame.framesize;
    qint64 ownLength = frame.framesize;
    long otherRate = 0;
    qint64 otherRun = 0;
    for (;;) {
        const int status = mpg123_framebyframe_next(mh);
        if ((status != MPG123_OK && status != MPG123_NEW_FORMAT) || mpg123_info(mh, &frame) != MPG123_OK
            || frame.framesize <= 0)
            break;
        if (frame.rate != stream.rate) {
            otherRun = frame.rate == otherRate ? otherRun + 1 : 1;
            otherRate = frame.rate;
            if (otherRun >= framesOfARealRateChange) {
                walk.lastingRate = otherRate;
                break;
            }
            continue;
        }
        otherRun = 0;
        const qint64 at = qint64(mpg123_framepos(mh));
        if (at > expected && !isTagAt(bytes, expected))
            walk.damagedFrames += (at - expected + ownLength - 1) / ownLength;
        expected = at + frame.framesize;
        ownLength = frame.framesize;
    }
    return walk;
}

// Reads past frames at other rates until the stream's own rate `ownRate` comes back:
// MPG123_OK then, else why reading ended.
int skipOtherRates(FloatStream &stream, long ownRate)
{
    std::vector<float> discarded(size_t(1152 * stream.channels));
    int status = MPG123_OK;
    while (status == MPG123_OK || status == MPG123_NEW_FORMAT) {
        stream.rate = stream.outputRate();
        if (stream.rate == ownRate)
            return MPG123_OK;
        stream.read(discarded.data(), qsizetype(discarded.size()), status);
    }
    stream.rate = ownRate;
    return status;
}

// Decodes frames [first, first + count) of the scanned stream into `out` through a stream of
// its own, then the overlap after them into `overlap` (empty for the last range, which must
// find the end instead). False on anything a straight pass would not have given.
bool decodeRange(QByteArrayView bytes, DecodedAudio &out, qint64 first, qint64 count, std::vector<float> &overlap,
                 bool isLast)
{
    FloatStream stream;
    if (!stream.open(bytes, reservoirFrames, out.channels) || stream.channels != out.channels || stream.rate != out.sampleRate
        || mpg123_scan(stream.handle.get()) != MPG123_OK || mpg123_seek(stream.handle.get(), off_t(first), SEEK_SET) != first)
        return false;
    const int channels = out.channels;
    int status = MPG123_OK;
    // In slices, so each is mixed and summarised while still in cache.
    constexpr qint64 sliceFrames = 1 << 16;
    for (qint64 done = 0; done < count;) {
        const qint64 frames = std::min(sliceFrames, count - done);
        if (stream.read(out.interleaved.data() + (first + done) * channels, frames * channels, status)
            != frames * channels)
            return false;
        out.mix(first + done, frames);
        done += frames;
    }
    if (!isLast) {
        overlap.resize(size_t(overlapFrames * channels));
        return stream.read(overlap.data(), qsizetype(overlap.size()), status) == qsizetype(overlap.size());
    }
    float spare[2];
    return stream.read(spare, channels, status) == 0 && status == MPG123_DONE;
}

// Each range after the first started from a seek; where its first frames match what the
// range before decoded on into them, the reservoir and filter states had caught up. Every
// range is longer than the overlap.
bool rangesJoin(const DecodedAudio &out, qint64 frames, int threads, const std::vector<std::vector<float>> &overlaps)
{
    for (int index = 1; index < threads; ++index) {
        const std::vector<float> &expected = overlaps[size_t(index - 1)];
        const float *start = out.interleaved.constData() + frames * index / threads * out.channels;
        if (!std::equal(expected.begin(), expected.end(), start))
            return false;
    }
    return true;
}

} // namespace

DecodedAudio Mp3Decoder::decode(QByteArrayView bytes, DecodeOptions options)
{
    // The first frame's layout is the clip's; the stream is opened again with its output
    // held to that channel count.
    FloatStream probe;
    if (!probe.open(bytes))
        return DecodedAudio::failed(probe.failure);
    const int channelCount = probe.channels;
    const FrameWalk walk = walkFrames(probe, bytes);
    if (walk.lastingRate != 0) {
        DecodedAudio changed = DecodedAudio::failed(DecodeFailure::FormatChanged);
        changed.change = {int(probe.rate), int(walk.lastingRate), channelCount, channelCount};
        return changed;
    }
    FloatStream stream;
    if (!stream.open(bytes, 0, channelCount))
        return DecodedAudio::failed(DecodeFailure::DecoderFailed);
    mpg123_handle *mh = stream.handle.get();

    DecodedAudio out(options);
    int threads = options.threads;
    // The length is only a reserve hint: it comes from headers a file may fake. An MP3
    // frame is at least 24 bytes and carries at most 1152 frames.
    constexpr qsizetype step = 1152 * 8;
    const qint64 cap = (bytes.size() / 24 + 1) * 1152;
    const qint64 length = mpg123_scan(mh) == MPG123_OK ? qint64(mpg123_length(mh)) : 0;
    const qint64 hinted = std::min(length, cap);
    if (threads <= 0)
        threads = ParallelRanges::threadsForValues(hinted * channelCount);
    // Damage takes the straight pass, which leaves out what the decoder finds in it.
    if (threads > 1 && hinted == length && length > overlapFrames * threads && walk.damagedFrames == 0
        && stream.rangesDecodeAlike()) {
        out.start(channelCount, int(stream.rate), length);
        auto overlaps = std::vector<std::vector<float>>(size_t(threads));
        const auto range = [&](qint64 first, qint64 count, bool isLast) {
            int index = 0;
            while (length * index / threads != first)
                ++index;
            return decodeRange(bytes, out, first, count, overlaps[size_t(index)], isLast);
        };
        if (ParallelRanges::run(length, threads, range) && rangesJoin(out, length, threads, overlaps)) {
            out.finish(length * channelCount);
            return out;
        }
        // Damage, a change of rate or an unknown stream: the straight pass below decides,
        // from the start.
        out = DecodedAudio(options);
    }

    // Afresh, without the scan: a scan that counts other frames than the LAME tag does (a
    // damaged header) makes mpg123 drop the tag's encoder delay and padding.
    FloatStream straight;
    if (!straight.open(bytes, 0, channelCount))
        return DecodedAudio::failed(DecodeFailure::DecoderFailed);
    // One step more than the length, so the read that reports the end never regrows.
    out.start(channelCount, int(straight.rate), hinted > 0 ? hinted + step : 0);
    const long ownRate = straight.rate;
    qsizetype used = 0;
    for (;;) {
        int status = MPG123_OK;
        const qsizetype got = straight.read(out.extend(used, step * channelCount), step * channelCount, status);
        out.mix(used / channelCount, (used + got) / channelCount - used / channelCount);
        used += got;
        if (status == MPG123_NEW_FORMAT)
            status = skipOtherRates(straight, ownRate);
        if (status != MPG123_OK)
            break; // MPG123_DONE at the end; after an error the frames before it are kept
    }
    out.finish(used - used % channelCount);
    if (out.frames() == 0)
        return DecodedAudio::failed(DecodeFailure::NoAudio);
    out.skippedFrames = walk.damagedFrames;
    return out;
}
