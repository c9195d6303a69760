// SPDX-License-Identifier: GPL-3.0-or-later
// RtAudio 5.2 behind the AudioBackend interface, for every host API but PulseAudio: index + 1
// as device id, exceptions caught and kept as error text, library warnings silenced, and a
// stream whose device or server went away stopped and reported as lost.
#pragma once

#include "engine/platform/AudioBackend.h"
#include "engine/platform/StreamFaultWatch.h"

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
    bool streamLost() const override;
    std::string streamLostReason() const override;
    unsigned int deviceSampleRate(unsigned int id, bool input) override;

private:
    // Run on the stream thread in place of the caller's callback and error callback.
    static int streamCallback(void *output, void *input, unsigned int frames, double streamTime,
                              unsigned int status, void *self) noexcept;
    static void streamError(int type, const std::string &text) noexcept;

    // Calls `action`, turning an RtAudio exception into a false result with its text.
    template<typename Action>
    bool guarded(Action &&action);

    std::unique_ptr<RtAudio> rtAudio;
    std::string lastError;
    // Set while no stream runs; read by the stream thread.
    Callback userCallback = nullptr;
    void *userData = nullptr;
    StreamFaultWatch faults;
    bool started = false;  // started and not stopped or closed by us since
};
