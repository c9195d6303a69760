// SPDX-License-Identifier: GPL-3.0-or-later
// PulseAudio streams through libpulse's threaded main loop: the stream thread waits for the
// server, reads and writes one block at a time, and asks the server's latency of each stream
// after every block.
#include "engine/platform/PulseAudioBackend.h"

#include "engine/StreamClock.h"
#include "engine/platform/PulseServerRate.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop-api.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <cstring>

#include <pthread.h>
#include <sched.h>

namespace {
// The output keeps this many blocks queued at the server: enough that a busy machine does
// not starve it, short enough that Play is heard at once.
constexpr unsigned int queuedBlocks = 4;
// How long opening a stream may take, in microseconds.
constexpr pa_usec_t openTimeout = 2 * PA_USEC_PER_SEC;

void wake(void *loop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
}
void wakeOnContext(pa_context *, void *loop) { wake(loop); }
void wakeOnStream(pa_stream *, void *loop) { wake(loop); }
void wakeOnRequest(pa_stream *, std::size_t, void *loop) { wake(loop); }

// Audio threads go ahead of ordinary work where the system lets them (CAP_SYS_NICE or an
// RLIMIT_RTPRIO above zero), so a busy machine does not starve the device; elsewhere they
// stay as they are. The lowest real-time priority keeps them behind the server's own.
void preferRealtime() noexcept
{
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    pthread_setschedparam(pthread_self(), SCHED_RR, &param);
}

std::string pulseText(const char *what, int error)
{
    return std::string(what) + ": " + pa_strerror(error);
}

// Holds the main loop's lock for a scope.
class LoopLock
{
public:
    explicit LoopLock(pa_threaded_mainloop *loop) : loop(loop) { pa_threaded_mainloop_lock(loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop); }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;

private:
    pa_threaded_mainloop *loop;
};
} // namespace

PulseAudioBackend::~PulseAudioBackend()
{
    closeStream();
}

AudioBackend::DeviceInfo PulseAudioBackend::deviceInfo(unsigned int id)
{
    if (id != 1)
        return {};
    DeviceInfo info;
    info.id = 1;
    info.name = "PulseAudio";
    info.outputChannels = 2;
    info.inputChannels = 2;
    info.isDefaultOutput = true;
    info.isDefaultInput = true;
    return info;
}

