// SPDX-License-Identifier: GPL-3.0-or-later
// The one top-level window: the page stack (start page, single-track editor, multitrack
// editor, mixer), the menus and their routing, the project file flows, the busy overlay,
// the status bar with its clock label, window settings, the About box and the update check.
#include "MainWindow.h"

#include "PluginLoadCheck.h"
#include "UpdateChecker.h"
#include "UpdateDialog.h"
#include "UpdateNetwork.h"
#include "WelcomePage.h"
#include "WindowPlacement.h"
#include "document/ProjectDocument.h"
#include "editor/AudioEditorPage.h"
#include "multitrack/MixerPage.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "ui/LoadingOverlay.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QUndoStack>

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kStateKey = QStringLiteral("window/state");

// The licence notice: every third-party component the program links, builds against or
// ships, with the licence under which it uses it (Debian's builds of the libraries), and
// nothing else.
const char *const kComponents =
    "<hr><h3>开源组件</h3>"
    "<p><b>Qt</b> — LGPL v3</p>"
    "<p><b>FFmpeg</b> — GPL v2+</p>"
    "<p><b>VST3 SDK</b> — GPL v3</p>"
    "<p><b>RtAudio</b> — MIT License</p>"
    "<p><b>RtMidi</b> — MIT License</p>"
    "<p><b>PulseAudio</b> — LGPL v2.1+</p>"
    "<p><b>LAME</b> — LGPL v2+</p>"
    "<p><b>mpg123</b> — LGPL v2.1</p>"
    "<p><b>libFLAC</b> — BSD 3-Clause License</p>"
    "<p><b>libvorbis</b> — BSD 3-Clause License</p>"
    "<p><b>libogg</b> — BSD 3-Clause License</p>"
    "<p><b>FluidSynth</b> — LGPL v2.1+</p>"
    "<p><b>FFTW</b> — GPL v2+</p>"
    "<p><b>FluidR3_GM</b> — MIT License</p>";

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setupUi();
    createMenus();
    createStatusBar();
    setupConnections();
    loadSettings();

    pluginLoadCheck = new PluginLoadCheck(this);
    connect(pluginLoadCheck, &PluginLoadCheck::finished, this, &MainWindow::finishVst3Import);

    updateChecker = new UpdateChecker(this);
    updateChecker->setUpdateUrl(updateManifestUrl());
    // Queued: the dialog's event loop runs once the checker has finished with its reply and a
    // manual check has ended.
    connect(updateChecker, &UpdateChecker::updateAvailable, this, &MainWindow::onAutoUpdateAvailable,
            Qt::QueuedConnection);
    QTimer::singleShot(3000, Qt::CoarseTimer, this, &MainWindow::onAutoUpdateCheck);

    multiTrackPage->scanAndLoadExistingSf2();
    setWindowTitle(tr("ZentriqStudio"));

    // The restored geometry gives way to the preferred size; only the window state survives
    // a restart. move() places the frame, so the title bar starts inside the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect placement = fitWindowToScreen(QSize(1920, 1080), screen->availableGeometry());
        resize(placement.size());
        move(placement.topLeft());
    }

    statusTimer = new QTimer(this);
    connect(statusTimer, &QTimer::timeout, this, &MainWindow::updateStatusBar);
    statusTimer->start(1000);
    updateStatusBar();
}

MainWindow::~MainWindow()
{
    saveSettings();
    // Children go in creation order, and the demuxer came before its preview.
    endVideoPreview();
    delete mixerPage;
    delete multiTrackPage;
    delete document;
}

void MainWindow::setupUi()
{
    document = new ProjectDocument;
    pageStack = new QStackedWidget(this);
    setCentralWidget(pageStack);

    welcomePage = new WelcomePage(this);
    editorPage = new AudioEditorPage(this);
    multiTrackPage = new MultiTrackEditorPage(*document, this);
    mixerPage = new MixerPage(*document, this);
    mixerPage->setPluginBridge(multiTrackPage->bridge());

    pageStack->addWidget(welcomePage);
    pageStack->addWidget(editorPage);
    pageStack->addWidget(multiTrackPage);
    pageStack->addWidget(mixerPage);
    pageStack->setCurrentWidget(welcomePage);

    loadingOverlay = new LoadingOverlay(pageStack);
}

