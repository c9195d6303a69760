// SPDX-License-Identifier: GPL-3.0-or-later
// The parametric equaliser against the cookbook biquads computed in double precision by numpy
// and against sox's own equalizer, low-pass and high-pass effects.
#include "AudioFixtures.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "TestFiles.h"

#include "audio/AudioProcessor.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace {

struct Band
{
    int type;
    float frequency;
    float gainDb;
    float q;
};

// Runs the bands as the equaliser dialog does: five parallel arrays, all enabled.
std::vector<float> equalise(std::span<const float> input, int sampleRate, int channels, const std::vector<Band> &bands,
                            int *processed = nullptr)
{
    AudioProcessor processor;
    SignalRecord record(processor);
    setClip(processor, input, sampleRate, channels);
    std::vector<float> f, g, q;
    std::vector<int> t;
    std::unique_ptr<bool[]> on(new bool[bands.size() + 1]);
    for (size_t i = 0; i < bands.size(); ++i) {
        f.push_back(bands[i].frequency);
        g.push_back(bands[i].gainDb);
        q.push_back(bands[i].q);
        t.push_back(bands[i].type);
        on[i] = true;
    }
    processor.applyParametricEQ(f.data(), g.data(), q.data(), t.data(), on.get(), static_cast<int>(bands.size()));
    if (processed)
        *processed = record.processed;
    return clipOf(processor);
}

// The textbook biquads in double precision, run in direct form I.
const char *cookbookScript = R"(
import json, sys
import numpy as np
bands = json.loads(sys.argv[1]); fs = float(sys.argv[2])
x = np.fromfile(sys.argv[3], dtype='<f4').astype(np.float64)
for t, f, g, q in bands:
    w0 = 2 * np.pi * f / fs; c = np.cos(w0); s = np.sin(w0)
    A = 10 ** (g / 40); al = s / (2 * q); sa = 2 * np.sqrt(A) * al
    co = {
        0: (1 + al * A, -2 * c, 1 - al * A, 1 + al / A, -2 * c, 1 - al / A),
        1: (A * ((A + 1) - (A - 1) * c + sa), 2 * A * ((A - 1) - (A + 1) * c), A * ((A + 1) - (A - 1) * c - sa),
            (A + 1) + (A - 1) * c + sa, -2 * ((A - 1) + (A + 1) * c), (A + 1) + (A - 1) * c - sa),
        2: (A * ((A + 1) + (A - 1) * c + sa), -2 * A * ((A - 1) + (A + 1) * c), A * ((A + 1) + (A - 1) * c - sa),
            (A + 1) - (A - 1) * c + sa, 2 * ((A - 1) - (A + 1) * c), (A + 1) - (A - 1) * c - sa),
        3: ((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + al, -2 * c, 1 - al),
        4: ((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + al, -2 * c, 1 - al),
        5: (1, -2 * c, 1, 1 + al, -2 * c, 1 - al),
        6: (al, 0, -al, 1 + al, -2 * c, 1 - al),
    }[t]
    b0, b1, b2, a1, a2 = (v / co[3] for v in (co[0], co[1], co[2], co[4], co[5]))
    y = np.empty_like(x); x1 = x2 = y1 = y2 = 0.0
    for n in range(len(x)):
        v = b0 * x[n] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, x[n], y1, v
        y[n] = v
    x = y
sys.stdout.buffer.write(x.astype('<f8').tobytes())
)";

std::vector<double> cookbookReference(const TestFiles &files, std::span<const float> input, int sampleRate,
                                      const std::vector<Band> &bands)
{
    QJsonArray list;
    for (const Band &b : bands)
        list.append(QJsonArray{b.type, b.frequency, b.gainDb, b.q});
    const QString inputPath = files.write("eq-in.f32", floatBytes(input));
    const ToolResult result = runTool(pythonWith("numpy"),
                                      {"-c", cookbookScript, QString::fromUtf8(QJsonDocument(list).toJson()),
                                       QString::number(sampleRate), inputPath});
    EXPECT_TRUE(result.ok()) << result.standardError.constData();
    return doublesFromBytes(result.standardOutput);
}

double maxDifference(std::span<const float> ours, std::span<const double> reference)
{
    EXPECT_EQ(ours.size(), reference.size());
    double worst = 0.0;
    for (size_t i = 0; i < std::min(ours.size(), reference.size()); ++i)
        worst = std::max(worst, std::fabs(ours[i] - reference[i]));
    return worst;
}

} // namespace

