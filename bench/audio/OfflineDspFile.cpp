// SPDX-License-Identifier: GPL-3.0-or-later
// offline_dsp_file pitch|stretch <in.f32> <out.f32> <amount> [rate]: raw float32 mono in and
// out; pitch shifts by `amount` semitones, stretch makes the output `amount` times as long.
#include "audio/dsp/PitchShiftProcessor.h"
#include "audio/dsp/TimeStretchProcessor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const bool pitch = argc >= 5 && std::strcmp(argv[1], "pitch") == 0;
    const bool stretch = argc >= 5 && std::strcmp(argv[1], "stretch") == 0;
    if (!pitch && !stretch) {
        std::fprintf(stderr, "usage: %s pitch|stretch in.f32 out.f32 amount [rate]\n", argv[0]);
        return 2;
    }
    // The input is mapped and the output pre-faulted, each in one call: sox streams through
    // small buffers, while a whole-file tool would otherwise take one page fault per page.
    const int in = open(argv[2], O_RDONLY);
    struct stat status = {};
    if (in < 0 || fstat(in, &status) != 0)
        return 1;
    const std::size_t count = static_cast<std::size_t>(status.st_size) / sizeof(float);
    const auto map = [](std::size_t bytes, int prot, int flags, int fd) -> float * {
        if (bytes == 0)
            return nullptr;
        void *area = mmap(nullptr, bytes, prot, flags | MAP_POPULATE, fd, 0);
        return area == MAP_FAILED ? nullptr : static_cast<float *>(area);
    };
    const float *samples = map(count * sizeof(float), PROT_READ, MAP_PRIVATE, in);
    close(in);
    if (count > 0 && !samples)
        return 1;

    const float amount = std::strtof(argv[4], nullptr);
    const float rate = argc > 5 ? std::strtof(argv[5], nullptr) : 44100.0f;
    const std::size_t resultCount = pitch ? count : static_cast<std::size_t>(static_cast<double>(count) * amount);
    float *result = map(resultCount * sizeof(float), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1);
    if (resultCount > 0 && !result)
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