bool PulseAudioBackend::openStream(const StreamParameters *output, const StreamParameters *input,
                                   unsigned int sampleRate, unsigned int &bufferFrames, Callback callback,
                                   void *data)
{
    closeStream();
    lastError.clear();
    lost.store(false);
    lostError.store(0);
    for (const StreamParameters *side : {output, input}) {
        if (side && (side->deviceId != 1 || side->firstChannel != 0)) {
            lastError = "no such audio device";
            return false;
        }
    }
    if (!output && !input) {
        lastError = "a stream needs an output or an input";
        return false;
    }
    const pa_sample_spec outputSpec{PA_SAMPLE_FLOAT32NE, sampleRate, std::uint8_t(output ? std::min(output->channels, 255u) : 1)};
    const pa_sample_spec inputSpec{PA_SAMPLE_FLOAT32NE, sampleRate, std::uint8_t(input ? std::min(input->channels, 255u) : 1)};
    if (!pa_sample_spec_valid(&outputSpec) || !pa_sample_spec_valid(&inputSpec)
        || (output && output->channels > PA_CHANNELS_MAX) || (input && input->channels > PA_CHANNELS_MAX)) {
        lastError = "PulseAudio cannot stream these channels at " + std::to_string(sampleRate) + " Hz";
        return false;
    }
    if (bufferFrames == 0)
        bufferFrames = 512;
    rate = sampleRate;
    frames = bufferFrames;
    outputChannels = output ? output->channels : 0;
    inputChannels = input ? input->channels : 0;

    loop = pa_threaded_mainloop_new();
    if (!loop || pa_threaded_mainloop_start(loop) < 0) {
        lastError = "could not start the PulseAudio main loop";
        closeStream();
        return false;
    }
    {
        LoopLock lock(loop);
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop);
        // The loop's thread wakes the stream thread: it must not be starved either.
        pa_mainloop_api_once(api, [](pa_mainloop_api *, void *) { preferRealtime(); }, nullptr);
        // A server that accepts the connection and then hangs must not hang Play: libpulse
        // itself gives up only after half a minute.
        openExpired = false;
        const auto expire = [](pa_mainloop_api *, pa_time_event *, const timeval *, void *self) {
            auto *backend = static_cast<PulseAudioBackend *>(self);
            backend->openExpired = true;
            pa_threaded_mainloop_signal(backend->loop, 0);
        };
        timeval due{};
        pa_time_event *deadline = api->time_new(api, pa_timeval_add(pa_gettimeofday(&due), openTimeout), expire, this);
        context = pa_context_new(api, "Zentriq Studio");
        bool ready = false;
        if (context) {
            pa_context_set_state_callback(context, &wakeOnContext, loop);
            if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
                pa_context_state_t state;
                while ((state = pa_context_get_state(context)) != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state) && !openExpired)
                    pa_threaded_mainloop_wait(loop);
                ready = state == PA_CONTEXT_READY;
            }
        }
        if (!ready)
            lastError = pulseText("could not connect to the PulseAudio server",
                                  openExpired ? PA_ERR_TIMEOUT : context ? pa_context_errno(context) : PA_ERR_INTERNAL);
        else if (output)
            ready = (playback = pa_stream_new(context, "Playback", &outputSpec, nullptr)) && connectStream(playback, false);
        if (ready && input)
            ready = (record = pa_stream_new(context, "Record", &inputSpec, nullptr)) && connectStream(record, true);
        if (!ready) {
            if (lastError.empty())
                lastError = pulseText("could not open a PulseAudio stream",
                                      openExpired ? PA_ERR_TIMEOUT : pa_context_errno(context));
            disconnect();
        }
        if (deadline)
            api->time_free(deadline);
    }
    if (!context) {
        closeStream();
        return false;
    }
    outputBlock.assign(std::size_t(frames) * outputChannels, 0.0f);
    inputBlock.assign(std::size_t(frames) * inputChannels, 0.0f);
    userCallback = callback;
    userData = data;
    framesPlayed = 0;
    framesRecorded = 0;
    return true;
}

bool PulseAudioBackend::connectStream(pa_stream *stream, bool input)
{
    const std::uint32_t blockBytes = std::uint32_t(pa_frame_size(pa_stream_get_sample_spec(stream)) * frames);
    const std::uint32_t unset = std::uint32_t(-1);
    pa_buffer_attr attributes{unset, unset, unset, unset, unset};
    if (input) {
        attributes.fragsize = blockBytes;
    } else {
        attributes.tlength = blockBytes * queuedBlocks;
        attributes.minreq = blockBytes;
        // No prebuffering: the stream starts corked and is uncorked once its queue is full,
        // and an underrun then drops the late audio instead of pausing the stream, so every
        // frame after it is still heard at its time.
        attributes.prebuf = 0;
    }
    pa_stream_set_state_callback(stream, &wakeOnStream, loop);
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_NOT_MONOTONIC);
    if (input) {
        pa_stream_set_read_callback(stream, &wakeOnRequest, loop);
        if (pa_stream_connect_record(stream, nullptr, &attributes, flags) < 0)
            return false;
    } else {
        pa_stream_set_write_callback(stream, &wakeOnRequest, loop);
        if (pa_stream_connect_playback(stream, nullptr, &attributes, pa_stream_flags_t(flags | PA_STREAM_START_CORKED),
                                       nullptr, nullptr) < 0)
            return false;
        outputCorked = true;
    }
    pa_stream_state_t state;
    while ((state = pa_stream_get_state(stream)) != PA_STREAM_READY && PA_STREAM_IS_GOOD(state) && !openExpired)
        pa_threaded_mainloop_wait(loop);
    return state == PA_STREAM_READY;
}

void PulseAudioBackend::disconnect()
{
    for (pa_stream **stream : {&playback, &record}) {
        if (*stream) {
            pa_stream_set_state_callback(*stream, nullptr, nullptr);
            pa_stream_set_read_callback(*stream, nullptr, nullptr);
            pa_stream_set_write_callback(*stream, nullptr, nullptr);
            pa_stream_disconnect(*stream);
            pa_stream_unref(*stream);
            *stream = nullptr;
        }
    }
    forgetTiming(outputTiming);
    forgetTiming(inputTiming);
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
    fragmentHeld = false;
}

