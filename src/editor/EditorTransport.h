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

    bool isPlaying() const;
    // Frame of the snapshot that plays next.
    int position() const;
    // Rate of the engine, 0 without one.
    int engineRate() const;
    // Level 0..100 of the last played block.
    int level() const { return blockLevel.load(std::memory_order_relaxed); }

private:
    std::unique_ptr<AudioEngine> engine;
    QList<float> playbackSamples;
    std::atomic<int> blockLevel{0};
};
