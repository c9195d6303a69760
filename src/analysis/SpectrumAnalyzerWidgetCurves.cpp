// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: the waveform strip and the spectrum curve over a log-frequency axis.
#include "analysis/SpectrumAnalyzerWidget.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
// `colour` at `topAlpha` from r's top down to `holdUntil` of its height, fading to alpha 20 at
// its bottom.
QLinearGradient verticalFade(const QRect &r, QColor colour, int topAlpha, double holdUntil)
{
    QLinearGradient fade(0, r.top(), 0, r.bottom());
    colour.setAlpha(topAlpha);
    fade.setColorAt(0.0, colour);
    fade.setColorAt(holdUntil, colour);
    colour.setAlpha(20);
    fade.setColorAt(1.0, colour);
    return fade;
}
} // namespace

void SpectrumAnalyzerWidget::drawWaveform(QPainter &painter, const QRect &r, const QList<float> &list)
{
    if (list.isEmpty()) {
        painter.setPen(textColor);
        painter.drawText(r, Qt::AlignCenter, QStringLiteral("暂无波形数据"));
        return;
    }
    painter.fillRect(r, QColor(15, 15, 25));
    const int cy = r.top() + r.height() / 2;
    painter.setPen(QPen(gridColor, 1, Qt::DotLine));
    painter.drawLine(r.left(), cy, r.right(), cy);

    // Time runs by the sample span, like the playhead.
    const qsizetype n = list.size();
    const double start = viewport.viewStart() * sampleRate;
    const double visible = double(n) / viewport.zoom();
    QPolygonF upper, lower;
    for (int i = 0; i <= r.right() - r.left(); ++i) {
        const qsizetype a = std::clamp<qsizetype>(qsizetype(i / double(r.width()) * visible + start), 0, n - 1);
        const qsizetype b = std::max(a + 1, std::min(qsizetype((i + 1) / double(r.width()) * visible + start), n));
        float high = -1.0f, low = 1.0f;
        for (qsizetype k = a; k < b; ++k) {
            high = std::max(high, list[k]);
            low = std::min(low, list[k]);
        }
        upper << QPointF(r.left() + i, r.top() + r.height() * (1.0 - high) / 2.0);
        lower << QPointF(r.left() + i, r.top() + r.height() * (1.0 - low) / 2.0);
    }
    QPolygonF outline = upper;
    for (auto it = lower.crbegin(); it != lower.crend(); ++it)
        outline << *it;
    painter.setPen(Qt::NoPen);
    painter.setBrush(verticalFade(r, spectrumColor, 120, 0.5));
    painter.drawPolygon(outline);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(spectrumColor, 1));
    painter.drawPolyline(upper);
    painter.drawPolyline(lower);
    painter.setPen(QPen(gridColor, 1));
    painter.drawRect(r);
    if (list.constData() == samples.constData())
        drawTimeLabels(painter, r);
}

void SpectrumAnalyzerWidget::drawWaveform(QPainter &painter, const QRect &r)
{
    drawWaveform(painter, r, samples);
}

void SpectrumAnalyzerWidget::drawBackground(QPainter &painter)
{
    painter.fillRect(rect(), backgroundColor);
}

float SpectrumAnalyzerWidget::frequencyToX(float frequency, const QRect &r) const
{
    const float lo = std::log10(minFreq);
    return r.width() * (std::log10(std::max(frequency, minFreq)) - lo) / (std::log10(maxFreq) - lo);
}

float SpectrumAnalyzerWidget::magnitudeToY(float decibels, const QRect &r) const
{
    return (1.0f - (decibels - minDb) / (maxDb - minDb)) * r.height();
}

float SpectrumAnalyzerWidget::xToFrequency(int x, const QRect &r) const
{
    const float lo = std::log10(minFreq);
    return std::pow(10.0f, lo + float(x - r.left()) / r.width() * (std::log10(maxFreq) - lo));
}

