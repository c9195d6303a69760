// SPDX-License-Identifier: GPL-3.0-or-later
// RtAudio 5.2 adapter; the only file of the engine that includes RtAudio.
#include "engine/platform/RtAudioBackend.h"

#include "engine/platform/PulseAudioBackend.h"

#include <RtAudio.h>

#include <cstdlib>
#include <exception>
#include <type_traits>

static_assert(std::is_same_v<AudioBackend::Callback, RtAudioCallback>,
              "the stream callback has RtAudio's signature");

namespace {
// RtAudio's error callback carries no user data. It reports a stream's failure on the stream
// thread right after that stream's callback, so the backend whose callback ran last on this
// thread is the one at fault. Errors on other threads come from our own calls, which see
// them as results.
thread_local RtAudioBackend *streamThreadBackend = nullptr;

// The value that makes RtAudio abort the stream from its own thread.
constexpr int abortStream = 2;
} // namespace

std::unique_ptr<AudioBackend> AudioBackend::create(std::string &errorText)
{
    RtAudio::Api api = RtAudio::UNSPECIFIED;
    // Tests pin the host API: RtAudio 5.2 otherwise prefers any running JACK server.
    if (const char *forced = std::getenv("ZENTRIQ_AUDIO_API"); forced && *forced) {
        api = RtAudio::getCompiledApiByName(forced);
        if (api == RtAudio::UNSPECIFIED) {
            errorText = std::string("audio API not available: ") + forced;
            return nullptr;
        }
    }
    try {
        // PulseAudio goes through our own streams, which report the server's timing.
        if (api == RtAudio::LINUX_PULSE)
            return std::make_unique<PulseAudioBackend>();
        auto rtAudio = std::make_unique<RtAudio>(api);
        if (rtAudio->getCurrentApi() == RtAudio::LINUX_PULSE)
            return std::make_unique<PulseAudioBackend>();
        rtAudio->showWarnings(false);
        return std::make_unique<RtAudioBackend>(std::move(rtAudio));
    } catch (const RtAudioError &error) {
        errorText = error.getMessage();
    } catch (const std::exception &error) {
        errorText = error.what();
    }
    return nullptr;
}

RtAudioBackend::RtAudioBackend(std::unique_ptr<RtAudio> rtAudio)
    : rtAudio(std::move(rtAudio))
{
}

RtAudioBackend::~RtAudioBackend()
{
    closeStream();
}

template<typename Action>
bool RtAudioBackend::guarded(Action &&action)
{
    try {
        action();
        return true;
    } catch (const RtAudioError &error) {
        lastError = error.getMessage();
    } catch (const std::exception &error) {
        lastError = error.what();
    }
    return false;
}

std::string RtAudioBackend::apiDisplayName() const
{
    return RtAudio::getApiDisplayName(rtAudio->getCurrentApi());
}

unsigned int RtAudioBackend::deviceCount()
{
    unsigned int count = 0;
    guarded([&] { count = rtAudio->getDeviceCount(); });
    return count;
}

unsigned int RtAudioBackend::deviceId(unsigned int index)
{
    return index < deviceCount() ? index + 1 : 0;
}

unsigned int RtAudioBackend::defaultOutputDevice()
{
    // 5.2 answers index 0 also when there is no device at all.
    unsigned int index = 0;
    if (!guarded([&] { index = rtAudio->getDefaultOutputDevice(); }))
        return 0;
    return deviceId(index);
}

unsigned int RtAudioBackend::defaultInputDevice()
{
    unsigned int index = 0;
    if (!guarded([&] { index = rtAudio->getDefaultInputDevice(); }))
        return 0;
    return deviceId(index);
}

AudioBackend::DeviceInfo RtAudioBackend::deviceInfo(unsigned int id)
{
    if (id == 0 || id > deviceCount())
        return {};
    RtAudio::DeviceInfo info;
    if (!guarded([&] { info = rtAudio->getDeviceInfo(id - 1); }) || !info.probed)
        return {};
    DeviceInfo result;
    result.id = id;
    result.name = info.name;
    result.outputChannels = info.outputChannels;
    result.inputChannels = info.inputChannels;
    result.isDefaultOutput = info.isDefaultOutput;
    result.isDefaultInput = info.isDefaultInput;
    result.preferredSampleRate = info.preferredSampleRate;
    return result;
}

