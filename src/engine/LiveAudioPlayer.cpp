// SPDX-License-Identifier: GPL-3.0-or-later
// Live instrument player: a 10 ms GUI timer writes the instrument's next block to the sink.
#include "engine/LiveAudioPlayer.h"

#include "engine/PianoSampler.h"
#include "engine/SF2Sampler.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int blockFrames = PushAudioOutput::maxBlockFrames;
constexpr int tickMs = 10;
} // namespace

LiveAudioPlayer::LiveAudioPlayer(QObject *parent) : QObject(parent) {}

LiveAudioPlayer::~LiveAudioPlayer()
{
    stop();
}

void LiveAudioPlayer::setSf2Sampler(SF2Sampler *s)
{
    sf2 = s;
    piano = nullptr;
}

void LiveAudioPlayer::setPianoSampler(PianoSampler *p)
{
    piano = p;
    sf2 = nullptr;
}

bool LiveAudioPlayer::start(int rate)
{
    if (running)
        return true;
    pcm.fill(0, qsizetype(blockFrames) * 4);
    const PushAudioOutput::Result opened = output.open(rate, this, QStringLiteral("LiveAudioPlayer: "), true);
    if (opened != PushAudioOutput::Result::Opened) {
        if (opened == PushAudioOutput::Result::NoDevice)
            qWarning() << "LiveAudioPlayer: QAudioSink::start() returned null!";
        return false;
    }
    // The instruments render at the sink's rate, which differs from `rate` only when the
    // device refused it.
    sampleRate = output.sampleRate();
    if (piano)
        piano->setSampleRate(sampleRate);
    if (sf2)
        sf2->setSampleRate(sampleRate);

    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &LiveAudioPlayer::pushAudio);
    timer->start(tickMs);
    running = true;
    qDebug() << "LiveAudioPlayer: Started (push mode, SR=" << sampleRate << "buffer=" << blockFrames
             << "frames, interval=" << tickMs << "ms)";
    return true;
}

void LiveAudioPlayer::stop()
{
    if (!running)
        return;
    running = false;
    delete timer;
    timer = nullptr;
    output.close();
    if (sf2)
        sf2->allNotesOff();
    else if (piano)
        piano->allNotesOff();
    qDebug() << "LiveAudioPlayer: Stopped";
}

void LiveAudioPlayer::pushAudio()
{
    if (!running || !output.isOpen())
        return;
    // Only whole frames the sink can take: a write it cannot hold would be dropped and click.
    const int frames = std::min(blockFrames, output.framesFree());
    if (frames < 1)
        return;
    auto *block = reinterpret_cast<short *>(pcm.data());
    std::fill_n(block, 2 * frames, short(0));
    if (sf2)
        sf2->renderLive(block, frames);
    else if (piano)
        piano->renderLive(block, frames);
    output.write(block, frames);
}
