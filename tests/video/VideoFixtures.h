// SPDX-License-Identifier: GPL-3.0-or-later
// Media files made by the ffmpeg command line at test time, and ffmpeg's own decode of
// their sound as the oracle for ours.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// The path of a fixture, made on first use in a folder that lives as long as the process:
//  b.mp4   3 s of red, blue and lime at 25 fps (H.264, a key frame every second, B-frames),
//          a 440 Hz sine at 48 kHz as stereo AAC;
//  c.avi   MJPEG with 3 s of mono 16-bit PCM at 48 kHz;
//  d.mkv   H.264 with 6-channel AC-3, a different sine on each channel;
//  e.webm  VP8 without sound;
//  size-change.ts     two TS files joined with cat, 640x480 then 320x240;
//  channel-change.ts  two TS files joined with cat, 6-channel AC-3 at 48 kHz then stereo at 44.1 kHz;
//  joined-programs.ts 6 s of mono MP2 at 48 kHz joined with a second file on other PIDs, whose
//                     streams appear only while the file is read;
//  one-key-frame.ts   2 s of red with one key frame; the sound starts 64 ms after the picture;
//  claims-300000s.mkv 1 s of 8 kHz mono PCM whose header states 300,000 s;
//  claims-9e12s.mka   0.1 s of 768 kHz stereo PCM whose header states 9 * 10^12 s;
//  claims-only.webm   a sound track's header, an empty cluster, and a stated duration of 10^12 s;
//  big.mp4 10 minutes of 640x360 H.264 with 128k stereo AAC (benchmarks only).
// Empty when ffmpeg is missing or fails.
QString videoFixture(const QString &name);
// A scratch path in the fixture folder.
QString scratchPath(const QString &name);

// The first audio stream as ffmpeg decodes it to 32-bit floats, with `extraArguments`
// (e.g. "-ac", "2") before the output. Empty on failure.
QList<float> ffmpegFloats(const QString &path, const QStringList &extraArguments = {});

// True when every channel of `pixel` is within `tolerance` of `expected`.
bool colourNear(QRgb pixel, const QColor &expected, int tolerance = 5);
QRgb centrePixel(const QImage &image);
