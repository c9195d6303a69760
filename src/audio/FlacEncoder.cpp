// SPDX-License-Identifier: GPL-3.0-or-later
// Verbatim FLAC frames packed by hand. Frames are streamed to the device and STREAMINFO,
// which needs the frame sizes, is written again at the end.
#include "audio/FlacEncoder.h"

#include "audio/ParallelRanges.h"
#include "audio/PcmConversion.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

constexpr qint64 streamInfoOffset = 8; // after "fLaC" and the block header
// Decoders reject block sizes below 16 in STREAMINFO, even for a shorter last block.
constexpr int minLegalBlockSize = 16;
constexpr char vendor[] = "ZentriqStudio";

// MSB-first bit packing, as every FLAC field is.
class BitWriter
{
public:
    void write(std::uint64_t value, int bits)
    {
        while (bits > 0) {
            const int take = std::min(bits, 56 - pending);
            bits -= take;
            accumulator = (accumulator << take) | ((value >> bits) & ((std::uint64_t(1) << take) - 1));
            pending += take;
            while (pending >= 8) {
                pending -= 8;
                data.append(char((accumulator >> pending) & 0xFF));
            }
        }
    }

    const QByteArray &bytes() const { return data; }
    QByteArray &bytes() { return data; }

private:
    QByteArray data;
    std::uint64_t accumulator = 0;
    int pending = 0;
};

constexpr std::array<std::uint8_t, 256> crc8Table = [] {
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t crc = std::uint8_t(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
        table[i] = crc;
    }
    return table;
}();

