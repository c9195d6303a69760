// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track engine: plays one borrowed mono buffer to both output channels and
// delivers captured mono input blocks, over one stream of the default devices.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class AudioBackend;

class AudioEngine : public QObject
{
    Q_OBJECT

public:
    // All three run on the stream thread, never touch widgets and must not call back
    // into the engine. `input` is null when the stream has no input.
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
    // called again, so its owner may go.
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
    void stopRecording();

    bool start();
    bool startWithInput(bool withInput);
    void stop();
    void shutdown();

    bool isPlaying() const;
    int position() const;
    int sampleRate() const;
    std::vector<std::string> getOutputDevices() const;
    std::vector<std::string> getInputDevices() const;

    // Stream thread. Allocates nothing; holds blockMutex for the block, which the GUI
    // thread takes only to swap the buffer or a callback.
    static int audioCallbackStatic(void *outputBuffer, void *inputBuffer, unsigned int frames, double streamTime,
                                   unsigned int status, void *userData);
    int audioCallback(float *output, float *input, unsigned long frames);

private:
    // Id of the device to record from, 0 when there is none with an input channel.
    unsigned int recordingDevice() const;
    bool hasDevices() const;
    void playBlock(float *output, int frames);

    std::unique_ptr<AudioBackend> backend;
    std::atomic<bool> running{false};
    std::atomic<bool> recording{false};
    std::atomic<bool> playing{false};
    // buffer, length, the callbacks and the mono block change only under blockMutex, so
    // a block never sees a new buffer with an old length.
    const float *buffer = nullptr;
    int length = 0;
    std::atomic<int> playPosition{0};
    int streamRate = 44100;
    int bufferFrames = 512;
    std::atomic<float> volume{1.0f};
    int inputDevice = -1;
    int outputDevice = -1;
    ProcessCallback processCallback;
    RecordCallback recordCallback;
    PlaybackProcessCallback playbackProcessCallback;
    std::vector<float> monoBlock;
    std::mutex blockMutex;
};
