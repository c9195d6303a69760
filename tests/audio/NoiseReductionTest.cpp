// SPDX-License-Identifier: GPL-3.0-or-later
// FFT against a direct DFT, noise profiles, spectral subtraction on noise plus a tone (with
// sox noisered as a peer), the clip edges, and refused settings.
#include "AudioFixtures.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"

#include "audio/AudioProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace {

constexpr int rate = 44100;
const QString tooShort = QStringLiteral("噪声样本太短，至少需要 %1 个采样点");
const QString noProfile = QStringLiteral("请先框选一段噪声样本并分析噪声特征");

double rms(std::span<const float> values)
{
    double sum = 0.0;
    for (float v : values)
        sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(values.size()));
}

float peak(std::span<const float> values)
{
    float p = 0.0f;
    for (float v : values)
        p = std::max(p, std::fabs(v));
    return p;
}

// Amplitude of the hz component by least squares against a sine and a cosine.
double toneAmplitude(std::span<const float> values, size_t offset, double hz)
{
    double s = 0.0, c = 0.0;
    for (size_t i = 0; i < values.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * hz * static_cast<double>(offset + i) / rate;
        s += values[i] * std::sin(phase);
        c += values[i] * std::cos(phase);
    }
    return 2.0 * std::hypot(s, c) / static_cast<double>(values.size());
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

// One second of noise, then three seconds of the same noise under a 440 Hz tone.
std::vector<float> noisyTone()
{
    std::vector<float> clip = seededNoise(4 * rate, 0.1f, 41);
    const std::vector<float> tone = sineWave(440.0, rate, 3 * rate, 0.5f);
    for (size_t i = 0; i < tone.size(); ++i)
        clip[rate + i] += tone[i];
    return clip;
}

struct Reduction
{
    double noiseDropDb;
    double toneChangeDb;
};

Reduction measure(std::span<const float> before, std::span<const float> after)
{
    const size_t noiseFrom = 4096, noiseTo = rate - 4096;
    const size_t toneFrom = rate + rate / 5, toneLength = 2 * rate;
    return {db(rms(before.subspan(noiseFrom, noiseTo - noiseFrom)) / rms(after.subspan(noiseFrom, noiseTo - noiseFrom))),
            db(toneAmplitude(after.subspan(toneFrom, toneLength), toneFrom, 440.0)
               / toneAmplitude(before.subspan(toneFrom, toneLength), toneFrom, 440.0))};
}

} // namespace

TEST(Fft, MatchesADirectDftAndInvertsBack)
{
    AudioProcessor processor;
    float real[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    float imag[4] = {};
    processor.fftReal(real, imag, 4, false);
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(real[k], 1.0f);
        EXPECT_FLOAT_EQ(imag[k], 0.0f);
    }
    processor.fftReal(real, imag, 4, true);
    EXPECT_FLOAT_EQ(real[0], 1.0f);
    EXPECT_NEAR(real[1], 0.0f, 1e-7);

    const int n = 256;
    const std::vector<float> re = seededNoise(n, 1.0f, 42);
    const std::vector<float> im = seededNoise(n, 1.0f, 43);
    std::vector<float> r = re, i = im;
    processor.fftReal(r.data(), i.data(), n, false);
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum;
        for (int t = 0; t < n; ++t)
            sum += std::complex<double>(re[t], im[t]) * std::polar(1.0, -2.0 * std::numbers::pi * k * t / n);
        ASSERT_NEAR(r[k], sum.real(), 1e-4) << k;
        ASSERT_NEAR(i[k], sum.imag(), 1e-4) << k;
    }
    processor.fftReal(r.data(), i.data(), n, true);
    for (int t = 0; t < n; ++t) {
        ASSERT_NEAR(r[t], re[t], 1e-5);
        ASSERT_NEAR(i[t], im[t], 1e-5);
    }

    // A length that is not a power of two has no radix-2 transform: the arrays stay as they are.
    std::vector<float> six = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f}, zeros(6, 0.0f);
    processor.fftReal(six.data(), zeros.data(), 6, false);
    EXPECT_EQ(six, (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f}));
}

