// SPDX-License-Identifier: GPL-3.0-or-later
// What every decoder hands back: interleaved floats with their layout.
#pragma once

#include <QList>

#include <algorithm>

struct DecodedAudio
{
    QList<float> interleaved; // frame by frame, channel 0 first
    int channels = 0;
    int sampleRate = 0;

    qsizetype frames() const { return channels > 0 ? interleaved.size() / channels : 0; }

    // Grows the list by `count` values and returns where they start. Growth is geometric,
    // so decoders whose length hint was capped or missing stay linear.
    float *extend(qsizetype count)
    {
        const qsizetype used = interleaved.size();
        if (used + count > interleaved.capacity())
            interleaved.reserve(std::max(used + count, interleaved.capacity() * 2));
        interleaved.resize(used + count);
        return interleaved.data() + used;
    }

    // Drops a reserve the stream did not fill (a length hint may overstate).
    void finish(qsizetype usedValues)
    {
        interleaved.resize(usedValues);
        if (interleaved.capacity() > interleaved.size() + interleaved.size() / 8)
            interleaved.squeeze();
    }
};
