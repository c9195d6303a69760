// SPDX-License-Identifier: GPL-3.0-or-later
// The clip's spectral erase: only the frames near the box change, the tone inside drops by
// the strength, the tone outside the band stays, on mono and on both stereo channels.
#include "AudioEditorPageProbe.h"
#include "Signals.h"
#include "SpectrumProbe.h"
#include "editor/ClipDocument.h"

#include <QUndoStack>

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <complex>

namespace {

constexpr int rate = 44100;
constexpr qsizetype frames = 3 * rate;

// Amplitude of the `hz` component over [first, end), from a Hann-weighted projection.
double amplitude(const QList<float> &x, int stride, int channel, qsizetype first, qsizetype end, double hz)
{
    std::complex<double> sum;
    double weights = 0.0;
    const qsizetype length = end - first;
    for (qsizetype i = first; i < end; ++i) {
        const double w = 0.5 * (1.0 - std::cos(2.0 * M_PI * double(i - first) / double(length)));
        sum += w * double(x[i * stride + channel]) * std::polar(1.0, -2.0 * M_PI * hz * double(i) / rate);
        weights += w;
    }
    return 2.0 * std::abs(sum) / weights;
}

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

QList<float> testSignal(unsigned seed)
{
    QList<float> signal = tone(frames, rate, 1000.0, 0.5);
    const QList<float> high = tone(frames, rate, 6000.0, 0.25);
    for (qsizetype i = 0; i < frames; ++i)
        signal[i] += high[i];
    addNoise(signal, 0.01f, seed);
    return signal;
}


} // namespace

TEST(ClipErase, ChangesOnlyTheFramesNearTheBoxAndAttenuatesTheBandByTheStrength)
{
    using Channel = ClipChannel;
    struct Row
    {
        const char *name;
        double startSec, endSec;
        float strength;
        bool stereo;
        double expectedDropDb; // of the 1 kHz tone inside; NaN for "at least 60 dB"
    };
    const double full = std::nan("");
    const Row rows[] = {
        {"mono, mid-file, strength 1", 1.0, 2.0, 1.0f, false, full},
        {"mono, mid-file, strength 0.5", 1.0, 2.0, 0.5f, false, db(0.5)},
        {"mono, at the start", -0.2, 0.8, 1.0f, false, full},
        {"mono, past the end", 2.2, 4.0, 1.0f, false, full},
        {"stereo, mid-file, strength 1", 1.0, 2.0, 1.0f, true, full},
        {"stereo, at the start, strength 0.5", 0.0, 0.8, 0.5f, true, db(0.5)},
        {"stereo, past the end", 2.2, 4.0, 1.0f, true, full},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QList<float> left = testSignal(1), right = testSignal(2);
        QList<float> mono(frames);
        for (qsizetype i = 0; i < frames; ++i)
            mono[i] = (left[i] + right[i]) * 0.5f;
        const QList<float> stereo = row.stereo ? interleave(left, right) : QList<float>();
        ClipDocument clip;
        clip.load({row.stereo ? mono : left, stereo}, rate);
        QSignalSpy changed(&clip, &ClipDocument::changed);
        const std::vector<Channel> channels =
            row.stereo ? std::vector<Channel>{Channel::Left, Channel::Right} : std::vector<Channel>{Channel::Mono};
        const SpectralBox box{row.startSec, row.endSec, 500.0f, 2000.0f};
        const FrameRange erased = clip.eraseSpectralBox(box, channels, row.strength);
        ASSERT_EQ(changed.count(), 1);
        // The views are told the frames the erase rewrote, no more.
        const FrameRange told = changed.at(0).at(0).value<FrameRange>();
        const FrameRange expected = spectralEraseRange(frames, rate, box);
        EXPECT_EQ(told.first, expected.first);
        EXPECT_EQ(told.end, expected.end);
        EXPECT_EQ(erased.first, expected.first);
        EXPECT_EQ(clip.undoStack()->undoText(), QStringLiteral("频谱擦除"));

        const QList<float> &newMono = clip.samples();
        const QList<float> &newStereo = clip.stereoSamples();
        ASSERT_EQ(newMono.size(), frames);
        ASSERT_EQ(newStereo.size(), stereo.size());
        const qsizetype s0 = qsizetype(std::max(row.startSec, 0.0) * rate);
        const qsizetype s1 = qsizetype(std::min(row.endSec, 3.0) * rate);
        const QList<float> &oldMono = row.stereo ? mono : left;
        for (qsizetype i = 0; i < frames; ++i) {
            if (i >= s0 - 2047 && i < s1 + 2047)
                continue;
            ASSERT_EQ(std::memcmp(&newMono[i], &oldMono[i], sizeof(float)), 0) << "mono frame " << i;
            if (row.stereo)
                ASSERT_EQ(std::memcmp(&newStereo[2 * i], &stereo[2 * i], 2 * sizeof(float)), 0) << "pair " << i;
        }

        // Inside the box, away from the frames that straddle its ends.
        const qsizetype first = s0 == 0 ? 0 : s0 + 2048;
        const qsizetype end = s1 == frames ? frames : s1 - 2048;
        const QList<const QList<float> *> lists = row.stereo ? QList<const QList<float> *>{&newStereo, &newStereo}
                                                              : QList<const QList<float> *>{&newMono};
        for (int c = 0; c < lists.size(); ++c) {
            SCOPED_TRACE(c);
            const int stride = row.stereo ? 2 : 1;
            const QList<float> &before = row.stereo ? stereo : left;
            const double drop = db(amplitude(*lists[c], stride, c, first, end, 1000.0)
                                   / amplitude(before, stride, c, first, end, 1000.0));
            if (std::isnan(row.expectedDropDb))
                EXPECT_LE(drop, -60.0);
            else
                EXPECT_NEAR(drop, row.expectedDropDb, 0.3);
            const double kept = db(amplitude(*lists[c], stride, c, first, end, 6000.0)
                                   / amplitude(before, stride, c, first, end, 6000.0));
            EXPECT_NEAR(kept, 0.0, 0.05);
        }
    }
}

