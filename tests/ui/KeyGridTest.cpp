// SPDX-License-Identifier: GPL-3.0-or-later
// Key grid of the note editors: which rows are shaded and where the beat lines fall.
#include "ui/KeyGrid.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

const QColor background(0, 0, 0);
const QColor blackRow(22, 22, 32);

// One octave, C4 (60) at the bottom, 10-pixel rows, in a 200 x 130 image whose grid starts
// 5 pixels down, so B4's row starts above the grid.
struct Octave
{
    QImage image{200, 130, QImage::Format_RGB32};
    QRect grid{0, 5, 200, 125};
    KeyRows rows{71, 60, 10, [](int pitch) { return (71 - pitch) * 10; }};

    Octave() { image.fill(background); }
    QColor at(int x, int y) const { return image.pixelColor(x, y); }
};

TEST(KeyGrid, ShadesTheBlackKeyRowsInsideTheGrid)
{
    Octave octave;
    {
        QPainter painter(&octave.image);
        paintKeyRows(painter, octave.grid, octave.rows);
    }
    for (int pitch = 60; pitch <= 71; ++pitch) {
        SCOPED_TRACE(pitch);
        const int middle = (71 - pitch) * 10 + 5;
        const bool black = pitch == 61 || pitch == 63 || pitch == 66 || pitch == 68 || pitch == 70;
        EXPECT_EQ(isBlackKey(pitch), black);
        EXPECT_EQ(isBlackKey(pitch + 12), black) << "the pattern repeats every octave";
        EXPECT_EQ(octave.at(50, middle), black ? blackRow : background);
    }
    // B4's row reaches above the grid; A#4's row top is a grid line.
    EXPECT_EQ(octave.at(50, 2), background);
    EXPECT_EQ(octave.at(50, 10), QColor(42, 42, 52));
}

TEST(KeyGrid, DrawsHeavierLinesOnBeatsAndBars)
{
    Octave octave;
    {
        QPainter painter(&octave.image);
        // 40 pixels a beat from beat 0 to beat 5; only whole and quarter beats get lines.
        paintBeatLines(painter, octave.grid, 0.1, 5.0, [](double beat) { return int(beat * 40.0); });
    }
    EXPECT_EQ(octave.at(40, 60), QColor(55, 55, 65));
    EXPECT_EQ(octave.at(160, 60), QColor(80, 80, 90));
    EXPECT_EQ(octave.at(25, 60), background) << "nothing between quarter beats";
    EXPECT_EQ(octave.at(40, 2), background) << "nothing above the grid";
}

} // namespace
