// SPDX-License-Identifier: GPL-3.0-or-later
// pitch_shift_file <in.f32> <out.f32> <semitones> [rate]: raw float32 mono in and out.
#include "audio/dsp/PitchShiftProcessor.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s in.f32 out.f32 semitones [rate]\n", argv[0]);
        return 2;
    }
    std::FILE *in = std::fopen(argv[1], "rb");
    if (!in)
        return 1;
    std::vector<float> samples;
    float buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, sizeof(float), 4096, in)) > 0)
        samples.insert(samples.end(), buffer, buffer + got);
    std::fclose(in);

    PitchShiftProcessor shifter;
    shifter.setSampleRate(argc > 4 ? std::strtof(argv[4], nullptr) : 44100.0f);
    shifter.setPitch(std::strtof(argv[3], nullptr));
    std::vector<float> shifted(samples.size());
    shifter.processOffline(samples.data(), shifted.data(), samples.size());

    std::FILE *out = std::fopen(argv[2], "wb");
    if (!out)
        return 1;
    const bool written = std::fwrite(shifted.data(), sizeof(float), shifted.size(), out) == shifted.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
