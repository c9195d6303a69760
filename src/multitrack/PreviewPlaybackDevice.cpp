// SPDX-License-Identifier: GPL-3.0-or-later
// The source a piano roll's audio sink pulls from: the live output of the track's instrument.
#include "PreviewPlaybackDevice.h"

#include "engine/LiveAudioPlayer.h"
#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"
#include "engine/platform/PushAudioOutput.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int chunkFrames = PushAudioOutput::maxBlockFrames;
constexpr int stereoFrameBytes = 4;
} // namespace

PreviewPlaybackDevice::PreviewPlaybackDevice(SF2Sampler *sf2, PianoSampler *piano, QObject *parent)
    : QIODevice(parent), sf2Sampler(sf2), pianoSampler(piano)
{
    format.setSampleRate(44100);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    block.fill(0, qsizetype(chunkFrames) * stereoFrameBytes);
}

void PreviewPlaybackDevice::setOutputFormat(const QAudioFormat &outputFormat)
{
    format = outputFormat;
}

qint64 PreviewPlaybackDevice::bytesAvailable() const
{
    // Endless: a sink asking how much it may read is always given a full chunk.
    return qint64(chunkFrames) * format.bytesPerFrame() + QIODevice::bytesAvailable();
}

bool PreviewPlaybackDevice::rendersItself() const
{
    return !(livePlayer && livePlayer->isRunning());
}

void PreviewPlaybackDevice::renderStereo(short *out, int frames)
{
    std::fill_n(out, 2 * frames, short(0));
    if (!rendersItself())
        return;
    if (sf2Sampler && sf2Sampler->isLoaded())
        sf2Sampler->renderLive(out, frames);
    else if (pianoSampler && pianoSampler->hasSamples())
        pianoSampler->renderLive(out, frames);
}

qint64 PreviewPlaybackDevice::readData(char *data, qint64 maxSize)
{
    std::memset(data, 0, size_t(maxSize));
    const int frameBytes = format.bytesPerFrame();
    if (frameBytes < 1)
        return maxSize;
    auto *stereo = reinterpret_cast<short *>(block.data());
    for (qint64 done = 0; done + frameBytes <= maxSize;) {
        const int frames = int(std::min<qint64>(chunkFrames, (maxSize - done) / frameBytes));
        renderStereo(stereo, frames);
        PushAudioOutput::convert(stereo, frames, format, data + done);
        done += qint64(frames) * frameBytes;
    }
    return maxSize;
}

qint64 PreviewPlaybackDevice::writeData(const char *, qint64)
{
    return 0;
}