TEST(ParametricEq, EveryBandTypeMatchesTheCookbookInDoublePrecision)
{
    ZENTRIQ_REQUIRE(!pythonWith("numpy").isEmpty(), "python3-numpy is not installed");
    TestFiles files;
    const std::vector<float> noise = seededNoise(4096, 0.25f, 11);
    struct Case { const char *name; std::vector<Band> bands; int rate; };
    const Case cases[] = {
        {"bell +6 dB", {{0, 1000.0f, 6.0f, 1.5f}}, 44100},
        {"bell -12 dB narrow", {{0, 3500.0f, -12.0f, 8.0f}}, 48000},
        {"low shelf", {{1, 150.0f, 5.0f, 0.707f}}, 44100},
        {"high shelf", {{2, 6000.0f, -4.0f, 0.9f}}, 44100},
        {"low pass", {{3, 2000.0f, 0.0f, 0.707f}}, 44100},
        {"high pass", {{4, 300.0f, 0.0f, 0.707f}}, 44100},
        {"notch", {{5, 50.0f, 0.0f, 4.0f}}, 22050},
        {"band pass", {{6, 1200.0f, 0.0f, 2.0f}}, 44100},
        {"five bands in series",
         {{1, 100.0f, 3.0f, 0.7f}, {0, 500.0f, -3.0f, 1.0f}, {0, 2000.0f, 4.0f, 1.2f}, {0, 5000.0f, 2.0f, 0.8f},
          {2, 10000.0f, -2.0f, 0.7f}},
         44100},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> reference = cookbookReference(files, noise, c.rate, c.bands);
        const std::vector<float> ours = equalise(noise, c.rate, 1, c.bands);
        // Single-precision coefficients of a 50 Hz notch at 22 kHz lose about -90 dB.
        EXPECT_LT(maxDifference(ours, reference), 5e-5);
    }
}

