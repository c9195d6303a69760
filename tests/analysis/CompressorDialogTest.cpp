// SPDX-License-Identifier: GPL-3.0-or-later
// The compressor dialog: readouts of the applied curve, the preview against a numpy model of
// the compressor, repeated previews, restoring on close, and a quiet clip left untouched.
#include "NumpyOracle.h"
#include "Requirement.h"

#include "analysis/CompressorDialog.h"
#include "audio/AudioProcessor.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr int kRate = 44100;

QList<float> sine(float amplitude, int frames)
{
    QList<float> values(frames);
    for (int i = 0; i < frames; ++i)
        values[i] = amplitude * float(std::sin(2.0 * std::numbers::pi * 441.0 * i / kRate));
    return values;
}

bool sameBits(const QList<float> &a, const QList<float> &b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(float)) == 0;
}

struct Values
{
    double thresholdDb, ratio, attackMs, releaseMs, makeupDb, kneeDb;
};

// Sets every control; make-up last, so a readout that ignores it shows a stale output.
void set(CompressorDialog &dialog, const Values &v)
{
    const std::pair<const char *, double> order[] = {{"thresholdSpin", v.thresholdDb}, {"ratioSpin", v.ratio},
                                                     {"attackSpin", v.attackMs},       {"releaseSpin", v.releaseMs},
                                                     {"kneeSpin", v.kneeDb},           {"makeupSpin", v.makeupDb}};
    for (const auto &[name, value] : order)
        dialog.findChild<QDoubleSpinBox *>(QString::fromLatin1(name))->setValue(value);
}

QString label(CompressorDialog &dialog, const char *name)
{
    return dialog.findChild<QLabel *>(QString::fromLatin1(name))->text();
}

void press(CompressorDialog &dialog, const QString &text)
{
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    FAIL() << "no button " << text.toStdString();
}

QString db(double value)
{
    return QStringLiteral("%1 dB").arg(value, 0, 'f', 1);
}

// The soft-knee curve the compressor applies at a steady level (Giannoulis, Massberg and
// Reiss, "Digital Dynamic Range Compressor Design", 2012, eq. 4), in dB of reduction.
double kneeReduction(double level, double threshold, double ratio, double knee)
{
    const double slope = 1.0 - 1.0 / ratio;
    if (level > threshold + knee / 2)
        return slope * (level - threshold);
    if (knee > 0 && level > threshold - knee / 2)
        return slope * std::pow(level - threshold + knee / 2, 2) / (2 * knee);
    return 0.0;
}

} // namespace

// The clip's length is no multiple of any block the scan may read at once; a negative spike
// is found wherever it lies, the last value included.
TEST(CompressorDialog, TheInputReadoutFindsThePeakAnywhereInTheClip)
{
    const float spike = -float(std::pow(10.0, -6.0 / 20.0));
    for (const qsizetype at : {qsizetype(0), qsizetype(500), qsizetype(1001), qsizetype(1002)}) {
        SCOPED_TRACE(at);
        AudioProcessor processor;
        processor.samples = sine(0.1f, 1003);
        processor.samples[at] = spike;
        CompressorDialog dialog(&processor);
        EXPECT_EQ(label(dialog, "inputLevelLabel"), db(-6.0));
    }
}

TEST(CompressorDialog, ReadoutsShowTheAppliedCurveForEveryControl)
{
    struct Case
    {
        double peakDb;
        Values values;
        bool reducing;
    };
    const Case cases[] = {
        {-6.0, {-20, 4, 10, 100, 0, 6}, true},   // above the knee
        {-20.0, {-20, 4, 10, 100, 0, 6}, false}, // at the threshold: a quarter of the knee's reach
        {-18.0, {-20, 4, 10, 100, 3, 6}, true},  // inside the knee, with make-up
        {-20.0, {-20, 4, 10, 100, 0, 0}, false}, // hard knee at the threshold
        {-30.0, {-20, 8, 50, 300, 6, 6}, false}, // below the knee
        {-4.0, {-40, 20, 0.5, 10, 12, 20}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.peakDb);
        AudioProcessor processor;
        processor.samples = sine(float(std::pow(10.0, c.peakDb / 20.0)), 1000);
        processor.samples[25] = float(std::pow(10.0, c.peakDb / 20.0)); // the exact peak
        CompressorDialog dialog(&processor);
        set(dialog, c.values);
        const double reduction =
            0.0 - kneeReduction(c.peakDb, c.values.thresholdDb, c.values.ratio, c.values.kneeDb);
        EXPECT_EQ(label(dialog, "inputLevelLabel"), db(c.peakDb));
        EXPECT_EQ(label(dialog, "gainReductionLabel"), db(reduction));
        EXPECT_EQ(label(dialog, "outputLevelLabel"), db(c.peakDb + reduction + c.values.makeupDb));
        EXPECT_EQ(dialog.findChild<QLabel *>("gainReductionLabel")->styleSheet().contains("#ff7043"), c.reducing);
    }

    AudioProcessor silent;
    silent.samples = QList<float>(100, 0.0f);
    CompressorDialog dialog(&silent);
    EXPECT_EQ(label(dialog, "inputLevelLabel"), db(-96.0));
    EXPECT_EQ(label(dialog, "gainReductionLabel"), db(0.0));
}