void MainWindow::createStatusBar()
{
    statusBar()->showMessage(tr("就绪"));
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("StatusLabel"));
    statusBar()->addPermanentWidget(statusLabel, 0);
}

void MainWindow::showLoading(const QString &message)
{
    if (!loadingOverlay)
        return;
    busy = true;
    updateActionStates();
    loadingOverlay->setGeometry(0, 0, pageStack->width(), pageStack->height());
    loadingOverlay->show(message);
    QCoreApplication::processEvents();
}

void MainWindow::hideLoading()
{
    if (loadingOverlay)
        loadingOverlay->hide();
    busy = false;
    updateActionStates();
}

void MainWindow::updateStatusBar()
{
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss"));
    if (!projectOpen) {
        statusLabel->setText(tr("未打开项目 | %1").arg(time));
        return;
    }
    const QString name = projectPath.isEmpty() ? tr("未命名") : QFileInfo(projectPath).baseName();
    const QString type = projectType == QLatin1String("single") ? tr("单轨") : tr("多轨");
    // One multi-argument fill: filled one by one, a "%2" in the project name would be
    // taken for a placeholder.
    statusLabel->setText(tr("项目: %1 | 类型: %2 | %3").arg(name, type, time));
}

void MainWindow::showPreferences()
{
    QMessageBox::information(this, tr("偏好设置"), tr("偏好设置对话框将在后续版本中实现。"), QMessageBox::Ok);
}

void MainWindow::showAbout()
{
    QMessageBox box(this);
    box.setWindowTitle(tr("关于ZentriqStudio"));
    box.setTextFormat(Qt::RichText);
    const QString version = QStringLiteral(ZENTRIQ_VERSION);
    box.setText(QStringLiteral("<h2>ZentriqStudio</h2><p>版本 %1</p><p>专业音频编辑与处理软件</p>").arg(version)
                + QString::fromUtf8(kComponents));
    const QPixmap icon(QStringLiteral(":/app-icon.png"));
    if (!icon.isNull())
        box.setIconPixmap(icon.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    box.exec();
}

void MainWindow::checkForUpdates()
{
    if (manualCheckHandlers.isEmpty()) {
        // Whichever answer comes first ends this check, so no later one shows a second box.
        const auto endCheck = [this] {
            for (const QMetaObject::Connection &handler : std::as_const(manualCheckHandlers))
                disconnect(handler);
            manualCheckHandlers.clear();
        };
        manualCheckHandlers = {
            connect(updateChecker, &UpdateChecker::noUpdateAvailable, this,
                    [this, endCheck] {
                        endCheck();
                        QMessageBox::information(this, tr("检查更新"), tr("当前已是最新版本。"));
                    }),
            connect(updateChecker, &UpdateChecker::checkFailed, this,
                    [this, endCheck](const QString &message) {
                        endCheck();
                        QMessageBox::warning(this, tr("检查更新"), message);
                    }),
            // The dialog comes through the window's lasting connection.
            connect(updateChecker, &UpdateChecker::updateAvailable, this, endCheck),
        };
    }
    updateChecker->checkForUpdates(false);
}

void MainWindow::onAutoUpdateCheck()
{
    updateChecker->checkForUpdates(true);
}

void MainWindow::onAutoUpdateAvailable(const UpdateInfo &info)
{
    // A silent check that answers while the dialog runs its own event loop would stack a
    // second dialog on top.
    if (updateDialogOpen)
        return;
    updateDialogOpen = true;
    UpdateDialog dialog(info, this);
    dialog.exec();
    updateDialogOpen = false;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!maySetProjectAside()) {
        event->ignore();
        return;
    }
    saveSettings();
    event->accept();
}

