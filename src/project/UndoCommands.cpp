// SPDX-License-Identifier: GPL-3.0-or-later
// Sample-list and track undo commands. Sample snapshots are implicitly shared QLists, so taking or restoring
// a whole-list snapshot costs a reference count, not a copy of the audio.
#include "project/UndoCommands.h"

#include <algorithm>

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

AddTrackCommand::AddTrackCommand(std::vector<TrackData> *tracks, const QString &text)
    : QUndoCommand(text), tracks(tracks)
{
    if (tracks && !tracks->empty()) {
        index = static_cast<int>(tracks->size()) - 1;
        track = tracks->back();
    }
}

void AddTrackCommand::undo()
{
    if (!tracks || index < 0 || index >= static_cast<int>(tracks->size()))
        return;
    tracks->erase(tracks->begin() + index);
}

void AddTrackCommand::redo()
{
    if (skipFirstRedo) {
        skipFirstRedo = false;
        return;
    }
    if (!tracks || index < 0 || index > static_cast<int>(tracks->size()))
        return;
    tracks->insert(tracks->begin() + index, track);
}
