// SPDX-License-Identifier: GPL-3.0-or-later
// The raw float files that project_file_tool writes (mono.f32, left.f32, right.f32), read back
// as one clip, so every project benchmark saves the same samples.
#pragma once

#include "project/ProjectData.h"

#include <QFile>
#include <QList>

inline QList<float> readRawFloats(const QString &path)
{
    QFile file(path);
    QList<float> list;
    if (!file.open(QIODevice::ReadOnly))
        return list;
    list.resize(file.size() / 4);
    file.read(reinterpret_cast<char *>(list.data()), list.size() * 4);
    return list;
}

// The mono list and the interleaved stereo list of the raw files in `dir`, at 44.1 kHz.
inline AudioClip readRawClip(const QString &dir)
{
    AudioClip clip;
    clip.samples = readRawFloats(dir + "/mono.f32");
    for (int side = 0; side < 2; ++side) {
        const QList<float> channel = readRawFloats(dir + (side == 0 ? "/left.f32" : "/right.f32"));
        clip.stereoSamples.resize(2 * channel.size());
        for (qsizetype i = 0; i < channel.size(); ++i)
            clip.stereoSamples[2 * i + side] = channel[i];
    }
    clip.sampleRate = 44100;
    return clip;
}