float SpectrumAnalyzerWidget::yToMagnitude(int y, const QRect &r) const
{
    return (1.0f - float(y - r.top()) / r.height()) * (maxDb - minDb) + minDb;
}

void SpectrumAnalyzerWidget::drawGrid(QPainter &painter, const QRect &r)
{
    painter.setPen(QPen(gridColor, 1, Qt::DotLine, Qt::SquareCap, Qt::BevelJoin));
    for (float f : {20.f, 50.f, 100.f, 200.f, 500.f, 1000.f, 2000.f, 5000.f, 10000.f, 20000.f}) {
        if (f < minFreq || f > maxFreq)
            continue;
        const int x = r.left() + int(frequencyToX(f, r));
        painter.drawLine(x, r.top(), x, r.bottom());
    }
    for (float db = minDb; db <= maxDb; db += 10.0f) {
        const int y = r.top() + int(magnitudeToY(db, r));
        painter.drawLine(r.left(), y, r.right(), y);
    }
}

void SpectrumAnalyzerWidget::drawFrequencyLabels(QPainter &painter, const QRect &r)
{
    QFont font = painter.font();
    font.setPointSize(7);
    painter.setFont(font);
    painter.setPen(textColor);
    for (int f : {100, 500, 1000, 5000, 10000, 20000}) {
        if (float(f) < minFreq || float(f) > maxFreq)
            continue;
        const int x = r.left() + int(frequencyToX(float(f), r));
        const QString text = f < 1000    ? QStringLiteral("%1Hz").arg(f)
                             : f < 10000 ? QStringLiteral("%1k").arg(f / 1000.0, 0, 'f', 1)
                                         : QStringLiteral("%1k").arg(f / 1000.0, 0, 'f', 0);
        painter.drawText(QRect(QPoint(x - 20, r.bottom() + 2), QPoint(x + 19, r.bottom() + 17)), Qt::AlignCenter, text);
    }
}

void SpectrumAnalyzerWidget::drawMagnitudeLabels(QPainter &painter, const QRect &r)
{
    QFont font = painter.font();
    font.setPointSize(7);
    painter.setFont(font);
    painter.setPen(textColor);
    for (float db = minDb; db <= maxDb; db += 20.0f) {
        const int y = r.top() + int(magnitudeToY(db, r));
        painter.drawText(QRect(QPoint(2, y - 8), QPoint(51, y + 7)), Qt::AlignRight, QStringLiteral("%1dB").arg(int(db)));
    }
}

void SpectrumAnalyzerWidget::drawSpectrum(QPainter &painter, const QRect &r)
{
    if (spectrumDb.isEmpty())
        return;
    QPainterPath path;
    bool started = false;
    for (qsizetype i = 0; i < spectrumDb.size() && i < binFrequencies.size(); ++i) {
        const float f = binFrequencies[i];
        if (f < minFreq || f > maxFreq)
            continue;
        const QPointF point(r.left() + frequencyToX(f, r), r.top() + magnitudeToY(spectrumDb[i], r));
        started ? path.lineTo(point) : path.moveTo(point);
        started = true;
    }
    if (!started)
        return;
    QPainterPath area = path;
    area.lineTo(r.right(), r.bottom());
    area.lineTo(r.left(), r.bottom());
    area.closeSubpath();
    painter.fillPath(area, verticalFade(r, spectrumColor, 180, 0.0));
    painter.setPen(QPen(spectrumColor, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

void SpectrumAnalyzerWidget::drawPeakHold(QPainter &painter, const QRect &r)
{
    if (peakHoldDb.isEmpty())
        return;
    painter.setPen(QPen(peakHoldColor, 1));
    for (qsizetype i = 0; i < peakHoldDb.size() && i < binFrequencies.size(); ++i) {
        const float f = binFrequencies[i];
        if (f < minFreq || f > maxFreq)
            continue;
        painter.drawPoint(r.left() + int(frequencyToX(f, r)), r.top() + int(magnitudeToY(peakHoldDb[i], r)));
    }
}
