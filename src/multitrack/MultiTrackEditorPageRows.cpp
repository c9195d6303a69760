// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's rows: one header and one clip lane per track, built, bound to their
// records, shown in bursts and taken away again.
#include "MultiTrackEditorPage.h"

#include "ClipLaneWidget.h"
#include "MidiClipWidget.h"
#include "PianoRollSessions.h"
#include "TimelineRulerWidget.h"
#include "TrackHeaderWidget.h"
#include "TrackRowWidget.h"
#include "video/widgets/VideoPlayerDialog.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

void MultiTrackEditorPage::scrollToTracks(int first, int last)
{
    // Rows added just now show, and so take their place, only once the event loop runs: Qt
    // shows a widget put into a layout later. The import that added them has not let it run.
    QMetaObject::invokeMethod(
        this,
        [this, first, last] {
            const int count = static_cast<int>(trackRows.size());
            if (first < 0 || last < first || last >= count)
                return;
            for (QScrollArea *area : {laneScrollArea, headerScrollArea}) {
                area->widget()->layout()->activate();
                QCoreApplication::sendPostedEvents(area->viewport(), QEvent::LayoutRequest);
            }
            laneScrollArea->ensureWidgetVisible(trackRows[static_cast<size_t>(last)]->lane(), 0, 0);
            laneScrollArea->ensureWidgetVisible(trackRows[static_cast<size_t>(first)]->lane(), 0, 0);
        },
        Qt::QueuedConnection);
}

void MultiTrackEditorPage::rebuildTrackRows()
{
    for (int i = static_cast<int>(trackRows.size()) - 1; i >= 0; --i)
        destroyTrackRow(i);
    for (int i = 0; i < static_cast<int>(doc.tracks.size()); ++i)
        createTrackRow(i);
    selectedTrack = -1;
    updateRuler();
}

void MultiTrackEditorPage::refreshInstrumentLists()
{
    for (TrackRowWidget *row : trackRows)
        row->rebuildInstrumentList();
}

void MultiTrackEditorPage::createTrackRow(int index)
{
    if (index < 0 || index >= static_cast<int>(doc.tracks.size()) || index > static_cast<int>(trackRows.size()))
        return;
    stopPlaybackBeforeTrackChange();
    auto *row = new TrackRowWidget(this, headerColumn->parentWidget(), lanesColumn->parentWidget());
    row->setTrackData(&doc.tracks[static_cast<size_t>(index)], index, &doc.sf2Sampler, &doc.pianoSampler, pluginBridge);
    ClipLaneWidget *lane = row->lane();
    // Styled when first shown, not at the next turn of the event loop as a new child of a
    // shown column would be.
    row->header->hide();
    QCoreApplication::removePostedEvents(row->header, QEvent::PolishRequest);
    headerColumn->insertWidget(index, row->header);
    lanesColumn->insertWidget(index, lane);

    // Removal comes back through the event loop: the request may come from inside one of
    // the row's own handlers, and the row's index is read when the removal runs.
    connect(row, &TrackRowWidget::removeRequested, this, [this, row] {
        QMetaObject::invokeMethod(
            this,
            [this, guard = QPointer<TrackRowWidget>(row)] {
                if (guard)
                    removeTrack(guard->trackIndex);
            },
            Qt::QueuedConnection);
    });
    connect(row, &TrackRowWidget::trackChanged, this, [this, row] { onTrackChanged(row); });
    connect(row, &TrackRowWidget::trackSelected, this, &MultiTrackEditorPage::selectTrack);
    connect(row, &TrackRowWidget::playheadMoved, this, &MultiTrackEditorPage::syncPlayheadAll);
    connect(row, &TrackRowWidget::vst3EditorToggled, this, &MultiTrackEditorPage::onVst3EditorToggled);
    connect(lane, &ClipLaneWidget::envelopeChanged, this, [this, row] { updateEngineTrackSlot(row->trackIndex); });
    connectClipEdits(row);
    if (row->midiClipWidget) {
        connect(row->midiClipWidget, &ClipLaneWidget::clipDoubleClicked, this,
                [this, row](int clipIndex) { pianoRolls->open(row, clipIndex); });
    }
    connect(row->header, &TrackHeaderWidget::videoButtonClicked, this, [this] {
        if (videoDialog) {
            videoDialog->show();
            videoDialog->raise();
        }
    });

    showRowLater(lane);
    trackRows.insert(trackRows.begin() + index, row);
    row->show();
    // The selection stays on its track when a row is put back above it (an undone removal).
    if (selectedTrack >= index)
        ++selectedTrack;
    lane->setViewStartSec(viewStartSec);
    lane->setPlayheadPosition(ruler->playheadSec);
    syncZoomAll();
    lane->setToolMode(toolMode);
    lane->setSnapEnabled(snapEnabled);
    lane->setSnapBpm(doc.bpm);
    if (envelopeButton->isChecked())
        lane->setShowEnvelope(true);
}

