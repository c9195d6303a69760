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

bool isInteger(int format)
{
    return format == formatPcm;
}

// Whether `bits` per sample in `slotBytes` slots is a layout decode() reads: unsigned bytes,
// signed integers of 9 to 32 bits in slots of 2 to 4 bytes, or floats filling their slot.
bool decodable(int format, int bits, int slotBytes)
{
    if (isInteger(format))
        return bits == 8 ? slotBytes == 1 : bits > 8 && bits <= 32 && slotBytes >= 2 && slotBytes <= 4 && bits <= 8 * slotBytes;
    if (format == formatFloat)
        return (bits == 32 || bits == 64) && slotBytes == bits / 8;
    return false;
}

// The slot each sample is stored in. The block align says it: samples with fewer bits than
// their slot are read right only by stepping through it. Where it cannot be right (too small
// for the bits, not a whole slot per channel) the slot is the smallest the container bits
// fit in, which is what the canonical header means.
int slotBytes(int format, int bits, int containerBits, int channels, int blockAlign)
{
    const int smallest = (containerBits + 7) / 8;
    if (channels <= 0 || blockAlign % channels != 0)
        return smallest;
    const int fromAlign = blockAlign / channels;
    return fromAlign * 8 >= bits && decodable(format, bits, fromAlign) ? fromAlign : smallest;
}

