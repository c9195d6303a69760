// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: data, the background STFT, painting, navigation and the erase brush.
#include "analysis/SpectrumAnalyzerWidget.h"

#include "analysis/SpectrogramImage.h"
#include "ui/TimeScale.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QGestureEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QScrollBar>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
constexpr int kBrushRadius = 8;
constexpr double kZoomStep = 1.15;

// Seconds of one hop.
double hopSeconds(int sampleRate)
{
    return double(Stft::hop) / std::max(sampleRate, 1);
}
} // namespace

// What the worker hands back: the columns of every channel and the whole-clip magnitude sum.
struct SpectrumAnalyzerWidget::Computed
{
    quint64 generation = 0;
    std::vector<SpectrogramColumns> columns;
    std::vector<double> magnitudeSum;
    qsizetype hopColumns = 0;
    qint64 elapsedMs = 0;
};

SpectrumAnalyzerWidget::SpectrumAnalyzerWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(300, 150);
    setMouseTracking(true);
    setAttribute(Qt::WA_AcceptTouchEvents);
    grabGesture(Qt::PinchGesture);
    scrollBar = new QScrollBar(Qt::Horizontal, this);
    scrollBar->hide();
    connect(scrollBar, &QScrollBar::valueChanged, this, [this](int value) {
        viewport.setViewStart(value / 1000.0);
        picturesDirty = true;
        update();
    });
}

SpectrumAnalyzerWidget::~SpectrumAnalyzerWidget()
{
    stopComputation();
}

// ---------------------------------------------------------------- data

void SpectrumAnalyzerWidget::setAudioData(const QList<float> &mono, int rate, const QList<float> &stereo)
{
    const bool pairs = !stereo.isEmpty() && stereo.size() / 2 == mono.size();
    // A list the view already holds is shared, never written in place: same data, same picture.
    const bool unchanged = !mono.isEmpty() && mono.constData() == samples.constData() && mono.size() == samples.size()
                           && rate == sampleRate && pairs == !stereoSamples.isEmpty()
                           && (!pairs || stereo.constData() == stereoSamples.constData());
    if (unchanged)
        return;
    samples = mono;
    stereoSamples = pairs ? stereo : QList<float>();
    sampleRate = rate;
    viewport.setDuration(duration());
    viewport.setViewStart(0.0);
    playheadSec = std::min(playheadSec, duration());
    clearStroke();
    if (samples.isEmpty()) {
        stopComputation();
        columns.clear();
        spectrumReady = false;
        computationDue = false;
        spectrumDb.clear();
        binFrequencies.clear();
        binMagnitudes.clear();
        peakHoldDb.clear();
        peakHoldCounters.clear();
    } else {
        resetCurveData();
        requestComputation();
    }
    viewChanged();
}

void SpectrumAnalyzerWidget::clearAudioData()
{
    setAudioData({}, sampleRate, {});
    viewport.reset();
    viewChanged();
}

double SpectrumAnalyzerWidget::duration() const
{
    return sampleRate >= 1 ? double(samples.size()) / sampleRate : 0.0;
}

void SpectrumAnalyzerWidget::resetCurveData()
{
    const int count = Stft::bins + 1;
    spectrumDb = QList<float>(count, 0.0f);
    binMagnitudes = QList<float>(count, 0.0f);
    peakHoldDb = QList<float>(count, minDb);
    peakHoldCounters = QList<int>(count, 0);
    binFrequencies.resize(count);
    for (int i = 0; i < count; ++i)
        binFrequencies[i] = float(sampleRate) * float(i) / float(Stft::size);
}

ChannelSamples SpectrumAnalyzerWidget::channelSamples(Channel channel) const
{
    if (channel == Channel::Mono || stereoSamples.isEmpty())
        return {samples.constData(), samples.size(), 1};
    return {stereoSamples.constData() + (channel == Channel::Right ? 1 : 0), stereoSamples.size() / 2, 2};
}

