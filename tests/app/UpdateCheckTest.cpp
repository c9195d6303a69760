// SPDX-License-Identifier: GPL-3.0-or-later
// The update check against a local web server: every kind of manifest, in the silent check
// after start and in the manual check of the Help menu, ends in the right boxes and update
// dialogs; a check never answers twice and an update never opens a second dialog.
#include "AppTestSupport.h"
#include "Requirement.h"
#include "UpdateTestServer.h"

#include "app/MainWindow.h"
#include "app/UpdateChecker.h"
#include "app/UpdateDialog.h"
#include "app/UpdateNetwork.h"

#include <QAction>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QUrl>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

QByteArray manifestWithNotes(const QString &notes, const QString &version = QStringLiteral("0.2.0"),
                             const QString &downloadUrl = QStringLiteral("https://127.0.0.1/App.exe"))
{
    return QJsonDocument(QJsonObject{{"version", version},
                                     {"build", 12},
                                     {"downloadUrl", downloadUrl},
                                     {"releaseNotes", notes},
                                     {"fileSize", 1024}})
        .toJson();
}

QByteArray manifest(const QString &version, const QString &downloadUrl = QStringLiteral("https://127.0.0.1/App.exe"))
{
    return manifestWithNotes(QStringLiteral("修复了一些问题"), version, downloadUrl);
}

// Everything that showed over each window: message boxes ("box title: text", answered with
// Ok) and update dialogs ("dialog" and the version line, closed at once).
class ShownOverWindows
{
public:
    ShownOverWindows()
    {
        script.otherDialog = [this](QDialog *dialog) {
            if (qobject_cast<UpdateDialog *>(dialog))
                dialogs[dialog->parentWidget()] << QStringLiteral("dialog ") + dialog->findChild<QLabel *>()->text();
            dialog->reject();
        };
    }
    QStringList over(const QWidget *window) const
    {
        QStringList shown;
        for (const ShownBox &box : script.boxes)
            if (box.parent == window)
                shown << QStringLiteral("box %1: %2").arg(box.title, box.text);
        if (const auto it = dialogs.find(window); it != dialogs.end())
            shown << it->second;
        return shown;
    }

private:
    DialogScript script;
    std::map<const QWidget *, QStringList> dialogs;
};

QAction *checkUpdatesAction(MainWindow &window)
{
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("检查更新(&U)"))
            return action;
    return nullptr;
}

UpdateChecker *checkerOf(MainWindow &window)
{
    return window.findChild<UpdateChecker *>();
}

// Finished requests of the window's checker.
std::unique_ptr<QSignalSpy> requestsOf(MainWindow &window)
{
    return std::make_unique<QSignalSpy>(checkerOf(window)->findChild<QNetworkAccessManager *>(),
                                        &QNetworkAccessManager::finished);
}

void setIdleTimeout(UpdateChecker &checker, int milliseconds)
{
    RequestLimits limits = checker.requestLimits();
    limits.idleTimeoutMs = milliseconds;
    checker.setRequestLimits(limits);
}

QString refusedUrl()
{
    return QStringLiteral("http://127.0.0.1:%1/update.json").arg(closedPort());
}

// Windows whose silent check after start has already run, against a refused port (so
// nothing showed): from then on only the test's own checks reach the server.
std::vector<std::unique_ptr<MainWindow>> windowsPastStartCheck(size_t count)
{
    const ScopedEnv refused("ZENTRIQ_UPDATE_URL", refusedUrl().toUtf8());
    std::vector<std::unique_ptr<MainWindow>> windows;
    std::vector<std::unique_ptr<QSignalSpy>> finished;
    for (size_t i = 0; i < count; ++i) {
        windows.push_back(std::make_unique<MainWindow>());
        finished.push_back(requestsOf(*windows.back()));
    }
    const bool checked = QTest::qWaitFor(
        [&] { return std::all_of(finished.begin(), finished.end(), [](const auto &spy) { return spy->count() == 1; }); },
        20000);
    EXPECT_TRUE(checked) << "the silent check after start did not run";
    return windows;
}

