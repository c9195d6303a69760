// SPDX-License-Identifier: GPL-3.0-or-later
// Ogg Vorbis decoding from memory with libvorbisfile.
//
// Not stb_vorbis: the packaged version frees an uninitialised pointer when a hostile setup
// header makes an allocation fail, and it decodes libvorbis 5.1 streams (the LFE channel
// in a submap of its own) into noise.
#include "audio/OggVorbisDecoder.h"

#include "audio/MemoryReader.h"
#include "audio/ParallelRanges.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>

namespace {

size_t readMemory(void *buffer, size_t size, size_t count, void *handle)
{
    if (size == 0)
        return 0;
    auto *source = static_cast<MemoryReader *>(handle);
    // Whole items only, as fread does.
    const qint64 items = std::min<qint64>(qint64(count), (source->size - source->position) / qint64(size));
    return items > 0 ? size_t(source->read(buffer, items * qint64(size))) / size : 0;
}

int seekMemory(void *handle, ogg_int64_t offset, int whence)
{
    return static_cast<MemoryReader *>(handle)->seek(offset, whence) < 0 ? -1 : 0;
}

long tellMemory(void *handle)
{
    return long(static_cast<MemoryReader *>(handle)->position);
}

// Why ov_open refused `bytes`. Reading memory never fails, so a read error means the bytes
// ran out inside a header; and "no Vorbis" with a Vorbis identification header present means
// the headers after it are cut off or broken.
DecodeFailure failureOf(int openError, QByteArrayView bytes)
{
    switch (openError) {
    case OV_ENOTVORBIS:
        return bytes.indexOf(QByteArrayView("\x01vorbis")) >= 0 ? DecodeFailure::DamagedHeader
                                                                : DecodeFailure::NotThisFormat;
    case OV_EREAD:
    case OV_EBADHEADER:
        return DecodeFailure::DamagedHeader;
    case OV_EVERSION:
        return DecodeFailure::UnsupportedVersion;
    default:
        return DecodeFailure::DecoderFailed;
    }
}

// Consecutive damaged stretches tolerated before giving up on the rest of the stream.
constexpr int maxHolesInARow = 64;

} // namespace

struct OggVorbisDecoder::State
{
    MemoryReader source;
    OggVorbis_File file{};
    bool opened = false;
    bool seekable = false;
};

OggVorbisDecoder::OggVorbisDecoder() : state(std::make_unique<State>()) {}

OggVorbisDecoder::~OggVorbisDecoder()
{
    if (state->opened)
        ov_clear(&state->file);
}

bool OggVorbisDecoder::open(QByteArrayView bytes)
{
    return openFile(bytes, true);
}

bool OggVorbisDecoder::openFile(QByteArrayView bytes, bool seekable)
{
    if (state->opened)
        ov_clear(&state->file);
    state->opened = false;
    state->source = MemoryReader{bytes.data(), bytes.size(), 0};
    // Without seek and tell, libvorbisfile reads the pages in order as from a pipe.
    const ov_callbacks callbacks{readMemory, seekable ? seekMemory : nullptr, nullptr, seekable ? tellMemory : nullptr};
    const int result = ov_open_callbacks(&state->source, &state->file, nullptr, 0, callbacks);
    if (result != 0) {
        openFailure = failureOf(result, bytes);
        return false;
    }
    state->opened = true;
    state->seekable = seekable;
    const vorbis_info *info = ov_info(&state->file, -1);
    if (info) {
        rate = int(info->rate);
        channelCount = info->channels;
    }
    lengthFrames = qint64(ov_pcm_total(&state->file, -1));
    return true;
}

DecodedAudio OggVorbisDecoder::decodeAll(DecodeOptions options)
{
    DecodedAudio out = decodeOpened(options);
    if (!state->seekable || out.failure == DecodeFailure::FormatChanged || out.frames() >= lengthFrames)
        return out;
    // The seekable open maps the stream from the file's end; junk between pages, or the pages
    // of another stream between its own, can lead it astray where reading the pages in order,
    // as ffmpeg does, decodes them. A stream that decodes short (damaged, or its length claim
    // false) is read that way too, and the longer result kept.
    const QByteArrayView bytes(state->source.data, state->source.size);
    const qint64 claimed = lengthFrames;
    if (!openFile(bytes, false))
        return out;
    DecodedAudio inOrder = decodeOpened(options);
    lengthFrames = claimed;
    return inOrder.frames() > out.frames() ? std::move(inOrder) : std::move(out);
}

