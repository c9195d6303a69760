// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track editor playback: engine lifetime, the played snapshot and the level callback.
#include "editor/EditorTransport.h"

#include "engine/AudioEngine.h"
#include "ui/MeterLevel.h"

namespace {
constexpr int kBlockFrames = 512;
} // namespace

EditorTransport::EditorTransport() = default;

EditorTransport::~EditorTransport()
{
    release();
}

EditorTransport::Start EditorTransport::play(const QList<float> &samples, int sampleRate, int startSample)
{
    if (!engine)
        createEngine(sampleRate);
    engineFor(sampleRate);
    // The engine lets go of the old snapshot before it is replaced.
    engine->stopPlayback();
    playbackSamples = samples;
    blockLevel.store(0);
    engine->setPlaybackProcessCallback([this](float *block, int count) {
        if (block && count > 0)
            blockLevel.store(meterLevel({block, std::size_t(count)}), std::memory_order_relaxed);
    });
    if (!engine->startPlayback(playbackSamples.constData(), int(playbackSamples.size()), sampleRate, startSample))
        return Start::OutputFailed;
    return Start::Playing;
}

AudioEngine *EditorTransport::engineFor(int sampleRate)
{
    // An engine keeps the rate it was opened at; a clip at another rate needs a new one.
    if (engine && engine->sampleRate() != sampleRate) {
        release();
        createEngine(sampleRate);
    }
    return engine.get();
}

void EditorTransport::createEngine(int sampleRate)
{
    engine = std::make_unique<AudioEngine>();
    engine->initialize(sampleRate, kBlockFrames);
}

void EditorTransport::pause()
{
    if (engine)
        engine->pausePlayback();
}

void EditorTransport::stop()
{
    if (engine)
        engine->stopPlayback();
}

void EditorTransport::release()
{
    if (!engine)
        return;
    engine->stopPlayback();
    engine->shutdown();
    engine.reset();
}

bool EditorTransport::isPlaying() const
{
    return engine && engine->isPlaying();
}

bool EditorTransport::deviceLost() const
{
    return engine && engine->deviceLost();
}

int EditorTransport::position() const
{
    return engine ? engine->position() : 0;
}

int EditorTransport::engineRate() const
{
    return engine ? engine->sampleRate() : 0;
}