TEST(UpdateVersions, ComparesMajorMinorPatch)
{
    const struct
    {
        const char *candidate;
        const char *current;
        bool newer;
    } cases[] = {
        {"0.1.1", "0.1.0", true},    {"0.2", "0.1.9", true},      {"10.0.0", "9.9.9", true},
        {"1.x", "0.1.0", true},      {"0.1.0", "not a version", true},
        {"0.1", "0.1.0", false},     {"0.1.0.9", "0.1.0", false}, {"1.x", "1.0.0", false},
        {"2", "0.1.0", false},       {"", "0.1.0", false},        {"0.0.9", "0.1.0", false},
        {"99999999999.0", "0.1.0", false},  // past 32 bits: reads as 0
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.candidate) + " against " + c.current);
        EXPECT_EQ(UpdateChecker::isNewer(QString::fromUtf8(c.candidate), QString::fromUtf8(c.current)), c.newer);
    }
    int major = -1, minor = -1, patch = -1;
    EXPECT_FALSE(UpdateChecker::parseVersion(QStringLiteral("7"), major, minor, patch));
    EXPECT_EQ(major, -1);
    EXPECT_TRUE(UpdateChecker::parseVersion(QStringLiteral("3.4"), major, minor, patch));
    EXPECT_EQ((std::vector{major, minor, patch}), (std::vector{3, 4, 0}));
}

// A reply that failed with `code` and the network library's English text.
class FailedReply : public QNetworkReply
{
public:
    FailedReply(NetworkError code, const QString &english)
    {
        setError(code, english);
        setAttribute(QNetworkRequest::HttpStatusCodeAttribute, 500);
        open(QIODevice::ReadOnly);
    }
    void abort() override {}

protected:
    qint64 readData(char *, qint64) override { return -1; }
};

TEST(UpdateFailureTexts, EveryNetworkErrorReadsInChinese)
{
    const QString english = QStringLiteral("Host update.example not found");
    const QMetaEnum errors = QMetaEnum::fromType<QNetworkReply::NetworkError>();
    for (int i = 0; i < errors.keyCount(); ++i) {
        const auto code = QNetworkReply::NetworkError(errors.value(i));
        if (code == QNetworkReply::NoError)
            continue;
        SCOPED_TRACE(errors.key(i));
        const FailedReply reply(code, english);
        const QString text = requestFailure(reply);
        // Chinese words, and of Latin letters only an HTTP status.
        EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.script() == QChar::Script_Han; }))
            << text.toStdString();
        const QString rest = QString(text).remove(QStringLiteral("HTTP"));
        EXPECT_FALSE(std::any_of(rest.begin(), rest.end(), [](QChar c) { return c.script() == QChar::Script_Latin; }))
            << text.toStdString();
    }
}