void MainWindow::loadSettings()
{
    QSettings settings;
    setGeometry(settings.value(kGeometryKey, QRect(100, 100, 1200, 800)).toRect());
    const QByteArray state = settings.value(kStateKey).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
}

void MainWindow::saveSettings()
{
    QSettings settings;
    settings.setValue(kGeometryKey, geometry());
    settings.setValue(kStateKey, saveState());
}

void MainWindow::createMenus()
{
    const auto addAction = [this](QMenu *menu, const QString &text, const QList<QKeySequence> &keys = {},
                                  bool enabled = true) {
        auto *action = new QAction(text, this);
        action->setShortcuts(keys);
        action->setEnabled(enabled);
        menu->addAction(action);
        return action;
    };
    const auto standard = [](QKeySequence::StandardKey key) { return QKeySequence::keyBindings(key); };
    const auto fixed = [](const char *key) { return QList<QKeySequence>{QKeySequence(QLatin1String(key))}; };

    QMenu *fileMenu = menuBar()->addMenu(tr("文件(&F)"));
    newSingleAction = addAction(fileMenu, tr("新建单轨项目(&S)"), standard(QKeySequence::New));
    newMultiAction = addAction(fileMenu, tr("新建多轨项目(&M)"), fixed("Ctrl+Shift+N"));
    fileMenu->addSeparator();
    openAction = addAction(fileMenu, tr("打开项目(&O)..."), standard(QKeySequence::Open));
    saveAction = addAction(fileMenu, tr("保存项目(&S)"), standard(QKeySequence::Save), false);
    saveAsAction = addAction(fileMenu, tr("项目另存为(&A)..."), standard(QKeySequence::SaveAs), false);
    fileMenu->addSeparator();
    importMediaAction = addAction(fileMenu, tr("导入音频/视频(&I)..."), {}, false);
    importMidiAction = addAction(fileMenu, tr("导入MIDI(&M)..."), {}, false);
    exportWavAction = addAction(fileMenu, tr("导出为WAV(&W)..."), {}, false);
    exportMp3Action = addAction(fileMenu, tr("导出为MP3(&M)..."), {}, false);
    exportFlacAction = addAction(fileMenu, tr("导出为FLAC(&F)..."), {}, false);
    fileMenu->addSeparator();
    quitAction = addAction(fileMenu, tr("退出(&X)"), standard(QKeySequence::Quit));

    QMenu *editMenu = menuBar()->addMenu(tr("编辑(&E)"));
    undoAction = addAction(editMenu, tr("撤销(&U)"), standard(QKeySequence::Undo), false);
    redoAction = addAction(editMenu, tr("重做(&R)"), standard(QKeySequence::Redo), false);
    editMenu->addSeparator();
    // Clipboard editing has no implementation: shown, never enabled.
    addAction(editMenu, tr("剪切(&T)"), standard(QKeySequence::Cut), false);
    addAction(editMenu, tr("复制(&C)"), standard(QKeySequence::Copy), false);
    addAction(editMenu, tr("粘贴(&P)"), standard(QKeySequence::Paste), false);

    QMenu *viewMenu = menuBar()->addMenu(tr("视图(&V)"));
    zoomInAction = addAction(viewMenu, tr("放大(&I)"), standard(QKeySequence::ZoomIn));
    zoomOutAction = addAction(viewMenu, tr("缩小(&O)"), standard(QKeySequence::ZoomOut));
    viewMenu->addSeparator();
    mixerAction = addAction(viewMenu, tr("调音台(&M)"), fixed("Ctrl+Shift+M"), false);

    QMenu *effectsMenu = menuBar()->addMenu(tr("效果(&E)"));
    gainAction = addAction(effectsMenu, tr("增益(&G)"), fixed("Ctrl+G"), false);
    centerExtractAction = addAction(effectsMenu, tr("中置声道提取(&C)"), fixed("Ctrl+Shift+C"), false);
    // No shortcut: Ctrl+Shift+N belongs to the new multitrack project, and a key bound to
    // two enabled actions triggers neither.
    noiseReductionAction = addAction(effectsMenu, tr("降噪(&N)"), {}, false);
    reverbAction = addAction(effectsMenu, tr("混响(&R)"), fixed("Ctrl+Shift+R"), false);
    delayAction = addAction(effectsMenu, tr("延迟(&D)"), fixed("Ctrl+Shift+D"), false);
    tempoDetectAction = addAction(effectsMenu, tr("音频速度检测(&T)"), fixed("Ctrl+T"), false);
    pitchCorrectionAction = addAction(effectsMenu, tr("音高修正(&P)"), fixed("Ctrl+Shift+P"), false);
    channelConvertAction = addAction(effectsMenu, tr("声道转换(&L)"), {}, false);
    compressorAction = addAction(effectsMenu, tr("压缩器(&C)"), {}, false);
    equalizerAction = addAction(effectsMenu, tr("均衡器(&E)"), fixed("Ctrl+Shift+E"), false);

    QMenu *toolsMenu = menuBar()->addMenu(tr("工具(&T)"));
    loadSoundFontAction = addAction(toolsMenu, tr("加载音色库(&L)..."));
    importVst3Action = addAction(toolsMenu, tr("导入VST3插件(&V)..."), {}, false);
    addAction(toolsMenu, tr("合成器(&S)"), {}, false);
    toolsMenu->addSeparator();
    midiDeviceAction = addAction(toolsMenu, tr("MIDI 设备(&M)..."));

    QMenu *helpMenu = menuBar()->addMenu(tr("帮助(&H)"));
    checkUpdatesAction = addAction(helpMenu, tr("检查更新(&U)"));
    helpMenu->addSeparator();
    aboutAction = addAction(helpMenu, tr("关于ZentriqStudio(&A)"));
    preferencesAction = addAction(helpMenu, tr("偏好设置(&P)"));
}

