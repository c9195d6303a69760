// SPDX-License-Identifier: GPL-3.0-or-later
// What the update check and the installer download share: the manifest's address, which
// addresses the program may fetch from, and requests that give up when the server stalls.
#pragma once

#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

// The update server's manifest, unless the environment variable ZENTRIQ_UPDATE_URL names
// another one (a local test server).
QString updateManifestUrl();

// Empty when the program may fetch `url`, else the reason it may not: only HTTPS, and plain
// HTTP to 127.0.0.1 only while ZENTRIQ_UPDATE_URL is set.
QString updateAddressRefusal(const QUrl &url);

// Sends `request` as a GET that is aborted when no data arrives for `idleTimeoutMs`;
// requestTimedOut() tells that abort apart from any other. GUI thread only.
QNetworkReply *getWithTimeout(QNetworkAccessManager &manager, const QNetworkRequest &request, int idleTimeoutMs);
bool requestTimedOut(const QNetworkReply *reply);
