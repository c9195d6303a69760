// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of an audio track: its clips with their waveforms, and the playhead.
#pragma once

#include "ClipLaneWidget.h"

struct AudioClip;

class AudioClipWidget : public ClipLaneWidget
{
    Q_OBJECT

public:
    explicit AudioClipWidget(QWidget *parent);

signals:
    void deleteAudioClip(int clipIndex);

protected:
    int clipCount() const override;
    void clipSpan(int index, double &startSec, double &endSec) const override;
    void drawClip(QPainter &painter, int index, const QRect &body) override;
    QString emptyText() const override;

private:
    void drawClipWaveform(QPainter &painter, const QRect &body, const AudioClip &clip) const;
};