void MainWindow::setupConnections()
{
    connect(newSingleAction, &QAction::triggered, this, [this] { showNewProjectDialog(QStringLiteral("single")); });
    connect(newMultiAction, &QAction::triggered, this, [this] { showNewProjectDialog(QStringLiteral("multi")); });
    connect(openAction, &QAction::triggered, this, &MainWindow::importProject);
    connect(saveAction, &QAction::triggered, this, [this] { saveProject(); });
    connect(saveAsAction, &QAction::triggered, this, &MainWindow::saveProjectAs);
    connect(importMediaAction, &QAction::triggered, this, &MainWindow::importMedia);
    connect(importMidiAction, &QAction::triggered, this, &MainWindow::importMidi);
    connect(exportWavAction, &QAction::triggered, this, [this] { exportAudio(QStringLiteral("wav")); });
    connect(exportMp3Action, &QAction::triggered, this, [this] { exportAudio(QStringLiteral("mp3")); });
    connect(exportFlacAction, &QAction::triggered, this, [this] { exportAudio(QStringLiteral("flac")); });
    connect(quitAction, &QAction::triggered, this, &QWidget::close);

    connect(loadSoundFontAction, &QAction::triggered, this, &MainWindow::loadSoundFont);
    connect(midiDeviceAction, &QAction::triggered, this, [this] {
        if (multiTrackPage)
            multiTrackPage->showMidiDeviceDialog();
    });
    connect(importVst3Action, &QAction::triggered, this, &MainWindow::importVst3);
    connect(mixerAction, &QAction::triggered, this, &MainWindow::toggleMixer);

    // Mixer edits land in the track records and reach a running playback at once; an index
    // outside the list changes nothing. The headers catch up when the page shows again.
    const auto writeTrack = [this](int index, const auto &write) {
        if (index < 0 || index >= static_cast<int>(document->tracks.size()))
            return;
        write(document->tracks[static_cast<size_t>(index)]);
        document->updateEngineTrackSlot(index);
    };
    connect(mixerPage, &MixerPage::trackVolumeChanged, this,
            [writeTrack](int index, float gain) { writeTrack(index, [gain](TrackData &t) { t.volume = gain; }); });
    connect(mixerPage, &MixerPage::trackPanChanged, this,
            [writeTrack](int index, float pan) { writeTrack(index, [pan](TrackData &t) { t.pan = pan; }); });
    connect(mixerPage, &MixerPage::trackMuteChanged, this,
            [writeTrack](int index, bool muted) { writeTrack(index, [muted](TrackData &t) { t.muted = muted; }); });
    connect(mixerPage, &MixerPage::trackSoloChanged, this,
            [writeTrack](int index, bool solo) { writeTrack(index, [solo](TrackData &t) { t.solo = solo; }); });

    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    connect(preferencesAction, &QAction::triggered, this, &MainWindow::showPreferences);
    connect(checkUpdatesAction, &QAction::triggered, this, &MainWindow::checkForUpdates);

    connect(zoomInAction, &QAction::triggered, editorPage, &AudioEditorPage::onZoomIn);
    connect(zoomOutAction, &QAction::triggered, editorPage, &AudioEditorPage::onZoomOut);
    connect(undoAction, &QAction::triggered, this, [this] { routeUndo(false); });
    connect(redoAction, &QAction::triggered, this, [this] { routeUndo(true); });
    // The Effects menu always acts on the single-track editor, whichever page shows.
    const std::pair<QAction *, void (AudioEditorPage::*)()> effects[] = {
        {gainAction, &AudioEditorPage::showGainDialog},
        {centerExtractAction, &AudioEditorPage::showCenterExtractionDialog},
        {noiseReductionAction, &AudioEditorPage::showNoiseReductionDialog},
        {reverbAction, &AudioEditorPage::showReverbDialog},
        {delayAction, &AudioEditorPage::showDelayDialog},
        {tempoDetectAction, &AudioEditorPage::showTempoDetectionDialog},
        {channelConvertAction, &AudioEditorPage::showChannelConvertDialog},
        {pitchCorrectionAction, &AudioEditorPage::showPitchCorrectionDialog},
        {compressorAction, &AudioEditorPage::showCompressorDialog},
        {equalizerAction, &AudioEditorPage::showEqualizerDialog}};
    for (const auto &[action, launch] : effects)
        connect(action, &QAction::triggered, editorPage, launch);

    connect(welcomePage, &WelcomePage::createProject, this, &MainWindow::showNewProjectDialog);
    connect(welcomePage, &WelcomePage::importProject, this, &MainWindow::importProject);
}

