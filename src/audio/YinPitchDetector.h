// SPDX-License-Identifier: GPL-3.0-or-later
// Offline YIN pitch tracking of a monophonic voice, note segmentation and correction targets.
#pragma once

#include <cstddef>
#include <vector>

// One analysed frame of a pitch track.
struct PitchFrame
{
    double timeSec = 0.0;     // centre of the frame
    float frequencyHz = 0.0f; // 0 when unvoiced
    float confidence = 0.0f;  // 1 - normalised difference at the chosen period
    int midiNote = -1;        // -1 when unvoiced
};

// One note of the track and the pitch it is corrected to.
struct PitchCorrectionSegment
{
    int startFrame = 0;
    int endFrame = 0; // one past the last voiced frame
    float detectedHz = 0.0f;
    float targetHz = 0.0f;
    float shiftSemitones = 0.0f;
    int midiNote = -1;         // nearest note of detectedHz, or the note the user chose
    bool manualTarget = false; // true when the user chose midiNote
};

// A plain value set up by configure(); detect() may run on any thread on its own copy.
class YinPitchDetector
{
public:
    // 40 ms frames every 10 ms at 44.1 kHz until configure().
    float sampleRate = 44100.0f;
    int frameSize = 1764;
    int hopSize = 441;
    float threshold = 0.15f;

    void configure(float sampleRate, float frameMs, float hopMs, float threshold);
    std::vector<PitchFrame> detect(const float *samples, size_t count) const;

    static std::vector<PitchCorrectionSegment> buildSegments(const std::vector<PitchFrame> &frames,
                                                             int minFrames, int maxGap);
    static void computeTargets(std::vector<PitchCorrectionSegment> &segments, float strength);

    // Equal-tempered note numbers with A4 = 440 Hz = note 69.
    static int nearestMidiNote(double frequencyHz);
    static double midiNoteFrequency(int midiNote);
};
