// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform view of one clip: mono or left/right lanes, playhead, selection, zoom and scroll.
#include "editor/WaveformWidget.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QGestureEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double wheelZoomFactor = 1.15;
constexpr int scrollBarHeight = 18;
constexpr int playheadGrabPixels = 8;
// Below this many samples per column the lanes are drawn straight from the samples.
constexpr double rawDrawingLimit = 64.0;
const QColor laneLineColor(0x3c, 0x3c, 0x50);

std::span<const float> asSpan(const QList<float> &list)
{
    return {list.constData(), static_cast<std::size_t>(list.size())};
}

// Truncating conversion of a sample position; NaN and negatives give 0, and huge values
// are capped instead of overflowing.
qint64 toSampleIndex(double position)
{
    if (!(position > 0.0))
        return 0;
    return position >= 4.0e18 ? qint64(4.0e18) : static_cast<qint64>(position);
}

// Two lists holding the same buffer hold the same values: whoever changes one detaches it first.
bool sameList(const QList<float> &a, const QList<float> &b)
{
    return a.size() == b.size() && (a.isEmpty() || a.constData() == b.constData());
}

// Summaries of clips no view holds any more, one stereo clip's worth at most. A new clip
// builds in their storage: faulting in fresh memory for the summaries of a long clip costs
// more than building them.
constexpr std::size_t maxSpareSummaries = 2;

std::vector<PeakSummary> &spareSummaries()
{
    // Never destroyed, so a clip that goes during static destruction still finds it.
    static auto *spares = new std::vector<PeakSummary>;
    return *spares;
}

PeakSummary recycledSummary()
{
    std::vector<PeakSummary> &spares = spareSummaries();
    PeakSummary summary;
    if (!spares.empty()) {
        summary = std::move(spares.back());
        spares.pop_back();
    }
    return summary;
}

} // namespace

WaveformWidget::WaveformWidget(QWidget *parent)
    : QWidget(parent)
    , clip(std::make_shared<Clip>())
    , scrollBar(new QScrollBar(Qt::Horizontal, this))
{
    setMinimumHeight(120);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_AcceptTouchEvents);
    grabGesture(Qt::PinchGesture);
    setStyleSheet(QStringLiteral("background-color: #14141e;"));
    scrollBar->hide();
    connect(scrollBar, &QScrollBar::valueChanged, this, &WaveformWidget::onScrollBarMoved);
}

void WaveformWidget::setAudioData(const QList<float> &newSamples, int newSampleRate, const QList<float> &stereo,
                                  std::vector<PeakSummary> summaries)
{
    QElapsedTimer timer;
    timer.start();

    clip = clipFor(newSamples, stereo);
    clip->adopt(std::move(summaries));
    sampleRate = newSampleRate;
    if (sampleRate > 0 && !clip->samples.isEmpty()) {
        viewport.setDuration(double(clip->samples.size()) / sampleRate);
        playheadPosition = std::clamp(playheadPosition, 0.0, viewport.duration());
    } else {
        viewport.setDuration(0.0);
        playheadPosition = 0.0;
    }
    selectionActive = false;
    qDebug() << "[WF] setAudioData prep:" << timer.elapsed() << "ms";

    timer.restart();
    peaksChanged();
    qDebug() << "[WF] buildPeaks:" << timer.elapsed() << "ms, width:" << width();

    updateScrollBar();
    update();
}

void WaveformWidget::appendAudioData(const QList<float> &block, int newSampleRate)
{
    if (block.isEmpty())
        return;
    sampleRate = newSampleRate;
    if (clip.use_count() > 1)
        clip = std::make_shared<Clip>(*clip);
    QList<float> &samples = clip->samples;
    const auto oldCount = static_cast<std::size_t>(samples.size());
    samples.append(block);
    viewport.setDuration(sampleRate > 0 ? double(samples.size()) / sampleRate : 0.0);
    if (autoScroll && viewport.zoom() > 1.0)
        viewport.scrollToEnd();
    clip->summariseAppended(oldCount);
    peaksChanged();
    updateScrollBar();
    update();
}

void WaveformWidget::clearAudioData()
{
    clip = std::make_shared<Clip>();
    for (auto *peaks : {&minPeaks, &maxPeaks, &minPeaksLeft, &maxPeaksLeft, &minPeaksRight, &maxPeaksRight})
        peaks->clear();
    viewport.setDuration(0.0);
    viewport.reset();
    playheadPosition = 0.0;
    selectionActive = false;
    autoScroll = true;
    updateScrollBar();
    update();
}