QList<QAction *> MainWindow::projectActions() const
{
    return {saveAction,        saveAsAction,       importMediaAction,     importMidiAction,    exportWavAction,
            exportMp3Action,   exportFlacAction,   gainAction,            centerExtractAction, noiseReductionAction,
            reverbAction,      delayAction,        tempoDetectAction,     pitchCorrectionAction,
            channelConvertAction, compressorAction, equalizerAction,      undoAction,          redoAction,
            importVst3Action,  mixerAction};
}

void MainWindow::updateActionStates()
{
    menuBar()->setEnabled(!busy);
    const QList<QAction *> alwaysOn = {newSingleAction,     newMultiAction,   openAction,         quitAction,
                                       zoomInAction,        zoomOutAction,    loadSoundFontAction, midiDeviceAction,
                                       checkUpdatesAction,  aboutAction,      preferencesAction};
    for (QAction *action : alwaysOn)
        action->setEnabled(!busy);
    for (QAction *action : projectActions())
        action->setEnabled(!busy && projectOpen);
}

void MainWindow::routeUndo(bool redo)
{
    QWidget *current = pageStack->currentWidget();
    if (current == editorPage) {
        editorPage->stepHistory(redo);
    } else if (current == multiTrackPage) {
        multiTrackPage->stepHistory(redo);
    }
}

void MainWindow::toggleMixer()
{
    if (pageStack->currentWidget() == mixerPage) {
        pageStack->setCurrentWidget(multiTrackPage);
        return;
    }
    // Rebuilds the strips from the current records, header edits included.
    mixerPage->refreshFromData();
    pageStack->setCurrentWidget(mixerPage);
}
