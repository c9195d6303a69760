// SPDX-License-Identifier: GPL-3.0-or-later
// A running recording's take, spliced into the document's lists in batches.
#include "editor/RecordTake.h"

#include <algorithm>

void RecordTake::begin(int position)
{
    frames.clear();
    insertAt = std::max(position, 0);
    spliced = 0;
}

void RecordTake::append(std::span<const float> block)
{
    const qsizetype at = frames.size();
    frames.resize(at + qsizetype(block.size()));
    std::copy(block.begin(), block.end(), frames.begin() + at);
}

void RecordTake::spliceInto(QList<float> &mono, QList<float> &stereo)
{
    const qsizetype fresh = frames.size() - spliced;
    if (fresh <= 0)
        return;
    const float *take = frames.constData() + spliced;
    const qsizetype at = std::clamp<qsizetype>(insertAt + spliced, 0, mono.size());
    mono.insert(at, fresh, 0.0f);
    std::copy(take, take + fresh, mono.begin() + at);
    if (!stereo.isEmpty()) {
        // An odd trailing value of the stereo list stays last.
        const qsizetype stereoAt = std::min(2 * at, stereo.size() & ~qsizetype(1));
        stereo.insert(stereoAt, 2 * fresh, 0.0f);
        float *pairs = stereo.data() + stereoAt;
        for (qsizetype i = 0; i < fresh; ++i)
            pairs[2 * i] = pairs[2 * i + 1] = take[i];
    }
    spliced = frames.size();
}
