// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time spectrum analyser: the short-time magnitude spectrum of the newest samples as a
// curve over a log-frequency axis, with peak hold, averaging, smoothing and RMS levels.
#pragma once

#include <QColor>
#include <QList>
#include <QMutex>
#include <QPoint>
#include <QWidget>

#include <complex>
#include <deque>
#include <memory>
#include <vector>

class Fft;
class QPainter;
class QPainterPath;
class QTimer;

// GUI thread only: both timers, painting and every caller. Audio comes either as a whole
// buffer that the widget feeds into itself at about real-time speed, looping, or as blocks
// pushed by a caller. Two 131072-sample rings hold the newest samples; every 33 ms the newest
// fftSize of them are windowed, transformed, averaged and smoothed.
class FrequencyAnalyzerWidget : public QWidget
{
    Q_OBJECT

public:
    enum WindowType { Rectangular = 0, Hann = 1, Hamming = 2, Blackman = 3 };
    enum ChannelMode { LeftOnly = 0, Overlay = 1, Split = 2 };

    static constexpr int ringSize = 131072;

    explicit FrequencyAnalyzerWidget(QWidget *parent = nullptr);
    ~FrequencyAnalyzerWidget() override;

    // The rate must be positive. Both restart the feed from the buffer's first sample.
    void setAudioData(const QList<float> &samples, int sampleRate);
    void setAudioDataStereo(const QList<float> &left, const QList<float> &right, int sampleRate);
    void clearAudioData();
    void processAudioFrame(const float *samples, int count);
    void processAudioFrameStereo(const float *left, const float *right, int count);

    void setFFTSize(int size);
    void setWindowType(WindowType type);
    void setOverlapRatio(float ratio);
    void setDecibelRange(float minimumDb, float maximumDb);
    void setFrequencyRange(float lowHz, float highHz);
    void setAveragingCount(int count);
    void setSmoothing(float weight);
    void setPeakHoldEnabled(bool enabled) { peakHoldEnabled = enabled; ++version; }
    void setPeakHoldDecay(float dbPerSecond) { peakHoldDecay = dbPerSecond; }
    void setRmsEnabled(bool enabled) { rmsEnabled = enabled; }
    void setChannelMode(ChannelMode mode);
    void setSpectrumColorL(const QColor &color) { spectrumColorL = color; ++version; }
    void setSpectrumColorR(const QColor &color) { spectrumColorR = color; ++version; }
    void setPeakColor(const QColor &color) { peakColor = color; ++version; }
    void setBackgroundColor(const QColor &color) { backgroundColor = color; ++version; }
    void setGridColor(const QColor &color) { gridColor = color; ++version; }
    void setTextColor(const QColor &color) { textColor = color; ++version; }

    int getFFTSize() const { return fftSize; }
    int getSampleRate() const { return sampleRate; }
    float getMinFrequency() const { return minFrequency; }
    float getMaxFrequency() const { return maxFrequency; }
    float getRmsLeftDb() const { return rmsLeftDb; }
    float getRmsRightDb() const { return rmsRightDb; }
    const QList<float> &getBinFrequencies() const { return binFrequencies; }
    const QList<float> &getSmoothedLeft() const { return smoothedLeft; }
    const QList<float> &getSmoothedRight() const { return smoothedRight; }
    const QList<float> &getPeakLeft() const { return peakLeft; }

    // Changes whenever the picture may change: a new spectrum, new data, a setting, the
    // pointer. Whoever keeps a rendering of the widget redraws it only then.
    quint64 pictureVersion() const { return version; }

    float freqToX(float f, const QRect &r) const;
    float xToFreq(int x, const QRect &r) const;
    float dbToY(float db, const QRect &r) const;
    float yToDb(int y, const QRect &r) const;
    static float dbFromMagnitude(float magnitude);
    static float magnitudeFromDb(float db);

    // The unwindowed transform of the first fftSize samples of `input`.
    void computeFFT(const float *input, std::vector<std::complex<float>> &out) const;
    // Mean magnitude over overlapping windowed frames of `data`, in dB per bin.
    void computeSpectrumFromData(const QList<float> &data, QList<float> &out);

    // One update tick: the spectra of the newest samples, then a repaint. Nothing until the
    // ring holds fftSize samples.
    void updateTick();
    // One feed tick: the next 1024 samples of the loaded buffer into the rings.
    void feedTick();

signals:
    void frequencySelected(float frequency, float magnitudeDB);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void changed();
    void buildWindow();
    void rebuildBinFrequencies();
    void resetForNewAudio(int rate);
    void forgetSpectra();
    void writeRings(const float *left, const float *right, int count);
    void computeSpectrumFromBuffer(const float *block, int count, QList<float> &out);
    void updateRealtimeSpectrum();
    void updatePeakHold(QList<float> &peaks, const QList<float> &current, float dt) const;
    void updateRms();
    // The newest fftSize samples of a ring in time order.
    void copyNewest(const std::vector<float> &ring, std::vector<float> &out) const;

    QRect plotRect() const;
    void drawGrid(QPainter &painter, const QRect &r) const;
    QPainterPath curvePath(const QRect &r, const QList<float> &values) const;
    void drawCurve(QPainter &painter, const QRect &r, const QList<float> &values, const QColor &color,
                   bool fill) const;
    void drawPeakCurve(QPainter &painter, const QRect &r, const QList<float> &values) const;
    void drawFreqLabels(QPainter &painter, const QRect &r) const;
    void drawDbLabels(QPainter &painter, const QRect &r) const;
    void drawCursor(QPainter &painter, const QRect &r) const;
    void drawTitle(QPainter &painter, const QRect &r) const;
    void drawEmptyState(QPainter &painter) const;

    int fftSize = 4096;
    WindowType windowType = Hann;
    float overlapRatio = 0.75f;
    std::vector<float> window;
    std::unique_ptr<Fft> fft;
    QList<float> audioLeft;
    QList<float> audioRight;
    bool stereo = false;
    int sampleRate = 44100;
    int playPosition = 0;
    bool playing = false;
    QTimer *feedTimer = nullptr;
    std::vector<float> ringLeft;
    std::vector<float> ringRight;
    int writeIndex = 0;
    int filledCount = 0;
    int binCount = 0;
    QList<float> binFrequencies;
    QList<float> smoothedLeft;
    QList<float> smoothedRight;
    QList<float> peakLeft;
    QList<float> peakRight;
    std::deque<QList<float>> historyLeft;
    std::deque<QList<float>> historyRight;
    int averagingCount = 4;
    float rmsLeftDb = -100.0f;
    float rmsRightDb = -100.0f;
    float smoothing = 0.8f;
    float peakHoldDecay = 6.0f;
    bool peakHoldEnabled = true;
    bool rmsEnabled = true;
    float minDb = -90.0f;
    float maxDb = 0.0f;
    float minFrequency = 20.0f;
    float maxFrequency = 20000.0f;
    ChannelMode channelMode = LeftOnly;
    QColor spectrumColorL{0, 200, 255};
    QColor spectrumColorR{255, 100, 50};
    QColor peakColor{255, 200, 0};
    QColor backgroundColor{18, 18, 28};
    QColor gridColor{50, 50, 65};
    QColor textColor{160, 160, 180};
    QPoint mousePosition;
    bool mouseInside = false;
    QTimer *updateTimer = nullptr;
    QMutex mutex;
    quint64 version = 0;
};
