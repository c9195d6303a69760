// SPDX-License-Identifier: GPL-3.0-or-later
// Converts project records to and from the .zqp JSON document; touches no file.
#pragma once

#include "project/ProjectData.h"
#include "project/ProjectLimits.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <vector>

class ExtractedStrings;

class ProjectSerializer
{
public:
    // The whole document with every clip's audio embedded as Base64. Never fails.
    static QJsonDocument saveProject(const QString &name, const std::vector<TrackData> &tracks,
                                     const ProjectSettings &settings, double currentTime, double zoom,
                                     const std::vector<TimelineMarker> &markers);
    // Fills `project` from `document`; false (with a warning, `project` untouched) when the
    // document is not a project, holds audio that cannot be decoded or declares more than
    // ProjectLimits allows (named in `report`). Values that would harm later stages are
    // brought into range, each with a log line; replaced sample rates are listed in `report`.
    static bool loadProject(const QJsonDocument &document, ProjectData &project, ProjectLoadReport *report = nullptr);

private:
    friend class ProjectFile;

    // One channel string the file writer streams in place of a placeholder.
    struct OutgoingChannel
    {
        QList<float> list;  // shares the clip's data
        qsizetype first = 0;
        qsizetype stride = 1;
        qsizetype count = 0;
    };
    struct OutgoingChannels
    {
        QString prefix;
        std::vector<OutgoingChannel> channels;
    };
    struct ReadContext;

    // With `outgoing` set, channel strings are placeholders listed there instead of Base64.
    static QJsonDocument buildDocument(const QString &name, const std::vector<TrackData> &tracks,
                                       const ProjectSettings &settings, double currentTime, double zoom,
                                       const std::vector<TimelineMarker> &markers, OutgoingChannels *outgoing);
    // With `extracted` set, placeholder strings of the document resolve through it.
    static bool readDocument(const QJsonDocument &document, ProjectData &project,
                             ExtractedStrings *extracted, ProjectLoadReport *report);

    static QJsonObject serializeSettings(const ProjectSettings &settings);
    static QJsonObject serializeTrack(const TrackData &track, OutgoingChannels *outgoing);
    static QJsonObject serializeMidiClip(const MidiClip &clip);
    static QJsonObject serializeAudioClip(const AudioClip &clip, OutgoingChannels *outgoing);
    static QJsonObject serializeAudioData(const AudioClip &clip, OutgoingChannels *outgoing);

    static ProjectSettings deserializeSettings(const QJsonObject &object, ReadContext &context);
    static TrackData deserializeTrack(const QJsonObject &object, ReadContext &context);
    static MidiClip deserializeMidiClip(const QJsonObject &object, ReadContext &context);
    static AudioClip deserializeAudioClip(const QJsonObject &object, ReadContext &context);
};