int SpectrumAnalyzerWidget::columnIndex(Channel channel) const
{
    return channel == Channel::Right ? 1 : 0;
}

// ---------------------------------------------------------------- background STFT

void SpectrumAnalyzerWidget::stopComputation()
{
    if (cancelWorker)
        cancelWorker->store(true);
    if (worker.joinable())
        worker.join();
    cancelWorker.reset();
}

void SpectrumAnalyzerWidget::requestComputation()
{
    stopComputation();
    columns.clear();
    spectrumReady = false;
    computationDue = !recording;
    if (computationDue && isVisible())
        startComputation();
}

// Runs after requestComputation, which stopped any earlier job and dropped its columns.
void SpectrumAnalyzerWidget::startComputation()
{
    computationDue = false;
    cancelWorker = std::make_shared<std::atomic<bool>>(false);
    const quint64 job = ++generation;
    // The worker keeps the lists alive through its own shared copies.
    std::vector<ChannelSamples> sources;
    if (stereoSamples.isEmpty())
        sources.push_back(channelSamples(Channel::Mono));
    else
        sources = {channelSamples(Channel::Left), channelSamples(Channel::Right)};
    worker = std::thread([this, job, sources, keepMono = samples, keepStereo = stereoSamples,
                          cancel = cancelWorker] {
        Q_UNUSED(keepMono)
        Q_UNUSED(keepStereo)
        QElapsedTimer timer;
        timer.start();
        auto computed = std::make_shared<Computed>();
        computed->generation = job;
        computed->columns = computeSpectrogram(sources, kColumnBudget, std::clamp(QThread::idealThreadCount(), 1, 4),
                                               cancel.get(), &computed->magnitudeSum);
        if (cancel->load())
            return;
        computed->hopColumns = computed->columns.empty() ? 0 : computed->columns[0].hopColumns();
        computed->elapsedMs = timer.elapsed();
        // Destroying the widget joins this thread first, so `this` is alive here; the queued
        // call is dropped if a newer job has started meanwhile.
        QMetaObject::invokeMethod(this, [this, computed] { adopt(computed); }, Qt::QueuedConnection);
    });
}

void SpectrumAnalyzerWidget::adopt(std::shared_ptr<Computed> computed)
{
    if (computed->generation != generation || spectrumReady)
        return;
    if (worker.joinable())
        worker.join();
    cancelWorker.reset();
    columns = std::move(computed->columns);
    spectrumReady = true;
    const qsizetype frames = computed->hopColumns;
    if (frames > 0) {
        for (int k = 0; k <= Stft::bins; ++k) {
            const float average = float(computed->magnitudeSum[std::size_t(k)] / double(frames));
            binMagnitudes[k] = average;
            spectrumDb[k] = peakHoldDb[k] = std::clamp(20.0f * std::log10(average + 1e-10f), minDb, maxDb);
        }
    } else {
        for (int k = 0; k <= Stft::bins; ++k) {
            binMagnitudes[k] = 0.0f;
            spectrumDb[k] = peakHoldDb[k] = minDb;
        }
    }
    qDebug() << "[Spectrum] total:" << computed->elapsedMs << "ms, frames:" << frames;
    viewChanged();
}

// ---------------------------------------------------------------- live input

void SpectrumAnalyzerWidget::setRecording(bool on)
{
    if (on == recording)
        return;
    recording = on;
    live.reset();
    clearStroke();
    if (on)
        stopComputation();
    else if (!samples.isEmpty())
        requestComputation();
    viewChanged();
}

void SpectrumAnalyzerWidget::processAudioFrame(const float *data, int count)
{
    if (live.push(data, count, &samples) < 1)
        return;
    viewport.setDuration(duration());
    playheadSec = duration();
    updateRunningSpectrum();
    picturesDirty = true;
    update();
}

