// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer page: a title bar over the channel strips of the multitrack project's tracks.
#pragma once

#include "project/TrackData.h"

#include <QWidget>

#include <vector>

class AudioPluginBridge;

// GUI thread only. Reads the multitrack page's track list through the pointer it is given;
// the strips themselves are not built yet, so the page shows only its title bar.
class MixerPage : public QWidget
{
    Q_OBJECT

public:
    explicit MixerPage(QWidget *parent);

    // `tracks` belongs to the multitrack page and outlives the mixer.
    void setTracks(std::vector<TrackData> *tracks);
    void setPluginBridge(AudioPluginBridge *bridge);

signals:
    // From the strips: index into the track list; the master strip's pan sends -1.
    void trackVolumeChanged(int index, float gain);  // linear, 0..1.5
    void trackPanChanged(int index, float pan);      // -1..1
    void trackMuteChanged(int index, bool muted);
    void trackSoloChanged(int index, bool solo);

private:
    std::vector<TrackData> *tracks = nullptr;
    AudioPluginBridge *pluginBridge = nullptr;
};