TEST(ClipErase, ErasesOnlyTheLeftChannelFromTheUpperHalf)
{
    using Channel = ClipChannel;
    const QList<float> left = testSignal(3), right = testSignal(4);
    const QList<float> stereo = interleave(left, right);
    QList<float> mono(frames);
    for (qsizetype i = 0; i < frames; ++i)
        mono[i] = (left[i] + right[i]) * 0.5f;
    ClipDocument clip;
    clip.load({mono, stereo}, rate);
    clip.eraseSpectralBox({1.0, 2.0, 500.0f, 2000.0f}, {Channel::Left}, 1.0f);
    const QList<float> &after = clip.stereoSamples();
    bool leftChanged = false;
    for (qsizetype i = 0; i < frames; ++i) {
        ASSERT_EQ(std::memcmp(&after[2 * i + 1], &stereo[2 * i + 1], sizeof(float)), 0) << "right frame " << i;
        leftChanged = leftChanged || after[2 * i] != stereo[2 * i];
        ASSERT_EQ(clip.samples()[i], (after[2 * i] + after[2 * i + 1]) * 0.5f) << "mono frame " << i;
    }
    EXPECT_TRUE(leftChanged);
}

TEST(ClipErase, ABandAboveHalfTheRateChangesNothing)
{
    using Channel = ClipChannel;
    const QList<float> signal = testSignal(5);
    ClipDocument clip;
    clip.load({signal, {}}, rate);
    QSignalSpy changed(&clip, &ClipDocument::changed);
    clip.eraseSpectralBox({1.0, 2.0, rate / 2 + 10.0f, rate / 2 + 5000.0f}, {Channel::Mono}, 1.0f);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(clip.undoStack()->count(), 0);
    EXPECT_EQ(clip.samples().constData(), signal.constData());
}