void SpectrumAnalyzerWidget::updateRunningSpectrum()
{
    const std::vector<double> &magnitudes = live.newestMagnitudes();
    const int count = int(magnitudes.size());
    spectrumDb.resize(count);
    binFrequencies.resize(count);
    binMagnitudes.resize(count);
    if (peakHoldDb.size() != count) {
        peakHoldDb = QList<float>(count, minDb);
        peakHoldCounters = QList<int>(count, 0);
    }
    for (int i = 0; i < count; ++i) {
        const float magnitude = float(magnitudes[std::size_t(i)]);
        const float db = std::clamp(20.0f * std::log10(magnitude + 1e-10f), minDb, maxDb);
        binFrequencies[i] = float(sampleRate) * float(i) / float(Stft::size);
        binMagnitudes[i] = magnitude;
        spectrumDb[i] = db;
        if (db >= peakHoldDb[i]) {
            peakHoldDb[i] = db;
            peakHoldCounters[i] = 60;
        } else if (peakHoldCounters[i] < 1) {
            peakHoldDb[i] = std::max(peakHoldDb[i] - 0.5f, minDb);
        } else {
            --peakHoldCounters[i];
        }
    }
}

// ---------------------------------------------------------------- setters

bool SpectrumAnalyzerWidget::setFFTSize(int size)
{
    // The size in use is the smallest power of two not below the one asked for.
    if (size > Stft::size / 2 && size <= Stft::size)
        return true;
    qWarning() << "[Spectrum] FFT size" << size << "not supported, keeping" << Stft::size;
    return false;
}

bool SpectrumAnalyzerWidget::setWindowType(int type)
{
    // Every type but rectangular and Hamming means Hann.
    if (type != Rectangular && type != Hamming)
        return true;
    qWarning() << "[Spectrum] window type" << type << "not supported, keeping the Hann window";
    return false;
}

void SpectrumAnalyzerWidget::setDisplayMode(DisplayMode mode)
{
    displayMode = mode;
    viewChanged();
}

void SpectrumAnalyzerWidget::setPlayheadPosition(double seconds)
{
    const double end = duration();
    playheadSec = end > 0.0 && seconds > 0.0 ? std::min(seconds, end) : 0.0;
    update();
}

void SpectrumAnalyzerWidget::setZoomLevel(double zoom)
{
    viewport.setZoom(zoom);
    viewChanged();
}

void SpectrumAnalyzerWidget::setViewStartSec(double seconds)
{
    viewport.setViewStart(seconds);
    viewChanged();
}

void SpectrumAnalyzerWidget::setToolMode(ToolMode mode)
{
    toolMode = mode;
    // A stroke left unfinished under another tool must not join the next one.
    clearStroke();
    setCursor(mode == Erase ? Qt::CrossCursor : Qt::ArrowCursor);
}

void SpectrumAnalyzerWidget::setEraseStrength(float strength)
{
    eraseStrength = std::isnan(strength) ? 1.0f : std::clamp(strength, 0.1f, 1.0f);
}

void SpectrumAnalyzerWidget::setDecibelRange(float minimum, float maximum)
{
    minDb = minimum;
    maxDb = maximum;
    update();
}

void SpectrumAnalyzerWidget::setFrequencyRange(float minimum, float maximum)
{
    minFreq = minimum;
    maxFreq = maximum;
    update();
}

void SpectrumAnalyzerWidget::setSpectrumColor(const QColor &color)
{
    spectrumColor = color;
    update();
}

void SpectrumAnalyzerWidget::setBackgroundColor(const QColor &color)
{
    backgroundColor = color;
    update();
}

void SpectrumAnalyzerWidget::setGridColor(const QColor &color)
{
    gridColor = color;
    update();
}

void SpectrumAnalyzerWidget::setTextColor(const QColor &color)
{
    textColor = color;
    update();
}

void SpectrumAnalyzerWidget::viewChanged()
{
    picturesDirty = true;
    updateScrollBar();
    update();
}

