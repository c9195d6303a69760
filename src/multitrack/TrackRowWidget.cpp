// SPDX-License-Identifier: GPL-3.0-or-later
// Ties one track record to its header in the page's left column and its clip lane on the timeline.
#include "TrackRowWidget.h"

#include "AudioClipWidget.h"
#include "MidiClipWidget.h"
#include "TrackHeaderWidget.h"
#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "plugins/AudioPluginBridge.h"
#include "project/TrackData.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// The background reaches every child of the header, the borders only the header itself: a
// selector-less border would put the selection bar before each child too.
const char *const selectedHeaderStyle = "* { background: #252540; } TrackHeaderWidget { border-top: 1px solid #2a2a3a; "
                                        "border-bottom: 1px solid #2a2a3a; border-left: 3px solid #00f2ff; }";
const char *const plainHeaderStyle = "* { background: #1c1c28; } TrackHeaderWidget { border-top: 1px solid #2a2a3a; "
                                     "border-bottom: 1px solid #2a2a3a; border-left: 3px solid transparent; }";

bool isRemoveKey(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)
           && event->modifiers().testFlag(Qt::ShiftModifier);
}

} // namespace

TrackRowWidget::TrackRowWidget(QWidget *parent, QWidget *headerHost, QWidget *laneHost)
    : QWidget(parent), header(new TrackHeaderWidget(headerHost ? headerHost : this)), laneParent(laneHost ? laneHost : this)
{
    // The header and the lane show in the page's columns; the row itself stays out of sight.
    resize(0, 0);
    setFocusPolicy(Qt::NoFocus);
}

void TrackRowWidget::setTrackData(TrackData *newTrack, int index, SF2Sampler *sf2Sampler, const PianoSampler *pianoSampler,
                                  AudioPluginBridge *pluginBridge)
{
    trackIndex = index;
    track = newTrack;
    sf2 = sf2Sampler;
    piano = pianoSampler;
    bridge = pluginBridge;

    // Filled before anything is connected, so filling writes nothing back.
    header->setName(track->name);
    header->setColor(track->color);
    header->setVolume(track->volume);
    header->setMuted(track->muted);
    header->setSolo(track->solo);
    header->setArmed(track->armed);
    connectHeader();

    if (track->type != TrackType::Midi) {
        audioClipWidget = new AudioClipWidget(laneParent);
        audioClipWidget->setTrackData(track);
        connectLane(audioClipWidget);
        connect(audioClipWidget, &ClipLaneWidget::clipDoubleClicked, this, &TrackRowWidget::clipDoubleClicked);
        connect(audioClipWidget, &AudioClipWidget::deleteAudioClip, this, &TrackRowWidget::deleteAudioClip);
        return;
    }

    header->setInstrumentVisible(true);
    fillInstrumentList();
    midiClipWidget = new MidiClipWidget(laneParent);
    midiClipWidget->setTrackData(track);
    connect(header, &TrackHeaderWidget::instrumentChanged, this, &TrackRowWidget::chooseInstrument);
    connect(header, &TrackHeaderWidget::vst3EditorToggled, this,
            [this](bool open) { emit vst3EditorToggled(trackIndex, open); });
    connectLane(midiClipWidget);
    // A double-click on a MIDI clip opens its piano roll, which the page keeps.
    connect(midiClipWidget, &MidiClipWidget::clipCreated, this, &TrackRowWidget::appendMidiClip);
    connect(midiClipWidget, &MidiClipWidget::deleteClipRequested, this, &TrackRowWidget::deleteMidiClip);
}

void TrackRowWidget::connectHeader()
{
    // Each edit lands in whatever record the row is bound to when it arrives.
    const auto writer = [this](auto field) {
        return [this, field](auto value) {
            if (track)
                track->*field = value;
            emit trackChanged();
        };
    };
    connect(header, &TrackHeaderWidget::nameChanged, this, writer(&TrackData::name));
    connect(header, &TrackHeaderWidget::volumeChanged, this, writer(&TrackData::volume));
    connect(header, &TrackHeaderWidget::muteToggled, this, writer(&TrackData::muted));
    connect(header, &TrackHeaderWidget::soloToggled, this, writer(&TrackData::solo));
    connect(header, &TrackHeaderWidget::armToggled, this, writer(&TrackData::armed));
    connect(header, &TrackHeaderWidget::removeRequested, this, [this] { emit removeRequested(trackIndex); });
}

void TrackRowWidget::connectLane(ClipLaneWidget *lane)
{
    connect(lane, &ClipLaneWidget::playheadMoved, this, &TrackRowWidget::playheadMoved);
    connect(lane, &ClipLaneWidget::clicked, this, [this] { emit trackSelected(trackIndex); });
    connect(lane, &ClipLaneWidget::clipTrimmed, this, &TrackRowWidget::trackChanged);
    connect(lane, &ClipLaneWidget::scissorClicked, this, &TrackRowWidget::scissorClicked);
    connect(lane, &ClipLaneWidget::clipDragStarted, this, &TrackRowWidget::clipDragStarted);
    connect(lane, &ClipLaneWidget::clipDragMoved, this, &TrackRowWidget::clipDragMoved);
    connect(lane, &ClipLaneWidget::clipDragFinished, this, &TrackRowWidget::clipDragFinished);
    connect(lane, &ClipLaneWidget::clipsEditCommitted, this, &TrackRowWidget::clipsEditCommitted);
}

