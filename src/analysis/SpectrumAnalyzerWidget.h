// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view of one clip, with a brush that erases spectral energy.
#pragma once

#include "analysis/LiveSpectrogram.h"
#include "analysis/SpectralErase.h"
#include "analysis/SpectrogramColumns.h"
#include "ui/TimeViewport.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QScrollBar;

// GUI thread only; no lock. The whole-clip STFT runs on a worker thread over its own shared
// copies of the lists and hands its columns back through a queued call, so nothing here waits
// on it except a restart or the destructor, which cancel it first. A hidden view starts it
// only once shown: a long clip's columns cost seconds of processor time. Columns are 16-bit levels,
// pooled over several hops when a clip would not fit kColumnBudget, and the picture is drawn at
// the size it is shown, so memory stays bounded for long clips.
//
// Time and frequency use one mapping everywhere: the plot spans the clip's duration over the
// zoom, and each half of the plot spans 0 .. R/2, for the picture, labels, readout and brush.
class SpectrumAnalyzerWidget : public QWidget
{
    Q_OBJECT
    friend struct SpectrumAnalyzerWidgetProbe;

public:
    enum DisplayMode { Spectrogram = 0, SpectrogramAndWaveform = 1 };
    enum ToolMode { Select = 0, Erase = 1 };
    enum WindowType { Rectangular = 0, Hann = 1, Hamming = 2 };

    // Left of the plot lie the frequency labels, right of it a narrow margin; a view drawn
    // along the same time axis leaves the same margins.
    static constexpr int plotLeftMargin = 55;
    static constexpr int plotRightMargin = 5;

    // Most bytes of columns one widget keeps, all channels together.
    static constexpr std::size_t kColumnBudget = std::size_t(224) << 20;

    explicit SpectrumAnalyzerWidget(QWidget *parent = nullptr);
    ~SpectrumAnalyzerWidget() override;

    void setDisplayMode(DisplayMode mode);
    // The mono (or mean) list and, when non-empty and of matching length, the interleaved
    // stereo list; both are shared, not copied. Starts the STFT unless the lists are the ones
    // already shown.
    void setAudioData(const QList<float> &mono, int sampleRate, const QList<float> &interleavedStereo = {});
    void clearAudioData();
    void setPlayheadPosition(double seconds);
    void setZoomLevel(double zoom);
    void setViewStartSec(double seconds);
    void setToolMode(ToolMode mode);
    void setEraseStrength(float strength);
    // While recording the view shows the live input, ignores the clip's changes and has no
    // brush; each start forgets the previous take's input.
    void setRecording(bool on);
    // Live input while recording: each finished column also appends its hop of settled
    // input to the view's samples and moves the playhead to their end.
    void processAudioFrame(const float *data, int count);

    // The columns are 2048-point frames under a Hann window, both fixed: a size that does not
    // round up to 2048, or another window, is refused with a warning and changes nothing.
    bool setFFTSize(int size);
    bool setWindowType(int type);

    // The mono list; after audioDataChanged it holds the erased audio.
    const QList<float> &audioData() const { return samples; }
    // The interleaved stereo list, erased alike; empty for mono audio.
    const QList<float> &stereoAudioData() const { return stereoSamples; }

    void setDecibelRange(float minimum, float maximum);
    void setFrequencyRange(float minimum, float maximum);
    void setSpectrumColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    void setGridColor(const QColor &color);
    void setTextColor(const QColor &color);

    // Spectrum-curve drawing over a log-frequency axis (whole-clip average, or the newest live
    // frame with peak hold), and the waveform strip of the SpectrogramAndWaveform layout.
    void drawWaveform(QPainter &painter, const QRect &r, const QList<float> &list);
    void drawWaveform(QPainter &painter, const QRect &r);
    void drawBackground(QPainter &painter);
    void drawGrid(QPainter &painter, const QRect &r);
    void drawFrequencyLabels(QPainter &painter, const QRect &r);
    void drawMagnitudeLabels(QPainter &painter, const QRect &r);
    void drawSpectrum(QPainter &painter, const QRect &r);
    void drawPeakHold(QPainter &painter, const QRect &r);
    float frequencyToX(float frequency, const QRect &r) const;
    float magnitudeToY(float decibels, const QRect &r) const;
    float xToFrequency(int x, const QRect &r) const;
    float yToMagnitude(int y, const QRect &r) const;

signals:
    void frequencySelected(float frequency);
    void magnitudeSelected(float decibels);
    void audioDataChanged();
    void playheadRequested(double seconds);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Computed;
    // Which channel a part of the plot shows: the mono list, or left and right of a stereo one.
    enum class Channel { Mono, Left, Right };
    struct Half
    {
        QRect rect;
        Channel channel;
    };
    // A frequency label right-aligned left of the plot, its text starting at row y - 8.
    struct FrequencyLabel
    {
        int y = 0;
        QString text;
    };
    // A time label centred on column x under the plot.
    struct TimeLabel
    {
        int x = 0;
        QString text;
    };

