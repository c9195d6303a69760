// SPDX-License-Identifier: GPL-3.0-or-later
// The offline pitch shifter measured by numpy's FFT (pitch, level, peak) and set beside
// rubberband and sox on the same tones; clamping, determinism and misuse.
#include "NumpyOracle.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"

#include "audio/dsp/AudioBlock.h"
#include "audio/dsp/PitchShiftProcessor.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr int rate = 44100;

std::vector<float> tone(double hz, std::size_t length, float amplitude = 0.5f)
{
    std::vector<float> samples(length);
    for (std::size_t i = 0; i < length; ++i)
        samples[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * double(i) / rate));
    return samples;
}

std::vector<float> shifted(const std::vector<float> &in, float semitones, float sampleRate = rate)
{
    PitchShiftProcessor shifter;
    shifter.setSampleRate(sampleRate);
    shifter.setPitch(semitones);
    std::vector<float> out(in.size(), 0.0f);
    shifter.processOffline(in.data(), out.data(), in.size());
    return out;
}

// Per signal of `length` float32 samples on stdin: the strongest frequency (Hann window,
// zero-padded FFT, parabolic peak on the log magnitude), RMS and peak, measured after the
// first quarter second.
QString measureScript(std::size_t length)
{
    return QStringLiteral(
        "import sys, numpy as np\n"
        "data = np.frombuffer(sys.stdin.buffer.read(), dtype='<f4').astype(float).reshape(-1, %1)\n"
        "for y in data:\n"
        "    seg = y[%2:]\n"
        "    X = np.abs(np.fft.rfft(seg * np.hanning(len(seg)), 1 << 20))\n"
        "    k = int(np.argmax(X)); a, b, c = np.log(X[k-1:k+2] + 1e-300)\n"
        "    f = (k + 0.5 * (a - c) / (a - 2 * b + c)) * %3 / (1 << 20)\n"
        "    print(f, np.sqrt(np.mean(seg ** 2)), np.abs(y).max())\n")
        .arg(length).arg(rate / 4).arg(rate);
}

double cents(double measured, double target)
{
    return 1200.0 * std::log2(measured / target);
}

TEST(PitchShiftProcessorTest, TonesReachTheTargetPitchAndKeepTheirLevel)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty(), "python3 with numpy not installed");
    const std::size_t length = rate * 3 / 2;
    struct Case { double hz; int semitones; };
    std::vector<Case> cases;
    QByteArray rendered;
    for (double hz : {220.0, 440.0, 1000.0}) {
        const std::vector<float> in = tone(hz, length);
        for (int semitones = -12; semitones <= 12; ++semitones) {
            cases.push_back({hz, semitones});
            rendered += float32Bytes(shifted(in, static_cast<float>(semitones)));
        }
    }
    bool ok = false;
    const std::vector<double> measured = runNumpy(measureScript(length), rendered, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(measured.size(), 3 * cases.size());
    const double inputRms = 0.5 / std::sqrt(2.0);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(testing::Message() << c.hz << " Hz shifted " << c.semitones << " semitones");
        const double target = c.hz * std::pow(2.0, c.semitones / 12.0);
        EXPECT_LT(std::abs(cents(measured[3 * i], target)), 10.0) << measured[3 * i] << " Hz";
        EXPECT_LT(std::abs(20.0 * std::log10(measured[3 * i + 1] / inputRms)), 3.0);
        EXPECT_LE(measured[3 * i + 2], 1.1 * 0.5);
    }
}

// rubberband and sox shift the same file; ours must land within 10 cents of the target and
// no further from it than either of them.
TEST(PitchShiftProcessorTest, AgreesWithRubberbandAndSox)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty() && toolAvailable("sox") && toolAvailable("rubberband"),
                    "numpy, sox or rubberband not installed");
    TestFiles files;
    const std::size_t length = rate * 3 / 2;
    const std::vector<float> in = tone(440.0, length);
    const QString input = files.write("tone.wav", makeWavBytes(in, 1, rate, true));
    for (int semitones : {3, -7}) {
        SCOPED_TRACE(semitones);
        const QString viaSox = files.path("sox.wav");
        const QString viaRubberband = files.path("rubberband.wav");
        ASSERT_TRUE(runTool("sox", {input, "-e", "floating-point", viaSox, "pitch",
                                    QString::number(semitones * 100)}).ok());
        ASSERT_TRUE(runTool("rubberband", {"-q", "-p", QString::number(semitones), input, viaRubberband}).ok());
        QByteArray rendered = float32Bytes(shifted(in, static_cast<float>(semitones)));
        for (const QString &path : {viaSox, viaRubberband}) {
            // Both keep 32-bit float data; read it back through sox as raw float32 of our length.
            const ToolResult raw = runTool("sox", {path, "-t", "f32", "-e", "floating-point", "-"});
            ASSERT_TRUE(raw.ok());
            QByteArray bytes = raw.standardOutput.left(int(length * sizeof(float)));
            bytes.append(QByteArray(int(length * sizeof(float)) - bytes.size(), '\0'));
            rendered += bytes;
        }
        bool ok = false;
        const std::vector<double> measured = runNumpy(measureScript(length), rendered, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(measured.size(), 9u);
        const double target = 440.0 * std::pow(2.0, semitones / 12.0);
        const double ours = std::abs(cents(measured[0], target));
        const double sox = std::abs(cents(measured[3], target));
        const double rubberband = std::abs(cents(measured[6], target));
        RecordProperty(("cents_" + std::to_string(semitones)).c_str(),
                       (std::to_string(ours) + " ours, " + std::to_string(sox) + " sox, "
                        + std::to_string(rubberband) + " rubberband").c_str());
        EXPECT_LT(ours, 10.0);
        EXPECT_LE(ours, std::min(sox, rubberband) + 1.0)
            << "cents off: ours " << ours << ", sox " << sox << ", rubberband " << rubberband;
    }
}

