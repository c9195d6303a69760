// SPDX-License-Identifier: GPL-3.0-or-later
// The update check: one GET of the manifest, its JSON read into an UpdateInfo, and the
// version compared with the running one.
#include "UpdateChecker.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

const QString kCurrentVersion = QStringLiteral(ZENTRIQ_VERSION);

UpdateInfo readManifest(const QJsonObject &manifest)
{
    UpdateInfo info;
    info.version = manifest.value(QLatin1String("version")).toString();
    // Only an integer value counts: 1.5, "7" or true read as 0.
    info.build = manifest.value(QLatin1String("build")).toInt(0);
    info.downloadUrl = manifest.value(QLatin1String("downloadUrl")).toString();
    info.releaseNotes = manifest.value(QLatin1String("releaseNotes")).toString();
    const QJsonValue size = manifest.value(QLatin1String("fileSize"));
    const double sizeBytes = size.toDouble();
    // Truncated toward zero; only a value within 64 bits, so the conversion is defined.
    if (size.isDouble() && std::abs(sizeBytes) < 9.0e18)
        info.fileSize = static_cast<qint64>(sizeBytes);
    return info;
}

} // namespace

UpdateChecker::UpdateChecker(QObject *parent) : QObject(parent), networkManager(new QNetworkAccessManager(this)) {}

void UpdateChecker::setUpdateUrl(const QString &url)
{
    updateUrl = url;
}

void UpdateChecker::setRequestLimits(const RequestLimits &requestLimits)
{
    limits = requestLimits;
}

void UpdateChecker::checkForUpdates(bool silentCheck)
{
    if (updateUrl.isEmpty()) {
        fail(tr("未配置更新地址"), silentCheck);
        return;
    }
    if (pendingReply) {
        // Its answer answers this check too; a manual check wants to hear a failure.
        silent = silent && silentCheck;
        return;
    }
    const QUrl url(updateUrl);
    if (const QString refusal = updateAddressRefusal(url); !refusal.isEmpty()) {
        fail(tr("网络错误: %1").arg(refusal), silentCheck);
        return;
    }
    silent = silentCheck;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("ZentriqStudio/%1").arg(kCurrentVersion));
    manifestBytes.clear();
    pendingReply = getLimited(*networkManager, request, limits, [this](const QByteArray &block) {
        manifestBytes += block;
        return true;
    });
    QNetworkReply *reply = pendingReply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReplyFinished(reply); });
}

void UpdateChecker::onReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    pendingReply = nullptr;
    const bool silentCheck = silent;

    const QByteArray body = std::exchange(manifestBytes, QByteArray());
    if (const QString failure = requestFailure(*reply); !failure.isEmpty()) {
        fail(tr("网络错误: %1").arg(failure), silentCheck);
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) {
        fail(tr("更新数据格式错误"), silentCheck);
        return;
    }
    const UpdateInfo info = readManifest(document.object());
    if (info.version.isEmpty() || info.downloadUrl.isEmpty()) {
        fail(tr("更新数据缺少必要字段"), silentCheck);
        return;
    }
    if (isNewer(info.version, kCurrentVersion)) {
        qDebug() << "UpdateChecker: new version available:" << info.version;
        emit updateAvailable(info);
    } else {
        qDebug() << "UpdateChecker: already up to date";
        emit noUpdateAvailable();
    }
}

void UpdateChecker::fail(const QString &message, bool silentCheck)
{
    if (!silentCheck)
        emit checkFailed(message);
}

bool UpdateChecker::parseVersion(const QString &version, int &major, int &minor, int &patch)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return false;
    major = parts[0].toInt(nullptr, 10);
    minor = parts[1].toInt(nullptr, 10);
    patch = parts.size() > 2 ? parts[2].toInt(nullptr, 10) : 0;
    return true;
}

bool UpdateChecker::isNewer(const QString &candidate, const QString &current)
{
    int candidateParts[3];
    if (!parseVersion(candidate, candidateParts[0], candidateParts[1], candidateParts[2]))
        return false;
    int currentParts[3];
    if (!parseVersion(current, currentParts[0], currentParts[1], currentParts[2]))
        return true;
    return std::lexicographical_compare(std::begin(currentParts), std::end(currentParts), std::begin(candidateParts),
                                        std::end(candidateParts));
}
