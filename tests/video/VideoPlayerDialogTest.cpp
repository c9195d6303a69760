// SPDX-License-Identifier: GPL-3.0-or-later
// The video preview window: a modeless window titled as the user sees it, gone once closed.
#include "video/widgets/VideoPlayerDialog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>

namespace {

TEST(VideoPlayerDialog, IsModelessAndDeletesItselfWhenClosed)
{
    QPointer<VideoPlayerDialog> preview = new VideoPlayerDialog(nullptr);
    EXPECT_EQ(preview->windowTitle(), QStringLiteral("视频预览"));
    EXPECT_FALSE(preview->isModal());
    preview->show();
    preview->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(preview.isNull());
}

} // namespace
