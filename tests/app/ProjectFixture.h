// SPDX-License-Identifier: GPL-3.0-or-later
// Seeded sample lists for project round trips, shared by the tests and their child process.
#pragma once

#include <QList>

#include <cstring>
#include <limits>
#include <random>

// Values that a text or float conversion would bend come first: signed zero, the smallest
// subnormal, full scale and beyond it; seeded noise fills the rest.
inline QList<float> seededSamples(qsizetype frames, unsigned seed)
{
    static const float awkward[] = {-0.0f, std::numeric_limits<float>::denorm_min(), 1.0f, -1.0f, 1.5f,
                                    0.1f, std::numeric_limits<float>::min()};
    QList<float> samples(frames);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (qsizetype i = 0; i < frames; ++i)
        samples[i] = i < qsizetype(std::size(awkward)) ? awkward[i] : noise(random);
    return samples;
}

inline bool sameBits(const QList<float> &a, const QList<float> &b)
{
    return a.size() == b.size()
           && (a.isEmpty() || std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(float)) == 0);
}
