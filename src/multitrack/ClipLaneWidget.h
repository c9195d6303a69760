// SPDX-License-Identifier: GPL-3.0-or-later
// What the audio and MIDI clip lanes share: the timeline mapping, the view setters, the
// playhead, the volume envelope, the tools and the clip gestures every kind has (body drag
// with snapping, edge trims, the move tool's drag, the scissor, delete, double-click).
#pragma once

#include "project/AudioClip.h"
#include "project/EnvelopePoint.h"
#include "project/MidiClip.h"

#include <QColor>
#include <QWidget>

#include <optional>
#include <utility>
#include <vector>

struct TrackData;
class QPainter;

// Both clip lists of a track as they were before an in-lane edit, for its undo step.
struct TrackClips
{
    std::vector<AudioClip> audio;
    std::vector<MidiClip> midi;

    bool operator==(const TrackClips &) const = default;
};

// One track's strip on the timeline. A time t is drawn at x = (t - viewStartSec) x zoom x 100.
// The lane borrows its track record from the page's track vector; whoever moves that vector
// rebinds the lane (setTrackData) before the next repaint. A gesture writes the record in
// place while it runs; every mouse event first checks the gesture's clip still exists, so a
// list replaced under a held drag (an undo) ends the gesture instead of writing past it.
// GUI thread only.
class ClipLaneWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int laneHeight = 120;
    // Clip bodies leave this margin to the lane's top and bottom edge.
    static constexpr int clipMargin = 8;
    // Tool modes as the page hands them over.
    enum Tool : int { NormalTool = 0, ScissorTool = 1, MoveTool = 2 };

    explicit ClipLaneWidget(QWidget *parent);

    // Takes the track's colour for its clips; null shows the empty state.
    void setTrackData(TrackData *track);
    void setViewStartSec(double seconds);
    void setZoomLevel(double zoom);
    void setPlayheadPosition(double seconds);
    void setWaveColor(const QColor &color);
    // Switching off abandons an envelope point drag.
    void setShowEnvelope(bool show);
    // Abandons any gesture in mid-way without a signal; the record keeps what was written.
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
    // 2 x clip for a left edge, 2 x clip + 1 for a right edge within 6 pixels, -1 for none.
    int hitTestClipEdge(const QPoint &p) const;
    // The first envelope point within 8 pixels of p, -1 for none.
    int hitTestEnvelopePoint(const QPoint &p) const;

    TrackData *trackData() const { return track; }
    int selectedClip() const { return selectedClipIndex; }
    double playheadPosition() const { return playheadSec; }
    // A pressed gesture is still held; edit keys wait until it ends.
    bool gestureActive() const;

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
    // Just before clipTrimmed when an in-lane edit changed the clips: the lists before it
    // and the edit's name for the history; the record holds the lists after it.
    void clipsEditCommitted(TrackClips before, QString label);

protected:
    // The kind's clips: how many, where each lies on the timeline (as it sounds), and how
    // to draw one into its body rectangle (already known to overlap the lane horizontally).
    virtual int clipCount() const = 0;
    virtual void clipSpan(int index, double &startSec, double &endSec) const = 0;
    virtual void drawClip(QPainter &painter, int index, const QRect &body) = 0;
    // Drawn over the trim strips (the audio lane's selection outline).
    virtual void drawClipOverlay(QPainter &, int, const QRect &) {}
    virtual QString emptyText() const = 0;
    // Whether the clip can be trimmed by its edges (an empty audio clip cannot).
    virtual bool hasEdges(int) const { return true; }
    // The columns of the clip's start and end edges; nothing for a clip without edges.
    std::optional<std::pair<int, int>> edgeColumns(int index) const;
    // Moves a clip so it starts sounding at `startSec`.
    virtual void setClipStart(int index, double startSec) = 0;
    // Edge trims: the gesture begins on an edge, then follows the pointer's time.
    virtual void beginTrim(int index, bool leftEdge) = 0;
    virtual void trimTo(int index, bool leftEdge, double pointerSec) = 0;
    // The kind's own gestures (fade handles, Alt-drawn clips). Press: true when it took the
    // press, tried before the edges. Move and release: true when one of them was running.
    virtual bool pressOwnGesture(QMouseEvent *) { return false; }
    virtual bool moveOwnGesture(QMouseEvent *) { return false; }
    virtual bool releaseOwnGesture(QMouseEvent *) { return false; }
    virtual bool ownGestureActive() const { return false; }
    virtual void cancelOwnGesture() {}
    // Hover cursor of the kind's own handles; false when none is under p.
    virtual bool hoverOwnHandle(const QPoint &) { return false; }
    // Strips at both ends are drawn on this clip too.
    virtual bool highlightsStrips(int) const { return false; }
    // Delete or Backspace on the selected clip; the context menu on a clip.
    virtual void requestDelete(int index) = 0;
    virtual void showClipMenu(int index, const QPoint &globalPos) = 0;

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

    // Copies the clip lists for the undo step of the edit that begins now.
    void beginClipEdit();
    // Reports the edit begun by beginClipEdit when it changed the clips, then clipTrimmed.
    void commitClipEdit(const QString &label);
    // True when `index` names an existing clip.
    bool validClip(int index) const { return index >= 0 && index < clipCount(); }
    // The part of the lane the current paint event draws; clips scan only what lies in it.
    QRect paintArea;

    TrackData *track = nullptr;
    QColor waveColor{58, 134, 255};
    double viewStartSec = 0.0;
    double zoomLevel = 1.0;
    double playheadSec = 0.0;
    int trimClipIndex = -1;
    bool trimLeftEdge = false;
    int toolMode = NormalTool;
    bool moveDragging = false;
    int moveClipIndex = -1;
    bool dragMoved = false;
    int dragClipIndex = -1;      // clip body pressed with the normal tool, until the release
    double dragOrigStart = 0.0;  // where it started sounding at the press
    int dragStartX = 0;
    int selectedClipIndex = -1;
    bool showEnvelope = false;
    int envelopeDragIndex = -1;
    std::vector<EnvelopePoint> envelopeBefore;
    bool snapEnabled = false;
    double snapBpm = 120.0;

private:
    void movePlayheadTo(int x);
    // Ends every gesture whose clip or point no longer exists.
    void dropStaleGestures();
    void cancelGestures();
    bool pressEnvelope(QMouseEvent *event, const QPoint &pos);
    void drawEnvelope(QPainter &painter) const;
    void commitEnvelope(std::vector<EnvelopePoint> before);

    TrackClips clipsBefore;  // taken by beginClipEdit
};
