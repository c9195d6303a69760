// SPDX-License-Identifier: GPL-3.0-or-later
// One track of a multitrack project: its kind, mix settings, clips and volume envelope.
#pragma once

#include "project/AudioClip.h"
#include "project/EnvelopePoint.h"
#include "project/MidiClip.h"

#include <QColor>
#include <QString>

#include <vector>

enum class TrackType : int { Audio = 0, Midi = 1 };

struct TrackData
{
    TrackType type = TrackType::Audio;
    QString name;
    QColor color;          // invalid until the editor or the loader gives one
    float volume = 0.8f;   // linear, 0..1.5 in the interface
    float pan = 0.0f;      // -1 left .. +1 right
    bool muted = false;
    bool solo = false;
    bool armed = false;    // not saved
    int instrumentIndex = 0;  // SoundFont preset of a MIDI track
    int midiChannel = 0;      // 0..15
    int pluginId = -1;        // loaded plug-in instance playing a MIDI track; -1 for none; not saved
    std::vector<AudioClip> audioClips;  // audio tracks only
    std::vector<MidiClip> midiClips;    // MIDI tracks only
    std::vector<QString> insertPluginPaths;  // not saved
    bool envelopeEnabled = false;
    std::vector<EnvelopePoint> volumeEnvelope;  // always sorted by ascending time

    // Gain of the envelope at timeline time t; `volume` when there are no points. Pure.
    float envelopeValueAt(double t) const;

    bool operator==(const TrackData &) const = default;
};
