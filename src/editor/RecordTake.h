// SPDX-License-Identifier: GPL-3.0-or-later
// A running recording's take: kept in its own buffer and spliced into the document's lists in
// batches, so a long file's tail moves once per view refresh instead of once per block.
#pragma once

#include <QList>

#include <span>

// GUI thread only.
class RecordTake
{
public:
    // Starts an empty take that goes into the lists at frame `insertAt`.
    void begin(int insertAt);
    void append(std::span<const float> block);
    // Frames recorded so far.
    qsizetype size() const { return frames.size(); }
    // Frame of the lists just after the take.
    qsizetype endPosition() const { return insertAt + frames.size(); }
    // Inserts the frames that arrived since the last splice into `mono` (one value per
    // frame) and, when it is not empty, into `stereo` (interleaved; each frame on both
    // channels). Positions are limited to the lists.
    void spliceInto(QList<float> &mono, QList<float> &stereo);

private:
    QList<float> frames;
    qsizetype insertAt = 0;
    qsizetype spliced = 0;
};
