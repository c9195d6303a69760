// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time spectrum analyser: feed, rings, spectra, peak hold, RMS and painting.
#include "analysis/FrequencyAnalyzerWidget.h"

#include "analysis/PlotPainting.h"
#include "audio/Fft.h"
#include "audio/dsp/HannWindow.h"

#include <QMouseEvent>
#include <QMutexLocker>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {
constexpr int feedBlock = 1024;

int nextPowerOfTwo(int value)
{
    int size = 1;
    while (size < value)
        size *= 2;
    return size;
}

} // namespace

FrequencyAnalyzerWidget::FrequencyAnalyzerWidget(QWidget *parent)
    : QWidget(parent)
    , fft(std::make_unique<Fft>(fftSize))
    , ringLeft(ringSize, 0.0f)
    , ringRight(ringSize, 0.0f)
{
    setMinimumSize(300, 150);
    setAttribute(Qt::WA_MouseTracking);
    buildWindow();
    updateTimer = new QTimer(this);
    updateTimer->setInterval(33);
    connect(updateTimer, &QTimer::timeout, this, &FrequencyAnalyzerWidget::updateTick);
    feedTimer = new QTimer(this);
    feedTimer->setInterval(23);
    connect(feedTimer, &QTimer::timeout, this, &FrequencyAnalyzerWidget::feedTick);
}

FrequencyAnalyzerWidget::~FrequencyAnalyzerWidget() = default;

void FrequencyAnalyzerWidget::changed()
{
    ++version;
    update();
}

// ---------------------------------------------------------------- input

void FrequencyAnalyzerWidget::setAudioData(const QList<float> &samples, int rate)
{
    QMutexLocker lock(&mutex);
    audioLeft = samples;
    audioRight.clear();
    stereo = false;
    resetForNewAudio(rate);
}

void FrequencyAnalyzerWidget::setAudioDataStereo(const QList<float> &left, const QList<float> &right, int rate)
{
    QMutexLocker lock(&mutex);
    audioLeft = left;
    audioRight = right;
    stereo = true;
    resetForNewAudio(rate);
}

void FrequencyAnalyzerWidget::resetForNewAudio(int rate)
{
    sampleRate = rate;
    binCount = fftSize / 2 + 1;
    rebuildBinFrequencies();
    forgetSpectra();
    playing = true;
    // 1024 samples per tick: about real time at the buffer's own rate.
    feedTimer->setInterval(int(1024000.0 / rate));
    feedTimer->start();
    updateTimer->start();
    changed();
}

// The ring contents stay; an empty count keeps them out of use until refilled.
void FrequencyAnalyzerWidget::forgetSpectra()
{
    smoothedLeft.clear();
    smoothedRight.clear();
    peakLeft.clear();
    peakRight.clear();
    historyLeft.clear();
    historyRight.clear();
    writeIndex = filledCount = 0;
    playPosition = 0;
    rmsLeftDb = rmsRightDb = -100.0f;
}

void FrequencyAnalyzerWidget::clearAudioData()
{
    QMutexLocker lock(&mutex);
    audioLeft.clear();
    audioRight.clear();
    forgetSpectra();
    playing = false;
    feedTimer->stop();
    updateTimer->stop();
    changed();
}

void FrequencyAnalyzerWidget::writeRings(const float *left, const float *right, int count)
{
    for (int i = 0; i < count; ++i) {
        ringLeft[std::size_t(writeIndex)] = left[i];
        ringRight[std::size_t(writeIndex)] = right[i];
        writeIndex = (writeIndex + 1) % ringSize;
    }
    filledCount = std::min(filledCount + count, ringSize);
}

void FrequencyAnalyzerWidget::processAudioFrame(const float *samples, int count)
{
    if (!samples || count <= 0)
        return;
    QMutexLocker lock(&mutex);
    writeRings(samples, samples, count);
    if (!updateTimer->isActive())
        updateTimer->start();
}

void FrequencyAnalyzerWidget::processAudioFrameStereo(const float *left, const float *right, int count)
{
    if (!left || !right || count <= 0)
        return;
    QMutexLocker lock(&mutex);
    stereo = true;
    writeRings(left, right, count);
    if (!updateTimer->isActive())
        updateTimer->start();
}

