// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and writes .zqp files: the document ProjectSerializer describes, with the audio
// streamed past QJsonDocument so hour-long stereo projects save and open again.
#pragma once

#include "project/ProjectData.h"
#include "project/ProjectLimits.h"

#include <QString>

#include <vector>

class QIODevice;

class ProjectFile
{
public:
    enum class SaveResult { Saved, CannotOpen, ShortWrite };
    enum class LoadResult { Loaded, CannotOpen, NotJson, NotProject, TooLarge };

    // Writes the indented JSON document byte for byte as QJsonDocument would, through a
    // temporary file that replaces `path` only when complete, so a failed save never
    // leaves a half-written project. On ShortWrite `writeFailure` gets the system's reason
    // in the user's words ("磁盘空间不足").
    static SaveResult save(const QString &path, const QString &name, const std::vector<TrackData> &tracks,
                           const ProjectSettings &settings, double currentTime, double zoom,
                           const std::vector<TimelineMarker> &markers, QString *writeFailure = nullptr);

    // Fills `project` as ProjectSerializer::loadProject does; on NotJson `parseError` holds
    // the reason, in Chinese for the user. `project` is untouched unless the result is Loaded.
    // TooLarge: the file holds more than ProjectLimits allows, named in `report`, which also
    // lists the rates a loaded file had replaced.
    static LoadResult load(const QString &path, ProjectData &project, QString *parseError = nullptr,
                           ProjectLoadReport *report = nullptr);
    // The same from an open, seekable device (a file or a buffer).
    static LoadResult read(QIODevice &device, ProjectData &project, QString *parseError = nullptr,
                           ProjectLoadReport *report = nullptr);
};
