// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track engine: stream set-up, playback of a borrowed buffer and recording.
#include "engine/AudioEngine.h"

#include "engine/platform/AudioBackend.h"

#include <QDebug>

#include <algorithm>

AudioEngine::AudioEngine()
{
    std::string error;
    backend = AudioBackend::create(error);
    if (!backend)
        qWarning().noquote() << "AudioEngine: RtAudio init failed:" << QString::fromStdString(error);
    else
        qDebug().noquote() << "AudioEngine: RtAudio initialized, API:" << QString::fromStdString(backend->apiDisplayName());
    monoBlock.assign(static_cast<std::size_t>(bufferFrames), 0.0f);
}

AudioEngine::AudioEngine(std::unique_ptr<AudioBackend> backend)
    : backend(std::move(backend))
{
    monoBlock.assign(static_cast<std::size_t>(bufferFrames), 0.0f);
}

AudioEngine::~AudioEngine()
{
    stop();
}

bool AudioEngine::initialize(int sampleRate, int bufferFrames)
{
    streamRate = sampleRate;
    this->bufferFrames = bufferFrames;
    qDebug() << "AudioEngine: Initialized (RtAudio) SR=" << sampleRate << "BS=" << bufferFrames;
    return true;
}

bool AudioEngine::setInputDevice(int id)
{
    inputDevice = id;
    return true;
}

bool AudioEngine::setOutputDevice(int id)
{
    outputDevice = id;
    return true;
}

void AudioEngine::setVolume(float v)
{
    volume.store(v >= 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f));
}

float AudioEngine::getVolume() const
{
    return volume.load();
}

// The swap leaves the replaced callback in `fn`, which is destroyed after the lock is
// released, so a heavy capture never holds up the stream thread.
void AudioEngine::setProcessCallback(ProcessCallback fn)
{
    std::lock_guard lock(blockMutex);
    std::swap(processCallback, fn);
}

void AudioEngine::setRecordCallback(RecordCallback fn)
{
    std::lock_guard lock(blockMutex);
    std::swap(recordCallback, fn);
}

void AudioEngine::setPlaybackProcessCallback(PlaybackProcessCallback fn)
{
    std::lock_guard lock(blockMutex);
    std::swap(playbackProcessCallback, fn);
}

bool AudioEngine::startPlayback(const float *buffer, int length, int, int startSample)
{
    if (!buffer || length < 1)
        return false;
    stopPlayback();
    {
        std::lock_guard lock(blockMutex);
        this->buffer = buffer;
        this->length = length;
        playPosition.store(std::clamp(startSample, 0, length));
        playing.store(true);
    }
    if (!running.load() && !startWithInput(false)) {
        playing.store(false);
        return false;
    }
    qDebug() << "AudioEngine: Playback started from sample" << startSample;
    return true;
}

void AudioEngine::pausePlayback()
{
    playing.store(false);
    qDebug() << "AudioEngine: Playback paused";
}

void AudioEngine::resumePlayback()
{
    {
        std::lock_guard lock(blockMutex);
        if (!buffer || playPosition.load() >= length)
            return;
        playing.store(true);
    }
    qDebug() << "AudioEngine: Playback resumed";
}

void AudioEngine::stopPlayback()
{
    {
        std::lock_guard lock(blockMutex);
        playing.store(false);
        playPosition.store(0);
        buffer = nullptr;
        length = 0;
    }
    qDebug() << "AudioEngine: Playback stopped";
}

bool AudioEngine::startRecording()
{
    // Decide before closing a running playback stream: without an input the old stream
    // keeps playing and the caller learns that nothing will be recorded.
    if (!hasDevices()) {
        qWarning() << "AudioEngine: No audio device found";
        qWarning() << "AudioEngine: Failed to start with input for recording";
        return false;
    }
    if (recordingDevice() == 0) {
        qWarning() << "AudioEngine: No valid input device found for recording";
        qWarning() << "AudioEngine: Failed to start with input for recording";
        return false;
    }
    if (running.load())
        stop();
    if (!startWithInput(true)) {
        qWarning() << "AudioEngine: Failed to start with input for recording";
        return false;
    }
    recording.store(true);
    qDebug() << "AudioEngine: Recording started";
    return true;
}

void AudioEngine::stopRecording()
{
    recording.store(false);
    qDebug() << "AudioEngine: Recording stopped";
}

bool AudioEngine::start()
{
    return startWithInput(false);
}

