// SPDX-License-Identifier: GPL-3.0-or-later
// The engines' one view of the audio device layer: device ids, device info and one
// 32-bit float duplex stream, with failures returned as results that carry a text.
#pragma once

#include <memory>
#include <optional>
#include <string>

// Device ids start at 1; 0 means "no device", so a missing default is never mistaken
// for the first device.
class AudioBackend
{
public:
    // Runs on the stream thread; returns 0 to keep the stream running. The buffers are
    // interleaved 32-bit floats; `input` is null when the stream has no input.
    using Callback = int (*)(void *output, void *input, unsigned int frames, double streamTime,
                             unsigned int status, void *userData);

    struct DeviceInfo
    {
        unsigned int id = 0;
        std::string name;
        unsigned int outputChannels = 0;
        unsigned int inputChannels = 0;
        bool isDefaultOutput = false;
        bool isDefaultInput = false;
        unsigned int preferredSampleRate = 0;
    };

    struct StreamParameters
    {
        unsigned int deviceId = 0;
        unsigned int channels = 0;
        unsigned int firstChannel = 0;
    };

    virtual ~AudioBackend() = default;

    // The device layer a fresh engine uses: RtAudio with its own API choice, or the API
    // named by ZENTRIQ_AUDIO_API ("pulse", "alsa" or "jack"). Null with `errorText` set
    // when no instance could be made.
    static std::unique_ptr<AudioBackend> create(std::string &errorText);

    virtual std::string apiDisplayName() const = 0;
    virtual unsigned int deviceCount() = 0;
    // Id of the device at position `index` (0 .. deviceCount() - 1).
    virtual unsigned int deviceId(unsigned int index) = 0;
    // 0 when there is no such device.
    virtual unsigned int defaultOutputDevice() = 0;
    virtual unsigned int defaultInputDevice() = 0;
    // A default-constructed info (id 0) when `id` names no device or probing failed.
    virtual DeviceInfo deviceInfo(unsigned int id) = 0;

    // Opens a 32-bit float stream; `input` may be null. `bufferFrames` comes back as the
    // block size the device chose. On false, errorText() says why and nothing is open.
    virtual bool openStream(const StreamParameters *output, const StreamParameters *input,
                            unsigned int sampleRate, unsigned int &bufferFrames, Callback callback,
                            void *userData) = 0;
    // Once stopStream() or closeStream() has returned, the callback is not running and is
    // not called again until the next startStream().
    virtual bool startStream() = 0;
    virtual bool stopStream() = 0;
    virtual void closeStream() = 0;
    virtual bool isStreamOpen() const = 0;
    virtual bool isStreamRunning() const = 0;
    // Text of the last failure.
    virtual std::string errorText() const = 0;
    // Frames between the callback and the device that the layer admits to (0 when unknown).
    virtual long streamLatencyFrames() { return 0; }
    // True once the started stream has failed by itself (its device or server went away):
    // the callback is then not called any more, and only closing it is left. Cleared by the
    // next openStream.
    virtual bool streamLost() const { return false; }
    // The device layer's words for the loss, for the log.
    virtual std::string streamLostReason() const { return {}; }
    // The rate device `id` itself runs at, for its input side or its output side: a stream at
    // another rate is converted out of our sight. 0 when unknown.
    virtual unsigned int deviceSampleRate(unsigned int /*id*/, bool /*input*/) { return 0; }
    // Steady-clock seconds at which the running stream's frame 0 is heard (output) or was
    // captured (input), by the device layer's own timing of the blocks since the last start.
    // Empty when the layer reports no timing.
    virtual std::optional<double> deviceLineSeconds(bool /*input*/) const { return std::nullopt; }
};
