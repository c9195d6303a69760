// SPDX-License-Identifier: GPL-3.0-or-later
// The page's open piano rolls: at most one per clip, each finding its clip anew on every
// access, their edits pushed as undo steps on the page's stack.
#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class LiveAudioPlayer;
class PianoRollDialog;
class PianoSampler;
class QUndoStack;
class QWidget;
class SF2Sampler;
class TrackRowWidget;
struct MidiClip;
struct TrackData;

// GUI thread only. A roll names its clip by (row, clip id): the row follows its track through
// every move of the track list and loses it when the track goes, and the id follows the clip
// through every move of the clip list. A roll whose clip is gone closes itself. Closed rolls
// stop their preview and are deleted.
class PianoRollSessions : public QObject
{
    Q_OBJECT

public:
    // Everything is borrowed from the page and outlives this object.
    PianoRollSessions(std::vector<TrackData> *tracks, QUndoStack *undoStack, SF2Sampler *sf2Sampler,
                      PianoSampler *pianoSampler, QWidget *dialogParent);
    // Deletes the open rolls, which release their notes on the instruments: the owner
    // destroys this object while the instruments still exist.
    ~PianoRollSessions() override;

    // Shows the roll of clip `clipIndex` of the row's track, raising the one already open.
    // Null when the row has no such MIDI clip.
    PianoRollDialog *open(TrackRowWidget *row, int clipIndex);
    void setPlayheadPosition(double seconds);
    // The page's live instrument player, for the open and later rolls: while it runs, it
    // alone renders the instruments and the rolls only send their notes.
    void setLivePlayer(const LiveAudioPlayer *player);
    std::vector<PianoRollDialog *> openDialogs() const;

signals:
    // A roll changed the clips of this row's track (notes, and the clip's length).
    void clipsEdited(TrackRowWidget *row);

private:
    struct Session
    {
        QPointer<PianoRollDialog> dialog;
        QPointer<TrackRowWidget> row;
        int clipId = 0;
        int mergeKey = 0;  // the session's edits merge into one undo step
    };

    // Gives the clip an id of the rolls' own range that no other clip of the project has.
    void makeIdUnique(MidiClip &clip);
    void pushEdit(const Session &session, const MidiClip &before);
    void forget(const PianoRollDialog *dialog);

    std::vector<TrackData> *tracks;
    QUndoStack *undoStack;
    SF2Sampler *sf2Sampler;
    PianoSampler *pianoSampler;
    QWidget *dialogParent;
    const LiveAudioPlayer *livePlayer = nullptr;
    std::vector<Session> sessions;
    int nextMergeKey = 0;
};
