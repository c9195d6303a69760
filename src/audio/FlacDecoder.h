// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC decoding with libFLAC, reading the file directly from disk.
#pragma once

#include "audio/DecodedAudio.h"

#include <QString>

class FlacDecoder
{
public:
    // No frames in the result when the file cannot be opened or nothing decodes.
    // Samples are scaled by 1 / 2^(bits - 1).
    static DecodedAudio decodeFile(const QString &filePath);
};
