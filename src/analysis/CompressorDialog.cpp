// SPDX-License-Identifier: GPL-3.0-or-later
// Compressor dialog: controls, readouts of the applied static curve, preview, reset, apply.
#include "analysis/CompressorDialog.h"

#include "audio/AudioProcessor.h"
#include "audio/VectorState.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QString kValueStyle = QStringLiteral(
    "QLabel { background: #1a1a2e; color: #4fc3f7; font-size: 18px; font-weight: bold; border: 1px solid #333; "
    "border-radius: 6px; padding: 8px 16px; min-width: 80px; }");
const QString kReducingStyle = QStringLiteral(
    "QLabel { background: #1a1a2e; color: #ff7043; font-size: 18px; font-weight: bold; border: 1px solid #333; "
    "border-radius: 6px; padding: 8px 16px; min-width: 80px; }");
const QString kSliderStyle = QStringLiteral(
    "QSlider::groove:horizontal { background: #444; height: 6px; border-radius: 3px; }"
    "QSlider::handle:horizontal { background: #4fc3f7; width: 16px; height: 16px; margin: -5px 0; border-radius: "
    "8px; }QSlider::sub-page:horizontal { background: #1565c0; border-radius: 3px; }");
const QString kSpinStyle = QStringLiteral(
    "QDoubleSpinBox { background: #3a3a3a; color: #fff; border: 1px solid #555; border-radius: 4px; padding: 4px; "
    "font-size: 12px; }");
const QString kGreyButtonStyle = QStringLiteral(
    "QPushButton { background: #424242; color: white; border: none; border-radius: 6px; font-size: 13px; padding: "
    "8px 20px; }QPushButton:hover { background: #616161; }");

// Peak of a list in dBFS, -96 for silence.
float peakDb(const QList<float> &list)
{
    // Eight running maxima side by side: a single one waits on its last comparison for every
    // value, which over a long clip takes longer than the dialog's whole set-up.
    constexpr qsizetype lanes = 8;
    std::array<float, lanes> peaks{};
    const float *values = list.constData();
    const qsizetype whole = list.size() / lanes * lanes;
    for (qsizetype i = 0; i < whole; i += lanes)
        for (qsizetype k = 0; k < lanes; ++k)
            peaks[k] = std::max(peaks[k], std::fabs(values[i + k]));
    float peak = *std::max_element(peaks.begin(), peaks.end());
    for (qsizetype i = whole; i < list.size(); ++i)
        peak = std::max(peak, std::fabs(values[i]));
    return peak > 0.0f ? 20.0f * std::log10(peak) : -96.0f;
}

QString dbText(double value)
{
    return QObject::tr("%1 dB").arg(value, 0, 'f', 1);
}

} // namespace

CompressorDialog::CompressorDialog(AudioProcessor *processorToUse, QWidget *parent)
    : QDialog(parent)
    , processor(processorToUse)
{
    setWindowTitle(tr("动态压缩器"));
    setMinimumSize(520, 580);
    setMaximumSize(600, 680);
    setupUI();
    connectSignals();
    if (processor)
        drySamples = processor->samples;
    updateGainReductionDisplay();
}

CompressorDialog::~CompressorDialog()
{
    if (previewActive)
        restoreInput();
}

QDoubleSpinBox *CompressorDialog::addRow(QGridLayout *grid, int row, const QString &label, const QString &suffix,
                                         double low, double high, double value, double step, QSlider **slider)
{
    auto *caption = new QLabel(label, this);
    caption->setStyleSheet(QStringLiteral("color: #ccc; font-size: 12px;"));
    caption->setMinimumWidth(80);
    *slider = new QSlider(Qt::Horizontal, this);
    (*slider)->setRange(int(low * 10), int(high * 10));
    (*slider)->setValue(int(value * 10));
    (*slider)->setStyleSheet(kSliderStyle);
    auto *spin = new QDoubleSpinBox(this);
    spin->setRange(low, high);
    spin->setDecimals(1);
    spin->setSingleStep(step);
    spin->setValue(value);
    spin->setSuffix(suffix);
    spin->setFixedWidth(90);
    spin->setStyleSheet(kSpinStyle);
    grid->addWidget(caption, row, 0);
    grid->addWidget(*slider, row, 1);
    grid->addWidget(spin, row, 2);
    return spin;
}

