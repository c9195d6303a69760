// SPDX-License-Identifier: GPL-3.0-or-later
// Single-track editor page: layout, views, tools, edits, transport, recording and meters.
#include "editor/AudioEditorPage.h"

#include "analysis/SpectrumAnalyzerWidget.h"
#include "editor/LoadingOverlay.h"
#include "editor/MeterLevel.h"
#include "editor/PermissionManager.h"
#include "editor/ThemeManager.h"
#include "editor/WaveformWidget.h"
#include "engine/AudioEngine.h"
#include "project/UndoCommands.h"
#include "video/VideoPlayerDialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

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
const QString kRecordLabel = QStringLiteral("插入录音");
constexpr int kBlockFrames = 512;

double clampZoom(double zoom)
{
    return std::clamp(zoom, 1.0, 512.0);
}

// Sample index of a time, limited to the list.
int frameAt(double seconds, int sampleRate, qsizetype size)
{
    const double frame = std::floor(double(sampleRate) * seconds);
    if (!(frame > 0.0))
        return 0;
    return frame >= double(size) ? int(size) : int(frame);
}
} // namespace

AudioEditorPage::AudioEditorPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("AudioEditorPage"));
    setFocusPolicy(Qt::StrongFocus);
    undoStack = new QUndoStack(this);
    playbackTimer = new QTimer(this);
    playbackTimer->setInterval(50);
    connect(playbackTimer, &QTimer::timeout, this, &AudioEditorPage::onPlaybackTimer);
    setupUi();
}

AudioEditorPage::~AudioEditorPage()
{
    if (audioEngine) {
        audioEngine->stopPlayback();
        audioEngine->stopRecording();
        audioEngine->shutdown();
        audioEngine.reset();
    }
}

// ---------------------------------------------------------------- layout

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

void AudioEditorPage::showStatus(const QString &text)
{
    statusBar->showMessage(text);
}

// ---------------------------------------------------------------- views, zoom and tools

void AudioEditorPage::applyZoomToVisibleViews()
{
    if (!viewStack) {
        waveform1->setZoomLevel(zoomLevel);
        return;
    }
    switch (viewStack->currentIndex()) {
    case 0:
        waveform1->setZoomLevel(zoomLevel);
        break;
    case 1:
        spectrum1->setZoomLevel(zoomLevel);
        break;
    default:
        waveform2->setZoomLevel(zoomLevel);
        spectrum2->setZoomLevel(zoomLevel);
        break;
    }
}

void AudioEditorPage::onViewTabChanged(int index)
{
    viewStack->setCurrentIndex(index);
    zoomLevel = clampZoom(zoomLevel);
    applyZoomToVisibleViews();
}

void AudioEditorPage::onZoomIn()
{
    applyZoom(zoomLevel * 1.5);
}

void AudioEditorPage::onZoomOut()
{
    applyZoom(zoomLevel / 1.5);
}

void AudioEditorPage::onZoomFit()
{
    applyZoom(1.0);
}

