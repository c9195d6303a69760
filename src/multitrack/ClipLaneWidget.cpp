// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and MIDI clip lanes share: the timeline mapping, the view setters, the
// playhead, the volume envelope, the tools and the clip gestures every kind has.
#include "ClipLaneWidget.h"

#include "project/TrackData.h"
#include "ui/TimeViewport.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

// Columns this far off screen are never drawn; holding them here keeps the int conversion defined.
constexpr double farColumn = 1e9;
constexpr int edgeTolerance = 6;
constexpr int pointTolerance = 8;
// A body press moves its clip only once the pointer has left this many pixels either side.
constexpr int dragThreshold = 5;
// A point dragged past the last one may go this far at most.
constexpr double lastPointLimit = 1e9;

QPoint rounded(const QPointF &p)
{
    return {int(std::lround(p.x())), int(std::lround(p.y()))};
}

} // namespace

ClipLaneWidget::ClipLaneWidget(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(laneHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusPolicy(Qt::ClickFocus);
    // No style sheet: paintEvent fills the whole lane itself, and styling every lane of a big
    // project costs more than all its painting.
    setMouseTracking(true);
}

void ClipLaneWidget::setTrackData(TrackData *newTrack)
{
    if (newTrack != track)
        cancelGestures();
    track = newTrack;
    if (track)
        waveColor = track->color;
    update();
}

void ClipLaneWidget::setViewStartSec(double seconds)
{
    viewStartSec = seconds;
    update();
}

void ClipLaneWidget::setZoomLevel(double zoom)
{
    zoomLevel = zoom;
    update();
}

void ClipLaneWidget::setPlayheadPosition(double seconds)
{
    // Playback moves the playhead 20 times a second: only the columns it leaves and enters
    // are drawn again.
    const int oldX = secondsToX(playheadSec);
    playheadSec = seconds;
    const int newX = secondsToX(playheadSec);
    update(QRect(oldX - 1, 0, 3, height()));
    update(QRect(newX - 1, 0, 3, height()));
}

void ClipLaneWidget::setWaveColor(const QColor &color)
{
    waveColor = color;
    update();
}

void ClipLaneWidget::setShowEnvelope(bool show)
{
    showEnvelope = show;
    if (!show)
        envelopeDragIndex = -1;
    update();
}

void ClipLaneWidget::setToolMode(int mode)
{
    toolMode = mode;
    moveDragging = false;
    moveClipIndex = -1;
    trimClipIndex = -1;
    envelopeDragIndex = -1;
    cancelOwnGesture();
    setCursor(Qt::ArrowCursor);
}

void ClipLaneWidget::setSnapBpm(double bpm)
{
    if (bpm > 0.0)
        snapBpm = bpm;
}

int ClipLaneWidget::secondsToX(double seconds) const
{
    const double x = TimelineScale::pixelOf(seconds, viewStartSec, zoomLevel);
    return static_cast<int>(std::clamp(x, -farColumn, farColumn));
}

double ClipLaneWidget::xToSeconds(int x) const
{
    return TimelineScale::secondsAt(x, viewStartSec, zoomLevel);
}

float ClipLaneWidget::valueToY(float value) const
{
    const float span = static_cast<float>(height() - 2 * clipMargin);
    return clipMargin + span * (1.0f - std::clamp(value / 1.5f, 0.0f, 1.0f));
}

float ClipLaneWidget::yToValue(int y) const
{
    const float span = static_cast<float>(height() - 2 * clipMargin);
    return 1.5f * std::clamp(1.0f - (y - clipMargin) / span, 0.0f, 1.0f);
}

double ClipLaneWidget::snapToGrid(double seconds) const
{
    const double beat = 60.0 / snapBpm;
    return std::round(seconds / beat) * beat;
}

int ClipLaneWidget::hitTestClip(const QPoint &p) const
{
    if (!track || p.y() < clipMargin || p.y() > height() - clipMargin)
        return -1;
    for (int i = 0; i < clipCount(); ++i) {
        double start = 0.0;
        double end = 0.0;
        clipSpan(i, start, end);
        if (secondsToX(start) <= p.x() && p.x() <= secondsToX(end))
            return i;
    }
    return -1;
}

int ClipLaneWidget::hitTestClipEdge(const QPoint &p) const
{
    if (!track || p.y() < clipMargin || p.y() > height() - clipMargin)
        return -1;
    for (int i = 0; i < clipCount(); ++i) {
        const auto edges = edgeColumns(i);
        if (!edges)
            continue;
        if (std::abs(p.x() - edges->first) <= edgeTolerance)
            return 2 * i;
        if (std::abs(p.x() - edges->second) <= edgeTolerance)
            return 2 * i + 1;
    }
    return -1;
}

std::optional<std::pair<int, int>> ClipLaneWidget::edgeColumns(int index) const
{
    if (!hasEdges(index))
        return std::nullopt;
    double start = 0.0;
    double end = 0.0;
    clipSpan(index, start, end);
    return std::pair(secondsToX(start), secondsToX(end));
}

int ClipLaneWidget::hitTestEnvelopePoint(const QPoint &p) const
{
    if (!track)
        return -1;
    const auto &points = track->volumeEnvelope;
    for (size_t i = 0; i < points.size(); ++i) {
        const int x = secondsToX(points[i].time);
        const int y = static_cast<int>(valueToY(points[i].value));
        if (std::abs(p.x() - x) <= pointTolerance && std::abs(p.y() - y) <= pointTolerance)
            return static_cast<int>(i);
    }
    return -1;
}

bool ClipLaneWidget::gestureActive() const
{
    return envelopeDragIndex >= 0 || moveDragging || trimClipIndex >= 0 || dragClipIndex >= 0 || ownGestureActive();
}

void ClipLaneWidget::cancelGestures()
{
    envelopeDragIndex = -1;
    moveDragging = false;
    moveClipIndex = -1;
    trimClipIndex = -1;
    dragClipIndex = -1;
    dragMoved = false;
    cancelOwnGesture();
}

void ClipLaneWidget::dropStaleGestures()
{
    if (!track) {
        cancelGestures();
        return;
    }
    const auto stale = [this](int index) { return index >= 0 && !validClip(index); };
    if (envelopeDragIndex >= int(track->volumeEnvelope.size()))
        envelopeDragIndex = -1;
    if (stale(moveClipIndex)) {
        moveDragging = false;
        moveClipIndex = -1;
    }
    if (stale(trimClipIndex))
        trimClipIndex = -1;
    if (stale(dragClipIndex)) {
        dragClipIndex = -1;
        dragMoved = false;
    }
    if (stale(selectedClipIndex))
        selectedClipIndex = -1;
}

void ClipLaneWidget::beginClipEdit()
{
    clipsBefore = {track->audioClips, track->midiClips};
}

void ClipLaneWidget::commitClipEdit(const QString &label)
{
    if (track && !(clipsBefore == TrackClips{track->audioClips, track->midiClips}))
        emit clipsEditCommitted(std::move(clipsBefore), label);
    clipsBefore = {};
    emit clipTrimmed();
}

void ClipLaneWidget::paintEvent(QPaintEvent *event)
{
    paintArea = event->rect();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), QColor(20, 20, 30));

    if (track && clipCount() > 0) {
        const int hovered = underMouse() ? hitTestClip(mapFromGlobal(QCursor::pos())) : -1;
        for (int i = 0; i < clipCount(); ++i) {
            double start = 0.0;
            double end = 0.0;
            clipSpan(i, start, end);
            const int left = secondsToX(start);
            const int right = secondsToX(end);
            if (right < paintArea.left() || left > paintArea.right())
                continue;
            const QRect body(left, clipMargin, right - left, h - 2 * clipMargin);
            drawClip(painter, i, body);
            if (i == trimClipIndex || i == hovered || highlightsStrips(i)) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(QColor(255, 255, 255, 60));
                painter.drawRect(QRect(left, body.top(), 5, body.height()));
                painter.drawRect(QRect(right - 5, body.top(), 5, body.height()));
            }
            drawClipOverlay(painter, i, body);
        }
    } else {
        painter.setPen(QColor(100, 100, 120));
        painter.setFont(QFont(QStringLiteral("sans-serif"), 12));
        painter.drawText(rect(), Qt::AlignCenter, emptyText());
    }
    if (showEnvelope && track)
        drawEnvelope(painter);

    const int x = secondsToX(playheadSec);
    if (x >= 0 && x <= w) {
        painter.setPen(QPen(Qt::white, 1));
        painter.drawLine(x, 0, x, h);
    }
}

