// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track engine: plays one borrowed mono buffer to both output channels and
// delivers captured mono input blocks, over one stream of the default devices.
#pragma once

#include "engine/SnapshotExchange.h"
#include "engine/StreamClock.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioBackend;
class StreamHost;

// Real-time contract: audioCallback runs on the stream thread, takes no lock, allocates
// nothing, emits nothing and never waits for the GUI. Every other operation runs on the
// GUI thread; changes reach the stream thread as one prepared snapshot (buffer, length and
// the three callbacks), swapped in by pointer at the start of the next block.
class AudioEngine : public QObject
{
    Q_OBJECT

public:
    // All three run on the stream thread under the same contract: no lock, no allocation,
    // no signal, no exception, and no call back into the engine. `input` is null when the
    // stream has no input.
    using ProcessCallback = std::function<void(const float *input, float *output, int frames)>;
    using RecordCallback = std::function<void(const float *input, int frames)>;
    using PlaybackProcessCallback = std::function<void(float *samples, int count)>;

    AudioEngine();
    // Uses `backend` as the device layer (null behaves like a failed RtAudio start).
    explicit AudioEngine(std::unique_ptr<AudioBackend> backend);
    ~AudioEngine() override;

    bool initialize(int sampleRate, int bufferFrames);
    bool setInputDevice(int id);
    bool setOutputDevice(int id);
    void setVolume(float v);
    float getVolume() const;

    // Once one of these has returned, the replaced callback is not running and is never
    // called again, so its owner may go. They wait at most for the block in progress.
    void setProcessCallback(ProcessCallback fn);
    void setRecordCallback(RecordCallback fn);
    void setPlaybackProcessCallback(PlaybackProcessCallback fn);

    // `buffer` is borrowed until stopPlayback, the next startPlayback, stop, shutdown or
    // the destructor returns. `rate` has no effect: one sample plays per output frame.
    bool startPlayback(const float *buffer, int length, int rate, int startSample);
    void pausePlayback();
    void resumePlayback();
    void stopPlayback();

    // Fails, leaving any running stream alone, when there is no input device.
    bool startRecording();
    // Records like startRecording, over an input-only stream: a capture beside another
    // engine's output, timed by its own clock alone.
    bool startCapture();
    // The rate the chosen input device itself runs at, or `wanted` when that is unknown.
    int inputDeviceRate(int wanted) const;
    // The input side's timing since the last start with input, with what the device layer
    // reports of it.
    const StreamClock &inputClock() const { return captureClock; }
    StreamTiming inputTiming() const;
    void stopRecording();

    bool start();
    bool startWithInput(bool withInput);
    void stop();
    void shutdown();

    bool isPlaying() const;
    // True once the running stream failed by itself (its device or server went away): no
    // block is played or captured any more. The next start of playback or recording opens
    // a new stream.
    bool deviceLost() const;
    int position() const;
    int sampleRate() const;
    std::vector<std::string> getOutputDevices() const;
    std::vector<std::string> getInputDevices() const;

    // Stream thread; see the contract above.
    static int audioCallbackStatic(void *outputBuffer, void *inputBuffer, unsigned int frames, double streamTime,
                                   unsigned int status, void *userData) noexcept;
    int audioCallback(float *output, float *input, unsigned long frames) noexcept;

private:
    // What one block reads of the GUI's choices; immutable once published.
    struct Program
    {
        const float *buffer = nullptr;
        int length = 0;
        ProcessCallback process;
        RecordCallback record;
        PlaybackProcessCallback playbackProcess;
    };

    bool startRecordingOn(bool withOutput);
    // Publishes `next` and returns once no block reads the one it replaced.
    void install(Program next);
    void playBlock(const Program &program, float *output, int frames) noexcept;

    bool openStream(bool withOutput, bool withInput);

    std::unique_ptr<StreamHost> host;
    StreamClock captureClock;
    std::atomic<bool> running{false};
    std::atomic<bool> recording{false};
    std::atomic<bool> playing{false};
    std::atomic<int> playPosition{0};
    int streamRate = 44100;
    int bufferFrames = 512;
    std::atomic<float> volume{1.0f};
    int inputDevice = -1;
    int outputDevice = -1;
    SnapshotExchange<Program> programs;
    // Written by the GUI only while no stream is open; the stream thread's own afterwards.
    std::vector<float> monoBlock;
};
