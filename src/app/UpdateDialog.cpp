// SPDX-License-Identifier: GPL-3.0-or-later
// The update dialog: the new version and its notes, and the installer download with
// progress, cancel and retry.
#include "UpdateDialog.h"

#include "DownloadFile.h"
#include "UpdateNetwork.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton *makeButton(const QString &text, int width, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedSize(width, 32);
    return button;
}

QString downloadFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::TempLocation) : folder;
}

QString megabytes(qint64 bytes)
{
    return QString::number(static_cast<double>(bytes) / 1048576.0, 'f', 1);
}

} // namespace

UpdateDialog::UpdateDialog(const UpdateInfo &info, QWidget *parent)
    : QDialog(parent), info(info), networkManager(new QNetworkAccessManager(this))
{
    setWindowTitle(tr("发现新版本"));
    setMinimumSize(460, 350);
    setMaximumWidth(520);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);

    versionLabel = new QLabel(tr("当前版本: %1  →  最新版本: %2").arg(QStringLiteral(ZENTRIQ_VERSION), info.version), this);
    versionLabel->setStyleSheet(QStringLiteral("font-size: 14px; font-weight: bold;"));
    layout->addWidget(versionLabel);
    layout->addWidget(new QLabel(tr("更新内容:"), this));

    // The notes come from the server: never rich text.
    notesLabel = new QLabel(info.releaseNotes, this);
    notesLabel->setTextFormat(Qt::PlainText);
    notesLabel->setWordWrap(true);
    notesLabel->setMinimumHeight(80);
    notesLabel->setStyleSheet(QStringLiteral(
        "background: #2a2a2a; border: 1px solid #444; border-radius: 4px; padding: 10px; font-size: 13px;"));
    layout->addWidget(notesLabel);

    progressBar = new QProgressBar(this);
    progressBar->setTextVisible(true);
    progressBar->hide();
    layout->addWidget(progressBar);

    auto *buttons = new QHBoxLayout;
    downloadButton = makeButton(tr("立即下载"), 100, this);
    openButton = makeButton(tr("打开安装包"), 100, this);
    openButton->hide();
    laterButton = makeButton(tr("稍后提醒"), 80, this);
    buttons->addWidget(downloadButton);
    buttons->addWidget(openButton);
    buttons->addStretch();
    buttons->addWidget(laterButton);
    layout->addLayout(buttons);

    connect(downloadButton, &QPushButton::clicked, this, &UpdateDialog::startDownload);
    connect(openButton, &QPushButton::clicked, this, &UpdateDialog::openInstallerFolder);
    connect(laterButton, &QPushButton::clicked, this, &UpdateDialog::reject);
}

UpdateDialog::~UpdateDialog()
{
    if (reply) {
        cancelling = true;
        reply->abort();
    }
}

void UpdateDialog::setRequestTimeout(int milliseconds)
{
    requestTimeoutMs = milliseconds;
}

void UpdateDialog::reject()
{
    // "取消", Escape and the window's close button all end a running download.
    if (reply) {
        cancelling = true;
        reply->abort();
    }
    QDialog::reject();
}

void UpdateDialog::startDownload()
{
    downloadButton->setEnabled(false);
    downloadButton->setText(tr("下载中..."));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->resetFormat();
    progressBar->show();
    laterButton->setText(tr("取消"));
    writeFailure.clear();
    cancelling = false;

    const QUrl url(info.downloadUrl);
    if (const QString refusal = updateAddressRefusal(url); !refusal.isEmpty()) {
        failDownload(refusal);
        return;
    }
    file = std::make_unique<DownloadFile>();
    if (!file->open(downloadFolder(), installerFileName(url))) {
        failDownload(file->errorString());
        return;
    }
    savePath = file->path();

    QNetworkReply *started = getWithTimeout(*networkManager, QNetworkRequest(url), requestTimeoutMs);
    reply = started;
    // Written as it arrives, so the installer never has to fit in memory.
    connect(started, &QNetworkReply::readyRead, this, [this, started] {
        if (!file->write(started->readAll())) {
            writeFailure = file->errorString();
            started->abort();
        }
    });
    connect(started, &QNetworkReply::downloadProgress, this, &UpdateDialog::onDownloadProgress);
    connect(started, &QNetworkReply::finished, this, &UpdateDialog::onDownloadFinished);
}

void UpdateDialog::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (bytesTotal <= 0)
        return;
    const qint64 percent = bytesReceived * 100 / bytesTotal;
    progressBar->setMaximum(100);
    progressBar->setFormat(
        QStringLiteral("%1 MB / %2 MB (%3%)").arg(megabytes(bytesReceived), megabytes(bytesTotal)).arg(percent));
    progressBar->setValue(static_cast<int>(std::clamp<qint64>(percent, 0, 100)));
}

void UpdateDialog::onDownloadFinished()
{
    QNetworkReply *finished = reply;
    reply = nullptr;
    finished->deleteLater();
    if (cancelling) {
        file.reset();  // reject() closes the dialog
        return;
    }

    QString failure = writeFailure;
    if (failure.isEmpty() && finished->error() != QNetworkReply::NoError)
        failure = requestTimedOut(finished) ? tr("下载超时") : finished->errorString();
    if (failure.isEmpty() && !file->write(finished->readAll()))
        failure = file->errorString();
    if (failure.isEmpty() && !file->commit(info.fileSize))
        failure = file->errorString();
    if (!failure.isEmpty()) {
        failDownload(failure);
        return;
    }
    file.reset();

    progressBar->setRange(0, 100);
    progressBar->setFormat(tr("下载完成"));
    progressBar->setValue(100);
    downloadButton->hide();
    openButton->show();
    laterButton->setText(tr("关闭"));
    QMessageBox::information(this, tr("下载完成"), tr("安装包已保存到:\n%1").arg(savePath));
}

void UpdateDialog::failDownload(const QString &reason)
{
    file.reset();
    downloadButton->setEnabled(true);
    downloadButton->setText(tr("重试下载"));
    progressBar->hide();
    laterButton->setText(tr("稍后提醒"));
    QMessageBox::warning(this, tr("下载失败"), tr("下载失败: %1").arg(reason));
}

void UpdateDialog::openInstallerFolder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(savePath).absolutePath()));
}
