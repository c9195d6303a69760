// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of a MIDI track: its clips with a thumbnail of their notes, and the playhead.
#pragma once

#include "ClipLaneWidget.h"

struct MidiClip;

class MidiClipWidget : public ClipLaneWidget
{
    Q_OBJECT

public:
    explicit MidiClipWidget(QWidget *parent);

signals:
    void clipCreated(double startSec, double durationSec);
    void deleteClipRequested(int clipIndex);

protected:
    int clipCount() const override;
    void clipSpan(int index, double &startSec, double &endSec) const override;
    void drawClip(QPainter &painter, int index, const QRect &body) override;
    QString emptyText() const override;

private:
    void drawClipThumbnail(QPainter &painter, const QRect &body, const MidiClip &clip) const;
};
