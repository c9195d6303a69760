// SPDX-License-Identifier: GPL-3.0-or-later
// The rolling spectrogram of the input while the editor records.
#include "analysis/LiveSpectrogram.h"

#include <algorithm>

LiveSpectrogram::LiveSpectrogram()
    : buffer(Stft::size)
{
}

int LiveSpectrogram::push(const float *data, int count, QList<float> *settled)
{
    if (!data || count < 1)
        return 0;
    int made = 0;
    for (int i = 0; i < count; ++i) {
        buffer[std::size_t(filled++)] = data[i];
        if (filled < Stft::size)
            continue;
        std::vector<std::uint16_t> column(Stft::bins);
        magnitudes.assign(Stft::bins + 1, 0.0);
        maker.column({buffer.data(), Stft::size, 1}, 0, column.data(), magnitudes.data());
        columns.push_back(std::move(column));
        if (columns.size() > std::size_t(maxColumns))
            columns.pop_front();
        if (settled)
            for (int k = 0; k < Stft::hop; ++k)
                settled->append(buffer[std::size_t(k)]);
        std::copy(buffer.begin() + Stft::hop, buffer.end(), buffer.begin());
        filled = Stft::size - Stft::hop;
        ++made;
    }
    return made;
}

void LiveSpectrogram::reset()
{
    std::fill(buffer.begin(), buffer.end(), 0.0f);
    filled = 0;
    columns.clear();
    magnitudes.clear();
}
