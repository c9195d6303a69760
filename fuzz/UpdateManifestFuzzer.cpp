// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the update check as the manifest its server sends, over HTTP from
// a server on 127.0.0.1 inside this process, and then, when the manifest offers an update,
// the installer name taken from its download address to the download file. The name must
// never lead outside the download folder.
#include "FuzzInput.h"
#include "app/DownloadFile.h"
#include "app/UpdateChecker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// Answers every request with `manifest`, on connections kept open for the next request.
class ManifestServer : public QTcpServer
{
public:
    QByteArray manifest;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        auto pending = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, pending] {
            *pending += socket->readAll();
            for (qsizetype end = pending->indexOf("\r\n\r\n"); end >= 0; end = pending->indexOf("\r\n\r\n")) {
                pending->remove(0, end + 4);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                              + QByteArray::number(manifest.size()) + "\r\n\r\n" + manifest);
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

ManifestServer *server = nullptr;
UpdateChecker *checker = nullptr;

void checkInstallerName(const UpdateInfo &info)
{
    const QString name = installerFileName(QUrl(info.downloadUrl));
    const QString folder = QDir(FuzzInput::scratchFolder()).filePath(QStringLiteral("downloads"));
    DownloadFile file;
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        __builtin_trap();
    if (file.open(folder, name) && QFileInfo(file.path()).absolutePath() != QFileInfo(folder).absoluteFilePath())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::silenceQtLog();
    static int argc = 1;
    static char name[] = "update_manifest_fuzzer";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    // Plain HTTP to 127.0.0.1 is allowed only while a local update address is set.
    qputenv("ZENTRIQ_UPDATE_URL", "http://127.0.0.1/update.json");
    server = new ManifestServer;
    if (!server->listen(QHostAddress::LocalHost))
        std::abort();
    checker = new UpdateChecker;
    checker->setUpdateUrl(QStringLiteral("http://127.0.0.1:%1/update.json").arg(server->serverPort()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    server->manifest = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    bool answered = false;
    QObject context;  // ends this run's connections
    QObject::connect(checker, &UpdateChecker::updateAvailable, &context, [&](const UpdateInfo &info) {
        checkInstallerName(info);
        answered = true;
    });
    QObject::connect(checker, &UpdateChecker::noUpdateAvailable, &context, [&] { answered = true; });
    QObject::connect(checker, &UpdateChecker::checkFailed, &context, [&] { answered = true; });
    checker->checkForUpdates(false);
    while (!answered)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return 0;
}
