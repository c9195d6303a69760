// SPDX-License-Identifier: GPL-3.0-or-later
// Pitch-correction editor: the detected pitch of a mono clip on a piano-roll grid, note
// segments snapped to equal-tempered targets, and a phase-vocoder render of the correction.
#pragma once

#include "audio/YinPitchDetector.h"

#include <QDialog>
#include <QList>

#include <vector>

struct KeyRows;

class QLabel;
class QPushButton;
class QSlider;

// The editor's corrections as a value, so they can be rendered after the dialog is gone.
struct PitchCorrectionRender
{
    std::vector<PitchCorrectionSegment> segments;
    int hopSize = 1;   // analysis hop in samples
    int frameSize = 0; // analysis window in samples
    int sampleRate = 44100;

    // The segments rendered over `input`, a list with the analysed clip's timing (the clip
    // itself, or one of its channels). Samples outside the shifted notes stay bit-exact.
    QList<float> apply(const QList<float> &input) const;
};

// GUI thread only. The constructor analyses the whole clip before it returns (on the
// global thread pool, waiting for it); "应用" renders synchronously, then accepts.
class PitchCorrectionDialog : public QDialog
{
    Q_OBJECT

public:
    PitchCorrectionDialog(const QList<float> &samples, int sampleRate, QWidget *parent = nullptr);

    // The corrected clip after "应用"; a copy of the input until then.
    const QList<float> &correctedSamples() const { return outputSamples; }
    const std::vector<PitchCorrectionSegment> &correctionSegments() const { return segments; }
    PitchCorrectionRender correction() const;
    void runCorrection();

    QRect gridArea() const;
    QRect pianoKeyArea() const;
    QRect rulerArea() const;
    int pitchToY(float pitch) const;
    double yToPitch(int y) const;
    int secToX(double seconds) const;
    double xToSec(int x) const;
    int hitTestSegment(const QPoint &point) const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setupBottomBar();
    void onStrengthChanged(int value);
    void moveSelectedSegment(int note);
    void scrollToSegments();
    double frameTime(int frame) const;
    int rowHeight() const;
    int maximumScroll() const;
    double largestViewStart() const;
    void clampViewStart();
    void setScroll(int value);

    void drawBackground(QPainter &painter);
    KeyRows keyRows() const;
    void drawGrid(QPainter &painter);
    void drawDetectedPitchCurve(QPainter &painter);
    void drawCorrectedPitchCurve(QPainter &painter);
    void drawRuler(QPainter &painter);
    void drawPlayhead(QPainter &painter);

    QList<float> inputSamples;
    QList<float> outputSamples;
    int sampleRate = 44100;
    double gridBpm = 120.0;
    std::vector<PitchFrame> frames;
    std::vector<PitchCorrectionSegment> segments;
    YinPitchDetector detector;
    double viewStart = 0.0;
    double hZoom = 1.0;
    double vZoom = 1.0;
    int scrollY = 0;
    double playheadTime = 0.0;
    QSlider *strengthSlider = nullptr;
    QLabel *strengthLabel = nullptr;
    QLabel *infoLabel = nullptr;
    QPushButton *previewButton = nullptr;
    QPushButton *applyButton = nullptr;
    QPushButton *cancelButton = nullptr;
    float strength = 1.0f;
    int selectedSegment = -1;
    bool dragging = false;
    int dragStartY = 0;
    float dragStartTargetHz = 0.0f;
};
