// SPDX-License-Identifier: GPL-3.0-or-later
// RIFF/WAVE parsing and the canonical header and sample layout we write.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <span>

class QIODevice;

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

    // Where the samples are and how they are stored, from the chunk walk.
    struct Layout
    {
        Error error = Error::None;
        int formatCode = 0; // the SubFormat code for extensible files
        int channels = 0;
        std::uint32_t sampleRate = 0;
        int bitsPerSample = 0;  // the bits of each sample that carry it
        int bytesPerSample = 0; // the slot each sample is stored in, from the block align
        // In a slot wider than its bits, whether they sit at its low end; else at its high
        // end with zeros below, so the slot reads as an integer of its own width.
        bool lowBitsCarrySample = false;
        qint64 dataOffset = -1;
        qint64 dataLength = 0; // what the file holds, never more
        // What the data chunk's header claims; more than dataLength in a file cut short.
        qint64 declaredDataLength = 0;

        int bytesPerFrame() const { return channels * bytesPerSample; }
        qint64 frames() const { return bytesPerFrame() > 0 ? dataLength / bytesPerFrame() : 0; }
        qint64 declaredFrames() const { return bytesPerFrame() > 0 ? declaredDataLength / bytesPerFrame() : 0; }
    };

    // Rates beyond this are taken as a corrupt header rather than audio.
    static constexpr std::uint32_t maxSampleRate = 768000;

    // Walks the chunks reading only their headers and the fmt body, never past the file's
    // end. error is None only for a layout decode() can read.
    static Layout parse(QIODevice &file);
    // Turns out.size() stored samples starting at `bytes` into floats.
    static void decode(const char *bytes, const Layout &layout, std::span<float> out);

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
