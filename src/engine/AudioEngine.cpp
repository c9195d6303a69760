// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track engine: stream set-up, playback of a borrowed buffer and recording.
#include "engine/AudioEngine.h"

#include "engine/platform/StreamHost.h"

#include <QDebug>

#include <algorithm>
#include <chrono>

namespace {
// A block lasts milliseconds; a stream thread stuck for longer than this has failed, and the
// replaced snapshot is then simply kept until it lets go.
constexpr std::chrono::milliseconds blockWait{2000};
} // namespace

AudioEngine::AudioEngine()
    : host(std::make_unique<StreamHost>("AudioEngine"))
{
    monoBlock.assign(static_cast<std::size_t>(bufferFrames), 0.0f);
}

AudioEngine::AudioEngine(std::unique_ptr<AudioBackend> backend)
    : host(std::make_unique<StreamHost>("AudioEngine", std::move(backend)))
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

void AudioEngine::install(Program next)
{
    programs.publish(std::move(next));
    programs.waitReleased(blockWait);
    programs.collect();
}

void AudioEngine::setProcessCallback(ProcessCallback fn)
{
    Program next = programs.latest();
    next.process = std::move(fn);
    install(std::move(next));
}

void AudioEngine::setRecordCallback(RecordCallback fn)
{
    Program next = programs.latest();
    next.record = std::move(fn);
    install(std::move(next));
}

void AudioEngine::setPlaybackProcessCallback(PlaybackProcessCallback fn)
{
    Program next = programs.latest();
    next.playbackProcess = std::move(fn);
    install(std::move(next));
}

bool AudioEngine::startPlayback(const float *buffer, int length, int, int startSample)
{
    if (!buffer || length < 1)
        return false;
    stopPlayback();
    Program next = programs.latest();
    next.buffer = buffer;
    next.length = length;
    install(std::move(next));
    // No block reads the old buffer any more, so none can move the position after this.
    playPosition.store(std::clamp(startSample, 0, length));
    playing.store(true);
    if (!startWithInput(false)) {
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
    if (!programs.latest().buffer || playPosition.load() >= programs.latest().length)
        return;
    playing.store(true);
    qDebug() << "AudioEngine: Playback resumed";
}

void AudioEngine::stopPlayback()
{
    playing.store(false);
    Program next = programs.latest();
    next.buffer = nullptr;
    next.length = 0;
    install(std::move(next));
    // The block that was playing has ended: its last position update is behind us.
    playing.store(false);
    playPosition.store(0);
    qDebug() << "AudioEngine: Playback stopped";
}

bool AudioEngine::startRecording()
{
    return startRecordingOn(true);
}

bool AudioEngine::startCapture()
{
    return startRecordingOn(false);
}

bool AudioEngine::startRecordingOn(bool withOutput)
{
    // Decide before closing a running playback stream: without an input the old stream
    // keeps playing and the caller learns that nothing will be recorded.
    if (!host->hasDevices()) {
        qWarning() << "AudioEngine: Failed to start with input for recording";
        return false;
    }
    if (host->inputDevice(inputDevice) == 0) {
        qWarning() << "AudioEngine: No valid input device found for recording";
        qWarning() << "AudioEngine: Failed to start with input for recording";
        return false;
    }
    if (running.load())
        stop();
    if (!openStream(withOutput, true)) {
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
    if (running.load()) {
        if (!host->lost())
            return true;
        stop();
    }
    return openStream(true, withInput);
}

bool AudioEngine::openStream(bool withOutput, bool withInput)
{
    if (!host->hasDevices())
        return false;

    unsigned int output = 0;
    if (withOutput) {
        output = outputDevice < 0 ? host->defaultOutputDevice() : static_cast<unsigned int>(outputDevice);
        if (output == 0)
            return false;
    }
    unsigned int input = 0;
    if (withInput) {
        input = host->inputDevice(inputDevice);
        if (input == 0) {
            qWarning() << "AudioEngine: No valid input device found for recording";
            return false;
        }
        qDebug() << "AudioEngine: Using input device" << input;
    }
    // Sized before the stream opens; a device that picks a larger block is played in pieces.
    monoBlock.assign(static_cast<std::size_t>(std::max(bufferFrames, 1)), 0.0f);
    unsigned int frames = static_cast<unsigned int>(bufferFrames);
    captureClock.reset(streamRate, bufferFrames);
    if (!host->open(output, input, streamRate, frames, &audioCallbackStatic, this))
        return false;
    running.store(true);
    qDebug() << "AudioEngine: Started (RtAudio)";
    return true;
}

void AudioEngine::stop()
{
    host->close();
    running.store(false);
    programs.collect();
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

bool AudioEngine::deviceLost() const
{
    return running.load() && host->lost();
}

int AudioEngine::position() const
{
    return playPosition.load();
}

int AudioEngine::inputDeviceRate(int wanted) const
{
    return host->deviceRate(host->inputDevice(inputDevice), true, wanted);
}

StreamTiming AudioEngine::inputTiming() const
{
    return {captureClock, host->latencyFrames(), host->deviceLine(true)};
}

int AudioEngine::sampleRate() const
{
    return streamRate;
}

std::vector<std::string> AudioEngine::getOutputDevices() const
{
    return host->deviceNames(false);
}

std::vector<std::string> AudioEngine::getInputDevices() const
{
    return host->deviceNames(true);
}

int AudioEngine::audioCallbackStatic(void *outputBuffer, void *inputBuffer, unsigned int frames, double,
                                     unsigned int, void *userData) noexcept
{
    return static_cast<AudioEngine *>(userData)->audioCallback(static_cast<float *>(outputBuffer),
                                                                static_cast<float *>(inputBuffer), frames);
}

int AudioEngine::audioCallback(float *output, float *input, unsigned long frames) noexcept
{
    const int blockFrames = static_cast<int>(frames);
    if (input)
        captureClock.noteBlock(blockFrames);
    const Program &program = programs.acquire();
    if (recording.load() && program.record && input)
        program.record(input, blockFrames);
    // A capture-only stream has no output to fill.
    if (output) {
        std::fill(output, output + 2 * frames, 0.0f);
        if (program.process)
            program.process(input, output, blockFrames);
        if (playing.load() && program.buffer)
            playBlock(program, output, blockFrames);
    }
    programs.release();
    return 0;
}

void AudioEngine::playBlock(const Program &program, float *output, int frames) noexcept
{
    const int start = playPosition.load();
    const int taken = std::clamp(program.length - start, 0, frames);
    const float gain = volume.load();
    // A device may deliver more than the block it promised: work through it in pieces.
    const int chunkFrames = static_cast<int>(monoBlock.size());
    for (int done = 0; done < taken; done += chunkFrames) {
        const int count = std::min(chunkFrames, taken - done);
        for (int k = 0; k < count; ++k)
            monoBlock[static_cast<std::size_t>(k)] = program.buffer[start + done + k] * gain;
        if (program.playbackProcess)
            program.playbackProcess(monoBlock.data(), count);
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