TEST(UpdateCheck, ReadsTheManifestAndSendsItsUserAgent)
{
    UpdateTestServer server;
    ZENTRIQ_REQUIRE(server.started(), "python3 cannot run the local web server");
    const UpdateSurroundings surroundings(server.url("/update.json"));
    const struct
    {
        const char *name;
        QJsonObject manifest;
        UpdateInfo expected;
    } cases[] = {
        {"every key of its type",
         {{"version", "0.2.0"}, {"build", 42}, {"downloadUrl", "https://x/A.exe"}, {"releaseNotes", "新"},
          {"fileSize", 1234.9}},
         {"0.2.0", 42, "https://x/A.exe", "新", 1234}},
        {"keys of other types read as defaults",
         {{"version", "0.2.0"}, {"build", "7"}, {"downloadUrl", "https://x/A.exe"}, {"releaseNotes", 5},
          {"fileSize", "1024"}},
         {"0.2.0", 0, "https://x/A.exe", "", 0}},
        {"a fractional build", {{"version", "0.2.0"}, {"build", 1.5}, {"downloadUrl", "https://x/A.exe"}},
         {"0.2.0", 0, "https://x/A.exe", "", 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        server.write(QStringLiteral("fields.json"), QJsonDocument(c.manifest).toJson());
        UpdateChecker checker;
        checker.setUpdateUrl(server.url("/fields.json"));
        QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
        checker.checkForUpdates(false);
        ASSERT_TRUE(available.wait(10000));
        const auto info = available.first().first().value<UpdateInfo>();
        EXPECT_EQ(info.version, c.expected.version);
        EXPECT_EQ(info.build, c.expected.build);
        EXPECT_EQ(info.downloadUrl, c.expected.downloadUrl);
        EXPECT_EQ(info.releaseNotes, c.expected.releaseNotes);
        EXPECT_EQ(info.fileSize, c.expected.fileSize);
    }
    const QStringList requests = server.requests();
    ASSERT_FALSE(requests.isEmpty());
    EXPECT_EQ(requests.first(), QStringLiteral("GET\t/fields.json\tZentriqStudio/0.1.0"));
}

enum class Answer { Update, UpToDate, Failure };
enum class Where { Served, Missing, Hangs, Refused, Endless, RedirectedHere, RedirectedAway };

struct ManifestCase
{
    const char *name;
    Where where;
    QByteArray body;
    Answer answer;
    QString message = {};  // a failure's text, or its beginning when it ends in "..."
};

const std::vector<ManifestCase> &manifestCases()
{
    static const std::vector<ManifestCase> cases = {
        {"older 0.0.9", Where::Served, manifest("0.0.9"), Answer::UpToDate},
        {"equal 0.1.0", Where::Served, manifest("0.1.0"), Answer::UpToDate},
        {"newer 0.1.1", Where::Served, manifest("0.1.1"), Answer::Update},
        {"newer 0.2", Where::Served, manifest("0.2"), Answer::Update},
        {"newer 1.0.0", Where::Served, manifest("1.0.0"), Answer::Update},
        {"one part \"2\"", Where::Served, manifest("2"), Answer::UpToDate},
        {"empty downloadUrl", Where::Served, manifest("0.2.0", ""), Answer::Failure, "更新数据缺少必要字段"},
        {"not JSON", Where::Served, "<html>update</html>", Answer::Failure, "更新数据格式错误"},
        {"a JSON array", Where::Served, "[" + manifest("0.2.0") + "]", Answer::Failure, "更新数据格式错误"},
        {"404", Where::Missing, {}, Answer::Failure, "网络错误: 服务器上没有这个文件 (HTTP 404)"},
        {"refused connection", Where::Refused, {}, Answer::Failure, "网络错误: 服务器拒绝连接"},
        {"server never answers", Where::Hangs, {}, Answer::Failure, "网络错误: 请求超时"},
        {"a manifest over 1 MB", Where::Served, manifestWithNotes(QString(1100000, QLatin1Char('x'))),
         Answer::Failure, "网络错误: 服务器发送的数据超过了上限 (1048576 字节)"},
        {"a server that never stops sending", Where::Endless, manifest("0.2.0"), Answer::Failure,
         "网络错误: 服务器发送的数据超过了上限 (1048576 字节)"},
        {"a redirect on the same host", Where::RedirectedHere, manifest("0.2.0"), Answer::Update},
        {"a redirect to another host", Where::RedirectedAway, manifest("0.2.0"), Answer::Failure,
         "网络错误: 服务器重定向到了不允许的地址"},
    };
    return cases;
}

QString manifestUrl(UpdateTestServer &server, const ManifestCase &c, int index)
{
    const QString name = QStringLiteral("/case%1.json").arg(index);
    switch (c.where) {
    case Where::Served:
        server.write(name.mid(1), c.body);
        return server.url(name);
    case Where::Missing:
        return server.url(name);
    case Where::Hangs:
        return server.url(name + "?hang=1");
    case Where::Refused:
        return refusedUrl();
    case Where::Endless:
        server.write(name.mid(1), c.body);
        return server.url(name + "?endless=1");
    case Where::RedirectedHere:
    case Where::RedirectedAway: {
        server.write(name.mid(1), c.body);
        QUrl target(server.url(name));
        if (c.where == Where::RedirectedAway)
            target.setHost(QStringLiteral("localhost"));
        return server.url("/moved.json?redirect=" + QUrl::toPercentEncoding(target.toString()));
    }
    }
    return QString();
}

// What one check must leave on the screen: the update dialog for an update in both modes;
// otherwise one box in manual mode and nothing at all in silent mode.
void expectShown(const QStringList &shown, const ManifestCase &c, bool silent)
{
    if (c.answer == Answer::Update) {
        ASSERT_EQ(shown.size(), 1) << shown.join(" | ").toStdString();
        EXPECT_TRUE(shown[0].startsWith(QStringLiteral("dialog 当前版本: 0.1.0  →  最新版本: ")))
            << shown[0].toStdString();
        return;
    }
    if (silent) {
        EXPECT_TRUE(shown.isEmpty()) << shown.join(" | ").toStdString();
        return;
    }
    ASSERT_EQ(shown.size(), 1) << shown.join(" | ").toStdString();
    if (c.answer == Answer::UpToDate) {
        EXPECT_EQ(shown[0], QStringLiteral("box 检查更新: 当前已是最新版本。"));
    } else if (c.message.endsWith(QStringLiteral("..."))) {
        EXPECT_TRUE(shown[0].startsWith(QStringLiteral("box 检查更新: ") + c.message.chopped(3))) << shown[0].toStdString();
        EXPECT_GT(shown[0].size(), QStringLiteral("box 检查更新: ").size() + c.message.size() - 3);
    } else {
        EXPECT_EQ(shown[0], QStringLiteral("box 检查更新: ") + c.message);
    }
}

class UpdateCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(server.started(), "python3 cannot run the local web server");
        surroundings.emplace(server.url("/update.json"));
    }

    // A window past its start check whose checker asks for the server's update.json,
    // which names `version`.
    std::unique_ptr<MainWindow> windowFinding(const QString &version)
    {
        server.write(QStringLiteral("update.json"), manifest(version));
        auto windows = windowsPastStartCheck(1);
        checkerOf(*windows[0])->setUpdateUrl(server.url("/update.json"));
        return std::move(windows[0]);
    }

    TemporarySettingsStore store;
    UpdateTestServer server;
    std::optional<UpdateSurroundings> surroundings;
};

