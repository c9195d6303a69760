// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's project flows: the new-project dialog, starting, saving, opening and
// closing a project. A save goes through a temporary file that replaces the project only
// once complete, so a failed or interrupted save leaves the old file as it was.
#include "MainWindow.h"

#include "WelcomePage.h"
#include "document/ProjectDocument.h"
#include "editor/AudioEditorPage.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TimelineRulerWidget.h"
#include "project/ProjectData.h"
#include "project/ProjectFile.h"
#include "project/ProjectLimits.h"

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStatusBar>

namespace {

const QString kProjectSuffix = QStringLiteral("zqp");

// Why a project past the editor's limits is not opened, with what the file holds.
QString refusalText(const ProjectLoadReport &report)
{
    const QString count = QString::number(report.declared);
    switch (report.excess) {
    case ProjectLoadReport::Excess::Tracks:
        return MainWindow::tr("项目有 %1 条轨道，超过了本程序能显示的 %2 条，无法打开。")
            .arg(count, QString::number(ProjectLimits::maxTracks));
    case ProjectLoadReport::Excess::Clips:
        return MainWindow::tr("项目有 %1 个片段，超过了本程序能显示的 %2 个，无法打开。")
            .arg(count, QString::number(ProjectLimits::maxClips));
    case ProjectLoadReport::Excess::Notes:
        return MainWindow::tr("项目有 %1 个音符，超过了本程序能显示的 %2 个，无法打开。")
            .arg(count, QString::number(ProjectLimits::maxNotes));
    case ProjectLoadReport::Excess::None:
        break;
    }
    return MainWindow::tr("无法解析工程文件");
}

} // namespace

void MainWindow::showNewProjectDialog(const QString &type)
{
    QDialog dialog(this);
    dialog.setWindowTitle(tr("新建项目设置"));
    dialog.setMinimumWidth(360);
    auto *form = new QFormLayout(&dialog);
    form->setSpacing(12);
    form->setContentsMargins(24, 20, 24, 20);
    form->setLabelAlignment(Qt::AlignRight);

    auto *rateCombo = new QComboBox(&dialog);
    rateCombo->addItems({QStringLiteral("22050"), QStringLiteral("44100"), QStringLiteral("48000"),
                         QStringLiteral("96000")});
    rateCombo->setCurrentIndex(1);
    form->addRow(tr("采样率:"), rateCombo);
    auto *depthCombo = new QComboBox(&dialog);
    depthCombo->addItems({QStringLiteral("16-bit"), QStringLiteral("24-bit"), QStringLiteral("32-bit float")});
    form->addRow(tr("位深:"), depthCombo);
    auto *channelCombo = new QComboBox(&dialog);
    channelCombo->addItems({tr("立体声"), tr("单声道")});
    form->addRow(tr("声道:"), channelCombo);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *okButton = new QPushButton(tr("确定"), &dialog);
    auto *cancelButton = new QPushButton(tr("取消"), &dialog);
    for (QPushButton *button : {okButton, cancelButton}) {
        button->setFixedSize(80, 32);
        buttons->addWidget(button);
    }
    connect(okButton, &QPushButton::clicked, &dialog, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, &dialog, &QDialog::reject);
    form->addRow(QString(), buttons);

    if (dialog.exec() != QDialog::Accepted)
        return;
    const int rate = rateCombo->currentText().toInt();
    const QString depthText = depthCombo->currentText();
    const int depth = depthText.startsWith(QLatin1String("24")) ? 24 : depthText.startsWith(QLatin1String("32")) ? 32 : 16;
    const bool monoChosen = channelCombo->currentIndex() == 1;

    if (pageStack->currentWidget() == welcomePage) {
        openNewProject(type, rate, depth, monoChosen);
        return;
    }
    // An editor is showing: the new project gets a window of its own, which is gone with
    // its engines and MIDI port once the user closes it.
    auto *window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->openNewProject(type, rate, depth, monoChosen);
    window->resize(size());
    window->show();
}

