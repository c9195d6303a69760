// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC decoding with libFLAC, reading the file directly from disk.
#pragma once

#include "audio/DecodedAudio.h"

#include <QString>

class FlacDecoder
{
public:
    // No frames in the result when the file cannot be opened or nothing decodes, nor when
    // the stream changes its sample rate or channel count part-way: a clip has one of each,
    // and a part of the file is not the file. The result's failure then says which, and its
    // change what changed. Samples are scaled by 1 / 2^(bits - 1). Any thread count gives
    // the same result.
    static DecodedAudio decodeFile(const QString &filePath, DecodeOptions options = {});
};
