// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC decoding with libFLAC's stream decoder.
#include "audio/FlacDecoder.h"

#include <QFile>
#include <QFileInfo>

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

struct DecodeState
{
    DecodedAudio audio;
    qsizetype used = 0;
    qint64 fileSize = 0;
    FlacDecoder::FormatChange change;
};

void onMetadata(const FLAC__StreamDecoder *, const FLAC__StreamMetadata *metadata, void *client)
{
    auto *state = static_cast<DecodeState *>(client);
    if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO)
        return;
    const auto &info = metadata->data.stream_info;
    // The total is only a reserve hint: a header can claim anything. Real FLAC needs at
    // least a few bytes per 64 frames, even for silence at the best compression.
    const qint64 bound = (state->fileSize + 1) * 64;
    const qint64 frames = std::min<qint64>(qint64(std::min<FLAC__uint64>(info.total_samples, 1ull << 40)), bound);
    if (frames > 0)
        state->audio.interleaved.reserve(frames * qint64(info.channels));
}

FLAC__StreamDecoderWriteStatus onWrite(const FLAC__StreamDecoder *, const FLAC__Frame *frame,
                                       const FLAC__int32 *const buffer[], void *client)
{
    auto *state = static_cast<DecodeState *>(client);
    const int channelCount = int(frame->header.channels);
    const int rate = int(frame->header.sample_rate);
    if (state->audio.channels == 0) {
        state->audio.channels = channelCount;
        state->audio.sampleRate = rate;
    } else if (channelCount != state->audio.channels || rate != state->audio.sampleRate) {
        state->change = {state->audio.sampleRate, rate, state->audio.channels, channelCount};
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const float scale = std::ldexp(1.0f, 1 - int(frame->header.bits_per_sample));
    const unsigned blockFrames = frame->header.blocksize;
    float *dst = state->audio.extend(qsizetype(blockFrames) * channelCount);
    for (unsigned i = 0; i < blockFrames; ++i)
        for (int c = 0; c < channelCount; ++c)
            *dst++ = float(buffer[c][i]) * scale;
    state->used += qsizetype(blockFrames) * channelCount;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

// Damaged frames are reported here; libFLAC resynchronises on its own.
void onError(const FLAC__StreamDecoder *, FLAC__StreamDecoderErrorStatus, void *) {}

struct DecoderDeleter
{
    void operator()(FLAC__StreamDecoder *decoder) const { FLAC__stream_decoder_delete(decoder); }
};

} // namespace

DecodedAudio FlacDecoder::decodeFile(const QString &filePath, FormatChange *change)
{
    DecodeState state;
    state.fileSize = QFileInfo(filePath).size();
    std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder(FLAC__stream_decoder_new());
    if (!decoder)
        return {};
    const QByteArray nativePath = QFile::encodeName(filePath);
    if (FLAC__stream_decoder_init_file(decoder.get(), nativePath.constData(), onWrite, onMetadata, onError, &state)
        != FLAC__STREAM_DECODER_INIT_STATUS_OK)
        return {};
    FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
    FLAC__stream_decoder_finish(decoder.get());
    if (change)
        *change = state.change;
    if (state.change.happened() || state.audio.channels == 0 || state.audio.sampleRate <= 0)
        return {};
    state.audio.finish(state.used);
    return std::move(state.audio);
}
