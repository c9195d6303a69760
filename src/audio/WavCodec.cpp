// SPDX-License-Identifier: GPL-3.0-or-later
// RIFF/WAVE parsing and writing. All fields little-endian.
#include "audio/WavCodec.h"

#include "audio/PcmConversion.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int formatPcm = 1;
constexpr int formatFloat = 3;
constexpr int formatExtensible = 0xFFFE;

// KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT share this tail after their 16-bit code.
constexpr unsigned char guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t le16(const char *p)
{
    return qFromLittleEndian<std::uint16_t>(p);
}
std::uint32_t le32(const char *p)
{
    return qFromLittleEndian<std::uint32_t>(p);
}

bool decodable(int format, int bits)
{
    if (format == formatPcm)
        return bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (format == formatFloat)
        return bits == 32 || bits == 64;
    return false;
}

// One tight loop per layout: the hour-long files are the common case.
template <typename Convert>
void convertAll(const char *src, int bytesPerSample, std::span<float> out, Convert convert)
{
    for (float &value : out) {
        value = convert(src);
        src += bytesPerSample;
    }
}

void decodeSamples(const char *src, int format, int bits, std::span<float> out)
{
    if (out.empty())
        return; // a data chunk shorter than one frame
    const int bytes = bits / 8;
    if (format == formatFloat && bits == 32) {
        std::memcpy(out.data(), src, out.size_bytes());
        if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN)
            convertAll(src, 4, out, [](const char *p) { return qFromLittleEndian<float>(p); });
        return;
    }
    if (format == formatFloat) {
        convertAll(src, bytes, out, [](const char *p) { return float(qFromLittleEndian<double>(p)); });
        return;
    }
    switch (bits) {
    case 8:
        convertAll(src, bytes, out, [](const char *p) {
            return float(int(static_cast<unsigned char>(*p)) - 128) * (1.0f / 128.0f);
        });
        break;
    case 16:
        convertAll(src, bytes, out, [](const char *p) {
            return float(qFromLittleEndian<std::int16_t>(p)) * (1.0f / 32768.0f);
        });
        break;
    case 24:
        convertAll(src, bytes, out, [](const char *p) {
            const auto *u = reinterpret_cast<const unsigned char *>(p);
            const std::int32_t v = std::int32_t(std::uint32_t(u[0]) << 8 | std::uint32_t(u[1]) << 16
                                                 | std::uint32_t(u[2]) << 24) >> 8;
            return float(v) * (1.0f / 8388608.0f);
        });
        break;
    default:
        convertAll(src, bytes, out, [](const char *p) {
            return float(qFromLittleEndian<std::int32_t>(p)) * (1.0f / 2147483648.0f);
        });
        break;
    }
}

} // namespace

WavCodec::Layout WavCodec::parse(QIODevice &file)
{
    Layout layout;
    const qint64 size = file.size();
    char head[12];
    if (size < 44 || !file.seek(0) || file.read(head, 12) != 12) {
        layout.error = Error::HeaderTooShort;
        return layout;
    }
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        layout.error = Error::NotWave;
        return layout;
    }

    // 64-bit positions: a chunk size near 4 GiB still moves the walk forward. Only chunk
    // headers and the start of "fmt " are read; the samples are read later in slices.
    qint64 pos = 12;
    while (size - pos >= 8) {
        char chunk[8];
        if (!file.seek(pos) || file.read(chunk, 8) != 8)
            break; // the file shrank under us: treat the rest as absent
        const qint64 chunkSize = le32(chunk + 4);
        const qint64 body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (chunkSize < 16 || chunkSize > size - body) {
                layout.error = Error::BadFmtChunk;
                return layout;
            }
            char fmt[40] = {};
            const qint64 wanted = std::min<qint64>(chunkSize, sizeof fmt);
            if (file.read(fmt, wanted) != wanted) {
                layout.error = Error::BadFmtChunk;
                return layout;
            }
            layout.formatCode = le16(fmt);
            layout.channels = le16(fmt + 2);
            layout.sampleRate = le32(fmt + 4);
            layout.bitsPerSample = le16(fmt + 14);
            // Extensible files carry the real encoding in the SubFormat GUID.
            if (layout.formatCode == formatExtensible && chunkSize >= 40 && le16(fmt + 16) >= 22
                && std::memcmp(fmt + 26, guidTail, sizeof guidTail) == 0) {
                layout.formatCode = le16(fmt + 24);
            }
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            layout.dataOffset = body;
            layout.dataLength = std::min(chunkSize, size - body);
        }
        pos = body + chunkSize + (chunkSize & 1);
    }

    if (layout.dataOffset < 0 || layout.dataLength <= 0)
        layout.error = Error::NoData;
    else if (layout.channels == 0)
        layout.error = Error::NoChannels;
    else if (layout.sampleRate == 0 || layout.sampleRate > maxSampleRate)
        layout.error = Error::BadSampleRate;
    else if (!decodable(layout.formatCode, layout.bitsPerSample))
        layout.error = Error::UnsupportedEncoding;
    return layout;
}

