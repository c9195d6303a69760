// SPDX-License-Identifier: GPL-3.0-or-later
// Mono and stereo MP3 encoding with LAME.
#include "audio/Mp3Encoder.h"

#include "audio/PcmConversion.h"
#include "audio/VectorState.h"

#include <QIODevice>

#include <lame/lame.h>

#include <algorithm>
#include <array>

namespace {
constexpr int chunkFrames = 1152;
// LAME's worst case for one chunk: 1.25 × 1152 + 7200 bytes.
constexpr int outputBytes = 8640;
} // namespace

Mp3Encoder::Mp3Encoder() : lame(lame_init()) {}

Mp3Encoder::~Mp3Encoder()
{
    if (lame)
        lame_close(lame);
}

bool Mp3Encoder::configure(int sampleRate, int channelCount)
{
    if (channelCount != 1 && channelCount != 2)
        return false;
    channels = channelCount;
    lame_set_in_samplerate(lame, sampleRate);
    lame_set_num_channels(lame, channels);
    lame_set_quality(lame, 2);
    lame_set_mode(lame, channels == 2 ? JOINT_STEREO : MONO);
    lame_set_brate(lame, 192);
    lame_set_VBR(lame, vbr_off);
    return lame_init_params(lame) >= 0;
}

Mp3Encoder::Result Mp3Encoder::encode(std::span<const float> interleaved, QIODevice &out)
{
    // Called on the GUI thread, whose painting may have left the vector registers' upper
    // halves in use: every SSE instruction of the encoder would then wait on them.
    clearUpperVectorState();
    std::array<short, chunkFrames * 2> pcm{};
    std::array<unsigned char, outputBytes> encoded{};
    auto put = [&out, &encoded](int bytes) {
        return out.write(reinterpret_cast<const char *>(encoded.data()), bytes) == bytes;
    };

    const std::size_t frames = interleaved.size() / std::size_t(channels);
    for (std::size_t first = 0; first < frames; first += chunkFrames) {
        const int count = int(std::min<std::size_t>(chunkFrames, frames - first));
        const float *src = interleaved.data() + first * std::size_t(channels);
        for (int i = 0; i < count * channels; ++i)
            pcm[i] = short(PcmConversion::toInteger(src[i], PcmConversion::scale16));
        // Mono mode reads only the left input; the same chunk goes to both.
        const int bytes = channels == 2
            ? lame_encode_buffer_interleaved(lame, pcm.data(), count, encoded.data(), outputBytes)
            : lame_encode_buffer(lame, pcm.data(), pcm.data(), count, encoded.data(), outputBytes);
        if (bytes < 0)
            return Result::EncoderFailed;
        if (bytes > 0 && !put(bytes))
            return Result::WriteFailed;
    }
    const int flushed = lame_encode_flush(lame, encoded.data(), outputBytes);
    if (flushed < 0)
        return Result::EncoderFailed;
    if (flushed > 0 && !put(flushed))
        return Result::WriteFailed;

    // Without the tag the placeholder frame decodes as ~51 ms of extra silence.
    const std::size_t tagBytes = lame_get_lametag_frame(lame, encoded.data(), encoded.size());
    if (tagBytes > 0 && tagBytes <= encoded.size()) {
        if (!out.seek(0) || !put(int(tagBytes)))
            return Result::WriteFailed;
    }
    return Result::Ok;
}
