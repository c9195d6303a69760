// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline lane of a MIDI track: its clips with a thumbnail of their notes, edge trims
// of a clip's span, clips drawn with Alt held, and the delete menu.
#pragma once

#include "ClipLaneWidget.h"

struct MidiClip;

// MIDI clips are stored at the tempo of the imported file and sound at the project tempo:
// a stored time s sounds at s x tempoScale. The lane draws, snaps, trims and reports times
// as they sound and writes stored times back.
class MidiClipWidget : public ClipLaneWidget
{
    Q_OBJECT

public:
    explicit MidiClipWidget(QWidget *parent);

    // midiFileTempo / bpm; values that are not positive and finite are ignored.
    void setTempoScale(double scale);
    double tempoScale() const { return scale; }

signals:
    // Stored times of a clip drawn with Alt held.
    void clipCreated(double startSec, double durationSec);
    void deleteClipRequested(int clipIndex);

protected:
    int clipCount() const override;
    void clipSpan(int index, double &startSec, double &endSec) const override;
    void drawClip(QPainter &painter, int index, const QRect &body) override;
    QString emptyText() const override;
    void setClipStart(int index, double startSec) override;
    void beginTrim(int index, bool leftEdge) override;
    void trimTo(int index, bool leftEdge, double pointerSec) override;
    bool pressOwnGesture(QMouseEvent *event) override;
    bool moveOwnGesture(QMouseEvent *event) override;
    bool releaseOwnGesture(QMouseEvent *event) override;
    bool ownGestureActive() const override { return creating; }
    void cancelOwnGesture() override { creating = false; }
    void requestDelete(int index) override;
    void showClipMenu(int index, const QPoint &globalPos) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void drawClipThumbnail(QPainter &painter, const QRect &body, const MidiClip &clip) const;
    void drawDragPreview(QPainter &painter) const;

    double scale = 1.0;
    bool creating = false;
    double createStartSec = 0.0;  // as sounding
    double createEndSec = 0.0;
    double trimOrigStart = 0.0;   // stored
    double trimOrigDuration = 0.0;
};
