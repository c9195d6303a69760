// SPDX-License-Identifier: GPL-3.0-or-later
// Time viewport: where seconds land in pixel columns and back, with the view held to the clip.
#include "ui/TimeViewport.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A 10 s clip in a 1000-pixel view; the expected times follow from
// seconds = viewStart + x / width * duration / zoom.
TEST(TimeViewport, MapsSecondsAndPixelsBothWays)
{
    struct Row
    {
        const char *name;
        double zoom;
        double requestedStart;
        int x;
        double zoomUsed;
        double startUsed;
        double seconds;
    };
    const Row rows[] = {
        {"whole clip", 1.0, 0.0, 250, 1.0, 0.0, 2.5},
        {"whole clip ignores a start", 1.0, 3.0, 500, 1.0, 0.0, 5.0},
        {"zoomed in", 4.0, 2.5, 400, 4.0, 2.5, 3.5},
        {"start past the end", 4.0, 9.0, 1000, 4.0, 7.5, 10.0},
        {"negative start", 2.0, -1.0, 100, 2.0, 0.0, 0.5},
        {"NaN start", 2.0, nan, 100, 2.0, 0.0, 0.5},
        {"NaN zoom", nan, 0.0, 300, 1.0, 0.0, 3.0},
        {"zoom below 1", 0.25, 0.0, 300, 1.0, 0.0, 3.0},
        {"zoom above the limit", 1000.0, 5.0, 1000, 512.0, 5.0, 5.01953125},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TimeViewport view;
        view.setDuration(10.0);
        view.setZoom(row.zoom);
        view.setViewStart(row.requestedStart);
        EXPECT_DOUBLE_EQ(view.zoom(), row.zoomUsed);
        EXPECT_DOUBLE_EQ(view.viewStart(), row.startUsed);
        EXPECT_DOUBLE_EQ(view.visibleSpan(), 10.0 / row.zoomUsed);
        EXPECT_NEAR(view.secondsAt(row.x, 1000), row.seconds, 1e-12);
        EXPECT_EQ(view.pixelAt(row.seconds, 1000), row.x);
    }
}

TEST(TimeViewport, EdgesOfTheMapping)
{
    TimeViewport view;
    view.setDuration(10.0);
    view.setZoom(2.0);
    view.setViewStart(4.0);
    EXPECT_DOUBLE_EQ(view.secondsAt(-50, 1000), 3.75);
    EXPECT_EQ(view.secondsAt(5000, 1000), 10.0) << "held to the clip end";
    EXPECT_EQ(view.pixelAt(0.0, 1000), -800) << "times left of the view land left of column 0";
    EXPECT_EQ(view.pixelAt(nan, 1000), 0);
    EXPECT_EQ(view.secondsAt(10, 0), 0.0) << "a view without width maps nothing";

    TimeViewport empty;
    EXPECT_EQ(empty.secondsAt(10, 1000), 0.0);
    EXPECT_EQ(empty.pixelAt(1.0, 1000), 0);
}

TEST(TimeViewport, ZoomKeepsTheTimeUnderTheAnchor)
{
    TimeViewport view;
    view.setDuration(10.0);
    view.setZoom(2.0);
    view.setViewStart(3.0);
    const double anchor = view.secondsAt(600, 1000);
    view.zoomAround(4.0, 600, 1000);
    EXPECT_DOUBLE_EQ(view.zoom(), 8.0);
    EXPECT_NEAR(view.secondsAt(600, 1000), anchor, 1e-12);

    // Zooming out past the whole clip can't keep the anchor; the view shows everything.
    view.zoomAround(0.01, 600, 1000);
    EXPECT_DOUBLE_EQ(view.zoom(), 1.0);
    EXPECT_DOUBLE_EQ(view.viewStart(), 0.0);
}

TEST(TimeViewport, FollowScrollsOnlyWhenTheTimeIsOutOfView)
{
    struct Row
    {
        const char *name;
        double zoom;
        double seconds;
        bool moves;
        double start;
    };
    const Row rows[] = {
        {"inside the view", 4.0, 3.0, false, 2.0},
        {"before the view", 4.0, 1.0, true, 1.0},
        {"after the view", 4.0, 6.0, true, 3.5},
        {"whole clip never scrolls", 1.0, 9.0, false, 0.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TimeViewport view;
        view.setDuration(10.0);
        view.setZoom(row.zoom);
        view.setViewStart(2.0);
        EXPECT_EQ(view.follow(row.seconds), row.moves);
        EXPECT_DOUBLE_EQ(view.viewStart(), row.start);
    }
}
} // namespace
