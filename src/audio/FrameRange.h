// SPDX-License-Identifier: GPL-3.0-or-later
// A span of frames of a clip, and frame arithmetic before the clip's start.
#pragma once

#include <QtGlobal>

#include <algorithm>

// Frames [first, end) of a channel.
struct FrameRange
{
    qsizetype first = 0;
    qsizetype end = 0;

    bool isEmpty() const { return first >= end; }
    // The smallest range holding both; an empty range adds nothing.
    FrameRange united(FrameRange other) const
    {
        if (other.isEmpty())
            return *this;
        if (isEmpty())
            return other;
        return {std::min(first, other.first), std::max(end, other.end)};
    }
};

// a / b rounded toward minus infinity, for frame positions before the clip's start.
inline qsizetype floorDiv(qsizetype a, qsizetype b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
