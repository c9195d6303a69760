// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track editor page: layout, toolbar, meter panel, transport bar and theme styles.
#include "editor/AudioEditorPage.h"

#include "analysis/SpectrumAnalyzerWidget.h"
#include "editor/WaveformWidget.h"
#include "ui/LoadingOverlay.h"
#include "ui/ThemeManager.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {
QString styleOf(ThemeManager::EditorPart part)
{
    return ThemeManager::instance()->styleSheet(part);
}
} // namespace

void AudioEditorPage::setupUi()
{
    mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    setupToolbar();
    setupEditorLayout();
    setupMeterPanel();
    setupBottomControls();

    mainLayout->addWidget(toolbar);
    mainLayout->addLayout(editorLayout, 1);
    auto *bottomContainer = new QWidget(this);
    auto *bottomLayout = new QVBoxLayout(bottomContainer);
    bottomLayout->setContentsMargins(0, 0, 0, 4);
    bottomLayout->setSpacing(0);
    bottomLayout->addWidget(bottomControls, 0, Qt::AlignVCenter);
    mainLayout->addWidget(bottomContainer);
    mainLayout->addWidget(statusBar);

    loadingOverlay = new LoadingOverlay(this);
    updateThemeStyles();
    connect(ThemeManager::instance(), &ThemeManager::themeChanged, this, &AudioEditorPage::updateThemeStyles);
}

