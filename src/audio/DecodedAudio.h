// SPDX-License-Identifier: GPL-3.0-or-later
// What every decoder hands back: interleaved floats with their layout, and the mono mix
// the clip needs, built by the decoder while the frames it just wrote are still in cache.
#pragma once

#include <QList>

#include <algorithm>
#include <cstring>

#include <sys/mman.h>

// One value per frame: the pair's half-sum for stereo, the mean otherwise.
inline void mixFramesToMono(const float *interleaved, float *mono, qsizetype frames, int channels)
{
    if (channels == 2) {
        for (qsizetype i = 0; i < frames; ++i)
            mono[i] = (interleaved[2 * i] + interleaved[2 * i + 1]) * 0.5f;
        return;
    }
    for (qsizetype i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[i * channels + c];
        mono[i] = sum / float(channels);
    }
}

// `count` floats left unset, for a writer about to set every one: QList::resize would
// zero them first, touching every page twice. A clip-sized buffer asks for huge pages:
// faulting in hundreds of megabytes 4 KiB at a time costs more than decoding WAV.
inline QList<float> uninitialisedFloats(qsizetype count)
{
    if (count <= 0)
        return {};
    auto [header, values] = QTypedArrayData<float>::allocate(count);
    Q_CHECK_PTR(values);
#ifdef MADV_HUGEPAGE
    constexpr quintptr hugePage = quintptr(2) << 20;
    const quintptr begin = (quintptr(values) + hugePage - 1) & ~(hugePage - 1);
    const quintptr end = quintptr(values + count) & ~(hugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#endif
    return QList<float>(QArrayDataPointer<float>(header, values, count));
}

struct DecodedAudio
{
    // Frame by frame, channel 0 first. While decoding its size is the room reserved so
    // far; finish() trims it to what was written.
    QList<float> interleaved;
    // The mix of each frame (mixFramesToMono); empty for one channel, which is its own mix.
    QList<float> mono;
    int channels = 0;
    int sampleRate = 0;

    qsizetype frames() const { return channels > 0 ? interleaved.size() / channels : 0; }

    // Sets the layout and reserves room for `frames` frames, a hint the stream may overstate
    // or understate (callers cap it by what the file size allows).
    void start(int channelCount, int rate, qsizetype frameHint)
    {
        channels = channelCount;
        sampleRate = rate;
        grow(0, std::max<qsizetype>(frameHint, 0) * channels);
    }

    // Room for `count` more values after the `used` ones. Growth is geometric, so a stream
    // whose length hint was capped or missing still decodes in linear time.
    float *extend(qsizetype used, qsizetype count)
    {
        if (used + count > interleaved.size())
            grow(used, std::max(used + count, interleaved.size() * 2));
        return interleaved.data() + used;
    }

    // Mixes frames [first, first + count) into `mono`. Disjoint ranges may run on different
    // threads at once.
    void mix(qsizetype first, qsizetype count)
    {
        if (channels > 1)
            mixFramesToMono(interleaved.constData() + first * channels, mono.data() + first, count, channels);
    }

    // Ends the stream at `usedValues` (whole frames) and drops a reserve it did not fill.
    void finish(qsizetype usedValues)
    {
        trim(interleaved, usedValues);
        if (channels > 1)
            trim(mono, usedValues / channels);
        else
            mono = {};
    }

private:
    void grow(qsizetype used, qsizetype values)
    {
        interleaved = regrown(interleaved, used, values);
        if (channels > 1)
            mono = regrown(mono, used / channels, values / channels);
    }

    static QList<float> regrown(const QList<float> &old, qsizetype used, qsizetype size)
    {
        QList<float> grown = uninitialisedFloats(size);
        if (used > 0)
            std::memcpy(grown.data(), old.constData(), size_t(used) * sizeof(float));
        return grown;
    }

    static void trim(QList<float> &values, qsizetype used)
    {
        values.resize(used);
        if (values.capacity() > values.size() + values.size() / 8)
            values.squeeze();
    }
};
