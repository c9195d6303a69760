// SPDX-License-Identifier: GPL-3.0-or-later
// RIFF/WAVE parsing and the canonical header and sample layout we write.
#pragma once

#include "audio/DecodedAudio.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <span>

class WavCodec
{
public:
    enum class Error {
        None,
        HeaderTooShort,
        NotWave,
        BadFmtChunk,
        NoData,
        NoChannels,
        BadSampleRate,
        UnsupportedEncoding,
    };

    struct Parsed
    {
        Error error = Error::None;
        DecodedAudio audio;
        // The format as found, for error texts: the SubFormat code for extensible files.
        int formatCode = 0;
        int bitsPerSample = 0;
        std::uint32_t sampleRate = 0;
    };

    // Rates beyond this are taken as a corrupt header rather than audio.
    static constexpr std::uint32_t maxSampleRate = 768000;

    // Never reads outside `bytes`; allocates only for samples actually present.
    static Parsed decode(QByteArrayView bytes);

    // Header size we write: 44 bytes, 56 with the "fact" chunk of float files.
    static int headerSize(int bitDepth);
    // False when the sizes would wrap the 32-bit RIFF fields.
    static bool fitsRiff(qint64 sampleCount, int bitDepth);
    static bool supportedBitDepth(int bitDepth) { return bitDepth == 16 || bitDepth == 24 || bitDepth == 32; }
    // Caller checks supportedBitDepth and fitsRiff first.
    static QByteArray header(qint64 sampleCount, int sampleRate, int channels, int bitDepth);
    // Appends the stored form of `samples` to `out`.
    static void appendSamples(QByteArray &out, std::span<const float> samples, int bitDepth);
};
