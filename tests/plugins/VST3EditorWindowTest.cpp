// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in editor window offscreen: title and size, the view made on exposure and
// released on close, and a window that outlives the plug-in's unload.
#include "Vst3TestSupport.h"
#include "plugins/VST3PluginInstance.h"
#include "plugins/widgets/VST3EditorWindow.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

std::shared_ptr<VST3PluginInstance> loadedEq()
{
    auto instance = std::make_shared<VST3PluginInstance>();
    EXPECT_TRUE(instance->load(zamPath("ZamEQ2"), 44100, 512));
    return instance;
}

} // namespace

TEST(VST3EditorWindowTest, ViewIsMadeOnExposureAndReleasedOnClose)
{
    const auto instance = loadedEq();
    QPointer<VST3EditorWindow> window = new VST3EditorWindow(instance, "ZamEQ2");
    window->pluginId = 4;
    EXPECT_EQ(window->title(), "ZamEQ2");
    EXPECT_EQ(window->size(), QSize(800, 600));
    QSignalSpy closed(window.data(), &VST3EditorWindow::windowClosed);

    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.data()));
    EXPECT_TRUE(window->isViewAttached());
    EXPECT_TRUE(instance->isEditorOpen());
    EXPECT_TRUE(instance->isActive());

    // Hidden and shown again, the window asks for a new view.
    window->hide();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(instance->isEditorOpen());
    window->show();
    QTRY_VERIFY(instance->isEditorOpen());

    window->close();
    EXPECT_FALSE(instance->isEditorOpen());
    ASSERT_GE(closed.count(), 2);
    EXPECT_EQ(closed.last().at(0).toInt(), 4);
    // A closed window goes away, and with it its share of the plug-in.
    QTRY_VERIFY(window.isNull());
    EXPECT_EQ(instance.use_count(), 1);
}

TEST(VST3EditorWindowTest, WindowOutlivingTheUnloadIsSafe)
{
    auto instance = loadedEq();
    auto *window = new VST3EditorWindow(instance, "ZamEQ2");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    instance->unload();
    instance.reset();
    window->hide();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_FALSE(window->isViewAttached());
    delete window;
}
