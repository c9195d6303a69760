// SPDX-License-Identifier: GPL-3.0-or-later
// The page's open piano rolls: at most one per clip, each finding its clip anew on every
// access, their edits pushed as undo steps on the page's stack.
#include "PianoRollSessions.h"

#include "PianoRollDialog.h"
#include "TrackRowWidget.h"
#include "project/TrackData.h"
#include "project/UndoCommands.h"

#include <QUndoStack>

#include <algorithm>

namespace {

MidiClip *findClip(TrackRowWidget *row, int clipId)
{
    if (!row || !row->track)
        return nullptr;
    for (MidiClip &clip : row->track->midiClips)
        if (clip.id == clipId)
            return &clip;
    return nullptr;
}

} // namespace

PianoRollSessions::PianoRollSessions(std::vector<TrackData> *tracks, QUndoStack *undoStack, SF2Sampler *sf2,
                                     PianoSampler *piano, QWidget *parent)
    : QObject(parent), tracks(tracks), undoStack(undoStack), sf2Sampler(sf2), pianoSampler(piano), dialogParent(parent)
{
    // An undo or redo may change or take away an open roll's clip: the roll shows it at
    // once (and closes when the clip is gone).
    connect(undoStack, &QUndoStack::indexChanged, this, [this] {
        for (const Session &session : sessions)
            if (session.dialog)
                session.dialog->update();
    });
}

PianoRollSessions::~PianoRollSessions()
{
    for (const Session &session : sessions)
        delete session.dialog;
}

void PianoRollSessions::makeIdUnique(MidiClip &clip)
{
    // Other code numbers new clips by their position (0, 1, 2, ...); ids from this range
    // never meet those, so a later clip cannot take over an open roll's id.
    constexpr int rollIdBase = 1 << 24;
    int largest = rollIdBase - 1;
    bool shared = false;
    for (TrackData &track : *tracks) {
        for (const MidiClip &other : track.midiClips) {
            if (&other == &clip)
                continue;
            largest = std::max(largest, other.id);
            shared = shared || other.id == clip.id;
        }
    }
    if (shared || clip.id < rollIdBase)
        clip.id = largest + 1;
}

PianoRollDialog *PianoRollSessions::open(TrackRowWidget *row, int clipIndex)
{
    if (!row || !row->track || clipIndex < 0 || clipIndex >= int(row->track->midiClips.size()))
        return nullptr;
    MidiClip &clip = row->track->midiClips[size_t(clipIndex)];
    for (const Session &session : sessions) {
        if (session.dialog && session.row == row && findClip(row, session.clipId) == &clip) {
            session.dialog->show();
            session.dialog->raise();
            session.dialog->activateWindow();
            return session.dialog;
        }
    }
    makeIdUnique(clip);

    Session session;
    session.row = row;
    session.clipId = clip.id;
    session.mergeKey = nextMergeKey++;
    const QPointer<TrackRowWidget> rowGuard(row);
    const int clipId = clip.id;
    auto *dialog = new PianoRollDialog([rowGuard, clipId] { return findClip(rowGuard, clipId); }, row->track->color,
                                       sf2Sampler, pianoSampler, dialogParent);
    dialog->setLivePlayer(livePlayer);
    session.dialog = dialog;
    sessions.push_back(session);

    connect(dialog, &PianoRollDialog::clipEdited, this, [this, dialog](const MidiClip &before) {
        const auto it = std::find_if(sessions.begin(), sessions.end(),
                                     [dialog](const Session &s) { return s.dialog == dialog; });
        if (it != sessions.end())
            pushEdit(*it, before);
    });
    // A roll whose track went closes without waiting for its next repaint; queued, so its
    // audio output is not torn down inside the row's destructor.
    connect(row, &QObject::destroyed, dialog, &QDialog::reject, Qt::QueuedConnection);
    connect(dialog, &QDialog::finished, this, [this, dialog] {
        forget(dialog);
        dialog->deleteLater();
    });
    dialog->show();
    return dialog;
}

void PianoRollSessions::pushEdit(const Session &session, const MidiClip &before)
{
    TrackRowWidget *row = session.row;
    if (!row || !row->track || row->trackIndex < 0 || row->trackIndex >= int(tracks->size())
        || &(*tracks)[size_t(row->trackIndex)] != row->track)
        return;
    std::vector<MidiClip> &clips = row->track->midiClips;
    const auto edited = std::find_if(clips.begin(), clips.end(),
                                     [&session](const MidiClip &clip) { return clip.id == session.clipId; });
    if (edited == clips.end())
        return;
    // Nothing but the gesture changed the list since it began, so the list before it is the
    // current one with the clip as it was.
    std::vector<MidiClip> beforeClips = clips;
    beforeClips[size_t(edited - clips.begin())] = before;
    auto *command = TrackClipsSnapshotCommand::createForMidi(tracks, row->trackIndex, std::move(beforeClips), clips,
                                                             tr("编辑音符"));
    command->setMergeKey(session.mergeKey);
    undoStack->push(command);
    emit clipsEdited(row);
}

void PianoRollSessions::forget(const PianoRollDialog *dialog)
{
    std::erase_if(sessions, [dialog](const Session &s) { return !s.dialog || s.dialog == dialog; });
}

void PianoRollSessions::setPlayheadPosition(double seconds)
{
    for (const Session &session : sessions)
        if (session.dialog)
            session.dialog->setPlayheadPosition(seconds);
}

void PianoRollSessions::setLivePlayer(const LiveAudioPlayer *player)
{
    livePlayer = player;
    for (const Session &session : sessions)
        if (session.dialog)
            session.dialog->setLivePlayer(player);
}

std::vector<PianoRollDialog *> PianoRollSessions::openDialogs() const
{
    std::vector<PianoRollDialog *> dialogs;
    for (const Session &session : sessions)
        if (session.dialog)
            dialogs.push_back(session.dialog);
    return dialogs;
}