void WavCodec::decode(const char *bytes, const Layout &layout, std::span<float> out)
{
    decodeSamples(bytes, layout.formatCode, layout.bitsPerSample, out);
}

int WavCodec::headerSize(int bitDepth)
{
    return bitDepth == 32 ? 56 : 44;
}

bool WavCodec::fitsRiff(qint64 sampleCount, int bitDepth)
{
    const qint64 dataBytes = sampleCount * (bitDepth / 8);
    return sampleCount >= 0 && dataBytes + headerSize(bitDepth) - 8 <= std::numeric_limits<std::uint32_t>::max();
}

QByteArray WavCodec::header(qint64 sampleCount, int sampleRate, int channels, int bitDepth)
{
    const std::uint32_t bytesPerSample = std::uint32_t(bitDepth / 8);
    const std::uint32_t dataBytes = std::uint32_t(sampleCount) * bytesPerSample;
    const bool isFloat = bitDepth == 32;
    QByteArray out;
    out.reserve(headerSize(bitDepth));
    auto put32 = [&out](std::uint32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    auto put16 = [&out](std::uint16_t v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    out.append("RIFF", 4);
    put32(std::uint32_t(headerSize(bitDepth) - 8) + dataBytes);
    out.append("WAVEfmt ", 8);
    put32(16);
    put16(isFloat ? formatFloat : formatPcm);
    put16(std::uint16_t(channels));
    put32(std::uint32_t(sampleRate));
    put32(std::uint32_t(sampleRate) * std::uint32_t(channels) * bytesPerSample);
    put16(std::uint16_t(std::uint32_t(channels) * bytesPerSample));
    put16(std::uint16_t(bitDepth));
    if (isFloat) {
        out.append("fact", 4);
        put32(4);
        put32(std::uint32_t(sampleCount / channels));
    }
    out.append("data", 4);
    put32(dataBytes);
    return out;
}

void WavCodec::appendSamples(QByteArray &out, std::span<const float> samples, int bitDepth)
{
    const qsizetype start = out.size();
    const int bytesPerSample = bitDepth / 8;
    out.resize(start + qsizetype(samples.size()) * bytesPerSample);
    char *dst = out.data() + start;
    switch (bitDepth) {
    case 16:
        for (float s : samples) {
            qToLittleEndian(std::int16_t(PcmConversion::toInteger(s, PcmConversion::scale16)), dst);
            dst += 2;
        }
        break;
    case 24:
        for (float s : samples) {
            const std::uint32_t v = std::uint32_t(PcmConversion::toInteger(s, PcmConversion::scale24));
            dst[0] = char(v & 0xFF);
            dst[1] = char((v >> 8) & 0xFF);
            dst[2] = char((v >> 16) & 0xFF);
            dst += 3;
        }
        break;
    default:
        // Float files store the values as they are, unclamped.
        for (float s : samples) {
            qToLittleEndian(s, dst);
            dst += 4;
        }
        break;
    }
}
