// SPDX-License-Identifier: GPL-3.0-or-later
// Table-driven Base64 for float32 channels, decoded straight into the sample list.
#include "project/Float32Base64.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

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

void Float32Base64::Decoder::flushStaged()
{
    const int whole = stagedBytes / 4 * 4;
    const qsizetype first = floats.size();
    floats.resize(first + whole / 4);
    float *out = floats.data() + first;
    for (int i = 0; i < whole; i += 4) {
        float value = std::bit_cast<float>(qFromLittleEndian<quint32>(staged.get() + i));
        if (!std::isfinite(value)) {
            value = 0.0f;
            ++replaced;
        }
        *out++ = value;
    }
    std::memmove(staged.get(), staged.get() + whole, size_t(stagedBytes - whole));
    stagedBytes -= whole;
}

void Float32Base64::Decoder::feed(const char *text, qsizetype size)
{
    if (!staged)
        staged = std::make_unique_for_overwrite<unsigned char[]>(stagedCapacity);
    const auto emitGroup = [this](quint32 bits, int bytes) {
        if (stagedBytes + 3 > stagedCapacity)
            flushStaged();
        unsigned char *at = staged.get() + stagedBytes;
        at[0] = static_cast<unsigned char>(bits >> 16);
        at[1] = static_cast<unsigned char>(bits >> 8);
        at[2] = static_cast<unsigned char>(bits);
        stagedBytes += bytes;
    };
    const auto *in = reinterpret_cast<const unsigned char *>(text);
    const auto *end = in + size;
    while (in < end && !error) {
        // Fast path: whole groups of four plain characters into the staged bytes.
        if (pendingCount == 0 && padding == 0 && !ended) {
            if (stagedBytes + 3 > stagedCapacity)
                flushStaged();
            const qsizetype groups = std::min<qsizetype>((end - in) / 4, (stagedCapacity - stagedBytes) / 3);
            unsigned char *cursor = staged.get() + stagedBytes;
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
            stagedBytes += int(3 * g);
            if (g == groups && end - in >= 4)
                continue;  // the staged bytes are full
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
                emitGroup(pending << (6 * padding), pendingCount - 1);
                ended = true;
            }
        } else if (padding > 0) {
            error = true;
        } else {
            pending = pending << 6 | value;
            if (++pendingCount == 4) {
                emitGroup(pending, 3);
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
    if (staged)
        flushStaged();
    if (stagedBytes != 0)  // a byte count that is no multiple of four
        error = true;
    staged.reset();
    stagedBytes = 0;
    return !error;
}

QList<float> Float32Base64::Decoder::take()
{
    replaced = 0;
    return std::exchange(floats, {});
}

void Float32Base64::Decoder::moveTo(float *out, qsizetype count, qsizetype stride)
{
    count = std::min(count, floatCount());
    const float *in = floats.constData();
    for (qsizetype i = 0; i < count; ++i)
        out[i * stride] = in[i];
    floats = {};
    replaced = 0;
}