TEST(NoiseReduction, RemovesNoiseKeepsTheToneAndLeavesTheEdgesBounded)
{
    const std::vector<float> before = noisyTone();
    AudioProcessor processor;
    SignalRecord record(processor);
    setClip(processor, before, rate, 1);
    processor.analyzeNoiseProfile(0, rate);
    processor.applyNoiseReduction(1.0f);
    ASSERT_TRUE(record.errors.isEmpty());
    EXPECT_EQ(record.processed, 1);
    const std::vector<float> after = clipOf(processor);

    const Reduction ours = measure(before, after);
    // Subtracting the squared mean magnitude leaves white noise about 5.3 dB lower per bin
    // (Rayleigh-distributed magnitudes); overlap-add averages a little more away.
    EXPECT_GE(ours.noiseDropDb, 5.5);
    EXPECT_NEAR(ours.toneChangeDb, 0.0, 1.0);

    const std::span<const float> in(before), out(after);
    const size_t frame = 2048;
    EXPECT_LE(peak(out.first(frame)), 1.1f * peak(in.first(frame)));
    EXPECT_LE(peak(out.last(frame)), 1.1f * peak(in.last(frame)));
}

TEST(NoiseReduction, SoxNoiseredOnTheSameClipKeepsTheToneToo)
{
    // A peer check of the measurement: sox gates harder (it removes more noise) and, like
    // ours, leaves the tone within 1 dB.
    ZENTRIQ_REQUIRE(toolAvailable("sox"), "sox is not installed");
    TestFiles files;
    const std::vector<float> before = noisyTone();
    const QStringList raw = {"-t", "f32", "-r", QString::number(rate), "-c", "1"};
    const QString input = files.write("in.f32", floatBytes(before));
    const QString noise = files.write("noise.f32", floatBytes(std::span<const float>(before).first(rate)));
    ASSERT_TRUE(runTool("sox", raw + QStringList{noise, "-n", "noiseprof", files.path("noise.prof")}).ok());
    ASSERT_TRUE(runTool("sox", QStringList{"-D"} + raw + QStringList{input, "-t", "f32", files.path("out.f32"),
                                                                      "noisered", files.path("noise.prof"), "0.21"})
                    .ok());
    const std::vector<float> theirs = floatsFromBytes(files.read("out.f32"));
    ASSERT_GT(theirs.size(), size_t(3.5 * rate));

    AudioProcessor processor;
    setClip(processor, before, rate, 1);
    processor.analyzeNoiseProfile(0, rate);
    processor.applyNoiseReduction(1.0f);
    const Reduction ours = measure(before, clipOf(processor));
    const Reduction peer = measure(before, theirs);
    EXPECT_NEAR(peer.toneChangeDb, 0.0, 1.0);
    EXPECT_GT(peer.noiseDropDb, ours.noiseDropDb);
    EXPECT_LE(std::fabs(ours.toneChangeDb), std::fabs(peer.toneChangeDb) + 0.5);
}

TEST(NoiseReduction, ProfileIsTheSquaredMeanMagnitudeOfTheRangeFrames)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty(), "python3-numpy is not installed");
    TestFiles files;
    const std::vector<float> clip = seededNoise(8000, 0.3f, 44);
    const QString path = files.write("clip.f32", floatBytes(clip));
    // 4096 samples from 1000: frames at offsets 0, 512, ..., 2048 of the range.
    const char *script = R"(
import sys
import numpy as np
x = np.fromfile(sys.argv[1], dtype='<f4').astype(np.float64)[1000:5096]
n = 2048
w = (1 - np.cos(2 * np.pi * np.arange(n) / (n - 1))) * 0.5
frames = [x[o:o + n] * w for o in range(0, len(x) - n + 1, n // 4)]
assert len(frames) == 5
mean = np.mean([np.abs(np.fft.rfft(f)) for f in frames], axis=0)
sys.stdout.buffer.write((mean ** 2).astype('<f8').tobytes())
)";
    const ToolResult numpy = runTool(pythonWith("numpy"), {"-c", script, path});
    ASSERT_TRUE(numpy.ok()) << numpy.standardError.constData();
    const std::vector<double> expected = doublesFromBytes(numpy.standardOutput);
    ASSERT_EQ(expected.size(), 1025u);

    AudioProcessor processor;
    setClip(processor, clip, rate, 1);
    processor.analyzeNoiseProfile(1000, 5096);
    ASSERT_EQ(processor.noiseProfile.size(), 1025);
    for (size_t k = 0; k < expected.size(); ++k)
        ASSERT_NEAR(processor.noiseProfile[k], expected[k], 1e-4 * expected[k] + 1e-6) << k;
}

