// SPDX-License-Identifier: GPL-3.0-or-later
// For bench/compare.py against ffmpeg:
//   `video-tool extract FILE`: the sound extracted as the import does; prints the frames,
//   the output size and the peak memory;
//   `video-tool picture FILE SECONDS`: the picture shown at SECONDS, as the preview seeks to it.
#include "video/VideoDemuxer.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    const bool extract = argc == 3 && std::strcmp(argv[1], "extract") == 0;
    const bool picture = argc == 4 && std::strcmp(argv[1], "picture") == 0;
    if (!extract && !picture) {
        std::fprintf(stderr, "usage: video-tool extract FILE | video-tool picture FILE SECONDS\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    VideoDemuxer demuxer;
    if (picture) {
        if (!demuxer.open(QString::fromLocal8Bit(argv[2])))
            return 1;
        demuxer.seekTo(std::atof(argv[3]));
        double pts = -1.0;
        const QImage image = demuxer.decodeNextFrame(pts);
        std::fprintf(stderr, "picture at %.3f s, %dx%d\n", pts, image.width(), image.height());
        return image.isNull() ? 1 : 0;
    }
    QList<float> mono, interleaved;
    int sampleRate = 0;
    if (!demuxer.open(QString::fromLocal8Bit(argv[2])) || !demuxer.extractAudio(mono, interleaved, sampleRate))
        return 1;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double outputMiB = double(mono.size() + interleaved.size()) * sizeof(float) / (1024.0 * 1024.0);
    std::fprintf(stderr, "frames=%lld rate=%d output=%.1f MiB peakRss=%.1f MiB\n", static_cast<long long>(mono.size()),
                 sampleRate, outputMiB, usage.ru_maxrss / 1024.0);
    return 0;
}
