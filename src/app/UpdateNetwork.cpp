// SPDX-License-Identifier: GPL-3.0-or-later
// Update addresses and stall time-outs of the update requests.
#include "UpdateNetwork.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace {

const char *const kOverrideVariable = "ZENTRIQ_UPDATE_URL";
const char *const kTimedOutProperty = "zentriqTimedOut";

} // namespace

QString updateManifestUrl()
{
    const QString override = qEnvironmentVariable(kOverrideVariable);
    return override.isEmpty() ? QStringLiteral("https://update.zentriq.studio/update.json") : override;
}

QString updateAddressRefusal(const QUrl &url)
{
    if (url.scheme() == QLatin1String("https") && !url.host().isEmpty())
        return QString();
    // A local test server needs no certificate; nothing else is fetched unencrypted.
    if (url.scheme() == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1")
        && !qEnvironmentVariableIsEmpty(kOverrideVariable))
        return QString();
    return QStringLiteral("只允许 HTTPS 地址: %1").arg(url.toDisplayString());
}

QNetworkReply *getWithTimeout(QNetworkAccessManager &manager, const QNetworkRequest &request, int idleTimeoutMs)
{
    QNetworkReply *reply = manager.get(request);
    // A timer of the reply's own, restarted by every arriving block: a slow but moving
    // download goes on, a silent server is given up.
    auto *watchdog = new QTimer(reply);
    watchdog->setSingleShot(true);
    QObject::connect(watchdog, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kTimedOutProperty, true);
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, watchdog, [watchdog] { watchdog->start(); });
    QObject::connect(reply, &QNetworkReply::finished, watchdog, &QTimer::stop);
    watchdog->start(idleTimeoutMs);
    return reply;
}

bool requestTimedOut(const QNetworkReply *reply)
{
    return reply->property(kTimedOutProperty).toBool();
}