TEST(NoiseReduction, AnalysisRangeIsClampedAndMustHoldOneFrame)
{
    const std::vector<float> clip = seededNoise(4096, 0.3f, 45);
    AudioProcessor exact;
    setClip(exact, clip, rate, 1);
    exact.analyzeNoiseProfile(0, 4096);

    struct Case { const char *name; int start, end; bool ok; };
    const Case cases[] = {
        {"negative start, end past the clip", -100, 1 << 30, true},
        {"exactly one frame", 0, 2048, true},
        {"one sample short", 0, 2047, false},
        {"end before start", 3000, 100, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, clip, rate, 1);
        processor.noiseProfile = {1.0f, 2.0f};
        processor.analyzeNoiseProfile(c.start, c.end);
        if (c.ok) {
            EXPECT_TRUE(record.errors.isEmpty());
            EXPECT_EQ(processor.noiseProfile.size(), 1025);
            if (c.end > 4096) {
                EXPECT_EQ(processor.noiseProfile, exact.noiseProfile);
            }
        } else {
            EXPECT_EQ(record.errors, QStringList{tooShort.arg(2048)});
            EXPECT_EQ(processor.noiseProfile, (QList<float>{1.0f, 2.0f}));
        }
        EXPECT_EQ(record.processed, 0);
    }
}

TEST(NoiseReduction, NeutralSettingsLeaveTheClipAsItWas)
{
    const std::vector<float> clip = seededNoise(10000, 0.3f, 46);
    // The last whole frame ends at 9728: the tail after it and the first sample are never touched.
    struct Case { const char *name; float strength; bool silentProfile; };
    const Case cases[] = {{"strength 0", 0.0f, false}, {"negative strength", -2.0f, false},
                          {"profile of silence", 1.0f, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, clip, rate, 1);
        processor.analyzeNoiseProfile(0, 4096);
        if (c.silentProfile)
            processor.noiseProfile.fill(0.0f);
        processor.applyNoiseReduction(c.strength);
        EXPECT_EQ(record.processed, 1);
        const std::vector<float> out = clipOf(processor);
        EXPECT_EQ(out[0], clip[0]);
        for (size_t i = 9728; i < clip.size(); ++i)
            ASSERT_EQ(out[i], clip[i]) << i;
        for (size_t i = 1; i < 9728; ++i)
            ASSERT_NEAR(out[i], clip[i], 1e-5) << i;
    }
}

TEST(NoiseReduction, ShortClipIsReturnedUnchanged)
{
    const std::vector<float> clip = seededNoise(2047, 0.3f, 47);
    AudioProcessor processor;
    SignalRecord record(processor);
    setClip(processor, clip, rate, 1);
    processor.noiseProfile = QList<float>(1025, 1.0f);
    processor.applyNoiseReduction(1.0f);
    EXPECT_EQ(clipOf(processor), clip);
    EXPECT_EQ(record.processed, 1);
}

TEST(NoiseReduction, UnusableProfileOrFrameLengthIsRefused)
{
    const QString badLength = QStringLiteral("FFT长度无效: %1");
    const std::vector<float> clip = seededNoise(8192, 0.3f, 48);
    struct Case { const char *name; int fftSize; qsizetype profileBins; bool analyse; QString error; };
    const Case cases[] = {
        {"no profile", 2048, 0, false, noProfile},
        {"profile of another frame length", 2048, 513, false, noProfile},
        {"frame length 2 analysed", 2, 0, true, badLength.arg(2)},
        {"frame length 2 applied", 2, 2, false, badLength.arg(2)},
        {"frame length 0", 0, 1, false, badLength.arg(0)},
        {"not a power of two", 1000, 501, true, badLength.arg(1000)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, clip, rate, 1);
        processor.fftSize = c.fftSize;
        processor.noiseProfile = QList<float>(c.profileBins, 0.5f);
        if (c.analyse)
            processor.analyzeNoiseProfile(0, 8192);
        else
            processor.applyNoiseReduction(1.0f);
        EXPECT_EQ(record.errors, QStringList{c.error});
        EXPECT_EQ(clipOf(processor), clip);
        EXPECT_EQ(processor.noiseProfile.size(), c.profileBins);
        EXPECT_EQ(record.processed, 0);
    }

    AudioProcessor empty;
    SignalRecord record(empty);
    empty.analyzeNoiseProfile(0, 10);
    empty.applyNoiseReduction(1.0f);
    EXPECT_TRUE(record.errors.isEmpty());
    EXPECT_EQ(record.processed, 0);
}
