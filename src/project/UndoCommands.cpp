// SPDX-License-Identifier: GPL-3.0-or-later
// Sample-list and track undo commands. Sample snapshots are implicitly shared QLists, so taking or restoring
// a whole-list snapshot costs a reference count, not a copy of the audio.
#include "project/UndoCommands.h"

#include <algorithm>
#include <utility>

DeleteSelectionCommand::DeleteSelectionCommand(QList<float> *list, int start, int end, const QString &text)
    : QUndoCommand(text), list(list), start(start)
{
    if (list && start >= 0 && start < end && end <= list->size())
        removed = list->mid(start, end - start);
}

void DeleteSelectionCommand::redo()
{
    // Clamped: a list changed behind the stack's back must never be read or written outside.
    if (!list || removed.isEmpty() || start > list->size())
        return;
    list->remove(start, std::min<qsizetype>(removed.size(), list->size() - start));
}

void DeleteSelectionCommand::undo()
{
    if (!list || removed.isEmpty())
        return;
    const qsizetype at = std::min<qsizetype>(start, list->size());
    list->insert(at, removed.size(), 0.0f);
    std::copy(removed.cbegin(), removed.cend(), list->begin() + at);
}

RecordCommand::RecordCommand(QList<float> *list, int position, const QString &text)
    : QUndoCommand(text), list(list), position(std::max(position, 0))
{
    if (list && position < list->size())
        recorded = list->mid(this->position);
}

void RecordCommand::undo()
{
    if (list && !recorded.isEmpty())
        list->resize(position);
}

void RecordCommand::redo()
{
    if (!list || recorded.isEmpty())
        return;
    list->resize(position);
    list->append(recorded);
}

InsertRecordCommand::InsertRecordCommand(QList<float> *list, QList<float> before, const QString &text)
    : QUndoCommand(text), list(list), before(std::move(before))
{
    if (list)
        after = *list;
}

void InsertRecordCommand::redo()
{
    if (list)
        *list = after;
}

void InsertRecordCommand::undo()
{
    if (list)
        *list = before;
}

SamplesReplaceCommand::SamplesReplaceCommand(QList<float> *monoList, QList<float> *stereoList,
                                             QList<float> monoBefore, QList<float> stereoBefore,
                                             QList<float> monoAfter, QList<float> stereoAfter, const QString &text)
    : QUndoCommand(text), monoList(monoList), stereoList(stereoList), monoBefore(std::move(monoBefore)),
      stereoBefore(std::move(stereoBefore)), monoAfter(std::move(monoAfter)), stereoAfter(std::move(stereoAfter))
{
}

void SamplesReplaceCommand::redo()
{
    if (monoList)
        *monoList = monoAfter;
    if (stereoList)
        *stereoList = stereoAfter;
}

void SamplesReplaceCommand::undo()
{
    if (monoList)
        *monoList = monoBefore;
    if (stereoList)
        *stereoList = stereoBefore;
}

namespace {

// The record at `index`, or null when there is no such track.
TrackData *trackAt(std::vector<TrackData> *tracks, int index)
{
    if (!tracks || index < 0 || index >= static_cast<int>(tracks->size()))
        return nullptr;
    return &(*tracks)[size_t(index)];
}

} // namespace

MarkerSnapshotCommand::MarkerSnapshotCommand(std::vector<TimelineMarker> *markers, std::vector<TimelineMarker> before,
                                             std::vector<TimelineMarker> after, const QString &text)
    : QUndoCommand(text), markers(markers), before(std::move(before)), after(std::move(after))
{
}

void MarkerSnapshotCommand::redo()
{
    if (markers)
        *markers = after;
}

void MarkerSnapshotCommand::undo()
{
    if (markers)
        *markers = before;
}

EnvelopeSnapshotCommand::EnvelopeSnapshotCommand(std::vector<TrackData> *tracks, int trackIndex,
                                                 std::vector<EnvelopePoint> before, std::vector<EnvelopePoint> after,
                                                 bool enabledBefore, bool enabledAfter, const QString &text)
    : QUndoCommand(text), tracks(tracks), trackIndex(trackIndex), before(std::move(before)), after(std::move(after)),
      enabledBefore(enabledBefore), enabledAfter(enabledAfter)
{
}

void EnvelopeSnapshotCommand::redo()
{
    apply(true);
}

void EnvelopeSnapshotCommand::undo()
{
    apply(false);
}

void EnvelopeSnapshotCommand::apply(bool useAfter)
{
    if (TrackData *track = trackAt(tracks, trackIndex)) {
        track->volumeEnvelope = useAfter ? after : before;
        track->envelopeEnabled = useAfter ? enabledAfter : enabledBefore;
    }
}