void MultiTrackEditorPage::destroyTrackRow(int index)
{
    if (index < 0 || index >= static_cast<int>(trackRows.size()))
        return;
    stopPlaybackBeforeTrackChange();
    TrackRowWidget *row = trackRows[static_cast<size_t>(index)];
    trackRows.erase(trackRows.begin() + index);
    // Every path that takes a row away (a removal, its redo, an undone addition) keeps the
    // selection on its track, or clears it when this was the one.
    if (selectedTrack == index)
        selectedTrack = -1;
    else if (selectedTrack > index)
        --selectedTrack;
    // Deleted once control is back in the event loop, in case a call from one of the row's
    // widgets led here; until then nothing can reach the record they pointed at.
    ClipLaneWidget *lane = row->lane();
    row->rebindTrackData(nullptr);
    row->disconnect(this);
    headerColumn->removeWidget(row->header);
    lanesColumn->removeWidget(lane);
    std::erase(lanesToShow, lane);
    for (QWidget *widget : {static_cast<QWidget *>(row->header), static_cast<QWidget *>(lane)}) {
        widget->hide();
        widget->deleteLater();
    }
    row->deleteLater();
}

void MultiTrackEditorPage::showRowLater(QWidget *lane)
{
    if (lanesToShow.empty()) {
        headerColumn->setEnabled(false);
        lanesColumn->setEnabled(false);
        QMetaObject::invokeMethod(this, &MultiTrackEditorPage::showWaitingRows, Qt::QueuedConnection);
    }
    lane->hide();  // shown with the others, not by the layout one at a time
    lanesToShow.push_back(lane);
}

void MultiTrackEditorPage::showWaitingRows()
{
    for (QWidget *widget : std::exchange(lanesToShow, {}))
        widget->show();
    headerColumn->setEnabled(true);
    lanesColumn->setEnabled(true);
    headerColumn->activate();
    lanesColumn->activate();
    revealHeadersInView();
}

void MultiTrackEditorPage::revealHeadersInView()
{
    // Where the headers stand once the column has its full height: one under the other,
    // from the top. The column may still be squeezed into the view when this runs.
    const int viewTop = -headerColumn->parentWidget()->y();
    const int viewHeight = headerScrollArea->viewport()->height();
    // A view's height above and below, so a scroll finds its headers ready.
    const int nearTop = viewTop - viewHeight;
    const int nearBottom = viewTop + 2 * viewHeight;
    int top = 0;
    for (const TrackRowWidget *row : trackRows) {
        if (top >= nearBottom)
            break;
        const int bottom = top + row->header->minimumHeight();
        if (bottom > nearTop && row->header->isHidden())
            row->header->show();
        top = bottom;
    }
}

void MultiTrackEditorPage::revealHeadersSoon()
{
    if (headerRevealPending)
        return;
    headerRevealPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            headerRevealPending = false;
            revealHeadersInView();
        },
        Qt::QueuedConnection);
}

void MultiTrackEditorPage::rebindTrackRows(int from)
{
    for (int i = std::max(from, 0); i < static_cast<int>(trackRows.size()); ++i) {
        trackRows[static_cast<size_t>(i)]->updateIndex(i);
        trackRows[static_cast<size_t>(i)]->rebindTrackData(&doc.tracks[static_cast<size_t>(i)]);
    }
}
