// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's clip and marker edits: split, delete, moves between tracks, envelope
// commits, markers, rendering a MIDI clip into audio and editing a clip in a dialog. Each
// pushes one undo step; the track being recorded is left alone.
#include "MultiTrackEditorPage.h"

#include "AudioClipWidget.h"
#include "ClipSplitting.h"
#include "MidiClipWidget.h"
#include "TimelineRulerWidget.h"
#include "document/TrackRendering.h"
#include "TrackRowWidget.h"
#include "editor/AudioEditorPage.h"
#include "project/UndoCommands.h"
#include "ui/TimeViewport.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Markers closer than this to the playhead count as already there.
constexpr double markerTolerance = 0.001;
// The drag's floating window, centred on the pointer.
constexpr int ghostWidth = 140;
constexpr int ghostHeight = 100;

} // namespace

void MultiTrackEditorPage::refreshAfterClipEdit(int trackIndex)
{
    if (trackIndex >= 0 && trackIndex < static_cast<int>(trackRows.size())) {
        if (ClipLaneWidget *lane = trackRows[size_t(trackIndex)]->lane())
            lane->update();
    }
    updateRuler();
    updateEngineTrackSlot(trackIndex);
}

void MultiTrackEditorPage::commitClipsEdit(int trackIndex, const TrackClips &before, const QString &label)
{
    if (!validTrack(trackIndex))
        return;
    const TrackData &track = doc.tracks[size_t(trackIndex)];
    if (track.type == TrackType::Midi) {
        if (before.midi != track.midiClips)
            doc.undoStack->push(TrackClipsSnapshotCommand::createForMidi(&doc.tracks, trackIndex, before.midi, track.midiClips, label));
    } else if (before.audio != track.audioClips) {
        doc.undoStack->push(new TrackClipsSnapshotCommand(&doc.tracks, trackIndex, before.audio, track.audioClips, label));
    }
}

void MultiTrackEditorPage::commitEnvelopeEdit(int trackIndex, const std::vector<EnvelopePoint> &before,
                                              const std::vector<EnvelopePoint> &after)
{
    if (!validTrack(trackIndex))
        return;
    const bool enabled = doc.tracks[size_t(trackIndex)].envelopeEnabled;
    doc.undoStack->push(new EnvelopeSnapshotCommand(&doc.tracks, trackIndex, before, after, enabled, enabled, tr("编辑包络")));
}

void MultiTrackEditorPage::splitClipAtPlayhead(int trackIndex, int clipIndex)
{
    if (!validTrack(trackIndex) || isTrackRecording(trackIndex) || trackIndex >= static_cast<int>(trackRows.size()))
        return;
    TrackData &track = doc.tracks[size_t(trackIndex)];
    const double playhead = trackRows[size_t(trackIndex)]->lane()->playheadPosition();
    const TrackClips before{track.audioClips, track.midiClips};
    if (track.type == TrackType::Midi) {
        if (clipIndex < 0 || clipIndex >= static_cast<int>(track.midiClips.size()))
            return;
        const MidiClip &clip = track.midiClips[size_t(clipIndex)];
        const double scale = midiTempoScale(doc.bpm, doc.midiFileTempo);
        auto halves = splitMidiClip(clip, playhead / scale - clip.start);
        if (!halves)
            return;
        track.midiClips[size_t(clipIndex)] = std::move(halves->first);
        track.midiClips.insert(track.midiClips.begin() + clipIndex + 1, std::move(halves->second));
    } else {
        if (clipIndex < 0 || clipIndex >= static_cast<int>(track.audioClips.size()))
            return;
        auto halves = splitAudioClip(track.audioClips[size_t(clipIndex)], playhead);
        if (!halves)
            return;
        track.audioClips[size_t(clipIndex)] = std::move(halves->first);
        track.audioClips.insert(track.audioClips.begin() + clipIndex + 1, std::move(halves->second));
    }
    commitClipsEdit(trackIndex, before, tr("拆分片段"));
    refreshAfterClipEdit(trackIndex);
}

