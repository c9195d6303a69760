// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and MIDI clip lanes share: the timeline mapping, the view setters, the
// playhead, clip selection by click and the paint frame around each kind's clips.
#pragma once

#include "project/EnvelopePoint.h"

#include <QColor>
#include <QWidget>

#include <vector>

struct TrackData;
class QPainter;

// One track's strip on the timeline. A time t is drawn at x = (t - viewStartSec) x zoom x 100.
// The lane borrows its track record from the page's track vector; whoever moves that vector
// rebinds the lane (setTrackData) before the next repaint. GUI thread only.
class ClipLaneWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int laneHeight = 120;
    // Clip bodies leave this margin to the lane's top and bottom edge.
    static constexpr int clipMargin = 8;

    explicit ClipLaneWidget(QWidget *parent);

    // Takes the track's colour for its clips; null shows the empty state.
    void setTrackData(TrackData *track);
    void setViewStartSec(double seconds);
    void setZoomLevel(double zoom);
    void setPlayheadPosition(double seconds);
    void setWaveColor(const QColor &color);
    void setShowEnvelope(bool show);
    void setToolMode(int mode);
    void setSnapEnabled(bool enabled) { snapEnabled = enabled; }
    // Tempos of 0 or below are ignored, so the beat grid never divides by them.
    void setSnapBpm(double bpm);

    // Truncated toward zero; times far off screen give columns held to +-1e9.
    int secondsToX(double seconds) const;
    double xToSeconds(int x) const;
    float valueToY(float value) const;
    float yToValue(int y) const;
    // Nearest beat of snapBpm, halves away from zero.
    double snapToGrid(double seconds) const;
    // The first clip (in list order) under p, -1 for none.
    int hitTestClip(const QPoint &p) const;

    TrackData *trackData() const { return track; }
    int selectedClip() const { return selectedClipIndex; }
    double playheadPosition() const { return playheadSec; }

signals:
    void playheadMoved(double sec);
    void clipDoubleClicked(int clipIndex);
    void clicked();
    void clipTrimmed();
    void scissorClicked(int clipIndex);
    void clipDragStarted(int clipIndex, QPoint globalPos);
    void clipDragMoved(QPoint globalPos);
    void clipDragFinished(QPoint globalPos);
    void envelopeChanged();
    void envelopeEditCommitted(std::vector<EnvelopePoint> oldPoints, std::vector<EnvelopePoint> newPoints);

protected:
    // The kind's clips: how many, where each lies on the timeline, and how to draw one into
    // its body rectangle (already known to overlap the lane horizontally).
    virtual int clipCount() const = 0;
    virtual void clipSpan(int index, double &startSec, double &endSec) const = 0;
    virtual void drawClip(QPainter &painter, int index, const QRect &body) = 0;
    virtual QString emptyText() const = 0;

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    // Tool modes as the page hands them over.
    enum Tool : int { NormalTool = 0, ScissorTool = 1, MoveTool = 2 };

    TrackData *track = nullptr;
    QColor waveColor{58, 134, 255};
    double viewStartSec = 0.0;
    double zoomLevel = 1.0;
    double playheadSec = 0.0;
    int toolMode = NormalTool;
    int dragClipIndex = -1;      // clip body pressed with the normal tool, until the release
    int selectedClipIndex = -1;
    bool showEnvelope = false;
    bool snapEnabled = false;
    double snapBpm = 120.0;

private:
    void movePlayheadTo(int x);
};
