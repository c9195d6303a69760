// SPDX-License-Identifier: GPL-3.0-or-later
// Multitrack mixing engine: slot hand-over between GUI and stream thread, live and
// offline mix.
#include "engine/MultiTrackAudioEngine.h"

#include "engine/platform/StreamHost.h"

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {
// Constant pan-law factor, not 1/sqrt(2): the panned-to side keeps 0.707 of the signal.
constexpr float panLawGain = 0.707f;
// Offline mixes run in blocks of this many frames so the sums stay in cache.
constexpr int offlineBlockFrames = 2048;

// Whole frame of a time (nearest, or truncated toward zero); false when it lies
// far beyond anything a timeline holds, which keeps frame arithmetic from overflowing.
bool framesFromSeconds(double seconds, int rate, std::int64_t &frame, bool rounded)
{
    const double exact = seconds * rate;
    if (!std::isfinite(exact) || std::fabs(exact) > 1.0e15)
        return false;
    frame = rounded ? std::llround(exact) : static_cast<std::int64_t>(std::trunc(exact));
    return true;
}

// Adds one slot's frames to interleaved sums. The pan branches are fixed per slot, so
// each case compiles to a plain vector loop; the float operations keep the order of the
// mixing rule (sample x volume, x pan factor, x 0.707).
template<bool scaleLeft, bool scaleRight>
void addSlot(const float *source, std::int64_t count, float volume, float pan, float *sums)
{
    const float leftFactor = 1.0f - pan;
    const float rightFactor = 1.0f + pan;
    for (std::int64_t k = 0; k < count; ++k) {
        const float v = source[k] * volume;
        sums[2 * k] += (scaleLeft ? v * leftFactor : v) * panLawGain;
        sums[2 * k + 1] += (scaleRight ? v * rightFactor : v) * panLawGain;
    }
}
} // namespace

MultiTrackAudioEngine::MultiTrackAudioEngine()
    : host(std::make_unique<StreamHost>("MultiTrackAudioEngine"))
{
}

MultiTrackAudioEngine::MultiTrackAudioEngine(std::unique_ptr<AudioBackend> backend)
    : host(std::make_unique<StreamHost>("MultiTrackAudioEngine", std::move(backend)))
{
}

MultiTrackAudioEngine::~MultiTrackAudioEngine()
{
    stopPlayback();
}

bool MultiTrackAudioEngine::initialize(int sampleRate, int bufferFrames)
{
    this->sampleRate = sampleRate;
    this->bufferFrames = bufferFrames;
    return true;
}

void MultiTrackAudioEngine::setTracks(const std::vector<TrackSlot> &trackSlots)
{
    slotLists.publish(trackSlots);
}

void MultiTrackAudioEngine::updateTrackSlot(int index, const TrackSlot &slot)
{
    if (index < 0 || index >= static_cast<int>(slotLists.latest().size()))
        return;
    std::vector<TrackSlot> next = slotLists.latest();
    next[static_cast<std::size_t>(index)] = slot;
    slotLists.publish(std::move(next));
}

bool MultiTrackAudioEngine::waitForSlotAdoption(int timeoutMs) const
{
    // Conservative: while the stream plays, only a block that has taken the new list proves
    // that the old one is out of use.
    return slotLists.waitFor(
        [this] { return !host->isRunning() || !playing.load(std::memory_order_acquire) || slotLists.adoptedLatest(); },
        std::chrono::milliseconds(timeoutMs));
}

bool MultiTrackAudioEngine::startPlayback(double seconds)
{
    if (playing.load() || host->isOpen())
        stopPlayback();

    const int rate = sampleRate;
    streamSampleRate.store(rate, std::memory_order_relaxed);
    std::int64_t startFrame = 0;
    framesFromSeconds(seconds, rate, startFrame, false);
    position.exchange(startFrame);

    if (!host->hasDevices())
        return false;
    const unsigned int device = host->defaultOutputDevice();
    const int deviceRate = host->deviceRate(device, false, rate);
    converting = deviceRate != rate;
    if (converting) {
        toDevice.reset(rate, deviceRate, 2, bufferFrames);
        mixed.assign(static_cast<std::size_t>(bufferFrames) * 2, 0.0f);
    }
    unsigned int frames = static_cast<unsigned int>(bufferFrames);
    playClock.reset(deviceRate, bufferFrames);
    // Playing from the stream's first block on, so the clock counts every frame it mixes.
    playing.store(true, std::memory_order_release);
    if (!host->open(device, 0, deviceRate, frames, &audioCallbackStatic, this)) {
        playing.store(false);
        return false;
    }
    qDebug() << "MultiTrackAudioEngine: Playback started from" << seconds << "s (RtAudio," << deviceRate << "Hz)";
    return true;
}

void MultiTrackAudioEngine::pausePlayback()
{
    if (!playing.load())
        return;
    host->pause();
    playing.store(false);
    qDebug() << "MultiTrackAudioEngine: Paused";
}

void MultiTrackAudioEngine::resumePlayback()
{
    if (playing.load())
        return;
    // Only a stream that really runs again counts as playing.
    if (!host->resume())
        return;
    playing.store(true, std::memory_order_release);
    qDebug() << "MultiTrackAudioEngine: Resumed";
}

