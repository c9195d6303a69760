// SPDX-License-Identifier: GPL-3.0-or-later
// STFT columns, the colour ramp and the live input against numpy and Python's colorsys.
#include "SpectrumProbe.h"

#include "analysis/LiveSpectrogram.h"
#include "Requirement.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr int rate = 44100;
const double minus40Dbfs = std::pow(10.0, -40.0 / 20.0);

SpectrogramColumns columnsOf(const QList<float> &signal, std::size_t budget = SpectrumAnalyzerWidget::kColumnBudget)
{
    std::vector<SpectrogramColumns> made = computeSpectrogram({{signal.constData(), signal.size(), 1}}, budget, 3);
    return std::move(made.at(0));
}

void expectMatchesNumpy(const std::uint16_t *column, const QList<float> &expected, qsizetype offset)
{
    for (int k = 0; k < Stft::bins; ++k)
        ASSERT_NEAR(Stft::fraction(column[k]), expected[offset + k], 1e-3) << "bin " << k;
}

} // namespace

TEST(SpectrogramColumns, MatchNumpyForSilenceAndTones)
{
    const QString python = pythonWith("numpy");
    ZENTRIQ_REQUIRE(!python.isEmpty(), "python3-numpy is not installed");
    struct Row
    {
        const char *name;
        double hz; // 0 for silence
        qsizetype frames;
        qsizetype columns;
    };
    const Row rows[] = {{"silence, one second", 0, 44100, 83},   {"silence, one frame", 0, 2048, 1},
                        {"3 kHz, one second", 3000, 44100, 83},  {"3 kHz, one frame", 3000, 2048, 1},
                        {"7.5 kHz, one second", 7500, 44100, 83}, {"7.5 kHz, one frame", 7500, 2048, 1}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QList<float> signal = row.hz > 0 ? tone(row.frames, rate, row.hz, minus40Dbfs) : QList<float>(row.frames, 0.0f);
        const SpectrogramColumns made = columnsOf(signal);
        ASSERT_EQ(made.count(), row.columns);
        ASSERT_EQ(made.pool(), 1);
        const QList<float> expected = numpyColumns(signal, python);
        ASSERT_EQ(expected.size(), row.columns * Stft::bins);
        for (qsizetype c = 0; c < made.count(); ++c) {
            SCOPED_TRACE(c);
            expectMatchesNumpy(made.column(c), expected, c * Stft::bins);
            const std::uint16_t *column = made.column(c);
            if (row.hz > 0) {
                const int peak = int(std::max_element(column, column + Stft::bins) - column);
                EXPECT_NEAR(peak, std::lround(row.hz * Stft::size / rate), 1);
            } else {
                EXPECT_TRUE(std::all_of(column, column + Stft::bins, [](std::uint16_t v) { return v == 0; }));
            }
        }
    }
    EXPECT_EQ(Stft::colour(0.0f), qRgb(34, 0, 51));
}

TEST(SpectrogramColumns, PoolLongClipsWithinTheBudgetKeepingTheLoudestHop)
{
    // A click in one hop of a pooled column still shows at full level.
    QList<float> signal(64 * 512 + 2048, 0.0f);
    signal[20 * 512 + 1024] = 1.0f;
    const SpectrogramColumns full = columnsOf(signal);
    const std::size_t quarter = full.bytes() / 4;
    const SpectrogramColumns pooled = columnsOf(signal, quarter);
    const int pool = pooled.pool();
    EXPECT_GE(pool, 4);
    EXPECT_LE(pooled.bytes(), quarter);
    ASSERT_EQ(pooled.count(), (full.count() + pool - 1) / pool);
    for (qsizetype c = 0; c < pooled.count(); ++c)
        for (int k = 0; k < Stft::bins; k += 97) {
            std::uint16_t loudest = 0;
            for (qsizetype h = pool * c; h < std::min(pool * (c + 1), full.count()); ++h)
                loudest = std::max(loudest, full.column(h)[k]);
            ASSERT_EQ(pooled.column(c)[k], loudest) << c << " " << k;
        }
}

TEST(SpectrogramColumns, ColourRampMatchesColorsys)
{
    const QString python = pythonWith("colorsys");
    ZENTRIQ_REQUIRE(!python.isEmpty(), "python3 is not installed");
    const char *script = R"(
import colorsys
for i in range(256):
    t = i / 255
    r, g, b = colorsys.hls_to_rgb(((280 + 120 * t) % 360) / 360, (10 + 70 * t) / 100, 1.0)
    print(round(r * 255), round(g * 255), round(b * 255))
)";
    const ToolResult colours = runTool(python, {"-c", script});
    ASSERT_TRUE(colours.ok()) << colours.standardError.constData();
    const QList<QByteArray> lines = colours.standardOutput.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 256);
    for (int i = 0; i < 256; ++i) {
        const QList<QByteArray> rgb = lines[i].split(' ');
        const QRgb ours = Stft::rampEntry(i);
        EXPECT_NEAR(qRed(ours), rgb[0].toInt(), 1) << i;
        EXPECT_NEAR(qGreen(ours), rgb[1].toInt(), 1) << i;
        EXPECT_NEAR(qBlue(ours), rgb[2].toInt(), 1) << i;
    }
    // Ends of the fraction-to-index rule.
    EXPECT_EQ(Stft::colour(0.998f), Stft::rampEntry(254));
    EXPECT_EQ(Stft::colour(1.5f), Stft::rampEntry(255));
    EXPECT_EQ(Stft::colour(-1.0f), Stft::rampEntry(0));
}

TEST(LiveSpectrogram, MakesAColumnPerHopOnceAFrameIsFullAndKeepsTheNewest512)
{
    const QString python = pythonWith("numpy");
    ZENTRIQ_REQUIRE(!python.isEmpty(), "python3-numpy is not installed");
    QList<float> input = tone(2048, rate, 3000, 0.5);
    addNoise(input, 0.01f, 11);
    LiveSpectrogram live;
    EXPECT_EQ(live.push(input.constData(), 2047), 0);
    EXPECT_EQ(live.count(), 0);
    EXPECT_EQ(live.push(input.constData() + 2047, 1), 1);
    ASSERT_EQ(live.count(), 1);
    const QList<float> expected = numpyColumns(input, python);
    ASSERT_EQ(expected.size(), Stft::bins);
    expectMatchesNumpy(live.column(0), expected, 0);

    const QList<float> more(512 * 512, 0.1f);
    EXPECT_EQ(live.push(more.constData(), int(more.size())), 512);
    EXPECT_EQ(live.count(), 512);

    // A new take starts from an empty buffer.
    live.reset();
    EXPECT_EQ(live.count(), 0);
    EXPECT_EQ(live.push(input.constData(), 2047), 0);
}