void TrackRowWidget::rebindTrackData(TrackData *newTrack)
{
    track = newTrack;
    if (midiClipWidget)
        midiClipWidget->setTrackData(track);
    if (audioClipWidget)
        audioClipWidget->setTrackData(track);
}

void TrackRowWidget::setSelected(bool isSelected)
{
    // Every row hears every selection; restyling a header is what costs.
    if (isSelected != selected)
        header->setStyleSheet(QLatin1String(isSelected ? selectedHeaderStyle : plainHeaderStyle));
    selected = isSelected;
    setFocusPolicy(selected ? Qt::StrongFocus : Qt::NoFocus);
    if (selected)
        setFocus();
}

ClipLaneWidget *TrackRowWidget::lane() const
{
    if (midiClipWidget)
        return midiClipWidget;
    return audioClipWidget;
}

void TrackRowWidget::rebuildInstrumentList()
{
    if (!midiClipWidget)
        return;
    // Filling the list reports index 0 first, which would overwrite the track's preset.
    const QSignalBlocker blocker(header);
    fillInstrumentList();
}

void TrackRowWidget::refreshHeader()
{
    if (!track)
        return;
    const QSignalBlocker blocker(header);
    header->setVolume(track->volume);
    header->setMuted(track->muted);
    header->setSolo(track->solo);
}

void TrackRowWidget::fillInstrumentList()
{
    vst3Entries.clear();
    QList<QString> items;
    int selectedItem = 0;
    if (bridge) {
        for (const int id : bridge->loadedPluginIds()) {
            const QString name = QString::fromStdString(bridge->pluginName(id));
            if (!name.isEmpty())
                vst3Entries.push_back({id, name});
        }
    }
    for (size_t i = 0; i < vst3Entries.size(); ++i) {
        items.append(tr("[VST3] %1").arg(vst3Entries[i].name));
        if (vst3Entries[i].id == track->pluginId)
            selectedItem = static_cast<int>(i);
    }
    if (!vst3Entries.empty())
        items.append(QString());
    presetBase = static_cast<int>(items.size());

    const bool usesPlugin = track->pluginId >= 0;
    int presetIndex = 0;
    if (sf2 && sf2->isLoaded()) {
        const QList<QString> presets = sf2->getPresetNames();
        items.append(presets);
        if (!presets.isEmpty())
            presetIndex = std::clamp(track->instrumentIndex, 0, static_cast<int>(presets.size()) - 1);
    } else {
        items.append(piano && piano->hasSamples() ? tr("内置钢琴") : tr("(未加载音色库)"));
    }
    if (!usesPlugin)
        selectedItem = presetBase + presetIndex;
    header->setInstrumentList(items, selectedItem);
    if (usesPlugin) {
        header->setVst3ButtonVisible(true);
        return;
    }
    // The channel gets the preset the list shows, so a stored index past the SoundFont's
    // presets never reaches the synthesiser.
    if (sf2 && sf2->isLoaded())
        sf2->selectPreset(track->midiChannel, presetIndex);
}

void TrackRowWidget::chooseInstrument(int index)
{
    if (!track || index < 0)
        return;
    if (index < static_cast<int>(vst3Entries.size())) {
        track->pluginId = vst3Entries[static_cast<size_t>(index)].id;
        track->instrumentIndex = 0;
        header->setVst3ButtonVisible(true);
        if (bridge)
            bridge->activatePlugin(track->pluginId);
        emit trackChanged();
        return;
    }
    // Cleared before the button is released, so whoever hears the editor close finds no
    // plug-in on the track any more.
    track->pluginId = -1;
    header->setVst3ButtonVisible(false);
    header->setVst3ButtonChecked(false);
    track->instrumentIndex = std::max(0, index - presetBase);
    if (sf2 && sf2->isLoaded())
        sf2->selectPreset(track->midiChannel, track->instrumentIndex);
    emit trackChanged();
}

void TrackRowWidget::appendMidiClip(double startSec, double durationSec)
{
    if (!track)
        return;
    TrackClips before{track->audioClips, track->midiClips};
    MidiClip clip;
    clip.id = static_cast<int>(track->midiClips.size());
    clip.start = startSec;
    clip.duration = durationSec;
    track->midiClips.push_back(std::move(clip));
    midiClipWidget->update();
    emit clipsEditCommitted(std::move(before), tr("创建MIDI块"));
    emit trackChanged();
}

void TrackRowWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit trackSelected(trackIndex);
    QWidget::mousePressEvent(event);
}

void TrackRowWidget::keyPressEvent(QKeyEvent *event)
{
    if (!isRemoveKey(event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    emit removeRequested(trackIndex);
    event->accept();
}

void TrackRowWidget::contextMenuEvent(QContextMenuEvent *event)
{
    emit trackSelected(trackIndex);
    QMenu menu;
    const QAction *remove = menu.addAction(tr("删除轨道"));
    // The menu runs its own event loop, in which the track may go.
    const QPointer<TrackRowWidget> self(this);
    if (menu.exec(event->globalPos()) == remove && self)
        emit removeRequested(trackIndex);
}
