// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack editor page: owns the open project's tracks, markers and undo history.
#include "MultiTrackEditorPage.h"

#include <QUndoStack>

MultiTrackEditorPage::MultiTrackEditorPage(QWidget *parent) : QWidget(parent), undoStack(new QUndoStack(this))
{
    setObjectName(QStringLiteral("MultiTrackEditorPage"));
}