void AudioEditorPage::setupToolbar()
{
    toolbar = new QToolBar(this);
    toolbar->setMovable(false);
    toolbar->setObjectName(QStringLiteral("EditorToolBar"));

    auto *viewLabel = new QLabel(QStringLiteral("视图："), toolbar);
    viewLabel->setStyleSheet(styleOf(ThemeManager::EditorPart::ToolbarLabel));
    toolbar->addWidget(viewLabel);

    viewModeCombo = new QComboBox(toolbar);
    viewModeCombo->addItems({QStringLiteral("波形"), QStringLiteral("频谱"), QStringLiteral("两者")});
    viewModeCombo->setStyleSheet(styleOf(ThemeManager::EditorPart::ViewModeCombo));
    connect(viewModeCombo, &QComboBox::currentIndexChanged, this, &AudioEditorPage::onViewTabChanged);
    toolbar->addWidget(viewModeCombo);
    toolbar->addSeparator();

    struct ToolSpec
    {
        const char *text;
        const char *objectName;
    };
    const ToolSpec tools[] = {{"选择", "toolSelectBtn"}, {"移动", "toolMoveBtn"}, {"擦除", "toolEraseBtn"}};
    for (int index = 0; index < 3; ++index) {
        auto *button = new QPushButton(QString::fromUtf8(tools[index].text), toolbar);
        button->setFixedSize(56, 28);
        button->setCheckable(true);
        button->setChecked(index == 0);
        button->setObjectName(QString::fromLatin1(tools[index].objectName));
        button->setStyleSheet(styleOf(index == 0 ? ThemeManager::EditorPart::ActiveToolButton
                                                  : ThemeManager::EditorPart::InactiveToolButton));
        connect(button, &QPushButton::clicked, this, [this, index] {
            onToolChanged(index);
            updateToolButtonStyles(index);
        });
        toolButtons.append(button);
        toolbar->addWidget(button);
    }
    eraseButton = toolButtons.at(2);
    eraseButton->setToolTip(QStringLiteral("擦除模式 (E) - 在频谱图上拖拽擦除指定频段"));

    eraseStrengthSlider = new QSlider(Qt::Horizontal, toolbar);
    eraseStrengthSlider->setRange(10, 100);
    eraseStrengthSlider->setValue(80);
    eraseStrengthSlider->setFixedWidth(100);
    eraseStrengthSlider->setToolTip(QStringLiteral("擦除力度"));
    eraseStrengthSlider->setStyleSheet(styleOf(ThemeManager::EditorPart::EraseStrengthSlider));
    eraseStrengthLabel = new QLabel(QStringLiteral("力度:80%"), toolbar);
    eraseStrengthLabel->setObjectName(QStringLiteral("EraseStrengthLabel"));
    eraseStrengthLabel->setFixedWidth(60);
    eraseStrengthLabel->setStyleSheet(styleOf(ThemeManager::EditorPart::EraseStrengthLabel));
    connect(eraseStrengthSlider, &QSlider::valueChanged, this, [this](int value) {
        eraseStrengthLabel->setText(QStringLiteral("力度:%1%").arg(value));
        for (SpectrumAnalyzerWidget *view : {spectrum1, spectrum2})
            if (view)
                view->setEraseStrength(float(value / 100.0));
    });
    // Toolbar widgets are hidden through their actions; hiding the widget itself does not stick.
    toolbar->addWidget(eraseStrengthSlider)->setVisible(false);
    toolbar->addWidget(eraseStrengthLabel)->setVisible(false);
    toolbar->addSeparator();

    // A button whose dialog the page does not have yet stays greyed out rather than
    // offering an effect that would do nothing.
    struct EffectSpec
    {
        const char *text;
        int width;
        void (AudioEditorPage::*launch)();
    };
    const EffectSpec effects[] = {{"增益", 60, &AudioEditorPage::showGainDialog},
                                  {"中置提取", 72, &AudioEditorPage::showCenterExtractionDialog},
                                  {"降噪", 60, &AudioEditorPage::showNoiseReductionDialog},
                                  {"混响", 60, &AudioEditorPage::showReverbDialog},
                                  {"延迟", 60, &AudioEditorPage::showDelayDialog},
                                  {"速度检测", 72, &AudioEditorPage::showTempoDetectionDialog},
                                  {"音高修正", 72, &AudioEditorPage::showPitchCorrectionDialog},
                                  {"声道转换", 72, &AudioEditorPage::showChannelConvertDialog},
                                  {"压缩器", 60, &AudioEditorPage::showCompressorDialog},
                                  {"均衡器", 60, &AudioEditorPage::showEqualizerDialog},
                                  {"激励器", 60, &AudioEditorPage::showExciterDialog},
                                  {"宽度", 52, &AudioEditorPage::showImagerDialog}};
    for (const EffectSpec &effect : effects) {
        auto *button = new QPushButton(QString::fromUtf8(effect.text), toolbar);
        button->setFixedSize(effect.width, 28);
        button->setStyleSheet(styleOf(ThemeManager::EditorPart::EffectButton));
        button->setEnabled(effect.launch != nullptr);
        if (effect.launch)
            connect(button, &QPushButton::clicked, this, effect.launch);
        toolbar->addWidget(button);
    }
    toolbar->addSeparator();

    castButton = new QPushButton(QStringLiteral("音频流转"), toolbar);
    castButton->setFixedSize(72, 28);
    castButton->setCheckable(true);
    castButton->setToolTip(QStringLiteral("将音频流转到远程设备"));
    castButton->setStyleSheet(styleOf(ThemeManager::EditorPart::CastIdleButton));
    connect(castButton, &QPushButton::clicked, this, &AudioEditorPage::onTogglePcmCast);
    toolbar->addWidget(castButton)->setVisible(false);
}

