// SPDX-License-Identifier: GPL-3.0-or-later
// Undo commands of both editors: the single-track ones point at one of the page's sample
// lists, the multitrack ones at the page's track vector, markers and rows; each holds what
// it needs to go back and forth. GUI thread only.
#pragma once

#include "project/TimelineMarker.h"
#include "project/TrackData.h"
#include "project/TrackRowHost.h"

#include <QList>
#include <QString>
#include <QUndoCommand>

#include <memory>
#include <optional>
#include <vector>

// Deletes [start, end) on its first redo; keeps only the removed samples.
class DeleteSelectionCommand : public QUndoCommand
{
public:
    DeleteSelectionCommand(QList<float> *list, int start, int end, const QString &text);
    void undo() override;
    void redo() override;

private:
    QList<float> *list;
    int start;
    QList<float> removed;  // empty when the range was unusable: the command then does nothing
};

// Keeps the tail of the list from `position` on. Nothing creates it today; it stays sound if used.
class RecordCommand : public QUndoCommand
{
public:
    RecordCommand(QList<float> *list, int position, const QString &text);
    void undo() override;
    void redo() override;

private:
    QList<float> *list;
    int position;
    QList<float> recorded;
};

// Pushed after a recording is already in the list; `before` is the list from before it.
class InsertRecordCommand : public QUndoCommand
{
public:
    InsertRecordCommand(QList<float> *list, QList<float> before, const QString &text);
    void undo() override;
    void redo() override;

private:
    QList<float> *list;
    QList<float> before;
    QList<float> after;
};

// Whole before/after contents of both page lists; either target may be null.
class SamplesReplaceCommand : public QUndoCommand
{
public:
    SamplesReplaceCommand(QList<float> *monoList, QList<float> *stereoList, QList<float> monoBefore,
                          QList<float> stereoBefore, QList<float> monoAfter, QList<float> stereoAfter,
                          const QString &text);
    void undo() override;
    void redo() override;

private:
    QList<float> *monoList;
    QList<float> *stereoList;
    QList<float> monoBefore;
    QList<float> stereoBefore;
    QList<float> monoAfter;
    QList<float> stereoAfter;
};

// The multitrack commands below name a track by its index in the page's track vector, never
// by its address: the vector moves its records whenever it grows or shifts. A command whose
// vector or host is null, or whose indices do not fit the current lists, does nothing.
// Clip snapshots share their sample lists with the live clips; nothing here detaches them.

// Whole before/after marker lists (kept sorted by the page).
class MarkerSnapshotCommand : public QUndoCommand
{
public:
    MarkerSnapshotCommand(std::vector<TimelineMarker> *markers, std::vector<TimelineMarker> before,
                          std::vector<TimelineMarker> after, const QString &text);
    void undo() override;
    void redo() override;

private:
    std::vector<TimelineMarker> *markers;
    std::vector<TimelineMarker> before;
    std::vector<TimelineMarker> after;
};

// A track's envelope points together with its enabled flag.
class EnvelopeSnapshotCommand : public QUndoCommand
{
public:
    EnvelopeSnapshotCommand(std::vector<TrackData> *tracks, int trackIndex, std::vector<EnvelopePoint> before,
                            std::vector<EnvelopePoint> after, bool enabledBefore, bool enabledAfter,
                            const QString &text);
    void undo() override;
    void redo() override;

private:
    void apply(bool useAfter);

    std::vector<TrackData> *tracks;
    int trackIndex;
    std::vector<EnvelopePoint> before;
    std::vector<EnvelopePoint> after;
    bool enabledBefore;
    bool enabledAfter;
};

// The notes of one MIDI clip. Nothing creates it today; it stays sound if used.
class MidiNoteSnapshotCommand : public QUndoCommand
{
public:
    MidiNoteSnapshotCommand(std::vector<TrackData> *tracks, int trackIndex, int clipIndex,
                            std::vector<MidiNote> before, std::vector<MidiNote> after, const QString &text);
    void undo() override;
    void redo() override;

private:
    void apply(bool useAfter);

    std::vector<TrackData> *tracks;
    int trackIndex;
    int clipIndex;  // into the track's midiClips
    std::vector<MidiNote> before;
    std::vector<MidiNote> after;
};

