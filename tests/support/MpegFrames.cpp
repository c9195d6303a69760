// SPDX-License-Identifier: GPL-3.0-or-later
// Layer III frame walking by the header fields of ISO/IEC 11172-3 and 13818-3.
#include "MpegFrames.h"

#include <QtEndian>

namespace {

// Length in bytes of the Layer III frame whose header is `header`, 0 when it is none.
qsizetype frameLength(quint32 header)
{
    if ((header >> 21) != 0x7FF || ((header >> 17) & 3) != 1)
        return 0;
    const int version = (header >> 19) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int bitrateIndex = (header >> 12) & 15;
    const int rateIndex = (header >> 10) & 3;
    if (version == 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static const int mpeg1Kbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int mpeg2Kbps[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int mpeg1Rates[3] = {44100, 48000, 32000};
    const int rate = mpeg1Rates[rateIndex] / (version == 3 ? 1 : version == 2 ? 2 : 4);
    const int padding = (header >> 9) & 1;
    if (version == 3)
        return 144000 * mpeg1Kbps[bitrateIndex] / rate + padding;
    return 72000 * mpeg2Kbps[bitrateIndex] / rate + padding;
}

} // namespace

QList<qsizetype> mpegFrameOffsets(const QByteArray &mp3)
{
    qsizetype pos = 0;
    if (mp3.startsWith("ID3") && mp3.size() >= 10) {
        const auto b = [&mp3](int i) { return qsizetype(quint8(mp3[i]) & 0x7F); };
        pos = 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
    }
    QList<qsizetype> offsets;
    while (pos + 4 <= mp3.size()) {
        const qsizetype length = frameLength(qFromBigEndian<quint32>(mp3.constData() + pos));
        if (length == 0)
            break;
        offsets.append(pos);
        pos += length;
    }
    return offsets;
}

QByteArray withDamagedMpegFrame(QByteArray mp3, int frameIndex)
{
    const QList<qsizetype> offsets = mpegFrameOffsets(mp3);
    if (frameIndex >= offsets.size())
        return {};
    // Byte 2 of the header, then the side information (17 or 32 bytes, no CRC from lame).
    for (qsizetype i = offsets[frameIndex] + 2; i < offsets[frameIndex] + 36 && i < mp3.size(); ++i)
        mp3[i] = char(~quint8(mp3[i]));
    return mp3;
}