TEST(ParametricEq, BellLowPassAndHighPassAgreeWithSox)
{
    ZENTRIQ_REQUIRE(toolAvailable("sox"), "sox is not installed");
    TestFiles files;
    const int rate = 44100;
    const std::vector<float> noise = seededNoise(8192, 0.25f, 12);
    const QString input = files.write("in.wav", makeWavBytes(noise, 1, rate, true));
    struct Case { const char *name; Band band; QStringList soxEffect; };
    const Case cases[] = {
        {"bell", {0, 1000.0f, 6.0f, 1.5f}, {"equalizer", "1000", "1.5q", "6"}},
        {"bell cut", {0, 250.0f, -9.0f, 0.7f}, {"equalizer", "250", "0.7q", "-9"}},
        {"low pass", {3, 3000.0f, 0.0f, 0.707f}, {"lowpass", "-2", "3000", "0.707q"}},
        {"high pass", {4, 200.0f, 0.0f, 0.707f}, {"highpass", "-2", "200", "0.707q"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = files.path("out.f32");
        const ToolResult sox = runTool("sox", QStringList{"-D", input, "-t", "raw", "-e", "floating-point", "-b", "32",
                                                          output} + c.soxEffect);
        ASSERT_TRUE(sox.ok()) << sox.standardError.constData();
        const std::vector<float> theirs = floatsFromBytes(files.read("out.f32"));
        const std::vector<float> ours = equalise(noise, rate, 1, {c.band});
        const std::vector<double> reference(theirs.begin(), theirs.end());
        EXPECT_LT(maxDifference(ours, reference), 2e-5);
    }
}

TEST(ParametricEq, BandSkipRules)
{
    const std::vector<float> noise = seededNoise(2048, 0.25f, 13);
    struct Case { const char *name; Band band; bool enabled; bool changes; };
    const Case cases[] = {
        {"bell below 0.01 dB", {0, 1000.0f, 0.005f, 1.0f}, true, false},
        {"shelf below 0.01 dB", {1, 1000.0f, -0.005f, 1.0f}, true, false},
        {"low pass ignores its gain", {3, 1000.0f, 0.0f, 0.707f}, true, true},
        {"type 7", {7, 1000.0f, 6.0f, 1.0f}, true, false},
        {"type -1", {-1, 1000.0f, 6.0f, 1.0f}, true, false},
        {"disabled", {0, 1000.0f, 6.0f, 1.0f}, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AudioProcessor processor;
        SignalRecord record(processor);
        setClip(processor, noise, 44100, 1);
        const bool enabled = c.enabled;
        processor.applyParametricEQ(&c.band.frequency, &c.band.gainDb, &c.band.q, &c.band.type, &enabled, 1);
        EXPECT_EQ(clipOf(processor) != noise, c.changes);
        EXPECT_EQ(record.processed, 1);
    }
}

TEST(ParametricEq, SettingsThatWouldBeUnstableSkipTheBand)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> noise = seededNoise(4096, 0.25f, 14);
    struct Case { const char *name; Band band; };
    const Case cases[] = {
        {"Q 0", {0, 1000.0f, 6.0f, 0.0f}},
        {"Q negative", {3, 1000.0f, 0.0f, -0.7f}},
        {"Q NaN", {0, 1000.0f, 6.0f, nan}},
        {"frequency 0", {0, 0.0f, 6.0f, 1.0f}},
        {"frequency negative", {4, -50.0f, 0.0f, 0.7f}},
        {"frequency at Nyquist", {0, 22050.0f, 6.0f, 1.0f}},
        {"frequency past Nyquist", {3, 30000.0f, 0.0f, 0.7f}},
        {"frequency NaN", {0, nan, 6.0f, 1.0f}},
        {"gain NaN", {0, 1000.0f, nan, 1.0f}},
        {"gain infinite", {2, 1000.0f, inf, 1.0f}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int processed = 0;
        EXPECT_EQ(equalise(noise, 44100, 1, {c.band}, &processed), noise);
        EXPECT_EQ(processed, 1);
    }
}

TEST(ParametricEq, GuardsChangeNothingAndEmitNothing)
{
    const std::vector<float> noise = seededNoise(256, 0.25f, 15);
    for (int rate : {0, -44100}) {
        SCOPED_TRACE(rate);
        int processed = -1;
        EXPECT_EQ(equalise(noise, rate, 1, {{0, 1000.0f, 6.0f, 1.0f}}, &processed), noise);
        EXPECT_EQ(processed, 0);
    }
    int processed = -1;
    EXPECT_EQ(equalise(noise, 44100, 0, {{0, 1000.0f, 6.0f, 1.0f}}, &processed), noise);
    EXPECT_EQ(processed, 1);
}

TEST(ParametricEq, StereoChannelsAreFilteredWithSeparateStates)
{
    const std::vector<float> left = seededNoise(2048, 0.25f, 16);
    const std::vector<float> right = seededNoise(2048, 0.25f, 17);
    std::vector<float> stereo;
    for (size_t i = 0; i < left.size(); ++i) {
        stereo.push_back(left[i]);
        stereo.push_back(right[i]);
    }
    const std::vector<Band> bands = {{0, 800.0f, 6.0f, 1.0f}, {4, 120.0f, 0.0f, 0.707f}};
    const std::vector<float> both = equalise(stereo, 44100, 2, bands);
    const std::vector<float> leftAlone = equalise(left, 44100, 1, bands);
    const std::vector<float> rightAlone = equalise(right, 44100, 1, bands);
    ASSERT_EQ(both.size(), stereo.size());
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(both[2 * i], leftAlone[i]) << i;
        ASSERT_EQ(both[2 * i + 1], rightAlone[i]) << i;
    }
}
