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
const QString kActiveToolStyle = QStringLiteral(
    "background: rgba(42,130,218,30); color: #ffffff; border: 1px solid #2a82da; border-radius: 4px; "
    "font-size: 12px; padding: 2px 10px;");
const QString kInactiveToolStyle = QStringLiteral(
    "background: #252538; color: #aaaacc; border: 1px solid #3a3a50; border-radius: 4px; font-size: 12px; "
    "padding: 2px 10px;");
const QString kCastIdleStyle = QStringLiteral(
    "background: rgba(42,130,218,15); color: #6ab0ff; border: 1px solid rgba(42,130,218,40); border-radius: 4px; "
    "font-size: 12px; padding: 2px 10px;");
const QString kCastActiveStyle = QStringLiteral(
    "background: rgba(42,130,218,40); color: #ffffff; border: 1px solid #2a82da; border-radius: 4px; "
    "font-size: 12px; padding: 2px 10px;");
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
    toolbar->setStyleSheet(QStringLiteral(
        "QToolBar { background-color: #1a1a28; border-bottom: 1px solid rgba(42,130,218,40); spacing: 4px; "
        "padding: 4px 8px; }QToolBar::separator { width: 1px; background: rgba(42,130,218,40); margin: 4px 6px; }"));

    auto *viewLabel = new QLabel(QStringLiteral("视图："), toolbar);
    viewLabel->setStyleSheet(QStringLiteral("color: #6a6a8a; font-size: 12px; background: transparent;"));
    toolbar->addWidget(viewLabel);

    viewModeCombo = new QComboBox(toolbar);
    viewModeCombo->addItems({QStringLiteral("波形"), QStringLiteral("频谱"), QStringLiteral("两者")});
    viewModeCombo->setStyleSheet(QStringLiteral(
        "QComboBox { background-color: #25253a; color: #c0c0d0; border: 1px solid #3a3a50; border-radius: 4px; "
        "padding: 2px 8px; font-size: 12px; }QComboBox:hover { border-color: #2a82da; }QComboBox::drop-down { "
        "border: none; width: 16px; }QComboBox::down-arrow { border-left: 3px solid transparent; border-right: "
        "3px solid transparent; border-top: 5px solid #8888aa; width: 8px; height: 8px; }QComboBox "
        "QAbstractItemView { background-color: #25253a; border: 1px solid #3a3a50; selection-background-color: "
        "#2a82da; selection-color: #ffffff; outline: none; }"));
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
        button->setStyleSheet(index == 0 ? kActiveToolStyle : kInactiveToolStyle);
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
    eraseStrengthSlider->setStyleSheet(QStringLiteral(
        "QSlider::groove:horizontal { background: #2a2a3a; height: 4px; border-radius: 2px; }QSlider::handle:"
        "horizontal { background: #00f2ff; width: 12px; height: 12px; margin: -4px 0; border-radius: 6px; }QSlider::"
        "sub-page:horizontal { background: qlineargradient(x1:0,y1:0,x2:1,y2:0, stop:0 #2a82da, stop:1 #00f2ff); "
        "border-radius: 2px; }"));
    eraseStrengthLabel = new QLabel(QStringLiteral("力度:80%"), toolbar);
    eraseStrengthLabel->setObjectName(QStringLiteral("EraseStrengthLabel"));
    eraseStrengthLabel->setFixedWidth(60);
    eraseStrengthLabel->setStyleSheet(QStringLiteral("color: #00f2ff; font-size: 11px; background: transparent;"));
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

    // The effect dialogs are not part of the page yet: their buttons stay greyed out
    // rather than offering an effect that would do nothing.
    struct EffectSpec
    {
        const char *text;
        int width;
    };
    const EffectSpec effects[] = {{"增益", 60},     {"中置提取", 72}, {"降噪", 60},     {"混响", 60},
                                  {"延迟", 60},     {"速度检测", 72}, {"音高修正", 72}, {"声道转换", 72},
                                  {"压缩器", 60},   {"均衡器", 60},   {"激励器", 60},   {"宽度", 52}};
    for (const EffectSpec &effect : effects) {
        auto *button = new QPushButton(QString::fromUtf8(effect.text), toolbar);
        button->setFixedSize(effect.width, 28);
        button->setStyleSheet(QStringLiteral("background: #252538; color: #aaaacc; border: 1px solid #3a3a50; "
                                             "border-radius: 4px; font-size: 11px; padding: 2px 8px;"));
        button->setEnabled(false);
        toolbar->addWidget(button);
    }
    toolbar->addSeparator();

    castButton = new QPushButton(QStringLiteral("音频流转"), toolbar);
    castButton->setFixedSize(72, 28);
    castButton->setCheckable(true);
    castButton->setToolTip(QStringLiteral("将音频流转到远程设备"));
    castButton->setStyleSheet(kCastIdleStyle);
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
    spectrum1->setDisplayMode(SpectrumAnalyzerWidget::SpectrogramOnly);
    connect(spectrum1, &SpectrumAnalyzerWidget::audioDataChanged, this, [this] { onSpectralErase(spectrum1); });
    connect(spectrum1, &SpectrumAnalyzerWidget::playheadRequested, this, followPlayhead);

    auto *bothPage = new QWidget(this);
    auto *bothLayout = new QVBoxLayout(bothPage);
    bothLayout->setContentsMargins(0, 0, 0, 0);
    bothLayout->setSpacing(2);
    waveform2 = new WaveformWidget(bothPage);
    spectrum2 = new SpectrumAnalyzerWidget(bothPage);
    spectrum2->setDisplayMode(SpectrumAnalyzerWidget::SpectrogramOnly);
    connect(spectrum2, &SpectrumAnalyzerWidget::audioDataChanged, this, [this] { onSpectralErase(spectrum2); });
    connect(spectrum2, &SpectrumAnalyzerWidget::playheadRequested, this, followPlayhead);
    bothLayout->addWidget(waveform2, 1);
    bothLayout->addWidget(spectrum2, 1);

    viewStack = new QStackedWidget(this);
    viewStack->setStyleSheet(QStringLiteral("QStackedWidget { background-color: #0d0d1a; }"));
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
    panel->setStyleSheet(QStringLiteral(
        "QWidget#MeterPanel { background-color: #141420; border-left: 1px solid rgba(42,130,218,40); }"));
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
        bar->setStyleSheet(QStringLiteral(
            "QProgressBar { background-color: #111111; border: 1px solid #333333; border-radius: 2px; margin: 0px; "
            "padding: 0px; }QProgressBar::chunk { margin: 0px; border-radius: 2px; }"));
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
    transport->setStyleSheet(QStringLiteral("QFrame#TransportFrame { background-color: #1a1a28; border-top: 1px "
                                            "solid rgba(42,130,218,40); border-radius: 8px; }"));
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
                             QStringLiteral("border-radius: 6px 0 0 6px; border-right: none; padding: 0; min-height: 0;"),
                             &AudioEditorPage::onRewindClicked);
    playButton = addButton(QStringLiteral("播放"), QStringLiteral("TransportPlayButton"), {},
                           &AudioEditorPage::onPlayPauseClicked);
    fastForwardButton = addButton(QStringLiteral("快进"), QStringLiteral("TransportButton"), {},
                                  &AudioEditorPage::onFastForwardClicked);
    stopButton = addButton(QStringLiteral("停止"), QStringLiteral("TransportStopButton"), {},
                           &AudioEditorPage::onStopClicked);
    recordButton = addButton(QStringLiteral("录制"), QStringLiteral("TransportRecordButton"),
                             QStringLiteral("border-radius: 0 6px 6px 0; padding: 0; min-height: 0;"),
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
    const bool dark = ThemeManager::instance()->theme == 1;
    const auto pick = [dark](const char *darkValue, const char *lightValue) {
        return QString::fromLatin1(dark ? darkValue : lightValue);
    };
    setStyleSheet(QStringLiteral("QWidget#AudioEditorPage { background-color: %1; }").arg(pick("#0d0d1a", "#f0f0f0")));
    const QString line = pick("rgba(42,130,218,40)", "#d0d0d0");
    if (toolbar)
        toolbar->setStyleSheet(QStringLiteral("QToolBar { background-color: %1; border-bottom: 1px solid %2; "
                                              "spacing: 4px; padding: 4px 8px; }QToolBar::separator { width: 1px; "
                                              "background: %2; margin: 4px 6px; }")
                                   .arg(pick("#1a1a28", "#e8e8e8"), line));
    if (viewStack)
        viewStack->setStyleSheet(
            QStringLiteral("QStackedWidget { background-color: %1; }").arg(pick("#0d0d1a", "#f0f0f0")));
    if (bottomControls)
        bottomControls->setStyleSheet(
            QStringLiteral("QFrame#BottomControls { background-color: %1; border-top: 1px solid %2; }")
                .arg(pick("#1c1c28", "#e0e0e0"), line));
    if (statusBar)
        statusBar->setStyleSheet(QStringLiteral("QStatusBar { background-color: %1; color: %2; border-top: 1px "
                                                "solid %3; font-size: 11px; }QStatusBar::item { border: none; }")
                                     .arg(pick("#0d0d1a", "#f0f0f0"), pick("#6a6a8a", "#888888"), line));
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
        view->setToolMode(erase ? SpectrumAnalyzerWidget::EraseTool : SpectrumAnalyzerWidget::SelectTool);
}

void AudioEditorPage::updateToolButtonStyles(int index)
{
    for (int k = 0; k < toolButtons.size(); ++k) {
        toolButtons[k]->setStyleSheet(k == index ? kActiveToolStyle : kInactiveToolStyle);
        toolButtons[k]->setChecked(k == index);
    }
}

void AudioEditorPage::onTogglePcmCast()
{
    if (castButton->isChecked()) {
        castButton->setStyleSheet(kCastActiveStyle);
        castButton->setText(QStringLiteral("流转中"));
        showStatus(QStringLiteral("请选择流转设备..."));
    } else {
        castButton->setStyleSheet(kCastIdleStyle);
        castButton->setText(QStringLiteral("音频流转"));
        showStatus(QStringLiteral("音频流转已关闭"));
    }
}
