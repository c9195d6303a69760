// SPDX-License-Identifier: GPL-3.0-or-later
// Phase-accumulator tone generator of the DSP class library.
#pragma once

#include <cstdint>

// Any other value sounds as silence while the phase still runs.
enum class WaveformType : int { Sine = 0, Square = 1, Saw = 2, Triangle = 3, Noise = 4 };

class Oscillator
{
public:
    void setType(WaveformType waveform) { type = waveform; }
    WaveformType getType() const { return type; }
    void setFrequency(float hz); // 0..48000
    float getFrequency() const { return frequency; }
    void setDetune(float cents) { detune = cents; }
    float getDetune() const { return detune; }

    void start() { running = true; }
    void stop() { running = false; }
    bool isRunning() const { return running; }

    float generateSample(); // 0 while stopped
    void generate(float *out, std::uint64_t n);

private:
    WaveformType type = WaveformType::Sine;
    float frequency = 440.0f;
    float detune = 0.0f;
    float phase = 0.0f;
    float sampleRate = 44100.0f;
    bool running = false;
    std::int32_t noiseSeed = 2147483647;
};
