// SPDX-License-Identifier: GPL-3.0-or-later
// The one stream of an engine: creates the device layer, opens and starts a 32-bit float
// stream with an optional mono input, and stops it; failures are logged under the owner's name.
#pragma once

#include "engine/platform/AudioBackend.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// GUI thread only. `owner` prefixes every log line ("AudioEngine", "MultiTrackAudioEngine").
class StreamHost
{
public:
    // The default device layer; logs "<owner>: RtAudio initialized, API: ..." or the failure.
    explicit StreamHost(const char *owner);
    // Uses `backend` (null behaves like a failed RtAudio start).
    StreamHost(const char *owner, std::unique_ptr<AudioBackend> backend);
    ~StreamHost();

    StreamHost(const StreamHost &) = delete;
    StreamHost &operator=(const StreamHost &) = delete;

    // Logs "<owner>: No audio device found" when false.
    bool hasDevices() const;
    unsigned int defaultOutputDevice() const;
    // Id of `requested` (negative: the default input) when it has an input channel, else 0.
    unsigned int inputDevice(int requested) const;
    std::vector<std::string> deviceNames(bool inputs) const;

    // Opens and starts a stream with stereo output on `outputDevice` when it is not 0 and
    // one input channel on `inputDevice` when it is not 0. `bufferFrames` comes back as the block
    // size the device chose. On failure the reason is logged and nothing is left open.
    bool open(unsigned int outputDevice, unsigned int inputDevice, int sampleRate, unsigned int &bufferFrames,
              AudioBackend::Callback callback, void *userData);
    // Once these return, the callback is not running (see AudioBackend).
    void pause();
    bool resume();
    void close();

    bool isOpen() const;
    // True once the started stream has failed by itself (its device or server went away); it
    // then stays silent and without callbacks until close(). The first call that finds it
    // logs "<owner>: audio stream lost:" with the device layer's reason.
    bool lost() const;
    // The rate to open `deviceId` at so that nothing converts behind our back: the device's
    // own rate, or `wanted` when the device layer does not know it.
    int deviceRate(unsigned int deviceId, bool input, int wanted) const;
    // What the device layer reports of the open stream's latency, in frames.
    long latencyFrames() const;
    // Where the stream's frame 0 met the device, by the device layer's timing; see
    // AudioBackend::deviceLineSeconds.
    std::optional<double> deviceLine(bool input) const;
    bool isRunning() const;

private:
    std::string owner;
    std::unique_ptr<AudioBackend> backend;
    mutable bool lossLogged = false;
};
