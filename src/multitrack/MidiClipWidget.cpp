// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of a MIDI track: its clips with a thumbnail of their notes, edge trims
// of a clip's span, clips drawn with Alt held, and the delete menu.
#include "MidiClipWidget.h"

#include "project/TrackData.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {

// A trimmed clip keeps at least this span (stored seconds).
constexpr double minClipSeconds = 0.1;
// An Alt-drag shorter than this creates nothing.
constexpr double minCreatedSeconds = 0.5;

} // namespace

MidiClipWidget::MidiClipWidget(QWidget *parent) : ClipLaneWidget(parent) {}

void MidiClipWidget::setTempoScale(double newScale)
{
    if (!(newScale > 0.0) || !std::isfinite(newScale) || newScale == scale)
        return;
    scale = newScale;
    update();
}

int MidiClipWidget::clipCount() const
{
    return track ? static_cast<int>(track->midiClips.size()) : 0;
}

void MidiClipWidget::clipSpan(int index, double &startSec, double &endSec) const
{
    const MidiClip &clip = track->midiClips[static_cast<size_t>(index)];
    startSec = clip.start * scale;
    endSec = (clip.start + clip.duration) * scale;
}

QString MidiClipWidget::emptyText() const
{
    return tr("MIDI轨道 - 按住Alt键拖拽创建MIDI块");
}

void MidiClipWidget::paintEvent(QPaintEvent *event)
{
    ClipLaneWidget::paintEvent(event);
    if (creating) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        drawDragPreview(painter);
    }
}

void MidiClipWidget::drawClip(QPainter &painter, int index, const QRect &body)
{
    QColor fill = waveColor;
    const bool selected = index == selectedClipIndex;
    fill.setAlpha(selected ? 90 : 60);
    painter.setBrush(fill);
    painter.setPen(selected ? QPen(Qt::white, 2.5) : QPen(waveColor, 1.5));
    painter.drawRoundedRect(body, 6, 6);
    drawClipThumbnail(painter, body, track->midiClips[static_cast<size_t>(index)]);
}

void MidiClipWidget::drawClipThumbnail(QPainter &painter, const QRect &body, const MidiClip &clip) const
{
    if (clip.notes.empty() || clip.duration <= 0.0)
        return;
    int lowest = 127;
    int highest = 0;
    for (const MidiNote &note : clip.notes) {
        lowest = std::min(lowest, note.pitch);
        highest = std::max(highest, note.pitch);
    }
    const int range = std::max(1, highest - lowest + 1);
    const double innerWidth = body.width() - 8;
    const double innerHeight = body.height() - 8;
    const double noteHeight = std::max(2.0, innerHeight / range);

    QColor fill = waveColor;
    fill.setAlpha(180);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    for (const MidiNote &note : clip.notes) {
        const double x = body.x() + 4 + note.start / clip.duration * innerWidth;
        const double y = body.y() + 4 + double(highest - note.pitch) / range * innerHeight;
        const double w = std::max(2.0, note.duration / clip.duration * innerWidth);
        painter.drawRect(QRectF(x, y, w, noteHeight));
    }
}

void MidiClipWidget::drawDragPreview(QPainter &painter) const
{
    const double a = std::min(createStartSec, createEndSec);
    const double b = std::max(createStartSec, createEndSec);
    const int left = secondsToX(a);
    const QRect area(left, clipMargin, secondsToX(b) - left, height() - 2 * clipMargin);
    QColor fill = waveColor;
    fill.setAlpha(30);
    painter.setBrush(fill);
    painter.setPen(QPen(waveColor, 1, Qt::DashLine));
    painter.drawRoundedRect(area, 6, 6);
    if (b - a >= minCreatedSeconds) {
        painter.setPen(QColor(200, 200, 200));
        painter.setFont(QFont(QStringLiteral("sans-serif"), 10));
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("%1s").arg(b - a, 0, 'f', 1));
    }
}

void MidiClipWidget::setClipStart(int index, double startSec)
{
    track->midiClips[static_cast<size_t>(index)].start = startSec / scale;
}

void MidiClipWidget::beginTrim(int index, bool)
{
    const MidiClip &clip = track->midiClips[static_cast<size_t>(index)];
    trimOrigStart = clip.start;
    trimOrigDuration = clip.duration;
}

void MidiClipWidget::trimTo(int index, bool leftEdge, double pointerSec)
{
    MidiClip &clip = track->midiClips[static_cast<size_t>(index)];
    const double m = pointerSec / scale;
    if (leftEdge) {
        // The end stays put; notes keep their offsets from the clip's start.
        const double end = trimOrigStart + trimOrigDuration;
        clip.start = std::max(0.0, std::min(end - minClipSeconds, m));
        clip.duration = end - clip.start;
        return;
    }
    clip.duration = std::max(clip.start + minClipSeconds, m) - clip.start;
}

bool MidiClipWidget::pressOwnGesture(QMouseEvent *event)
{
    if (!event->modifiers().testFlag(Qt::AltModifier))
        return false;
    creating = true;
    createStartSec = createEndSec = xToSeconds(static_cast<int>(std::lround(event->position().x())));
    update();
    return true;
}

bool MidiClipWidget::moveOwnGesture(QMouseEvent *event)
{
    if (!creating)
        return false;
    createEndSec = xToSeconds(static_cast<int>(std::lround(event->position().x())));
    update();
    return true;
}

bool MidiClipWidget::releaseOwnGesture(QMouseEvent *)
{
    if (!creating)
        return false;
    creating = false;
    double a = std::min(createStartSec, createEndSec);
    double b = std::max(createStartSec, createEndSec);
    if (snapEnabled) {
        a = snapToGrid(a);
        b = snapToGrid(b);
        if (a >= b)
            b = a + minCreatedSeconds;
    }
    // A drag that began left of the timeline's start creates its clip from 0.
    a = std::max(a, 0.0);
    if (b - a >= minCreatedSeconds)
        emit clipCreated(a / scale, (b - a) / scale);
    update();
    return true;
}

void MidiClipWidget::requestDelete(int index)
{
    emit deleteClipRequested(index);
}

void MidiClipWidget::showClipMenu(int index, const QPoint &globalPos)
{
    selectedClipIndex = index;
    setFocus();
    update();
    QMenu menu;
    const QAction *remove = menu.addAction(tr("删除MIDI块"));
    // The menu runs its own event loop, in which the lane or its record may change.
    const QPointer<MidiClipWidget> self(this);
    if (menu.exec(globalPos) == remove && self && validClip(index))
        emit deleteClipRequested(index);
}