void MultiTrackEditorPage::onSplitClip()
{
    if (!validTrack(selectedTrack) || selectedTrack >= static_cast<int>(trackRows.size()))
        return;
    const TrackData &track = doc.tracks[size_t(selectedTrack)];
    const int count = static_cast<int>(track.type == TrackType::Midi ? track.midiClips.size() : track.audioClips.size());
    const int before = doc.undoStack->count();
    // The first clip that splits; one that cannot is passed over.
    for (int i = 0; i < count && doc.undoStack->count() == before; ++i)
        splitClipAtPlayhead(selectedTrack, i);
    refreshAfterClipEdit(selectedTrack);
}

void MultiTrackEditorPage::deleteAudioClip(int trackIndex, int clipIndex)
{
    if (!validTrack(trackIndex) || isTrackRecording(trackIndex))
        return;
    TrackData &track = doc.tracks[size_t(trackIndex)];
    if (track.type != TrackType::Audio || clipIndex < 0 || clipIndex >= static_cast<int>(track.audioClips.size()))
        return;
    const TrackClips before{track.audioClips, track.midiClips};
    track.audioClips.erase(track.audioClips.begin() + clipIndex);
    commitClipsEdit(trackIndex, before, tr("删除音频块"));
    refreshAfterClipEdit(trackIndex);
}

void MultiTrackEditorPage::deleteMidiClip(int trackIndex, int clipIndex)
{
    if (!validTrack(trackIndex) || isTrackRecording(trackIndex))
        return;
    TrackData &track = doc.tracks[size_t(trackIndex)];
    if (track.type != TrackType::Midi || clipIndex < 0 || clipIndex >= static_cast<int>(track.midiClips.size()))
        return;
    const TrackClips before{track.audioClips, track.midiClips};
    track.midiClips.erase(track.midiClips.begin() + clipIndex);
    commitClipsEdit(trackIndex, before, tr("删除MIDI块"));
    refreshAfterClipEdit(trackIndex);
}

int MultiTrackEditorPage::findTrackIndexAtGlobalY(int globalY) const
{
    // Only the visible part of the lanes counts: a lane scrolled out of view is not a target.
    const QWidget *viewport = laneScrollArea->viewport();
    const int viewTop = viewport->mapToGlobal(QPoint(0, 0)).y();
    if (globalY < viewTop || globalY >= viewTop + viewport->height())
        return -1;
    for (size_t i = 0; i < trackRows.size(); ++i) {
        const ClipLaneWidget *lane = trackRows[i]->lane();
        if (!lane)
            continue;
        const int top = lane->mapToGlobal(QPoint(0, 0)).y();
        if (top <= globalY && globalY < top + lane->height())
            return static_cast<int>(i);
    }
    return -1;
}

void MultiTrackEditorPage::onClipDragStarted(int trackIndex, int clipIndex, QPoint globalPos)
{
    if (!validTrack(trackIndex))
        return;
    endClipDrag();
    dragging = true;
    dragSourceTrack = trackIndex;
    dragSourceClip = clipIndex;
    dragPressX = globalPos.x();
    const TrackData &track = doc.tracks[size_t(trackIndex)];
    dragIsMidi = track.type == TrackType::Midi;
    if (dragIsMidi && clipIndex >= 0 && clipIndex < static_cast<int>(track.midiClips.size()))
        dragOrigStart = track.midiClips[size_t(clipIndex)].start * midiTempoScale(doc.bpm, doc.midiFileTempo);
    else if (!dragIsMidi && clipIndex >= 0 && clipIndex < static_cast<int>(track.audioClips.size()))
        dragOrigStart = track.audioClips[size_t(clipIndex)].start;
    dragGhost = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    dragGhost->setAttribute(Qt::WA_TranslucentBackground);
    dragGhost->setFixedSize(ghostWidth, ghostHeight);
    dragGhost->move(globalPos.x() - ghostWidth / 2, globalPos.y() - ghostHeight / 2);
    dragGhost->show();
}

