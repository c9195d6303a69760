// SPDX-License-Identifier: GPL-3.0-or-later
// Update addresses, the limits of the update requests and their failure texts.
#include "UpdateNetwork.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

const char *const kOverrideVariable = "ZENTRIQ_UPDATE_URL";
constexpr int kMaxRedirects = 5;

QString text(const char *chinese)
{
    return QCoreApplication::translate("UpdateNetwork", chinese);
}

// Watches one reply of getLimited(), as its child: the timers, the byte count, the
// redirects, and which rule, if any, ended the reply.
class RequestGuard : public QObject
{
    Q_OBJECT

public:
    enum class Stop { None, Stalled, TookTooLong, TooLarge, RedirectRefused, ReceiverRefused };

    RequestGuard(QNetworkReply *reply, const RequestLimits &limits, std::function<bool(const QByteArray &)> receive)
        : QObject(reply), reply(reply), limits(limits), receive(std::move(receive)), location(reply->url())
    {
        idle.setSingleShot(true);
        total.setSingleShot(true);
        connect(&idle, &QTimer::timeout, this, [this] { stop(Stop::Stalled); });
        connect(&total, &QTimer::timeout, this, [this] { stop(Stop::TookTooLong); });
        // Headers and redirects are answers too: the server is not stalling.
        connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
            idle.start();
            checkAnnouncedLength();
        });
        connect(reply, &QNetworkReply::redirected, this, [this](const QUrl &target) {
            idle.start();
            checkRedirect(target);
        });
        connect(reply, &QNetworkReply::readyRead, this, [this] {
            idle.start();
            takeArrived();
        });
        // Before the caller's own handler: what is still unread is handed on first.
        connect(reply, &QNetworkReply::finished, this, [this] {
            idle.stop();
            total.stop();
            if (stopped == Stop::None && this->reply->error() == QNetworkReply::NoError)
                takeArrived();
        });
        idle.start(limits.idleTimeoutMs);
        total.start(limits.totalTimeoutMs);
    }

    Stop stopReason() const { return stopped; }
    qint64 byteLimit() const { return limits.maxBytes; }

private:
    void takeArrived()
    {
        if (stopped != Stop::None || reply->bytesAvailable() <= 0)
            return;
        const QByteArray block = reply->readAll();
        received += block.size();
        if (received > limits.maxBytes)
            stop(Stop::TooLarge);
        else if (!receive(block))
            stop(Stop::ReceiverRefused);
    }

    void checkAnnouncedLength()
    {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > limits.maxBytes)
            stop(Stop::TooLarge);
    }

    void checkRedirect(const QUrl &target)
    {
        const QUrl next = location.resolved(target);
        const bool sameHost = next.host().compare(location.host(), Qt::CaseInsensitive) == 0;
        const bool downgrade = location.scheme() == QLatin1String("https") && next.scheme() != QLatin1String("https");
        if (!sameHost || downgrade || !updateAddressRefusal(next).isEmpty()) {
            stop(Stop::RedirectRefused);
            return;
        }
        location = next;
        emit reply->redirectAllowed();
    }

    // Also after the finish, for what was still unread then: the caller reads the reason.
    void stop(Stop reason)
    {
        if (stopped != Stop::None)
            return;
        stopped = reason;
        if (!reply->isFinished())
            reply->abort();
    }

    QNetworkReply *reply;
    RequestLimits limits;
    std::function<bool(const QByteArray &)> receive;
    QUrl location;  // where the request is now, after the redirects followed
    QTimer idle;
    QTimer total;
    qint64 received = 0;
    Stop stopped = Stop::None;
};

QString httpStatusSuffix(const QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? QStringLiteral(" (HTTP %1)").arg(status.toInt()) : QString();
}

QString networkErrorText(const QNetworkReply &reply)
{
    switch (reply.error()) {
    case QNetworkReply::NoError:
        return {};
    case QNetworkReply::ConnectionRefusedError:
        return text("服务器拒绝连接");
    case QNetworkReply::RemoteHostClosedError:
        return text("服务器提前断开了连接");
    case QNetworkReply::HostNotFoundError:
        return text("找不到服务器");
    case QNetworkReply::TimeoutError:
        return text("连接服务器超时");
    case QNetworkReply::OperationCanceledError:
        return text("请求已取消");
    case QNetworkReply::SslHandshakeFailedError:
        return text("无法建立安全连接 (服务器证书不受信任或无效)");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return text("网络暂时不可用");
    case QNetworkReply::TooManyRedirectsError:
        return text("服务器重定向次数过多");
    case QNetworkReply::InsecureRedirectError:
        return text("服务器重定向到了不安全的地址");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownProxyError:
        return text("无法通过代理服务器连接");
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return text("代理服务器要求身份验证");
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
        return text("服务器拒绝访问") + httpStatusSuffix(reply);
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::ContentGoneError:
        return text("服务器上没有这个文件") + httpStatusSuffix(reply);
    case QNetworkReply::AuthenticationRequiredError:
        return text("服务器要求身份验证") + httpStatusSuffix(reply);
    case QNetworkReply::ContentReSendError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::UnknownContentError:
        return text("服务器拒绝了请求") + httpStatusSuffix(reply);
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return text("服务器出错") + httpStatusSuffix(reply);
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProtocolFailure:
        return text("服务器的回应无法识别");
    case QNetworkReply::UnknownNetworkError:
        break;
    }
    return text("未知的网络错误");
}

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

QNetworkReply *getLimited(QNetworkAccessManager &manager, const QNetworkRequest &request, const RequestLimits &limits,
                          std::function<bool(const QByteArray &)> receive)
{
    QNetworkRequest limited(request);
    // Every redirect passes RequestGuard::checkRedirect first.
    limited.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    limited.setMaximumRedirectsAllowed(kMaxRedirects);
    QNetworkReply *reply = manager.get(limited);
    new RequestGuard(reply, limits, std::move(receive));
    return reply;
}

QString requestFailure(const QNetworkReply &reply)
{
    const auto *guard = reply.findChild<RequestGuard *>(QString(), Qt::FindDirectChildrenOnly);
    switch (guard ? guard->stopReason() : RequestGuard::Stop::None) {
    case RequestGuard::Stop::None:
        break;
    case RequestGuard::Stop::Stalled:
        return text("请求超时");
    case RequestGuard::Stop::TookTooLong:
        return text("请求用时过长");
    case RequestGuard::Stop::TooLarge:
        return text("服务器发送的数据超过了上限 (%1 字节)").arg(guard->byteLimit());
    case RequestGuard::Stop::RedirectRefused:
        return text("服务器重定向到了不允许的地址");
    case RequestGuard::Stop::ReceiverRefused:
        return text("请求已取消");
    }
    return networkErrorText(reply);
}

#include "UpdateNetwork.moc"