bool PulseAudioBackend::startStream()
{
    if (!isStreamOpen()) {
        lastError = "no stream is open";
        return false;
    }
    if (running.load())
        return true;
    if (thread.joinable())
        thread.join();
    {
        // What the source captured while the stream stood still is not part of this run.
        LoopLock lock(loop);
        forgetTiming(outputTiming);
        forgetTiming(inputTiming);
        if (record) {
            if (fragmentHeld)
                pa_stream_drop(record);
            fragmentHeld = false;
            if (pa_operation *flushing = pa_stream_flush(record, nullptr, nullptr))
                pa_operation_unref(flushing);
        }
    }
    outputLines.clear();
    inputLines.clear();
    stopRequested.store(false);
    running.store(true);
    thread = std::thread(&PulseAudioBackend::run, this);
    return true;
}

bool PulseAudioBackend::stopStream()
{
    stopRequested.store(true);
    if (loop) {
        LoopLock lock(loop);
        pa_threaded_mainloop_signal(loop, 0);
    }
    if (thread.joinable())
        thread.join();
    running.store(false);
    // Stopping drops what the server still holds rather than letting it play out.
    if (playback) {
        LoopLock lock(loop);
        setOutputCorked(true);
        if (pa_operation *flushing = pa_stream_flush(playback, nullptr, nullptr))
            pa_operation_unref(flushing);
    }
    return true;
}

void PulseAudioBackend::closeStream()
{
    stopStream();
    if (!loop)
        return;
    {
        LoopLock lock(loop);
        disconnect();
    }
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
    loop = nullptr;
}

bool PulseAudioBackend::isStreamOpen() const
{
    return context != nullptr;
}

bool PulseAudioBackend::isStreamRunning() const
{
    return running.load();
}

std::string PulseAudioBackend::errorText() const
{
    return lastError;
}

bool PulseAudioBackend::streamLost() const
{
    return lost.load(std::memory_order_acquire);
}

std::string PulseAudioBackend::streamLostReason() const
{
    return streamLost() ? pulseText("the PulseAudio connection failed", lostError.load()) : std::string();
}

unsigned int PulseAudioBackend::deviceSampleRate(unsigned int id, bool input)
{
    return id == 1 ? pulseDefaultDeviceRate(input) : 0;
}

std::optional<double> PulseAudioBackend::deviceLineSeconds(bool input) const
{
    return (input ? inputLines : outputLines).median();
}

void PulseAudioBackend::fail() noexcept
{
    lostError.store(pa_context_errno(context));
    lost.store(true, std::memory_order_release);
}

void PulseAudioBackend::setOutputCorked(bool corked) noexcept
{
    if (pa_operation *corking = pa_stream_cork(playback, corked ? 1 : 0, nullptr, nullptr))
        pa_operation_unref(corking);
    outputCorked = corked;
}

bool PulseAudioBackend::waitForServer() noexcept
{
    if (stopRequested.load(std::memory_order_acquire))
        return false;
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))
        || (playback && !PA_STREAM_IS_GOOD(pa_stream_get_state(playback)))
        || (record && !PA_STREAM_IS_GOOD(pa_stream_get_state(record)))) {
        fail();
        return false;
    }
    pa_threaded_mainloop_wait(loop);
    return !stopRequested.load(std::memory_order_acquire);
}

bool PulseAudioBackend::readBlock() noexcept
{
    char *into = reinterpret_cast<char *>(inputBlock.data());
    const std::size_t wanted = inputBlock.size() * sizeof(float);
    std::size_t got = 0;
    while (got < wanted) {
        if (!fragmentHeld) {
            const void *data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(record, &data, &bytes) < 0) {
                fail();
                return false;
            }
            if (bytes == 0) {
                if (!waitForServer())
                    return false;
                continue;
            }
            fragment = static_cast<const char *>(data);
            fragmentBytes = bytes;
            fragmentRead = 0;
            fragmentHeld = true;
        }
        const std::size_t taken = std::min(wanted - got, fragmentBytes - fragmentRead);
        // A fragment without data is a hole in the capture: silence.
        if (fragment)
            std::memcpy(into + got, fragment + fragmentRead, taken);
        else
            std::memset(into + got, 0, taken);
        got += taken;
        fragmentRead += taken;
        if (fragmentRead == fragmentBytes) {
            pa_stream_drop(record);
            fragmentHeld = false;
        }
    }
    framesRecorded += frames;
    noteLine(record, framesRecorded, fragmentHeld ? fragmentRead : 0, true, inputTiming, inputLines);
    return true;
}