TEST(PitchShiftProcessorTest, ZeroShiftCopiesExactlyAtAnyRate)
{
    const std::vector<float> in = tone(330.0, 5000);
    for (float sampleRate : {44100.0f, 8000.0f, 0.0f, -5.0f, nan}) {
        SCOPED_TRACE(sampleRate);
        EXPECT_EQ(shifted(in, 0.0f, sampleRate), in);
    }
}

TEST(PitchShiftProcessorTest, SetPitchClamps)
{
    struct Case { float given; float stored; };
    for (const Case &c : {Case{20, 12}, Case{-30, -12}, Case{nan, 12}, Case{12, 12}, Case{-2.5f, -2.5f}}) {
        SCOPED_TRACE(c.given);
        PitchShiftProcessor shifter;
        shifter.setPitch(c.given);
        EXPECT_EQ(shifter.getPitch(), c.stored);
    }
}

TEST(PitchShiftProcessorTest, RepeatedCallsAreIdenticalAndEmptyInputWritesNothing)
{
    const std::vector<float> in = tone(523.0, 20000);
    PitchShiftProcessor shifter;
    shifter.setSampleRate(rate);
    shifter.setPitch(-5.0f);
    std::vector<float> first(in.size()), second(in.size());
    shifter.processOffline(in.data(), first.data(), in.size());
    shifter.processOffline(in.data(), second.data(), in.size());
    EXPECT_EQ(first, second);
    EXPECT_EQ(first[0], 0.0f); // the window is zero at the first sample

    std::vector<float> untouched(4, 3.0f);
    shifter.processOffline(in.data(), untouched.data(), 0);
    EXPECT_EQ(untouched, std::vector<float>(4, 3.0f));
}

TEST(PitchShiftProcessorTest, OutputPeakStaysNearTheInputPeak)
{
    // Short and odd inputs, where only the first frames cover the head of the output.
    for (std::size_t length : {std::size_t{300}, std::size_t{1500}, std::size_t{5000}}) {
        for (float semitones : {-12.0f, -7.0f, 5.0f, 12.0f}) {
            SCOPED_TRACE(testing::Message() << length << " samples, " << semitones);
            std::vector<float> in = tone(700.0, length, 1.0f);
            const std::vector<float> out = shifted(in, semitones);
            float peak = 0.0f;
            for (float v : out)
                peak = std::max(peak, std::abs(v));
            EXPECT_LE(peak, 1.1f);
        }
    }
}

TEST(PitchShiftProcessorTest, StreamingGrainFromTheSecondSample)
{
    PitchShiftProcessor shifter;
    std::vector<float> data{1.0f, 1.0f, 1.0f};
    shifter.process(data.data(), data.data(), data.size());
    EXPECT_EQ(data[0], 0.0f);
    // The grain over the two samples held: Hann weights of 2048 points at 0 and 1.
    const double w1 = 0.5 * (1.0 - std::cos(2.0 * std::numbers::pi / 2048.0));
    EXPECT_NEAR(data[1], w1, 1e-3 * w1); // single-precision cosine
}

TEST(PitchShiftProcessorTest, MisuseNeitherCrashesNorStrays)
{
    const std::vector<float> in = tone(440.0, 3000);
    for (float sampleRate : {-44100.0f, 0.0f, 1.0f, nan, 1e12f}) {
        SCOPED_TRACE(sampleRate);
        PitchShiftProcessor shifter;
        shifter.setSampleRate(sampleRate);
        shifter.setPitch(7.0f);
        shifter.setWindowSize(nan);
        std::vector<float> out(in.size());
        shifter.processOffline(in.data(), out.data(), in.size());
        std::vector<float> stream = in;
        shifter.process(stream.data(), stream.data(), 500);
        for (float v : out)
            ASSERT_TRUE(std::isfinite(v));
    }
    AudioBlock block;
    block.channels.resize(2);
    block.channels[0].samples.assign(16, 0.5f);
    block.channels[1].samples.assign(8, 0.5f);
    block.numSamples = 4096;
    PitchShiftProcessor shifter;
    shifter.processBlock(block);
    EXPECT_EQ(block.channels[1].samples.size(), 8u);
    std::vector<float> notPowerOfTwo(2 * 6, 1.0f);
    PitchShiftProcessor::fft(notPowerOfTwo.data(), 6, false); // refused rather than overrun
    EXPECT_EQ(notPowerOfTwo, std::vector<float>(12, 1.0f));
}

} // namespace