void ClipLaneWidget::drawEnvelope(QPainter &painter) const
{
    const QColor lineColor(0, 255, 128, 180);
    const auto &points = track->volumeEnvelope;
    const int w = width();
    painter.setBrush(Qt::NoBrush);
    if (points.empty()) {
        // Without points the envelope stands for the track volume.
        painter.setPen(QPen(lineColor, 1.5, Qt::DashLine));
        const int y = static_cast<int>(valueToY(track->volume));
        painter.drawLine(0, y, w, y);
        return;
    }
    QPolygon line;
    const auto pointAt = [this](const EnvelopePoint &p) {
        return QPoint(secondsToX(p.time), static_cast<int>(valueToY(p.value)));
    };
    const QPoint first = pointAt(points.front());
    if (first.x() > 0)
        line << QPoint(0, first.y());
    for (const EnvelopePoint &p : points)
        line << pointAt(p);
    const QPoint last = pointAt(points.back());
    if (last.x() < w)
        line << QPoint(w, last.y());
    painter.setPen(QPen(lineColor, 1.5));
    painter.drawPolyline(line);

    painter.setBrush(QColor(0, 255, 128));
    for (size_t i = 0; i < points.size(); ++i) {
        const QPoint c = pointAt(points[i]);
        if (c.x() < -pointTolerance || c.x() > w + pointTolerance)
            continue;
        const bool dragged = int(i) == envelopeDragIndex;
        painter.setPen(QPen(Qt::white, dragged ? 2 : 1.5));
        const int r = dragged ? 6 : 5;
        painter.drawEllipse(c, r, r);
    }
}