void WaveformWidget::setPlayheadPosition(double seconds)
{
    playheadPosition = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, viewport.duration());
    if (viewport.follow(playheadPosition)) {
        peaksChanged();
        updateScrollBar();
    }
    update();
}

void WaveformWidget::setZoomLevel(double zoom)
{
    viewport.setZoom(zoom);
    peaksChanged();
    updateScrollBar();
    update();
}

void WaveformWidget::setViewStartSec(double seconds)
{
    viewport.setViewStart(seconds);
    updateScrollBar();
    peaksChanged();
    update();
}

void WaveformWidget::clearSelection()
{
    selectionActive = false;
    update();
}

void WaveformWidget::setWaveColor(const QColor &color)
{
    waveColor = color;
    update();
}

void WaveformWidget::setProgressColor(const QColor &color)
{
    progressColor = color;
    update();
}

void WaveformWidget::setBackgroundColor(const QColor &color)
{
    backgroundColor = color;
    update();
}

void WaveformWidget::setPlayheadColor(const QColor &color)
{
    playheadColor = color;
    update();
}

bool WaveformWidget::event(QEvent *event)
{
    if (event->type() == QEvent::NativeGesture) {
        auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture || gesture->gestureType() == Qt::SmartZoomNativeGesture) {
            zoomAt(1.0 + gesture->value(), qRound(gesture->position().x()));
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::Gesture) {
        auto *gestureEvent = static_cast<QGestureEvent *>(event);
        if (auto *pinch = static_cast<QPinchGesture *>(gestureEvent->gesture(Qt::PinchGesture))) {
            // The pinch recogniser reports its centre in screen coordinates.
            zoomAt(pinch->scaleFactor(), int(mapFromGlobal(pinch->centerPoint()).x()));
            gestureEvent->accept(pinch);
            return true;
        }
    }
    return QWidget::event(event);
}

void WaveformWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const double x = event->position().x();
    if (std::abs(x - secondsToX(playheadPosition)) < playheadGrabPixels) {
        draggingPlayhead = true;
    } else {
        selecting = true;
        selectionActive = false;
        dragStartX = int(x);
        update();
    }
}

void WaveformWidget::mouseMoveEvent(QMouseEvent *event)
{
    const int x = int(event->position().x());
    if (draggingPlayhead) {
        const double t = xToSeconds(x);
        playheadPosition = t;
        emit playheadMoved(t);
        update();
    } else if (selecting) {
        if (timeAxisWidth() <= 0) {
            selectionStart = selectionEnd = 0.0;
            selectionActive = false;
        } else {
            selectionStart = xToSeconds(std::min(dragStartX, x));
            selectionEnd = xToSeconds(std::max(dragStartX, x));
            // Two pixels or less is a shaky click, not a selection.
            selectionActive = (selectionEnd - selectionStart) > 2.0 * viewport.visibleSpan() / timeAxisWidth();
            if (selectionActive)
                emit selectionChanged(selectionStart, selectionEnd);
        }
        update();
    }
}

void WaveformWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !selectionActive && !draggingPlayhead) {
        const double t = xToSeconds(int(event->position().x()));
        playheadPosition = t;
        emit playheadMoved(t);
        emit clicked(t);
        update();
    }
    draggingPlayhead = false;
    selecting = false;
}

void WaveformWidget::wheelEvent(QWheelEvent *event)
{
    event->accept();
    const int pixelDelta = event->pixelDelta().y();
    const int angleDelta = event->angleDelta().y();
    const int x = int(event->position().x());
    if (event->modifiers() & Qt::ControlModifier) {
        const int delta = pixelDelta != 0 ? pixelDelta : angleDelta;
        zoomAt(delta > 0 ? wheelZoomFactor : 1.0 / wheelZoomFactor, x);
        return;
    }
    // A touchpad sends pixel deltas with small angle steps; a mouse wheel sends 120 a notch.
    if (pixelDelta != 0 && std::abs(angleDelta) < 120) {
        zoomAt(pixelDelta > 0 ? wheelZoomFactor : 1.0 / wheelZoomFactor, x);
        return;
    }
    const double step = viewport.visibleSpan() / 10.0;
    viewport.setViewStart(viewport.viewStart() + (angleDelta > 0 ? -step : step));
    autoScroll = false;
    peaksChanged();
    updateScrollBar();
    update();
}

