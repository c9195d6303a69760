// SPDX-License-Identifier: GPL-3.0-or-later
// offline_dsp_file pitch|stretch <in.f32> <out.f32> <amount> [rate]: raw float32 mono in and
// out; pitch shifts by `amount` semitones, stretch makes the output `amount` times as long.
#include "audio/HugePages.h"
#include "audio/dsp/PitchShiftProcessor.h"
#include "audio/dsp/TimeStretchProcessor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A whole-file buffer on transparent huge pages. On the virtual machines these benchmarks run
// on, the first touch of each 4 KiB page costs tens of microseconds, more than the work done in
// it; sox streams through small buffers and never meets that cost. Freed at exit.
float *wholeFileBuffer(std::size_t count)
{
    return static_cast<float *>(allocateHugePages(count * sizeof(float)));
}

} // namespace

int main(int argc, char **argv)
{
    const bool pitch = argc >= 5 && std::strcmp(argv[1], "pitch") == 0;
    const bool stretch = argc >= 5 && std::strcmp(argv[1], "stretch") == 0;
    if (!pitch && !stretch) {
        std::fprintf(stderr, "usage: %s pitch|stretch in.f32 out.f32 amount [rate]\n", argv[0]);
        return 2;
    }
    std::FILE *in = std::fopen(argv[2], "rb");
    if (!in)
        return 1;
    std::fseek(in, 0, SEEK_END);
    const long bytes = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    const std::size_t count = bytes > 0 ? static_cast<std::size_t>(bytes) / sizeof(float) : 0;
    float *samples = wholeFileBuffer(count);
    const bool read = samples && std::fread(samples, sizeof(float), count, in) == count;
    std::fclose(in);
    if (!read)
        return 1;

    const float amount = std::strtof(argv[4], nullptr);
    const float rate = argc > 5 ? std::strtof(argv[5], nullptr) : 44100.0f;
    const std::size_t resultCount = pitch ? count : static_cast<std::size_t>(static_cast<double>(count) * amount);
    float *result = wholeFileBuffer(resultCount);
    if (!result)
        return 1;
    if (pitch) {
        PitchShiftProcessor shifter;
        shifter.setSampleRate(rate);
        shifter.setPitch(amount);
        shifter.processOffline(samples, result, count);
    } else {
        TimeStretchProcessor stretcher;
        stretcher.setStretchRatio(amount);
        stretcher.processOffline(samples, result, count, resultCount);
    }

    std::FILE *out = std::fopen(argv[3], "wb");
    if (!out)
        return 1;
    const bool written = std::fwrite(result, sizeof(float), resultCount, out) == resultCount;
    return std::fclose(out) == 0 && written ? 0 : 1;
}
