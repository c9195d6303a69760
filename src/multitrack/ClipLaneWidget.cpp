// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and MIDI clip lanes share: the timeline mapping, the view setters, the
// playhead, clip selection by click and the paint frame around each kind's clips.
#include "ClipLaneWidget.h"

#include "project/TrackData.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Columns this far off screen are never drawn; holding them here keeps the int conversion defined.
constexpr double farColumn = 1e9;

} // namespace

ClipLaneWidget::ClipLaneWidget(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(laneHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    setStyleSheet(QStringLiteral("background-color: #14141e; border-top: 1px solid #333; border-bottom: 1px solid #333;"));
}

void ClipLaneWidget::setTrackData(TrackData *newTrack)
{
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
    playheadSec = seconds;
    update();
}

void ClipLaneWidget::setWaveColor(const QColor &color)
{
    waveColor = color;
    update();
}

void ClipLaneWidget::setShowEnvelope(bool show)
{
    showEnvelope = show;
    update();
}

void ClipLaneWidget::setToolMode(int mode)
{
    toolMode = mode;
    unsetCursor();
}

void ClipLaneWidget::setSnapBpm(double bpm)
{
    if (bpm > 0.0)
        snapBpm = bpm;
}

int ClipLaneWidget::secondsToX(double seconds) const
{
    const double x = (seconds - viewStartSec) * zoomLevel * 100.0;
    return static_cast<int>(std::clamp(x, -farColumn, farColumn));
}

double ClipLaneWidget::xToSeconds(int x) const
{
    return x / (100.0 * zoomLevel) + viewStartSec;
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

void ClipLaneWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), QColor(20, 20, 30));

    if (track && clipCount() > 0) {
        for (int i = 0; i < clipCount(); ++i) {
            double start = 0.0;
            double end = 0.0;
            clipSpan(i, start, end);
            const int left = secondsToX(start);
            const int right = secondsToX(end);
            if (right < 0 || left > w)
                continue;
            drawClip(painter, i, QRect(left, clipMargin, right - left, h - 2 * clipMargin));
        }
    } else {
        painter.setPen(QColor(100, 100, 120));
        painter.setFont(QFont(QStringLiteral("sans-serif"), 12));
        painter.drawText(rect(), Qt::AlignCenter, emptyText());
    }

    const int x = secondsToX(playheadSec);
    if (x >= 0 && x <= w) {
        painter.setPen(QPen(Qt::white, 1));
        painter.drawLine(x, 0, x, h);
    }
}

void ClipLaneWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !track) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int clip = hitTestClip(pos);
    if (toolMode == ScissorTool && clip >= 0) {
        emit scissorClicked(clip);
        return;
    }
    if (toolMode == NormalTool && clip >= 0) {
        selectedClipIndex = clip;
        setFocus();
        dragClipIndex = clip;
        emit clicked();
        update();
        return;
    }
    if (toolMode == MoveTool) {
        QWidget::mousePressEvent(event);
        return;
    }
    selectedClipIndex = -1;
    movePlayheadTo(pos.x());
    emit clicked();
    QWidget::mousePressEvent(event);
}

void ClipLaneWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || dragClipIndex < 0) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    // A body press that did not drag moves the playhead to where it was released.
    dragClipIndex = -1;
    movePlayheadTo(event->position().toPoint().x());
}

void ClipLaneWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    const int clip = event->button() == Qt::LeftButton ? hitTestClip(event->position().toPoint()) : -1;
    if (clip < 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    emit clipDoubleClicked(clip);
}

void ClipLaneWidget::movePlayheadTo(int x)
{
    playheadSec = std::max(0.0, xToSeconds(x));
    emit playheadMoved(playheadSec);
    update();
}
