// SPDX-License-Identifier: GPL-3.0-or-later
// Plug-ins on MIDI tracks, with Debian's zam-plugins: the instrument list offers the loaded
// ones before the SoundFont presets, a choice switches the track between plug-in and preset,
// and the VST3 button opens one editor window per plug-in on the page.
#include "Requirement.h"

#include "engine/SF2Sampler.h"
#include "multitrack/MultiTrackEditorPage.h"
#include "multitrack/TrackHeaderWidget.h"
#include "multitrack/TrackRowWidget.h"
#include "plugins/AudioPluginBridge.h"
#include "plugins/VST3PluginInstance.h"
#include "plugins/widgets/VST3EditorWindow.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kSoundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

std::string zamBundle(const char *name)
{
    return std::string("/usr/lib/vst3/") + name + ".vst3";
}

QStringList itemsOf(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

// A bridge holding ZamEQ2 under id 0 and ZamGate under id 3 (ids 1 and 2 unloaded again),
// and the SoundFont that supplies the presets.
class PluginRowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZENTRIQ_REQUIRE(QFileInfo::exists(kSoundFont), "timgm6mb-soundfont is not installed");
        ASSERT_TRUE(sf2.loadSoundFont(kSoundFont));
        presets = sf2.getPresetNames();
        ASSERT_GT(presets.size(), 5);
        bridge.initialize(44100, 512);
        for (const char *name : {"ZamEQ2", "ZamComp", "ZamTube", "ZamGate"})
            ASSERT_GE(bridge.loadPlugin(zamBundle(name)), 0) << name;
        ASSERT_TRUE(bridge.unloadPlugin(1));
        ASSERT_TRUE(bridge.unloadPlugin(2));
        track.type = TrackType::Midi;
        track.midiChannel = 2;
    }

    std::unique_ptr<TrackRowWidget> boundRow(bool withSoundFont = true, bool withBridge = true)
    {
        auto row = std::make_unique<TrackRowWidget>(nullptr);
        row->setTrackData(&track, 0, withSoundFont ? &sf2 : nullptr, nullptr, withBridge ? &bridge : nullptr);
        return row;
    }

    SF2Sampler sf2;
    QList<QString> presets;
    AudioPluginBridge bridge;
    TrackData track;
};

TEST_F(PluginRowTest, InstrumentListOffersTheLoadedPluginsBeforeThePresets)
{
    const QStringList plugins = {QStringLiteral("[VST3] ZamEQ2"), QStringLiteral("[VST3] ZamGate"), QString()};
    const struct
    {
        const char *what;
        bool soundFont;
        bool bridge;
        int pluginId;
        int instrumentIndex;
        int current;
        bool vst3Button;
    } cases[] = {
        {"a preset", true, true, -1, 1, 4, false},
        {"a preset past the SoundFont's end", true, true, -1, 100000, -1, false},  // -1: the last item
        {"the second plug-in", true, true, 3, 5, 1, true},
        {"a plug-in no longer loaded", true, true, 7, 0, 0, true},
        {"no SoundFont", false, true, -1, 4, 3, false},
        {"no plug-in host", true, false, -1, 1, 1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        track.pluginId = c.pluginId;
        track.instrumentIndex = c.instrumentIndex;
        const auto row = boundRow(c.soundFont, c.bridge);
        const QComboBox *list = row->header->instrumentCombo;
        QStringList expected = c.bridge ? plugins : QStringList();
        expected += c.soundFont ? QStringList(presets) : QStringList{QStringLiteral("(未加载音色库)")};
        EXPECT_EQ(itemsOf(list), expected);
        EXPECT_EQ(list->currentIndex(), c.current < 0 ? list->count() - 1 : c.current);
        EXPECT_EQ(!row->header->vst3Button->isHidden(), c.vst3Button);
        EXPECT_EQ(track.pluginId, c.pluginId) << "building the list chooses nothing";
        EXPECT_EQ(track.instrumentIndex, c.instrumentIndex);
    }
    // The channel plays the preset the list shows.
    track.pluginId = -1;
    track.instrumentIndex = 1;
    const auto row = boundRow();
    EXPECT_EQ(sf2.currentPresetIndex(2), 1);
}

TEST_F(PluginRowTest, ChoosingAPluginActivatesItAndAPresetReleasesTheEditorButton)
{
    track.instrumentIndex = 1;
    const auto row = boundRow();
    QComboBox *list = row->header->instrumentCombo;
    QPushButton *vst3 = row->header->vst3Button;
    QSignalSpy changed(row.get(), &TrackRowWidget::trackChanged);
    std::vector<std::pair<int, bool>> toggles;
    std::vector<int> pluginIdAtToggle;
    QObject::connect(row.get(), &TrackRowWidget::vst3EditorToggled, [&](int index, bool open) {
        toggles.emplace_back(index, open);
        pluginIdAtToggle.push_back(track.pluginId);
    });

    list->setCurrentIndex(5);
    EXPECT_EQ(track.pluginId, -1);
    EXPECT_EQ(track.instrumentIndex, 2);
    EXPECT_EQ(sf2.currentPresetIndex(2), 2);

    ASSERT_FALSE(bridge.getPluginInstance(3)->isActive());
    list->setCurrentIndex(1);
    EXPECT_EQ(track.pluginId, 3);
    EXPECT_EQ(track.instrumentIndex, 0);
    EXPECT_FALSE(vst3->isHidden());
    EXPECT_TRUE(bridge.getPluginInstance(3)->isActive());
    EXPECT_FALSE(bridge.getPluginInstance(0)->isActive());

    vst3->toggle();
    row->updateIndex(4);
    // The separator takes the first preset; the button is released with the plug-in gone.
    list->setCurrentIndex(2);
    EXPECT_EQ(track.pluginId, -1);
    EXPECT_EQ(track.instrumentIndex, 0);
    EXPECT_TRUE(vst3->isHidden());
    EXPECT_FALSE(vst3->isChecked());
    const std::vector<std::pair<int, bool>> expectedToggles = {{0, true}, {4, false}};
    EXPECT_EQ(toggles, expectedToggles);
    EXPECT_EQ(pluginIdAtToggle, (std::vector<int>{3, -1}));
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(PluginRowTest, AudioRowsOfferNoInstrument)
{
    track.type = TrackType::Audio;
    const auto row = boundRow();
    EXPECT_TRUE(row->header->instrumentCombo->isHidden());
    EXPECT_EQ(row->header->instrumentCombo->count(), 0);
    EXPECT_TRUE(row->header->vst3Button->isHidden());
}

// A page with two MIDI tracks that both play ZamEQ2.
class EditorWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        page = std::make_unique<MultiTrackEditorPage>(document, nullptr);
        pluginId = page->bridge()->loadPlugin(zamBundle("ZamEQ2"));
        ASSERT_GE(pluginId, 0);
        page->addMidiTrack(QString(), {}, 1.0);
        page->addMidiTrack(QString(), {}, 1.0);
        for (TrackRowWidget *row : page->trackRows) {
            ASSERT_EQ(row->header->instrumentCombo->itemText(0), QStringLiteral("[VST3] ZamEQ2"));
            // The list starts on the first preset or the piano; the plug-in is a choice away.
            row->header->instrumentCombo->setCurrentIndex(0);
        }
        ASSERT_EQ(page->document().tracks[0].pluginId, pluginId);
        ASSERT_EQ(page->document().tracks[1].pluginId, pluginId);
    }

    QPushButton *vst3Button(int track) const { return page->trackRows[size_t(track)]->header->vst3Button; }

    VST3EditorWindow *openWindow() const
    {
        const auto found = page->editorWindows.find(pluginId);
        return found == page->editorWindows.end() ? nullptr : found->second;
    }

    ProjectDocument document;  // outlives the page

    std::unique_ptr<MultiTrackEditorPage> page;
    int pluginId = -1;
};

