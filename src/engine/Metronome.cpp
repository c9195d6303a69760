// SPDX-License-Identifier: GPL-3.0-or-later
// Metronome: beat clock, click synthesis and the 10 ms feed of its sink.
#include "engine/Metronome.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int tickMs = 10;
constexpr int blockFrames = PushAudioOutput::maxBlockFrames;
} // namespace

Metronome::Metronome(QObject *parent) : QObject(parent) {}

Metronome::~Metronome()
{
    stop();
}

bool Metronome::start(int rate, double tempo, int beats, double startSeconds)
{
    stop();
    const PushAudioOutput::Result opened = output.open(rate, this, QStringLiteral("Metronome: "), false);
    if (opened != PushAudioOutput::Result::Opened) {
        if (opened == PushAudioOutput::Result::NoDevice)
            qWarning() << "Metronome: failed to get IO device from QAudioSink";
        return false;
    }
    // Clicks are synthesised at the sink's rate, which differs from `rate` only when the
    // device refused it.
    sampleRate = output.sampleRate();
    bpm = tempo;
    // A bar of 0 beats from a file would make the beat count divide by zero.
    beatsPerBar = std::max(1, beats);
    clickRemaining = 0;
    accented = false;
    position = std::llround((std::isfinite(startSeconds) ? startSeconds : 0.0) * sampleRate);
    if (bpm > 0.0 && std::isfinite(bpm)) {
        // The first beat at or after the start: estimate, then settle on the rounded grid.
        nextBeat = std::int64_t(std::ceil(double(position) * bpm / (60.0 * sampleRate)));
        while (beatFrame(nextBeat - 1) >= position)
            --nextBeat;
        while (beatFrame(nextBeat) < position)
            ++nextBeat;
        nextBeatAt = beatFrame(nextBeat);
    } else {
        nextBeatAt = std::numeric_limits<std::int64_t>::max();
    }

    clickLength = std::max(4, int(sampleRate * 0.05));
    accentClick.resize(clickLength);
    normalClick.resize(clickLength);
    for (int i = 0; i < clickLength; ++i) {
        const float t = float(i) / float(sampleRate);
        const float envelope = std::exp(-80.0f * t);
        accentClick[i] = std::sin(5026.5483f * t) * envelope;
        normalClick[i] = std::sin(3769.9114f * t) * envelope;
    }

    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &Metronome::tick);
    timer->start(tickMs);
    running = true;
    qDebug() << "Metronome: started at" << bpm << "BPM, sampleRate=" << sampleRate;
    return true;
}

void Metronome::stop()
{
    running = false;
    delete timer;
    timer = nullptr;
    output.close();
}

void Metronome::tick()
{
    if (!running || !output.isOpen())
        return;
    const int frames = std::min(blockFrames, output.framesFree());
    if (frames < 1)
        return;
    short block[2 * blockFrames] = {};
    render(block, frames);
    output.write(block, frames);
}

std::int64_t Metronome::beatFrame(std::int64_t beat) const
{
    return std::llround(double(beat) * 60.0 / bpm * sampleRate);
}

void Metronome::render(short *out, int frames)
{
    if (!running || !out)
        return;
    for (int f = 0; f < frames; ++f, ++position) {
        if (position >= nextBeatAt) {
            accented = nextBeat % beatsPerBar == 0;
            clickRemaining = clickLength;
            nextBeatAt = beatFrame(++nextBeat);
        }
        if (clickRemaining <= 0)
            continue;
        const int k = clickLength - clickRemaining--;
        if (volume <= 0.0f)
            continue;  // silenced: the click runs on unheard
        const float value = (accented ? accentClick : normalClick)[k] * volume;
        const short pcm = value > 1.0f ? 32767 : value < -1.0f ? -32767 : short(value * 32767.0f);
        out[2 * f] = out[2 * f + 1] = pcm;
    }
}