// The real silent check, 3 s after start, of one window per manifest, all at once.
TEST_F(UpdateCheckTest, SilentCheckAfterStartShowsOnlyAnUpdate)
{
    ShownOverWindows recorder;
    const auto &cases = manifestCases();
    std::vector<std::unique_ptr<MainWindow>> windows;
    std::vector<std::unique_ptr<QSignalSpy>> finished;
    for (size_t i = 0; i < cases.size(); ++i) {
        const ScopedEnv address("ZENTRIQ_UPDATE_URL", manifestUrl(server, cases[i], int(i)).toUtf8());
        windows.push_back(std::make_unique<MainWindow>());
        setIdleTimeout(*checkerOf(*windows.back()), 2000);
        finished.push_back(requestsOf(*windows.back()));
    }
    const auto allFinished = [&] {
        return std::all_of(finished.begin(), finished.end(), [](const auto &spy) { return spy->count() == 1; });
    };
    EXPECT_TRUE(QTest::qWaitFor(allFinished, 20000));
    // A dialog opens once the reply is done with, one window after another.
    const auto updatesShown = [&] {
        for (size_t i = 0; i < cases.size(); ++i)
            if (cases[i].answer == Answer::Update && recorder.over(windows[i].get()).isEmpty())
                return false;
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(updatesShown, 20000));
    QTest::qWait(300);  // and nothing else shows meanwhile
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        expectShown(recorder.over(windows[i].get()), cases[i], true);
    }
}

