// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of a MIDI track: its clips with a thumbnail of their notes, and the playhead.
#include "MidiClipWidget.h"

#include "project/TrackData.h"

#include <QPainter>

#include <algorithm>

MidiClipWidget::MidiClipWidget(QWidget *parent) : ClipLaneWidget(parent) {}

int MidiClipWidget::clipCount() const
{
    return track ? static_cast<int>(track->midiClips.size()) : 0;
}

void MidiClipWidget::clipSpan(int index, double &startSec, double &endSec) const
{
    const MidiClip &clip = track->midiClips[static_cast<size_t>(index)];
    startSec = clip.start;
    endSec = clip.start + clip.duration;
}

QString MidiClipWidget::emptyText() const
{
    return tr("MIDI轨道 - 按住Alt键拖拽创建MIDI块");
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
