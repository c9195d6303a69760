// SPDX-License-Identifier: GPL-3.0-or-later
// The note editor of one MIDI clip: piano keys, a beat grid with the notes, a velocity lane,
// a bar ruler and the playhead, with key clicks and new notes sounding through a preview output.
#pragma once

#include "project/MidiClip.h"

#include <QColor>
#include <QDialog>
#include <QRect>
#include <QSet>

#include <functional>
#include <optional>

struct KeyRows;

class LiveAudioPlayer;
class PianoSampler;
class PreviewPlaybackDevice;
class QAudioSink;
class SF2Sampler;

// GUI thread only. Every edit is written at once into the clip. The clip is looked up again
// through the source on every access, so a clip list that changed under the dialog (an append
// that reallocated, an undo) is never read through a stale pointer; when the source no longer
// finds the clip the dialog closes itself. At the end of each gesture that changed the clip,
// `clipEdited` hands over the clip as it was before the gesture, for an undo step.
class PianoRollDialog : public QDialog
{
    Q_OBJECT

public:
    using ClipSource = std::function<MidiClip *()>;

    // The clip must outlive the dialog.
    PianoRollDialog(MidiClip *clip, const QColor &trackColor, SF2Sampler *sf2Sampler, PianoSampler *pianoSampler,
                    QWidget *parent);
    PianoRollDialog(ClipSource clipSource, const QColor &trackColor, SF2Sampler *sf2Sampler,
                    PianoSampler *pianoSampler, QWidget *parent);
    // Stops the preview and releases every note of both instruments.
    ~PianoRollDialog() override;

    // Ends the preview with the dialog, so a closed roll holds no audio output.
    void done(int result) override;
    void setPlayheadPosition(double seconds);
    // While this player runs it renders the instruments; the preview then only sends notes.
    void setLivePlayer(const LiveAudioPlayer *player);
    void startPreviewRenderer();
    void stopPreviewRenderer();
    bool previewRunning() const { return previewSink != nullptr; }
    PreviewPlaybackDevice *previewSource() const { return previewDevice; }

    // The clip as the source finds it now; null when it is gone.
    MidiClip *currentClip() const;

    // Geometry, in widget pixels and clip-relative beats.
    QRect rulerArea() const;
    QRect gridArea() const;
    QRect pianoKeyArea() const;
    QRect velocityArea() const;
    double xToBeat(int x) const;
    int beatToX(double beat) const;
    int yToPitch(int y) const;
    int pitchToY(int pitch) const;
    int rowHeight() const;
    int hitTestNote(const QPoint &p) const;
    // 2i for the left edge of note i, 2i + 1 for its right edge, -1 for none.
    int hitTestNoteEdge(const QPoint &p) const;
    // The first index `hit` gives for a note in the pitch row under p, topmost first; -1 for none.
    int hitTestRow(const QPoint &p, const std::function<int(int, const MidiNote &)> &hit) const;
    double snapToGrid(double &beat) const;
    void clampScroll();

    const QSet<int> &selection() const { return selectedNotes; }
    double horizontalZoom() const { return zoomX; }
    double verticalZoom() const { return zoomY; }
    int verticalScroll() const { return scrollY; }
    double scrollPositionBeats() const { return scrollBeats; }

    static constexpr int keyWidth = 48;
    static constexpr int rulerHeight = 32;
    static constexpr int velocityHeight = 128;
    static constexpr int bottomHeight = 24;
    static constexpr int topPitch = 119;
    static constexpr int bottomPitch = 12;

signals:
    void clipEdited(const MidiClip &before);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum DragMode : int { Idle = 0, Drawing = 1, Moving = 2, Resizing = 3, Banding = 4 };

    void drawBackground(QPainter &painter);
    KeyRows keyRows() const;
    void drawGrid(QPainter &painter);
    void drawNotes(QPainter &painter);
    void drawVelocityPanel(QPainter &painter);
    void drawRuler(QPainter &painter);
    void drawPlayhead(QPainter &painter);
    void drawDragPreview(QPainter &painter);
    void drawSelectionRect(QPainter &painter);

    double beatsPerSecond() const { return bpm / 60.0; }
    double noteStartBeat(const MidiNote &note) const { return note.start * beatsPerSecond(); }
    double noteEndBeat(const MidiNote &note) const { return (note.start + note.duration) * beatsPerSecond(); }
    int velocityAt(int y) const;
    bool validNote(int index) const;
    void pressVelocityLane(QMouseEvent *event, int x, int y);
    void pressKey(int y);
    void releaseKey();
    void sendNoteOn(int pitch, int velocity);
    void sendNoteOff(int pitch);
    void finishDrawing();
    void finishBand();
    bool handleEditKey(QKeyEvent *event);
    // Takes the clip as it is now, before a gesture that may change it.
    void beginEdit();
    // Grows the clip over its notes and reports the gesture when it changed anything.
    void endEdit();
    void growClipToNotes(MidiClip &clip) const;

    ClipSource clipSource;
    QColor trackColor;
    double scrollBeats = 0.0;
    double zoomX = 1.0;
    double zoomY = 1.0;
    int scrollY = 0;
    double bpm = 120.0;  // the grid's own tempo, whatever the project's
    int dragMode = Idle;
    double createStartBeat = 0.0;
    int createPitch = 60;
    double createEndBeat = 0.0;
    int moveNoteIndex = -1;
    double moveGrabBeats = 0.0;
    int moveGrabPitch = 0;
    int resizeNoteIndex = -1;
    bool resizeLeftEdge = false;
    double resizeOrigStart = 0.0;
    double resizeOrigDuration = 0.0;
    double bandStartBeat = 0.0;
    int bandStartY = 0;
    double bandEndBeat = 0.0;
    int bandEndY = 0;
    QSet<int> selectedNotes;
    int defaultVelocity = 127;
    bool velocityDragging = false;
    int velocityNoteIndex = -1;  // the note a velocity drag edits
    int pressedKey = -1;         // the sounding key of the key column, released on any release
    SF2Sampler *sf2Sampler = nullptr;
    PianoSampler *pianoSampler = nullptr;
    const LiveAudioPlayer *livePlayer = nullptr;
    double playheadTime = 0.0;
    QAudioSink *previewSink = nullptr;
    PreviewPlaybackDevice *previewDevice = nullptr;
    std::optional<MidiClip> editBefore;  // the clip at the start of the running gesture
    mutable bool closing = false;
};