void CompressorDialog::setupUI()
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(16, 16, 16, 16);

    auto *title = new QLabel(tr("动态压缩器 (Compressor)"), this);
    title->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold; color: #e0e0e0;"));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto *parameters = new QGroupBox(tr("压缩参数"), this);
    auto *grid = new QGridLayout(parameters);
    grid->setSpacing(10);
    thresholdSpin = addRow(grid, 0, tr("阈值 (Threshold)"), tr(" dB"), -60, 0, -20, 0.5, &thresholdSlider);
    ratioSpin = addRow(grid, 1, tr("压缩比 (Ratio)"), tr(":1"), 1, 20, 4, 0.5, &ratioSlider);
    attackSpin = addRow(grid, 2, tr("启动 (Attack)"), tr(" ms"), 0.1, 100, 10, 0.5, &attackSlider);
    releaseSpin = addRow(grid, 3, tr("释放 (Release)"), tr(" ms"), 1, 1000, 100, 5, &releaseSlider);
    makeupSpin = addRow(grid, 4, tr("补偿增益 (Makeup)"), tr(" dB"), 0, 24, 0, 0.5, &makeupSlider);
    kneeSpin = addRow(grid, 5, tr("拐点 (Knee)"), tr(" dB"), 0, 30, 6, 1, &kneeSlider);
    thresholdSpin->setObjectName(QStringLiteral("thresholdSpin"));
    ratioSpin->setObjectName(QStringLiteral("ratioSpin"));
    attackSpin->setObjectName(QStringLiteral("attackSpin"));
    releaseSpin->setObjectName(QStringLiteral("releaseSpin"));
    makeupSpin->setObjectName(QStringLiteral("makeupSpin"));
    kneeSpin->setObjectName(QStringLiteral("kneeSpin"));
    layout->addWidget(parameters);

    auto *meters = new QGroupBox(tr("电平指示"), this);
    auto *meterRow = new QHBoxLayout(meters);
    meterRow->setSpacing(20);
    const auto addReadout = [&](const QString &caption, const QString &name) {
        auto *column = new QVBoxLayout;
        auto *captionLabel = new QLabel(caption, meters);
        captionLabel->setStyleSheet(QStringLiteral("color: #aaa; font-size: 11px;"));
        captionLabel->setAlignment(Qt::AlignCenter);
        auto *value = new QLabel(tr("-- dB"), meters);
        value->setObjectName(name);
        value->setAlignment(Qt::AlignCenter);
        value->setStyleSheet(kValueStyle);
        column->addWidget(captionLabel);
        column->addWidget(value);
        meterRow->addLayout(column);
        return value;
    };
    inputLevelLabel = addReadout(tr("输入电平"), QStringLiteral("inputLevelLabel"));
    gainReductionLabel = addReadout(tr("增益衰减"), QStringLiteral("gainReductionLabel"));
    outputLevelLabel = addReadout(tr("输出电平"), QStringLiteral("outputLevelLabel"));
    layout->addWidget(meters);

    auto *hint = new QLabel(tr("压缩比 1:1 = 无压缩 | 2:1 = 温和 | 4:1 = 标准 | 8:1 = 强力 | 20:1 = 限制器"), this);
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #888; font-size: 11px; padding: 4px;"));
    layout->addWidget(hint);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    const auto addButton = [&](const QString &text, const QString &style) {
        auto *button = new QPushButton(text, this);
        button->setMinimumHeight(36);
        button->setStyleSheet(style);
        buttons->addWidget(button);
        return button;
    };
    auto *preview = addButton(
        tr("预览"), QStringLiteral("QPushButton { background: #1565c0; color: white; border: none; border-radius: 6px; "
                                   "font-size: 13px; font-weight: bold; padding: 8px 20px; }QPushButton:hover { "
                                   "background: #1976d2; }QPushButton:pressed { background: #0d47a1; }"));
    auto *reset = addButton(tr("重置"), kGreyButtonStyle);
    buttons->addStretch();
    auto *apply = addButton(
        tr("应用"), QStringLiteral("QPushButton { background: #2e7d32; color: white; border: none; border-radius: 6px; "
                                   "font-size: 13px; font-weight: bold; padding: 8px 20px; }QPushButton:hover { "
                                   "background: #388e3c; }QPushButton:pressed { background: #1b5e20; }"));
    auto *cancel = addButton(tr("取消"), kGreyButtonStyle);
    // Enter in a spin box would otherwise press the first button.
    for (QPushButton *button : {preview, reset, apply, cancel})
        button->setAutoDefault(false);
    connect(preview, &QPushButton::clicked, this, &CompressorDialog::onPreview);
    connect(reset, &QPushButton::clicked, this, &CompressorDialog::onReset);
    connect(apply, &QPushButton::clicked, this, &CompressorDialog::onApply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addLayout(buttons);

    setStyleSheet(QStringLiteral(
        "QDialog { background-color: #1e1e2e; }QGroupBox { color: #ccc; border: 1px solid #444; border-radius: 6px; "
        "margin-top: 8px; padding-top: 14px; font-size: 12px; font-weight: bold; }QGroupBox::title { "
        "subcontrol-origin: margin; left: 12px; padding: 0 6px; }"));
}