void FrequencyAnalyzerWidget::feedTick()
{
    QMutexLocker lock(&mutex);
    if (!playing)
        return;
    const int length = int(audioLeft.size());
    if (length == 0) {
        playPosition = 0;
        return;
    }
    if (playPosition >= length)
        playPosition = 0;
    const int start = playPosition;
    const int count = std::min(length - start, feedBlock);
    for (int i = 0; i < count; ++i) {
        const int at = start + i;
        ringLeft[std::size_t(writeIndex)] = audioLeft[at];
        ringRight[std::size_t(writeIndex)] = stereo && at < audioRight.size() ? audioRight[at] : audioLeft[at];
        writeIndex = (writeIndex + 1) % ringSize;
    }
    filledCount = std::min(filledCount + count, ringSize);
    playPosition = start + count;
}

// ---------------------------------------------------------------- settings

void FrequencyAnalyzerWidget::setFFTSize(int size)
{
    fftSize = nextPowerOfTwo(std::min(std::max(size, 256), 65536));
    fft = std::make_unique<Fft>(fftSize);
    binCount = fftSize / 2 + 1;
    buildWindow();
    rebuildBinFrequencies();
    historyLeft.clear();
    historyRight.clear();
}

void FrequencyAnalyzerWidget::setWindowType(WindowType type)
{
    windowType = type;
    buildWindow();
}

void FrequencyAnalyzerWidget::setOverlapRatio(float ratio)
{
    overlapRatio = std::clamp(ratio, 0.0f, 0.875f);
}

void FrequencyAnalyzerWidget::setDecibelRange(float minimumDb, float maximumDb)
{
    minDb = minimumDb;
    maxDb = maximumDb;
    changed();
}

void FrequencyAnalyzerWidget::setFrequencyRange(float lowHz, float highHz)
{
    minFrequency = std::max(lowHz, 1.0f);
    maxFrequency = std::min(highHz, float(sampleRate / 2));
    changed();
}

void FrequencyAnalyzerWidget::setAveragingCount(int count)
{
    averagingCount = count <= 0 ? 1 : count;
    historyLeft.clear();
    historyRight.clear();
}

void FrequencyAnalyzerWidget::setSmoothing(float weight)
{
    smoothing = std::clamp(weight, 0.0f, 0.95f);
}

void FrequencyAnalyzerWidget::setChannelMode(ChannelMode mode)
{
    channelMode = mode;
    changed();
}

void FrequencyAnalyzerWidget::buildWindow()
{
    const std::size_t n = std::size_t(fftSize);
    window.resize(n, 0.0f);
    if (windowType == Hann) {
        window = hannWindow(n, HannShape::Symmetric);
        return;
    }
    const double d = double(n - 1);
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = 2.0 * std::numbers::pi * double(i) / d;
        switch (windowType) {
        case Rectangular:
            window[i] = 1.0f;
            break;
        case Hamming:
            window[i] = float(0.54 - 0.46 * std::cos(phase));
            break;
        case Blackman:
            window[i] = float(0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase));
            break;
        default:
            return;
        }
    }
}

void FrequencyAnalyzerWidget::rebuildBinFrequencies()
{
    binFrequencies.resize(binCount);
    for (int i = 0; i < binCount; ++i)
        binFrequencies[i] = float(sampleRate) * float(i) / float(fftSize);
}

// ---------------------------------------------------------------- mappings

float FrequencyAnalyzerWidget::freqToX(float f, const QRect &r) const
{
    const float span = std::log10(maxFrequency) - std::log10(minFrequency);
    return float(r.left()) + float(r.width()) * (std::log10(std::max(f, minFrequency)) - std::log10(minFrequency)) / span;
}

float FrequencyAnalyzerWidget::xToFreq(int x, const QRect &r) const
{
    const float span = std::log10(maxFrequency) - std::log10(minFrequency);
    return std::pow(10.0f, std::log10(minFrequency) + float(x - r.left()) / float(r.width()) * span);
}