void MultiTrackEditorPage::onClipDragMoved(QPoint globalPos)
{
    if (dragging && dragGhost)
        dragGhost->move(globalPos.x() - ghostWidth / 2, globalPos.y() - ghostHeight / 2);
}

void MultiTrackEditorPage::endClipDrag()
{
    if (dragGhost) {
        dragGhost->close();
        delete dragGhost;
        dragGhost = nullptr;
    }
    dragging = false;
    dragSourceTrack = -1;
    dragSourceClip = -1;
}

void MultiTrackEditorPage::onClipDragFinished(QPoint globalPos)
{
    if (!dragging)
        return;
    const int source = dragSourceTrack;
    const int clip = dragSourceClip;
    const bool midi = dragIsMidi;
    endClipDrag();
    const int target = findTrackIndexAtGlobalY(globalPos.y());
    // The source is checked again: the lists may have changed while the drag was held.
    if (!validTrack(target) || !validTrack(source) || isTrackRecording(source) || isTrackRecording(target))
        return;
    TrackData &from = doc.tracks[size_t(source)];
    const int count = static_cast<int>(midi ? from.midiClips.size() : from.audioClips.size());
    if ((from.type == TrackType::Midi) != midi || clip < 0 || clip >= count)
        return;

    if (target == source) {
        const double scale = midi ? midiTempoScale(doc.bpm, doc.midiFileTempo) : 1.0;
        double start = std::max(0.0, TimelineScale::secondsAt(globalPos.x() - dragPressX, dragOrigStart, zoom));
        if (snapEnabled && doc.bpm > 0.0)
            start = std::round(start / (60.0 / doc.bpm)) * (60.0 / doc.bpm);
        const TrackClips before{from.audioClips, from.midiClips};
        if (midi)
            from.midiClips[size_t(clip)].start = start / scale;
        else
            from.audioClips[size_t(clip)].start = start;
        commitClipsEdit(source, before, tr("移动片段"));
        refreshAfterClipEdit(source);
        return;
    }
    if ((doc.tracks[size_t(target)].type == TrackType::Midi) != midi)
        return;
    const AudioClip audio = midi ? AudioClip{} : from.audioClips[size_t(clip)];
    const MidiClip notes = midi ? from.midiClips[size_t(clip)] : MidiClip{};
    doc.undoStack->push(new MoveClipCommand(&doc.tracks, source, target, clip, midi, audio, notes, tr("移动片段")));
    refreshAfterClipEdit(source);
    refreshAfterClipEdit(target);
}

void MultiTrackEditorPage::syncMarkersToRuler()
{
    ruler->setMarkers(doc.markers);
}

void MultiTrackEditorPage::addMarkerAtPlayhead()
{
    const double playhead = trackRows.empty() ? 0.0 : trackRows.front()->lane()->playheadPosition();
    if (std::any_of(doc.markers.begin(), doc.markers.end(),
                    [playhead](const TimelineMarker &m) { return std::abs(m.time - playhead) < markerTolerance; }))
        return;
    std::vector<TimelineMarker> before = doc.markers;
    TimelineMarker marker;
    marker.time = playhead;
    marker.label = QStringLiteral("M%1").arg(doc.markers.size() + 1);
    marker.color = QColor(255, 165, 0);
    doc.markers.push_back(marker);
    std::stable_sort(doc.markers.begin(), doc.markers.end(),
                     [](const TimelineMarker &a, const TimelineMarker &b) { return a.time < b.time; });
    doc.undoStack->push(new MarkerSnapshotCommand(&doc.markers, std::move(before), doc.markers, tr("添加标记")));
    syncMarkersToRuler();
}

void MultiTrackEditorPage::renameMarker(int index)
{
    if (index < 0 || index >= static_cast<int>(doc.markers.size()))
        return;
    bool accepted = false;
    const QString label = QInputDialog::getText(this, tr("重命名标记"), tr("标记名称:"), QLineEdit::Normal,
                                                doc.markers[size_t(index)].label, &accepted);
    if (accepted)
        renameMarker(index, label);
}

