// SPDX-License-Identifier: GPL-3.0-or-later
// Undo commands of both editors: the single-track ones point at one of the page's sample
// lists, the track ones at the multitrack page's track vector; each holds what it needs to
// go back and forth. GUI thread only.
#pragma once

#include "project/TrackData.h"

#include <QList>
#include <QString>
#include <QUndoCommand>

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

// A track the page has just appended to `tracks`: the first redo finds it there and does
// nothing; undo takes it off again, redo puts a copy back. Names the track by its index,
// since the vector moves its records when it grows.
class AddTrackCommand : public QUndoCommand
{
public:
    // Copies the last track of `tracks`; with no track (or no vector) the command does nothing.
    AddTrackCommand(std::vector<TrackData> *tracks, const QString &text);
    void undo() override;
    void redo() override;

private:
    std::vector<TrackData> *tracks;
    int index = -1;
    TrackData track;
    bool skipFirstRedo = true;
};
