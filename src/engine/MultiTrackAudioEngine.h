// SPDX-License-Identifier: GPL-3.0-or-later
// Mixes pre-rendered mono track buffers to stereo, live on the default output and
// offline into a sample list, with one mixing rule for both.
#pragma once

#include "engine/SnapshotExchange.h"
#include "engine/StreamClock.h"
#include "engine/StreamResampler.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class AudioBackend;
class StreamHost;

// Real-time contract: audioCallback runs on the stream thread, takes no lock, allocates
// nothing, emits nothing and never waits for the GUI. Every other operation runs on the GUI
// thread; a changed slot list reaches the stream thread as a prepared copy swapped in by
// pointer at the start of the next block, and the copy it replaced is freed later on the
// GUI thread, once no block reads it.
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
    // `sampleRate` is the timeline's; the stream runs at the output device's own rate and the
    // mix is converted to it here, so no conversion hides a delay further on.
    bool initialize(int sampleRate, int bufferFrames);

    // GUI thread. The stream thread adopts the new list at the start of its next block;
    // neither call waits for it.
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
    // True once the output stream failed by itself (its device or server went away): nothing
    // is heard and the position stands still until the next startPlayback opens a new stream.
    bool deviceLost() const;
    double getPlaybackPosition() const;
    // The output's timing since the last startPlayback, in the device's frames, with what the
    // device layer reports of it.
    const StreamClock &outputClock() const { return playClock; }
    StreamTiming outputTiming() const;

    // Mixes `trackSlots` from timeline time 0; takes no lock, so it may run while the stream plays.
    bool renderOffline(const std::vector<TrackSlot> &trackSlots, int frames, int sampleRate, QList<float> &out);

    // Stream thread; see the contract above.
    static int audioCallbackStatic(void *outputBuffer, void *inputBuffer, unsigned int frames, double streamTime,
                                   unsigned int status, void *userData) noexcept;
    int audioCallback(float *out, unsigned long frames) noexcept;

private:
    void mixBlock(std::span<const TrackSlot> trackSlots, std::int64_t firstFrame, int rate,
                  std::span<float> out) const noexcept;
    // Mixes at the timeline's rate and converts to the stream's; `position` runs ahead of what
    // is heard by the frames the conversion reads past its output.
    void mixConverted(std::span<const TrackSlot> trackSlots, std::span<float> out) noexcept;

    std::unique_ptr<StreamHost> host;
    StreamClock playClock;
    // The GUI's list as last set; each change is a new generation of the snapshot.
    SnapshotExchange<std::vector<TrackSlot>> slotLists;
    const float masterVolume = 1.0f;
    std::atomic<bool> playing{false};
    std::atomic<std::int64_t> position{0};
    int sampleRate = 44100;
    int bufferFrames = 512;
    // The rate the open stream was started with: initialize() during playback must not
    // change the time of frames already being mixed.
    std::atomic<int> streamSampleRate{44100};
    // Set up by startPlayback while no stream runs; the stream thread's own afterwards.
    bool converting = false;
    StreamResampler toDevice;
    std::vector<float> mixed;  // interleaved stereo at the timeline's rate, one block
};
