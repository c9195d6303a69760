// SPDX-License-Identifier: GPL-3.0-or-later
// Level of one block for the editor's meters.
#include "ui/MeterLevel.h"

#include <algorithm>
#include <cmath>

int meterLevel(std::span<const float> block)
{
    return meterLevel(block, 0, 1);
}

int meterLevel(std::span<const float> block, int offset, int stride)
{
    double sum = 0.0;
    long counted = 0;
    for (std::size_t i = std::size_t(std::max(offset, 0)); i < block.size(); i += std::size_t(std::max(stride, 1))) {
        const float x = block[i];
        if (!std::isfinite(x))
            continue;
        sum += double(x) * double(x);
        ++counted;
    }
    if (counted == 0)
        return 0;
    const double level = std::sqrt(sum / double(counted)) * 100.0;
    return level >= 100.0 ? 100 : int(level);
}
