// SPDX-License-Identifier: GPL-3.0-or-later
// Undo commands of the single-track editor: each points at one of the page's sample lists
// and holds the samples it needs to go back and forth. GUI thread only.
#pragma once

#include <QList>
#include <QString>
#include <QUndoCommand>

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
