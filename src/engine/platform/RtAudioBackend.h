// SPDX-License-Identifier: GPL-3.0-or-later
// RtAudio 5.2 behind the AudioBackend interface: index + 1 as device id, exceptions
// caught and kept as error text, library warnings silenced.
#pragma once

#include "engine/platform/AudioBackend.h"

#include <memory>

class RtAudio;

class RtAudioBackend final : public AudioBackend
{
public:
    // Takes an instance the caller has created; see AudioBackend::create.
    explicit RtAudioBackend(std::unique_ptr<RtAudio> rtAudio);
    ~RtAudioBackend() override;

    std::string apiDisplayName() const override;
    unsigned int deviceCount() override;
    unsigned int deviceId(unsigned int index) override;
    unsigned int defaultOutputDevice() override;
    unsigned int defaultInputDevice() override;
    DeviceInfo deviceInfo(unsigned int id) override;

    bool openStream(const StreamParameters *output, const StreamParameters *input, unsigned int sampleRate,
                    unsigned int &bufferFrames, Callback callback, void *userData) override;
    bool startStream() override;
    bool stopStream() override;
    void closeStream() override;
    bool isStreamOpen() const override;
    bool isStreamRunning() const override;
    std::string errorText() const override;
    long streamLatencyFrames() override;
    unsigned int deviceSampleRate(unsigned int id, bool input) override;

private:
    // Calls `action`, turning an RtAudio exception into a false result with its text.
    template<typename Action>
    bool guarded(Action &&action);

    std::unique_ptr<RtAudio> rtAudio;
    std::string lastError;
};
