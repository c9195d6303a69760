// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of an audio track: its clips with their waveforms and fades, edge trims
// that cut or restore the source, fade handles and the fade-curve menu.
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

public:
    // 1 for a fade-in handle, 2 for a fade-out handle, 0 for none; clipIndex gets the clip or -1.
    int hitTestFadeHandle(const QPoint &p, int &clipIndex) const;

protected:
    int clipCount() const override;
    void clipSpan(int index, double &startSec, double &endSec) const override;
    void drawClip(QPainter &painter, int index, const QRect &body) override;
    void drawClipOverlay(QPainter &painter, int index, const QRect &body) override;
    QString emptyText() const override;
    bool hasEdges(int index) const override;
    void setClipStart(int index, double startSec) override;
    void beginTrim(int index, bool leftEdge) override;
    void trimTo(int index, bool leftEdge, double pointerSec) override;
    bool pressOwnGesture(QMouseEvent *event) override;
    bool moveOwnGesture(QMouseEvent *event) override;
    bool releaseOwnGesture(QMouseEvent *event) override;
    bool ownGestureActive() const override { return fadeClipIndex >= 0; }
    void cancelOwnGesture() override;
    bool hoverOwnHandle(const QPoint &p) override;
    bool highlightsStrips(int index) const override { return index == fadeClipIndex; }
    void requestDelete(int index) override;
    void showClipMenu(int index, const QPoint &globalPos) override;

private:
    void drawClipWaveform(QPainter &painter, const QRect &body, const AudioClip &clip) const;
    void drawFades(QPainter &painter, const QRect &body, const AudioClip &clip) const;

    double trimOrigStart = 0.0;
    double trimOrigAudioStart = 0.0;
    double trimOrigAudioEnd = 0.0;
    int fadeDragKind = 0;  // 0 none, 1 fade-in handle, 2 fade-out handle
    int fadeClipIndex = -1;
};
