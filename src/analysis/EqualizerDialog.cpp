// SPDX-License-Identifier: GPL-3.0-or-later
// Equaliser dialog: band graph, preview through the engine, offline run on Apply.
#include "analysis/EqualizerDialog.h"

#include "analysis/EqualizerPreviewFilter.h"
#include "analysis/ParametricEQWidget.h"
#include "audio/AudioProcessor.h"
#include "audio/DecodedAudio.h"
#include "audio/VectorState.h"
#include "engine/AudioEngine.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace {
const float DEFAULT_FREQS[ParametricEQWidget::bandCount] = {80.0f, 250.0f, 1000.0f, 4000.0f, 12000.0f};
const float DEFAULT_QS[ParametricEQWidget::bandCount] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
} // namespace

EqualizerDialog::EqualizerDialog(AudioProcessor *processor, AudioEngine *engine, QWidget *parent)
    : QDialog(parent)
    , processor(processor)
    , engine(engine)
    , previewFilter(std::make_unique<EqualizerPreviewFilter>())
{
    // The curve, the preview and Apply all act at the clip's rate.
    if (processor && processor->sampleRate > 0)
        sampleRate = processor->sampleRate;
    setWindowTitle(tr("参数均衡器 (Parametric EQ)"));
    setMinimumSize(700, 380);
    // The page keeps its buffer unchanged while the dialog works on a copy of it.
    setWindowModality(Qt::WindowModal);
    setupUI();
    if (processor) {
        drySamples = processor->samples;
        dryStereo = processor->stereoSamples;
        eqWidget->setAudioData(drySamples, sampleRate);
    }
    updateBiquadCoeffs();
}

EqualizerDialog::~EqualizerDialog()
{
    if (!previewing)
        return;
    stopPreview();
    if (processor && !drySamples.isEmpty())
        restoreDry();
}

void EqualizerDialog::restoreDry()
{
    processor->samples = drySamples;
    processor->stereoSamples = dryStereo;
    processor->sampleRate = sampleRate;
    processor->channels = 1;
}

void EqualizerDialog::setupUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->setContentsMargins(12, 12, 12, 12);
    eqWidget = new ParametricEQWidget(this);
    eqWidget->setMinimumHeight(260);
    layout->addWidget(eqWidget, 1);
    connect(eqWidget, &ParametricEQWidget::bandChanged, this, &EqualizerDialog::onBandChanged);
    connect(eqWidget, &ParametricEQWidget::bypassedChanged, this, [this] { updateBiquadCoeffs(); });

    auto *buttons = new QHBoxLayout();
    buttons->addStretch();
    const auto addButton = [&](const QString &text, const char *style) {
        auto *button = new QPushButton(text, this);
        button->setFixedWidth(80);
        button->setStyleSheet(QString::fromLatin1(style));
        buttons->addWidget(button);
        return button;
    };
    QPushButton *reset = addButton(tr("重置"), "QPushButton { background: #444; color: #ccc; border: 1px solid #666; "
                                               "border-radius: 4px; padding: 6px; }QPushButton:hover { background: #555; }");
    previewButton = addButton(tr("试听"), "QPushButton { background: #1565c0; color: #fff; border: none; "
                                          "border-radius: 4px; padding: 6px; }QPushButton:hover { background: #1976d2; }");
    QPushButton *apply = addButton(tr("应用"), "QPushButton { background: #2e7d32; color: #fff; border: none; "
                                               "border-radius: 4px; padding: 6px; }QPushButton:hover { background: #388e3c; }");
    QPushButton *cancel = addButton(tr("取消"), "QPushButton { background: #555; color: #ccc; border: 1px solid #666; "
                                                "border-radius: 4px; padding: 6px; }QPushButton:hover { background: #666; }");
    previewButton->setCheckable(true);
    // Enter must not apply behind the user's back.
    for (QPushButton *button : {reset, previewButton, apply, cancel})
        button->setAutoDefault(false);
    connect(reset, &QPushButton::clicked, this, &EqualizerDialog::onReset);
    connect(previewButton, &QPushButton::toggled, this, &EqualizerDialog::onPreview);
    connect(apply, &QPushButton::clicked, this, &EqualizerDialog::onApply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addLayout(buttons);
}