void WaveformWidget::paintEvent(QPaintEvent *)
{
    if (peaksStale)
        buildPeaks();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect(), backgroundColor);
    if (clip->samples.isEmpty()) {
        drawEmptyState(painter);
        return;
    }
    const QRect area = waveformArea();
    drawSelection(painter, area);
    drawWaveform(painter, area);
    drawPlayhead(painter, area);
}

void WaveformWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeScrollBar();
    peaksChanged();
}

void WaveformWidget::drawSelection(QPainter &painter, const QRect &area)
{
    if (!selectionActive)
        return;
    const int xs = secondsToX(selectionStart);
    const int xe = secondsToX(selectionEnd);
    const int left = std::min(xs, xe);
    const int right = std::max(xs, xe);
    painter.fillRect(QRect(QPoint(left, 0), QPoint(right - 1, area.bottom())), selectionColor);
    painter.setPen(QPen(QColor(255, 255, 255, 120), 1));
    painter.drawLine(left, 0, left, area.bottom());
    painter.drawLine(right, 0, right, area.bottom());
}

void WaveformWidget::drawWaveform(QPainter &painter, const QRect &area)
{
    const int h = area.height();
    const int midY = area.top() + h / 2;
    const auto acrossAt = [&](int y) {
        painter.setPen(QPen(laneLineColor, 1));
        painter.drawLine(area.left(), y, area.right(), y);
    };

    if (!isStereo()) {
        drawLane(painter, area, {asSpan(clip->samples), clip->samplesSummary, minPeaks, maxPeaks, area.top(), area.bottom(), midY, float(h / 2)});
        acrossAt(midY);
        return;
    }

    const int upperHeight = h / 2;
    const int upperCentre = area.top() + upperHeight / 2;
    drawLane(painter, area, {leftChannel(), clip->leftSummary, minPeaksLeft, maxPeaksLeft, area.top(), midY - 1, upperCentre, float(upperHeight / 2)});
    acrossAt(upperCentre);
    acrossAt(midY);
    const int lowerHeight = area.bottom() - midY + 1;
    const int lowerCentre = midY + lowerHeight / 2;
    drawLane(painter, area, {rightChannel(), clip->rightSummary, minPeaksRight, maxPeaksRight, midY, area.bottom(), lowerCentre, float(lowerHeight / 2)});
    acrossAt(lowerCentre);

    painter.setPen(QColor(0x78, 0x78, 0x8c));
    painter.setFont(QFont(QStringLiteral("Arial"), 8));
    painter.drawText(QPoint(area.left() + 4, area.top() + 12), QStringLiteral("L"));
    painter.drawText(QPoint(area.left() + 4, midY + 12), QStringLiteral("R"));
}

void WaveformWidget::drawLane(QPainter &painter, const QRect &area, const Lane &lane)
{
    const int playheadX = secondsToX(playheadPosition);
    const int areaWidth = area.width();
    QList<QRect> played;
    QList<QRect> ahead;
    played.reserve(areaWidth);
    ahead.reserve(areaWidth);

    const auto addColumn = [&](int x, float lo, float hi) {
        const auto toY = [&](float v) {
            const int y = lane.centre - int(std::clamp(v, -1.0f, 1.0f) * lane.halfHeight);
            return std::clamp(y, lane.top, lane.bottom);
        };
        const int y1 = toY(hi);
        const int y2 = toY(lo);
        (x < playheadX ? played : ahead).append(QRect(QPoint(x, std::min(y1, y2)), QPoint(x, std::max(y1, y2))));
    };

    const auto n = qint64(lane.source.size);
    const double samplesPerPixel = double(n) / (viewport.zoom() * areaWidth);
    if (samplesPerPixel < rawDrawingLimit && n > 0) {
        const double span = viewport.visibleSpan();
        for (int i = 0; i < areaWidth; ++i) {
            const qint64 s0 = toSampleIndex((viewport.viewStart() + double(i) / areaWidth * span) * sampleRate);
            const qint64 a = std::min<qint64>(s0, n - 1);
            const qint64 b = std::max<qint64>(std::min<qint64>(s0 + qint64(samplesPerPixel) + 1, n), a + 1);
            float lo = 1.0f;
            float hi = -1.0f;
            lane.summary.accumulate(lane.source, std::size_t(a), std::size_t(b), lo, hi);
            addColumn(area.left() + i, lo, hi);
        }
    } else {
        const int columns = std::min<int>(areaWidth, int(lane.minPeaks.size()));
        for (int i = 0; i < columns; ++i)
            addColumn(area.left() + i, lane.minPeaks[i], lane.maxPeaks[i]);
    }

    // One-pixel-wide filled rectangles cover exactly the pixels of the one-pixel lines
    // and skip the line stroker, which halves the paint time of a full-width lane.
    painter.setPen(Qt::NoPen);
    painter.setBrush(progressColor);
    painter.drawRects(played);
    painter.setBrush(waveColor);
    painter.drawRects(ahead);
}

