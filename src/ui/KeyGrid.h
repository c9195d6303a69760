// SPDX-License-Identifier: GPL-3.0-or-later
// The pitch-by-time grid of the note editors: one row per semitone with the piano keys down
// the left edge, and a line every quarter beat.
#pragma once

#include <functional>

class QPainter;
class QRect;

bool isBlackKey(int pitch);

// Rows from `topPitch` down to `bottomPitch`, each `rowHeight` pixels, pitch p's top edge at
// pitchToY(p).
struct KeyRows
{
    int topPitch = 0;
    int bottomPitch = 0;
    int rowHeight = 0;
    std::function<int(int)> pitchToY;
};

// Black-key rows shaded and a line on each row's top, inside `grid`.
void paintKeyRows(QPainter &painter, const QRect &grid, const KeyRows &rows);
// A line every quarter beat from `firstBeat` to `lastBeat`, heavier on beats and on every fourth beat.
void paintBeatLines(QPainter &painter, const QRect &grid, double firstBeat, double lastBeat,
                    const std::function<int(double)> &beatToX);
// The keyboard in `keys` (at x = 0), each C named with its octave.
void paintPianoKeys(QPainter &painter, const QRect &keys, const KeyRows &rows);
