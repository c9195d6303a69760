// SPDX-License-Identifier: GPL-3.0-or-later
// A device layer whose stream is driven by the test: each pump() runs the engine's
// real callback for one block, so blocks are exact and repeatable. As a real device does,
// it holds its stream lock while a block runs, so stopping waits for that block; pump()
// may run on another thread than the engine's GUI calls.
#pragma once

#include "engine/platform/AudioBackend.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

struct PumpedDeviceSetup
{
    unsigned int devices = 1;
    unsigned int inputChannels = 2; // of every device; 0 makes recording impossible
    bool failOpen = false;
    bool failStart = false;
    unsigned int deviceRate = 0; // the devices' own rate; 0: unknown
};

class PumpedAudioBackend final : public AudioBackend
{
public:
    using Setup = PumpedDeviceSetup;

    explicit PumpedAudioBackend(Setup setup = {});

    std::string apiDisplayName() const override { return "Pumped"; }
    unsigned int deviceCount() override { return setup.devices; }
    unsigned int deviceId(unsigned int index) override { return index < setup.devices ? index + 1 : 0; }
    unsigned int defaultOutputDevice() override { return setup.devices > 0 ? 1 : 0; }
    unsigned int defaultInputDevice() override { return setup.devices > 0 ? 1 : 0; }
    DeviceInfo deviceInfo(unsigned int id) override;

    bool openStream(const StreamParameters *output, const StreamParameters *input, unsigned int sampleRate,
                    unsigned int &bufferFrames, Callback callback, void *userData) override;
    bool startStream() override;
    bool stopStream() override;
    void closeStream() override;
    bool isStreamOpen() const override { return open.load(); }
    bool isStreamRunning() const override { return running.load(); }
    std::string errorText() const override { return lastError; }
    unsigned int deviceSampleRate(unsigned int, bool) override { return setup.deviceRate; }

    // Runs one block of `frames` through the callback, with `input` (mono) as the
    // captured block when the stream has an input; returns the interleaved stereo output,
    // or nothing when the stream is not running.
    std::optional<std::vector<float>> pump(unsigned int frames, const std::vector<float> &input = {});
    // The same without allocating: `output` holds the interleaved stereo block, `input` the
    // mono capture (its size is the block's frame count). False when the stream is not running.
    bool pumpInto(std::span<float> output, std::span<float> input);

    int opens = 0;
    std::optional<StreamParameters> openedInput;
    unsigned int openedRate = 0;

private:
    Setup setup;
    std::mutex stream;
    std::atomic<bool> open{false};
    std::atomic<bool> running{false};
    bool hasInput = false;
    Callback callback = nullptr;
    void *userData = nullptr;
    std::string lastError;
};

// The ways a stream fails to start, for both engines: each must report it and stay idle.
struct StartFailure
{
    const char *name;
    bool hasBackend;
    PumpedDeviceSetup setup;

    // The backend the engine gets; none for the row without one.
    std::unique_ptr<PumpedAudioBackend> backend() const
    {
        return hasBackend ? std::make_unique<PumpedAudioBackend>(setup) : nullptr;
    }
};

inline const StartFailure startFailures[] = {
    {"no RtAudio instance", false, {}},
    {"no device", true, {.devices = 0}},
    {"open refused", true, {.failOpen = true}},
    {"start refused", true, {.failStart = true}},
};