void AudioEditorPage::applyZoom(double zoom)
{
    zoomLevel = clampZoom(zoom);
    applyZoomToVisibleViews();
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

void AudioEditorPage::onGainSliderChanged(int)
{
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

void AudioEditorPage::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Z && (event->modifiers() & Qt::ControlModifier)) {
        // The open recording macro makes the stack refuse anyway; skip its warning.
        if (!isRecording) {
            if (event->modifiers() & Qt::ShiftModifier)
                undoStack->redo();
            else
                undoStack->undo();
            syncWaveforms();
        }
        event->accept();
    } else if (key == Qt::Key_E) {
        const int tool = currentTool == 2 ? 0 : 2;
        onToolChanged(tool);
        updateToolButtonStyles(tool);
        event->accept();
    } else if (key == Qt::Key_Space) {
        onPlayPauseClicked();
        event->accept();
    } else if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        deleteSelection();
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

// ---------------------------------------------------------------- document

bool AudioEditorPage::loadAudioSamples(const QList<float> &list, int rate)
{
    if (isRecording) {
        showStatus(QStringLiteral("错误：录音中，无法载入音频"));
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    samples = list;
    sampleRate = rate;
    stereoSamples.clear();
    undoStack->clear();
    qDebug() << "[Import] copy samples:" << timer.elapsed() << "ms, count:" << samples.size();
    timer.restart();
    syncWaveforms();
    qDebug() << "[Import] syncWaveforms:" << timer.elapsed() << "ms";
    return true;
}

bool AudioEditorPage::loadStereoAudioSamples(const QList<float> &interleaved, int rate)
{
    if (isRecording) {
        showStatus(QStringLiteral("错误：录音中，无法载入音频"));
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    stereoSamples = interleaved;
    sampleRate = rate;
    const qsizetype frames = interleaved.size() / 2;
    samples.resize(frames);
    const float *source = interleaved.constData();
    float *target = samples.data();
    for (qsizetype i = 0; i < frames; ++i)
        target[i] = (source[2 * i] + source[2 * i + 1]) * 0.5f;
    undoStack->clear();
    qDebug() << "[Import] stereo samples:" << timer.elapsed() << "ms, frames:" << frames;
    timer.restart();
    syncWaveforms();
    qDebug() << "[Import] syncWaveforms:" << timer.elapsed() << "ms";
    return true;
}

void AudioEditorPage::syncWaveforms()
{
    QElapsedTimer timer;
    const auto hand = [&](auto *view, const char *label) {
        if (!view)
            return;
        timer.start();
        view->setAudioData(samples, sampleRate, stereoSamples);
        qDebug().noquote() << QStringLiteral("[Import]   %1 setAudioData:").arg(QLatin1String(label))
                           << timer.elapsed() << "ms";
    };
    hand(waveform1, "waveform1");
    hand(waveform2, "waveform2");
    hand(spectrum1, "spectrum1");
    hand(spectrum2, "spectrum2");
}

void AudioEditorPage::setPlayheadAll(double seconds)
{
    if (waveform1)
        waveform1->setPlayheadPosition(seconds);
    if (waveform2)
        waveform2->setPlayheadPosition(seconds);
    if (spectrum1)
        spectrum1->setPlayheadPosition(seconds);
    if (spectrum2)
        spectrum2->setPlayheadPosition(seconds);
    if (videoPlayerDialog)
        videoPlayerDialog->syncPosition(seconds);
}

void AudioEditorPage::updateTimeLabel()
{
    if (!timeLabel)
        return;
    double seconds;
    if (audioEngine && audioEngine->isPlaying())
        seconds = double(audioEngine->position()) / sampleRate;
    else if (isRecording)
        seconds = recordedSeconds;
    else
        seconds = waveform1->getPlayheadPosition();
    const qint64 ms = qint64(seconds * 1000.0);
    const auto two = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    timeLabel->setText(QStringLiteral("%1:%2:%3.%4")
                           .arg(two(ms / 3600000), two((ms % 3600000) / 60000), two((ms % 60000) / 1000))
                           .arg(ms % 1000, 3, 10, QLatin1Char('0')));
}

void AudioEditorPage::deleteSelection()
{
    if (isRecording || isPlaying || !waveform1->hasSelection() || samples.isEmpty())
        return;
    const double lo = std::min(waveform1->getSelectionStart(), waveform1->getSelectionEnd());
    const double hi = std::max(waveform1->getSelectionStart(), waveform1->getSelectionEnd());
    const int end = frameAt(hi, sampleRate, samples.size());
    if (end <= 0)
        return;
    const int start = frameAt(lo, sampleRate, samples.size());
    if (start >= end)
        return;

    const QString label = QStringLiteral("删除选区");
    // Both lists lose the same frames in one step, so what plays is what is shown and exported.
    undoStack->beginMacro(label);
    undoStack->push(new DeleteSelectionCommand(&samples, start, end, label));
    if (!stereoSamples.isEmpty()) {
        const int stereoEnd = int(std::min<qsizetype>(2 * qsizetype(end), stereoSamples.size() & ~qsizetype(1)));
        undoStack->push(new DeleteSelectionCommand(&stereoSamples, 2 * start, stereoEnd, label));
    }
    undoStack->endMacro();

    syncWaveforms();
    waveform1->clearSelection();
    waveform2->clearSelection();
    showStatus(QStringLiteral("已删除选区 (%1 - %2 秒)").arg(lo, 0, 'f', 2).arg(hi, 0, 'f', 2));
}

void AudioEditorPage::onSpectralErase(SpectrumAnalyzerWidget *source)
{
    SpectrumAnalyzerWidget *other = source == spectrum1 ? spectrum2 : spectrum1;
    if (isRecording) {
        // The take is being spliced into the current list: put the view back instead.
        source->setAudioData(samples, sampleRate, stereoSamples);
        showStatus(QStringLiteral("错误：录音中，无法编辑"));
        return;
    }
    const QList<float> erased = source->audioData();
    const QList<float> oldMono = samples;
    const QList<float> oldStereo = stereoSamples;

    // Each frame's change reaches both channels, which keeps the mean equal to the new mono list.
    QList<float> newStereo = stereoSamples;
    if (!newStereo.isEmpty()) {
        if (erased.size() == oldMono.size() && newStereo.size() / 2 == oldMono.size()) {
            float *pairs = newStereo.data();
            for (qsizetype i = 0; i < erased.size(); ++i) {
                const float change = erased[i] - oldMono[i];
                if (change != 0.0f) {
                    pairs[2 * i] += change;
                    pairs[2 * i + 1] += change;
                }
            }
        } else {
            newStereo.resize(2 * erased.size());
            for (qsizetype i = 0; i < erased.size(); ++i)
                newStereo[2 * i] = newStereo[2 * i + 1] = erased[i];
        }
    }
    samples = erased;
    stereoSamples = newStereo;
    undoStack->push(new SamplesReplaceCommand(&samples, &stereoSamples, oldMono, oldStereo, samples, stereoSamples,
                                              QStringLiteral("频谱擦除")));
    waveform1->setAudioData(samples, sampleRate, stereoSamples);
    waveform2->setAudioData(samples, sampleRate, stereoSamples);
    other->setAudioData(samples, sampleRate, stereoSamples);
    showStatus(QStringLiteral("频谱擦除完成"));
}

void AudioEditorPage::showLoading(const QString &message)
{
    if (!loadingOverlay)
        return;
    loadingOverlay->setGeometry(rect());
    loadingOverlay->show(message);
    QCoreApplication::processEvents();
}

void AudioEditorPage::hideLoading()
{
    if (loadingOverlay)
        loadingOverlay->hide();
}

void AudioEditorPage::setVideoPlayerDialog(VideoPlayerDialog *dialog)
{
    disconnect(videoDestroyedConnection);
    videoPlayerDialog = dialog;
    if (dialog)
        videoDestroyedConnection =
            connect(dialog, &QObject::destroyed, this, [this] { videoPlayerDialog = nullptr; });
}

// ---------------------------------------------------------------- transport

bool AudioEditorPage::createEngine()
{
    auto engine = std::make_unique<AudioEngine>();
    if (!engine->initialize(sampleRate, kBlockFrames)) {
        showStatus(QStringLiteral("错误：无法初始化音频引擎"));
        return false;
    }
    audioEngine = std::move(engine);
    return true;
}

void AudioEditorPage::destroyEngine()
{
    if (!audioEngine)
        return;
    audioEngine->stopPlayback();
    audioEngine->shutdown();
    audioEngine.reset();
}

void AudioEditorPage::onPlayPauseClicked()
{
    if (isRecording)
        return;
    if (audioEngine && audioEngine->isPlaying()) {
        audioEngine->pausePlayback();
        playbackTimer->stop();
        isPlaying = false;
        playButton->setText(QStringLiteral(">"));
        showStatus(QStringLiteral("已暂停"));
        if (videoPlayerDialog)
            videoPlayerDialog->syncPause();
        return;
    }
    if (samples.isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return;
    }
    // An engine keeps the rate it was opened at; a clip at another rate needs a new one.
    if (audioEngine && audioEngine->sampleRate() != sampleRate)
        destroyEngine();
    if (!audioEngine && !createEngine())
        return;
    startPlayback();
}

void AudioEditorPage::startPlayback()
{
    const int startSample = frameAt(waveform1->getPlayheadPosition(), sampleRate, samples.size());
    qDebug() << "[Playback] sampleRate:" << sampleRate << "totalSamples:" << samples.size()
             << "startSample:" << startSample << "duration(s):" << double(samples.size()) / sampleRate;

    // The engine lets go of the old snapshot before it is replaced.
    audioEngine->stopPlayback();
    playbackSamples = samples;
    playbackLevel.store(0);
    audioEngine->setPlaybackProcessCallback([this](float *block, int count) {
        if (block && count > 0)
            playbackLevel.store(meterLevel({block, std::size_t(count)}), std::memory_order_relaxed);
    });
    if (!audioEngine->startPlayback(playbackSamples.constData(), int(playbackSamples.size()), sampleRate,
                                    startSample)) {
        showStatus(QStringLiteral("错误：无法打开音频输出设备"));
        return;
    }
    playbackTimer->start();
    playButton->setText(QStringLiteral("||"));
    isPlaying = true;
    showStatus(QStringLiteral("播放中..."));
    if (videoPlayerDialog)
        videoPlayerDialog->syncPlay();
}

void AudioEditorPage::onPlaybackTimer()
{
    if (audioEngine && audioEngine->isPlaying()) {
        setPlayheadAll(double(audioEngine->position()) / sampleRate);
        updateTimeLabel();
        const int level = playbackLevel.load(std::memory_order_relaxed);
        setMeters(level, level);
        return;
    }
    endPlayState(QStringLiteral("播放完成"));
}

void AudioEditorPage::endPlayState(const QString &status)
{
    playbackTimer->stop();
    isPlaying = false;
    playButton->setText(QStringLiteral(">"));
    setMeters(0, 0);
    showStatus(status);
}

void AudioEditorPage::stopPlayback()
{
    if (audioEngine)
        audioEngine->stopPlayback();
    playbackTimer->stop();
    isPlaying = false;
    playButton->setText(QStringLiteral(">"));
    setPlayheadAll(0.0);
    updateTimeLabel();
    setMeters(0, 0);
    if (videoPlayerDialog) {
        videoPlayerDialog->syncPause();
        videoPlayerDialog->syncPosition(0.0);
    }
}

void AudioEditorPage::onStopClicked()
{
    stopPlayback();
    showStatus(QStringLiteral("已停止"));
}

void AudioEditorPage::onRewindClicked()
{
    setPlayheadAll(waveform1->hasSelection() ? waveform1->getSelectionStart() : 0.0);
    updateTimeLabel();
    showStatus(QStringLiteral("快退"));
}

void AudioEditorPage::onFastForwardClicked()
{
    if (waveform1->hasSelection())
        setPlayheadAll(waveform1->getSelectionEnd());
    else if (sampleRate > 0 && !samples.isEmpty())
        setPlayheadAll(double(samples.size()) / sampleRate);
    updateTimeLabel();
    showStatus(QStringLiteral("快进"));
}

void AudioEditorPage::setMeters(int left, int right)
{
    leftMeter->setValue(left);
    rightMeter->setValue(right);
}

void AudioEditorPage::updateMeters(const float *data, int count, bool interleavedStereo)
{
    if (!data || count < 1)
        return;
    const std::span<const float> block(data, std::size_t(count));
    if (interleavedStereo && count > 1)
        setMeters(meterLevel(block, 0, 2), meterLevel(block, 1, 2));
    else
        setMeters(meterLevel(block), meterLevel(block));
}

// ---------------------------------------------------------------- recording

bool AudioEditorPage::checkMicrophonePermission()
{
    return PermissionManager::getInstance().checkMicrophonePermission();
}

void AudioEditorPage::requestMicrophonePermission(std::function<void(bool)> callback)
{
    PermissionManager::getInstance().requestMicrophonePermission(std::move(callback));
}

void AudioEditorPage::onRecordClicked()
{
    if (isRecording) {
        stopRecording();
        return;
    }
    if (checkMicrophonePermission()) {
        startRecording();
        return;
    }
    QMessageBox::warning(this, QStringLiteral("权限申请"),
                         QStringLiteral("录音需要麦克风权限。\n\n请点击确定后，在系统弹出的权限申请对话框中授予权限。"));
    requestMicrophonePermission([this](bool granted) {
        if (granted) {
            startRecording();
            return;
        }
        showStatus(QStringLiteral("麦克风权限被拒绝，无法录音"));
        QMessageBox::information(this, QStringLiteral("权限被拒绝"),
                                 QStringLiteral("麦克风权限被拒绝。\n\n请到系统设置中手动授予权限：\n设置 > 隐私与安全 > "
                                                "麦克风 > ZentriqStudio"));
    });
}

void AudioEditorPage::startRecording()
{
    destroyEngine();
    // Playback ended with its engine; close the play state now rather than on a later tick.
    playbackTimer->stop();
    isPlaying = false;
    playButton->setText(QStringLiteral(">"));

    auto engine = std::make_unique<AudioEngine>();
    if (!engine->initialize(sampleRate, kBlockFrames)) {
        showStatus(QStringLiteral("错误：无法初始化音频引擎"));
        return;
    }
    recordInsertStart = frameAt(waveform1->getPlayheadPosition(), sampleRate, samples.size());
    recordPosition = recordInsertStart;
    recordStartSize = int(samples.size());
    preRecordSamples = samples;
    preRecordStereo = stereoSamples;
    recordTake.clear();
    takeSpliced = 0;
    recordedSeconds = 0;
    {
        QMutexLocker lock(&pendingRecordMutex);
        pendingRecordBlocks.clear();
    }

    engine->setRecordCallback([this](const float *input, int frames) {
        if (!input || frames <= 0)
            return;
        QList<float> block(input, input + frames);
        {
            QMutexLocker lock(&pendingRecordMutex);
            pendingRecordBlocks.push_back(std::move(block));
        }
        if (!recordDrainQueued.exchange(true))
            QMetaObject::invokeMethod(this, &AudioEditorPage::drainRecordBlocks, Qt::QueuedConnection);
    });
    if (!engine->startRecording()) {
        engine.reset();
        preRecordSamples.clear();
        preRecordStereo.clear();
        showStatus(QStringLiteral("错误：无法开始录音"));
        return;
    }
    audioEngine = std::move(engine);

    recordTimer = new QTimer(this);
    connect(recordTimer, &QTimer::timeout, this, [this] {
        ++recordedSeconds;
        updateTimeLabel();
    });
    recordTimer->start(1000);

    // Holds undo and redo off until the take is in place; closed by stopRecording.
    undoStack->beginMacro(kRecordLabel);
    isRecording = true;
    recordButton->setText(QStringLiteral("停止"));
    recordButton->setStyleSheet(QStringLiteral("background-color: #ff0055; color: white;"));
    showStatus(QStringLiteral("录音中..."));
}

void AudioEditorPage::drainRecordBlocks()
{
    recordDrainQueued.store(false);
    std::deque<QList<float>> blocks;
    {
        QMutexLocker lock(&pendingRecordMutex);
        blocks.swap(pendingRecordBlocks);
    }
    if (!isRecording)
        return;
    const int refreshFrames = sampleRate / 10;
    for (const QList<float> &block : blocks) {
        const int count = int(block.size());
        recordTake.append(block);
        recordPosition = recordInsertStart + int(recordTake.size());
        updateMeters(block.constData(), count, false);
        spectrum1->processAudioFrame(block.constData(), count);
        spectrum2->processAudioFrame(block.constData(), count);
        if (refreshFrames > 0 && (recordStartSize + int(recordTake.size())) % refreshFrames < count) {
            spliceTake();
            syncWaveforms();
        }
    }
}

void AudioEditorPage::spliceTake()
{
    const qsizetype fresh = recordTake.size() - takeSpliced;
    if (fresh <= 0)
        return;
    const float *take = recordTake.constData() + takeSpliced;
    const qsizetype at = std::clamp<qsizetype>(recordInsertStart + takeSpliced, 0, samples.size());
    samples.insert(at, fresh, 0.0f);
    std::copy(take, take + fresh, samples.begin() + at);
    if (!stereoSamples.isEmpty()) {
        const qsizetype stereoAt = std::min(2 * at, stereoSamples.size() & ~qsizetype(1));
        stereoSamples.insert(stereoAt, 2 * fresh, 0.0f);
        float *pairs = stereoSamples.data() + stereoAt;
        for (qsizetype i = 0; i < fresh; ++i)
            pairs[2 * i] = pairs[2 * i + 1] = take[i];
    }
    takeSpliced = int(recordTake.size());
}

void AudioEditorPage::stopRecording()
{
    if (audioEngine) {
        if (audioEngine->sampleRate() != sampleRate)
            sampleRate = audioEngine->sampleRate();
        audioEngine->stopRecording();
        audioEngine->shutdown();
        audioEngine.reset();
    }
    drainRecordBlocks();
    spliceTake();
    if (recordTimer) {
        recordTimer->stop();
        recordTimer->deleteLater();
        recordTimer = nullptr;
    }
    isRecording = false;
    recordButton->setText(QStringLiteral("录制"));
    recordButton->setStyleSheet(QString());

    const int inserted = int(recordTake.size());
    recordTake.clear();
    takeSpliced = 0;
    if (inserted < 1) {
        undoStack->endMacro();
        // Nothing was captured: take the empty step off the stack again.
        if (undoStack->index() > 0) {
            auto *empty = const_cast<QUndoCommand *>(undoStack->command(undoStack->index() - 1));
            if (empty->childCount() == 0 && empty->text() == kRecordLabel) {
                empty->setObsolete(true);
                undoStack->undo();
            }
        }
        preRecordSamples.clear();
        preRecordStereo.clear();
        showStatus(QStringLiteral("录音已停止"));
        return;
    }
    undoStack->push(new InsertRecordCommand(&samples, std::move(preRecordSamples), kRecordLabel));
    if (!stereoSamples.isEmpty())
        undoStack->push(new InsertRecordCommand(&stereoSamples, std::move(preRecordStereo), kRecordLabel));
    undoStack->endMacro();
    preRecordSamples.clear();
    preRecordStereo.clear();

    syncWaveforms();
    setPlayheadAll(double(recordPosition) / sampleRate);
    showStatus(QStringLiteral("录音完成，共 %1 秒，已插入 %2 个样本").arg(recordedSeconds).arg(inserted));
}
