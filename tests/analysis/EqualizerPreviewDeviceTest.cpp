// SPDX-License-Identifier: GPL-3.0-or-later
// The equaliser preview on the test PulseAudio server's null sink, heard back from its
// monitor by parec: the level change it makes matches the drawn curve, and once the preview
// is off the engine plays the clip dry.
#include "analysis/EqualizerDialog.h"
#include "analysis/ParametricEQWidget.h"
#include "audio/AudioProcessor.h"
#include "engine/AudioEngine.h"

#include "MonitorCapture.h"
#include "OracleTool.h"
#include "Requirement.h"
#include "ScopedEnv.h"

#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {
constexpr int rate = 48000;  // the null sink's rate: nothing is resampled on the way
constexpr int window = rate / 10;  // whole periods of both tones

// Power of one frequency over `count` samples (Goertzel).
double tonePower(const float *x, int count, double hz)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * hz / rate);
    double s1 = 0, s2 = 0;
    for (int i = 0; i < count; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

// Median level of the 1 kHz tone over the 5 kHz tone, in dB, over the windows where both sound.
std::optional<double> toneRatioDb(const std::vector<float> &heard)
{
    std::vector<double> ratios;
    for (std::size_t at = 0; at + window <= heard.size(); at += window) {
        const double low = tonePower(heard.data() + at, window, 1000.0);
        const double high = tonePower(heard.data() + at, window, 5000.0);
        // Both tones at amplitude 0.05 give (0.05 * window / 2)^2 each when dry.
        const double floor = std::pow(0.05 * window / 2 * 0.1, 2);
        if (low > floor && high > floor)
            ratios.push_back(10.0 * std::log10(low / high));
    }
    if (ratios.size() < 5)
        return std::nullopt;
    // Drop the windows cut by the start and the end.
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

QPushButton *button(EqualizerDialog &dialog, const QString &text)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

class EqualizerPreviewOnDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(toolAvailable(QStringLiteral("parec")), "parec is not installed");
        ZENTRIQ_REQUIRE(qEnvironmentVariableIsSet("PULSE_SERVER"), "no test PulseAudio server (run scripts/test.sh)");
        QList<float> tones(rate * 2);
        for (int i = 0; i < tones.size(); ++i)
            tones[i] = float(0.05 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / rate) +
                             0.05 * std::sin(2.0 * std::numbers::pi * 5000.0 * i / rate));
        clip.samples = tones;
        clip.sampleRate = rate;
        clip.channels = 1;
        engine = new AudioEngine();
        engine->initialize(rate, 512);
    }
    void TearDown() override { delete engine; }

    ScopedEnv api{"ZENTRIQ_AUDIO_API", "pulse"};
    AudioProcessor clip;
    QPointer<AudioEngine> engine;
};

TEST_F(EqualizerPreviewOnDevice, LevelChangeMatchesTheCurveAndUncheckedPlaysDry)
{
    EqualizerDialog dialog(&clip, engine);
    dialog.graph()->setBand(2, {true, 1000.0f, 12.0f, 1.0f, ParametricEQWidget::Bell, Qt::green});
    double expected = 0.0;
    for (int i = 0; i < ParametricEQWidget::bandCount; ++i) {
        const ParametricEQWidget::EQBand b = dialog.graph()->band(i);
        expected += ParametricEQWidget::computeFilterMagnitude(1000.0f, b.frequency, b.gainDb, b.q, b.type, rate) -
                    ParametricEQWidget::computeFilterMagnitude(5000.0f, b.frequency, b.gainDb, b.q, b.type, rate);
    }
    ASSERT_GT(expected, 8.0);

    MonitorCapture previewed;
    ASSERT_TRUE(previewed.start(rate));
    button(dialog, QStringLiteral("试听"))->click();
    ASSERT_TRUE(engine->isPlaying()) << "the preview did not start on the null sink";
    QTest::qWait(1500);
    button(dialog, QStringLiteral("试听"))->click();
    EXPECT_FALSE(engine->isPlaying());
    const std::optional<double> wet = toneRatioDb(previewed.stop());
    ASSERT_TRUE(wet.has_value()) << "the preview was not heard";
    EXPECT_NEAR(*wet, expected, 0.5);

    // With the preview off, what the engine plays is the clip itself.
    MonitorCapture plain;
    ASSERT_TRUE(plain.start(rate));
    ASSERT_TRUE(engine->startPlayback(clip.samples.constData(), int(clip.samples.size()), rate, 0));
    QTest::qWait(1500);
    engine->stopPlayback();
    const std::optional<double> dry = toneRatioDb(plain.stop());
    ASSERT_TRUE(dry.has_value()) << "the dry clip was not heard";
    EXPECT_NEAR(*dry, 0.0, 0.5);
}

TEST_F(EqualizerPreviewOnDevice, EngineDeletedDuringThePreviewLeavesTheDialogWorking)
{
    const QList<float> dry = clip.samples;
    auto *dialog = new EqualizerDialog(&clip, engine);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    button(*dialog, QStringLiteral("试听"))->click();
    ASSERT_TRUE(engine->isPlaying());
    QTest::qWait(200);
    delete engine;  // what the editor does when a recording starts
    button(*dialog, QStringLiteral("试听"))->click();
    button(*dialog, QStringLiteral("试听"))->click();
    button(*dialog, QStringLiteral("取消"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(clip.samples, dry);
}

} // namespace