void SpectrumAnalyzerWidget::updateScrollBar()
{
    const double span = viewport.duration();
    if (viewport.zoom() <= 1.0 || span <= 0.0 || recording) {
        scrollBar->hide();
        return;
    }
    const int page = std::max(1, int(span / viewport.zoom() * 1000.0));
    const QSignalBlocker block(scrollBar);
    scrollBar->setRange(0, std::max(0, int(span * 1000.0) - page));
    scrollBar->setPageStep(page);
    scrollBar->setSingleStep(std::max(1, page / 10));
    scrollBar->setValue(int(viewport.viewStart() * 1000.0));
    scrollBar->setGeometry(plotLeftMargin, height() - 9, std::max(1, width() - plotLeftMargin - plotRightMargin), 9);
    scrollBar->show();
}

// ---------------------------------------------------------------- geometry

QRect SpectrumAnalyzerWidget::plotRect() const
{
    return QRect(QPoint(plotLeftMargin, 5), QPoint(width() - 1 - plotRightMargin, height() - 26));
}

QRect SpectrumAnalyzerWidget::spectrogramRect() const
{
    if (displayMode != SpectrogramAndWaveform)
        return plotRect();
    const int usable = height() - 30;
    return QRect(QPoint(plotLeftMargin, 5), QPoint(width() - 1 - plotRightMargin, 4 + 60 * usable / 100));
}

std::vector<SpectrumAnalyzerWidget::Half> SpectrumAnalyzerWidget::halves(const QRect &r) const
{
    if (stereoSamples.isEmpty() || recording)
        return {{r, Channel::Mono}};
    const int mid = r.top() + (r.bottom() - r.top() + 1) / 2;
    return {{QRect(QPoint(r.left(), r.top()), QPoint(r.right(), mid - 1)), Channel::Left},
            {QRect(QPoint(r.left(), mid), QPoint(r.right(), r.bottom())), Channel::Right}};
}

float SpectrumAnalyzerWidget::frequencyAt(int y, const QRect &half) const
{
    return (1.0f - float(y - half.top()) / float(half.height())) * nyquist();
}

float SpectrumAnalyzerWidget::levelAt(const QPoint &pos) const
{
    for (const Half &half : halves(spectrogramRect())) {
        if (!half.rect.contains(pos) || recording || !spectrumReady)
            continue;
        const SpectrogramColumns &store = columns[std::size_t(columnIndex(half.channel))];
        const double seconds = viewport.secondsAt(pos.x() - half.rect.left(), half.rect.width());
        const qsizetype column = qsizetype(seconds / hopSeconds(sampleRate)) / store.pool();
        const int bin = std::clamp(int(frequencyAt(pos.y(), half.rect) / nyquist() * Stft::bins), 0, Stft::bins - 1);
        if (column < 0 || column >= store.count())
            break;
        return Stft::fraction(store.column(column)[bin]) * 70.0f - 100.0f;
    }
    return minDb;
}

// ---------------------------------------------------------------- painting

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
                double columnSeconds = hopSeconds(sampleRate) * channel.pool();
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
    QFont font = painter.font();
    font.setPointSize(7);
    painter.setFont(font);
    painter.setPen(textColor);
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
    QFont font = painter.font();
    font.setPointSize(7);
    painter.setFont(font);
    painter.setPen(textColor);
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

// ---------------------------------------------------------------- navigation

void SpectrumAnalyzerWidget::zoomBy(double factor)
{
    viewport.setZoom(viewport.zoom() * factor);
    viewChanged();
}

void SpectrumAnalyzerWidget::wheelEvent(QWheelEvent *event)
{
    const int angle = event->angleDelta().y();
    const int pixels = event->pixelDelta().y();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (!ctrl && (pixels == 0 || std::abs(angle) >= 120)) {
        const double step = viewport.visibleSpan() / 10.0;
        viewport.setViewStart(viewport.viewStart() + (angle > 0 ? -step : step));
        viewChanged();
        event->accept();
        return;
    }
    const int delta = ctrl ? (pixels != 0 ? pixels : angle) : pixels;
    zoomBy(delta > 0 ? kZoomStep : 1.0 / kZoomStep);
    event->accept();
}

