// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its pages, status label, settings, About box and close handling.
#include "AppTestSupport.h"
#include "OracleTool.h"

#include "app/MainWindow.h"
#include "app/QtTranslations.h"
#include "app/WindowPlacement.h"
#include "ui/LoadingOverlay.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTranslator>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class MainWindowTest : public ::testing::Test
{
protected:
    TemporarySettingsStore store;
};

QString statusLabelText(MainWindow &window)
{
    auto *label = window.findChild<QLabel *>(QStringLiteral("StatusLabel"));
    return label ? label->text() : QString();
}

TEST_F(MainWindowTest, BuildsTheFourPagesInOrderAndShowsTheStartPage)
{
    MainWindow window;
    auto *stack = qobject_cast<QStackedWidget *>(window.centralWidget());
    ASSERT_NE(stack, nullptr);

    const struct
    {
        const char *className;
        const char *objectName;
    } pages[] = {{"WelcomePage", "WelcomePage"},
                 {"AudioEditorPage", "AudioEditorPage"},
                 {"MultiTrackEditorPage", "MultiTrackEditorPage"},
                 {"MixerPage", "MixerPage"}};
    ASSERT_EQ(stack->count(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(pages[i].className);
        EXPECT_STREQ(stack->widget(i)->metaObject()->className(), pages[i].className);
        EXPECT_EQ(stack->widget(i)->objectName(), QLatin1String(pages[i].objectName));
    }
    EXPECT_EQ(stack->currentIndex(), 0);
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("就绪"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ZentriqStudio"));
}

TEST_F(MainWindowTest, StatusLabelNamesTheProjectAndItsType)
{
    const QString clock = QStringLiteral(" \\| \\d\\d:\\d\\d:\\d\\d$");
    const struct
    {
        bool open;
        QString type;
        QString path;
        QString pattern;
    } cases[] = {
        {false, QStringLiteral("single"), QString(), QStringLiteral("^未打开项目") + clock},
        {false, QStringLiteral("multi"), QStringLiteral("/p/a.zqp"), QStringLiteral("^未打开项目") + clock},
        {true, QStringLiteral("single"), QString(), QStringLiteral("^项目: 未命名 \\| 类型: 单轨") + clock},
        {true, QStringLiteral("multi"), QStringLiteral("/p/song.x.zqp"), QStringLiteral("^项目: song \\| 类型: 多轨") + clock},
        // Any type other than exactly "single" is a multitrack project.
        {true, QStringLiteral("Single"), QStringLiteral("/p/a.zqp"), QStringLiteral("^项目: a \\| 类型: 多轨") + clock},
        // Placeholders inside the name are not filled with the other arguments.
        {true, QStringLiteral("single"), QStringLiteral("/p/mix%2%3.zqp"),
         QStringLiteral("^项目: mix%2%3 \\| 类型: 单轨") + clock},
    };

    MainWindow window;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pattern.toStdString());
        window.projectOpen = c.open;
        window.projectType = c.type;
        window.projectPath = c.path;
        window.updateStatusBar();
        const QString text = statusLabelText(window);
        EXPECT_TRUE(QRegularExpression(c.pattern).match(text).hasMatch()) << text.toStdString();
    }
}

TEST_F(MainWindowTest, WindowSettingsRoundTrip)
{
    QByteArray savedState;
    QRect savedGeometry;
    {
        MainWindow first;
        savedState = first.saveState();
        savedGeometry = first.geometry();
    }
    {
        QSettings settings;
        EXPECT_EQ(settings.value(QStringLiteral("window/state")).toByteArray(), savedState);
        EXPECT_EQ(settings.value(QStringLiteral("window/geometry")).toRect(), savedGeometry);
    }
    ASSERT_FALSE(savedState.isEmpty());

    MainWindow second;
    EXPECT_EQ(second.saveState(), savedState);
}

TEST_F(MainWindowTest, FirstStartFitsTheWindowIntoThePrimaryScreen)
{
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placement = fitWindowToScreen(QSize(1920, 1080), available);
    EXPECT_EQ(window.frameGeometry().topLeft(), placement.topLeft()) << "the title bar must be on the screen";
    EXPECT_EQ(window.size(), placement.size());
}

TEST_F(MainWindowTest, ShrinksToASmallLaptopScreen)
{
    // The pages' minimum sizes must not hold the window taller or wider than the screen.
    MainWindow window;
    window.show();
    const QRect laptop = fitWindowToScreen(QSize(1920, 1080), QRect(0, 0, 1280, 690));
    window.resize(laptop.size());
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), laptop.size());
}

