// SPDX-License-Identifier: GPL-3.0-or-later
// The update dialog's installer download from a local web server: where the file lands
// and under which name, every failure back to the retry state with nothing left behind,
// cancel told apart from a time-out, an untrusted certificate refused, and the open button.
#include "AppTestSupport.h"
#include "FailingDisk.h"
#include "Requirement.h"
#include "UpdateTestServer.h"

#include "app/UpdateDialog.h"

#include <QDesktopServices>
#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace {

// 1.5 MiB of seeded noise, so progress arrives in several steps.
QByteArray installerBytes()
{
    QByteArray bytes(1536 * 1024, Qt::Uninitialized);
    std::mt19937 random(27);
    for (char &byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

UpdateInfo updateTo(const QString &downloadUrl, qint64 fileSize = 0)
{
    UpdateInfo info;
    info.version = QStringLiteral("0.2.0");
    info.downloadUrl = downloadUrl;
    info.releaseNotes = QStringLiteral("<b>不是富文本</b>");
    info.fileSize = fileSize;
    return info;
}

// The dialog's buttons in their order of creation, and its bar.
struct Parts
{
    explicit Parts(UpdateDialog &dialog)
    {
        const auto buttons = dialog.findChildren<QPushButton *>();
        download = buttons.value(0);
        open = buttons.value(1);
        later = buttons.value(2);
        bar = dialog.findChild<QProgressBar *>();
    }
    QPushButton *download;
    QPushButton *open;
    QPushButton *later;
    QProgressBar *bar;
};

// Every file under `root`, relative to it.
QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Clicks the download button and waits for the box that ends the download.
bool downloadUntilBox(UpdateDialog &dialog, DialogScript &script, size_t boxesBefore = 0)
{
    Parts(dialog).download->click();
    return QTest::qWaitFor([&] { return script.boxes.size() > boxesBefore; }, 20000);
}

void expectRetryState(UpdateDialog &dialog)
{
    const Parts parts(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(parts.download->isVisibleTo(&dialog));
    EXPECT_TRUE(parts.download->isEnabled());
    EXPECT_EQ(parts.download->text(), QStringLiteral("重试下载"));
    EXPECT_FALSE(parts.bar->isVisibleTo(&dialog));
    EXPECT_EQ(parts.later->text(), QStringLiteral("稍后提醒"));
    EXPECT_FALSE(parts.open->isVisibleTo(&dialog));
}

class UpdateDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(server.started(), "python3 cannot run the local web server");
        server.write(QStringLiteral("installer.bin"), installer);
    }

    const QByteArray installer = installerBytes();
    UpdateTestServer server;
};

TEST_F(UpdateDialogTest, DownloadsLandInTheDownloadFolderUnderASafeFreeName)
{
    const qint64 size = installer.size();
    const QString body = QStringLiteral("?file=installer.bin");
    const struct
    {
        const char *name;
        QString url;       // a path on the server, or a whole address
        qint64 fileSize;   // of the manifest
        QString existing;  // a file already in the download folder
        QString saved;     // the file expected, empty when the download fails
        bool blockFolder = false;
    } cases[] = {
        {"with a size", "/files/App-1.2.exe" + body, size, {}, "App-1.2.exe"},
        {"without a size", "/files/App-1.2.exe" + body + "&length=0", 0, {}, "App-1.2.exe"},
        {"a wrong size", "/files/App-1.2.exe" + body, size + 1, {}, {}},
        {"404", "/files/App-1.2.exe?file=missing.bin", 0, {}, {}},
        {"address ending in /", "/files/" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"..", "/files/.." + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"%2E%2E", "/files/%2E%2E" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"a/b", "/files/a%2Fb" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"a\\b", "/files/a\\b" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"a%5Cb", "/files/a%5Cb" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"control character", "/files/App%0A.exe" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"hidden name", "/files/.bashrc" + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"long name", "/files/" + QString(300, QLatin1Char('a')) + body, 0, {}, "ZentriqStudio-Setup.exe"},
        {"an existing file of that name", "/files/App-1.2.exe" + body, size, "App-1.2.exe", "App-1.2 (1).exe"},
        {"plain HTTP to another host", "http://localhost:%1/App-1.2.exe" + body, 0, {}, {}},
        {"a download folder that cannot be made", "/files/App-1.2.exe" + body, 0, {}, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const UpdateSurroundings surroundings(server.url("/update.json"));
        const QString existing = QStringLiteral("an unrelated file");
        if (!c.existing.isEmpty()) {
            QDir().mkpath(surroundings.downloads());
            QFile file(QDir(surroundings.downloads()).filePath(c.existing));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(existing.toUtf8());
        }
        if (c.blockFolder) {
            QFile file(surroundings.downloads());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        QString url = c.url.startsWith(QLatin1Char('/')) ? server.url(c.url) : c.url;
        if (url.contains(QStringLiteral("%1")))
            url = url.arg(QUrl(server.url("/")).port());
        const int requestsBefore = server.requests().size();

        DialogScript script;
        UpdateDialog dialog(updateTo(url, c.fileSize));
        dialog.show();
        const Parts parts(dialog);
        QStringList barTexts;
        QObject::connect(parts.bar, &QProgressBar::valueChanged, [&] { barTexts << parts.bar->text(); });
        ASSERT_TRUE(downloadUntilBox(dialog, script));
        QTest::qWait(100);
        ASSERT_EQ(script.boxes.size(), 1u);

        QStringList expectedFiles;
        if (!c.existing.isEmpty())
            expectedFiles << "downloads/" + c.existing;
        if (c.blockFolder)
            expectedFiles << "downloads";
        if (c.saved.isEmpty()) {
            EXPECT_EQ(script.boxes[0].title, QStringLiteral("下载失败"));
            EXPECT_TRUE(script.boxes[0].text.startsWith(QStringLiteral("下载失败: "))) << script.boxes[0].text.toStdString();
            expectRetryState(dialog);
        } else {
            const QString path = QDir(surroundings.downloads()).filePath(c.saved);
            expectedFiles << "downloads/" + c.saved;
            EXPECT_EQ(script.boxes[0].title, QStringLiteral("下载完成"));
            EXPECT_EQ(script.boxes[0].text, QStringLiteral("安装包已保存到:\n") + path);
            EXPECT_TRUE(contentOf(path) == installer);
            EXPECT_FALSE(parts.download->isVisibleTo(&dialog));
            EXPECT_TRUE(parts.open->isVisibleTo(&dialog));
            EXPECT_EQ(parts.later->text(), QStringLiteral("关闭"));
            EXPECT_EQ(parts.bar->text(), QStringLiteral("下载完成"));
            EXPECT_EQ(parts.bar->value(), 100);
            // A known size moves the bar in MB and percent; an unknown one leaves it alone
            // until the end, when the size is known.
            const QStringList sized = barTexts.filter(QStringLiteral(" MB"));
            EXPECT_EQ(sized.value(sized.size() - 1), QStringLiteral("1.5 MB / 1.5 MB (100%)"));
            if (c.url.contains(QStringLiteral("length=0"))) {
                EXPECT_EQ(sized.filter(QStringLiteral("(100%)")).size(), sized.size()) << sized.join(" | ").toStdString();
            }
        }
        expectedFiles.sort();
        EXPECT_EQ(filesUnder(surroundings.root()), expectedFiles);
        if (!c.existing.isEmpty()) {
            EXPECT_EQ(contentOf(QDir(surroundings.downloads()).filePath(c.existing)), existing.toUtf8());
        }
        if (c.url.startsWith(QStringLiteral("http:"))) {
            EXPECT_EQ(server.requests().size(), requestsBefore) << "an address that is not allowed was fetched";
        }
    }
}

// However long the server's notes, the dialog shows their beginning and keeps its buttons on
// the screen.
TEST(UpdateDialogNotes, LongNotesAreCutAndTheDialogStaysOnTheScreen)
{
    const QString emoji = QStringLiteral("\U0001F3B5");
    const QString manyLines = QStringLiteral("修复了一个问题\n").repeated(20000);
    const struct
    {
        const char *name;
        QString notes;
        QString shown;
    } cases[] = {
        {"short notes", QStringLiteral("更快的混音导出\n修复了若干问题"), QStringLiteral("更快的混音导出\n修复了若干问题")},
        {"many lines", manyLines, manyLines.left(3000) + QChar(0x2026)},
        {"a cut through a surrogate pair", QString(2999, QLatin1Char('x')) + emoji + QStringLiteral("tail"),
         QString(2999, QLatin1Char('x')) + QChar(0x2026)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UpdateInfo info = updateTo(QStringLiteral("https://127.0.0.1/App.exe"));
        info.releaseNotes = c.notes;
        UpdateDialog dialog(info);
        dialog.show();
        const auto labels = dialog.findChildren<QLabel *>();
        ASSERT_EQ(labels.size(), 3);
        EXPECT_EQ(labels[2]->text(), c.shown);
        EXPECT_EQ(labels[2]->textFormat(), Qt::PlainText);
        EXPECT_LE(dialog.height(), 600);
        EXPECT_TRUE(Parts(dialog).download->isVisibleTo(&dialog));
    }
}

// Stands in for the desktop: records what it is asked to open.
class DesktopStandIn : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

TEST_F(UpdateDialogTest, RetryAfterAFailureThenOpenShowsTheFolder)
{
    const UpdateSurroundings surroundings(server.url("/update.json"));
    DialogScript script;
    UpdateDialog dialog(updateTo(server.url("/App.exe?file=late.bin")));
    dialog.show();
    const Parts parts(dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("发现新版本"));
    EXPECT_EQ(parts.download->text(), QStringLiteral("立即下载"));
    EXPECT_EQ(parts.later->text(), QStringLiteral("稍后提醒"));
    EXPECT_FALSE(parts.open->isVisibleTo(&dialog));
    EXPECT_FALSE(parts.bar->isVisibleTo(&dialog));
    // The notes show as they came, never as markup.
    const auto labels = dialog.findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[2]->text(), QStringLiteral("<b>不是富文本</b>"));
    EXPECT_EQ(labels[2]->textFormat(), Qt::PlainText);

    ASSERT_TRUE(downloadUntilBox(dialog, script));
    expectRetryState(dialog);

    server.write(QStringLiteral("late.bin"), installer);
    ASSERT_TRUE(downloadUntilBox(dialog, script, 1));
    EXPECT_EQ(script.boxes.back().title, QStringLiteral("下载完成"));
    EXPECT_TRUE(contentOf(QDir(surroundings.downloads()).filePath(QStringLiteral("App.exe"))) == installer);

    // The desktop is asked for the folder; the downloaded program itself is never opened.
    DesktopStandIn desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
    parts.open->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(surroundings.downloads())});
}

TEST_F(UpdateDialogTest, CancelClosesWithoutABoxAndLeavesNoFile)
{
    const UpdateSurroundings surroundings(server.url("/update.json"));
    DialogScript script;
    UpdateDialog dialog(updateTo(server.url("/App.exe?file=installer.bin&slow=1"), installer.size()));
    dialog.show();
    const Parts parts(dialog);
    parts.download->click();
    EXPECT_EQ(parts.download->text(), QStringLiteral("下载中..."));
    EXPECT_FALSE(parts.download->isEnabled());
    EXPECT_EQ(parts.later->text(), QStringLiteral("取消"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return parts.bar->text().contains(QStringLiteral(" MB")); }, 10000));
    EXPECT_FALSE(filesUnder(surroundings.root()).isEmpty()) << "nothing was being written";

    parts.later->click();
    EXPECT_FALSE(dialog.isVisible());
    QTest::qWait(300);
    EXPECT_TRUE(script.boxes.empty());
    EXPECT_EQ(filesUnder(surroundings.root()), QStringList());
}