void AudioEditorPage::setupEditorLayout()
{
    editorLayout = new QHBoxLayout();
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setSpacing(0);

    const auto followPlayhead = [this](double seconds) {
        setPlayheadAll(seconds);
        updateTimeLabel();
    };

    waveform1 = new WaveformWidget(this);
    connect(waveform1, &WaveformWidget::playheadMoved, this, followPlayhead);

    spectrum1 = new SpectrumAnalyzerWidget(this);
    spectrum1->setDisplayMode(SpectrumAnalyzerWidget::Spectrogram);
    connect(spectrum1, &SpectrumAnalyzerWidget::audioDataChanged, this, [this] { onSpectralErase(spectrum1); });
    connect(spectrum1, &SpectrumAnalyzerWidget::playheadRequested, this, followPlayhead);

    auto *bothPage = new QWidget(this);
    auto *bothLayout = new QVBoxLayout(bothPage);
    bothLayout->setContentsMargins(0, 0, 0, 0);
    bothLayout->setSpacing(2);
    waveform2 = new WaveformWidget(bothPage);
    // One time axis for both: the waveform leaves the spectrogram's label margins.
    waveform2->setTimeAxisMargins(SpectrumAnalyzerWidget::plotLeftMargin, SpectrumAnalyzerWidget::plotRightMargin);
    connect(waveform2, &WaveformWidget::playheadMoved, this, followPlayhead);
    spectrum2 = new SpectrumAnalyzerWidget(bothPage);
    spectrum2->setDisplayMode(SpectrumAnalyzerWidget::Spectrogram);
    connect(spectrum2, &SpectrumAnalyzerWidget::audioDataChanged, this, [this] { onSpectralErase(spectrum2); });
    connect(spectrum2, &SpectrumAnalyzerWidget::playheadRequested, this, followPlayhead);
    bothLayout->addWidget(waveform2, 1);
    bothLayout->addWidget(spectrum2, 1);

    viewStack = new QStackedWidget(this);
    viewStack->addWidget(waveform1);
    viewStack->addWidget(spectrum1);
    viewStack->addWidget(bothPage);
    viewStack->setCurrentIndex(0);
    editorLayout->addWidget(viewStack, 1);
}

void AudioEditorPage::setupMeterPanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("MeterPanel"));
    panel->setFixedWidth(90);
    panel->setStyleSheet(styleOf(ThemeManager::EditorPart::MeterPanel));
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    panelLayout->setSpacing(6);

    auto *title = new QLabel(QStringLiteral("dB"), panel);
    title->setObjectName(QStringLiteral("MeterTitleLabel"));
    title->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(title);

    auto *row = new QHBoxLayout();
    row->setSpacing(8);
    const auto addColumn = [&](const QString &name) {
        auto *column = new QVBoxLayout();
        auto *bar = new QProgressBar(panel);
        bar->setOrientation(Qt::Vertical);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->setFixedWidth(28);
        bar->setStyleSheet(styleOf(ThemeManager::EditorPart::MeterBar));
        column->addWidget(bar, 1);
        auto *label = new QLabel(name, panel);
        label->setObjectName(QStringLiteral("MeterChannelLabel"));
        label->setAlignment(Qt::AlignCenter);
        column->addWidget(label);
        row->addLayout(column);
        return bar;
    };
    leftMeter = addColumn(QStringLiteral("L"));
    rightMeter = addColumn(QStringLiteral("R"));
    panelLayout->addLayout(row, 1);
    editorLayout->addWidget(panel);
}

