// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: data and settings the editor hands in.
#include "analysis/SpectrumAnalyzerWidget.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

SpectrumAnalyzerWidget::SpectrumAnalyzerWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(300, 150);
    setMouseTracking(true);
}

void SpectrumAnalyzerWidget::setDisplayMode(DisplayMode mode)
{
    displayMode = mode;
    update();
}

void SpectrumAnalyzerWidget::setAudioData(const QList<float> &mono, int rate, const QList<float> &)
{
    samples = mono;
    sampleRate = rate;
    update();
}

void SpectrumAnalyzerWidget::setPlayheadPosition(double seconds)
{
    const double duration = sampleRate > 0 ? double(samples.size()) / sampleRate : 0.0;
    playheadPosition = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, duration);
    update();
}

void SpectrumAnalyzerWidget::setZoomLevel(double zoom)
{
    zoomLevel = std::isnan(zoom) ? 1.0 : std::clamp(zoom, 1.0, 512.0);
    update();
}

void SpectrumAnalyzerWidget::setToolMode(ToolMode mode)
{
    toolMode = mode;
    setCursor(mode == EraseTool ? Qt::CrossCursor : Qt::ArrowCursor);
}

void SpectrumAnalyzerWidget::setEraseStrength(float strength)
{
    eraseStrength = std::isnan(strength) ? 1.0f : std::clamp(strength, 0.1f, 1.0f);
}

void SpectrumAnalyzerWidget::processAudioFrame(const float *, int)
{
    // The live history belongs to the spectrogram drawing, which this view does not do yet.
}

void SpectrumAnalyzerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x0d, 0x0d, 0x1a));
}
