// SPDX-License-Identifier: GPL-3.0-or-later
// The multitrack page's SoundFont folder: opened SoundFonts are copied into it and the
// first one is loaded at start; a file that does not load changes nothing. Also the rate and
// block size of the page's plug-in bridge.
#include "Requirement.h"
#include "TestFiles.h"

#include "multitrack/MultiTrackEditorPage.h"
#include "plugins/AudioPluginBridge.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

QStringList &warnings()
{
    static QStringList lines;
    return lines;
}

void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings().append(message);
}

const QString kSoundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

class SoundFontFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(QFileInfo::exists(kSoundFont), "timgm6mb-soundfont is not installed");
        goodBytes = readAll(kSoundFont);
        // The folder lives in the per-user data location; point it at this test's own folder.
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", files.path(QStringLiteral("data")).toUtf8());
        page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        folder = page->sf2Directory();
    }

    void TearDown() override
    {
        page.reset();
        qputenv("XDG_DATA_HOME", savedDataHome);
    }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // A SoundFont cut short: its header promises more than the file holds.
    QByteArray damagedBytes() const { return goodBytes.left(100000); }

    QString writeFile(const QString &path, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    TestFiles files;
    QByteArray goodBytes;
    QByteArray savedDataHome;
    ProjectDocument document;  // outlives the page
    std::unique_ptr<MultiTrackEditorPage> page;
    QString folder;
};

TEST_F(SoundFontFolderTest, CopiesIntoTheFolderAndLoadsTheCopy)
{
    EXPECT_FALSE(QFileInfo::exists(folder));
    const QString source = writeFile(files.path(QStringLiteral("desk/My Font.sf2")), goodBytes);
    ASSERT_TRUE(page->copyAndLoadSoundFont(source));
    EXPECT_TRUE(page->document().sf2Sampler.isLoaded());
    EXPECT_FALSE(page->document().sf2Sampler.getPresetNames().isEmpty());
    EXPECT_EQ(readAll(folder + QStringLiteral("/My Font.sf2")), goodBytes);
}

TEST_F(SoundFontFolderTest, ReplacesASameNamedFileAndLoadsOneInPlace)
{
    writeFile(folder + QStringLiteral("/Font.sf2"), QByteArray("an older file of that name"));
    const QString source = writeFile(files.path(QStringLiteral("desk/Font.sf2")), goodBytes);
    ASSERT_TRUE(page->copyAndLoadSoundFont(source));
    EXPECT_EQ(readAll(folder + QStringLiteral("/Font.sf2")), goodBytes);

    // Opening the copy itself loads it where it lies, untouched.
    const QString copy = folder + QStringLiteral("/Font.sf2");
    {
        QFile file(copy);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
    }
    const QDateTime modified = QFileInfo(copy).lastModified();
    ASSERT_TRUE(page->copyAndLoadSoundFont(copy));
    EXPECT_EQ(QFileInfo(copy).lastModified(), modified);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Font.sf2")});
}

TEST_F(SoundFontFolderTest, ADamagedFileChangesNeitherTheInstrumentNorTheFolder)
{
    const QString good = writeFile(files.path(QStringLiteral("desk/Font.sf2")), goodBytes);
    ASSERT_TRUE(page->copyAndLoadSoundFont(good));
    const QList<QString> presets = page->document().sf2Sampler.getPresetNames();

    const QString damagedPaths[] = {writeFile(files.path(QStringLiteral("other/Font.sf2")), damagedBytes()),
                                    writeFile(files.path(QStringLiteral("other/Broken.sf2")), damagedBytes()),
                                    writeFile(files.path(QStringLiteral("other/Text.sf2")), "not a SoundFont")};
    for (const QString &damaged : damagedPaths) {
        SCOPED_TRACE(damaged.toStdString());
        EXPECT_FALSE(page->copyAndLoadSoundFont(damaged));
        EXPECT_TRUE(page->document().sf2Sampler.isLoaded());
        EXPECT_EQ(page->document().sf2Sampler.getPresetNames(), presets);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Font.sf2")});
        EXPECT_EQ(readAll(folder + QStringLiteral("/Font.sf2")), goodBytes);
    }
}

// Loading a file as it lies copies nothing into the folder; a file that does not load leaves
// no SoundFont loaded.
TEST_F(SoundFontFolderTest, LoadingInPlaceCopiesNothingAndAFailureLeavesNone)
{
    const QString source = writeFile(files.path(QStringLiteral("desk/Font.sf2")), goodBytes);
    EXPECT_TRUE(page->loadSoundFont(source));
    EXPECT_TRUE(page->document().sf2Sampler.isLoaded());
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(page->loadSoundFont(writeFile(files.path(QStringLiteral("desk/Broken.sf2")), damagedBytes())));
    EXPECT_FALSE(page->document().sf2Sampler.isLoaded());
}

TEST_F(SoundFontFolderTest, LoadsTheGivenFileWhenTheFolderCannotBeMade)
{
    writeFile(folder, QByteArray("a file where the folder belongs"));
    const QString source = writeFile(files.path(QStringLiteral("desk/Font.sf2")), goodBytes);
    EXPECT_TRUE(page->copyAndLoadSoundFont(source));
    EXPECT_TRUE(page->document().sf2Sampler.isLoaded());
}

TEST_F(SoundFontFolderTest, StartLoadsTheFirstFileThatLoadsByNameIgnoringCase)
{
    page->scanAndLoadExistingSf2();  // no folder yet
    EXPECT_FALSE(page->document().sf2Sampler.isLoaded());
    EXPECT_FALSE(QFileInfo::exists(folder));

    // The files are tried in order; a damaged one is skipped with a warning naming it.
    const struct
    {
        const char *goodName;
        const char *damagedName;
        const char *skipped;
    } cases[] = {{"A.sf2", "b.sf2", nullptr}, {"B.sf2", "a.sf2", "a.sf2"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.goodName);
        QDir(folder).removeRecursively();
        writeFile(folder + QLatin1Char('/') + QLatin1String(c.goodName), goodBytes);
        writeFile(folder + QLatin1Char('/') + QLatin1String(c.damagedName), damagedBytes());
        ProjectDocument freshDocument;
        MultiTrackEditorPage fresh(freshDocument, nullptr);
        warnings().clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        fresh.scanAndLoadExistingSf2();
        qInstallMessageHandler(previous);
        EXPECT_TRUE(fresh.document().sf2Sampler.isLoaded());
        const bool warned = std::any_of(warnings().cbegin(), warnings().cend(), [&](const QString &line) {
            return c.skipped && line.contains(QLatin1String(c.skipped));
        });
        EXPECT_EQ(warned, c.skipped != nullptr);
    }
}

TEST(MultiTrackPagePluginBridgeTest, RunsAtThePageRateWith512FrameBlocks)
{
    ProjectDocument document;
    MultiTrackEditorPage page(document, nullptr);
    ASSERT_NE(page.bridge(), nullptr);
    EXPECT_TRUE(page.bridge()->isInitialized());
    EXPECT_EQ(page.bridge()->sampleRate(), 44100);
    EXPECT_EQ(page.bridge()->blockSize(), 512);

    page.setSampleRate(96000);
    EXPECT_TRUE(page.bridge()->isInitialized());
    EXPECT_EQ(page.bridge()->sampleRate(), 96000);
    EXPECT_EQ(page.bridge()->blockSize(), 512);
}

} // namespace
