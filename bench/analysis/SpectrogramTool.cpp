// SPDX-License-Identifier: GPL-3.0-or-later
// Full-resolution STFT of a raw float32 mono file, the view's whole-clip pass, for timing
// against numpy and sox with stft-peers.sh. Prints the column count and the loudest level.
#include "analysis/SpectrogramColumns.h"

#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spectrogram_tool <mono float32 file>\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary | std::ios::ate);
    const qsizetype frames = qsizetype(file.tellg()) / qsizetype(sizeof(float));
    // Read straight into huge pages, as the view's own buffers are.
    auto *samples = static_cast<float *>(allocateHugePages(std::size_t(frames) * sizeof(float)));
    file.seekg(0);
    file.read(reinterpret_cast<char *>(samples), std::streamsize(frames * qsizetype(sizeof(float))));
    // No pooling: every hop's column, as the peers compute them.
    const std::vector<SpectrogramColumns> columns =
        computeSpectrogram({{samples, frames, 1}}, std::size_t(-1) / 2,
                           std::clamp(QThread::idealThreadCount(), 1, 4));
    std::uint16_t loudest = 0;
    for (qsizetype c = 0; c < columns[0].count(); ++c)
        loudest = std::max(loudest, *std::max_element(columns[0].column(c), columns[0].column(c) + Stft::bins));
    std::printf("columns %lld, loudest %u\n", static_cast<long long>(columns[0].count()), unsigned(loudest));
    std::free(samples);
    return 0;
}
