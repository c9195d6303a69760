// SPDX-License-Identifier: GPL-3.0-or-later
// What the track undo commands need of the page that shows one row of widgets per track,
// so the project module never knows the page itself.
#pragma once

#include "project/TrackData.h"

#include <vector>

class TrackRowHost
{
public:
    virtual ~TrackRowHost() = default;
    virtual std::vector<TrackData> &trackList() = 0;     // the project's tracks
    virtual void createTrackRow(int index) = 0;          // new row for track `index`, inserted at row position `index`
    virtual void destroyTrackRow(int index) = 0;         // removes and deletes row `index`; the record is left alone
    virtual void rebindTrackRows(int from) = 0;          // rows i >= from: updateIndex(i) and rebindTrackData(&tracks[i])
    virtual void updateRuler() = 0;
};
