// SPDX-License-Identifier: GPL-3.0-or-later
// Table-driven Base64 for float32 channels; blocks of decoded bytes avoid one huge allocation.
#include "project/Float32Base64.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr unsigned char invalid = 0xFF;
constexpr unsigned char pad = 0xFE;

constexpr std::array<unsigned char, 256> makeDecodeTable()
{
    std::array<unsigned char, 256> table{};
    table.fill(invalid);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(Float32Base64::alphabet[i])] = static_cast<unsigned char>(i);
    table['='] = pad;
    return table;
}
constexpr auto decodeTable = makeDecodeTable();

// Both multiples of 12 so neither a 3-byte group nor a 4-byte float straddles two blocks.
constexpr qsizetype firstBlockBytes = 12 * 1024;
constexpr qsizetype largestBlockBytes = 12 * 1024 * 1024;

constexpr qsizetype floatsPerPiece = 3 * 16384;  // a multiple of 3 keeps pieces free of padding

} // namespace

bool Float32Base64::encode(const float *data, qsizetype count, qsizetype stride, const TextSink &sink)
{
    std::vector<unsigned char> bytes(floatsPerPiece * 4);
    std::vector<char> text(floatsPerPiece * 4 / 3 * 4 + 4);
    for (qsizetype first = 0; first < count; first += floatsPerPiece) {
        const qsizetype n = std::min(floatsPerPiece, count - first);
        for (qsizetype i = 0; i < n; ++i)
            qToLittleEndian(std::bit_cast<quint32>(data[(first + i) * stride]), bytes.data() + 4 * i);
        const qsizetype byteCount = n * 4;
        char *out = text.data();
        qsizetype i = 0;
        for (; i + 3 <= byteCount; i += 3) {
            const quint32 v = quint32(bytes[i]) << 16 | quint32(bytes[i + 1]) << 8 | bytes[i + 2];
            *out++ = alphabet[v >> 18];
            *out++ = alphabet[(v >> 12) & 63];
            *out++ = alphabet[(v >> 6) & 63];
            *out++ = alphabet[v & 63];
        }
        if (byteCount - i == 1) {
            const quint32 v = quint32(bytes[i]) << 16;
            *out++ = alphabet[v >> 18];
            *out++ = alphabet[(v >> 12) & 63];
            *out++ = '=';
            *out++ = '=';
        } else if (byteCount - i == 2) {
            const quint32 v = quint32(bytes[i]) << 16 | quint32(bytes[i + 1]) << 8;
            *out++ = alphabet[v >> 18];
            *out++ = alphabet[(v >> 12) & 63];
            *out++ = alphabet[(v >> 6) & 63];
            *out++ = '=';
        }
        if (!sink(text.data(), out - text.data()))
            return false;
    }
    return true;
}

Float32Base64::Decoder::Decoder() = default;
Float32Base64::Decoder::Decoder(Decoder &&) noexcept = default;
Float32Base64::Decoder &Float32Base64::Decoder::operator=(Decoder &&) noexcept = default;
Float32Base64::Decoder::~Decoder() = default;

void Float32Base64::Decoder::nextBlock()
{
    const qsizetype size = blockSizes.empty() ? firstBlockBytes : std::min(blockSizes.back() * 2, largestBlockBytes);
    blocks.push_back(std::make_unique_for_overwrite<unsigned char[]>(size));
    blockSizes.push_back(size);
    cursor = blocks.back().get();
    blockEnd = cursor + size;
}

void Float32Base64::Decoder::emitQuad(quint32 bits, int bytes)
{
    if (cursor == blockEnd)
        nextBlock();
    cursor[0] = static_cast<unsigned char>(bits >> 16);
    cursor[1] = static_cast<unsigned char>(bits >> 8);
    cursor[2] = static_cast<unsigned char>(bits);
    // A short last group still advances by three so later blocks stay aligned; the count is exact.
    cursor += 3;
    byteCount += bytes;
}

void Float32Base64::Decoder::feed(const char *text, qsizetype size)
{
    const auto *in = reinterpret_cast<const unsigned char *>(text);
    const auto *end = in + size;
    while (in < end && !error) {
        // Fast path: whole groups of four plain characters into the current block.
        if (pendingCount == 0 && padding == 0 && !ended) {
            if (cursor == blockEnd)
                nextBlock();
            const qsizetype groups = std::min<qsizetype>((end - in) / 4, (blockEnd - cursor) / 3);
            qsizetype g = 0;
            for (; g < groups; ++g) {
                const quint32 a = decodeTable[in[0]], b = decodeTable[in[1]], c = decodeTable[in[2]],
                              d = decodeTable[in[3]];
                if ((a | b | c | d) & 0xC0)
                    break;
                const quint32 v = a << 18 | b << 12 | c << 6 | d;
                cursor[0] = static_cast<unsigned char>(v >> 16);
                cursor[1] = static_cast<unsigned char>(v >> 8);
                cursor[2] = static_cast<unsigned char>(v);
                cursor += 3;
                in += 4;
            }
            byteCount += 3 * g;
            if (g == groups && end - in >= 4)
                continue;  // the block is full
            if (in == end)
                break;
        }
        const unsigned char value = decodeTable[*in++];
        if (value == invalid || ended) {
            error = true;
        } else if (value == pad) {
            // "=" may only complete a group that already holds two or three characters.
            ++padding;
            if (pendingCount < 2 || pendingCount + padding > 4) {
                error = true;
            } else if (pendingCount + padding == 4) {
                emitQuad(pending << (6 * padding), pendingCount - 1);
                ended = true;
            }
        } else if (padding > 0) {
            error = true;
        } else {
            pending = pending << 6 | value;
            if (++pendingCount == 4) {
                emitQuad(pending, 3);
                pending = 0;
                pendingCount = 0;
            }
        }
    }
}

bool Float32Base64::Decoder::finish()
{
    if (!ended && (pendingCount != 0 || padding != 0))
        error = true;
    if (byteCount % 4 != 0)
        error = true;
    return !error;
}

qsizetype Float32Base64::Decoder::moveTo(float *out, qsizetype count, qsizetype stride)
{
    count = std::min(count, floatCount());
    qsizetype replaced = 0;
    qsizetype done = 0;
    for (std::size_t b = 0; b < blocks.size() && done < count; ++b) {
        const unsigned char *bytes = blocks[b].get();
        const qsizetype n = std::min(blockSizes[b] / 4, count - done);
        for (qsizetype i = 0; i < n; ++i) {
            float value = std::bit_cast<float>(qFromLittleEndian<quint32>(bytes + 4 * i));
            if (!std::isfinite(value)) {
                value = 0.0f;
                ++replaced;
            }
            out[(done + i) * stride] = value;
        }
        done += n;
        blocks[b].reset();
    }
    blocks.clear();
    blockSizes.clear();
    cursor = blockEnd = nullptr;
    byteCount = 0;
    return replaced;
}
