// SPDX-License-Identifier: GPL-3.0-or-later
// Constant-bit-rate MP3 encoding with LAME (192 kbit/s, quality 2), mono or joint stereo.
#pragma once

#include <QList>

#include <span>

class QIODevice;
struct lame_global_struct;

class Mp3Encoder
{
public:
    enum class Result { Ok, EncoderFailed, WriteFailed };

    Mp3Encoder();
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder &) = delete;
    Mp3Encoder &operator=(const Mp3Encoder &) = delete;

    bool isValid() const { return lame != nullptr; }
    // `channels` 1 encodes mono, 2 joint stereo. False when LAME rejects the settings.
    bool configure(int sampleRate, int channels = 1);
    // Writes the whole stream of `interleaved` (stride: the configured channels; a trailing
    // partial frame is dropped) to the seekable `out`, then the LAME tag over the first
    // frame so decoders drop the encoder delay and padding.
    Result encode(std::span<const float> interleaved, QIODevice &out);

private:
    lame_global_struct *lame = nullptr;
    int channels = 1;
};
