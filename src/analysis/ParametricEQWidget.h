// SPDX-License-Identifier: GPL-3.0-or-later
// Five-band parametric equaliser graph: the bands as draggable points, their summed and
// single responses over a log-frequency axis, and a live spectrum of the audio behind them.
#pragma once

#include "audio/BiquadCoefficients.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class FrequencyAnalyzerWidget;
class QPainter;

// GUI thread only. Holds the bands and draws them; it computes no audio. Whoever runs the
// filters reads the bands back with band() on every bandChanged.
class ParametricEQWidget : public QWidget
{
    Q_OBJECT

public:
    enum FilterType : int { Bell = 0, LowShelf = 1, HighShelf = 2, LowPass = 3, HighPass = 4, Notch = 5, BandPass = 6 };
    Q_ENUM(FilterType)

    struct EQBand
    {
        bool enabled = true;
        float frequency = 1000.0f;  // Hz, 20 ... 20000 through the editing operations
        float gainDb = 0.0f;        // -24 ... +24; ignored by the pass, notch and band-pass shapes
        float q = 1.0f;             // 0.1 ... 30
        FilterType type = Bell;
        QColor color = Qt::white;
    };

    static constexpr int bandCount = 5;

    explicit ParametricEQWidget(QWidget *parent = nullptr);
    ~ParametricEQWidget() override;

    EQBand band(int index) const;
    void setBand(int index, const EQBand &band);
    void setBandEnabled(int index, bool enabled);
    void setBandFrequency(int index, float hz);
    void setBandGain(int index, float db);
    void setBandQ(int index, float q);
    void setBandType(int index, FilterType type);
    void setBandColor(int index, const QColor &color);

    void setMasterGain(float db);
    void setBypassed(bool bypassed);
    bool isBypassed() const { return bypassed; }
    void setCurveColor(const QColor &color);
    void setControlPointRadius(float radius);
    int getSelectedBand() const { return selectedBand; }
    // The rate the curve is drawn for: the analysed audio's, 44100 before any.
    int sampleRate() const;

    void setAudioData(const QList<float> &samples, int sampleRate);
    void setAudioDataStereo(const QList<float> &left, const QList<float> &right, int sampleRate);
    void clearAudioData();
    void processAudioFrame(const float *samples, int count);
    void processAudioFrameStereo(const float *left, const float *right, int count);
    FrequencyAnalyzerWidget *spectrumAnalyzer() const { return analyzer; }

    // Highest frequency a band may act at for a rate: just below Nyquist, where the
    // cookbook sections are still stable. The graph, the preview and the offline run all
    // use it, so what is drawn is what is heard.
    static float limitedFrequency(float hz, float sampleRate);
    // The section a band runs as at a rate, its frequency limited as above; nothing for a
    // disabled band or one that leaves the audio unchanged.
    static std::optional<BiquadCoefficients> sectionFor(const EQBand &band, float sampleRate);
    // Response of one band at f in dB; 0 dB for arguments without a filter.
    static float computeFilterMagnitude(float f, float f0, float gainDb, float q, FilterType type, float sampleRate);
    // The summed response (with the master gain) at n log-spaced points from 20 Hz to 20 kHz.
    QList<float> computeEQCurve(int n) const;
    // Where the captions of the enabled bands go, in band order, for a plot rectangle and the
    // caption font: beside the point where there is room, else moved clear of the earlier ones.
    std::vector<QRectF> captionBoxes(const QRect &r, const QFont &font) const;

signals:
    void bandChanged(int index);
    void bandSelected(int index);
    void masterGainChanged(float db);
    void bypassedChanged(bool bypassed);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    float freqToX(float hz, const QRect &r) const;
    float dbToY(float db, const QRect &r) const;
    float pointToFreq(float x, const QRect &r) const;
    float pointToGain(float y, const QRect &r) const;
    QPointF bandToPoint(int index, const QRect &r) const;
    int pointToBand(const QPointF &position, const QRect &r) const;
    void changed(int index);
    void resetBand(int index);

    void drawEQCurve(QPainter &painter, const QRect &r) const;
    void drawControlPoints(QPainter &painter, const QRect &r) const;
    // "B<n> <type> <frequency>Hz", the first line of a band's caption.
    QString captionLine(int index) const;
    // "<gain>dB Q=<q>", the second line.
    QString valueLine(int index) const;
    void drawBandLabel(QPainter &painter, int index, const QRectF &box) const;
    void drawBypassOverlay(QPainter &painter, const QRect &r) const;

    FrequencyAnalyzerWidget *analyzer = nullptr;
    std::array<EQBand, bandCount> bands;
    float masterGain = 0.0f;
    bool bypassed = false;
    int selectedBand = -1;
    int dragBand = -1;
    bool dragging = false;
    QColor curveColor{255, 255, 255, 200};
    float controlPointRadius = 8.0f;
    QRect plotRect;
    QPixmap background;
    quint64 backgroundVersion = 0;
    // What the curve's points cost to place, kept between repaints (a drag changes one band).
    struct CurveGrid;
    mutable std::unique_ptr<CurveGrid> grid;
};
