// SPDX-License-Identifier: GPL-3.0-or-later
// Real transforms of 2048 and 4096 points: the former radix-2 FFT (a complex transform with a
// zero imaginary part, as its users ran it) against the FFTW-backed Fft, forward and back.
#include "RadixTwoFft.h"

#include "audio/Fft.h"

#include <benchmark/benchmark.h>

#include <complex>
#include <random>
#include <vector>

namespace {

std::vector<float> noise(int n)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> samples(static_cast<std::size_t>(n));
    for (float &s : samples)
        s = value(random);
    return samples;
}

void BM_RadixTwoRealRoundTrip(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> input = noise(n);
    const RadixTwoFft fft(n);
    std::vector<float> real(input.size()), imag(input.size());
    for (auto _ : state) {
        real = input;
        std::fill(imag.begin(), imag.end(), 0.0f);
        fft.transform(real.data(), imag.data(), false);
        fft.transform(real.data(), imag.data(), true);
        benchmark::DoNotOptimize(real.data());
    }
}
BENCHMARK(BM_RadixTwoRealRoundTrip)->Arg(2048)->Arg(4096);

void BM_FftwRealRoundTrip(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> input = noise(n);
    const Fft fft(n);
    std::vector<float> output(input.size());
    std::vector<std::complex<float>> bins(static_cast<std::size_t>(n / 2 + 1));
    for (auto _ : state) {
        fft.forward(input.data(), bins.data());
        fft.inverse(bins.data(), output.data());
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(BM_FftwRealRoundTrip)->Arg(2048)->Arg(4096);

} // namespace