void AudioEditorPage::setupBottomControls()
{
    bottomControls = new QFrame(this);
    bottomControls->setObjectName(QStringLiteral("BottomControls"));
    auto *bottomLayout = new QHBoxLayout(bottomControls);
    bottomLayout->setContentsMargins(20, 0, 20, 6);
    bottomLayout->setSpacing(0);

    auto *transport = new QFrame(bottomControls);
    transport->setObjectName(QStringLiteral("TransportFrame"));
    transport->setFixedHeight(56);
    transport->setStyleSheet(styleOf(ThemeManager::EditorPart::TransportFrame));
    auto *transportLayout = new QHBoxLayout(transport);
    transportLayout->setContentsMargins(0, 0, 0, 0);
    transportLayout->setSpacing(0);

    const auto addButton = [&](const QString &text, const QString &name, const QString &style,
                               void (AudioEditorPage::*slot)()) {
        auto *button = new QPushButton(text, transport);
        button->setObjectName(name);
        button->setFixedSize(48, 56);
        if (!style.isEmpty())
            button->setStyleSheet(style);
        connect(button, &QPushButton::clicked, this, slot);
        transportLayout->addWidget(button);
        return button;
    };
    rewindButton = addButton(QStringLiteral("快退"), QStringLiteral("TransportButton"),
                             styleOf(ThemeManager::EditorPart::TransportFirstButton),
                             &AudioEditorPage::onRewindClicked);
    playButton = addButton(QStringLiteral("播放"), QStringLiteral("TransportPlayButton"), {},
                           &AudioEditorPage::onPlayPauseClicked);
    fastForwardButton = addButton(QStringLiteral("快进"), QStringLiteral("TransportButton"), {},
                                  &AudioEditorPage::onFastForwardClicked);
    stopButton = addButton(QStringLiteral("停止"), QStringLiteral("TransportStopButton"), {},
                           &AudioEditorPage::onStopClicked);
    recordButton = addButton(QStringLiteral("录制"), QStringLiteral("TransportRecordButton"),
                             styleOf(ThemeManager::EditorPart::TransportLastButton),
                             &AudioEditorPage::onRecordClicked);

    bottomLayout->addWidget(transport);
    bottomLayout->addStretch();
    timeLabel = new QLabel(QStringLiteral("00:00:00.000"), bottomControls);
    timeLabel->setObjectName(QStringLiteral("TimeLabel"));
    timeLabel->setAlignment(Qt::AlignCenter);
    timeLabel->setMinimumWidth(120);
    bottomLayout->addWidget(timeLabel);

    statusBar = new QStatusBar(this);
    showStatus(QStringLiteral("就绪"));
}

void AudioEditorPage::updateThemeStyles()
{
    setStyleSheet(styleOf(ThemeManager::EditorPart::Page));
    if (toolbar)
        toolbar->setStyleSheet(styleOf(ThemeManager::EditorPart::Toolbar));
    if (viewStack)
        viewStack->setStyleSheet(styleOf(ThemeManager::EditorPart::ViewStack));
    if (bottomControls)
        bottomControls->setStyleSheet(styleOf(ThemeManager::EditorPart::BottomControls));
    if (statusBar)
        statusBar->setStyleSheet(styleOf(ThemeManager::EditorPart::StatusBar));
}

void AudioEditorPage::onToolChanged(int tool)
{
    currentTool = tool;
    const bool erase = tool == 2;
    for (QAction *action : toolbar->actions()) {
        QWidget *widget = toolbar->widgetForAction(action);
        if (widget == eraseStrengthSlider || widget == eraseStrengthLabel)
            action->setVisible(erase);
    }
    for (SpectrumAnalyzerWidget *view : {spectrum1, spectrum2})
        view->setToolMode(erase ? SpectrumAnalyzerWidget::Erase : SpectrumAnalyzerWidget::Select);
}

void AudioEditorPage::updateToolButtonStyles(int index)
{
    for (int k = 0; k < toolButtons.size(); ++k) {
        toolButtons[k]->setStyleSheet(styleOf(k == index ? ThemeManager::EditorPart::ActiveToolButton
                                                       : ThemeManager::EditorPart::InactiveToolButton));
        toolButtons[k]->setChecked(k == index);
    }
}

void AudioEditorPage::onTogglePcmCast()
{
    if (castButton->isChecked()) {
        castButton->setStyleSheet(styleOf(ThemeManager::EditorPart::CastActiveButton));
        castButton->setText(QStringLiteral("流转中"));
        showStatus(QStringLiteral("请选择流转设备..."));
    } else {
        castButton->setStyleSheet(styleOf(ThemeManager::EditorPart::CastIdleButton));
        castButton->setText(QStringLiteral("音频流转"));
        showStatus(QStringLiteral("音频流转已关闭"));
    }
}