float FrequencyAnalyzerWidget::dbToY(float db, const QRect &r) const
{
    return float(r.top()) + float(r.height()) * (1.0f - (db - minDb) / (maxDb - minDb));
}

float FrequencyAnalyzerWidget::yToDb(int y, const QRect &r) const
{
    return minDb + (maxDb - minDb) * (1.0f - float(y - r.top()) / float(r.height()));
}

float FrequencyAnalyzerWidget::dbFromMagnitude(float magnitude)
{
    return 20.0f * std::log10(std::max(magnitude, 1e-10f));
}

float FrequencyAnalyzerWidget::magnitudeFromDb(float db)
{
    return std::pow(10.0f, db / 20.0f);
}

// ---------------------------------------------------------------- spectra

void FrequencyAnalyzerWidget::computeFFT(const float *input, std::vector<std::complex<float>> &out) const
{
    out.resize(std::size_t(fftSize));
    for (int i = 0; i < fftSize; ++i)
        out[std::size_t(i)] = {input[i], 0.0f};
    fft->transform(out.data(), false);
}

void FrequencyAnalyzerWidget::computeSpectrumFromBuffer(const float *block, int count, QList<float> &out)
{
    const int n = fftSize;
    if (count < n) {
        out.clear();
        return;
    }
    binCount = n / 2 + 1;
    std::vector<float> windowed(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        windowed[std::size_t(i)] = block[i] * window[std::size_t(i)];
    std::vector<std::complex<float>> bins(static_cast<std::size_t>(binCount));
    fft->forward(windowed.data(), bins.data());
    out.resize(binCount);
    const float half = float(n / 2);
    for (int i = 0; i < binCount; ++i)
        out[i] = 20.0f * std::log10(std::max(std::abs(bins[std::size_t(i)]) / half, 1e-10f));
}

void FrequencyAnalyzerWidget::computeSpectrumFromData(const QList<float> &data, QList<float> &out)
{
    if (data.isEmpty()) {
        out.clear();
        return;
    }
    const int n = fftSize;
    const int hop = std::max(1, int((1.0f - overlapRatio) * float(n)));
    const int frames = data.size() >= n ? int((data.size() - n) / hop) + 1 : 0;
    binCount = n / 2 + 1;
    std::vector<double> sums(static_cast<std::size_t>(binCount), 0.0);
    std::vector<float> windowed(static_cast<std::size_t>(n));
    std::vector<std::complex<float>> bins(static_cast<std::size_t>(binCount));
    const float half = float(n / 2);
    for (int k = 0; k < frames; ++k) {
        const float *frame = data.constData() + qsizetype(k) * hop;
        for (int i = 0; i < n; ++i)
            windowed[std::size_t(i)] = frame[i] * window[std::size_t(i)];
        fft->forward(windowed.data(), bins.data());
        for (int i = 0; i < binCount; ++i)
            sums[std::size_t(i)] += std::abs(bins[std::size_t(i)]) / half;
    }
    out.resize(binCount);
    for (int i = 0; i < binCount; ++i)
        out[i] = 20.0f * std::log10(std::max(float(sums[std::size_t(i)] / std::max(frames, 1)), 1e-10f));
}

void FrequencyAnalyzerWidget::copyNewest(const std::vector<float> &ring, std::vector<float> &out) const
{
    out.resize(std::size_t(fftSize));
    const int first = (writeIndex - fftSize + ringSize) % ringSize;
    for (int i = 0; i < fftSize; ++i)
        out[std::size_t(i)] = ring[std::size_t((first + i) % ringSize)];
}

void FrequencyAnalyzerWidget::updateTick()
{
    if (filledCount < fftSize)
        return;
    updateRealtimeSpectrum();
    changed();
}

void FrequencyAnalyzerWidget::updateRealtimeSpectrum()
{
    QMutexLocker lock(&mutex);
    if (filledCount < fftSize)
        return;
    binCount = fftSize / 2 + 1;
    if (binFrequencies.size() != binCount)
        rebuildBinFrequencies();

    std::vector<float> block;
    QList<float> specLeft;
    QList<float> specRight;
    copyNewest(ringLeft, block);
    computeSpectrumFromBuffer(block.data(), fftSize, specLeft);
    if (stereo) {
        copyNewest(ringRight, block);
        computeSpectrumFromBuffer(block.data(), fftSize, specRight);
    }

    const auto average = [this](std::deque<QList<float>> &history, QList<float> &spectrum) {
        if (averagingCount <= 1)
            return;
        history.push_back(spectrum);
        if (int(history.size()) > averagingCount)
            history.pop_front();
        for (int i = 0; i < spectrum.size(); ++i) {
            float sum = 0.0f;
            for (const QList<float> &past : history)
                sum += past[i];
            spectrum[i] = sum / float(history.size());
        }
    };
    const auto smooth = [this](QList<float> &smoothed, QList<float> &peaks, const QList<float> &spectrum) {
        if (smoothed.size() != binCount) {
            smoothed = spectrum;
            peaks = spectrum;
            return;
        }
        for (int i = 0; i < binCount; ++i)
            smoothed[i] = smoothing * smoothed[i] + (1.0f - smoothing) * spectrum[i];
    };
    average(historyLeft, specLeft);
    if (stereo)
        average(historyRight, specRight);
    smooth(smoothedLeft, peakLeft, specLeft);
    if (stereo)
        smooth(smoothedRight, peakRight, specRight);

    // The spectrum advances by one transform length per update, whatever the timer does.
    const float dt = float(fftSize) / float(sampleRate);
    updatePeakHold(peakLeft, smoothedLeft, dt);
    if (stereo)
        updatePeakHold(peakRight, smoothedRight, dt);
    updateRms();
}

void FrequencyAnalyzerWidget::updatePeakHold(QList<float> &peaks, const QList<float> &current, float dt) const
{
    if (!peakHoldEnabled)
        return;
    if (peaks.size() != current.size()) {
        peaks = current;
        return;
    }
    for (int i = 0; i < peaks.size(); ++i) {
        if (current[i] >= peaks[i]) {
            peaks[i] = current[i];
        } else {
            peaks[i] -= peakHoldDecay * dt;
            if (current[i] > peaks[i])
                peaks[i] = current[i];
        }
    }
}

void FrequencyAnalyzerWidget::updateRms()
{
    if (filledCount < fftSize)
        return;
    const auto levelOf = [this](const std::vector<float> &ring) {
        const int first = (writeIndex - fftSize + ringSize) % ringSize;
        double sum = 0.0;
        for (int i = 0; i < fftSize; ++i) {
            const float x = ring[std::size_t((first + i) % ringSize)];
            sum += double(x * x);
        }
        const float rms = float(std::sqrt(sum / fftSize));
        return 20.0f * std::log10(std::max(rms, 1e-10f));
    };
    rmsLeftDb = levelOf(ringLeft);
    rmsRightDb = levelOf(ringRight);
}

// ---------------------------------------------------------------- painting

QRect FrequencyAnalyzerWidget::plotRect() const
{
    return QRect(QPoint(55, 20), QPoint(width() - 11, height() - 31));
}

void FrequencyAnalyzerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), backgroundColor);
    const QRect plot = plotRect();
    if (smoothedLeft.isEmpty()) {
        drawEmptyState(painter);
        return;
    }
    drawGrid(painter, plot);

    const bool hasRight = stereo && !smoothedRight.isEmpty();
    if (channelMode == Split && stereo) {
        const int h = plot.height() / 2;
        const QRect upper(QPoint(plot.left(), plot.top()), QPoint(plot.right(), plot.top() + h - 3));
        const QRect lower(QPoint(plot.left(), plot.top() + h + 2), QPoint(plot.right(), plot.top() + 2 * h - 1));
        drawCurve(painter, upper, smoothedLeft, spectrumColorL, true);
        if (peakHoldEnabled)
            drawPeakCurve(painter, upper, peakLeft);
        if (!smoothedRight.isEmpty()) {
            drawCurve(painter, lower, smoothedRight, spectrumColorR, true);
            if (peakHoldEnabled)
                drawPeakCurve(painter, lower, peakRight);
        }
        painter.setPen(QPen(gridColor, 1.0));
        painter.drawLine(plot.left(), plot.top() + h, plot.right(), plot.top() + h);
        painter.setPen(textColor);
        painter.setFont(sizedFont(painter, 8));
        painter.drawText(upper.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("L"));
        painter.drawText(lower.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("R"));
    } else if (channelMode == Overlay && hasRight) {
        drawCurve(painter, plot, smoothedRight, spectrumColorR, false);
        if (peakHoldEnabled)
            drawPeakCurve(painter, plot, peakRight);
        drawCurve(painter, plot, smoothedLeft, spectrumColorL, true);
        if (peakHoldEnabled)
            drawPeakCurve(painter, plot, peakLeft);
    } else {
        drawCurve(painter, plot, smoothedLeft, spectrumColorL, true);
        if (peakHoldEnabled)
            drawPeakCurve(painter, plot, peakLeft);
    }

    drawFreqLabels(painter, plot);
    drawDbLabels(painter, plot);
    // The level bars would need 12 px right of the plot, which this layout keeps for the
    // equaliser grid's alignment: the levels are computed and readable, not drawn.
    if (mouseInside)
        drawCursor(painter, plot);
    drawTitle(painter, plot);
}

