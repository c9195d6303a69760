// SPDX-License-Identifier: GPL-3.0-or-later
// Fetches the update manifest, reads it into an UpdateInfo and compares its version with
// the running one.
#pragma once

#include "UpdateNetwork.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

class QNetworkAccessManager;
class QNetworkReply;

// The update manifest: keys "version", "build", "downloadUrl", "releaseNotes", "fileSize".
// A missing key or one of another type reads as the default.
struct UpdateInfo
{
    QString version;
    int build = 0;
    QString downloadUrl;
    QString releaseNotes;
    qint64 fileSize = 0;  // bytes; 0 when unknown
};

// GUI thread only. One request at a time: a check asked for while one is pending joins
// it, and a manual check makes the pending one manual, so each check ends in exactly one
// of the three signals (none for a failed silent check).
class UpdateChecker : public QObject
{
    Q_OBJECT

public:
    explicit UpdateChecker(QObject *parent = nullptr);

    void setUpdateUrl(const QString &url);
    // A server that sends nothing for 10 s, takes a minute in all, or sends a manifest over
    // 1 MB fails the check; the silent check runs at every start, so no server may hold
    // the program longer or fill its memory.
    RequestLimits requestLimits() const { return limits; }
    void setRequestLimits(const RequestLimits &requestLimits);
    // `silent`: failures emit nothing; updateAvailable and noUpdateAvailable come in both modes.
    void checkForUpdates(bool silent);

    // Two or three dot-separated parts; parts that are no integer read as 0.
    static bool parseVersion(const QString &version, int &major, int &minor, int &patch);
    // True only when `candidate` parses and is greater than `current` (or `current` does not parse).
    static bool isNewer(const QString &candidate, const QString &current);

signals:
    void updateAvailable(const UpdateInfo &info);
    void noUpdateAvailable();
    void checkFailed(const QString &message);

private slots:
    void onReplyFinished(QNetworkReply *reply);

private:
    void fail(const QString &message, bool silent);

    QNetworkAccessManager *networkManager = nullptr;
    QString updateUrl;
    RequestLimits limits{.idleTimeoutMs = 10000, .totalTimeoutMs = 60000, .maxBytes = 1 << 20};
    QNetworkReply *pendingReply = nullptr;
    QByteArray manifestBytes;  // of the pending request, so far
    bool silent = false;  // the mode of the pending request
};
