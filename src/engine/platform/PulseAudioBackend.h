// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio server's default sink and source as one device, through libpulse's threaded
// main loop and a stream thread of our own that reads and writes one block at a time. Unlike
// the generic layer it reports where each block meets the device, from the server's own
// timing, so a take can be placed by it.
#pragma once

#include "engine/StreamClock.h"
#include "engine/platform/AudioBackend.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

struct pa_context;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

class PulseAudioBackend final : public AudioBackend
{
public:
    PulseAudioBackend() = default;
    ~PulseAudioBackend() override;

    std::string apiDisplayName() const override { return "PulseAudio"; }
    // One device, id 1: the server's default sink for output and default source for input.
    // Whether a server answers shows only when a stream opens.
    unsigned int deviceCount() override { return 1; }
    unsigned int deviceId(unsigned int index) override { return index == 0 ? 1 : 0; }
    unsigned int defaultOutputDevice() override { return 1; }
    unsigned int defaultInputDevice() override { return 1; }
    DeviceInfo deviceInfo(unsigned int id) override;

    bool openStream(const StreamParameters *output, const StreamParameters *input, unsigned int sampleRate,
                    unsigned int &bufferFrames, Callback callback, void *userData) override;
    bool startStream() override;
    bool stopStream() override;
    void closeStream() override;
    bool isStreamOpen() const override;
    bool isStreamRunning() const override;
    std::string errorText() const override;
    bool streamLost() const override;
    std::string streamLostReason() const override;
    unsigned int deviceSampleRate(unsigned int id, bool input) override;
    std::optional<double> deviceLineSeconds(bool input) const override;

private:
    // The timing updates one stream asks the server for, one at a time.
    struct TimingRequests
    {
        pa_operation *pending = nullptr;
        // An update asked for since the last start has arrived: the stream's timing is no
        // older than this run.
        bool fresh = false;
        // The server's time of the last snapshot an estimate came from, in microseconds.
        std::uint64_t lastSnapshot = 0;
    };

    // Connects `stream` and waits until it is ready; lock held.
    bool connectStream(pa_stream *stream, bool input);
    void disconnect();

    void run() noexcept;
    // One block through each stream; lock held. False once the stream stops or fails.
    bool readBlock() noexcept;
    bool writeBlock() noexcept;
    // Waits for the server to call back; false when the stream is to stop or has failed.
    bool waitForServer() noexcept;
    // After a block went through `stream`, adds where frame 0 meets the device to
    // `estimates`: `framesSoFar` have gone through and the server's latency of the stream
    // tells when the next one does; `alreadyReadBytes` of the record fragment in hand were
    // read already, which the server does not know yet.
    void noteLine(pa_stream *stream, std::int64_t framesSoFar, std::size_t alreadyReadBytes, bool input,
                  TimingRequests &requests, LineWindow &estimates) noexcept;
    // Asks for the next timing update once the last one has arrived; lock held.
    static void requestTiming(pa_stream *stream, TimingRequests &requests) noexcept;
    static void forgetTiming(TimingRequests &requests) noexcept;
    void fail() noexcept;
    // Lock held.
    void setOutputCorked(bool corked) noexcept;

    pa_threaded_mainloop *loop = nullptr;
    bool openExpired = false;  // set on the main loop's thread, lock held
    pa_context *context = nullptr;
    pa_stream *playback = nullptr;
    pa_stream *record = nullptr;
    // The record fragment being read: pa_stream_peek hands over whole fragments.
    const char *fragment = nullptr;
    std::size_t fragmentBytes = 0;
    std::size_t fragmentRead = 0;
    bool fragmentHeld = false;
    // Until its queue is first full, after every start.
    bool outputCorked = false;
    unsigned int rate = 48000;
    unsigned int frames = 512;
    unsigned int outputChannels = 0;
    unsigned int inputChannels = 0;
    Callback userCallback = nullptr;
    void *userData = nullptr;
    std::vector<float> outputBlock;
    std::vector<float> inputBlock;
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    std::atomic<bool> lost{false};
    std::atomic<int> lostError{0};
    // Frames through each direction since the stream opened.
    std::int64_t framesPlayed = 0;
    std::int64_t framesRecorded = 0;
    TimingRequests outputTiming;
    TimingRequests inputTiming;
    // Server-timed estimates of each direction's line, from the stream thread. Their median
    // counts: a late timing update skews single ones either way.
    LineWindow outputLines;
    LineWindow inputLines;
    std::string lastError;
};
