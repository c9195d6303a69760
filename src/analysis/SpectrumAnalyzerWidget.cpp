// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrogram view: data, the background STFT, navigation and the erase brush.
#include "analysis/SpectrumAnalyzerWidget.h"

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
        const qsizetype column = qsizetype(seconds / Stft::hopSeconds(sampleRate)) / store.pool();
        const int bin = std::clamp(int(frequencyAt(pos.y(), half.rect) / nyquist() * Stft::bins), 0, Stft::bins - 1);
        if (column < 0 || column >= store.count())
            break;
        return Stft::fraction(store.column(column)[bin]) * 70.0f - 100.0f;
    }
    return minDb;
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
        const double hop = Stft::hopSeconds(sampleRate);
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
    emit eraseRequested(strokeBox, channels, eraseStrength);
}

void SpectrumAnalyzerWidget::updateAudioData(const QList<float> &mono, int rate, const QList<float> &stereo,
                                             FrameRange changed)
{
    const bool pairs = !stereo.isEmpty() && stereo.size() / 2 == mono.size();
    const bool sameShape = !mono.isEmpty() && mono.size() == samples.size() && rate == sampleRate
                           && pairs == !stereoSamples.isEmpty() && !recording;
    if (!sameShape) {
        setAudioData(mono, rate, stereo);
        return;
    }
    samples = mono;
    stereoSamples = pairs ? stereo : QList<float>();
    clearStroke();
    // Only the columns whose frames reach the changed samples change.
    const qsizetype firstHop = std::max<qsizetype>(0, Stft::floorDiv(changed.first - Stft::size, Stft::hop) + 1);
    const qsizetype endHop = (changed.end + Stft::hop - 1) / Stft::hop;
    // A change over much of a long clip is recomputed in the background instead.
    constexpr qsizetype kInlineHops = 4096;
    if (spectrumReady && endHop - firstHop <= kInlineHops) {
        StftColumnMaker maker;
        for (std::size_t slot = 0; slot < columns.size(); ++slot) {
            const Channel channel = columns.size() == 1 ? Channel::Mono : slot == 0 ? Channel::Left : Channel::Right;
            columns[slot].compute(channelSamples(channel), firstHop, endHop, maker);
        }
    } else {
        requestComputation();
    }
    picturesDirty = true;
    update();
}
