// SPDX-License-Identifier: GPL-3.0-or-later
// A named position on the multitrack timeline.
#pragma once

#include <QColor>
#include <QString>

struct TimelineMarker
{
    double time = 0.0;  // seconds
    QString label;
    QColor color = QColor(255, 165, 0);

    bool operator==(const TimelineMarker &) const = default;
};
