// SPDX-License-Identifier: GPL-3.0-or-later
// FFTW's planner is not thread-safe, its new-array execute functions are: every plan is made
// under one lock and kept for the life of the process, then only executed.
#include "audio/Fft.h"

#include <fftw3.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex planning;

// Made on first use, once, under the planner's lock; afterwards only read.
class LazyPlan
{
public:
    template<typename Make>
    fftwf_plan get(Make make)
    {
        std::call_once(once, [&] {
            const std::lock_guard lock(planning);
            plan = make();
        });
        return plan;
    }

private:
    std::once_flag once;
    fftwf_plan plan = nullptr;
};

// FFTW picks SIMD code only for arrays aligned like the ones it planned with; a plan made
// with FFTW_UNALIGNED serves any other array. Estimated rather than measured plans: the same
// length always gives the same arithmetic, so results repeat from run to run.
class PlanPair
{
public:
    // `make(flags, real, complex)` plans on scratch arrays of n floats and n complex values.
    using Make = std::function<fftwf_plan(unsigned flags, float *real, fftwf_complex *complex)>;

    PlanPair(int n, Make make) : n(n), make(std::move(make)) {}

    template<typename... Pointers>
    fftwf_plan pick(Pointers... arrays)
    {
        const bool aligned = ((fftwf_alignment_of(reinterpret_cast<float *>(arrays)) == 0) && ...);
        LazyPlan &plan = aligned ? alignedPlan : unalignedPlan;
        return plan.get([&] {
            // FFTW_ESTIMATE plans leave their arrays untouched; these only show the layout.
            float *real = fftwf_alloc_real(static_cast<size_t>(n));
            fftwf_complex *complex = fftwf_alloc_complex(static_cast<size_t>(n));
            const fftwf_plan made = make(aligned ? FFTW_ESTIMATE : FFTW_ESTIMATE | FFTW_UNALIGNED, real, complex);
            fftwf_free(complex);
            fftwf_free(real);
            return made;
        });
    }

private:
    int n;
    Make make;
    LazyPlan alignedPlan;
    LazyPlan unalignedPlan;
};

bool usableLength(int n)
{
    return n >= 2 && (n & (n - 1)) == 0;
}

} // namespace

struct Fft::Plans
{
    explicit Plans(int n)
        : toBins(n, [n](unsigned flags, float *real, fftwf_complex *complex) {
              return fftwf_plan_dft_r2c_1d(n, real, complex, flags);
          }),
          fromBins(n, [n](unsigned flags, float *real, fftwf_complex *complex) {
              return fftwf_plan_dft_c2r_1d(n, complex, real, flags);
          }),
          forward(n, [n](unsigned flags, float *, fftwf_complex *complex) {
              return fftwf_plan_dft_1d(n, complex, complex, FFTW_FORWARD, flags);
          }),
          backward(n, [n](unsigned flags, float *, fftwf_complex *complex) {
              return fftwf_plan_dft_1d(n, complex, complex, FFTW_BACKWARD, flags);
          })
    {
    }

    PlanPair toBins, fromBins, forward, backward;
};

Fft::Fft(int n)
{
    if (!usableLength(n))
        return;
    // Never destroyed: plans stay valid to the end of the process, through every static
    // object's destructor.
    static auto *byLength = new std::map<int, std::unique_ptr<Plans>>;
    const std::lock_guard lock(planning);
    std::unique_ptr<Plans> &entry = (*byLength)[n];
    if (!entry)
        entry = std::make_unique<Plans>(n);
    length = n;
    plans = entry.get();
}

void Fft::forward(const float *samples, std::complex<float> *bins) const
{
    if (!plans)
        return;
    // An out-of-place real-to-complex transform leaves its input as it was.
    auto *in = const_cast<float *>(samples);
    auto *out = reinterpret_cast<fftwf_complex *>(bins);
    fftwf_execute_dft_r2c(plans->toBins.pick(in, out), in, out);
}

void Fft::inverse(std::complex<float> *bins, float *samples) const
{
    if (!plans)
        return;
    auto *in = reinterpret_cast<fftwf_complex *>(bins);
    fftwf_execute_dft_c2r(plans->fromBins.pick(in, samples), in, samples);
    // Exact: the length is a power of two.
    const float scale = 1.0f / static_cast<float>(length);
    for (int i = 0; i < length; ++i)
        samples[i] *= scale;
}

void Fft::transform(float *real, float *imag, bool inverse) const
{
    if (!plans)
        return;
    // FFTW's split plans hold the distance between the real and the imaginary array, which
    // differs from call to call here: the values go through one interleaved copy instead.
    std::vector<std::complex<float>> values(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        values[i] = {real[i], imag[i]};
    transform(values.data(), inverse);
    for (int i = 0; i < length; ++i) {
        real[i] = values[i].real();
        imag[i] = values[i].imag();
    }
}

void Fft::transform(std::complex<float> *values, bool inverse) const
{
    if (!plans)
        return;
    auto *data = reinterpret_cast<fftwf_complex *>(values);
    PlanPair &pair = inverse ? plans->backward : plans->forward;
    fftwf_execute_dft(pair.pick(data), data, data);
    if (inverse) {
        const float scale = 1.0f / static_cast<float>(length);
        for (int i = 0; i < length; ++i)
            values[i] *= scale;
    }
}