void FrequencyAnalyzerWidget::drawEmptyState(QPainter &painter) const
{
    painter.setPen(textColor);
    painter.setFont(sizedFont(painter, 11));
    painter.drawText(rect(), Qt::AlignCenter, tr("暂无音频数据\n请加载音频文件或开始录音"));
}

void FrequencyAnalyzerWidget::drawGrid(QPainter &painter, const QRect &r) const
{
    painter.setPen(QPen(gridColor, 1.0, Qt::DotLine));
    for (float db = minDb; db <= maxDb; db += 10.0f) {
        const float y = dbToY(db, r);
        if (y >= float(r.top()) && y <= float(r.bottom()))
            painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    for (const float f : {20.0f, 30.0f, 50.0f, 100.0f, 200.0f, 300.0f, 500.0f, 1000.0f, 2000.0f, 3000.0f, 5000.0f,
                          10000.0f, 20000.0f}) {
        if (f < minFrequency || f > maxFrequency)
            continue;
        const float x = freqToX(f, r);
        if (x >= float(r.left()) && x <= float(r.right()))
            painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
    }
    painter.setPen(QPen(gridColor, 1.0));
    painter.drawRect(r);
}

QPainterPath FrequencyAnalyzerWidget::curvePath(const QRect &r, const QList<float> &values) const
{
    // Where several bins fall on one pixel column the curve keeps their highest level: a
    // path that zigzags up and down within one column costs the stroker hundreds of times
    // more, and the fill below covers the rest of the column anyway.
    QPolygonF points;
    // Only the bins present in both lists: a changed transform size shortens one first.
    const int count = int(std::min(values.size(), binFrequencies.size()));
    for (int i = 0; i < count; ++i) {
        const float f = binFrequencies[i];
        if (f < minFrequency || f > maxFrequency)
            continue;
        const int x = int(freqToX(f, r));
        const int y = std::clamp(int(dbToY(values[i], r)), r.top(), r.bottom());
        if (!points.isEmpty() && int(points.last().x()) == x)
            points.last().setY(std::min(points.last().y(), double(y)));
        else
            points.append(QPointF(x, y));
    }
    QPainterPath path;
    path.addPolygon(points);
    return path;
}

void FrequencyAnalyzerWidget::drawCurve(QPainter &painter, const QRect &r, const QList<float> &values,
                                        const QColor &color, bool fill) const
{
    const QPainterPath path = curvePath(r, values);
    if (path.isEmpty())
        return;
    if (fill)
        fillUnderCurve(painter, path, r, int(freqToX(maxFrequency, r)), int(freqToX(minFrequency, r)), color, 80, 5);
    strokePolyline(painter, path, QPen(color, 1.5));
}

void FrequencyAnalyzerWidget::drawPeakCurve(QPainter &painter, const QRect &r, const QList<float> &values) const
{
    QColor color = peakColor;
    color.setAlpha(160);
    painter.setPen(QPen(color, 1.0, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(curvePath(r, values));
}

void FrequencyAnalyzerWidget::drawFreqLabels(QPainter &painter, const QRect &r) const
{
    painter.setPen(textColor);
    painter.setFont(sizedFont(painter, 7));
    for (const float f : {20.0f, 50.0f, 100.0f, 200.0f, 500.0f, 1000.0f, 2000.0f, 5000.0f, 10000.0f, 20000.0f}) {
        if (f < minFrequency || f > maxFrequency)
            continue;
        const int x = int(freqToX(f, r));
        if (x < r.left() || x > r.right())
            continue;
        const QString text = f < 1000.0f ? QString::number(int(f))
                                         : QStringLiteral("%1k").arg(double(f) / 1000.0, 0, 'f', f < 10000.0f ? 1 : 0);
        painter.drawText(QRect(QPoint(x - 20, r.bottom() + 4), QPoint(x + 19, r.bottom() + 19)), Qt::AlignCenter, text);
    }
}

void FrequencyAnalyzerWidget::drawDbLabels(QPainter &painter, const QRect &r) const
{
    painter.setPen(textColor);
    painter.setFont(sizedFont(painter, 7));
    for (float db = minDb; db <= maxDb; db += 10.0f) {
        const int y = int(dbToY(db, r));
        if (y < r.top() || y > r.bottom())
            continue;
        painter.drawText(QRect(QPoint(2, y - 8), QPoint(51, y + 7)), Qt::AlignRight,
                         QStringLiteral("%1dB").arg(int(db)));
    }
}

void FrequencyAnalyzerWidget::drawCursor(QPainter &painter, const QRect &r) const
{
    if (!r.contains(mousePosition))
        return;
    const int x = mousePosition.x();
    const int y = mousePosition.y();
    const float f = xToFreq(x, r);
    const float d = yToDb(y, r);
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1.0, Qt::DotLine));
    painter.drawLine(r.left(), y, r.right(), y);
    painter.drawLine(x, r.top(), x, r.bottom());
    const QString text = f < 1000.0f ? QStringLiteral("%1 Hz  %2 dB").arg(double(f), 0, 'f', 0).arg(double(d), 0, 'f', 1)
                                     : QStringLiteral("%1 kHz  %2 dB")
                                           .arg(double(f) / 1000.0, 0, 'f', 2)
                                           .arg(double(d), 0, 'f', 1);
    const int advance = painter.fontMetrics().horizontalAdvance(text);
    QRect box(QPoint(x + 10, y - 20), QPoint(x + advance + 25, y - 1));
    if (box.right() >= width() - 4)
        box = QRect(QPoint(x - advance - 25, y - 20), QPoint(x - 10, y - 1));
    painter.setPen(QColor(100, 100, 120));
    painter.setBrush(QColor(0, 0, 0, 180));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
}

void FrequencyAnalyzerWidget::drawTitle(QPainter &painter, const QRect &r) const
{
    painter.setPen(textColor);
    painter.setFont(sizedFont(painter, 8, 700));
    painter.drawText(QRect(QPoint(r.left(), 2), QPoint(r.right(), 17)), Qt::AlignLeft | Qt::AlignVCenter,
                     tr("Frequency Analyzer"));
}

// ---------------------------------------------------------------- mouse

void FrequencyAnalyzerWidget::mouseMoveEvent(QMouseEvent *event)
{
    mousePosition = event->position().toPoint();
    mouseInside = true;
    const QRect plot = plotRect();
    if (plot.contains(mousePosition))
        emit frequencySelected(xToFreq(mousePosition.x(), plot), yToDb(mousePosition.y(), plot));
    changed();
    QWidget::mouseMoveEvent(event);
}

void FrequencyAnalyzerWidget::leaveEvent(QEvent *event)
{
    mouseInside = false;
    changed();
    QWidget::leaveEvent(event);
}

void FrequencyAnalyzerWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    changed();
}