void MainWindow::openNewProject(const QString &type, int sampleRate, int bitDepth, bool mono)
{
    if (!maySetProjectAside())
        return;
    projectType = type;
    document->setSampleRate(sampleRate);
    document->bitDepth = bitDepth;
    document->mono = mono;
    createNewProject();
}

void MainWindow::createNewProject()
{
    projectOpen = true;
    const int rate = document->sampleRate;
    if (projectType == QLatin1String("single")) {
        // The editor's empty clip starts at the project's rate and channel layout.
        editorPage->sampleRate = rate;
        editorPage->mono = document->mono;
        pageStack->setCurrentWidget(editorPage);
        statusBar()->showMessage(tr("已创建新单轨项目 (%1 Hz)").arg(rate), 3000);
    } else {
        pageStack->setCurrentWidget(multiTrackPage);
        statusBar()->showMessage(tr("已创建新多轨项目 (%1 Hz)").arg(rate), 3000);
    }
    updateActionStates();
    savedContent = currentContent();
}

ProjectContent MainWindow::currentContent() const
{
    if (projectType == QLatin1String("single"))
        return ProjectContent::fromSingleTrack(*editorPage, document->bitDepth, QFileInfo(projectPath).baseName());
    return ProjectContent::fromMultiTrack(*document);
}

bool MainWindow::isModified() const
{
    return projectOpen && (!savedContent || currentContent() != *savedContent);
}

bool MainWindow::maySetProjectAside()
{
    if (!isModified())
        return true;
    const auto answer = QMessageBox::question(this, tr("关闭项目"), tr("当前有打开的项目，是否在关闭前保存？"),
                                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Save)
        return saveProject();
    return answer == QMessageBox::Discard;
}

bool MainWindow::saveProject(const QString &path)
{
    if (!projectOpen)
        return false;
    const QString target = path.isEmpty() ? projectPath : path;
    if (target.isEmpty())
        return saveProjectAs();

    showLoading(tr("保存中..."));
    const QString name = QFileInfo(target).baseName();
    ProjectContent content = projectType == QLatin1String("single")
                                 ? ProjectContent::fromSingleTrack(*editorPage, document->bitDepth, name)
                                 : ProjectContent::fromMultiTrack(*document);
    QString writeFailure;
    const ProjectFile::SaveResult result =
        ProjectFile::save(target, name, content.tracks, content.settings, 0.0, 1.0, content.markers, &writeFailure);
    hideLoading();
    if (result != ProjectFile::SaveResult::Saved) {
        const QString text = result == ProjectFile::SaveResult::CannotOpen
                                 ? tr("无法写入文件: %1").arg(target)
                                 : tr("写入文件不完整: %1 (%2)").arg(target, writeFailure);
        QMessageBox::warning(this, tr("保存失败"), text, QMessageBox::Ok);
        return false;
    }
    projectPath = target;
    savedContent = std::move(content);
    statusBar()->showMessage(tr("已保存: %1").arg(QFileInfo(target).fileName()), 3000);
    return true;
}

bool MainWindow::saveProjectAs()
{
    const QString name = askSaveFileName(tr("保存项目"), tr("Zentriq项目 (*.zqp);;所有文件 (*)"), kProjectSuffix);
    return !name.isEmpty() && saveProject(name);
}

void MainWindow::importProject()
{
    if (!maySetProjectAside())
        return;
    const QString path = askOpenFileName(tr("打开Zentriq项目"), tr("Zentriq项目 (*.zqp);;所有文件 (*)"));
    if (!path.isEmpty())
        loadProject(path);
}

