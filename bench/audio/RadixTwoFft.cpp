// SPDX-License-Identifier: GPL-3.0-or-later
// Iterative decimation-in-time FFT. The twiddles come from the same single-precision running
// product as a per-block recurrence would give, so prepared and unprepared runs agree exactly.
#include "RadixTwoFft.h"

#include <cmath>
#include <utility>

namespace {

void prepareTwiddles(int length, float sign, std::vector<float> &re, std::vector<float> &im)
{
    constexpr float pi = 3.1415927f;
    for (int stage = 2; stage <= length; stage <<= 1) {
        const float angle = sign * 2.0f * pi / static_cast<float>(stage);
        const float stepRe = std::cos(angle);
        const float stepIm = std::sin(angle);
        float wRe = 1.0f;
        float wIm = 0.0f;
        for (int i = 0; i < stage / 2; ++i) {
            re.push_back(wRe);
            im.push_back(wIm);
            const float nextRe = wRe * stepRe - wIm * stepIm;
            wIm = wRe * stepIm + wIm * stepRe;
            wRe = nextRe;
        }
    }
}

// The halves of a block never overlap, so the butterflies vectorise.
void butterflies(float *__restrict topRe, float *__restrict topIm, float *__restrict bottomRe,
                 float *__restrict bottomIm, const float *__restrict wRe, const float *__restrict wIm, int half)
{
    for (int i = 0; i < half; ++i) {
        const float vRe = bottomRe[i] * wRe[i] - bottomIm[i] * wIm[i];
        const float vIm = bottomRe[i] * wIm[i] + bottomIm[i] * wRe[i];
        bottomRe[i] = topRe[i] - vRe;
        bottomIm[i] = topIm[i] - vIm;
        topRe[i] += vRe;
        topIm[i] += vIm;
    }
}

} // namespace

RadixTwoFft::RadixTwoFft(int n)
{
    if (n < 2 || (n & (n - 1)) != 0)
        return;
    length = n;
    for (int i = 1, j = 0; i < n; ++i) {
        int bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            swaps.emplace_back(i, j);
    }
    prepareTwiddles(n, -1.0f, forwardRe, forwardIm);
    prepareTwiddles(n, 1.0f, inverseRe, inverseIm);
}

void RadixTwoFft::transform(float *real, float *imag, bool inverse) const
{
    if (length < 2)
        return;
    for (const auto &[i, j] : swaps) {
        std::swap(real[i], real[j]);
        std::swap(imag[i], imag[j]);
    }
    const float *twiddleRe = inverse ? inverseRe.data() : forwardRe.data();
    const float *twiddleIm = inverse ? inverseIm.data() : forwardIm.data();
    for (int stage = 2; stage <= length; stage <<= 1) {
        const int half = stage / 2;
        for (int block = 0; block < length; block += stage)
            butterflies(real + block, imag + block, real + block + half, imag + block + half, twiddleRe, twiddleIm,
                        half);
        twiddleRe += half;
        twiddleIm += half;
    }
    if (inverse) {
        // Exact: the length is a power of two.
        const float scale = 1.0f / static_cast<float>(length);
        for (int i = 0; i < length; ++i) {
            real[i] *= scale;
            imag[i] *= scale;
        }
    }
}
