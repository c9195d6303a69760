// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and writes .zqp files: the document ProjectSerializer describes, with the audio
// streamed past QJsonDocument so hour-long stereo projects save and open again.
#pragma once

#include "project/ProjectData.h"

#include <QString>

#include <vector>

class QIODevice;

class ProjectFile
{
public:
    enum class SaveResult { Saved, CannotOpen, ShortWrite };
    enum class LoadResult { Loaded, CannotOpen, NotJson, NotProject };

    // Writes the indented JSON document byte for byte as QJsonDocument would, through a
    // temporary file that replaces `path` only when complete, so a failed save never
    // leaves a half-written project.
    static SaveResult save(const QString &path, const QString &name, const std::vector<TrackData> &tracks,
                           const ProjectSettings &settings, double currentTime, double zoom,
                           const std::vector<TimelineMarker> &markers);

    // Fills `project` as ProjectSerializer::loadProject does; on NotJson `parseError` holds
    // the reason, in Chinese for the user. `project` is untouched unless the result is Loaded.
    static LoadResult load(const QString &path, ProjectData &project, QString *parseError = nullptr);
    // The same from an open, seekable device (a file or a buffer).
    static LoadResult read(QIODevice &device, ProjectData &project, QString *parseError = nullptr);
};