DecodedAudio OggVorbisDecoder::decodeOpened(DecodeOptions options)
{
    DecodedAudio out(options);
    int threads = options.threads;
    if (!state->opened || channelCount <= 0 || rate <= 0)
        return DecodedAudio::failed(state->opened ? DecodeFailure::DamagedHeader : openFailure);
    // Vorbis needs well over one byte per 64 frames even at its lowest rate.
    const qint64 hint = std::min(lengthFrames, (state->source.size + 1) * 64);
    out.start(channelCount, rate, hint);
    if (threads <= 0)
        threads = ParallelRanges::threadsForValues(hint * channelCount);
    // ov_pcm_seek is sample-exact, so ranges of one plain stream decode apart to the same
    // values. Chains, a capped length and damage take the single pass, whose rules decide.
    if (threads > 1 && state->seekable && hint == lengthFrames && hint > 0 && ov_streams(&state->file) == 1) {
        const QByteArrayView bytes(state->source.data, state->source.size);
        const auto range = [&](qint64 first, qint64 count, bool isLast) {
            return decodeRange(bytes, out, first, count, isLast);
        };
        if (ParallelRanges::run(hint, threads, range)) {
            out.finish(hint * channelCount);
            return out;
        }
    }

    constexpr int stepFrames = 4096;
    qsizetype used = 0;
    int holes = 0;
    for (;;) {
        float **planes = nullptr;
        int link = 0;
        const long frames = ov_read_float(&state->file, &planes, stepFrames, &link);
        if (frames == OV_HOLE && ++holes <= maxHolesInARow)
            continue; // damaged pages are skipped; decoding resumes at the next good one
        if (frames <= 0)
            break;
        holes = 0;
        const vorbis_info *info = ov_info(&state->file, link);
        if (!info)
            break;
        if (info->channels != channelCount || int(info->rate) != rate) {
            DecodedAudio changed = DecodedAudio::failed(DecodeFailure::FormatChanged);
            changed.change = {rate, int(info->rate), channelCount, info->channels};
            return changed;
        }
        interleave(planes, frames, out.extend(used, qsizetype(frames) * channelCount));
        out.mix(used / channelCount, frames);
        used += qsizetype(frames) * channelCount;
    }
    out.finish(used);
    if (out.frames() == 0)
        return DecodedAudio::failed(DecodeFailure::NoAudio);
    return out;
}

void OggVorbisDecoder::interleave(float *const *planes, qint64 frames, float *dst) const
{
    for (qint64 i = 0; i < frames; ++i)
        for (int c = 0; c < channelCount; ++c)
            *dst++ = planes[c][i];
}

bool OggVorbisDecoder::decodeRange(QByteArrayView bytes, DecodedAudio &out, qint64 first, qint64 count,
                                   bool isLast) const
{
    MemoryReader source{bytes.data(), bytes.size(), 0};
    OggVorbis_File file{};
    const ov_callbacks callbacks{readMemory, seekMemory, nullptr, tellMemory};
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0)
        return false;
    qint64 written = 0;
    bool clean = ov_pcm_seek(&file, first) == 0;
    while (clean) {
        float **planes = nullptr;
        int link = 0;
        // The last range reads on to find the end where the stream's length said.
        const int want = int(std::min<qint64>(4096, isLast ? 4096 : count - written));
        if (want == 0)
            break;
        const long frames = ov_read_float(&file, &planes, want, &link);
        if (frames == 0 && isLast)
            break;
        if (frames <= 0 || written + frames > count) {
            clean = false;
            break;
        }
        interleave(planes, frames, out.interleaved.data() + (first + written) * channelCount);
        out.mix(first + written, frames);
        written += frames;
    }
    ov_clear(&file);
    return clean && written == count;
}
