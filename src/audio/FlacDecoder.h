// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC decoding with libFLAC, reading the file directly from disk.
#pragma once

#include "audio/DecodedAudio.h"

#include <QString>

class FlacDecoder
{
public:
    // A frame whose sample rate or channel count differs from the first frame's.
    struct FormatChange
    {
        int fromRate = 0;
        int toRate = 0;
        int fromChannels = 0;
        int toChannels = 0;

        bool happened() const { return toChannels != 0; }
    };

    // No frames in the result when the file cannot be opened or nothing decodes, nor when
    // the stream changes its sample rate or channel count part-way: a clip has one of each,
    // and a part of the file is not the file. `change` (when given) then says what changed.
    // Samples are scaled by 1 / 2^(bits - 1). Any thread count gives the same result.
    static DecodedAudio decodeFile(const QString &filePath, FormatChange *change = nullptr,
                                   DecodeOptions options = {});
};
