// SPDX-License-Identifier: GPL-3.0-or-later
// Offline mixdown of raw 32-bit float mono stems to raw interleaved stereo, through the
// engine's offline render, for timing against sox and ffmpeg on the same stems.
// Usage: engine_mixdown <out.raw> <rate> <stem.raw>...
#include "engine/MultiTrackAudioEngine.h"
#include "engine/platform/AudioBackend.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

namespace {
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

bool readStem(const char *path, std::vector<float> &samples)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    samples.resize(std::size_t(in.tellg()) / sizeof(float));
    in.seekg(0);
    return bool(in.read(reinterpret_cast<char *>(samples.data()), std::streamsize(samples.size() * sizeof(float))));
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <out.raw> <rate> <stem.raw>...\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler(quiet);
    const int rate = std::atoi(argv[2]);
    const int stems = argc - 3;
    std::vector<std::vector<float>> buffers(static_cast<std::size_t>(stems));
    std::vector<MultiTrackAudioEngine::TrackSlot> trackSlots(static_cast<std::size_t>(stems));
    int frames = 0;
    for (int s = 0; s < stems; ++s) {
        if (!readStem(argv[3 + s], buffers[std::size_t(s)])) {
            std::fprintf(stderr, "cannot read %s\n", argv[3 + s]);
            return 1;
        }
        auto &slot = trackSlots[std::size_t(s)];
        slot.samples = buffers[std::size_t(s)].data();
        slot.sampleCount = int(buffers[std::size_t(s)].size());
        slot.pan = stems > 1 ? -0.8f + 1.6f * float(s) / float(stems - 1) : 0.0f;
        frames = std::max(frames, slot.sampleCount);
    }

    MultiTrackAudioEngine engine(nullptr);
    QList<float> out;
    engine.renderOffline(trackSlots, frames, rate, out);

    std::ofstream file(argv[1], std::ios::binary);
    file.write(reinterpret_cast<const char *>(out.constData()), std::streamsize(out.size() * sizeof(float)));
    return file ? 0 : 1;
}
