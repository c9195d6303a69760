// SPDX-License-Identifier: GPL-3.0-or-later
// Signals made at test time: seeded noise and interleaved stereo.
#pragma once

#include <QList>

#include <cstddef>
#include <random>
#include <vector>

// Uniform noise in [-amplitude, amplitude] from a fixed seed, so failures reproduce. `List`
// is std::vector<float> or QList<float>.
template <typename List = std::vector<float>>
List seededNoise(std::size_t count, float amplitude, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    List values(static_cast<typename List::size_type>(count));
    for (float &value : values)
        value = uniform(generator);
    return values;
}

// Left and right frame by frame; `right` as long as `left`.
inline QList<float> interleave(const QList<float> &left, const QList<float> &right)
{
    QList<float> pairs(2 * left.size());
    for (qsizetype i = 0; i < left.size(); ++i) {
        pairs[2 * i] = left[i];
        pairs[2 * i + 1] = right[i];
    }
    return pairs;
}