void MultiTrackAudioEngine::stopPlayback()
{
    playing.store(false);
    position.exchange(0);
    host->close();
    slotLists.collect();
    qDebug() << "MultiTrackAudioEngine: Playback stopped";
}

void MultiTrackAudioEngine::shutdown()
{
    stopPlayback();
}

bool MultiTrackAudioEngine::isPlaying() const
{
    return playing.load();
}

bool MultiTrackAudioEngine::deviceLost() const
{
    return host->lost();
}

StreamTiming MultiTrackAudioEngine::outputTiming() const
{
    return {playClock, host->latencyFrames(), host->deviceLine(false)};
}

double MultiTrackAudioEngine::getPlaybackPosition() const
{
    return static_cast<double>(position.load()) / streamSampleRate.load(std::memory_order_relaxed);
}

bool MultiTrackAudioEngine::renderOffline(const std::vector<TrackSlot> &trackSlots, int frames, int sampleRate,
                                          QList<float> &out)
{
    const qsizetype totalFrames = std::max(frames, 0);
    out.resize(totalFrames * 2);
    for (qsizetype first = 0; first < totalFrames; first += offlineBlockFrames) {
        const qsizetype count = std::min<qsizetype>(offlineBlockFrames, totalFrames - first);
        mixBlock(trackSlots, first, sampleRate, std::span<float>(out.data() + 2 * first, static_cast<std::size_t>(count * 2)));
    }
    return true;
}

int MultiTrackAudioEngine::audioCallbackStatic(void *outputBuffer, void *, unsigned int frames, double, unsigned int,
                                               void *userData) noexcept
{
    return static_cast<MultiTrackAudioEngine *>(userData)->audioCallback(static_cast<float *>(outputBuffer), frames);
}

int MultiTrackAudioEngine::audioCallback(float *out, unsigned long frames) noexcept
{
    const std::span<float> block(out, frames * 2);
    if (!playing.load(std::memory_order_acquire)) {
        std::fill(block.begin(), block.end(), 0.0f);
        return 0;
    }
    playClock.noteBlock(static_cast<int>(frames));
    const std::vector<TrackSlot> &trackSlots = slotLists.acquire();
    if (converting) {
        mixConverted(trackSlots, block);
    } else {
        mixBlock(trackSlots, position.load(), streamSampleRate.load(std::memory_order_relaxed), block);
        position.fetch_add(static_cast<std::int64_t>(frames));
    }
    slotLists.release();
    return 0;
}

void MultiTrackAudioEngine::mixConverted(std::span<const TrackSlot> trackSlots, std::span<float> out) noexcept
{
    const int rate = streamSampleRate.load(std::memory_order_relaxed);
    const int total = static_cast<int>(out.size() / 2);
    const int mixedFrames = static_cast<int>(mixed.size() / 2);
    // A device may ask for more than the block it promised: mix in pieces the buffer holds.
    for (int made = 0; made < total;) {
        const int needed = std::min(toDevice.inputNeeded(total - made), mixedFrames);
        const std::int64_t first = position.load();
        mixBlock(trackSlots, first, rate, std::span<float>(mixed.data(), static_cast<std::size_t>(needed) * 2));
        position.store(first + needed);
        made += toDevice.process(mixed.data(), needed, out.data() + 2 * made, total - made);
    }
}

void MultiTrackAudioEngine::mixBlock(std::span<const TrackSlot> trackSlots, std::int64_t firstFrame, int rate,
                                     std::span<float> out) const noexcept
{
    std::fill(out.begin(), out.end(), 0.0f);
    const auto frames = static_cast<std::int64_t>(out.size() / 2);
    const bool soloMode = std::any_of(trackSlots.begin(), trackSlots.end(), [](const TrackSlot &slot) { return slot.solo; });

    for (const TrackSlot &slot : trackSlots) {
        if (slot.muted || (soloMode && !slot.solo) || !slot.samples || slot.sampleCount <= 0)
            continue;
        // Sample index = frame - start frame, in whole frames: a per-frame float
        // time difference would land one sample early on some frames.
        std::int64_t startFrame = 0;
        if (!framesFromSeconds(slot.startTime, rate, startFrame, true))
            continue;
        const std::int64_t firstIndex = firstFrame - startFrame;
        const std::int64_t begin = std::max<std::int64_t>(0, -firstIndex);
        const std::int64_t end = std::min<std::int64_t>(frames, slot.sampleCount - firstIndex);
        if (begin >= end)
            continue;
        const float *source = slot.samples + (firstIndex + begin);
        float *sums = out.data() + 2 * begin;
        // Negated tests: a NaN pan scales both sides, as the rule's <= and >= imply.
        const bool scaleLeft = !(slot.pan <= 0.0f);
        const bool scaleRight = !(slot.pan >= 0.0f);
        if (scaleLeft && scaleRight)
            addSlot<true, true>(source, end - begin, slot.volume, slot.pan, sums);
        else if (scaleLeft)
            addSlot<true, false>(source, end - begin, slot.volume, slot.pan, sums);
        else if (scaleRight)
            addSlot<false, true>(source, end - begin, slot.volume, slot.pan, sums);
        else
            addSlot<false, false>(source, end - begin, slot.volume, slot.pan, sums);
    }
    for (float &value : out)
        value = std::clamp(value * masterVolume, -1.0f, 1.0f);
}
