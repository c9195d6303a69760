// SPDX-License-Identifier: GPL-3.0-or-later
// Ties one track record to its header in the page's left column and its clip lane on the timeline.
#pragma once

#include "ClipLaneWidget.h"

#include <QPoint>
#include <QString>
#include <QWidget>

#include <vector>

class AudioClipWidget;
class AudioPluginBridge;
class MidiClipWidget;
class PianoSampler;
class SF2Sampler;
class TrackHeaderWidget;
struct TrackData;

// The row fills the header from the record, writes the header's edits back and re-emits the
// lane's requests with its track index. It borrows the record from the page's track vector:
// whoever moves that vector calls rebindTrackData and updateIndex before the row is used
// again. Handlers read `track` and `trackIndex` when they run, never values taken earlier.
// Paints nothing; it sits unlaid-out at zero size and only takes the keyboard focus while
// selected. GUI thread only.
class TrackRowWidget : public QWidget
{
    Q_OBJECT

public:
    // The header and the lane are made right in the widgets that show them (the page's
    // columns), as moving a styled widget tree to another parent styles all of it again;
    // without them they stay children of the row.
    explicit TrackRowWidget(QWidget *parent, QWidget *headerHost = nullptr, QWidget *laneHost = nullptr);

    // Binds the row once, right after construction, and creates the lane of the track's kind.
    // `sf2`, `piano` and `bridge` may be null; they must outlive the row.
    void setTrackData(TrackData *track, int index, SF2Sampler *sf2, const PianoSampler *piano,
                      AudioPluginBridge *bridge);
    void updateIndex(int index) { trackIndex = index; }
    // Points the row and its lane at the record's new place; the header keeps what it shows.
    void rebindTrackData(TrackData *track);
    void setSelected(bool selected);
    // Rebuilds a MIDI track's instrument list (after a SoundFont or plug-in load) without
    // reporting an instrument change, and gives the track's channel its preset again.
    void rebuildInstrumentList();
    // Shows the record's volume, mute and solo again without writing anything back, after
    // they were changed elsewhere (the mixer).
    void refreshHeader();

    // The MIDI lane of a MIDI track, else the audio lane.
    ClipLaneWidget *lane() const;

    TrackHeaderWidget *header = nullptr;
    MidiClipWidget *midiClipWidget = nullptr;
    AudioClipWidget *audioClipWidget = nullptr;
    TrackData *track = nullptr;
    int trackIndex = -1;
    bool selected = false;

signals:
    void playheadMoved(double sec);
    void removeRequested(int index);
    void trackChanged();
    void clipDoubleClicked(int clipIndex);
    void trackSelected(int index);
    void scissorClicked(int clipIndex);
    void clipDragStarted(int clipIndex, QPoint globalPos);
    void clipDragMoved(QPoint globalPos);
    void clipDragFinished(QPoint globalPos);
    void deleteMidiClip(int clipIndex);
    void deleteAudioClip(int clipIndex);
    void renderMidiInPlace(int clipIndex);
    // An edit of the clip lists made in the lane or by the row: the lists before it and
    // its name; the record holds the lists after it.
    void clipsEditCommitted(TrackClips before, QString label);
    void vst3EditorToggled(int trackIndex, bool open);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void connectHeader();
    void connectLane(ClipLaneWidget *lane);
    void fillInstrumentList();
    void chooseInstrument(int index);
    void appendMidiClip(double startSec, double durationSec);

    // A loaded plug-in as the instrument list offers it.
    struct Vst3Entry
    {
        int id = -1;
        QString name;
    };

    QWidget *laneParent = nullptr;
    SF2Sampler *sf2 = nullptr;
    const PianoSampler *piano = nullptr;
    AudioPluginBridge *bridge = nullptr;
    // What the instrument list shows: the plug-ins first, then, after a separator item, the
    // presets from `presetBase` on.
    std::vector<Vst3Entry> vst3Entries;
    int presetBase = 0;
};