void ClipLaneWidget::commitEnvelope(std::vector<EnvelopePoint> before)
{
    emit envelopeEditCommitted(std::move(before), track->volumeEnvelope);
    emit envelopeChanged();
    update();
}

bool ClipLaneWidget::pressEnvelope(QMouseEvent *event, const QPoint &pos)
{
    if (!showEnvelope)
        return false;
    auto &points = track->volumeEnvelope;
    const int point = points.empty() ? -1 : hitTestEnvelopePoint(pos);
    if (point >= 0) {
        envelopeDragIndex = point;
        envelopeBefore = points;
        return true;
    }
    if (!event->modifiers().testFlag(Qt::AltModifier))
        return false;
    const double t = xToSeconds(pos.x());
    if (t < 0.0)
        return false;
    std::vector<EnvelopePoint> before = points;
    const auto at = std::find_if(points.begin(), points.end(), [t](const EnvelopePoint &p) { return !(p.time < t); });
    points.insert(at, EnvelopePoint{t, yToValue(pos.y())});
    commitEnvelope(std::move(before));
    return true;
}

void ClipLaneWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !track) {
        QWidget::mousePressEvent(event);
        return;
    }
    dropStaleGestures();
    const QPoint pos = rounded(event->position());
    if (pressEnvelope(event, pos))
        return;
    const int clip = hitTestClip(pos);
    if (toolMode == ScissorTool) {
        if (clip >= 0) {
            emit scissorClicked(clip);
            return;
        }
    } else if (toolMode == MoveTool) {
        if (clip >= 0) {
            moveDragging = true;
            moveClipIndex = clip;
            emit clipDragStarted(clip, rounded(event->globalPosition()));
            return;
        }
        QWidget::mousePressEvent(event);
        return;
    } else {
        if (pressOwnGesture(event))
            return;
        const int edge = hitTestClipEdge(pos);
        if (edge >= 0) {
            trimClipIndex = edge / 2;
            trimLeftEdge = edge % 2 == 0;
            beginClipEdit();
            beginTrim(trimClipIndex, trimLeftEdge);
            emit clicked();
            return;
        }
        if (clip >= 0) {
            selectedClipIndex = clip;
            setFocus();
            dragClipIndex = clip;
            dragMoved = false;
            double end = 0.0;
            clipSpan(clip, dragOrigStart, end);
            dragStartX = pos.x();
            beginClipEdit();
            emit clicked();
            update();
            return;
        }
        selectedClipIndex = -1;
    }
    movePlayheadTo(pos.x());
    emit clicked();
    QWidget::mousePressEvent(event);
}

void ClipLaneWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!track) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    dropStaleGestures();
    const QPoint pos = rounded(event->position());
    if (envelopeDragIndex >= 0) {
        auto &points = track->volumeEnvelope;
        const size_t i = size_t(envelopeDragIndex);
        const double lowest = i == 0 ? 0.0 : points[i - 1].time;
        const double highest = i + 1 < points.size() ? points[i + 1].time : lastPointLimit;
        const double t = std::max(0.0, xToSeconds(pos.x()));
        points[i].time = std::clamp(t, lowest, std::max(lowest, highest));
        points[i].value = yToValue(pos.y());
        setCursor(Qt::SizeAllCursor);
        update();
        return;
    }
    if (moveDragging) {
        emit clipDragMoved(rounded(event->globalPosition()));
        return;
    }
    const int clip = hitTestClip(pos);
    if (toolMode == ScissorTool || toolMode == MoveTool) {
        const Qt::CursorShape over = toolMode == ScissorTool ? Qt::CrossCursor : Qt::OpenHandCursor;
        setCursor(clip >= 0 ? over : Qt::ArrowCursor);
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (dragClipIndex >= 0) {
        const int dx = pos.x() - dragStartX;
        if (dragMoved || std::abs(dx) > dragThreshold) {
            dragMoved = true;
            double start = std::max(0.0, dragOrigStart + dx / TimelineScale::pixelsPerSecond(zoomLevel));
            if (snapEnabled)
                start = snapToGrid(start);
            setClipStart(dragClipIndex, start);
            setCursor(Qt::ClosedHandCursor);
            update();
            return;
        }
    }
    if (trimClipIndex >= 0) {
        trimTo(trimClipIndex, trimLeftEdge, xToSeconds(pos.x()));
        update();
        return;
    }
    if (moveOwnGesture(event))
        return;
    if (showEnvelope && !track->volumeEnvelope.empty() && hitTestEnvelopePoint(pos) >= 0) {
        setCursor(Qt::SizeAllCursor);
        return;
    }
    if (!hoverOwnHandle(pos))
        setCursor(hitTestClipEdge(pos) >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

void ClipLaneWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !track) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dropStaleGestures();
    const QPoint pos = rounded(event->position());
    if (envelopeDragIndex >= 0) {
        auto &points = track->volumeEnvelope;
        std::sort(points.begin(), points.end(), [](const EnvelopePoint &a, const EnvelopePoint &b) { return a.time < b.time; });
        envelopeDragIndex = -1;
        setCursor(Qt::ArrowCursor);
        commitEnvelope(std::move(envelopeBefore));
        envelopeBefore.clear();
        return;
    }
    if (moveDragging) {
        moveDragging = false;
        moveClipIndex = -1;
        setCursor(Qt::ArrowCursor);
        emit clipDragFinished(rounded(event->globalPosition()));
        return;
    }
    if (trimClipIndex >= 0) {
        trimClipIndex = -1;
        commitClipEdit(tr("修剪片段"));
        update();
        return;
    }
    if (releaseOwnGesture(event))
        return;
    if (dragClipIndex >= 0) {
        dragClipIndex = -1;
        if (dragMoved) {
            dragMoved = false;
            setCursor(Qt::ArrowCursor);
            commitClipEdit(tr("移动片段"));
            update();
        } else {
            // A body press that did not drag moves the playhead to where it was released.
            movePlayheadTo(pos.x());
        }
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void ClipLaneWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    const int clip = event->button() == Qt::LeftButton ? hitTestClip(rounded(event->position())) : -1;
    if (clip < 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    emit clipDoubleClicked(clip);
}

void ClipLaneWidget::keyPressEvent(QKeyEvent *event)
{
    dropStaleGestures();
    const bool deleteKey = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    // Shift+Delete removes the whole track, which the row and the page handle.
    if (!deleteKey || event->modifiers().testFlag(Qt::ShiftModifier) || !validClip(selectedClipIndex)
        || gestureActive()) {
        QWidget::keyPressEvent(event);
        return;
    }
    requestDelete(selectedClipIndex);
}

void ClipLaneWidget::contextMenuEvent(QContextMenuEvent *event)
{
    if (!track || gestureActive()) {
        QWidget::contextMenuEvent(event);
        return;
    }
    const QPoint pos = event->pos();
    const int point = showEnvelope && !track->volumeEnvelope.empty() ? hitTestEnvelopePoint(pos) : -1;
    if (point >= 0) {
        QMenu menu;
        const QAction *remove = menu.addAction(tr("删除包络点"));
        // The menu runs its own event loop, in which the lane or its record may change.
        const QPointer<ClipLaneWidget> self(this);
        if (menu.exec(event->globalPos()) != remove || !self || !track)
            return;
        auto &points = track->volumeEnvelope;
        if (point >= int(points.size()))
            return;
        std::vector<EnvelopePoint> before = points;
        points.erase(points.begin() + point);
        commitEnvelope(std::move(before));
        return;
    }
    const int clip = hitTestClip(pos);
    if (clip < 0) {
        QWidget::contextMenuEvent(event);
        return;
    }
    showClipMenu(clip, event->globalPos());
}

void ClipLaneWidget::movePlayheadTo(int x)
{
    playheadSec = std::max(0.0, xToSeconds(x));
    emit playheadMoved(playheadSec);
    update();
}
