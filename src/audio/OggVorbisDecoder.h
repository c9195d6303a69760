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

    // `bytes` must outlive the decoder. False with failure() set when it holds no Vorbis
    // stream the decoder can read.
    bool open(QByteArrayView bytes);
    DecodeFailure failure() const { return openFailure; }
    int sampleRate() const { return rate; }
    int channels() const { return channelCount; }
    // What the last page's granule position claims; may be wrong or negative in a damaged file.
    qint64 streamLengthFrames() const { return lengthFrames; }
    // Decodes until the decoder runs dry; the claimed length is only a capped reserve hint.
    // Reopens the bytes for it (open()'s `bytes` must still be there).
    // A chained stream whose rate or channel count differs leaves no frames, with the failure
    // and the change set: a clip has one of each, and a part of the file is not the file.
    // Any thread count gives the same result.
    DecodedAudio decodeAll(DecodeOptions options = {});

private:
    // Opens seekable or, without seeking, as a stream read in order.
    bool openFile(QByteArrayView bytes, bool seekable);
    DecodedAudio decodeOpened(DecodeOptions options);
    void interleave(float *const *planes, qint64 frames, float *dst) const;
    // Decodes frames [first, first + count) into their place in `out` with a decoder of its
    // own; the last range must end with the stream. True only for a clean, exact range.
    bool decodeRange(QByteArrayView bytes, DecodedAudio &out, qint64 first, qint64 count, bool isLast) const;

    struct State;
    std::unique_ptr<State> state;
    DecodeFailure openFailure = DecodeFailure::None;
    int rate = 0;
    int channelCount = 0;
    qint64 lengthFrames = 0;
};
