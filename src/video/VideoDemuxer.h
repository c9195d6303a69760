// SPDX-License-Identifier: GPL-3.0-or-later
// One media file opened through FFmpeg: its whole first audio stream as float sample lists,
// and pictures of its first video stream as images.
#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <limits>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
struct SwsContext;

// No lock: one thread at a time. The GUI thread opens and extracts the sound; afterwards a
// preview's decode thread alone reads pictures, so the demuxer must outlive that thread.
// Failures of open and extractAudio go out through errorOccurred; picture calls give a null image.
class VideoDemuxer : public QObject
{
    Q_OBJECT

public:
    explicit VideoDemuxer(QObject *parent = nullptr);
    ~VideoDemuxer() override;

    // Closes any open file first. A file with neither stream still opens.
    bool open(const QString &path);
    // Harmless when nothing is open.
    void close();

    bool hasAudioStream() const { return audioCodecContext != nullptr; }
    bool hasVideoStream() const { return videoCodecContext != nullptr; }

    // Decodes the whole audio stream from its start: two channels (the source's stereo
    // downmix) in `interleaved` and their mean in `mono`, or, for a one-channel source,
    // the samples in `mono` and an empty `interleaved`. `sampleRate` is the stream's rate.
    bool extractAudio(QList<float> &mono, QList<float> &interleaved, int &sampleRate);

    // The first picture decoded from the key frame at or before `seconds`.
    QImage decodeFrameAt(double seconds);
    // The next picture and its time in seconds; null and -1 at the end or on an error.
    QImage decodeNextFrame(double &ptsSeconds);
    // Moves the picture read position so that decodeNextFrame continues with the picture
    // shown at `seconds`: earlier pictures of that key frame's group are decoded, not converted.
    void seekTo(double seconds);
    void flushVideoCodec();

    int getAudioSampleRate() const;
    int getAudioChannels() const;
    int getVideoWidth() const;
    int getVideoHeight() const;
    double getDuration() const;

signals:
    void errorOccurred(const QString &message);

private:
    bool openAudioCodec();
    bool openVideoCodec();
    // A resampler from `frame`'s layout, rate and format to the output chosen at open;
    // rebuilt (after flushing the old one onto `collected`) when the stream changes them.
    // False when it cannot be made.
    bool matchResampler(const AVFrame *frame, QList<float> &collected);
    // Converts one decoded frame (null: what the resampler still holds) onto `collected`.
    void appendConverted(const AVFrame *frame, QList<float> &collected);
    void receiveAudioFrames(AVFrame *frame, QList<float> &collected);
    // The next decoded picture into `frame`; reads, sends and at the end drains the decoder.
    bool receiveVideoFrame(AVFrame *frame, AVPacket *packet);
    QImage convertPicture(const AVFrame *frame);
    void seekVideo(double seconds);
    // Moves the read position to the file's first packet.
    void rewind();
    // How many float values to reserve for the sound before it is decoded.
    qsizetype expectedSampleValues() const;
    double secondsOf(const AVFrame *frame) const;

    AVFormatContext *formatContext = nullptr;
    AVStream *audioStream = nullptr;
    AVCodecContext *audioCodecContext = nullptr;
    int audioStreamIndex = -1;
    SwrContext *resampler = nullptr;
    AVStream *videoStream = nullptr;
    AVCodecContext *videoCodecContext = nullptr;
    int videoStreamIndex = -1;
    SwsContext *scaler = nullptr;

    int outputChannels = 0;         // 1 for a mono source, else 2
    int outputSampleRate = 0;       // the rate at open; later rate changes are resampled to it
    double originSeconds = 0.0;     // stream time of the sound's first sample: picture time 0
    double skipBeforeSeconds = -std::numeric_limits<double>::infinity(); // pictures earlier than this are decoded but not converted
    bool videoInputEnded = false;   // the decoder got its drain packet
};