// CRC-16 tables for eight bytes at a time: crc16Tables[k][b] is the CRC of byte b followed
// by k zero bytes. The checksum runs over every byte written, so it must keep up with disk.
using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr Crc16Tables crc16Tables = [] {
    Crc16Tables tables{};
    for (int i = 0; i < 256; ++i) {
        std::uint16_t crc = std::uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint16_t((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
        tables[0][i] = crc;
    }
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i)
            tables[k][i] = std::uint16_t((tables[k - 1][i] << 8) ^ tables[0][tables[k - 1][i] >> 8]);
    return tables;
}();

std::uint8_t crc8(QByteArrayView bytes)
{
    std::uint8_t crc = 0;
    for (char b : bytes)
        crc = crc8Table[crc ^ std::uint8_t(b)];
    return crc;
}

std::uint16_t crc16(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const std::uint8_t *>(bytes.data());
    qsizetype left = bytes.size();
    std::uint16_t crc = 0;
    const auto &t = crc16Tables;
    for (; left >= 8; left -= 8, p += 8) {
        crc = std::uint16_t(t[7][p[0] ^ (crc >> 8)] ^ t[6][p[1] ^ (crc & 0xFF)] ^ t[5][p[2]] ^ t[4][p[3]]
                            ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
    }
    for (; left > 0; --left, ++p)
        crc = std::uint16_t((crc << 8) ^ t[0][(crc >> 8) ^ *p]);
    return crc;
}

int blockSizeCode(int frames)
{
    switch (frames) {
    case 256: return 8;
    case 512: return 9;
    case 1024: return 10;
    case 2048: return 11;
    case 4096: return 12;
    default: return 7; // 16-bit size − 1 follows the sample number
    }
}

int sampleRateCode(int rate)
{
    switch (rate) {
    case 88200: return 1;
    case 176400: return 2;
    case 192000: return 3;
    case 8000: return 4;
    case 16000: return 5;
    case 22050: return 6;
    case 24000: return 7;
    case 32000: return 8;
    case 44100: return 9;
    case 48000: return 10;
    case 96000: return 11;
    default: return 0; // taken from STREAMINFO
    }
}

// FLAC's extended UTF-8 coding, up to 36 bits in seven bytes.
void writeCodedNumber(BitWriter &writer, std::uint64_t value)
{
    if (value < 0x80) {
        writer.write(value, 8);
        return;
    }
    int continuation = 1;
    while (continuation < 6 && value >= (std::uint64_t(1) << (6 + 5 * continuation)))
        ++continuation;
    const std::uint64_t leadMarker = (0xFF00u >> (continuation + 1)) & 0xFF;
    writer.write(leadMarker | (value >> (6 * continuation)), 8);
    for (int i = continuation - 1; i >= 0; --i)
        writer.write(0x80 | ((value >> (6 * i)) & 0x3F), 8);
}

QByteArray encodeFrame(std::span<const float> interleaved, qint64 firstFrame, int blockFrames, int sampleRate,
                       int channels, int bitsPerSample)
{
    BitWriter writer;
    writer.write(0x3FFE, 14);
    writer.write(0, 1);
    writer.write(1, 1); // variable blocking: the header carries the sample number
    const int sizeCode = blockSizeCode(blockFrames);
    writer.write(std::uint64_t(sizeCode), 4);
    writer.write(std::uint64_t(sampleRateCode(sampleRate)), 4);
    writer.write(std::uint64_t(channels - 1), 4); // independent channels
    writer.write(bitsPerSample == 24 ? 6 : 4, 3);
    writer.write(0, 1);
    writeCodedNumber(writer, std::uint64_t(firstFrame));
    if (sizeCode == 7)
        writer.write(std::uint64_t(blockFrames - 1), 16);
    writer.write(crc8(writer.bytes()), 8);

    // The header ends byte-aligned and so does every verbatim sample of 16 or 24 bits, so
    // the subframes are written as whole big-endian bytes.
    const double scale = bitsPerSample == 24 ? PcmConversion::scale24 : PcmConversion::scale16;
    const int bytesPerSample = bitsPerSample / 8;
    QByteArray frame = std::move(writer.bytes());
    const qsizetype headerBytes = frame.size();
    frame.resize(headerBytes + qsizetype(channels) * (1 + qsizetype(blockFrames) * bytesPerSample) + 2);
    auto *dst = reinterpret_cast<unsigned char *>(frame.data()) + headerBytes;
    for (int c = 0; c < channels; ++c) {
        *dst++ = 0x02; // VERBATIM, no wasted bits
        const float *src = interleaved.data() + firstFrame * channels + c;
        for (int i = 0; i < blockFrames; ++i, src += channels) {
            const std::uint32_t v = std::uint32_t(PcmConversion::toInteger(*src, scale));
            if (bytesPerSample == 3)
                *dst++ = (v >> 16) & 0xFF;
            *dst++ = (v >> 8) & 0xFF;
            *dst++ = v & 0xFF;
        }
    }
    const std::uint16_t crc = crc16(QByteArrayView(frame.constData(), frame.size() - 2));
    dst[0] = crc >> 8;
    dst[1] = crc & 0xFF;
    return frame;
}

struct StreamInfo
{
    int minBlock = 0;
    int maxBlock = 0;
    int minFrameBytes = 0;
    int maxFrameBytes = 0;
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    qint64 totalFrames = 0;
};

QByteArray streamInfoBytes(const StreamInfo &info)
{
    BitWriter writer;
    writer.write(std::uint64_t(std::max(info.minBlock, minLegalBlockSize)), 16);
    writer.write(std::uint64_t(std::max(info.maxBlock, minLegalBlockSize)), 16);
    writer.write(std::uint64_t(info.minFrameBytes), 24);
    writer.write(std::uint64_t(info.maxFrameBytes), 24);
    writer.write(std::uint64_t(info.sampleRate), 20);
    writer.write(std::uint64_t(info.channels - 1), 3);
    writer.write(std::uint64_t(info.bitsPerSample - 1), 5);
    writer.write(std::uint64_t(info.totalFrames), 36);
    for (int i = 0; i < 16; ++i)
        writer.write(0, 8); // MD5 not computed
    return writer.bytes();
}

QByteArray metadataBytes(const StreamInfo &info)
{
    QByteArray out("fLaC");
    out.append(char(0x00)); // not last, STREAMINFO
    out.append(char(0x00));
    out.append(char(0x00));
    out.append(char(34));
    out.append(streamInfoBytes(info));
    const int vendorLength = int(sizeof vendor) - 1;
    const int commentLength = 4 + vendorLength + 4;
    out.append(char(0x84)); // last, VORBIS_COMMENT
    out.append(char((commentLength >> 16) & 0xFF));
    out.append(char((commentLength >> 8) & 0xFF));
    out.append(char(commentLength & 0xFF));
    // The comment block is little-endian, unlike the rest of FLAC.
    out.append(char(vendorLength));
    out.append(3, char(0));
    out.append(vendor, vendorLength);
    out.append(4, char(0));
    return out;
}

} // namespace

bool FlacEncoder::write(QIODevice &out, std::span<const float> interleaved, int sampleRate, int channels,
                        int bitsPerSample)
{
    StreamInfo info;
    info.sampleRate = sampleRate;
    info.channels = channels;
    info.bitsPerSample = bitsPerSample;
    info.totalFrames = qint64(interleaved.size()) / channels;
    // STREAMINFO is written again once the block and frame sizes are known.
    const QByteArray metadata = metadataBytes(info);
    if (out.write(metadata) != metadata.size())
        return false;

    info.minBlock = maxBlockFrames;
    info.minFrameBytes = 0;
    // Frames are independent: batches of them encode on several threads, written in order.
    const qint64 blocks = (info.totalFrames + maxBlockFrames - 1) / maxBlockFrames;
    const auto blockFrames = [&](qint64 block) {
        return int(std::min<qint64>(maxBlockFrames, info.totalFrames - block * maxBlockFrames));
    };
    const auto encode = [&](qint64 block, QByteArray &frame) {
        frame = encodeFrame(interleaved, block * maxBlockFrames, blockFrames(block), sampleRate, channels,
                            bitsPerSample);
    };
    qint64 written = 0;
    const auto write = [&](const QByteArray &frame) {
        const int frames = blockFrames(written++);
        info.minBlock = std::min(info.minBlock, frames);
        info.maxBlock = std::max(info.maxBlock, frames);
        info.minFrameBytes = info.minFrameBytes == 0 ? int(frame.size()) : std::min(info.minFrameBytes, int(frame.size()));
        info.maxFrameBytes = std::max(info.maxFrameBytes, int(frame.size()));
        return out.write(frame) == frame.size();
    };
    const int threads = ParallelRanges::threadsForValues(qint64(interleaved.size()));
    if (!ParallelRanges::writeInOrder(blocks, threads, encode, write))
        return false;
    if (info.totalFrames == 0)
        info.minBlock = 0;
    const QByteArray streamInfo = streamInfoBytes(info);
    return out.seek(streamInfoOffset) && out.write(streamInfo) == streamInfo.size();
}
