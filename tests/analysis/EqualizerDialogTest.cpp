// SPDX-License-Identifier: GPL-3.0-or-later
// The equaliser dialog: Apply against numpy's view of its impulse response, the preview run
// through a pumped engine against Apply, Nyquist limits, bypass, and an engine that goes away.
#include "analysis/EqualizerDialog.h"
#include "analysis/EqualizerPreviewFilter.h"
#include "analysis/ParametricEQWidget.h"
#include "audio/AudioProcessor.h"
#include "engine/AudioEngine.h"

#include "OracleTool.h"
#include "PumpedAudioBackend.h"
#include "Requirement.h"
#include "Signals.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

bool sameBits(const QList<float> &a, const QList<float> &b)
{
    return a.size() == b.size() && (a.isEmpty() || std::memcmp(a.constData(), b.constData(), std::size_t(a.size()) * sizeof(float)) == 0);
}

QPushButton *button(EqualizerDialog &dialog, const QString &text)
{
    for (QPushButton *candidate : dialog.findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

struct Processor
{
    Processor(QList<float> samples, int rate)
    {
        processor.samples = std::move(samples);
        processor.sampleRate = rate;
        processor.channels = 1;
    }
    AudioProcessor processor;
};

void setBands(ParametricEQWidget &graph, const QList<ParametricEQWidget::EQBand> &bands)
{
    for (int i = 0; i < bands.size(); ++i)
        graph.setBand(i, bands[i]);
}

using Band = ParametricEQWidget::EQBand;
const QList<Band> shapedBands = {{true, 60.0f, 0.0f, 0.7f, ParametricEQWidget::HighPass, Qt::red},
                                 {true, 300.0f, -6.0f, 0.8f, ParametricEQWidget::LowShelf, Qt::yellow},
                                 {true, 1000.0f, 9.0f, 2.0f, ParametricEQWidget::Bell, Qt::green},
                                 {true, 5000.0f, -4.0f, 4.0f, ParametricEQWidget::Bell, Qt::cyan},
                                 {true, 12000.0f, 6.0f, 1.0f, ParametricEQWidget::HighShelf, Qt::blue}};

TEST(EqualizerDialog, CurveEqualsTheSpectrumOfApplysImpulseResponse)
{
    const QString python = pythonWith(QStringLiteral("numpy"));
    ZENTRIQ_REQUIRE(!python.isEmpty(), "python3-numpy is not installed");
    const struct
    {
        const char *name;
        int rate;
        QList<Band> bands;  // empty: the dialog's own defaults with the top shelf raised
    } rows[] = {{"shaped bands at 48 kHz", 48000, shapedBands},
                {"12 kHz shelf on 22.05 kHz audio", 22050, {}}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QList<float> impulse(1 << 16, 0.0f);
        impulse[0] = 1.0f;
        Processor clip(impulse, row.rate);
        EqualizerDialog dialog(&clip.processor, nullptr);
        if (row.bands.isEmpty())
            dialog.graph()->setBandGain(4, 6.0f);
        else
            setBands(*dialog.graph(), row.bands);
        constexpr int points = 300;
        const QList<float> curve = dialog.graph()->computeEQCurve(points);
        button(dialog, QStringLiteral("应用"))->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        const QList<float> &response = clip.processor.samples;
        for (float value : response)
            ASSERT_TRUE(std::isfinite(value));

        const char *script = R"PY(
import sys, numpy as np
h = np.frombuffer(sys.stdin.buffer.read(), dtype=np.float32).astype(np.float64)
fs = float(sys.argv[1]); n = int(sys.argv[2]); k = np.arange(len(h))
f = 10 ** (np.arange(n) / (n - 1) * 3 + 1.30103)
H = np.array([np.sum(h * np.exp(-2j * np.pi * fi / fs * k)) for fi in f])
print(' '.join('%.6f' % v for v in 20 * np.log10(np.maximum(np.abs(H), 1e-12))))
)PY";
        const QByteArray bytes(reinterpret_cast<const char *>(response.constData()),
                               response.size() * qsizetype(sizeof(float)));
        const ToolResult numpy = runTool(python, {QStringLiteral("-c"), QString::fromLatin1(script),
                                                  QString::number(row.rate), QString::number(points)},
                                         bytes);
        ASSERT_TRUE(numpy.ok()) << numpy.standardError.toStdString();
        const QList<QByteArray> fields = numpy.standardOutput.trimmed().split(' ');
        ASSERT_EQ(fields.size(), points);
        for (int i = 0; i < points; ++i)
            ASSERT_NEAR(curve[i], fields[i].toDouble(), 0.15) << "point " << i;
    }
}

TEST(EqualizerDialog, PreviewThroughTheEngineEqualsApply)
{
    const struct
    {
        const char *name;
        int rate;
        bool bypass;
    } rows[] = {{"48 kHz", 48000, false}, {"22.05 kHz with a 12 kHz shelf", 22050, false}, {"bypassed", 44100, true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QList<float> dry = seededNoise<QList<float>>(row.rate, 0.5f, 3);
        Processor clip(dry, row.rate);
        auto backend = std::make_unique<PumpedAudioBackend>();
        PumpedAudioBackend *device = backend.get();
        auto engine = std::make_unique<AudioEngine>(std::move(backend));
        engine->initialize(row.rate, 512);
        EqualizerDialog dialog(&clip.processor, engine.get());
        setBands(*dialog.graph(), shapedBands);
        dialog.graph()->setBypassed(row.bypass);

        button(dialog, QStringLiteral("试听"))->click();
        ASSERT_TRUE(engine->isPlaying());
        QList<float> heard;
        while (heard.size() < dry.size()) {
            const std::optional<std::vector<float>> block = device->pump(512);
            ASSERT_TRUE(block.has_value());
            for (std::size_t i = 0; i < block->size() && heard.size() < dry.size(); i += 2)
                heard.append((*block)[i]);
        }
        button(dialog, QStringLiteral("试听"))->click();
        EXPECT_FALSE(engine->isPlaying());
        EXPECT_TRUE(sameBits(clip.processor.samples, dry)) << "the preview never touches the clip";

        button(dialog, QStringLiteral("应用"))->click();
        const QList<float> &applied = clip.processor.samples;
        ASSERT_EQ(applied.size(), dry.size());
        float worst = 0.0f;
        for (qsizetype i = 0; i < dry.size(); ++i) {
            ASSERT_TRUE(std::isfinite(heard[i]));
            worst = std::max(worst, std::abs(heard[i] - applied[i]));
        }
        EXPECT_LT(worst, 1e-5f);
        if (row.bypass)
            EXPECT_TRUE(sameBits(applied, dry)) << "bypass leaves the audio alone";
        else
            EXPECT_GT(std::abs(applied[1000] - dry[1000]), 1e-3f);
    }
}

TEST(EqualizerDialog, RepeatedPreviewsAndApplyStartFromTheDrySamples)
{
    const QList<float> dry = seededNoise<QList<float>>(20000, 0.5f, 5);
    Processor clip(dry, 44100);
    auto backend = std::make_unique<PumpedAudioBackend>();
    PumpedAudioBackend *device = backend.get();
    AudioEngine engine(std::move(backend));
    engine.initialize(44100, 512);
    EqualizerDialog dialog(&clip.processor, &engine);
    QPushButton *preview = button(dialog, QStringLiteral("试听"));
    for (int round = 0; round < 3; ++round) {
        dialog.graph()->setBandGain(2, 6.0f + float(round));
        preview->click();
        device->pump(512);
        preview->click();
    }
    setBands(*dialog.graph(), shapedBands);
    button(dialog, QStringLiteral("应用"))->click();

    Processor oracle(dry, 44100);
    float frequencies[5], gains[5], qs[5];
    int types[5];
    bool enabled[5];
    for (int i = 0; i < 5; ++i) {
        frequencies[i] = shapedBands[i].frequency;
        gains[i] = shapedBands[i].gainDb;
        qs[i] = shapedBands[i].q;
        types[i] = shapedBands[i].type;
        enabled[i] = true;
    }
    oracle.processor.applyParametricEQ(frequencies, gains, qs, types, enabled, 5);
    EXPECT_TRUE(sameBits(clip.processor.samples, oracle.processor.samples));
}

TEST(EqualizerDialog, AnEngineDeletedUnderTheDialogIsNeverTouched)
{
    const struct
    {
        const char *name;
        bool previewFirst;
    } rows[] = {{"deleted while idle", false}, {"deleted while previewing", true}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QList<float> dry = seededNoise<QList<float>>(4000, 0.5f, 9);
        Processor clip(dry, 44100);
        auto *engine = new AudioEngine(std::make_unique<PumpedAudioBackend>());
        engine->initialize(44100, 512);
        auto *dialog = new EqualizerDialog(&clip.processor, engine);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        QPushButton *preview = button(*dialog, QStringLiteral("试听"));
        if (row.previewFirst)
            preview->click();
        delete engine;
        preview->click();
        preview->click();
        button(*dialog, QStringLiteral("取消"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(sameBits(clip.processor.samples, dry));
    }
}

TEST(EqualizerDialog, WindowModalAtTheClipsRateWithResetToWhiteBells)
{
    Processor clip(seededNoise<QList<float>>(1000, 0.1f, 1), 48000);
    AudioEngine engine(std::make_unique<PumpedAudioBackend>());
    engine.initialize(44100, 512);
    EqualizerDialog dialog(&clip.processor, &engine);
    EXPECT_EQ(dialog.windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("参数均衡器 (Parametric EQ)"));
    EXPECT_EQ(dialog.graph()->sampleRate(), 48000) << "the curve is drawn for the clip, not the engine";

    button(dialog, QStringLiteral("重置"))->click();
    for (int i = 0; i < ParametricEQWidget::bandCount; ++i) {
        const Band b = dialog.graph()->band(i);
        EXPECT_EQ(b.type, ParametricEQWidget::Bell);
        EXPECT_EQ(b.color, QColor(Qt::white));
        EXPECT_EQ(b.gainDb, 0.0f);
        EXPECT_TRUE(b.enabled);
    }
    EXPECT_EQ(dialog.graph()->band(0).frequency, 80.0f);
    EXPECT_EQ(dialog.graph()->band(4).frequency, 12000.0f);
}

TEST(EqualizerPreviewFilter, SetsPublishedMidStreamApplyAtTheNextBlock)
{
    EqualizerPreviewFilter filter;
    EqualizerPreviewFilter::Settings half;
    half.sections[3] = {0.5f, 0.0f, 0.0f, 0.0f, 0.0f};
    half.enabled[3] = true;
    std::vector<float> block(64, 1.0f);
    filter.process(block.data(), 64);
    EXPECT_EQ(block[10], 1.0f) << "nothing published: identity";
    // Several publications between two blocks: the newest one whole.
    filter.publish(half);
    filter.publish({});
    filter.publish(half);
    filter.process(block.data(), 64);
    EXPECT_EQ(block[10], 0.5f);
    filter.publish({});
    filter.process(block.data(), 64);
    EXPECT_EQ(block[10], 0.5f);
}

} // namespace