TEST_F(EditorWindowTest, OneWindowPerPluginTitledWithItsName)
{
    vst3Button(0)->toggle();
    QPointer<VST3EditorWindow> window = openWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title(), QStringLiteral("ZamEQ2"));
    EXPECT_EQ(window->pluginId, pluginId);
    EXPECT_TRUE(window->isVisible());

    vst3Button(1)->toggle();
    EXPECT_EQ(page->editorWindows.size(), 1u);
    EXPECT_EQ(openWindow(), window.data()) << "the second track's button shows the same window";

    // Released, the button closes the window; it goes once control is back in the loop.
    vst3Button(1)->toggle();
    EXPECT_TRUE(page->editorWindows.empty());
    EXPECT_FALSE(window && window->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));

    // Released while no window is open, it does nothing.
    vst3Button(0)->toggle();
    EXPECT_TRUE(page->editorWindows.empty());
}

TEST_F(EditorWindowTest, AWindowTheUserClosesIsForgottenAndDeleted)
{
    vst3Button(0)->toggle();
    QPointer<VST3EditorWindow> first = openWindow();
    ASSERT_TRUE(first);
    first->close();
    EXPECT_TRUE(page->editorWindows.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }));

    // The button still reads on; the other track's press makes a new window.
    vst3Button(1)->toggle();
    QPointer<VST3EditorWindow> second = openWindow();
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->isVisible());
}

TEST_F(EditorWindowTest, SwitchingToAPresetLeavesTheWindowOpen)
{
    vst3Button(0)->toggle();
    QPointer<VST3EditorWindow> window = openWindow();
    ASSERT_TRUE(window);
    QComboBox *list = page->trackRows[0]->header->instrumentCombo;
    list->setCurrentIndex(list->count() - 1);
    EXPECT_EQ(page->document().tracks[0].pluginId, -1);
    EXPECT_FALSE(vst3Button(0)->isChecked());
    EXPECT_EQ(openWindow(), window.data());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(EditorWindowTest, UnloadingThePluginUnderAnOpenWindowIsSafe)
{
    vst3Button(0)->toggle();
    QPointer<VST3EditorWindow> window = openWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(page->bridge()->unloadPlugin(pluginId));
    QTest::qWait(50);
    EXPECT_TRUE(window->isVisible());

    vst3Button(0)->toggle();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }));
    // The bridge no longer knows the id: no window opens.
    vst3Button(0)->toggle();
    EXPECT_TRUE(page->editorWindows.empty());
}

TEST_F(EditorWindowTest, WindowsStillOpenGoWithThePage)
{
    vst3Button(0)->toggle();
    QPointer<VST3EditorWindow> window = openWindow();
    ASSERT_TRUE(window);
    const std::weak_ptr<VST3PluginInstance> instance = page->bridge()->getPluginInstance(pluginId);
    page.reset();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(instance.expired()) << "nothing keeps the plug-in loaded";
}

} // namespace
