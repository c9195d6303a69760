// SPDX-License-Identifier: GPL-3.0-or-later
// Sixteen-voice polyphonic synthesiser of the DSP class library; no voice stealing.
#pragma once

#include "audio/dsp/Oscillator.h"
#include "audio/dsp/Voice.h"

#include <cstdint>
#include <utility>
#include <vector>

class Synth
{
public:
    Synth();

    void setSampleRate(float rate); // also restores every voice's default envelope and sine
    void setWaveform(WaveformType type);
    void setEnvelope(float attack, float decay, float sustain, float release);

    // Dropped when all voices sound or release. velocity is a gain 0..1.
    void noteOn(int note, float velocity);
    void noteOff(int note); // releases the first-started voice of the note
    void allNotesOff();

    float process(); // the voices' sum, scaled by 1/16
    void processBlock(float *out, std::uint64_t n);
    void reset();

    int getActiveVoices() const;
    int getFreeVoice() const;
    int findVoiceForNote(int note) const;

private:
    static constexpr int voiceCount = 16;

    float sampleRate = 44100.0f;
    std::vector<Voice> voices;
    WaveformType waveform = WaveformType::Saw;
    std::vector<std::pair<int, int>> activeNotes; // note as given, voice index
    float attack = 0.01f;
    float decay = 0.1f;
    float sustain = 0.7f;
    float release = 0.3f;
};