void WaveformWidget::drawPlayhead(QPainter &painter, const QRect &area)
{
    const int x = secondsToX(playheadPosition);
    if (x < area.left() || x > area.right())
        return;
    painter.setPen(QPen(playheadColor, 2));
    painter.drawLine(x, area.top(), x, area.bottom());
    painter.setPen(Qt::NoPen);
    painter.setBrush(playheadColor);
    const QPoint triangle[] = {{x - 6, area.top()}, {x + 6, area.top()}, {x, area.top() + 10}};
    painter.drawPolygon(triangle, 3);
}

void WaveformWidget::drawEmptyState(QPainter &painter)
{
    painter.setPen(QColor(0x64, 0x64, 0x78));
    painter.setFont(QFont(QStringLiteral("Arial"), 13));
    painter.drawText(rect(), Qt::AlignCenter, tr("暂无音频数据\n请录制或导入文件"));
}

WaveformWidget::Clip::~Clip()
{
    std::vector<PeakSummary> &spares = spareSummaries();
    for (PeakSummary *summary : {&samplesSummary, &leftSummary, &rightSummary})
        if (summary->size() > 0 && spares.size() < maxSpareSummaries)
            spares.push_back(std::move(*summary));
}

std::shared_ptr<WaveformWidget::Clip> WaveformWidget::clipFor(const QList<float> &samples, const QList<float> &stereo)
{
    // The clip built last, for the next view handed the same lists; it lives only as long
    // as a view holds it.
    static std::weak_ptr<Clip> lastBuilt;
    if (std::shared_ptr<Clip> built = lastBuilt.lock();
        built && sameList(built->samples, samples) && sameList(built->stereo, stereo))
        return built;

    auto built = std::make_shared<Clip>();
    built->samples = samples;
    built->stereo = stereo;
    lastBuilt = built;
    return built;
}

void WaveformWidget::Clip::summarise()
{
    if (summarised)
        return;
    summarised = true;
    // The mono list is drawn only when there is no stereo data.
    if (stereo.isEmpty()) {
        samplesSummary = recycledSummary();
        samplesSummary.update(asSpan(samples));
        return;
    }
    leftSummary = recycledSummary();
    rightSummary = recycledSummary();
    PeakSummary *const summaries[] = {&leftSummary, &rightSummary};
    const SampleChannel channels[] = {SampleChannel(asSpan(stereo), 0, 2), SampleChannel(asSpan(stereo), 1, 2)};
    PeakSummary::updateChannels(summaries, channels);
}

void WaveformWidget::Clip::adopt(std::vector<PeakSummary> &&summaries)
{
    if (summarised)
        return;
    const auto fits = [&](std::size_t count, std::size_t size) {
        return summaries.size() == count
            && std::all_of(summaries.begin(), summaries.end(), [&](const PeakSummary &s) { return s.size() == size; });
    };
    if (stereo.isEmpty() && fits(1, std::size_t(samples.size()))) {
        samplesSummary = std::move(summaries.front());
        summarised = true;
    } else if (!stereo.isEmpty() && fits(2, std::size_t(stereo.size() / 2))) {
        leftSummary = std::move(summaries[0]);
        rightSummary = std::move(summaries[1]);
        summarised = true;
    }
}

void WaveformWidget::Clip::summariseAppended(std::size_t oldCount)
{
    // Only the tail blocks change, so a long recording does not rescan what it already has.
    // Stereo data draws its channel lanes, which an append leaves alone.
    if (summarised && stereo.isEmpty())
        samplesSummary.update(asSpan(samples), oldCount);
}

SampleChannel WaveformWidget::leftChannel() const
{
    return SampleChannel(asSpan(clip->stereo), 0, 2);
}

SampleChannel WaveformWidget::rightChannel() const
{
    return SampleChannel(asSpan(clip->stereo), 1, 2);
}