TEST_F(UpdateCheckTest, ManualCheckFromTheHelpMenuShowsOneAnswer)
{
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    const auto &cases = manifestCases();
    const auto windows = windowsPastStartCheck(cases.size());
    ShownOverWindows recorder;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        MainWindow &window = *windows[i];
        checkerOf(window)->setUpdateUrl(manifestUrl(server, cases[i], int(i)));
        setIdleTimeout(*checkerOf(window), 2000);
        QElapsedTimer clock;
        clock.start();
        const int ticksBefore = ticks;
        checkUpdatesAction(window)->trigger();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !recorder.over(&window).isEmpty(); }, 10000));
        if (cases[i].where == Where::Hangs) {
            // Timed out, not failed at once, and the program went on meanwhile.
            EXPECT_GE(clock.elapsed(), 1900);
            EXPECT_GE(ticks - ticksBefore, 10);
        }
        QTest::qWait(300);
        expectShown(recorder.over(&window), cases[i], false);
    }
}

// A server that keeps the request alive with a byte now and then is cut off by the time
// limit, which the stall timer never reaches.
TEST_F(UpdateCheckTest, ADripThatNeverEndsIsCutOffByTheTimeLimit)
{
    server.write(QStringLiteral("drip.json"), manifest(QStringLiteral("0.2.0")));
    UpdateChecker checker;
    checker.setUpdateUrl(server.url("/drip.json?drip=1"));
    RequestLimits limits = checker.requestLimits();
    limits.totalTimeoutMs = 1000;
    checker.setRequestLimits(limits);
    QSignalSpy failed(&checker, &UpdateChecker::checkFailed);
    checker.checkForUpdates(false);
    ASSERT_TRUE(failed.wait(20000));
    EXPECT_EQ(failed.first().first().toString(), QStringLiteral("网络错误: 请求用时过长"));
}

TEST_F(UpdateCheckTest, EachManualCheckEndsInOneBox)
{
    const auto window = windowFinding(QStringLiteral("0.1.0"));
    ShownOverWindows recorder;
    QStringList shown;
    const auto shows = [&](qsizetype count) {
        const bool reached = QTest::qWaitFor([&] { return recorder.over(window.get()).size() >= count; }, 10000);
        shown = recorder.over(window.get());
        return reached;
    };
    UpdateChecker *checker = checkerOf(*window);
    setIdleTimeout(*checker, 500);

    checkUpdatesAction(*window)->trigger();
    ASSERT_TRUE(shows(1));
    EXPECT_EQ(shown[0], QStringLiteral("box 检查更新: 当前已是最新版本。"));

    // A later failing check: one warning box, no leftover answer of the first check.
    checker->setUpdateUrl(refusedUrl());
    checkUpdatesAction(*window)->trigger();
    ASSERT_TRUE(shows(2));
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("box 检查更新: 网络错误: "))) << shown[1].toStdString();

    // Asked twice while the silent check still waits: one request and one answer, which
    // a manual check no longer keeps silent.
    checker->setUpdateUrl(server.url("/update.json?hang=1"));
    window->onAutoUpdateCheck();
    checkUpdatesAction(*window)->trigger();
    checkUpdatesAction(*window)->trigger();
    ASSERT_TRUE(shows(3));
    QTest::qWait(700);
    shows(3);
    EXPECT_EQ(shown.size(), 3) << shown.join(" | ").toStdString();
    EXPECT_EQ(shown[2], QStringLiteral("box 检查更新: 网络错误: 请求超时"));
    EXPECT_EQ(server.requests().filter(QStringLiteral("hang=1")).size(), 1);

    // A silent check asked for while a manual one waits does not silence its answer.
    checkUpdatesAction(*window)->trigger();
    window->onAutoUpdateCheck();
    ASSERT_TRUE(shows(4));
    QTest::qWait(700);
    shows(4);
    EXPECT_EQ(shown.size(), 4) << shown.join(" | ").toStdString();
    EXPECT_EQ(shown[3], QStringLiteral("box 检查更新: 网络错误: 请求超时"));
}

