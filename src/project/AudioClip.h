// SPDX-License-Identifier: GPL-3.0-or-later
// A piece of audio placed on an audio track, with its trims and fades.
#pragma once

#include <QList>

// Shapes of AudioClip::fadeInCurve / fadeOutCurve; the fields stay plain ints as stored in files.
namespace FadeCurve {
enum Shape : int { Linear = 0, SCurve = 1, Exponential = 2, Logarithmic = 3 };
}

struct AudioClip
{
    QList<float> samples;        // one float per frame (left/right mean for stereo material)
    QList<float> stereoSamples;  // interleaved left/right, or empty for mono material
    int sampleRate = 44100;      // Hz, of both lists
    double start = 0.0;          // timeline seconds where the audible part begins
    double audioStart = 0.0;     // seconds trimmed off the head of the source
    double audioEnd = 0.0;       // seconds trimmed off the tail of the source
    double fadeIn = 0.0;         // seconds; 0 means none
    double fadeOut = 0.0;        // seconds; 0 means none
    int fadeInCurve = FadeCurve::Linear;
    int fadeOutCurve = FadeCurve::Linear;

    // Audible length in seconds; 0 for an empty clip, a rate below 1 or trims that eat it all.
    double length() const;

    // Sample lists compare bit for bit, as QList<float> does.
    bool operator==(const AudioClip &other) const;
};