// A write that fails part-way, or a final name another program took during the download:
// the failure and its reason reach the user, and only what was there before is left.
TEST_F(UpdateDialogTest, AFailedWriteOrFinalRenameShowsItsReasonAndLeavesNoPartialFile)
{
    const struct
    {
        const char *name;
        rlim_t fileSizeLimit;  // 0: none
        bool fullDisk;
        bool nameTakenMeanwhile;
        QString reason;  // what the box says after "下载失败: "
    } cases[] = {
        {"the file size limit", 256 * 1024, false, false, QStringLiteral("写入文件失败: 文件超过了系统允许的大小")},
        {"a final name taken meanwhile", 0, false, true, QStringLiteral("无法保存文件 %1: 文件已存在")},
        {"a full disk", 0, true, false, QStringLiteral("写入文件失败: 磁盘空间不足")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const UpdateSurroundings surroundings(server.url("/update.json"));
        std::optional<SmallDisk> disk;
        if (c.fullDisk) {
            QDir().mkpath(surroundings.downloads());
            disk.emplace(256 * 1024, surroundings.downloads());
            ZENTRIQ_REQUIRE(disk->mounted(), "mounting a small tmpfs needs root");
        }
        const QString finalPath = QDir(surroundings.downloads()).filePath(QStringLiteral("App.exe"));
        DialogScript script;
        UpdateDialog dialog(updateTo(server.url("/App.exe?file=installer.bin"), installer.size()));
        dialog.show();
        std::optional<FileSizeLimit> limit;
        if (c.fileSizeLimit > 0)
            limit.emplace(c.fileSizeLimit);
        // The part file is open once the click returns; the final name is taken only at the end.
        Parts(dialog).download->click();
        ASSERT_EQ(filesUnder(surroundings.root()), QStringList{QStringLiteral("downloads/App.exe.part")});
        if (c.nameTakenMeanwhile) {
            QFile taken(finalPath);
            ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
            taken.write("another program's file");
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return !script.boxes.empty(); }, 20000));
        limit.reset();
        QTest::qWait(100);

        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].title, QStringLiteral("下载失败"));
        const QString reason = c.reason.contains(QStringLiteral("%1")) ? c.reason.arg(finalPath) : c.reason;
        EXPECT_EQ(script.boxes[0].text, QStringLiteral("下载失败: ") + reason);
        expectRetryState(dialog);
        if (c.nameTakenMeanwhile) {
            EXPECT_EQ(filesUnder(surroundings.root()), QStringList{QStringLiteral("downloads/App.exe")});
            EXPECT_EQ(contentOf(finalPath), QByteArray("another program's file"));
        } else {
            EXPECT_EQ(filesUnder(surroundings.root()), QStringList());
        }
    }
}

