// SPDX-License-Identifier: GPL-3.0-or-later
// What a project file holds of the open project: the records handed to the project writer,
// taken from whichever editor holds the project. Comparing two tells whether it changed.
#pragma once

#include "project/ProjectSettings.h"
#include "project/TimelineMarker.h"
#include "project/TrackData.h"

#include <QString>

#include <vector>

class AudioEditorPage;
class ProjectDocument;

struct ProjectContent
{
    std::vector<TrackData> tracks;
    ProjectSettings settings;
    std::vector<TimelineMarker> markers;

    // The single-track editor's buffer as one audio track named `name`, with one clip when
    // it holds samples. Sample lists are shared with the page, not copied.
    static ProjectContent fromSingleTrack(const AudioEditorPage &page, int bitDepth, const QString &name);
    static ProjectContent fromMultiTrack(const ProjectDocument &document);

    // Shared sample lists compare by address first, so an unchanged project compares cheaply.
    bool operator==(const ProjectContent &) const = default;
};