void MultiTrackEditorPage::renameMarker(int index, const QString &label)
{
    // The dialog's own event loop may have run an undo that shortened the list.
    if (index < 0 || index >= static_cast<int>(doc.markers.size()) || label.isEmpty()
        || doc.markers[size_t(index)].label == label)
        return;
    std::vector<TimelineMarker> before = doc.markers;
    doc.markers[size_t(index)].label = label;
    doc.undoStack->push(new MarkerSnapshotCommand(&doc.markers, std::move(before), doc.markers, tr("重命名标记")));
    syncMarkersToRuler();
}

void MultiTrackEditorPage::removeMarker(int index)
{
    if (index < 0 || index >= static_cast<int>(doc.markers.size()))
        return;
    std::vector<TimelineMarker> before = doc.markers;
    doc.markers.erase(doc.markers.begin() + index);
    doc.undoStack->push(new MarkerSnapshotCommand(&doc.markers, std::move(before), doc.markers, tr("删除标记")));
    syncMarkersToRuler();
}

void MultiTrackEditorPage::renderMidiInPlace(int trackIndex, int clipIndex)
{
    if (!validTrack(trackIndex))
        return;
    const TrackData &source = doc.tracks[size_t(trackIndex)];
    if (source.type != TrackType::Midi || clipIndex < 0 || clipIndex >= static_cast<int>(source.midiClips.size()))
        return;
    TrackData single;
    single.type = TrackType::Midi;
    single.instrumentIndex = source.instrumentIndex;
    single.midiChannel = source.midiChannel;
    single.midiClips.push_back(source.midiClips[size_t(clipIndex)]);
    const TrackData scaled = doc.tempoScaledTrack(single);
    QList<float> render;
    if (doc.sf2Sampler.isLoaded())
        render = doc.sf2Sampler.renderTrack(scaled, doc.sampleRate);
    else if (doc.pianoSampler.hasSamples())
        render = doc.pianoSampler.renderTrack(scaled, doc.sampleRate);
    if (render.isEmpty())
        return;

    TrackData rendered;
    rendered.type = TrackType::Audio;
    rendered.name = tr("%1 (渲染)").arg(source.name);
    rendered.color = source.color;
    rendered.volume = source.volume;
    rendered.pan = source.pan;
    // The render counts from 0 s; the clip begins where the MIDI clip does, on a whole
    // frame, with the silence before it cut from its head, so it lines up to the frame.
    const qint64 headFrames = std::clamp<qint64>(std::llround(scaled.midiClips.front().start * doc.sampleRate), 0,
                                                 render.size() - 1);
    AudioClip clip;
    clip.samples = std::move(render);
    clip.sampleRate = doc.sampleRate;
    clip.start = double(headFrames) / doc.sampleRate;
    clip.audioStart = clip.start;
    rendered.audioClips.push_back(std::move(clip));

    const int at = trackIndex + 1;
    doc.tracks.insert(doc.tracks.begin() + at, std::move(rendered));
    createTrackRow(at);
    // The insert may have moved every record.
    rebindTrackRows(0);
    updateRuler();
    doc.undoStack->push(new AddTrackCommand(this, at, tr("就地渲染MIDI")));
}

