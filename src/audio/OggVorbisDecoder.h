// SPDX-License-Identifier: GPL-3.0-or-later
// Ogg Vorbis decoding from memory with libvorbisfile.
#pragma once

#include "audio/DecodedAudio.h"

#include <QByteArrayView>

#include <memory>

class OggVorbisDecoder
{
public:
    OggVorbisDecoder();
    ~OggVorbisDecoder();
    OggVorbisDecoder(const OggVorbisDecoder &) = delete;
    OggVorbisDecoder &operator=(const OggVorbisDecoder &) = delete;

    // `bytes` must outlive the decoder. False with error() set when it is no Vorbis stream.
    bool open(QByteArrayView bytes);
    // The decoder's last error code (libvorbisfile's negative OV_ codes), 0 when none.
    int error() const { return lastError; }
    int sampleRate() const { return rate; }
    int channels() const { return channelCount; }
    // What the last page's granule position claims; may be wrong or negative in a damaged file.
    qint64 streamLengthFrames() const { return lengthFrames; }
    // Decodes until the decoder runs dry; the claimed length is only a capped reserve hint.
    // Stops at a chained stream whose rate or channel count differs. Any thread count gives
    // the same result.
    DecodedAudio decodeAll(DecodeOptions options = {});

private:
    void interleave(float *const *planes, qint64 frames, float *dst) const;
    // Decodes frames [first, first + count) into their place in `out` with a decoder of its
    // own; the last range must end with the stream. True only for a clean, exact range.
    bool decodeRange(QByteArrayView bytes, DecodedAudio &out, qint64 first, qint64 count, bool isLast) const;

    struct State;
    std::unique_ptr<State> state;
    int lastError = 0;
    int rate = 0;
    int channelCount = 0;
    qint64 lengthFrames = 0;
};