MidiNoteSnapshotCommand::MidiNoteSnapshotCommand(std::vector<TrackData> *tracks, int trackIndex, int clipIndex,
                                                 std::vector<MidiNote> before, std::vector<MidiNote> after,
                                                 const QString &text)
    : QUndoCommand(text), tracks(tracks), trackIndex(trackIndex), clipIndex(clipIndex), before(std::move(before)),
      after(std::move(after))
{
}

void MidiNoteSnapshotCommand::redo()
{
    apply(true);
}

void MidiNoteSnapshotCommand::undo()
{
    apply(false);
}

void MidiNoteSnapshotCommand::apply(bool useAfter)
{
    TrackData *track = trackAt(tracks, trackIndex);
    if (track && clipIndex >= 0 && clipIndex < static_cast<int>(track->midiClips.size()))
        track->midiClips[size_t(clipIndex)].notes = useAfter ? after : before;
}

template <typename Clip>
TrackClipsSnapshotCommand::SharedClips<Clip> TrackClipsSnapshotCommand::intern(std::vector<Clip> clips)
{
    // The newest snapshot's clips, not kept alive here: a closed project's audio is freed.
    static std::vector<std::weak_ptr<const Clip>> newest;
    SharedClips<Clip> shared;
    shared.reserve(clips.size());
    for (size_t i = 0; i < clips.size(); ++i) {
        std::shared_ptr<const Clip> match;
        // A split or a removal shifts the clips after it by one place.
        for (const size_t at : {i, i + 1, i - 1}) {
            if (at >= newest.size())
                continue;
            if (auto candidate = newest[at].lock(); candidate && *candidate == clips[i]) {
                match = std::move(candidate);
                break;
            }
        }
        shared.push_back(match ? std::move(match) : std::make_shared<const Clip>(std::move(clips[i])));
    }
    newest.assign(shared.begin(), shared.end());
    return shared;
}

template <typename Clip>
std::vector<Clip> TrackClipsSnapshotCommand::materialise(const SharedClips<Clip> &clips)
{
    std::vector<Clip> list;
    list.reserve(clips.size());
    for (const auto &clip : clips)
        list.push_back(*clip);
    return list;
}

TrackClipsSnapshotCommand::TrackClipsSnapshotCommand(std::vector<TrackData> *tracks, int trackIndex,
                                                     std::vector<AudioClip> before, std::vector<AudioClip> after,
                                                     const QString &text)
    : QUndoCommand(text), tracks(tracks), trackIndex(trackIndex), audioBefore(intern(std::move(before))),
      audioAfter(intern(std::move(after)))
{
}

TrackClipsSnapshotCommand *TrackClipsSnapshotCommand::createForMidi(std::vector<TrackData> *tracks, int trackIndex,
                                                                    std::vector<MidiClip> before,
                                                                    std::vector<MidiClip> after, const QString &text)
{
    auto *command = new TrackClipsSnapshotCommand(tracks, trackIndex, {}, {}, text);
    command->isMidi = true;
    command->midiBefore = intern(std::move(before));
    command->midiAfter = intern(std::move(after));
    return command;
}

void TrackClipsSnapshotCommand::redo()
{
    apply(true);
}

void TrackClipsSnapshotCommand::undo()
{
    apply(false);
}

int TrackClipsSnapshotCommand::id() const
{
    // One id for every mergeable clip snapshot; mergeWith tells their keys apart.
    constexpr int clipSnapshotId = 0x436c6970;
    return mergeKey >= 0 ? clipSnapshotId : -1;
}

bool TrackClipsSnapshotCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = dynamic_cast<const TrackClipsSnapshotCommand *>(other);
    if (!next || next->mergeKey != mergeKey || mergeKey < 0 || next->tracks != tracks
        || next->trackIndex != trackIndex || next->isMidi != isMidi)
        return false;
    audioAfter = next->audioAfter;
    midiAfter = next->midiAfter;
    return true;
}

void TrackClipsSnapshotCommand::apply(bool useAfter)
{
    if (TrackData *track = trackAt(tracks, trackIndex)) {
        if (isMidi)
            track->midiClips = materialise(useAfter ? midiAfter : midiBefore);
        else
            track->audioClips = materialise(useAfter ? audioAfter : audioBefore);
    }
}