    QRect plotRect() const;
    QRect spectrogramRect() const;
    std::vector<Half> halves(const QRect &r) const;
    ChannelSamples channelSamples(Channel channel) const;
    int columnIndex(Channel channel) const;
    double duration() const;
    float nyquist() const { return float(sampleRate) / 2.0f; }
    float frequencyAt(int y, const QRect &half) const;
    float levelAt(const QPoint &pos) const;

    // Drops the columns and starts the STFT now if the view shows, else once it is shown.
    void requestComputation();
    void startComputation();
    void stopComputation();
    void adopt(std::shared_ptr<Computed> computed);
    void viewChanged();
    void updateScrollBar();
    void zoomBy(double factor);

    void drawSpectrogram(QPainter &painter, const Half &half, int slot);
    std::vector<FrequencyLabel> frequencyLabels(const QRect &half, int lineHeight) const;
    std::vector<TimeLabel> timeLabels(const QRect &r) const;
    void drawTimeLabels(QPainter &painter, const QRect &r);
    void drawAxisLabels(QPainter &painter, const QRect &half);
    void drawPlayhead(QPainter &painter, const QRect &r);
    void drawReadout(QPainter &painter);
    void drawEmptyState(QPainter &painter);
    void drawPlot(QPainter &painter, const QRect &r);

    void performVisualErase(const QPoint &pos);
    void finishStroke();
    void clearStroke();
    void applySpectralErase(const SpectralBox &box, const std::vector<Channel> &channels);
    void updateRunningSpectrum();
    void resetCurveData();

    DisplayMode displayMode = Spectrogram;
    QList<float> samples;
    // Interleaved left/right, or empty when the clip is mono.
    QList<float> stereoSamples;
    int sampleRate = 44100;
    double playheadSec = 0.0;
    TimeViewport viewport;

    // One entry per channel (mono, or left and right); empty until the STFT has finished.
    std::vector<SpectrogramColumns> columns;
    bool spectrumReady = false;
    // The columns are wanted, but the view has not been shown since the data came.
    bool computationDue = false;
    std::thread worker;
    std::shared_ptr<std::atomic<bool>> cancelWorker;
    quint64 generation = 0;

    LiveSpectrogram live;
    bool recording = false;

    // Curve data: level per bin in dB (the whole-clip average, or the newest live frame).
    QList<float> spectrumDb;
    QList<float> binFrequencies;
    QList<float> binMagnitudes;
    QList<float> peakHoldDb;
    QList<int> peakHoldCounters;
    float minDb = -100.0f;
    float maxDb = -30.0f;
    float minFreq = 20.0f;
    float maxFreq = 20000.0f;

    QColor spectrumColor{0x00, 0xf2, 0xff};
    QColor backgroundColor{0x14, 0x14, 0x1e};
    QColor gridColor{0x50, 0x50, 0x50};
    QColor textColor{0xc8, 0xc8, 0xc8};
    QColor peakHoldColor{0xff, 0xc8, 0x00};

    // The picture of each half at its shown size; redrawn when the view or the columns change.
    QImage pictures[2];
    bool picturesDirty = true;

    QPoint cursorPos;
    bool hovering = false;
    QScrollBar *scrollBar = nullptr;
    ToolMode toolMode = Select;
    float eraseStrength = 0.8f;
    bool erasing = false;
    // The stroke so far: its bounding box and the channels its dabs touched.
    bool strokeHasBox = false;
    SpectralBox strokeBox;
    std::vector<Channel> strokeChannels;
};
