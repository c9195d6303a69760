// SPDX-License-Identifier: GPL-3.0-or-later
// The one top-level window: the page stack (start page, single-track editor, multitrack
// editor, mixer), the busy overlay, the status bar with its clock label, window settings
// and the About box.
#include "MainWindow.h"

#include "WelcomePage.h"
#include "WindowPlacement.h"
#include "editor/AudioEditorPage.h"
#include "editor/LoadingOverlay.h"
#include "multitrack/MixerPage.h"
#include "multitrack/MultiTrackEditorPage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kStateKey = QStringLiteral("window/state");

// Components the program links or ships, with the licence under which it uses them.
const char *const kComponents =
    "<hr><h3>开源组件</h3>"
    "<p><b>Qt</b> — LGPL v3</p>"
    "<p><b>LAME</b> — LGPL v2</p>"
    "<p><b>mpg123</b> — LGPL v2.1</p>"
    "<p><b>libFLAC</b> — BSD 3-Clause License</p>"
    "<p><b>libvorbis</b> — BSD 3-Clause License</p>"
    "<p><b>FluidSynth</b> — LGPL v2.1</p>"
    "<p><b>FluidR3_GM</b> — MIT License</p>"
    "<p><b>RtAudio</b> — MIT License</p>"
    "<p><b>RtMidi</b> — MIT License</p>";

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setupUi();
    createStatusBar();
    loadSettings();
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
}

void MainWindow::setupUi()
{
    pageStack = new QStackedWidget(this);
    setCentralWidget(pageStack);

    welcomePage = new WelcomePage(this);
    editorPage = new AudioEditorPage(this);
    multiTrackPage = new MultiTrackEditorPage(this);
    mixerPage = new MixerPage(this);
    mixerPage->setTracks(&multiTrackPage->tracks);
    mixerPage->setPluginBridge(multiTrackPage->pluginBridge);

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
    loadingOverlay->setGeometry(0, 0, pageStack->width(), pageStack->height());
    loadingOverlay->show(message);
    QCoreApplication::processEvents();
}

void MainWindow::hideLoading()
{
    if (loadingOverlay)
        loadingOverlay->hide();
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

bool MainWindow::saveProject(const QString &path)
{
    Q_UNUSED(path);
    // Writing project files belongs to the project flows, which this build does not have:
    // report the failure so that closing keeps the window and its project.
    qWarning("MainWindow: project saving is not available in this build");
    return false;
}

// Placeholders until the project flows land.
void MainWindow::createNewProject() {}
void MainWindow::openNewProject(const QString &, int, int, bool) {}
void MainWindow::importProject() {}
void MainWindow::closeProject() {}
bool MainWindow::saveProjectAs() { return false; }
bool MainWindow::loadProject(const QString &) { return false; }

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

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (projectOpen) {
        const auto answer =
            QMessageBox::question(this, tr("关闭项目"), tr("当前有打开的项目，是否在关闭前保存？"),
                                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !saveProject())) {
            event->ignore();
            return;
        }
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
