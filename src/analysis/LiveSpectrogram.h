// SPDX-License-Identifier: GPL-3.0-or-later
// The rolling spectrogram of the input while the editor records.
#pragma once

#include "analysis/SpectrogramColumns.h"

#include <QList>

#include <cstdint>
#include <deque>
#include <vector>

// One column per 512 new values once 2048 have arrived, the newest 512 columns kept. Plain
// value for the GUI thread.
class LiveSpectrogram
{
public:
    static constexpr int maxColumns = 512;

    LiveSpectrogram();

    // Returns how many columns the values completed. Each column appends to `settled` the
    // hop of values that leaves its frame, so `settled` trails the input by a frame less a hop.
    int push(const float *data, int count, QList<float> *settled = nullptr);
    // Forgets the buffered values and the columns: the next take starts afresh.
    void reset();

    qsizetype count() const { return qsizetype(columns.size()); }
    const std::uint16_t *column(qsizetype index) const { return columns[std::size_t(index)].data(); }
    // |X[k]| of the newest frame, bins 0 .. size/2; empty before the first column.
    const std::vector<double> &newestMagnitudes() const { return magnitudes; }

private:
    std::vector<float> buffer;
    int filled = 0;
    std::deque<std::vector<std::uint16_t>> columns;
    std::vector<double> magnitudes;
    StftColumnMaker maker;
};