void MultiTrackEditorPage::editAudioClip(int trackIndex, int clipIndex)
{
    if (!validTrack(trackIndex) || isTrackRecording(trackIndex))
        return;
    const TrackData &track = doc.tracks[size_t(trackIndex)];
    if (clipIndex < 0 || clipIndex >= static_cast<int>(track.audioClips.size())
        || track.audioClips[size_t(clipIndex)].samples.isEmpty())
        return;
    const AudioClip original = track.audioClips[size_t(clipIndex)];

    QDialog dialog(this);
    dialog.setWindowTitle(tr("编辑音频 - %1").arg(track.name));
    dialog.resize(1200, 700);
    auto *layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *editor = new AudioEditorPage(&dialog);
    if (original.stereoSamples.isEmpty())
        editor->loadAudioSamples(original.samples, original.sampleRate);
    else
        editor->loadStereoAudioSamples(original.stereoSamples, original.sampleRate);
    layout->addWidget(editor, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = new QPushButton(tr("确定"), &dialog);
    auto *cancel = new QPushButton(tr("取消"), &dialog);
    ok->setFixedSize(80, 32);
    cancel->setFixedSize(80, 32);
    connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;

    // The dialog's event loop may have changed the tracks: the clip must still be the one
    // that was opened, at the same place, or the edit is dropped.
    if (!validTrack(trackIndex) || isTrackRecording(trackIndex))
        return;
    TrackData &target = doc.tracks[size_t(trackIndex)];
    if (clipIndex >= static_cast<int>(target.audioClips.size()) || !(target.audioClips[size_t(clipIndex)] == original))
        return;
    const TrackClips before{target.audioClips, target.midiClips};
    AudioClip &clip = target.audioClips[size_t(clipIndex)];
    clip.samples = editor->document().samples();
    clip.sampleRate = editor->document().sampleRate();
    clip.stereoSamples = editor->document().stereoSamples();
    commitClipsEdit(trackIndex, before, tr("编辑音频"));
    refreshAfterClipEdit(trackIndex);
}

void MultiTrackEditorPage::connectClipEdits(TrackRowWidget *row)
{
    connect(row, &TrackRowWidget::scissorClicked, this,
            [this, row](int clip) { splitClipAtPlayhead(row->trackIndex, clip); });
    connect(row, &TrackRowWidget::deleteAudioClip, this,
            [this, row](int clip) { deleteAudioClip(row->trackIndex, clip); });
    connect(row, &TrackRowWidget::deleteMidiClip, this, [this, row](int clip) { deleteMidiClip(row->trackIndex, clip); });
    connect(row, &TrackRowWidget::clipDragStarted, this,
            [this, row](int clip, QPoint globalPos) { onClipDragStarted(row->trackIndex, clip, globalPos); });
    connect(row, &TrackRowWidget::clipDragMoved, this, &MultiTrackEditorPage::onClipDragMoved);
    connect(row, &TrackRowWidget::clipDragFinished, this, &MultiTrackEditorPage::onClipDragFinished);
    connect(row, &TrackRowWidget::clipDoubleClicked, this,
            [this, row](int clip) { editAudioClip(row->trackIndex, clip); });
    connect(row, &TrackRowWidget::renderMidiInPlace, this,
            [this, row](int clip) { renderMidiInPlace(row->trackIndex, clip); });
    connect(row, &TrackRowWidget::clipsEditCommitted, this,
            [this, row](const TrackClips &before, const QString &label) {
                commitClipsEdit(row->trackIndex, before, label);
            });
    connect(row->lane(), &ClipLaneWidget::envelopeEditCommitted, this,
            [this, row](const std::vector<EnvelopePoint> &before, const std::vector<EnvelopePoint> &after) {
                commitEnvelopeEdit(row->trackIndex, before, after);
            });
    if (row->midiClipWidget)
        row->midiClipWidget->setTempoScale(midiTempoScale(doc.bpm, doc.midiFileTempo));
}

void MultiTrackEditorPage::syncMidiTempoScale()
{
    const double scale = midiTempoScale(doc.bpm, doc.midiFileTempo);
    for (TrackRowWidget *row : trackRows) {
        if (row->midiClipWidget)
            row->midiClipWidget->setTempoScale(scale);
    }
}

bool MultiTrackEditorPage::historyStepAllowed() const
{
    if (recordingTrackIndex >= 0 || dragging)
        return false;
    return std::none_of(trackRows.begin(), trackRows.end(), [](const TrackRowWidget *row) {
        const ClipLaneWidget *lane = row->lane();
        return lane && lane->gestureActive();
    });
}