bool PulseAudioBackend::writeBlock() noexcept
{
    const std::size_t bytes = outputBlock.size() * sizeof(float);
    for (;;) {
        const std::size_t writable = pa_stream_writable_size(playback);
        if (writable == std::size_t(-1)) {
            fail();
            return false;
        }
        if (writable >= bytes)
            break;
        // The queue is full: play it.
        if (outputCorked)
            setOutputCorked(false);
        if (!waitForServer())
            return false;
    }
    if (pa_stream_write(playback, outputBlock.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        fail();
        return false;
    }
    framesPlayed += frames;
    noteLine(playback, framesPlayed, 0, false, outputTiming, outputLines);
    return true;
}

void PulseAudioBackend::requestTiming(pa_stream *stream, TimingRequests &requests) noexcept
{
    if (requests.pending) {
        const pa_operation_state_t state = pa_operation_get_state(requests.pending);
        if (state == PA_OPERATION_RUNNING)
            return;
        requests.fresh = requests.fresh || state == PA_OPERATION_DONE;
        pa_operation_unref(requests.pending);
    }
    requests.pending = pa_stream_update_timing_info(stream, nullptr, nullptr);
}

void PulseAudioBackend::forgetTiming(TimingRequests &requests) noexcept
{
    if (requests.pending)
        pa_operation_unref(requests.pending);
    requests = {};
}

void PulseAudioBackend::noteLine(pa_stream *stream, std::int64_t framesSoFar, std::size_t alreadyReadBytes, bool input,
                                 TimingRequests &requests, LineWindow &estimates) noexcept
{
    // The server's own updates come further apart the longer a stream runs, and one from
    // before the start misses how the start changed the device's latency: each block asks.
    requestTiming(stream, requests);
    const pa_timing_info *timing = pa_stream_get_timing_info(stream);
    // Before an output starts playing, its time stands still and says nothing of when it will.
    if (!requests.fresh || !timing || (!input && !timing->playing))
        return;
    // One estimate per snapshot: one that stays longest must not outweigh the others.
    const pa_usec_t snapshot = pa_timeval_load(&timing->timestamp);
    if (snapshot == requests.lastSnapshot)
        return;
    // Without interpolation the latency is the one the snapshot tells, as of when its answer
    // arrived (libpulse adds the transport time): nothing that happens in this process after
    // that changes it. libpulse's interpolation instead smooths its way towards the server's
    // time over seconds, and on a busy machine starts tens of milliseconds off.
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) < 0)
        return;
    requests.lastSnapshot = snapshot;
    const double answered = double(snapshot + timing->transport_usec) / 1e6;
    // Playback: the frame after the last one written is heard `latency` after the answer.
    // Record: the frame after the last one read was captured `latency` before it, less what
    // of the held fragment is read already. A monitor of a sink hands over what the sink
    // has yet to play, so a record latency can be negative.
    double seconds = (negative ? -1.0 : 1.0) * double(latency) / 1e6;
    if (input)
        seconds = -(seconds - double(alreadyReadBytes) / double(pa_bytes_per_second(pa_stream_get_sample_spec(stream))));
    // Snapshots are stamped with the wall clock; lines are kept on the steady one.
    timeval wall{};
    const double steadyFromWall = StreamClock::steadySeconds() - double(pa_timeval_load(pa_gettimeofday(&wall))) / 1e6;
    estimates.add(answered + steadyFromWall + seconds - double(framesSoFar) / rate);
}

void PulseAudioBackend::run() noexcept
{
    preferRealtime();
    for (;;) {
        {
            LoopLock lock(loop);
            if (stopRequested.load(std::memory_order_acquire) || (record && !readBlock()))
                break;
        }
        const double streamTime = double(std::max(framesPlayed, framesRecorded)) / rate;
        if (userCallback(playback ? outputBlock.data() : nullptr, record ? inputBlock.data() : nullptr, frames,
                         streamTime, 0, userData) != 0)
            break;
        if (playback) {
            LoopLock lock(loop);
            if (!writeBlock())
                break;
        }
    }
    running.store(false, std::memory_order_release);
}
