// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC decoding with libFLAC's stream decoder. FLAC frames are independent and libFLAC seeks
// to an exact sample, so a long file decodes as frame ranges on several threads, each with a
// decoder of its own writing straight into its part of the clip.
#include "audio/FlacDecoder.h"

#include "audio/ParallelRanges.h"

#include <QFile>
#include <QFileInfo>

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

struct StreamInfo
{
    qint64 frames = 0; // STREAMINFO's total, capped by what the file size allows; 0 when unknown
    int channels = 0;
    int sampleRate = 0;
};

// One decoder's pass over frames [first, end) of the stream.
struct DecodeState
{
    DecodeState(DecodedAudio &audio, qint64 fileSize, qint64 first = 0,
                qint64 end = std::numeric_limits<qint64>::max())
        : audio(audio), fileSize(fileSize), first(first), end(end)
    {
    }

    DecodedAudio &audio;
    qint64 fileSize;
    qint64 first;
    qint64 end;
    qint64 written = 0; // frames written from `first` on
    bool overran = false; // the stream went on past `end`
    bool damaged = false;
    FormatChange change;
    StreamInfo info;
};

void onMetadata(const FLAC__StreamDecoder *, const FLAC__StreamMetadata *metadata, void *client)
{
    auto *state = static_cast<DecodeState *>(client);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO)
        return;
    const auto &info = metadata->data.stream_info;
    // The total is only a hint: a header can claim anything. Real FLAC needs at least a few
    // bytes per 64 frames, even for silence at the best compression.
    const qint64 bound = (state->fileSize + 1) * 64;
    state->info = {std::min<qint64>(qint64(std::min<FLAC__uint64>(info.total_samples, 1ull << 40)), bound),
                   int(info.channels), int(info.sample_rate)};
}

FLAC__StreamDecoderWriteStatus onWrite(const FLAC__StreamDecoder *, const FLAC__Frame *frame,
                                       const FLAC__int32 *const buffer[], void *client)
{
    auto *state = static_cast<DecodeState *>(client);
    DecodedAudio &audio = state->audio;
    const int channelCount = int(frame->header.channels);
    const int rate = int(frame->header.sample_rate);
    if (audio.channels == 0) {
        audio.start(channelCount, rate, state->info.frames);
    } else if (channelCount != audio.channels || rate != audio.sampleRate) {
        state->change = {audio.sampleRate, rate, audio.channels, channelCount};
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const float scale = std::ldexp(1.0f, 1 - int(frame->header.bits_per_sample));
    const qint64 at = state->first + state->written;
    const qint64 blockFrames = std::min<qint64>(frame->header.blocksize, state->end - at);
    if (blockFrames <= 0) {
        state->overran = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    float *dst = audio.extend(at * channelCount, blockFrames * channelCount);
    for (qint64 i = 0; i < blockFrames; ++i)
        for (int c = 0; c < channelCount; ++c)
            *dst++ = float(buffer[c][i]) * scale;
    audio.mix(at, blockFrames);
    state->written += blockFrames;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

// Damaged frames are reported here; libFLAC resynchronises on its own.
void onError(const FLAC__StreamDecoder *, FLAC__StreamDecoderErrorStatus, void *client)
{
    static_cast<DecodeState *>(client)->damaged = true;
}

struct DecoderDeleter
{
    void operator()(FLAC__StreamDecoder *decoder) const { FLAC__stream_decoder_delete(decoder); }
};
using Decoder = std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter>;

Decoder openDecoder(const QByteArray &nativePath, DecodeState &state)
{
    Decoder decoder(FLAC__stream_decoder_new());
    if (!decoder
        || FLAC__stream_decoder_init_file(decoder.get(), nativePath.constData(), onWrite, onMetadata, onError, &state)
            != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return {};
    return decoder;
}

// Decodes frames [first, first + count) into `audio`, already started with the stream's
// layout, or to the end of the stream when `isLast`. True only when exactly those frames
// decoded cleanly, as they would in one pass.
bool decodeRange(const QByteArray &nativePath, const DecodeState &whole, qint64 first, qint64 count, bool isLast)
{
    DecodeState state(whole.audio, whole.fileSize, first, first + count);
    Decoder decoder = openDecoder(nativePath, state);
    if (!decoder || !FLAC__stream_decoder_process_until_end_of_metadata(decoder.get())
        || !FLAC__stream_decoder_seek_absolute(decoder.get(), FLAC__uint64(first)))
        return false;
    while (state.written < count && !state.damaged && !state.change.happened()
           && FLAC__stream_decoder_get_state(decoder.get()) < FLAC__STREAM_DECODER_END_OF_STREAM)
        FLAC__stream_decoder_process_single(decoder.get());
    // The last range must also find the stream ending where STREAMINFO says.
    if (isLast && state.written == count)
        FLAC__stream_decoder_process_single(decoder.get());
    const bool endsThere = !isLast
        || FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM;
    FLAC__stream_decoder_finish(decoder.get());
    return state.written == count && endsThere && !state.overran && !state.damaged && !state.change.happened();
}

} // namespace

DecodedAudio FlacDecoder::decodeFile(const QString &filePath, DecodeOptions options)
{
    DecodedAudio audio(options);
    int threads = options.threads;
    const QByteArray nativePath = QFile::encodeName(filePath);
    DecodeState state(audio, QFileInfo(filePath).size());
    Decoder decoder = openDecoder(nativePath, state);
    if (!decoder)
        return DecodedAudio::failed(DecodeFailure::Unreadable);
    const bool readMetadata = FLAC__stream_decoder_process_until_end_of_metadata(decoder.get());
    if (threads <= 0)
        threads = ParallelRanges::threadsForValues(state.info.frames * state.info.channels);
    if (readMetadata && threads > 1 && state.info.frames > 0 && state.info.channels > 0 && state.info.sampleRate > 0) {
        audio.start(state.info.channels, state.info.sampleRate, state.info.frames);
        const qint64 frames = state.info.frames;
        const auto range = [&](qint64 first, qint64 count, bool isLast) {
            return decodeRange(nativePath, state, first, count, isLast);
        };
        if (ParallelRanges::run(frames, threads, range)) {
            audio.finish(frames * audio.channels);
            return audio;
        }
        // Something a single pass treats its own way (damage, a format change, a wrong
        // total): decode again in one pass so the result is the same.
        FLAC__stream_decoder_finish(decoder.get());
        audio = DecodedAudio(options);
        state.info = {};
        decoder = openDecoder(nativePath, state);
        if (!decoder)
            return DecodedAudio::failed(DecodeFailure::Unreadable);
    }
    FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    FLAC__stream_decoder_finish(decoder.get());
    if (state.change.happened()) {
        DecodedAudio changed = DecodedAudio::failed(DecodeFailure::FormatChanged);
        changed.change = state.change;
        return changed;
    }
    // Without STREAMINFO libFLAC still hunts for frames; finding none, the bytes were no FLAC.
    if (audio.channels == 0 || audio.sampleRate <= 0 || state.written == 0)
        return DecodedAudio::failed(state.info.channels > 0 ? DecodeFailure::NoAudio : DecodeFailure::NotThisFormat);
    audio.finish(state.written * audio.channels);
    return audio;
}