void EqualizerDialog::onBandChanged(int)
{
    updateBiquadCoeffs();
}

void EqualizerDialog::updateBiquadCoeffs()
{
    EqualizerPreviewFilter::Settings settings;
    if (!eqWidget->isBypassed()) {
        for (int i = 0; i < ParametricEQWidget::bandCount; ++i) {
            if (const auto section = ParametricEQWidget::sectionFor(eqWidget->band(i), float(sampleRate))) {
                settings.sections[std::size_t(i)] = *section;
                settings.enabled[std::size_t(i)] = true;
            }
        }
    }
    previewFilter->publish(settings);
}

void EqualizerDialog::applyBands(AudioProcessor &target) const
{
    if (eqWidget->isBypassed())
        return;
    std::array<float, ParametricEQWidget::bandCount> frequencies{};
    std::array<float, ParametricEQWidget::bandCount> gains{};
    std::array<float, ParametricEQWidget::bandCount> qs{};
    std::array<int, ParametricEQWidget::bandCount> types{};
    bool enabled[ParametricEQWidget::bandCount] = {};
    for (int i = 0; i < ParametricEQWidget::bandCount; ++i) {
        const ParametricEQWidget::EQBand b = eqWidget->band(i);
        frequencies[std::size_t(i)] = ParametricEQWidget::limitedFrequency(b.frequency, float(target.sampleRate));
        gains[std::size_t(i)] = b.gainDb;
        qs[std::size_t(i)] = b.q;
        types[std::size_t(i)] = int(b.type);
        enabled[i] = b.enabled;
    }
    target.applyParametricEQ(frequencies.data(), gains.data(), qs.data(), types.data(), enabled,
                             ParametricEQWidget::bandCount);
}

void EqualizerDialog::applyEQ()
{
    if (!processor)
        return;
    restoreDry();
    clearUpperVectorState();
    if (dryStereo.isEmpty() || eqWidget->isBypassed()) {
        applyBands(*processor);
        return;
    }
    // Both channels are equalised, so what is exported is what plays; what plays is their
    // mean, as after a load.
    AudioProcessor stereo;
    stereo.samples = dryStereo;
    stereo.sampleRate = sampleRate;
    stereo.channels = 2;
    applyBands(stereo);
    const qsizetype frames = stereo.samples.size() / 2;
    processor->samples = uninitialisedFloats(frames);
    mixFramesToMono(stereo.samples.constData(), processor->samples.data(), frames, 2);
    processor->stereoSamples = std::move(stereo.samples);
}

void EqualizerDialog::stopPreview()
{
    if (engine) {
        engine->stopPlayback();
        engine->setPlaybackProcessCallback({});
    }
    previewing = false;
}

void EqualizerDialog::onApply()
{
    if (previewing)
        stopPreview();
    applyEQ();
    accept();
}

void EqualizerDialog::onPreview(bool checked)
{
    if (!engine || drySamples.isEmpty())
        return;
    if (!checked) {
        stopPreview();
        return;
    }
    previewing = true;
    updateBiquadCoeffs();
    // No callback of ours runs now, so the states may be cleared from here.
    previewFilter->reset();
    // Removed again by stopPreview, which the destructor runs while previewing.
    engine->setPlaybackProcessCallback([this](float *samples, int count) { processAudioChunk(samples, count); });
    engine->startPlayback(drySamples.constData(), int(drySamples.size()), sampleRate, 0);
}

void EqualizerDialog::processAudioChunk(float *samples, int count) noexcept
{
    previewFilter->process(samples, count);
}

void EqualizerDialog::onReset()
{
    for (int i = 0; i < ParametricEQWidget::bandCount; ++i)
        eqWidget->setBand(i, {true, DEFAULT_FREQS[i], 0.0f, DEFAULT_QS[i], ParametricEQWidget::Bell, Qt::white});
    eqWidget->update();
    updateBiquadCoeffs();
}
