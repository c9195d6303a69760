// SPDX-License-Identifier: GPL-3.0-or-later
// The FFTW-backed Fft against a direct DFT in double precision, for every transform it offers,
// on aligned and misaligned arrays and from several threads at once.
#include "../AudioFixtures.h"

#include "audio/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <thread>
#include <vector>

namespace {

std::vector<std::complex<double>> directDft(const std::vector<float> &re, const std::vector<float> &im)
{
    const std::size_t n = re.size();
    std::vector<std::complex<double>> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum;
        for (std::size_t t = 0; t < n; ++t) {
            // k t mod n keeps the angle small, so the oracle's own rounding stays negligible.
            const double angle = -2.0 * std::numbers::pi * double((k * t) % n) / double(n);
            sum += std::complex<double>(re[t], im[t]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

// Single-precision rounding of a transform grows like log2(n) times the signal's norm.
double tolerance(std::size_t n)
{
    return 1e-6 * std::sqrt(double(n)) * std::log2(double(n)) + 1e-6;
}

struct Layout
{
    const char *name;
    std::size_t offset; // floats from an aligned start
};

class FftTest : public testing::TestWithParam<std::tuple<int, Layout>>
{
};

TEST_P(FftTest, MatchesTheDirectDftAndInvertsBack)
{
    const auto [n, layout] = GetParam();
    const auto size = static_cast<std::size_t>(n);
    const Fft fft(n);
    ASSERT_EQ(fft.size(), n);
    const std::vector<float> re = seededNoise(size, 1.0f, 5);
    const std::vector<float> im = seededNoise(size, 1.0f, 6);
    const std::vector<std::complex<double>> realSpectrum = directDft(re, std::vector<float>(size, 0.0f));
    const std::vector<std::complex<double>> complexSpectrum = directDft(re, im);
    const double tol = tolerance(size);

    // Real transform, both ways.
    std::vector<float> samples(size + layout.offset);
    std::copy(re.begin(), re.end(), samples.begin() + long(layout.offset));
    std::vector<std::complex<float>> bins(size / 2 + 2);
    std::complex<float> *binsAt = reinterpret_cast<std::complex<float> *>(
        reinterpret_cast<float *>(bins.data()) + layout.offset);
    fft.forward(samples.data() + layout.offset, binsAt);
    for (std::size_t k = 0; k <= size / 2; ++k) {
        ASSERT_NEAR(binsAt[k].real(), realSpectrum[k].real(), tol) << k;
        ASSERT_NEAR(binsAt[k].imag(), realSpectrum[k].imag(), tol) << k;
    }
    std::vector<float> back(size + layout.offset);
    fft.inverse(binsAt, back.data() + layout.offset);
    for (std::size_t t = 0; t < size; ++t)
        ASSERT_NEAR(back[t + layout.offset], re[t], 1e-6) << t;

    // Complex transform on separate arrays and on interleaved values.
    std::vector<float> real(size + layout.offset), imag(size + layout.offset);
    std::copy(re.begin(), re.end(), real.begin() + long(layout.offset));
    std::copy(im.begin(), im.end(), imag.begin() + long(layout.offset));
    fft.transform(real.data() + layout.offset, imag.data() + layout.offset, false);
    std::vector<std::complex<float>> values(size + 1);
    std::complex<float> *valuesAt = reinterpret_cast<std::complex<float> *>(
        reinterpret_cast<float *>(values.data()) + layout.offset);
    for (std::size_t t = 0; t < size; ++t)
        valuesAt[t] = {re[t], im[t]};
    fft.transform(valuesAt, false);
    for (std::size_t k = 0; k < size; ++k) {
        ASSERT_NEAR(real[k + layout.offset], complexSpectrum[k].real(), tol) << k;
        ASSERT_NEAR(imag[k + layout.offset], complexSpectrum[k].imag(), tol) << k;
        ASSERT_NEAR(valuesAt[k].real(), complexSpectrum[k].real(), tol) << k;
        ASSERT_NEAR(valuesAt[k].imag(), complexSpectrum[k].imag(), tol) << k;
    }
    fft.transform(real.data() + layout.offset, imag.data() + layout.offset, true);
    fft.transform(valuesAt, true);
    for (std::size_t t = 0; t < size; ++t) {
        ASSERT_NEAR(real[t + layout.offset], re[t], 1e-6) << t;
        ASSERT_NEAR(imag[t + layout.offset], im[t], 1e-6) << t;
        ASSERT_NEAR(valuesAt[t].real(), re[t], 1e-6) << t;
        ASSERT_NEAR(valuesAt[t].imag(), im[t], 1e-6) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, FftTest,
                         testing::Combine(testing::Values(2, 16, 2048, 4096),
                                          testing::Values(Layout{"aligned", 0}, Layout{"misaligned", 1})),
                         [](const auto &info) {
                             return std::to_string(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
                         });

TEST(FftLengths, UnusableLengthsChangeNothing)
{
    for (int n : {-4, 0, 1, 6, 1000}) {
        SCOPED_TRACE(n);
        const Fft fft(n);
        EXPECT_EQ(fft.size(), 0);
        const std::size_t size = n > 0 ? std::size_t(n) : 4;
        std::vector<float> real(size, 1.5f), imag(size, -0.5f);
        fft.transform(real.data(), imag.data(), false);
        EXPECT_EQ(real, std::vector<float>(size, 1.5f));
        EXPECT_EQ(imag, std::vector<float>(size, -0.5f));
    }
}

// Plans are made on first use; threads that meet a new length at the same moment all get the
// same transform as one thread alone.
TEST(FftThreads, FirstUsesFromManyThreadsAgree)
{
    const std::vector<int> lengths = {64, 128, 256, 512, 1024, 8192};
    const std::vector<float> input = seededNoise(8192, 1.0f, 9);
    std::vector<std::vector<std::complex<float>>> results(lengths.size() * 4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] {
            const int n = lengths[i % lengths.size()];
            results[i].resize(std::size_t(n) / 2 + 1);
            Fft(n).forward(input.data(), results[i].data());
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (std::size_t i = lengths.size(); i < results.size(); ++i)
        EXPECT_EQ(results[i], results[i % lengths.size()]) << lengths[i % lengths.size()];
}

} // namespace
