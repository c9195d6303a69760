// SPDX-License-Identifier: GPL-3.0-or-later
// One audio clip held as float lists: loads and saves audio files by suffix and is the
// object every offline effect, edit and analysis works on.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

struct DecodedAudio;

// Not thread-safe: one instance is used by one thread at a time. Loads and saves run
// synchronously on the caller's thread.
class AudioProcessor : public QObject
{
    Q_OBJECT

public:
    explicit AudioProcessor(QObject *parent = nullptr);
    ~AudioProcessor() override;

    // Clip length in ms, reading `samples` as interleaved with stride `channels`.
    qint64 getDuration() const;
    // Empties both sample lists and restores the default rate and channel count;
    // the noise profile survives.
    void clear();

    // Picks the reader by the lower-case suffix (wav, mp3, flac, ogg). On failure
    // emits errorOccurred and leaves the cleared fields.
    bool loadAudioFile(const QString &filePath);
    // Writes `samples` (interleaved, stride `channels`) by the lower-case suffix
    // (wav, mp3, flac). Never touches this object's fields. An existing target is
    // replaced only when the whole file was written.
    bool saveAudioFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                       int channels, int bitDepth);

    bool loadWavFile(const QString &filePath);
    bool saveWavFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                     int channels, int bitDepth);
    bool loadMp3File(const QString &filePath);
    bool loadFlacFile(const QString &filePath);
    bool loadOggFile(const QString &filePath);
    // `samples` is mono.
    bool saveMp3File(const QString &filePath, const QList<float> &samples, int sampleRate);
    bool saveFlacFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                      int channels, int bitDepth);

    // After a load: one value per frame (mean of the channels). For effects, edits and
    // analyses: interleaved with stride `channels`.
    QList<float> samples;
    // Interleaved left/right, filled by the loaders only for two-channel files.
    QList<float> stereoSamples;
    int sampleRate = 44100;
    int channels = 2;
    // Written by the noise analysis, read by the noise reduction; loads keep it.
    QList<float> noiseProfile;
    int fftSize = 2048;

signals:
    void audioLoaded(const QString &filePath, int sampleRate, int channels, qint64 durationMs);
    void audioProcessed();
    void errorOccurred(const QString &errorMessage);

private:
    // Moves a decoded clip into the fields and announces it.
    bool acceptDecoded(const QString &filePath, DecodedAudio &&decoded);
    bool failLoad(const QString &message);
};
