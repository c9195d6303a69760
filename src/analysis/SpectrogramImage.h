// SPDX-License-Identifier: GPL-3.0-or-later
// Draws spectrogram columns into an image at the size it is shown.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>

// Level column `index` of a store holding `count` columns of Stft::bins levels.
struct ColumnStore
{
    qsizetype count = 0;
    std::function<const std::uint16_t *(qsizetype index)> column;
};

// Fills `image` (32-bit RGB) with columns [firstColumn, firstColumn + columnsPerPixel * width):
// pixel column x shows the loudest cell of the columns it spans (at least one), row y the bins
// of its share of 0 .. R/2, bin 0 at the bottom. Pixels past the last column show level 0.
// The image is only as large as the plot, so its source positions never approach the 16-bit
// limit of Qt's scaled image drawing.
void renderSpectrogram(QImage &image, const ColumnStore &store, double firstColumn, double columnsPerPixel);
