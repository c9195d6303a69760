// SPDX-License-Identifier: GPL-3.0-or-later
// Draws spectrogram columns into an image at the size it is shown.
#include "analysis/SpectrogramImage.h"

#include "analysis/SpectrogramColumns.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {
// The colour of every 16-bit level, built once.
const std::vector<QRgb> &levelColours()
{
    static const std::vector<QRgb> colours = [] {
        std::vector<QRgb> table(65536);
        for (int level = 0; level < 65536; ++level)
            table[std::size_t(level)] = Stft::colour(Stft::fraction(std::uint16_t(level)));
        return table;
    }();
    return colours;
}
} // namespace

void renderSpectrogram(QImage &image, const ColumnStore &store, double firstColumn, double columnsPerPixel)
{
    const int width = image.width();
    const int height = image.height();
    if (width < 1 || height < 1)
        return;
    const std::vector<QRgb> &colours = levelColours();

    // Bins [rowFirst[y], rowEnd[y]) fall on row y.
    std::vector<int> rowFirst(static_cast<std::size_t>(height)), rowEnd(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int first = int(std::int64_t(height - 1 - y) * Stft::bins / height);
        const int end = int(std::int64_t(height - y) * Stft::bins / height);
        rowFirst[std::size_t(y)] = std::min(first, Stft::bins - 1);
        rowEnd[std::size_t(y)] = std::max(end, rowFirst[std::size_t(y)] + 1);
    }

    std::array<std::uint16_t, Stft::bins> loudest{};
    const auto bits = reinterpret_cast<QRgb *>(image.bits());
    const qsizetype stride = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    for (int x = 0; x < width; ++x) {
        const double from = firstColumn + x * columnsPerPixel;
        const qsizetype first = qsizetype(std::floor(from));
        const qsizetype end = std::max(first + 1, qsizetype(std::floor(from + columnsPerPixel)));
        loudest.fill(0);
        for (qsizetype c = std::max<qsizetype>(first, 0); c < std::min(end, store.count); ++c) {
            const std::uint16_t *levels = store.column(c);
            for (int k = 0; k < Stft::bins; ++k)
                loudest[std::size_t(k)] = std::max(loudest[std::size_t(k)], levels[k]);
        }
        for (int y = 0; y < height; ++y) {
            std::uint16_t level = 0;
            for (int k = rowFirst[std::size_t(y)]; k < rowEnd[std::size_t(y)]; ++k)
                level = std::max(level, loudest[std::size_t(k)]);
            bits[y * stride + x] = colours[level];
        }
    }
}
