// SPDX-License-Identifier: GPL-3.0-or-later
// Facade of the DSP class library: gain, pan, filter, delay and reverb as one fixed chain
// over interleaved, planar or block audio.
#pragma once

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/DelayProcessor.h"
#include "audio/dsp/FilterProcessor.h"
#include "audio/dsp/GainProcessor.h"
#include "audio/dsp/PannerProcessor.h"
#include "audio/dsp/ReverbProcessor.h"

#include <cstdint>

class ZentriqDSP
{
public:
    ZentriqDSP() = default;
    ZentriqDSP(const ZentriqDSP &) = delete;
    ZentriqDSP &operator=(const ZentriqDSP &) = delete;

    // Sizes the reverb; every path that reaches the reverb needs this first. The filter and
    // the delay keep working at 44100 Hz.
    void initialize(int sampleRate, int blockSize);
    void reset();

    void setGain(float linear) { gain.setGain(linear); }
    void setGainDB(float dB) { gain.setGainDB(dB); }
    float getGain() const { return gain.getGain(); }
    float getGainDB() const { return gain.getGainDB(); }
    void setPan(float pan) { panner.setPan(pan); }
    float getPan() const { return panner.getPan(); }
    void setFilterType(FilterType type) { filter.setType(type); }
    void setFilterFrequency(float hz) { filter.setFrequency(hz); }
    void setFilterQ(float q) { filter.setQ(q); }
    void setFilterEnabled(bool enabled) { filterEnabled = enabled; }
    void setDelayEnabled(bool enabled) { delayEnabled = enabled; }
    void setReverbEnabled(bool enabled) { reverbEnabled = enabled; }
    void setBypass(bool enabled) { bypass = enabled; }
    bool isBypassed() const { return bypass; }
    void setDelayTime(float seconds) { delay.setDelayTime(seconds); }
    void setDelayFeedback(float value) { delay.setFeedback(value); }
    void setDelayMix(float value) { delay.setMix(value); }
    void setReverbRoomSize(float value) { reverb.setRoomSize(value); }
    void setReverbDamping(float value) { reverb.setDamping(value); }
    void setReverbWet(float value) { reverb.setWet(value); }

    // n interleaved frames of `channels` samples: pan, gain and reverb. Channel 0 and 1 are
    // the stereo pair; further channels take the gain and otherwise pass through.
    void process(const float *in, float *out, std::uint64_t n, int channels);
    // n samples in each of `channels` arrays: gain, pan, filter, delay, reverb.
    void processNonInterleaved(const float *const *in, float *const *out, std::uint64_t n, int channels);
    // The planar chain from in to out; out takes in's shape.
    void processBlock(const AudioBlock &in, AudioBlock &out);

private:
    int sampleRate = 44100;
    int blockSize = 512;
    bool bypass = false;
    GainProcessor gain;
    PannerProcessor panner;
    FilterProcessor filter;
    DelayProcessor delay;
    ReverbProcessor reverb;
    bool filterEnabled = false;
    bool delayEnabled = false;
    bool reverbEnabled = false;
};