bool RtAudioBackend::openStream(const StreamParameters *output, const StreamParameters *input,
                                unsigned int sampleRate, unsigned int &bufferFrames, Callback callback,
                                void *userData)
{
    const auto toRt = [](const StreamParameters *parameters, RtAudio::StreamParameters &rt) -> RtAudio::StreamParameters * {
        if (!parameters)
            return nullptr;
        rt.deviceId = parameters->deviceId - 1;
        rt.nChannels = parameters->channels;
        rt.firstChannel = parameters->firstChannel;
        return &rt;
    };
    if ((output && output->deviceId == 0) || (input && input->deviceId == 0)) {
        lastError = "no such audio device";
        return false;
    }
    RtAudio::StreamParameters rtOutput, rtInput;
    RtAudio::StreamParameters *outputPointer = toRt(output, rtOutput);
    RtAudio::StreamParameters *inputPointer = toRt(input, rtInput);
    userCallback = callback;
    this->userData = userData;
    faults.reset();
    started = false;
    const auto onError = [](RtAudioError::Type type, const std::string &text) { streamError(type, text); };
    // As with our own PulseAudio streams: the lowest real-time priority where the system
    // allows it; RtAudio falls back to an ordinary thread where it does not.
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_SCHEDULE_REALTIME;
    options.priority = 1;
    const bool opened = guarded([&] {
        rtAudio->openStream(outputPointer, inputPointer, RTAUDIO_FLOAT32, sampleRate, &bufferFrames,
                            &streamCallback, this, &options, onError);
    });
    // A failed open can leave a half-made stream behind in 5.2.
    if (!opened && rtAudio->isStreamOpen())
        guarded([&] { rtAudio->closeStream(); });
    return opened;
}

bool RtAudioBackend::startStream()
{
    started = guarded([&] { rtAudio->startStream(); });
    return started;
}

bool RtAudioBackend::stopStream()
{
    started = false;
    if (!rtAudio->isStreamRunning())
        return true;
    // Aborting drops what the device still buffers instead of draining it: 5.2's JACK
    // drain waits for a process callback that never comes once the server has dropped a
    // late client, which hung the caller for good.
    return guarded([&] { rtAudio->abortStream(); });
}

void RtAudioBackend::closeStream()
{
    started = false;
    if (rtAudio->isStreamOpen())
        guarded([&] { rtAudio->closeStream(); });
}

bool RtAudioBackend::isStreamOpen() const
{
    return rtAudio->isStreamOpen();
}

bool RtAudioBackend::isStreamRunning() const
{
    return rtAudio->isStreamRunning();
}

long RtAudioBackend::streamLatencyFrames()
{
    long frames = 0;
    guarded([&] { frames = rtAudio->isStreamOpen() ? rtAudio->getStreamLatency() : 0; });
    return frames;
}

unsigned int RtAudioBackend::deviceSampleRate(unsigned int id, bool)
{
    return deviceInfo(id).preferredSampleRate;
}

std::string RtAudioBackend::errorText() const
{
    return lastError;
}

bool RtAudioBackend::streamLost() const
{
    // Besides the errors it reports, RtAudio stops or closes a failed stream by itself on some
    // APIs (JACK closes it when the server drops the client).
    return faults.lost() || (started && !rtAudio->isStreamRunning());
}

std::string RtAudioBackend::streamLostReason() const
{
    if (!faults.lost() && streamLost())
        return "the stream stopped by itself";
    return faults.reason();
}

int RtAudioBackend::streamCallback(void *output, void *input, unsigned int frames, double streamTime,
                                   unsigned int status, void *self) noexcept
{
    auto *backend = static_cast<RtAudioBackend *>(self);
    streamThreadBackend = backend;
    switch (backend->faults.nextBlock()) {
    case StreamFaultWatch::Block::Stop:
        return abortStream;
    case StreamFaultWatch::Block::DropInput:
        input = nullptr;
        break;
    case StreamFaultWatch::Block::Deliver:
        break;
    }
    return backend->userCallback(output, input, frames, streamTime, status, backend->userData);
}

void RtAudioBackend::streamError(int type, const std::string &text) noexcept
{
    if (type != RtAudioError::DEBUG_WARNING && streamThreadBackend)
        streamThreadBackend->faults.noteError(text);
}
