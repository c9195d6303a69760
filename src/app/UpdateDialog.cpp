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
#include <QScrollArea>
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

// The longest release notes shown, in UTF-16 units: a label lays out all of its text at once,
// and a server's megabyte of notes would hold the window for seconds.
constexpr qsizetype kMaxShownNotes = 3000;

QString shownNotes(const QString &notes)
{
    if (notes.size() <= kMaxShownNotes)
        return notes;
    // Never half a surrogate pair.
    const qsizetype cut = notes.at(kMaxShownNotes - 1).isHighSurrogate() ? kMaxShownNotes - 1 : kMaxShownNotes;
    return notes.left(cut) + QChar(0x2026);
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

    // The notes come from the server: never rich text, never more than a screen can scroll
    // through, and in an area of their own so the buttons stay on the screen.
    notesLabel = new QLabel(shownNotes(info.releaseNotes), this);
    notesLabel->setTextFormat(Qt::PlainText);
    notesLabel->setWordWrap(true);
    notesLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    notesLabel->setMinimumHeight(80);
    notesLabel->setStyleSheet(QStringLiteral(
        "background: #2a2a2a; border: 1px solid #444; border-radius: 4px; padding: 10px; font-size: 13px;"));
    auto *notesArea = new QScrollArea(this);
    notesArea->setFrameShape(QFrame::NoFrame);
    notesArea->setWidgetResizable(true);
    notesArea->setWidget(notesLabel);
    layout->addWidget(notesArea, 1);

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
    // The notes area comes first in the tab order; the offer is what the dialog opens on.
    downloadButton->setFocus();
}

UpdateDialog::~UpdateDialog()
{
    if (reply) {
        cancelling = true;
        reply->abort();
    }
}

void UpdateDialog::setRequestLimits(const RequestLimits &requestLimits)
{
    limits = requestLimits;
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

    RequestLimits downloadLimits = limits;
    // The manifest's size is the most the server may send: a server that goes on fills no disk.
    if (info.fileSize > 0)
        downloadLimits.maxBytes = std::min(info.fileSize, limits.maxBytes);
    // Written as it arrives, so the installer never has to fit in memory.
    QNetworkReply *started = getLimited(*networkManager, QNetworkRequest(url), downloadLimits,
                                        [this](const QByteArray &block) {
                                            if (file->write(block))
                                                return true;
                                            writeFailure = file->errorString();
                                            return false;
                                        });
    reply = started;
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
    if (failure.isEmpty())
        failure = requestFailure(*finished);
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