MoveClipCommand::MoveClipCommand(std::vector<TrackData> *tracks, int sourceIndex, int targetIndex, int clipIndex,
                                 bool isMidi, const AudioClip &audioClip, const MidiClip &midiClip,
                                 const QString &text)
    : QUndoCommand(text), tracks(tracks), sourceIndex(sourceIndex), targetIndex(targetIndex), clipIndex(clipIndex),
      isMidi(isMidi), audioClip(audioClip), midiClip(midiClip)
{
}

template <typename Clip>
void MoveClipCommand::move(std::vector<Clip> TrackData::*clips, const Clip &clip, Snapshots<Clip> &snapshots)
{
    TrackData *source = trackAt(tracks, sourceIndex);
    TrackData *target = trackAt(tracks, targetIndex);
    if (!source || !target || clipIndex < 0 || clipIndex >= static_cast<int>((source->*clips).size()))
        return;
    snapshots.sourceBefore = source->*clips;
    snapshots.targetBefore = target->*clips;
    (source->*clips).erase((source->*clips).begin() + clipIndex);
    (target->*clips).push_back(clip);
    snapshots.sourceAfter = source->*clips;
    snapshots.targetAfter = target->*clips;
    moved = true;
}

template <typename Clip>
void MoveClipCommand::restore(std::vector<Clip> TrackData::*clips, const Snapshots<Clip> &snapshots, bool after)
{
    TrackData *source = trackAt(tracks, sourceIndex);
    TrackData *target = trackAt(tracks, targetIndex);
    if (!source || !target)
        return;
    // With source == target both pairs hold the same vector, so the order does not matter.
    source->*clips = after ? snapshots.sourceAfter : snapshots.sourceBefore;
    target->*clips = after ? snapshots.targetAfter : snapshots.targetBefore;
}

void MoveClipCommand::redo()
{
    if (moved) {
        if (isMidi)
            restore(&TrackData::midiClips, midiSnapshots, true);
        else
            restore(&TrackData::audioClips, audioSnapshots, true);
    } else if (isMidi) {
        move(&TrackData::midiClips, midiClip, midiSnapshots);
    } else {
        move(&TrackData::audioClips, audioClip, audioSnapshots);
    }
}

void MoveClipCommand::undo()
{
    if (!moved)
        return;
    if (isMidi)
        restore(&TrackData::midiClips, midiSnapshots, false);
    else
        restore(&TrackData::audioClips, audioSnapshots, false);
}

TrackPresenceCommand::TrackPresenceCommand(TrackRowHost *host, int index, std::optional<TrackData> track,
                                           const QString &text)
    : QUndoCommand(text), host(host), index(index), track(std::move(track))
{
}

bool TrackPresenceCommand::isFirstRedo()
{
    return std::exchange(skipFirstRedo, false);
}

void TrackPresenceCommand::takeOut()
{
    if (!host || track)
        return;
    std::vector<TrackData> &tracks = host->trackList();
    if (index < 0 || index >= static_cast<int>(tracks.size()))
        return;
    host->destroyTrackRow(index);
    track = std::move(tracks[size_t(index)]);
    tracks.erase(tracks.begin() + index);
    // An erase never reallocates: only the records from `index` on have moved.
    host->rebindTrackRows(index);
    host->updateRuler();
}

void TrackPresenceCommand::putBack()
{
    if (!host || !track)
        return;
    std::vector<TrackData> &tracks = host->trackList();
    if (index < 0 || index > static_cast<int>(tracks.size()))
        return;
    tracks.insert(tracks.begin() + index, std::move(*track));
    track.reset();
    host->createTrackRow(index);
    // The insert may have reallocated, leaving every earlier row pointing at freed records.
    host->rebindTrackRows(0);
    host->updateRuler();
}

AddTrackCommand::AddTrackCommand(TrackRowHost *host, const QString &text)
    : TrackPresenceCommand(host, host ? static_cast<int>(host->trackList().size()) - 1 : -1, std::nullopt, text)
{
}

AddTrackCommand::AddTrackCommand(TrackRowHost *host, int index, const QString &text)
    : TrackPresenceCommand(host, index, std::nullopt, text)
{
}

void AddTrackCommand::undo()
{
    takeOut();
}

void AddTrackCommand::redo()
{
    if (!isFirstRedo())
        putBack();
}

RemoveTrackCommand::RemoveTrackCommand(TrackRowHost *host, int index, TrackData track, const QString &text)
    : TrackPresenceCommand(host, index, std::move(track), text)
{
}

void RemoveTrackCommand::undo()
{
    putBack();
}

void RemoveTrackCommand::redo()
{
    if (!isFirstRedo())
        takeOut();
}
