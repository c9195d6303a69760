// SPDX-License-Identifier: GPL-3.0-or-later
// The modal dialog that offers a newer version and downloads its installer into the user's
// download folder.
#pragma once

#include "UpdateChecker.h"
#include "UpdateNetwork.h"

#include <QDialog>
#include <QString>

#include <memory>

class DownloadFile;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;

// States: offer ("立即下载" / "稍后提醒"), downloading ("下载中..." / "取消"), failed
// ("重试下载" / "稍后提醒"), done ("打开安装包" / "关闭"). Closing the dialog in any way while
// it downloads cancels the download and leaves no file. GUI thread only.
class UpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateDialog(const UpdateInfo &info, QWidget *parent = nullptr);
    ~UpdateDialog() override;

    // A server that sends nothing for 30 s or takes over two hours fails the download, and
    // so does one that sends more than the manifest's file size, or in any case more than
    // `maxBytes` (2 GB).
    RequestLimits requestLimits() const { return limits; }
    void setRequestLimits(const RequestLimits &requestLimits);

public slots:
    void reject() override;

private slots:
    void startDownload();
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onDownloadFinished();

private:
    // Back to the retry state, with the reason in a warning box.
    void failDownload(const QString &reason);
    // Shows the folder that holds the installer; the installer itself is never run from here.
    void openInstallerFolder();

    UpdateInfo info;
    QLabel *versionLabel = nullptr;
    QLabel *notesLabel = nullptr;
    QProgressBar *progressBar = nullptr;
    QPushButton *downloadButton = nullptr;
    QPushButton *laterButton = nullptr;
    QPushButton *openButton = nullptr;
    QNetworkReply *reply = nullptr;
    QNetworkAccessManager *networkManager = nullptr;
    QString savePath;
    std::unique_ptr<DownloadFile> file;  // the download in progress
    QString writeFailure;                // why the running download was aborted, if it was
    bool cancelling = false;
    RequestLimits limits{.idleTimeoutMs = 30000, .totalTimeoutMs = 2 * 60 * 60 * 1000, .maxBytes = qint64(2) << 30};
};
