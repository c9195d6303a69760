// SPDX-License-Identifier: GPL-3.0-or-later
// The update tests' web server on 127.0.0.1 (tests/support/update_server.py), serving the
// files of a temporary folder, and the surroundings the update code reads: the address
// override that lets it fetch plain HTTP from 127.0.0.1, and a download folder of its own.
#pragma once

#include "OracleTool.h"
#include "ScopedEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

class UpdateTestServer
{
public:
    // `tls`: a certificate and its key, for HTTPS.
    explicit UpdateTestServer(const QStringList &tls = {}) : scheme(tls.isEmpty() ? "http" : "https")
    {
        const QString python = pythonWith(QStringLiteral("ssl"));
        if (python.isEmpty() || !folder.isValid())
            return;
        QStringList arguments{QStringLiteral(UPDATE_SERVER_SCRIPT), folder.path(), QStringLiteral("--lifetime"),
                              QStringLiteral("600")};
        if (!tls.isEmpty())
            arguments << QStringLiteral("--tls") << tls;
        process.start(python, arguments);
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < 20000 && process.state() != QProcess::NotRunning)
            process.waitForReadyRead(100);
        port = process.canReadLine() ? process.readLine().trimmed().toInt() : 0;
    }
    ~UpdateTestServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    UpdateTestServer(const UpdateTestServer &) = delete;
    UpdateTestServer &operator=(const UpdateTestServer &) = delete;

    bool started() const { return port > 0; }
    QString url(const QString &pathAndQuery) const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port).arg(pathAndQuery);
    }
    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(QDir(folder.path()).filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    // One "GET<tab>path<tab>user agent" line per request so far.
    QStringList requests()
    {
        process.waitForReadyRead(0);
        log += QString::fromUtf8(process.readAllStandardOutput());
        return log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir folder;
    QString scheme;
    QProcess process;
    int port = 0;
    QString log;
};

// A self-signed certificate for 127.0.0.1 and its key in a folder of their own, made by
// openssl, for UpdateTestServer's `tls`.
class TestCertificate
{
public:
    TestCertificate()
    {
        const QString cert = keys.filePath(QStringLiteral("cert.pem"));
        const QString key = keys.filePath(QStringLiteral("key.pem"));
        const ToolResult made = runTool(QStringLiteral("openssl"),
                                        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                                         "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key,
                                         "-out", cert});
        if (made.ok())
            files = {cert, key};
    }

    bool made() const { return !files.isEmpty(); }
    QString certificate() const { return files.value(0); }
    // The certificate and its key.
    QStringList tls() const { return files; }

private:
    QTemporaryDir keys;
    QStringList files;
};

// A port on 127.0.0.1 that nothing listens on: connections to it are refused.
inline int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();  // closed again when the probe goes
}

// While it lives: plain HTTP to 127.0.0.1 is allowed, the update address is `updateUrl`
// for windows built meanwhile, and the user's download folder is "downloads" in a fresh
// folder (not created: the download creates it).
class UpdateSurroundings
{
public:
    explicit UpdateSurroundings(const QString &updateUrl)
        : override("ZENTRIQ_UPDATE_URL", updateUrl.toUtf8()), configHome("XDG_CONFIG_HOME", config.path().toUtf8())
    {
        QFile dirs(QDir(config.path()).filePath(QStringLiteral("user-dirs.dirs")));
        if (dirs.open(QIODevice::WriteOnly))
            dirs.write("XDG_DOWNLOAD_DIR=\"" + downloads().toUtf8() + "\"\n");
    }

    // Everything the download may write to lies in here.
    QString root() const { return home.path(); }
    QString downloads() const { return QDir(home.path()).filePath(QStringLiteral("downloads")); }

private:
    QTemporaryDir config;
    QTemporaryDir home;
    ScopedEnv override;
    ScopedEnv configHome;
};