void WaveformWidget::peaksChanged()
{
    peaksStale = true;
    if (isVisible())
        buildPeaks();
}

void WaveformWidget::buildPeaks()
{
    peaksStale = false;
    clip->summarise();
    // Stereo data draws only its two channel lanes, so the mono columns are left empty.
    if (isStereo()) {
        minPeaks.clear();
        maxPeaks.clear();
        buildPeaksForChannel(leftChannel(), clip->leftSummary, minPeaksLeft, maxPeaksLeft);
        buildPeaksForChannel(rightChannel(), clip->rightSummary, minPeaksRight, maxPeaksRight);
    } else {
        buildPeaksForChannel(asSpan(clip->samples), clip->samplesSummary, minPeaks, maxPeaks);
        for (auto *peaks : {&minPeaksLeft, &maxPeaksLeft, &minPeaksRight, &maxPeaksRight})
            peaks->clear();
    }
}

void WaveformWidget::buildPeaksForChannel(SampleChannel source, const PeakSummary &summary,
                                          std::vector<float> &minOut, std::vector<float> &maxOut) const
{
    const int w = timeAxisWidth();
    if (w <= 0 || source.size == 0) {
        minOut.clear();
        maxOut.clear();
        return;
    }
    minOut.resize(w);
    maxOut.resize(w);

    const auto n = qint64(source.size);
    const qint64 start = std::min(toSampleIndex(viewport.viewStart() * sampleRate), n - 1);
    qint64 end = std::min(start + toSampleIndex(viewport.visibleSpan() * sampleRate), n);
    if (end <= start)
        end = std::min(start + 1, n);
    const qint64 span = end - start;

    // Every column covers its own contiguous run of samples and reports their true extremes,
    // so a single clipped sample shows at any zoom and does not flicker while scrolling.
    for (int i = 0; i < w; ++i) {
        const qint64 a = std::max(std::min(start + qint64(double(i) / w * span), n - 1), start);
        const qint64 b = std::max(std::min(start + qint64(double(i + 1) / w * span), n), a + 1);
        float lo = 1.0f;
        float hi = -1.0f;
        summary.accumulate(source, std::size_t(a), std::size_t(b), lo, hi);
        minOut[i] = lo;
        maxOut[i] = hi;
    }
}

void WaveformWidget::updateScrollBar()
{
    // Moving the bar from code must not look like the user dragging it.
    const QSignalBlocker blocker(scrollBar);
    if (viewport.zoom() <= 1.0 || viewport.duration() <= 0.0) {
        scrollBar->hide();
        return;
    }
    const int page = std::max(1, int(viewport.visibleSpan() * 1000.0));
    scrollBar->setRange(0, int(viewport.duration() * 1000.0) - page);
    scrollBar->setPageStep(page);
    scrollBar->setSingleStep(page / 10);
    scrollBar->setValue(int(viewport.viewStart() * 1000.0));
    scrollBar->show();
}

void WaveformWidget::zoomAt(double factor, int x)
{
    viewport.zoomAround(factor, x - leftMargin, timeAxisWidth());
    peaksChanged();
    updateScrollBar();
    update();
}

void WaveformWidget::onScrollBarMoved(int value)
{
    viewport.setViewStart(value / 1000.0);
    autoScroll = false;
    peaksChanged();
    update();
}

void WaveformWidget::setTimeAxisMargins(int left, int right)
{
    leftMargin = std::max(0, left);
    rightMargin = std::max(0, right);
    placeScrollBar();
    peaksChanged();
    update();
}

int WaveformWidget::timeAxisWidth() const
{
    return std::max(0, width() - leftMargin - rightMargin);
}

void WaveformWidget::placeScrollBar()
{
    scrollBar->setGeometry(leftMargin, height() - scrollBarHeight, timeAxisWidth(), scrollBarHeight);
}

double WaveformWidget::xToSeconds(int x) const
{
    return viewport.secondsAt(x - leftMargin, timeAxisWidth());
}

int WaveformWidget::secondsToX(double seconds) const
{
    return leftMargin + viewport.pixelAt(seconds, timeAxisWidth());
}

QRect WaveformWidget::waveformArea() const
{
    QRect area(leftMargin, 0, timeAxisWidth(), height());
    if (scrollBar->isVisibleTo(this))
        area.setBottom(height() - 1 - scrollBarHeight);
    return area;
}
