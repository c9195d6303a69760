// SPDX-License-Identifier: GPL-3.0-or-later
// Draws a raw 44.1 kHz stereo float file as a 1920x400 waveform picture, the way the editor
// does after loading it, so bench/compare.py can time it against another waveform renderer.
#include "editor/WaveformWidget.h"

#include <QApplication>
#include <QFile>
#include <QImage>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <stereo-f32le.raw> <out.png>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);

    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly))
        return 1;
    const qsizetype values = input.size() / qsizetype(sizeof(float)) / 2 * 2;
    const auto *mapped = reinterpret_cast<const float *>(input.map(0, values * qsizetype(sizeof(float))));
    if (!mapped)
        return 1;
    QList<float> stereo(mapped, mapped + values);
    QList<float> mono(values / 2);
    for (qsizetype i = 0; i < mono.size(); ++i)
        mono[i] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);

    WaveformWidget widget;
    widget.resize(1920, 400);
    widget.setAudioData(mono, 44100, stereo);
    QImage picture(1920, 400, QImage::Format_RGB32);
    widget.render(&picture);
    return picture.save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