TEST(WindowPlacement, FitsThePreferredSizeIntoTheAvailableArea)
{
    const struct
    {
        const char *name;
        QRect available;
        QRect expected;
    } cases[] = {
        {"full HD, no panel: the preferred size at the origin", {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        {"4K: centred", {0, 0, 3840, 2160}, {960, 540, 1920, 1080}},
        {"laptop: shrunk to the screen", {0, 0, 1366, 768}, {0, 0, 1366, 768}},
        {"full HD under a top panel", {0, 27, 1920, 1053}, {0, 27, 1920, 1053}},
        {"wide but short: only the height shrinks", {0, 0, 2560, 900}, {320, 0, 1920, 900}},
        {"second screen to the right", {1920, 0, 2560, 1440}, {2240, 180, 1920, 1080}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fitWindowToScreen(QSize(1920, 1080), c.available), c.expected);
    }
}

// The shared libraries the program itself names, as readelf reads them from its file.
QStringList neededLibraries(const QString &program)
{
    const ToolResult result = runTool(QStringLiteral("readelf"), {QStringLiteral("-d"), program});
    EXPECT_TRUE(result.ok()) << result.standardError.toStdString();
    QStringList libraries;
    static const QRegularExpression needed(QStringLiteral(R"(\(NEEDED\).*\[(.+)\])"));
    for (const QString &line : QString::fromUtf8(result.standardOutput).split(QLatin1Char('\n')))
        if (const QRegularExpressionMatch match = needed.match(line); match.hasMatch())
            libraries << match.captured(1);
    return libraries;
}

TEST_F(MainWindowTest, AboutBoxNamesEveryComponentTheProgramUsesAndNothingElse)
{
    MainWindow window;
    QString text;
    QString title;
    QSize iconSize;
    auto answered = answerNextDialog<QMessageBox>([&](QMessageBox *box) {
        text = box->text();
        title = box->windowTitle();
        iconSize = box->iconPixmap().size();
        box->accept();
    });
    window.showAbout();
    ASSERT_TRUE(*answered);

    EXPECT_EQ(title, QStringLiteral("关于ZentriqStudio"));
    EXPECT_TRUE(text.contains(QStringLiteral("<p>版本 0.1.0</p>"))) << text.toStdString();
    EXPECT_EQ(iconSize, QSize(64, 64));

    QStringList listed;
    static const QRegularExpression component(QStringLiteral("<b>([^<]+)</b> — ([^<]+)</p>"));
    for (auto it = component.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        listed << match.captured(1);
        EXPECT_FALSE(match.captured(2).trimmed().isEmpty()) << "no licence for " << match.captured(1).toStdString();
    }

    // Library file names to the component they belong to. The C and C++ runtimes, the
    // sanitizers and the GL dispatch Qt's GUI loads are the system's, not components.
    const struct
    {
        const char *prefix;
        const char *component;
    } libraries[] = {
        {"libQt6", "Qt"},        {"libavformat", "FFmpeg"},   {"libavcodec", "FFmpeg"},   {"libavutil", "FFmpeg"},
        {"libswresample", "FFmpeg"}, {"libswscale", "FFmpeg"}, {"librtaudio", "RtAudio"}, {"librtmidi", "RtMidi"},
        {"libmp3lame", "LAME"},  {"libmpg123", "mpg123"},     {"libFLAC", "libFLAC"},     {"libvorbis", "libvorbis"},
        {"libogg", "libogg"},    {"libfluidsynth", "FluidSynth"}, {"libfftw3", "FFTW"}, {"libpulse", "PulseAudio"},
    };
    const QStringList system = {"libc.so", "libm.so", "libstdc++", "libgcc_s", "ld-linux", "libasan", "libubsan",
                                "libtsan", "libGLX", "libOpenGL", "libGL.so"};
    // Used without a library of their own: the plug-in interfaces are compiled in, the piano
    // recordings are built in, and libvorbisfile reads Ogg through libogg.
    QStringList used = {"VST3 SDK", "FluidR3_GM", "libogg"};
    const QStringList needed = neededLibraries(QStringLiteral(ZENTRIQ_PROGRAM));
    ASSERT_FALSE(needed.isEmpty());
    for (const QString &library : needed) {
        SCOPED_TRACE(library.toStdString());
        if (std::any_of(system.begin(), system.end(), [&](const QString &s) { return library.startsWith(s); }))
            continue;
        const auto *known = std::find_if(std::begin(libraries), std::end(libraries),
                                         [&](const auto &l) { return library.startsWith(QLatin1String(l.prefix)); });
        ASSERT_NE(known, std::end(libraries)) << "a library the About box does not know of";
        used << QString::fromUtf8(known->component);
    }
    used.removeDuplicates();
    for (const QString &name : used)
        EXPECT_TRUE(listed.contains(name)) << "missing from the About box: " << name.toStdString();
    for (const QString &name : listed)
        EXPECT_TRUE(used.contains(name)) << "listed but not used: " << name.toStdString();
}

TEST_F(MainWindowTest, QtsOwnButtonsAndFileDialogSpeakChinese)
{
    ASSERT_TRUE(installQtTranslations(*QCoreApplication::instance()))
        << "Qt's Simplified Chinese catalogue is missing (scripts/install-deps.sh installs qt6-translations-l10n)";
    const auto uninstall = qScopeGuard([] {
        for (QTranslator *translator : QCoreApplication::instance()->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    });

    QMessageBox box(QMessageBox::Question, QStringLiteral("关闭项目"), QStringLiteral("保存吗？"),
                    QMessageBox::Ok | QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel |
                        QMessageBox::Yes | QMessageBox::No);
    const struct
    {
        QMessageBox::StandardButton button;
        const char *text;
    } buttons[] = {{QMessageBox::Ok, "确定"},     {QMessageBox::Save, "保存"}, {QMessageBox::Discard, "丢弃"},
                   {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是(&Y)"}, {QMessageBox::No, "否(&N)"}};
    for (const auto &b : buttons)
        EXPECT_EQ(box.button(b.button)->text(), QString::fromUtf8(b.text));

    // The file dialogs are Qt's own widgets: their labels and buttons come from the catalogue.
    QFileDialog dialog(nullptr, QStringLiteral("导入音频/视频"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const struct
    {
        const char *label;
        const char *text;
    } labels[] = {{"lookInLabel", "查找范围："}, {"fileNameLabel", "文件名称(&N)："}, {"fileTypeLabel", "文件类型："}};
    for (const auto &l : labels) {
        auto *label = dialog.findChild<QLabel *>(QLatin1String(l.label));
        ASSERT_NE(label, nullptr) << l.label;
        EXPECT_EQ(label->text(), QString::fromUtf8(l.text));
    }
    EXPECT_EQ(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QStringLiteral("文件夹"));
    auto *buttonBox = dialog.findChild<QDialogButtonBox *>();
    ASSERT_NE(buttonBox, nullptr);
    EXPECT_EQ(buttonBox->button(QDialogButtonBox::Open)->text(), QStringLiteral("打开(&O)"));
    EXPECT_EQ(buttonBox->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

TEST_F(MainWindowTest, ShowLoadingCoversThePageStack)
{
    MainWindow window;
    window.show();
    auto *stack = qobject_cast<QStackedWidget *>(window.centralWidget());
    auto *overlay = stack->findChild<LoadingOverlay *>();
    ASSERT_NE(overlay, nullptr);
    EXPECT_FALSE(overlay->isVisible());

    window.showLoading(QStringLiteral("正在打开工程..."));
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->geometry(), QRect(QPoint(0, 0), stack->size()));
    window.hideLoading();
    EXPECT_FALSE(overlay->isVisible());
}

TEST_F(MainWindowTest, CloseAsksOnlyWithAProjectAndKeepsTheWindowUnlessItMayGo)
{
    const struct
    {
        const char *name;
        bool projectOpen;
        QMessageBox::StandardButton answer; // NoButton: no question expected
        bool closes;
    } cases[] = {
        {"no project: closes without asking", false, QMessageBox::NoButton, true},
        {"cancel keeps the window", true, QMessageBox::Cancel, false},
        {"discard closes", true, QMessageBox::Discard, true},
        // An unsaved project has no path: Save asks for a name, and a cancelled dialog keeps it.
        {"an abandoned save keeps the window", true, QMessageBox::Save, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow window;
        window.projectOpen = c.projectOpen;
        window.show();
        QSettings().clear();

        QString question;
        std::shared_ptr<bool> asked = std::make_shared<bool>(false);
        if (c.answer != QMessageBox::NoButton) {
            asked = answerNextDialog<QMessageBox>([&](QMessageBox *box) {
                question = box->text();
                box->button(c.answer)->click();
            });
        }
        std::shared_ptr<bool> askedForName;
        if (c.answer == QMessageBox::Save)
            askedForName = answerNextFileDialog(QString());
        const bool closed = window.close();

        EXPECT_EQ(*asked, c.answer != QMessageBox::NoButton);
        if (*asked) {
            EXPECT_EQ(question, QStringLiteral("当前有打开的项目，是否在关闭前保存？"));
        }
        if (askedForName)
            EXPECT_TRUE(*askedForName);
        EXPECT_EQ(closed, c.closes);
        EXPECT_EQ(window.isVisible(), !c.closes);
        EXPECT_EQ(QSettings().contains(QStringLiteral("window/state")), c.closes);
    }
}

} // namespace