// A server that sends more than it should, never stops, drips forever, redirects elsewhere
// or fails: the download stops with the reason in our words, and leaves no file.
TEST_F(UpdateDialogTest, AHostileOrBrokenServerEndsTheDownloadWithItsReason)
{
    const qint64 size = installer.size();
    const QString otherHost = QStringLiteral("http://localhost:%1/App.exe?file=installer.bin").arg(QUrl(server.url("/")).port());
    const QString tooMuch = QStringLiteral("服务器发送的数据超过了上限 (%1 字节)");
    const struct
    {
        const char *name;
        QString url;       // a path on the server, or a whole address
        qint64 fileSize;   // of the manifest
        qint64 maxBytes;   // the limit without a declared size
        int totalTimeoutMs;
        QString reason;    // after "下载失败: "; empty when the download succeeds
    } cases[] = {
        {"a length announced past the declared size", "/App.exe?file=installer.bin", size - 1, 1 << 30, 60000,
         tooMuch.arg(size - 1)},
        {"sending on past the declared size", "/App.exe?file=installer.bin&endless=1", size, 1 << 30, 60000,
         tooMuch.arg(size)},
        {"sending on with no size declared", "/App.exe?file=installer.bin&endless=1", 0, 4 << 20, 60000,
         tooMuch.arg(4 << 20)},
        {"sending on with a size declared past the limit", "/App.exe?file=installer.bin&endless=1", qint64(10) << 30,
         4 << 20, 60000, tooMuch.arg(4 << 20)},
        {"a drip that never ends", "/App.exe?file=installer.bin&drip=1", size, 1 << 30, 1000,
         QStringLiteral("请求用时过长")},
        {"a redirect to another host", "/App.exe?redirect=" + QUrl::toPercentEncoding(otherHost), size, 1 << 30, 60000,
         QStringLiteral("服务器重定向到了不允许的地址")},
        {"a redirect on the same host",
         "/App.exe?redirect=" + QUrl::toPercentEncoding(server.url("/App.exe?file=installer.bin")), size, 1 << 30,
         60000, {}},
        {"a missing file", "/App.exe?file=missing.bin", 0, 1 << 30, 60000,
         QStringLiteral("服务器上没有这个文件 (HTTP 404)")},
        {"a refused connection", QStringLiteral("http://127.0.0.1:%1/App.exe").arg(closedPort()), 0, 1 << 30, 60000,
         QStringLiteral("服务器拒绝连接")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const UpdateSurroundings surroundings(server.url("/update.json"));
        const int requestsBefore = server.requests().size();
        DialogScript script;
        UpdateDialog dialog(updateTo(c.url.startsWith(QLatin1Char('/')) ? server.url(c.url) : c.url, c.fileSize));
        RequestLimits limits = dialog.requestLimits();
        limits.maxBytes = c.maxBytes;
        limits.totalTimeoutMs = c.totalTimeoutMs;
        dialog.setRequestLimits(limits);
        dialog.show();
        ASSERT_TRUE(downloadUntilBox(dialog, script));
        QTest::qWait(100);
        ASSERT_EQ(script.boxes.size(), 1u);
        if (c.reason.isEmpty()) {
            EXPECT_EQ(script.boxes[0].title, QStringLiteral("下载完成"));
            EXPECT_TRUE(contentOf(QDir(surroundings.downloads()).filePath(QStringLiteral("App.exe"))) == installer);
            continue;
        }
        EXPECT_EQ(script.boxes[0].text, QStringLiteral("下载失败: ") + c.reason);
        expectRetryState(dialog);
        EXPECT_EQ(filesUnder(surroundings.root()), QStringList());
        if (c.url.contains(QStringLiteral("localhost"))) {
            EXPECT_EQ(server.requests().size(), requestsBefore + 1) << "the redirect to another host was followed";
        }
    }
}

TEST_F(UpdateDialogTest, AServerThatStopsSendingTimesOut)
{
    const UpdateSurroundings surroundings(server.url("/update.json"));
    DialogScript script;
    UpdateDialog dialog(updateTo(server.url("/App.exe?hang=1")));
    RequestLimits limits = dialog.requestLimits();
    limits.idleTimeoutMs = 300;
    dialog.setRequestLimits(limits);
    dialog.show();
    ASSERT_TRUE(downloadUntilBox(dialog, script));
    EXPECT_EQ(script.boxes[0].text, QStringLiteral("下载失败: 请求超时"));
    expectRetryState(dialog);
    EXPECT_EQ(filesUnder(surroundings.root()), QStringList());
}

TEST(UpdateDialogTls, AnUntrustedCertificateIsRefused)
{
    ZENTRIQ_REQUIRE(toolAvailable(QStringLiteral("openssl")), "openssl is not installed");
    const TestCertificate certificate;
    ASSERT_TRUE(certificate.made()) << "openssl made no certificate";
    UpdateTestServer server(certificate.tls());
    ZENTRIQ_REQUIRE(server.started(), "python3 cannot run the local web server");
    server.write(QStringLiteral("installer.bin"), installerBytes());
    const UpdateSurroundings surroundings(server.url("/update.json"));

    DialogScript script;
    UpdateDialog dialog(updateTo(server.url("/App.exe?file=installer.bin")));
    dialog.show();
    ASSERT_TRUE(downloadUntilBox(dialog, script));
    EXPECT_EQ(script.boxes[0].title, QStringLiteral("下载失败"));
    EXPECT_EQ(script.boxes[0].text, QStringLiteral("下载失败: 无法建立安全连接 (服务器证书不受信任或无效)"));
    expectRetryState(dialog);
    EXPECT_EQ(filesUnder(surroundings.root()), QStringList());
    EXPECT_TRUE(server.requests().isEmpty()) << "a request went through the untrusted connection";
}

} // namespace

#include "UpdateDialogTest.moc"
