// SPDX-License-Identifier: GPL-3.0-or-later
// Mixes pre-rendered mono track buffers to stereo, live on the default output and
// offline into a sample list, with one mixing rule for both.
#pragma once

#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

class AudioBackend;

class MultiTrackAudioEngine : public QObject
{
    Q_OBJECT

public:
    // One pre-rendered track. `samples` is borrowed: the buffer must stay valid and
    // unchanged while the slot can be mixed (see waitForSlotAdoption).
    struct TrackSlot
    {
        const float *samples = nullptr;
        int sampleCount = 0;
        double startTime = 0.0; // seconds on the timeline at which sample 0 sounds
        float volume = 0.8f;    // linear gain
        float pan = 0.0f;       // -1 left .. +1 right
        bool muted = false;
        bool solo = false;
    };

    MultiTrackAudioEngine();
    // Uses `backend` as the device layer (null behaves like a failed RtAudio start).
    explicit MultiTrackAudioEngine(std::unique_ptr<AudioBackend> backend);
    ~MultiTrackAudioEngine() override;

    // Stored for the next stream that opens; an open stream keeps its rate and block size.
    bool initialize(int sampleRate, int bufferFrames);

    // GUI thread. The stream thread adopts the new list at the start of its next block.
    void setTracks(const std::vector<TrackSlot> &trackSlots);
    void updateTrackSlot(int index, const TrackSlot &slot);
    // GUI thread. True once no block can read a buffer that the last setTracks or
    // updateTrackSlot replaced: the stream thread has adopted the new list, or no stream
    // runs. Only then may the caller free the replaced buffers. False on time-out.
    bool waitForSlotAdoption(int timeoutMs = 1000) const;

    bool startPlayback(double seconds);
    void pausePlayback();
    void resumePlayback();
    void stopPlayback();
    void shutdown();
    bool isPlaying() const;
    double getPlaybackPosition() const;

    // Mixes `trackSlots` from timeline time 0; takes no lock, so it may run while the stream plays.
    bool renderOffline(const std::vector<TrackSlot> &trackSlots, int frames, int sampleRate, QList<float> &out);

    // Stream thread. Real-time: no allocation or lock except when a changed list is adopted.
    static int audioCallbackStatic(void *outputBuffer, void *inputBuffer, unsigned int frames, double streamTime,
                                   unsigned int status, void *userData);
    int audioCallback(float *out, unsigned long frames);

private:
    void mixBlock(std::span<const TrackSlot> trackSlots, std::int64_t firstFrame, int rate, std::span<float> out) const;

    std::unique_ptr<AudioBackend> backend;
    std::vector<TrackSlot> pendingSlots;
    std::vector<TrackSlot> activeSlots;
    std::atomic<bool> slotsDirty{true};
    // Counts changes of pendingSlots (guarded by mutex); the stream thread publishes the
    // count it has adopted, so the GUI knows when replaced buffers are free.
    std::uint64_t pendingGeneration = 0;
    std::atomic<std::uint64_t> adoptedGeneration{0};
    const float masterVolume = 1.0f;
    std::atomic<bool> playing{false};
    std::atomic<std::int64_t> position{0};
    int sampleRate = 44100;
    int bufferFrames = 512;
    // The rate the open stream was started with: initialize() during playback must not
    // change the time of frames already being mixed.
    std::atomic<int> streamSampleRate{44100};
    mutable std::mutex mutex;
};