void CompressorDialog::connectSignals()
{
    const std::pair<QSlider *, QDoubleSpinBox *> rows[] = {{thresholdSlider, thresholdSpin}, {ratioSlider, ratioSpin},
                                                           {attackSlider, attackSpin},       {releaseSlider, releaseSpin},
                                                           {makeupSlider, makeupSpin},       {kneeSlider, kneeSpin}};
    for (const auto &[slider, spin] : rows) {
        connect(slider, &QSlider::valueChanged, spin, [spin](int v) { spin->setValue(v / 10.0); });
        connect(spin, &QDoubleSpinBox::valueChanged, slider, [slider](double d) { slider->setValue(int(d * 10)); });
        // Every value the readout shows depends on, make-up included, refreshes it.
        connect(spin, &QDoubleSpinBox::valueChanged, this, &CompressorDialog::updateGainReductionDisplay);
    }
}

CompressorDialog::Settings CompressorDialog::settings() const
{
    return {float(thresholdSpin->value()), float(ratioSpin->value()),  float(attackSpin->value()),
            float(releaseSpin->value()),   float(makeupSpin->value()), float(kneeSpin->value())};
}

void CompressorDialog::applyParameters()
{
    if (!processor)
        return;
    const Settings s = settings();
    clearUpperVectorState();
    processor->applyCompression(s.thresholdDb, s.ratio, s.attackMs, s.releaseMs, s.makeupDb, s.kneeDb);
}

void CompressorDialog::restoreInput()
{
    if (!processor || drySamples.isEmpty())
        return;
    processor->samples = drySamples;
    processor->channels = 1;
}

void CompressorDialog::updateGainReductionDisplay()
{
    if (!processor || drySamples.isEmpty())
        return;
    const float in = peakDb(drySamples);
    const Settings s = settings();
    // The steady-state reduction of the curve applyCompression runs, knee included.
    const float reduction = 0.0f - AudioProcessor::compressionReductionDb(in, s.thresholdDb, s.ratio, s.kneeDb);
    inputLevelLabel->setText(dbText(in));
    gainReductionLabel->setText(dbText(reduction));
    gainReductionLabel->setStyleSheet(reduction < -1.0f ? kReducingStyle : kValueStyle);
    outputLevelLabel->setText(dbText(in + reduction + s.makeupDb));
}

void CompressorDialog::onPreview()
{
    if (!processor || drySamples.isEmpty()) {
        QMessageBox::information(this, tr("提示"), tr("没有音频数据可预览"));
        return;
    }
    restoreInput();
    applyParameters();
    previewActive = true;
    outputLevelLabel->setText(dbText(peakDb(processor->samples)));
}

void CompressorDialog::onReset()
{
    const Settings defaults;
    thresholdSpin->setValue(defaults.thresholdDb);
    ratioSpin->setValue(defaults.ratio);
    attackSpin->setValue(defaults.attackMs);
    releaseSpin->setValue(defaults.releaseMs);
    makeupSpin->setValue(defaults.makeupDb);
    kneeSpin->setValue(defaults.kneeDb);
    restoreInput();
    previewActive = false;
}

void CompressorDialog::onApply()
{
    if (!processor || drySamples.isEmpty()) {
        reject();
        return;
    }
    // The settings are the result: whoever opened the dialog runs them over its audio.
    restoreInput();
    previewActive = false;
    accept();
}
