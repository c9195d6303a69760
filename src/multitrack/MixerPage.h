// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer page: one channel strip per track of the multitrack project and a Master strip.
#pragma once

#include "project/TrackData.h"

#include <QString>
#include <QWidget>

#include <vector>

class AudioPluginBridge;
class ProjectDocument;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;

// GUI thread only. Reads the document's track list (or the list setTracks points at) and
// edits nothing itself: every change on a strip leaves the page as a signal. The strips show
// the records as they were at the last rebuild (setTracks or refreshFromData).
class MixerPage : public QWidget
{
    Q_OBJECT

public:
    struct InsertSlot
    {
        QWidget *widget = nullptr;
        QLabel *numberLabel = nullptr;
        QPushButton *nameButton = nullptr;
        QPushButton *bypassButton = nullptr;
        int trackIndex = -1;
        int slotIndex = 0;
    };

    // The widgets belong to Qt's parent tree; the Master strip has no pan and no M/S.
    struct ChannelStrip
    {
        QWidget *widget = nullptr;
        QLabel *nameLabel = nullptr;
        QLabel *panLabel = nullptr;
        QSlider *panSlider = nullptr;
        QSlider *fader = nullptr;
        QLabel *volumeLabel = nullptr;
        QPushButton *muteButton = nullptr;
        QPushButton *soloButton = nullptr;
        std::vector<InsertSlot> insertSlots;  // 8 on track strips
        int trackIndex = -1;                  // -1 for Master
    };

    static constexpr int insertSlotCount = 8;

    // Shows the tracks of `document`, which outlives the mixer.
    MixerPage(ProjectDocument &document, QWidget *parent);

    // `tracks` outlives the mixer; rebuilds every strip.
    void setTracks(std::vector<TrackData> *tracks);
    void refreshFromData();
    void setPluginBridge(AudioPluginBridge *bridge);
    void setMasterVolume(float gain);
    float masterGain() const { return masterVolume; }

    // "-inf" at or below -60 dB, else one decimal and " dB".
    static QString volToDb(float gain);
    // The label of a pan slider position (-100..100): "C" within one step of centre, else
    // "L"/"R" and the position. Labels come from the integer so -2 reads L2, not C.
    static QString panTextForPosition(int position);
    // A pan value -1..1, labelled as the nearest slider position.
    static QString panText(float pan);

    void updateVolumeDisplay(ChannelStrip &strip, float gain);
    void updatePanDisplay(ChannelStrip &strip, float pan);
    void populateInsertSlots(ChannelStrip &strip, int trackIndex);

    const std::vector<ChannelStrip> &trackStrips() const { return strips; }
    const ChannelStrip &master() const { return masterStrip; }

signals:
    void trackVolumeChanged(int trackIndex, float gain);  // linear, 0..1.5
    void trackPanChanged(int trackIndex, float pan);      // -1..1
    void trackMuteChanged(int trackIndex, bool muted);
    void trackSoloChanged(int trackIndex, bool solo);
    void addPluginRequested(int trackIndex);
    void pluginEditorRequested(int trackIndex, int slotIndex, const QString &pluginPath);
    void removePluginRequested(int trackIndex, int slotIndex);

private:
    void setupUi();
    void clearStrips();
    void rebuildStrips();
    void createStrip(ChannelStrip &strip, int trackIndex, bool isMaster);
    QWidget *createInsertSection(ChannelStrip &strip, int trackIndex, bool isMaster);
    QWidget *createPanSection(ChannelStrip &strip, int trackIndex);
    QWidget *createFaderSection(ChannelStrip &strip, int trackIndex, bool isMaster);
    QWidget *createMuteSoloSection(ChannelStrip &strip, int trackIndex);
    void fillInsertSlot(InsertSlot &slot, const QString &path);
    void addSeparator(int widthPx);
    const TrackData *trackAt(int index) const;

    std::vector<TrackData> *tracks = nullptr;
    AudioPluginBridge *pluginBridge = nullptr;
    QScrollArea *scrollArea = nullptr;
    QWidget *stripContainer = nullptr;
    QHBoxLayout *stripLayout = nullptr;
    std::vector<ChannelStrip> strips;
    ChannelStrip masterStrip;
    float masterVolume = 1.0f;  // the Master fader's gain; nothing else reads it
};
