// SPDX-License-Identifier: GPL-3.0-or-later
// The live spectrum analyser against analytic levels and a numpy spectrum of the same block.
#include "analysis/FrequencyAnalyzerWidget.h"

#include "OracleTool.h"
#include "Requirement.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {
constexpr int rate = 44100;
constexpr int n = 4096;

std::vector<float> sine(double hz, double amplitude, int count)
{
    std::vector<float> x(std::size_t(count), 0.0f);
    for (int i = 0; i < count; ++i)
        x[std::size_t(i)] = float(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
    return x;
}

// Pushes `block` and lets the spectrum settle on it: later updates see the same samples.
void settle(FrequencyAnalyzerWidget &analyzer, const std::vector<float> &block, int updates = 60)
{
    analyzer.processAudioFrame(block.data(), int(block.size()));
    for (int i = 0; i < updates; ++i)
        analyzer.updateTick();
}

TEST(FrequencyAnalyzer, ABinCentredSineOfAmplitudeOneSettlesAtMinusSixDecibels)
{
    FrequencyAnalyzerWidget analyzer;
    const double binHz = double(rate) * 93 / n;
    settle(analyzer, sine(binHz, 1.0, n));
    ASSERT_EQ(analyzer.getSmoothedLeft().size(), n / 2 + 1);
    // A Hann window's coherent gain is 1/2: the amplitude 1 reads 20 log10(0.5).
    EXPECT_NEAR(analyzer.getSmoothedLeft()[93], 20.0 * std::log10(0.5), 0.1);
    EXPECT_NEAR(analyzer.getBinFrequencies()[93], binHz, 1e-2);
}

TEST(FrequencyAnalyzer, RmsOfAFullScaleSineIsMinusThreeDecibels)
{
    FrequencyAnalyzerWidget analyzer;
    settle(analyzer, sine(double(rate) * 93 / n, 1.0, 3 * n), 1);
    EXPECT_NEAR(analyzer.getRmsLeftDb(), -3.0103, 0.005);
    EXPECT_NEAR(analyzer.getRmsRightDb(), -3.0103, 0.005);
}

TEST(FrequencyAnalyzer, SettledCurveMatchesNumpyAboveMinusEightyDecibels)
{
    const QString python = pythonWith(QStringLiteral("numpy"));
    ZENTRIQ_REQUIRE(!python.isEmpty(), "python3-numpy is not installed");

    // Two tones off the bin centres and a little seeded noise.
    std::vector<float> block = sine(440.0, 0.5, n);
    const std::vector<float> high = sine(6321.7, 0.05, n);
    std::mt19937 generator(7);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (int i = 0; i < n; ++i)
        block[std::size_t(i)] += high[std::size_t(i)] + noise(generator);

    FrequencyAnalyzerWidget analyzer;
    settle(analyzer, block, 120);

    QByteArray bytes(reinterpret_cast<const char *>(block.data()), qsizetype(block.size() * sizeof(float)));
    const char *script = R"PY(
import sys, numpy as np
x = np.frombuffer(sys.stdin.buffer.read(), dtype=np.float32).astype(np.float64)
n = len(x); w = 0.5 * (1 - np.cos(2 * np.pi * np.arange(n) / (n - 1)))
m = np.abs(np.fft.rfft(x * w)) / (n // 2)
print(' '.join('%.6f' % v for v in 20 * np.log10(np.maximum(m, 1e-10))))
)PY";
    const ToolResult numpy = runTool(python, {QStringLiteral("-c"), QString::fromLatin1(script)}, bytes);
    ASSERT_TRUE(numpy.ok()) << numpy.standardError.toStdString();
    const QList<QByteArray> fields = numpy.standardOutput.trimmed().split(' ');
    const QList<float> &ours = analyzer.getSmoothedLeft();
    ASSERT_EQ(fields.size(), ours.size());
    int compared = 0;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const double expected = fields[i].toDouble();
        if (expected <= -80.0)
            continue;
        ASSERT_NEAR(ours[i], expected, 0.1) << "bin " << i;
        ++compared;
    }
    EXPECT_GT(compared, 200);
}

TEST(FrequencyAnalyzer, FeedLoopsTheLoadedBufferAndTheFirstCurveNeedsAFullTransform)
{
    FrequencyAnalyzerWidget analyzer;
    const std::vector<float> tone = sine(1000.0, 0.5, 1500);
    analyzer.setAudioData(QList<float>(tone.begin(), tone.end()), rate);
    // Blocks of 1024, 476, 1024, 476, 1024: not yet a transform's worth.
    for (int tick = 0; tick < 5; ++tick) {
        analyzer.feedTick();
        analyzer.updateTick();
    }
    EXPECT_TRUE(analyzer.getSmoothedLeft().isEmpty());
    analyzer.feedTick();
    analyzer.updateTick();
    EXPECT_EQ(analyzer.getSmoothedLeft().size(), n / 2 + 1);
    EXPECT_EQ(analyzer.getPeakLeft(), analyzer.getSmoothedLeft());
}

TEST(FrequencyAnalyzer, PeakHoldFallsBySixDecibelsPerSecondOfTransforms)
{
    FrequencyAnalyzerWidget analyzer;
    analyzer.setAveragingCount(1);
    analyzer.setSmoothing(0.0f);
    settle(analyzer, sine(double(rate) * 93 / n, 1.0, n), 1);
    const float held = analyzer.getPeakLeft()[93];
    settle(analyzer, std::vector<float>(n, 0.0f), 1);
    EXPECT_NEAR(analyzer.getPeakLeft()[93], held - 6.0f * float(n) / rate, 1e-4);
}

TEST(FrequencyAnalyzer, TransformSizeSettings)
{
    const struct
    {
        int asked, got;
    } rows[] = {{300, 512}, {100, 256}, {100000, 65536}, {4096, 4096}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.asked);
        FrequencyAnalyzerWidget analyzer;
        analyzer.setFFTSize(row.asked);
        EXPECT_EQ(analyzer.getFFTSize(), row.got);
        // The curve still draws with the old spectrum against the new bin list.
        settle(analyzer, sine(1000.0, 0.5, n), 1);
        analyzer.setFFTSize(row.got * 2);
        analyzer.resize(600, 300);
        QImage image(600, 300, QImage::Format_ARGB32);
        analyzer.render(&image);
    }
    FrequencyAnalyzerWidget analyzer;
    analyzer.setFrequencyRange(0.0f, 30000.0f);
    EXPECT_EQ(analyzer.getMinFrequency(), 1.0f);
    EXPECT_EQ(analyzer.getMaxFrequency(), 22050.0f);
}

} // namespace