// One clip vector of a track, audio or MIDI; the other vector is never touched.
class TrackClipsSnapshotCommand : public QUndoCommand
{
public:
    TrackClipsSnapshotCommand(std::vector<TrackData> *tracks, int trackIndex, std::vector<AudioClip> before,
                              std::vector<AudioClip> after, const QString &text);
    // The caller pushes (and so owns) the returned command.
    static TrackClipsSnapshotCommand *createForMidi(std::vector<TrackData> *tracks, int trackIndex,
                                                    std::vector<MidiClip> before, std::vector<MidiClip> after,
                                                    const QString &text);
    void undo() override;
    void redo() override;
    // Snapshots pushed one after another with the same key (>= 0), on the same track and
    // clip kind, merge into one step: the first one's before, the last one's after.
    void setMergeKey(int key) { mergeKey = key; }
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

private:
    void apply(bool useAfter);

    // Clips held by shared pointer: a clip equal to one of the newest snapshot's neighbours
    // at its place is that same clip, so a run of edits keeps one copy of every clip it
    // leaves alone instead of two per step.
    template <typename Clip>
    using SharedClips = std::vector<std::shared_ptr<const Clip>>;
    template <typename Clip>
    static SharedClips<Clip> intern(std::vector<Clip> clips);
    template <typename Clip>
    static std::vector<Clip> materialise(const SharedClips<Clip> &clips);

    std::vector<TrackData> *tracks;
    int trackIndex;
    int mergeKey = -1;
    bool isMidi = false;
    SharedClips<AudioClip> audioBefore;
    SharedClips<AudioClip> audioAfter;
    SharedClips<MidiClip> midiBefore;
    SharedClips<MidiClip> midiAfter;
};

// Moves clip `clipIndex` of the source track to the end of the target track (which may be
// the same track) on its first redo, keeping both tracks' clip vectors from before and after.
// Undo restores the vectors rather than taking "the target's last clip" back, which would be
// the wrong clip once another one follows the moved clip.
class MoveClipCommand : public QUndoCommand
{
public:
    // `audioClip` / `midiClip`: the clip as it lands on the target; the other one is unused.
    MoveClipCommand(std::vector<TrackData> *tracks, int sourceIndex, int targetIndex, int clipIndex, bool isMidi,
                    const AudioClip &audioClip, const MidiClip &midiClip, const QString &text);
    void undo() override;
    void redo() override;

private:
    template <typename Clip>
    struct Snapshots
    {
        std::vector<Clip> sourceBefore;
        std::vector<Clip> targetBefore;
        std::vector<Clip> sourceAfter;
        std::vector<Clip> targetAfter;
    };

    template <typename Clip>
    void move(std::vector<Clip> TrackData::*clips, const Clip &clip, Snapshots<Clip> &snapshots);
    template <typename Clip>
    void restore(std::vector<Clip> TrackData::*clips, const Snapshots<Clip> &snapshots, bool after);

    std::vector<TrackData> *tracks;
    int sourceIndex;
    int targetIndex;
    int clipIndex;  // in the source track, before the move
    bool isMidi;
    AudioClip audioClip;
    MidiClip midiClip;
    bool moved = false;  // the snapshots hold a move made by the first redo
    Snapshots<AudioClip> audioSnapshots;
    Snapshots<MidiClip> midiSnapshots;
};

// Common part of adding and removing a whole track with its row. Both are pushed after the
// page has already made the change, so their first redo does nothing. The command holds the
// record only while it is out of the list, taken from the list as it was at that moment, so
// putting it back restores exactly what was taken away (changes that never went through the
// stack, such as a new volume, included).
class TrackPresenceCommand : public QUndoCommand
{
protected:
    TrackPresenceCommand(TrackRowHost *host, int index, std::optional<TrackData> track, const QString &text);

    // True once: the first redo stands for the change the page made before pushing.
    bool isFirstRedo();
    // Takes track `index` and its row out of the page; nothing when there is no such track
    // or the record is already held.
    void takeOut();
    // Inserts the held record and a row for it at `index`; nothing when no record is held
    // or `index` lies beyond the end of the list.
    void putBack();

    TrackRowHost *host;
    int index;
    std::optional<TrackData> track;  // set while the track is out of the list
    bool skipFirstRedo = true;
};

// A track the page has just added, together with its row.
class AddTrackCommand : public TrackPresenceCommand
{
public:
    // Names the host's last track; with no track (or no host) the command does nothing.
    AddTrackCommand(TrackRowHost *host, const QString &text);
    // For a track the page has inserted at `index` rather than appended (render in place).
    AddTrackCommand(TrackRowHost *host, int index, const QString &text);
    void undo() override;
    void redo() override;
};

// A track (and its row) the page has just removed from position `index`.
class RemoveTrackCommand : public TrackPresenceCommand
{
public:
    RemoveTrackCommand(TrackRowHost *host, int index, TrackData track, const QString &text);
    void undo() override;
    void redo() override;
};
