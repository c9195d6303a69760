// SPDX-License-Identifier: GPL-3.0-or-later
// What the update check and the installer download share: the manifest's address, which
// addresses the program may fetch from, requests held to limits that a hostile or broken
// server cannot get round, and why a request failed in the user's words.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class QByteArray;
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

// What one request may take, each limit above 0; the reply is aborted when the server
// breaks one.
struct RequestLimits
{
    int idleTimeoutMs = 0;   // no data arriving for this long
    int totalTimeoutMs = 0;  // the whole request, however steadily a slow server sends
    qint64 maxBytes = 0;     // the body; a larger announced length is refused at once
};

// Sends `request` as a GET held to `limits`. The body goes to `receive` block by block as it
// arrives, never past `maxBytes`, so nothing piles up in the reply; `receive` returning false
// aborts the reply. Redirects are followed only on the same host, never from HTTPS to HTTP,
// and only to an address updateAddressRefusal() allows. GUI thread only.
QNetworkReply *getLimited(QNetworkAccessManager &manager, const QNetworkRequest &request, const RequestLimits &limits,
                          std::function<bool(const QByteArray &block)> receive);

// Why a reply of getLimited() failed, in the user's words ("服务器拒绝连接", "请求超时"); empty
// when it did not. Never the network library's English text.
QString requestFailure(const QNetworkReply &reply);