TEST_F(UpdateCheckTest, AnUpdateNeverOpensASecondDialog)
{
    const auto window = windowFinding(QStringLiteral("0.2.0"));
    auto finished = requestsOf(*window);

    // While the first dialog is open, a manual and a silent check both find the update again.
    int openDialogs = 0;
    int boxes = 0;
    const auto answered = answerNextDialog<UpdateDialog>([&](UpdateDialog *dialog) {
        checkUpdatesAction(*window)->trigger();
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished->count() == 2; }, 10000));
        window->onAutoUpdateCheck();
        EXPECT_TRUE(QTest::qWaitFor([&] { return finished->count() == 3; }, 10000));
        QTest::qWait(300);
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            openDialogs += widget->isVisible() && qobject_cast<UpdateDialog *>(widget);
            boxes += widget->isVisible() && qobject_cast<QMessageBox *>(widget);
        }
        dialog->reject();
    }, 10000);
    window->onAutoUpdateCheck();
    EXPECT_TRUE(QTest::qWaitFor([&] { return *answered; }, 10000));
    EXPECT_EQ(finished->count(), 3);
    EXPECT_EQ(openDialogs, 1);
    EXPECT_EQ(boxes, 0);

    // Nothing was kept back to open afterwards.
    const auto again = answerNextDialog<UpdateDialog>([](UpdateDialog *dialog) { dialog->reject(); }, 500);
    QTest::qWait(700);
    EXPECT_FALSE(*again);
}

// Makes this process trust `certificate` while it lives.
class TrustedCertificate
{
public:
    explicit TrustedCertificate(const QString &certificate) : previous(QSslConfiguration::defaultConfiguration())
    {
        QSslConfiguration trusting = previous;
        trusting.addCaCertificates(certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustedCertificate() { QSslConfiguration::setDefaultConfiguration(previous); }
    TrustedCertificate(const TrustedCertificate &) = delete;
    TrustedCertificate &operator=(const TrustedCertificate &) = delete;

private:
    QSslConfiguration previous;
};

// Over HTTPS a redirect on the same host is followed, but never one to plain HTTP, even to an
// address the check would fetch from directly.
TEST(UpdateCheckTls, NoRedirectFromHttpsToHttp)
{
    ZENTRIQ_REQUIRE(toolAvailable(QStringLiteral("openssl")), "openssl is not installed");
    const TestCertificate certificate;
    ASSERT_TRUE(certificate.made()) << "openssl made no certificate";
    UpdateTestServer secure(certificate.tls());
    UpdateTestServer plain;
    ZENTRIQ_REQUIRE(secure.started() && plain.started(), "python3 cannot run the local web server");
    secure.write(QStringLiteral("update.json"), manifest(QStringLiteral("0.2.0")));
    plain.write(QStringLiteral("update.json"), manifest(QStringLiteral("0.2.0")));
    const UpdateSurroundings surroundings(plain.url("/update.json"));
    const TrustedCertificate trusted(certificate.certificate());
    const auto redirectTo = [&](const QString &url) {
        return secure.url("/moved.json?redirect=" + QUrl::toPercentEncoding(url));
    };
    const struct
    {
        const char *name;
        QString url;
        QString failure;  // empty: the update is found
    } cases[] = {
        {"served over HTTPS", secure.url("/update.json"), {}},
        {"redirected on the same host", redirectTo(secure.url("/update.json")), {}},
        {"redirected to plain HTTP", redirectTo(plain.url("/update.json")),
         QStringLiteral("网络错误: 服务器重定向到了不允许的地址")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UpdateChecker checker;
        checker.setUpdateUrl(c.url);
        QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
        QSignalSpy failed(&checker, &UpdateChecker::checkFailed);
        checker.checkForUpdates(false);
        ASSERT_TRUE(QTest::qWaitFor([&] { return available.count() + failed.count() > 0; }, 20000));
        const QString failure = failed.isEmpty() ? QString() : failed.first().first().toString();
        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(available.count(), c.failure.isEmpty() ? 1 : 0);
    }
    EXPECT_TRUE(plain.requests().isEmpty()) << "the redirect to plain HTTP was followed";
}

} // namespace
