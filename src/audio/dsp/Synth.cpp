// SPDX-License-Identifier: GPL-3.0-or-later
// Sixteen-voice polyphonic synthesiser of the DSP class library; no voice stealing.
#include "audio/dsp/Synth.h"

#include <algorithm>
#include <cmath>

Synth::Synth()
    : voices(voiceCount)
{
    // The voices start as sines although the synth's own waveform field says saw.
    for (Voice &voice : voices)
        voice.setSampleRate(sampleRate);
}

void Synth::setSampleRate(float rate)
{
    sampleRate = rate;
    for (Voice &voice : voices)
        voice.setSampleRate(rate);
}

void Synth::setWaveform(WaveformType type)
{
    waveform = type;
    for (Voice &voice : voices)
        voice.setOscillatorType(type);
}

void Synth::setEnvelope(float attackSeconds, float decaySeconds, float sustainLevel, float releaseSeconds)
{
    attack = attackSeconds;
    decay = decaySeconds;
    sustain = sustainLevel;
    release = releaseSeconds;
    for (Voice &voice : voices)
        voice.setEnvelopeParams(attack, decay, sustain, release);
}

void Synth::noteOn(int note, float velocity)
{
    const int index = getFreeVoice();
    if (index < 0)
        return;
    const int clamped = std::clamp(note, 0, 127);
    const float frequency = 440.0f * std::pow(2.0f, static_cast<float>(clamped - 69) / 12.0f);
    voices[static_cast<std::size_t>(index)].start(frequency, velocity);
    activeNotes.emplace_back(note, index);
}

void Synth::noteOff(int note)
{
    const auto entry = std::find_if(activeNotes.begin(), activeNotes.end(),
                                    [note](const auto &active) { return active.first == note; });
    if (entry == activeNotes.end())
        return;
    voices[static_cast<std::size_t>(entry->second)].noteOff();
    activeNotes.erase(entry);
}

void Synth::allNotesOff()
{
    for (const auto &[note, index] : activeNotes)
        voices[static_cast<std::size_t>(index)].noteOff();
    activeNotes.clear();
}

float Synth::process()
{
    float sum = 0.0f;
    for (Voice &voice : voices) {
        if (voice.isActive())
            sum += voice.process();
    }
    return sum * 0.0625f;
}

void Synth::processBlock(float *out, std::uint64_t n)
{
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = process();
}

void Synth::reset()
{
    for (Voice &voice : voices)
        voice.reset();
    activeNotes.clear();
}

int Synth::getActiveVoices() const
{
    return static_cast<int>(std::count_if(voices.begin(), voices.end(),
                                          [](const Voice &voice) { return voice.isActive(); }));
}

int Synth::getFreeVoice() const
{
    for (std::size_t i = 0; i < voices.size(); ++i) {
        if (!voices[i].isActive())
            return static_cast<int>(i);
    }
    return -1;
}

int Synth::findVoiceForNote(int note) const
{
    for (const auto &[activeNote, index] : activeNotes) {
        if (activeNote == note)
            return index;
    }
    return -1;
}
