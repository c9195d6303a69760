// SPDX-License-Identifier: GPL-3.0-or-later
// A whole project as read from a project file; includes every project record type.
#pragma once

#include "project/ProjectSettings.h"
#include "project/TimelineMarker.h"
#include "project/TrackData.h"

#include <QString>

#include <vector>

struct ProjectData
{
    QString id;
    QString name;
    QString version;
    ProjectSettings settings;
    std::vector<TrackData> tracks;  // display order
    std::vector<TimelineMarker> markers;  // file order
    double currentTime = 0.0;  // seconds
    double zoom = 1.0;         // 1.0 is 100 pixels per second

    bool operator==(const ProjectData &) const = default;
};
