// SPDX-License-Identifier: GPL-3.0-or-later
// The default audio output as a Qt sink in push mode, fed with 16-bit stereo blocks and
// converting them when the device only takes another format.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QString>

class QAudioSink;
class QIODevice;
class QObject;

// GUI thread only. The live player and the metronome each own one.
class PushAudioOutput
{
public:
    PushAudioOutput() = default;
    ~PushAudioOutput();
    PushAudioOutput(const PushAudioOutput &) = delete;
    PushAudioOutput &operator=(const PushAudioOutput &) = delete;

    // Opens the default output for 16-bit stereo at `rate`, or in the device's preferred
    // format when it does not take that; the blocks are then converted, and rendered at
    // sampleRate(). With `logFormat` the device and format choice are logged after
    // `logPrefix`. On failure nothing is left open: an output format that cannot be
    // converted (logged here), or a sink that gave no device (for the caller to log).
    enum class Result { Opened, UnsupportedFormat, NoDevice };
    Result open(int rate, QObject *parent, const QString &logPrefix, bool logFormat);
    void close();
    bool isOpen() const { return device != nullptr; }

    // Rate the 16-bit stereo blocks must have: the sink's own.
    int sampleRate() const { return format.sampleRate(); }
    // Whole frames the sink has room for.
    int framesFree() const;
    // Writes `frames` interleaved 16-bit stereo frames, converted to the sink's format.
    void write(const short *stereo, int frames);

    // Writes `frames` 16-bit stereo frames into `out` in `format` (UInt8, Int16, Int32 or Float,
    // any channel count): mono takes the mean, channels past the second stay silent.
    static void convert(const short *stereo, int frames, const QAudioFormat &format, char *out);

    static constexpr int bufferBytes = 32768;
    static constexpr int maxBlockFrames = 1024;

private:
    QAudioSink *sink = nullptr;  // parented to the owner given to open()
    QIODevice *device = nullptr;  // owned by the sink
    QAudioFormat format;
    bool converts = false;
    QByteArray converted;  // one block in the sink's format, sized once per open
};
