// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view of one clip, with a brush that erases spectral energy.
#pragma once

#include <QList>
#include <QWidget>

// GUI thread only. Holds its own copy of the audio it shows. The spectrogram itself (FFT
// columns, painting, the erase brush and the live history) is not drawn yet: the view
// keeps its data and settings and paints its background.
class SpectrumAnalyzerWidget : public QWidget
{
    Q_OBJECT

public:
    enum DisplayMode { SpectrogramOnly = 0, SpectrogramOverWaveform = 1 };
    enum ToolMode { SelectTool = 0, EraseTool = 1 };

    explicit SpectrumAnalyzerWidget(QWidget *parent = nullptr);

    void setDisplayMode(DisplayMode mode);
    void setAudioData(const QList<float> &mono, int sampleRate, const QList<float> &interleavedStereo = {});
    void setPlayheadPosition(double seconds);
    void setZoomLevel(double zoom);
    void setToolMode(ToolMode mode);
    void setEraseStrength(float strength);
    // Live input while recording.
    void processAudioFrame(const float *data, int count);

    // The mono (left) list the view shows; after audioDataChanged it holds the erased audio.
    const QList<float> &audioData() const { return samples; }

signals:
    void audioDataChanged();
    void playheadRequested(double seconds);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<float> samples;
    int sampleRate = 44100;
    double playheadPosition = 0.0;
    double zoomLevel = 1.0;
    float eraseStrength = 0.8f;
    DisplayMode displayMode = SpectrogramOnly;
    ToolMode toolMode = SelectTool;
};