bool MainWindow::loadProject(const QString &path)
{
    showLoading(tr("加载中..."));
    ProjectData project;
    QString parseError;
    ProjectLoadReport report;
    const ProjectFile::LoadResult result = ProjectFile::load(path, project, &parseError, &report);
    if (result != ProjectFile::LoadResult::Loaded) {
        hideLoading();
        const QString text = result == ProjectFile::LoadResult::CannotOpen ? tr("无法读取文件: %1").arg(path)
                             : result == ProjectFile::LoadResult::NotJson  ? tr("文件格式错误: %1").arg(parseError)
                                                                           : refusalText(report);
        QMessageBox::warning(this, tr("打开失败"), text, QMessageBox::Ok);
        return false;
    }

    projectType = QStringLiteral("multi");
    projectOpen = true;
    projectPath = path;
    document->replace(project);
    pageStack->setCurrentWidget(multiTrackPage);
    updateActionStates();
    savedContent = currentContent();
    hideLoading();
    statusBar()->showMessage(
        tr("已加载项目: %1 (%2条轨道)").arg(QFileInfo(path).baseName(), QString::number(project.tracks.size())),
        3000);
    if (!report.replacedRates.empty())
        showReplacedRates(report.replacedRates);
    return true;
}

void MainWindow::showReplacedRates(const std::vector<int> &rates)
{
    QStringList names;
    for (const int rate : rates)
        names.append(QStringLiteral("%1 Hz").arg(rate));
    // Without a loop of its own: the project is open behind it, and a caller that loads
    // without a person at the screen goes on.
    auto *notice = new QMessageBox(QMessageBox::Information, tr("打开项目"),
                                   tr("项目中的采样率 %1 不在支持的范围（%2–%3 Hz）内，已按 %4 Hz 读取。")
                                       .arg(names.join(QStringLiteral("、")))
                                       .arg(ProjectLimits::minSampleRate)
                                       .arg(ProjectLimits::maxSampleRate)
                                       .arg(ProjectLimits::fallbackSampleRate),
                                   QMessageBox::Ok, this);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->open();
}

void MainWindow::closeProject()
{
    if (!projectOpen)
        return;
    if (QMessageBox::question(this, tr("关闭项目"), tr("确定要关闭当前项目吗？未保存的更改将会丢失。"),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    projectOpen = false;
    projectPath.clear();
    savedContent.reset();
    pageStack->setCurrentWidget(welcomePage);
    updateActionStates();
    statusBar()->showMessage(tr("项目已关闭"), 3000);
}

QString MainWindow::askOpenFileName(const QString &caption, const QString &filter)
{
    QFileDialog dialog(this, caption, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString MainWindow::askOpenPluginPath(const QString &caption, const QString &filter)
{
    QFileDialog dialog(this, caption, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // A file filter cannot select a folder, and opening a folder enters it (double click or
    // typed name alike, both through the view's model): entering a bundle chooses it.
    QString bundle;
    auto *model = dialog.findChild<QFileSystemModel *>();
    if (model)
        connect(model, &QFileSystemModel::rootPathChanged, &dialog, [&](const QString &directory) {
            if (!directory.endsWith(QLatin1String(".vst3"), Qt::CaseInsensitive))
                return;
            bundle = directory;
            static_cast<QDialog &>(dialog).done(QDialog::Accepted);
        });
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    if (!bundle.isEmpty())
        return bundle;
    return dialog.selectedFiles().isEmpty() ? QString() : dialog.selectedFiles().constFirst();
}

QString MainWindow::askSaveFileName(const QString &caption, const QString &filter, const QString &suffix)
{
    QFileDialog dialog(this, caption, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Added to a name without any suffix before the dialog asks about replacing a file.
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    QString name = dialog.selectedFiles().constFirst();
    if (name.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive))
        return name;
    // A name with another suffix ("song.v2") gets ours as well; the dialog never saw that name.
    name += QLatin1Char('.') + suffix;
    if (QFileInfo::exists(name)
        && QMessageBox::question(this, caption, tr("%1 已存在。\n要替换它吗？").arg(QFileInfo(name).fileName()),
                                 QMessageBox::Yes | QMessageBox::No)
               != QMessageBox::Yes)
        return QString();
    return name;
}