bool AudioEngine::startWithInput(bool withInput)
{
    if (running.load())
        return true;
    if (!hasDevices()) {
        qWarning() << "AudioEngine: No audio device found";
        return false;
    }

    const AudioBackend::StreamParameters output{
        outputDevice < 0 ? backend->defaultOutputDevice() : static_cast<unsigned int>(outputDevice), 2, 0};
    AudioBackend::StreamParameters input;
    if (withInput) {
        input.deviceId = recordingDevice();
        if (input.deviceId == 0) {
            qWarning() << "AudioEngine: No valid input device found for recording";
            return false;
        }
        input.channels = 1;
        qDebug() << "AudioEngine: Using input device" << input.deviceId;
    }

    unsigned int frames = static_cast<unsigned int>(bufferFrames);
    if (!backend->openStream(&output, withInput ? &input : nullptr, static_cast<unsigned int>(streamRate), frames,
                             &audioCallbackStatic, this)) {
        qWarning().noquote() << "AudioEngine: openStream failed:" << QString::fromStdString(backend->errorText());
        return false;
    }
    {
        // Sized to the block the device chose, before its first block arrives.
        std::lock_guard lock(blockMutex);
        monoBlock.assign(std::max(frames, 1u), 0.0f);
    }
    if (!backend->startStream()) {
        qWarning().noquote() << "AudioEngine: startStream failed:" << QString::fromStdString(backend->errorText());
        backend->closeStream();
        return false;
    }
    running.store(true);
    qDebug() << "AudioEngine: Started (RtAudio)";
    return true;
}

void AudioEngine::stop()
{
    if (backend && backend->isStreamOpen()) {
        backend->stopStream();
        backend->closeStream();
    }
    running.store(false);
    qDebug() << "AudioEngine: Stopped";
}

void AudioEngine::shutdown()
{
    stop();
}

bool AudioEngine::isPlaying() const
{
    return playing.load();
}

int AudioEngine::position() const
{
    return playPosition.load();
}

int AudioEngine::sampleRate() const
{
    return streamRate;
}

std::vector<std::string> AudioEngine::getOutputDevices() const
{
    std::vector<std::string> names;
    if (!backend)
        return names;
    for (unsigned int index = 0, count = backend->deviceCount(); index < count; ++index) {
        const AudioBackend::DeviceInfo info = backend->deviceInfo(backend->deviceId(index));
        if (info.outputChannels > 0)
            names.push_back(info.name);
    }
    return names;
}

std::vector<std::string> AudioEngine::getInputDevices() const
{
    std::vector<std::string> names;
    if (!backend)
        return names;
    for (unsigned int index = 0, count = backend->deviceCount(); index < count; ++index) {
        const AudioBackend::DeviceInfo info = backend->deviceInfo(backend->deviceId(index));
        if (info.inputChannels > 0)
            names.push_back(info.name);
    }
    return names;
}

unsigned int AudioEngine::recordingDevice() const
{
    const unsigned int id = inputDevice < 0 ? backend->defaultInputDevice() : static_cast<unsigned int>(inputDevice);
    if (id == 0 || backend->deviceInfo(id).inputChannels == 0)
        return 0;
    return id;
}

bool AudioEngine::hasDevices() const
{
    return backend && backend->deviceCount() > 0;
}

int AudioEngine::audioCallbackStatic(void *outputBuffer, void *inputBuffer, unsigned int frames, double,
                                     unsigned int, void *userData)
{
    return static_cast<AudioEngine *>(userData)->audioCallback(static_cast<float *>(outputBuffer),
                                                                static_cast<float *>(inputBuffer), frames);
}

int AudioEngine::audioCallback(float *output, float *input, unsigned long frames)
{
    std::fill(output, output + 2 * frames, 0.0f);
    const int blockFrames = static_cast<int>(frames);
    std::lock_guard lock(blockMutex);
    if (recording.load() && recordCallback && input)
        recordCallback(input, blockFrames);
    if (processCallback)
        processCallback(input, output, blockFrames);
    if (playing.load() && buffer)
        playBlock(output, blockFrames);
    return 0;
}

void AudioEngine::playBlock(float *output, int frames)
{
    const int start = playPosition.load();
    const int taken = std::clamp(length - start, 0, frames);
    const float gain = volume.load();
    // A device may deliver more than the block it promised: work through it in pieces.
    const int chunkFrames = static_cast<int>(monoBlock.size());
    for (int done = 0; done < taken; done += chunkFrames) {
        const int count = std::min(chunkFrames, taken - done);
        for (int k = 0; k < count; ++k)
            monoBlock[static_cast<std::size_t>(k)] = buffer[start + done + k] * gain;
        if (playbackProcessCallback)
            playbackProcessCallback(monoBlock.data(), count);
        float *frame = output + 2 * done;
        for (int k = 0; k < count; ++k) {
            frame[2 * k] += monoBlock[static_cast<std::size_t>(k)];
            frame[2 * k + 1] += monoBlock[static_cast<std::size_t>(k)];
        }
    }
    playPosition.store(start + taken);
    if (taken < frames)
        playing.store(false);
}
