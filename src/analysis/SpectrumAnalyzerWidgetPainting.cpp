// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: painting the plot, its labels, the playhead and the readout.
#include "analysis/SpectrumAnalyzerWidget.h"

#include "analysis/SpectrogramImage.h"
#include "ui/TimeScale.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
// The axis labels' small type in `colour`.
void useLabelText(QPainter &painter, const QColor &colour)
{
    QFont font = painter.font();
    font.setPointSize(7);
    painter.setFont(font);
    painter.setPen(colour);
}
} // namespace

void SpectrumAnalyzerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!painter.isActive())
        return;
    painter.fillRect(rect(), backgroundColor);
    if (samples.isEmpty() && !recording) {
        drawEmptyState(painter);
        return;
    }
    const QRect spectrogram = spectrogramRect();
    drawPlot(painter, spectrogram);
    if (displayMode == SpectrogramAndWaveform) {
        const int usable = height() - 30;
        const QRect strip(QPoint(plotLeftMargin, 8 + 60 * usable / 100),
                          QPoint(width() - 1 - plotRightMargin, 7 + 60 * usable / 100 + 40 * usable / 100));
        if (stereoSamples.isEmpty()) {
            drawWaveform(painter, strip, samples);
        } else {
            QList<float> left(stereoSamples.size() / 2), right(stereoSamples.size() / 2);
            for (qsizetype i = 0; i < left.size(); ++i) {
                left[i] = stereoSamples[2 * i];
                right[i] = stereoSamples[2 * i + 1];
            }
            const int mid = strip.top() + (strip.bottom() - strip.top() + 1) / 2;
            drawWaveform(painter, QRect(QPoint(strip.left(), strip.top()), QPoint(strip.right(), mid - 1)), left);
            drawWaveform(painter, QRect(QPoint(strip.left(), mid), QPoint(strip.right(), strip.bottom())), right);
            painter.setPen(QPen(QColor(60, 60, 80), 1));
            painter.drawLine(strip.left(), mid, strip.right(), mid);
        }
        drawPlayhead(painter, strip);
    }
    if (hovering) {
        drawReadout(painter);
        if (toolMode == Erase && plotRect().contains(cursorPos) && !recording) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.setPen(QPen(QColor(255, 100, 50, 200), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QRect(cursorPos - QPoint(8, 8), cursorPos + QPoint(7, 7)));
        }
    }
}

void SpectrumAnalyzerWidget::drawPlot(QPainter &painter, const QRect &r)
{
    const std::vector<Half> parts = halves(r);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        drawSpectrogram(painter, parts[i], int(i));
        drawAxisLabels(painter, parts[i].rect);
    }
    if (parts.size() == 2) {
        const int mid = parts[1].rect.top();
        painter.setPen(QPen(QColor(60, 60, 80), 1));
        painter.drawLine(r.left(), mid, r.right(), mid);
        painter.setFont(QFont(QStringLiteral("Arial"), 8));
        painter.setPen(QColor(120, 120, 140));
        painter.drawText(parts[0].rect.left() + 4, parts[0].rect.top() + 12, QStringLiteral("L"));
        painter.drawText(parts[1].rect.left() + 4, parts[1].rect.top() + 12, QStringLiteral("R"));
    }
    picturesDirty = false;
    drawTimeLabels(painter, r);
    drawPlayhead(painter, r);
}

