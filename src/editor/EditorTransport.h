// SPDX-License-Identifier: GPL-3.0-or-later
// Playback for the single-track editor: a snapshot of the page's samples played through an
// AudioEngine from a start sample, with the level of the last played block.
#pragma once

#include <QList>

#include <atomic>
#include <memory>

class AudioEngine;

// GUI thread only. The engine's stream thread runs one callback installed here, which
// publishes the block level in an atomic and touches nothing else.
class EditorTransport
{
public:
    EditorTransport();
    ~EditorTransport();
    EditorTransport(const EditorTransport &) = delete;
    EditorTransport &operator=(const EditorTransport &) = delete;

    enum class Start { Playing, OutputFailed };
    // Plays a snapshot of `samples` from `startSample`. An engine opened at another rate is
    // replaced; later edits of `samples` never reach the array being played.
    Start play(const QList<float> &samples, int sampleRate, int startSample);
    void pause();
    void stop();
    // Stops and deletes the engine, so that a recording can open the devices.
    void release();
    // The engine for another user of the stream (an effect preview) playing audio at
    // `sampleRate`: one at another rate is replaced by an idle one at this rate. Null while
    // there is no engine. The transport still owns it and may delete it at any time.
    AudioEngine *engineFor(int sampleRate);

    bool isPlaying() const;
    // The engine's stream failed by itself (its device or audio server went away).
    bool deviceLost() const;
    // Frame of the snapshot that plays next.
    int position() const;
    // Rate of the engine, 0 without one.
    int engineRate() const;
    // Level 0..100 of the last played block.
    int level() const { return blockLevel.load(std::memory_order_relaxed); }

private:
    void createEngine(int sampleRate);

    std::unique_ptr<AudioEngine> engine;
    QList<float> playbackSamples;
    std::atomic<int> blockLevel{0};
};
