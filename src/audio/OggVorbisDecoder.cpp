// SPDX-License-Identifier: GPL-3.0-or-later
// Ogg Vorbis decoding from memory with stb_vorbis (libstb, header-only mode).
#include "audio/OggVorbisDecoder.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb/stb_vorbis.h>

#include <algorithm>
#include <limits>

OggVorbisDecoder::~OggVorbisDecoder()
{
    if (vorbis)
        stb_vorbis_close(vorbis);
}

bool OggVorbisDecoder::open(QByteArrayView bytes)
{
    if (bytes.size() > std::numeric_limits<int>::max()) {
        openError = VORBIS_outofmem;
        return false;
    }
    inputBytes = bytes.size();
    vorbis = stb_vorbis_open_memory(reinterpret_cast<const unsigned char *>(bytes.data()), int(bytes.size()),
                                    &openError, nullptr);
    if (!vorbis)
        return false;
    const stb_vorbis_info info = stb_vorbis_get_info(vorbis);
    rate = int(info.sample_rate);
    channelCount = info.channels;
    // The last page's granule position: a damaged or patched file may claim billions.
    lengthFrames = qint64(stb_vorbis_stream_length_in_samples(vorbis));
    return true;
}

int OggVorbisDecoder::error() const
{
    return vorbis ? int(stb_vorbis_get_error(vorbis)) : openError;
}

DecodedAudio OggVorbisDecoder::decodeAll()
{
    DecodedAudio out;
    if (!vorbis || channelCount <= 0 || rate <= 0)
        return out;
    out.channels = channelCount;
    out.sampleRate = rate;
    // Vorbis needs well over one byte per 64 frames even at its lowest rate.
    const qint64 hint = std::min(lengthFrames, (inputBytes + 1) * 64);
    if (hint > 0)
        out.interleaved.reserve(hint * channelCount);

    constexpr int stepFrames = 4096;
    qsizetype used = 0;
    for (;;) {
        float *dst = out.extend(qsizetype(stepFrames) * channelCount);
        const int frames = stb_vorbis_get_samples_float_interleaved(vorbis, channelCount, dst,
                                                                    stepFrames * channelCount);
        if (frames < 1)
            break;
        used += qsizetype(frames) * channelCount;
        out.interleaved.resize(used);
    }
    out.finish(used);
    return out;
}
