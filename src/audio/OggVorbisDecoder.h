// SPDX-License-Identifier: GPL-3.0-or-later
// Ogg Vorbis decoding from memory with stb_vorbis. stb_vorbis.h stays inside the .cpp:
// it defines one-letter macros that would break other code.
#pragma once

#include "audio/DecodedAudio.h"

#include <QByteArrayView>

struct stb_vorbis;

class OggVorbisDecoder
{
public:
    OggVorbisDecoder() = default;
    ~OggVorbisDecoder();
    OggVorbisDecoder(const OggVorbisDecoder &) = delete;
    OggVorbisDecoder &operator=(const OggVorbisDecoder &) = delete;

    // `bytes` must outlive the decoder. False with error() set when it is no Vorbis stream.
    bool open(QByteArrayView bytes);
    int error() const;
    int sampleRate() const { return rate; }
    int channels() const { return channelCount; }
    // What the last page claims; may be wrong or -1 in a damaged file.
    qint64 streamLengthFrames() const { return lengthFrames; }
    // Decodes until the decoder runs dry; the claimed length is only a capped reserve hint.
    DecodedAudio decodeAll();

private:
    stb_vorbis *vorbis = nullptr;
    qint64 inputBytes = 0;
    int openError = 0;
    int rate = 0;
    int channelCount = 0;
    qint64 lengthFrames = 0;
};