TEST(CompressorDialog, PreviewMatchesANumpyCompressorOnASquareWave)
{
    ZENTRIQ_REQUIRE(!pythonWith(QStringLiteral("numpy")).isEmpty(), "python3-numpy is missing");
    // 100 Hz square: loud for 0.3 s (attack), then quiet for 0.3 s (release).
    QList<float> square(int(0.6 * kRate));
    for (int i = 0; i < square.size(); ++i)
        square[i] = ((i / 220) % 2 ? -1.0f : 1.0f) * (i < square.size() / 2 ? 0.9f : 0.05f);
    AudioProcessor processor;
    processor.samples = square;
    processor.sampleRate = kRate;
    processor.channels = 1;
    CompressorDialog dialog(&processor);
    const Values values{-24, 5, 5, 60, 4, 8};

    // A preview at other settings first: each preview starts from the dry clip.
    set(dialog, {-40, 20, 1, 1000, 20, 0});
    press(dialog, QStringLiteral("预览"));
    set(dialog, values);
    press(dialog, QStringLiteral("预览"));
    const QList<float> previewed = processor.samples;

    const QString script = QStringLiteral(R"(
import sys, numpy as np
x = np.frombuffer(sys.stdin.buffer.read(), dtype='<f4').astype(float)
rate, T, R, attack, release, makeup, K = %1, %2, %3, %4, %5, %6, %7
a = np.exp(-1 / (attack * 0.001 * rate))
r = np.exp(-1 / (release * 0.001 * rate))
level = 20 * np.log10(np.abs(x) + 1e-10)
over = level - T
change = np.where(over > K / 2, -(1 - 1 / R) * over,
                  np.where(over > -K / 2, -(1 - 1 / R) * (over + K / 2) ** 2 / (2 * K), 0.0))
target = 10 ** (change / 20)
g, out = 1.0, np.empty_like(x)
for i in range(len(x)):
    c = a if g > target[i] else r
    g = c * g + (1 - c) * target[i]
    out[i] = g * 10 ** (makeup / 20) * x[i]
print(" ".join(repr(v) for v in out))
)")
                               .arg(kRate)
                               .arg(values.thresholdDb)
                               .arg(values.ratio)
                               .arg(values.attackMs)
                               .arg(values.releaseMs)
                               .arg(values.makeupDb)
                               .arg(values.kneeDb);
    bool ok = false;
    const std::vector<double> expected =
        runNumpy(script, float32Bytes(std::vector<float>(square.begin(), square.end())), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(expected.size(), size_t(previewed.size()));
    double worstDb = 0.0;
    for (qsizetype i = 0; i < previewed.size(); ++i)
        worstDb = std::max(worstDb, std::fabs(20.0 * std::log10(std::fabs(previewed[i]) / std::fabs(expected[size_t(i)]))));
    EXPECT_LT(worstDb, 0.05);

    // The output readout is the measured peak of the preview.
    float peak = 0.0f;
    for (float v : previewed)
        peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(label(dialog, "outputLevelLabel"), db(20.0 * std::log10(peak)));
}

// Closing, and Apply too, whose settings the caller runs over every channel itself.
TEST(CompressorDialog, ClosingOrApplyingAfterAPreviewPutsTheDryClipBack)
{
    for (const char *button : {"", "应用"}) {
        SCOPED_TRACE(*button ? "apply" : "close");
        AudioProcessor processor;
        processor.samples = sine(0.9f, 4000);
        const QList<float> dry = processor.samples;
        {
            CompressorDialog dialog(&processor);
            press(dialog, QStringLiteral("预览"));
            ASSERT_FALSE(sameBits(processor.samples, dry));
            if (*button) {
                press(dialog, QString::fromUtf8(button));
                EXPECT_EQ(dialog.result(), QDialog::Accepted);
            } else {
                dialog.reject();
            }
        }
        EXPECT_TRUE(sameBits(processor.samples, dry));
        EXPECT_EQ(processor.channels, 1);
    }
}

TEST(CompressorDialog, AQuietClipBelowTheThresholdIsUnchangedFromItsFirstSample)
{
    AudioProcessor processor;
    processor.samples = sine(float(std::pow(10.0, -30.0 / 20.0)), kRate / 2);
    const QList<float> dry = processor.samples;
    CompressorDialog dialog(&processor);
    press(dialog, QStringLiteral("预览"));
    EXPECT_TRUE(sameBits(processor.samples, dry));
}
