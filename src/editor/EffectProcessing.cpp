// SPDX-License-Identifier: GPL-3.0-or-later
// Effect steps of the single-track editor over both sample lists.
#include "editor/EffectProcessing.h"

#include "audio/AudioProcessor.h"
#include "audio/DecodedAudio.h"
#include "audio/VocalIsolator.h"

#include <QObject>

#include <algorithm>

namespace {

qsizetype framesOf(const QList<float> &stereo)
{
    return stereo.size() / 2;
}

// The results below are written whole into fresh buffers: a list shared with the dialog's
// opening copy or the undo history would otherwise be copied first and then overwritten.
QList<float> meanOfChannels(const QList<float> &stereo)
{
    const qsizetype frames = framesOf(stereo);
    QList<float> mono = uninitialisedFloats(frames);
    mixFramesToMono(stereo.constData(), mono.data(), frames, 2);
    return mono;
}

QList<float> bothChannelsFrom(const QList<float> &mono)
{
    QList<float> stereo = uninitialisedFloats(2 * mono.size());
    float *pairs = stereo.data();
    const float *values = mono.constData();
    for (qsizetype i = 0; i < mono.size(); ++i)
        pairs[2 * i] = pairs[2 * i + 1] = values[i];
    return stereo;
}

QList<float> scaled(const QList<float> &values, float factor)
{
    QList<float> out = uninitialisedFloats(values.size());
    const float *in = values.constData();
    float *result = out.data();
    for (qsizetype i = 0; i < values.size(); ++i)
        result[i] = in[i] * factor;
    return out;
}

// A list the effect may write in place: one still shared with the opening copy is copied
// here, into huge pages, rather than by the effect's first write.
QList<float> ownCopy(QList<float> &&values)
{
    if (!values.isDetached()) {
        QList<float> copy = uninitialisedFloats(values.size());
        std::copy(values.cbegin(), values.cend(), copy.data());
        return copy;
    }
    return std::move(values);
}

// Runs `effect` on a fresh processor holding `values` and keeps its first error, if any.
QString runOn(QList<float> &values, int channels, int sampleRate, const std::function<void(AudioProcessor &)> &effect)
{
    AudioProcessor processor;
    QString error;
    QObject::connect(&processor, &AudioProcessor::errorOccurred, [&error](const QString &message) {
        if (error.isEmpty())
            error = message;
    });
    processor.samples = ownCopy(std::move(values));
    processor.sampleRate = sampleRate;
    processor.channels = channels;
    effect(processor);
    values = std::move(processor.samples);
    return error;
}

} // namespace

namespace EffectProcessing {

void applyGain(SampleLists &lists, float factor)
{
    for (QList<float> *list : {&lists.mono, &lists.stereo})
        *list = scaled(*list, factor);
}

void extractCentreMidSide(SampleLists &lists, float centre, float side)
{
    if (lists.stereo.isEmpty()) {
        lists.mono = scaled(lists.mono, centre);
        return;
    }
    const qsizetype frames = framesOf(lists.stereo);
    QList<float> mono = uninitialisedFloats(frames);
    const float *pairs = lists.stereo.constData();
    for (qsizetype i = 0; i < frames; ++i) {
        const float left = pairs[2 * i];
        const float right = pairs[2 * i + 1];
        mono[i] = (left - right) * 0.5f * side + (left + right) * 0.5f * centre;
    }
    lists.stereo = bothChannelsFrom(mono);
    lists.mono = std::move(mono);
}

void extractCentreSpectral(SampleLists &lists, float strength, int sampleRate)
{
    const qsizetype frames = framesOf(lists.stereo);
    QList<float> mono(frames);
    VocalIsolator isolator;
    isolator.setIsolationStrength(strength, 0.02f);
    isolator.processOffline(lists.stereo.constData(), mono.data(), std::uint64_t(frames), sampleRate);
    lists.stereo = bothChannelsFrom(mono);
    lists.mono = std::move(mono);
}

QString runInterleaved(SampleLists &lists, int sampleRate, const std::function<void(AudioProcessor &)> &effect)
{
    if (lists.stereo.isEmpty())
        return runOn(lists.mono, 1, sampleRate, effect);
    const QString error = runOn(lists.stereo, 2, sampleRate, effect);
    lists.mono = meanOfChannels(lists.stereo);
    return error;
}

QString runPerChannel(SampleLists &lists, int sampleRate, const std::function<void(AudioProcessor &)> &effect)
{
    if (lists.stereo.isEmpty())
        return runOn(lists.mono, 1, sampleRate, effect);
    const qsizetype frames = framesOf(lists.stereo);
    const float *source = lists.stereo.constData();
    QList<float> stereo = uninitialisedFloats(2 * frames);
    float *pairs = stereo.data();
    for (int c = 0; c < 2; ++c) {
        QList<float> channel = uninitialisedFloats(frames);
        float *values = channel.data();
        for (qsizetype i = 0; i < frames; ++i)
            values[i] = source[2 * i + c];
        const QString error = runOn(channel, 1, sampleRate, effect);
        if (!error.isEmpty())
            return error;
        const float *processed = channel.constData();
        for (qsizetype i = 0; i < frames; ++i)
            pairs[2 * i + c] = processed[i];
    }
    lists.stereo = std::move(stereo);
    lists.mono = meanOfChannels(lists.stereo);
    return {};
}

void runOnEachChannel(SampleLists &lists, const ChannelEffect &effect)
{
    if (lists.stereo.isEmpty()) {
        lists.mono = ownCopy(std::move(lists.mono));
        effect(lists.mono.data(), lists.mono.size(), 1);
        return;
    }
    lists.stereo = ownCopy(std::move(lists.stereo));
    const qsizetype frames = framesOf(lists.stereo);
    for (int c = 0; c < 2; ++c)
        effect(lists.stereo.data() + c, frames, 2);
    lists.mono = meanOfChannels(lists.stereo);
}

void applyWidth(SampleLists &lists, int sampleRate, float width)
{
    AudioProcessor processor;
    processor.stereoSamples = ownCopy(std::move(lists.stereo));
    // Already of the size the effect gives it, so it writes every value without zeroing first.
    processor.samples = uninitialisedFloats(framesOf(processor.stereoSamples));
    processor.sampleRate = sampleRate;
    processor.channels = 2;
    processor.applyImager(width);
    lists.stereo = std::move(processor.stereoSamples);
    lists.mono = std::move(processor.samples);
}

void convertToMono(SampleLists &lists)
{
    lists.stereo.clear();
}

void convertToStereo(SampleLists &lists)
{
    lists.stereo = bothChannelsFrom(lists.mono);
}

} // namespace EffectProcessing
