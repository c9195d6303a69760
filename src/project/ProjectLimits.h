// SPDX-License-Identifier: GPL-3.0-or-later
// How much of a project the multitrack editor can show, and the sample rates audio devices
// and files use. A file past the counts is refused before anything is built from it; a rate
// outside the range is read as 44100 Hz, and the load reports both.
#pragma once

#include <QtGlobal>

#include <vector>

namespace ProjectLimits {

// Every track is a row of widgets; the page is measured (bench/app/project-scale.sh) with
// a thousand.
inline constexpr qsizetype maxTracks = 1000;
// Audio and MIDI clips of all tracks together.
inline constexpr qsizetype maxClips = 100000;
// Notes of all MIDI clips together.
inline constexpr qsizetype maxNotes = 1000000;
inline constexpr int minSampleRate = 8000;
inline constexpr int maxSampleRate = 384000;
// What a rate outside the range is read as.
inline constexpr int fallbackSampleRate = 44100;

constexpr bool supportedSampleRate(int rate)
{
    return rate >= minSampleRate && rate <= maxSampleRate;
}

} // namespace ProjectLimits

// What a load refused or repaired, for the user.
struct ProjectLoadReport
{
    enum class Excess { None, Tracks, Clips, Notes };
    // The first count over its limit; the load was refused.
    Excess excess = Excess::None;
    qsizetype declared = 0;  // how many of them the file holds
    // Rates the file gives outside the supported range, once each in file order; each was
    // read as ProjectLimits::fallbackSampleRate.
    std::vector<int> replacedRates;
};