// Which end of a slot wider than its bits holds them, judged from the samples. The format's
// own rule is the high end, zeros below; ALSA's S24_LE, which arecord writes as 24-bit PCM in
// 4-byte slots, is the low end, with the bits above a sign extension or zero. A sample that
// fits only one of the two shows which, and a sample of either convention always fits its
// own, so the data never contradicts how it was written; real audio shows it within a few
// samples. Only when none of the first samples tells (silence, or a quiet signal whose bits
// fit both) does `byDefault`, the header's convention, decide.
bool lowBitsCarrySamples(QIODevice &file, qint64 dataOffset, qint64 dataLength, int bits, int slotBytes,
                         bool byDefault)
{
    const int padBits = 8 * slotBytes - bits;
    const std::uint32_t belowHighEnd = (std::uint32_t(1) << padBits) - 1;
    const std::uint32_t signBit = std::uint32_t(1) << (bits - 1);
    const std::uint32_t aboveLowEnd = ((std::uint32_t(1) << padBits) - 1) << bits;
    QByteArray head(int(std::min<qint64>(dataLength, 1 << 16)), Qt::Uninitialized);
    if (!file.seek(dataOffset) || file.read(head.data(), head.size()) != head.size())
        return byDefault;
    for (qsizetype at = 0; at + slotBytes <= head.size(); at += slotBytes) {
        std::uint32_t slot = 0;
        for (int b = slotBytes - 1; b >= 0; --b)
            slot = slot << 8 | static_cast<unsigned char>(head[at + b]);
        const std::uint32_t above = slot & aboveLowEnd;
        const bool fitsHighEnd = (slot & belowHighEnd) == 0;
        const bool fitsLowEnd = above == 0 || above == ((slot & signBit) ? aboveLowEnd : 0);
        if (fitsHighEnd != fitsLowEnd)
            return fitsLowEnd;
    }
    return byDefault;
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

void decodeSamples(const char *src, const WavCodec::Layout &layout, std::span<float> out)
{
    if (out.empty())
        return; // a data chunk shorter than one frame
    const int slot = layout.bytesPerSample;
    if (layout.formatCode == formatFloat && slot == 4) {
        std::memcpy(out.data(), src, out.size_bytes());
        if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN)
            convertAll(src, 4, out, [](const char *p) { return qFromLittleEndian<float>(p); });
        return;
    }
    if (layout.formatCode == formatFloat) {
        convertAll(src, slot, out, [](const char *p) { return float(qFromLittleEndian<double>(p)); });
        return;
    }
    if (layout.lowBitsCarrySample) {
        // The sample's top bit moved to bit 31 drops whatever sits above it in the slot.
        const int shift = 32 - layout.bitsPerSample;
        convertAll(src, slot, out, [slot, shift](const char *p) {
            std::uint32_t bits = 0;
            for (int b = slot - 1; b >= 0; --b)
                bits = bits << 8 | static_cast<unsigned char>(p[b]);
            return float(std::int32_t(bits << shift)) * (1.0f / 2147483648.0f);
        });
        return;
    }
    // Bits at the high end with zeros below read as an integer of the slot's width.
    switch (slot) {
    case 1:
        convertAll(src, 1, out, [](const char *p) {
            return float(int(static_cast<unsigned char>(*p)) - 128) * (1.0f / 128.0f);
        });
        break;
    case 2:
        convertAll(src, 2, out, [](const char *p) {
            return float(qFromLittleEndian<std::int16_t>(p)) * (1.0f / 32768.0f);
        });
        break;
    case 3:
        convertAll(src, 3, out, [](const char *p) {
            const auto *u = reinterpret_cast<const unsigned char *>(p);
            const std::int32_t v = std::int32_t(std::uint32_t(u[0]) << 8 | std::uint32_t(u[1]) << 16
                                                 | std::uint32_t(u[2]) << 24) >> 8;
            return float(v) * (1.0f / 8388608.0f);
        });
        break;
    default:
        convertAll(src, 4, out, [](const char *p) {
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
    int blockAlign = 0;
    int containerBits = 0;
    bool extensible = false;
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
            blockAlign = le16(fmt + 12);
            containerBits = layout.bitsPerSample = le16(fmt + 14);
            // Extensible files carry the real encoding in the SubFormat GUID, and may use fewer
            // bits of each sample than its container.
            extensible = layout.formatCode == formatExtensible && chunkSize >= 40 && le16(fmt + 16) >= 22
                && std::memcmp(fmt + 26, guidTail, sizeof guidTail) == 0;
            if (extensible) {
                layout.formatCode = le16(fmt + 24);
                const int validBits = le16(fmt + 18);
                if (isInteger(layout.formatCode) && validBits > 0 && validBits < containerBits)
                    layout.bitsPerSample = validBits;
            }
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            layout.dataOffset = body;
            layout.dataLength = std::min(chunkSize, size - body);
            // All ones is what a writer that streams puts before it knows the length.
            layout.declaredDataLength = chunkSize == 0xFFFFFFFF ? layout.dataLength : chunkSize;
        }
        pos = body + chunkSize + (chunkSize & 1);
    }

    layout.bytesPerSample = slotBytes(layout.formatCode, layout.bitsPerSample, containerBits, layout.channels,
                                      blockAlign);
    if (layout.dataOffset < 0 || layout.dataLength <= 0)
        layout.error = Error::NoData;
    else if (layout.channels == 0)
        layout.error = Error::NoChannels;
    else if (layout.sampleRate == 0 || layout.sampleRate > maxSampleRate)
        layout.error = Error::BadSampleRate;
    else if (!decodable(layout.formatCode, layout.bitsPerSample, layout.bytesPerSample))
        layout.error = Error::UnsupportedEncoding;
    else if (isInteger(layout.formatCode) && layout.bitsPerSample > 8 && layout.bitsPerSample < 8 * layout.bytesPerSample)
        // The canonical header's slot is the smallest that holds the bits; a wider one (as in
        // arecord's files) comes from a convention that puts the bits at the low end.
        layout.lowBitsCarrySample = lowBitsCarrySamples(
            file, layout.dataOffset, layout.dataLength, layout.bitsPerSample, layout.bytesPerSample,
            !extensible && layout.bytesPerSample > (layout.bitsPerSample + 7) / 8);
    return layout;
}

void WavCodec::decode(const char *bytes, const Layout &layout, std::span<float> out)
{
    decodeSamples(bytes, layout, out);
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