void SpectrumAnalyzerWidget::drawSpectrogram(QPainter &painter, const Half &half, int slot)
{
    const QRect &r = half.rect;
    if (r.width() < 1 || r.height() < 1)
        return;
    const bool hasColumns = recording ? live.count() > 0 : spectrumReady && !columns.empty() && columns[0].count() > 0;
    if (!hasColumns) {
        painter.setPen(textColor);
        painter.drawText(r, Qt::AlignCenter, QStringLiteral("暂无频谱数据"));
    } else {
        QImage &picture = pictures[slot];
        if (picturesDirty || picture.size() != r.size()) {
            if (picture.size() != r.size())
                picture = QImage(r.size(), QImage::Format_RGB32);
            if (recording) {
                // The live history fills the plot, newest at the right once it is full.
                const ColumnStore store{live.count(), [this](qsizetype i) { return live.column(i); }};
                renderSpectrogram(picture, store, 0.0, double(LiveSpectrogram::maxColumns) / r.width());
            } else {
                const SpectrogramColumns &channel = columns[std::size_t(columnIndex(half.channel))];
                double columnSeconds = Stft::hopSeconds(sampleRate) * channel.pool();
                ColumnStore store{channel.count(), [&channel](qsizetype i) { return channel.column(i); }};
                // Many columns to a pixel: the coarse copy gives the same loudest cells.
                if (viewport.visibleSpan() / columnSeconds / r.width() >= 2.0 * SpectrogramColumns::coarseFactor) {
                    columnSeconds *= SpectrogramColumns::coarseFactor;
                    store = {channel.coarseCount(), [&channel](qsizetype i) { return channel.coarseColumn(i); }};
                }
                // The columns end a frame less a hop before the clip: its last frame, which holds
                // those samples, goes on to the end instead of leaving a dark band at the right.
                const qsizetype stored = store.count;
                if (stored > 0) {
                    store.count = std::max(stored, qsizetype(std::ceil(duration() / columnSeconds)));
                    store.column = [column = store.column, stored](qsizetype i) { return column(std::min(i, stored - 1)); };
                }
                renderSpectrogram(picture, store, viewport.viewStart() / columnSeconds,
                                  viewport.visibleSpan() / columnSeconds / r.width());
            }
        }
        painter.drawImage(r.topLeft(), picture);
    }
    painter.setPen(QPen(gridColor, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r);
}

std::vector<SpectrumAnalyzerWidget::FrequencyLabel> SpectrumAnalyzerWidget::frequencyLabels(const QRect &half,
                                                                                            int lineHeight) const
{
    // From the top down; a label closer than a line to the one above it is left out: on a short
    // linear axis 500Hz lies a few pixels under 1k.
    std::vector<FrequencyLabel> labels;
    for (int f : {64000, 32000, 16000, 8000, 4000, 2000, 1000, 500}) {
        if (float(f) >= nyquist())
            continue;
        const int y = half.top() + int(half.height() * (1.0f - float(f) / nyquist()));
        if (!labels.empty() && y - labels.back().y < lineHeight)
            continue;
        labels.push_back({y, f < 1000 ? QStringLiteral("%1Hz").arg(f) : QStringLiteral("%1k").arg(f / 1000)});
    }
    return labels;
}

void SpectrumAnalyzerWidget::drawAxisLabels(QPainter &painter, const QRect &half)
{
    useLabelText(painter, textColor);
    for (const FrequencyLabel &label : frequencyLabels(half, painter.fontMetrics().height()))
        painter.drawText(QRect(QPoint(2, label.y - 8), QPoint(plotLeftMargin - 4, label.y + 7)), Qt::AlignRight,
                         label.text);
}

std::vector<SpectrumAnalyzerWidget::TimeLabel> SpectrumAnalyzerWidget::timeLabels(const QRect &r) const
{
    const double visible = viewport.visibleSpan();
    const int width = r.width();
    if (!(visible > 0.0) || width < 1 || recording)
        return {};
    // At least 50 pixels between labels, however long the clip.
    std::int64_t stepMs = 0;
    for (std::int64_t candidate : {1, 5, 10, 50, 100, 500, 1000, 2000, 5000, 10000, 30000, 60000, 120000, 300000,
                                   600000, 1200000, 1800000, 3600000}) {
        if (double(candidate) / 1000.0 / visible * width >= 50.0) {
            stepMs = candidate;
            break;
        }
    }
    if (stepMs == 0)
        stepMs = std::int64_t(std::ceil(visible * 50.0 / width / 3600.0)) * 3600000;
    const double start = viewport.viewStart();
    std::vector<TimeLabel> labels;
    for (const std::int64_t ms : TimeScale::tickMilliseconds(stepMs, start, start + visible)) {
        const int x = r.left() + int(width * (double(ms) / 1000.0 - start) / visible);
        if (x < r.left() || x > r.right())
            continue;
        const std::int64_t s = ms / 1000;
        QString text;
        if (stepMs < 1000)
            text = TimeScale::subSecondLabel(ms, stepMs);
        else if (s < 60)
            text = QStringLiteral("%1s").arg(s);
        else
            text = QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
        labels.push_back({x, text});
    }
    return labels;
}

void SpectrumAnalyzerWidget::drawTimeLabels(QPainter &painter, const QRect &r)
{
    useLabelText(painter, textColor);
    for (const TimeLabel &label : timeLabels(r))
        painter.drawText(QRect(QPoint(label.x - 20, r.bottom() + 2), QPoint(label.x + 19, r.bottom() + 17)),
                         Qt::AlignCenter, label.text);
}

void SpectrumAnalyzerWidget::drawPlayhead(QPainter &painter, const QRect &r)
{
    int x = 0;
    if (recording) {
        // The growing clip ends at the newest live column.
        if (live.count() < 1)
            return;
        x = r.left() + int(live.count() * r.width() / LiveSpectrogram::maxColumns) - 1;
    } else {
        if (samples.isEmpty() || !(viewport.visibleSpan() > 0.0))
            return;
        x = r.left() + viewport.pixelAt(playheadSec, r.width());
    }
    if (x < r.left() || x > r.right())
        return;
    const QColor colour(255, 80, 80);
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawLine(x, r.top(), x, r.bottom());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QPoint triangle[3] = {{x - 6, r.top()}, {x + 6, r.top()}, {x, r.top() + 10}};
    painter.drawPolygon(triangle, 3);
    painter.setBrush(Qt::NoBrush);
}

void SpectrumAnalyzerWidget::drawReadout(QPainter &painter)
{
    float frequency = -1.0f;
    for (const Half &half : halves(spectrogramRect()))
        if (half.rect.contains(cursorPos))
            frequency = frequencyAt(cursorPos.y(), half.rect);
    if (frequency < 0.0f)
        return;
    const float level = levelAt(cursorPos);
    const QString text = frequency < 1000.0f
                             ? QStringLiteral("%1 Hz  %2 dB").arg(frequency, 0, 'f', 0).arg(level, 0, 'f', 1)
                             : QStringLiteral("%1 kHz  %2 dB").arg(frequency / 1000.0f, 0, 'f', 2).arg(level, 0, 'f', 1);
    const int x = cursorPos.x();
    const int y = cursorPos.y();
    const QRect box = x + 137 >= width() - 4 ? QRect(QPoint(x - 137, y - 22), QPoint(x - 8, y - 1))
                                             : QRect(QPoint(x + 8, y - 22), QPoint(x + 137, y - 1));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QColor(100, 100, 120));
    painter.setBrush(QColor(0, 0, 0, 180));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.setBrush(Qt::NoBrush);
}

void SpectrumAnalyzerWidget::drawEmptyState(QPainter &painter)
{
    painter.setPen(QColor(100, 100, 120));
    painter.setFont(QFont(QStringLiteral("Arial"), 12));
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("暂无音频数据\n请录制或导入文件"));
}

void SpectrumAnalyzerWidget::resizeEvent(QResizeEvent *)
{
    viewChanged();
}

void SpectrumAnalyzerWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (computationDue && !recording)
        startComputation();
}