bool SpectrumAnalyzerWidget::event(QEvent *event)
{
    if (event->type() == QEvent::NativeGesture) {
        auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture || gesture->gestureType() == Qt::SmartZoomNativeGesture) {
            zoomBy(1.0 + gesture->value());
            return true;
        }
    } else if (event->type() == QEvent::Gesture) {
        auto *gestures = static_cast<QGestureEvent *>(event);
        if (auto *pinch = static_cast<QPinchGesture *>(gestures->gesture(Qt::PinchGesture))) {
            zoomBy(pinch->scaleFactor());
            return true;
        }
    }
    return QWidget::event(event);
}

void SpectrumAnalyzerWidget::leaveEvent(QEvent *event)
{
    hovering = false;
    update();
    QWidget::leaveEvent(event);
}

// ---------------------------------------------------------------- mouse and the erase brush

void SpectrumAnalyzerWidget::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const QRect r = spectrogramRect();
    if (event->button() != Qt::LeftButton || samples.isEmpty()) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (toolMode == Erase) {
        // While recording the clip grows under the brush; the stroke waits for the take.
        if (recording) {
            event->accept();
            return;
        }
        clearStroke();
        erasing = true;
        if (r.contains(pos))
            performVisualErase(pos);
        event->accept();
        return;
    }
    if (r.contains(pos)) {
        const double fraction = (event->position().x() - r.left()) / r.width();
        const double t = std::clamp(viewport.visibleSpan() * fraction + viewport.viewStart(), 0.0, duration());
        emit playheadRequested(t);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void SpectrumAnalyzerWidget::mouseMoveEvent(QMouseEvent *event)
{
    cursorPos = event->position().toPoint();
    hovering = true;
    if (toolMode == Erase && erasing && (event->buttons() & Qt::LeftButton)) {
        if (spectrogramRect().contains(cursorPos))
            performVisualErase(cursorPos);
        update();
        event->accept();
        return;
    }
    for (const Half &half : halves(spectrogramRect())) {
        if (half.rect.contains(cursorPos)) {
            emit frequencySelected(frequencyAt(cursorPos.y(), half.rect));
            emit magnitudeSelected(levelAt(cursorPos));
        }
    }
    update();
    QWidget::mouseMoveEvent(event);
}

void SpectrumAnalyzerWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && erasing) {
        if (toolMode == Erase && !recording)
            finishStroke();
        clearStroke();
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void SpectrumAnalyzerWidget::clearStroke()
{
    erasing = false;
    strokeHasBox = false;
    strokeChannels.clear();
}

void SpectrumAnalyzerWidget::performVisualErase(const QPoint &pos)
{
    for (const Half &half : halves(spectrogramRect())) {
        if (!half.rect.contains(pos))
            continue;
        const double hop = hopSeconds(sampleRate);
        const double u = viewport.secondsAt(pos.x() - half.rect.left(), half.rect.width());
        const float a = frequencyAt(pos.y() + kBrushRadius, half.rect);
        const float b = frequencyAt(pos.y() - kBrushRadius, half.rect);
        const SpectralBox dab{u - kBrushRadius * hop, u + kBrushRadius * hop, std::min(a, b), std::max(a, b)};
        if (!strokeHasBox) {
            strokeBox = dab;
            strokeHasBox = true;
        } else {
            strokeBox.startSec = std::min(strokeBox.startSec, dab.startSec);
            strokeBox.endSec = std::max(strokeBox.endSec, dab.endSec);
            strokeBox.freqLow = std::min(strokeBox.freqLow, dab.freqLow);
            strokeBox.freqHigh = std::max(strokeBox.freqHigh, dab.freqHigh);
        }
        if (std::find(strokeChannels.begin(), strokeChannels.end(), half.channel) == strokeChannels.end())
            strokeChannels.push_back(half.channel);

        // Darken the cells the dab covers at once; the audio changes on release.
        if (!spectrumReady)
            return;
        SpectrogramColumns &store = columns[std::size_t(columnIndex(half.channel))];
        const double columnSeconds = hop * store.pool();
        const qsizetype first = std::max<qsizetype>(0, qsizetype(std::floor(dab.startSec / columnSeconds)));
        const qsizetype last = std::min(store.count() - 1, qsizetype(std::floor(dab.endSec / columnSeconds)));
        const float binWidth = nyquist() / Stft::bins;
        const int binLow = std::clamp(int(std::floor(dab.freqLow / binWidth)), 0, Stft::bins - 1);
        const int binHigh = std::clamp(int(std::ceil(dab.freqHigh / binWidth)), 0, Stft::bins - 1);
        const float keep = 1.0f - eraseStrength;
        for (qsizetype c = first; c <= last; ++c) {
            std::uint16_t *levels = store.column(c);
            for (int k = binLow; k <= binHigh; ++k)
                levels[k] = std::uint16_t(float(levels[k]) * keep);
        }
        store.updateCoarse(first, last + 1);
        picturesDirty = true;
        update();
        return;
    }
}

void SpectrumAnalyzerWidget::finishStroke()
{
    if (!strokeHasBox)
        return;
    std::vector<Channel> channels;
    for (Channel channel : strokeChannels) {
        if (channel == Channel::Mono && !stereoSamples.isEmpty())
            channels = {Channel::Left, Channel::Right};
        else
            channels.push_back(channel);
    }
    applySpectralErase(strokeBox, channels);
}

void SpectrumAnalyzerWidget::applySpectralErase(const SpectralBox &box, const std::vector<Channel> &channels)
{
    // Nothing to change: keep sharing the lists rather than copying them for nothing.
    if (samples.isEmpty() || spectralEraseRange(samples.size(), sampleRate, box).isEmpty())
        return;
    // The page keeps the old lists for undo: the erase writes into copies of its own.
    detachLargeList(samples);
    if (!stereoSamples.isEmpty())
        detachLargeList(stereoSamples);
    FrameRange changed;
    std::vector<Channel> erased;
    for (Channel channel : channels) {
        FrameRange range;
        if (channel == Channel::Mono)
            range = eraseSpectralBox(samples.data(), samples.size(), 1, sampleRate, box, eraseStrength);
        else
            range = eraseSpectralBox(stereoSamples.data() + (channel == Channel::Right ? 1 : 0),
                                     stereoSamples.size() / 2, 2, sampleRate, box, eraseStrength);
        if (range.isEmpty())
            continue;
        erased.push_back(channel);
        changed = changed.isEmpty() ? range
                                    : FrameRange{std::min(changed.first, range.first), std::max(changed.end, range.end)};
    }
    if (changed.isEmpty())
        return;
    if (!stereoSamples.isEmpty()) {
        // The mono list stays the mean of the pair, recomputed only where a channel changed.
        float *mono = samples.data();
        const float *pairs = stereoSamples.constData();
        for (qsizetype i = changed.first; i < changed.end; ++i)
            mono[i] = (pairs[2 * i] + pairs[2 * i + 1]) * 0.5f;
    }

    // Only the columns whose frames reach the rewritten samples change.
    const qsizetype firstHop = std::max<qsizetype>(0, Stft::floorDiv(changed.first - Stft::size, Stft::hop) + 1);
    const qsizetype endHop = (changed.end + Stft::hop - 1) / Stft::hop;
    // A box over much of a long clip is recomputed in the background instead.
    constexpr qsizetype kInlineHops = 4096;
    if (spectrumReady && endHop - firstHop <= kInlineHops) {
        StftColumnMaker maker;
        for (Channel channel : erased) {
            SpectrogramColumns &store = columns[std::size_t(columnIndex(channel))];
            store.compute(channelSamples(channel), firstHop, endHop, maker);
        }
    } else {
        requestComputation();
    }
    picturesDirty = true;
    update();
    emit audioDataChanged();
}
