// SPDX-License-Identifier: GPL-3.0-or-later
// One audio clip held as float lists: loads and saves audio files by suffix and is the
// object every offline effect, edit and analysis works on.
#pragma once

#include "audio/PeakSummary.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

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
    // replaced only when the whole file was written. MP3 keeps one or two channels and
    // mixes wider layouts to mono. Integer samples are x · 2^(bits − 1) rounded and
    // clamped, the inverse of loading, so unedited PCM saves back unchanged.
    bool saveAudioFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                       int channels, int bitDepth);

    bool loadWavFile(const QString &filePath);
    bool saveWavFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                     int channels, int bitDepth);
    bool loadMp3File(const QString &filePath);
    bool loadFlacFile(const QString &filePath);
    bool loadOggFile(const QString &filePath);
    // `samples` is mono, or interleaved stereo when `channels` is 2 (written as joint stereo).
    bool saveMp3File(const QString &filePath, const QList<float> &samples, int sampleRate, int channels = 1);
    bool saveFlacFile(const QString &filePath, const QList<float> &samples, int sampleRate,
                      int channels, int bitDepth);

    // Tempo estimate of the clip; errors come back in the record, never as a signal.
    struct TempoResult
    {
        double bpm = 0.0;        // folded into 60..200; 0 when not ok
        double confidence = 0.0; // 0..1
        bool ok = false;
        QString error;
    };

    // Offline effects, in place on `samples` with stride `channels` (the imager on
    // `stereoSamples`); each emits audioProcessed() when it has run. Settings that would
    // make a filter unstable or the clip NaN skip the band or the whole effect.
    // Band types: 0 bell, 1 low shelf, 2 high shelf, 3 low pass, 4 high pass, 5 notch,
    // 6 band pass; the five arrays hold `count` entries each.
    void applyParametricEQ(const float *frequencies, const float *gains, const float *qs, const int *types,
                           const bool *enabled, int count);
    void applyDelay(float mix, int delayMs, float feedback);
    void applyReverb(float mix, float roomSize, float damping, float preDelayMs, float decay);
    void applyCompression(float thresholdDb, float ratio, float attackMs, float releaseMs, float makeupDb,
                          float kneeDb);
    // The same compression over `count` values `stride` apart, in place, with a gain of their
    // own: a channel of interleaved frames is compressed without being copied out. False,
    // leaving the values alone, for settings applyCompression refuses.
    static bool compressValues(float *values, qsizetype count, qsizetype stride, int sampleRate, float thresholdDb,
                               float ratio, float attackMs, float releaseMs, float makeupDb, float kneeDb);
    // Gain reduction in dB (0 or more) that applyCompression aims at for a steady level in
    // dBFS: above the knee by (1 - 1/ratio) per dB, quadratic inside it, none below it.
    static float compressionReductionDb(float levelDb, float thresholdDb, float ratio, float kneeDb);
    void applyExciter(float amount);
    void applyImager(float width);

    // Spectral noise reduction on `samples` as one mono signal: first measure a noise-only
    // range (end exclusive), then subtract that spectrum from the whole clip at strength 0..1.
    void analyzeNoiseProfile(int startSample, int endSample);
    void applyNoiseReduction(float strength);
    // In-place complex radix-2 FFT of n values (a power of two); the inverse scales by 1/n.
    void fftReal(float *real, float *imag, int n, bool inverse);

    // Safe to run on a pool thread on an instance nobody else touches meanwhile.
    TempoResult detectTempo() const;

    // Simple edits; gains only attenuate. Times in ms become frames as ms x rate / 1000.
    void applyGain(float gain);
    void applyGainDB(float gainDb);
    void applyLowPassFilter(float cutoffHz);
    void applyHighPassFilter(float cutoffHz);
    void fadeIn(int durationMs);
    void fadeOut(int durationMs);
    void reverse();
    void normalize(float targetPeak);
    void deleteSegment(qint64 startMs, qint64 endMs);
    void insertSegment(const QList<float> &segment, qint64 positionMs);
    QList<float> extractSegment(qint64 startMs, qint64 endMs) const;

    float linearToDB(float linear) const;
    float dBToLinear(float db) const;
    int msToSamples(qint64 ms) const;
    qint64 samplesToMs(int frameCount) const;

    // After a load: one value per frame (mean of the channels). For effects, edits and
    // analyses: interleaved with stride `channels`.
    QList<float> samples;
    // Interleaved left/right, filled by the loaders only for two-channel files.
    QList<float> stereoSamples;
    int sampleRate = 44100;
    int channels = 2;
    // Set by a caller that draws the clip it loads: the loaders then also fill
    // `peakSummaries`, of the left and right channels of `stereoSamples` when there are
    // two, else of `samples`, as they decode. Any other load or a clear() empties them.
    bool summariseWhileLoading = false;
    std::vector<PeakSummary> peakSummaries;
    // After a load that succeeded without the whole file (damaged MP3 frames left out, a WAV
    // file cut short), what the user should be told; empty after a whole load. Set before
    // audioLoaded is emitted; any other load or a clear() empties it.
    QString loadWarning;
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
    // Refuses a decode that gave no frames, naming why: `format` is the text's prefix,
    // `notThisFormat` the cause when the decoder found no stream of its kind.
    bool refuseDecoded(const QString &format, const QString &notThisFormat, const DecodedAudio &decoded,
                       const QString &filePath);
};
