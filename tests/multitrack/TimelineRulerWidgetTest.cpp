// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline ruler: where ticks land, what their labels say, markers, playhead, double-click.
#include "multitrack/TimelineRulerWidget.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace {

constexpr int kWidth = 1600;

QImage paint(TimelineRulerWidget &ruler)
{
    ruler.resize(kWidth, ruler.height());
    QImage image(ruler.size(), QImage::Format_RGB32);
    ruler.render(&image);
    return image;
}

// Time a label names: "MM:SS" or "SS.hh" / "SS.mmm", parsed as decimal text.
double labelSeconds(const QString &label)
{
    if (label.contains(':')) {
        const QStringList parts = label.split(':');
        return parts[0].toInt() * 60 + parts[1].toInt();
    }
    return label.toDouble();
}

TEST(TimelineRulerWidget, Construction)
{
    TimelineRulerWidget ruler;
    EXPECT_EQ(ruler.height(), 24);
    EXPECT_EQ(ruler.minimumHeight(), 24);
    EXPECT_EQ(ruler.maximumHeight(), 24);
    EXPECT_EQ(ruler.minimumWidth(), 200);
    EXPECT_EQ(ruler.rulerMode, TimelineRulerWidget::Time);
    EXPECT_EQ(ruler.bpm, 120);
    EXPECT_EQ(ruler.duration, 300);
    EXPECT_EQ(ruler.backgroundColor, QColor(30, 30, 40));
    EXPECT_EQ(ruler.tickColor, QColor(80, 80, 80));
    EXPECT_EQ(ruler.playheadColor, QColor(255, 0, 85));
}

TEST(TimelineRulerWidget, Setters)
{
    TimelineRulerWidget ruler;
    ruler.setZoomLevel(0);
    EXPECT_EQ(ruler.zoomLevel, 0.001);
    ruler.setZoomLevel(1000);
    EXPECT_EQ(ruler.zoomLevel, 512);
    ruler.setBpm(97);
    ruler.setBpm(0);
    ruler.setBpm(-10);
    EXPECT_EQ(ruler.bpm, 97);
    std::vector<TimelineMarker> markers = {{1.0, "A", Qt::red}};
    ruler.setMarkers(markers);
    markers.clear();
    ASSERT_EQ(ruler.markers.size(), 1u);
    ruler.setMarkers(ruler.markers);
    EXPECT_EQ(ruler.markers.size(), 1u);
}

// Every labelled tick sits where its own label's time maps to, and the labels advance by
// exactly one step from the first multiple of the step at or after the view start.
TEST(TimelineRulerWidget, TimeScaleTicksAndLabels)
{
    struct Case
    {
        double zoom;
        double viewStart;
        int stepMs;
        QString first;
        QString second;
    } const cases[] = {
        {1, 0, 1000, "00:00", "00:01"},
        {2, 0, 500, "00.00", "00.50"},
        {4, 0, 500, "00.00", "00.50"},
        {1, 37.7, 1000, "00:38", "00:39"},
        {2, 123.4, 500, "123.50", "124.00"},
        {1, 3000, 1000, "50:00", "50:01"},
        {100, 12.3, 10, "12.30", "12.31"},
        {100, 1234.567, 10, "1234.57", "1234.58"},
        {512, 12.3, 5, "12.300", "12.305"},
        {1, -1.5, 1000, "00:00", "00:01"},
        {0.01, 0, 60000, "00:00", "01:00"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " view " << c.viewStart);
        TimelineRulerWidget ruler;
        ruler.setZoomLevel(c.zoom);
        ruler.setViewStartSec(c.viewStart);
        const QList<TimelineRulerWidget::Tick> ticks = ruler.scaleTicks(kWidth);
        const double pps = c.zoom * 100;
        ASSERT_GE(ticks.size(), 2);
        EXPECT_EQ(ticks[0].label, c.first);
        EXPECT_EQ(ticks[1].label, c.second);
        EXPECT_LE(ticks.size(), kWidth / (pps * c.stepMs / 1000) + 1);
        long long previousMs = -1;
        for (const TimelineRulerWidget::Tick &tick : ticks) {
            SCOPED_TRACE(tick.label.toStdString());
            EXPECT_EQ(tick.top, 4);
            EXPECT_EQ(tick.bottom, 12);
            const double t = labelSeconds(tick.label);
            EXPECT_EQ(tick.x, int((t - c.viewStart) * pps));
            const long long ms = std::llround(t * 1000);
            if (previousMs >= 0) {
                EXPECT_EQ(ms - previousMs, c.stepMs);
            }
            previousMs = ms;
        }
        EXPECT_GE(labelSeconds(ticks.first().label), c.viewStart);
        EXPECT_LT(labelSeconds(ticks.first().label) - c.stepMs / 1000.0, std::max(c.viewStart, 0.0));
    }
}

// The painted strip has a tick pixel exactly at x = (t - viewStart) * zoom * 100 for every
// whole step t in view, and nowhere else on a row the labels do not reach.
TEST(TimelineRulerWidget, PaintedTickColumns)
{
    struct Case
    {
        double zoom;
        double viewStart;
        double step;
    } const cases[] = {
        {1, 0, 1}, {2, 0, 0.5}, {4, 0, 0.5}, {1, 37.7, 1}, {2, 37.7, 0.5}, {4, 3000, 0.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " view " << c.viewStart);
        TimelineRulerWidget ruler;
        ruler.setZoomLevel(c.zoom);
        ruler.setViewStartSec(c.viewStart);
        ruler.setPlayheadPosition(-100);
        const QImage image = paint(ruler);

        std::set<int> expected;
        for (int k = int(std::ceil(c.viewStart / c.step));; ++k) {
            const double x = (k * c.step - c.viewStart) * c.zoom * 100;
            if (x >= kWidth)
                break;
            expected.insert(int(x));
        }
        std::set<int> painted;
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, 6)) == ruler.tickColor)
                painted.insert(x);
        EXPECT_EQ(painted, expected);
        EXPECT_EQ(QColor(image.pixel(1, 2)), ruler.backgroundColor);
    }
}

// At 97 BPM a tick's time is never a whole number of hundredths, so bar numbers taken from a
// running sum of seconds come out one low; every label must match the beat its column shows.
TEST(TimelineRulerWidget, BarLabelsFollowTheBeatCount)
{
    const double bps = 97.0 / 60.0;
    for (double zoom : {0.25, 1.0, 2.0, 4.0, 8.0}) {
        for (double viewStart : {0.0, 37.7, 123.4, 3000.0}) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " view " << viewStart);
            TimelineRulerWidget ruler;
            ruler.setRulerMode(TimelineRulerWidget::BarsBeats);
            ruler.setBpm(97);
            ruler.setZoomLevel(zoom);
            ruler.setViewStartSec(viewStart);
            const double pps = zoom * 100;
            long long previousBar = -1;
            long long barStep = 0;
            int bars = 0;
            for (const TimelineRulerWidget::Tick &tick : ruler.scaleTicks(kWidth)) {
                if (tick.label.isEmpty() || !tick.label[tick.label.size() - 1].isDigit())
                    continue;  // fractions of a beat
                // Mid-pixel time: within half a pixel of the tick, far below half a beat.
                const double beats = (viewStart + (tick.x + 0.5) / pps) * bps;
                const long long beat = std::llround(beats);
                ASSERT_LT(std::abs(beats - beat), 0.05) << tick.label.toStdString();
                const long long bar = beat / 4 + 1;
                if (tick.top == 0) {
                    EXPECT_EQ(beat % 4, 0);
                    const QString expected = tick.label.contains('.')
                                                 ? QStringLiteral("%1.1").arg(bar)
                                                 : QString::number(bar);
                    EXPECT_EQ(tick.label, expected);
                    // No bar skipped or repeated: a coarse grid steps by whole bars.
                    if (previousBar >= 0) {
                        if (barStep == 0)
                            barStep = bar - previousBar;
                        EXPECT_EQ(bar - previousBar, barStep);
                    }
                    previousBar = bar;
                    ++bars;
                } else {
                    EXPECT_EQ(tick.label, QStringLiteral("%1.%2").arg(bar).arg(beat % 4 + 1));
                }
            }
            EXPECT_GE(bars, 1);
        }
    }
}

TEST(TimelineRulerWidget, BarsBeatsLabelsAt120)
{
    struct Case
    {
        double zoom;
        QStringList labels;
    } const cases[] = {
        {1, {"1", "1.3", "2", "2.3", "3"}},
        {2, {"1", "1.2", "1.3", "1.4", "2", "2.2"}},
        {4, {"1.1", "1+", "1.2", "2+", "1.3", "3+", "1.4", "4+", "2.1"}},
        {8, {"1.1", "1e", "1+", "1a", "1.2"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.zoom);
        TimelineRulerWidget ruler;
        ruler.setRulerMode(TimelineRulerWidget::BarsBeats);
        ruler.setZoomLevel(c.zoom);
        const QList<TimelineRulerWidget::Tick> ticks = ruler.scaleTicks(kWidth);
        ASSERT_GE(ticks.size(), c.labels.size());
        for (int i = 0; i < c.labels.size(); ++i)
            EXPECT_EQ(ticks[i].label, c.labels[i]) << i;
        EXPECT_EQ(ticks[0].top, 0);
        EXPECT_EQ(ticks[0].bottom, 16);
        EXPECT_EQ(ticks[1].x, 100);  // each zoom picks the grid that spaces ticks 100 pixels
    }

    // At zoom 16 an eighth of a beat is 100 pixels: the odd eighths are unlabelled short ticks.
    TimelineRulerWidget ruler;
    ruler.setRulerMode(TimelineRulerWidget::BarsBeats);
    ruler.setZoomLevel(16);
    const QList<TimelineRulerWidget::Tick> ticks = ruler.scaleTicks(kWidth);
    ASSERT_GE(ticks.size(), 3);
    EXPECT_EQ(ticks[1], (TimelineRulerWidget::Tick{100, 8, 14, {}}));
    EXPECT_EQ(ticks[2], (TimelineRulerWidget::Tick{200, 8, 14, "1e"}));
}

TEST(TimelineRulerWidget, AbsurdTempoDrawsNoScale)
{
    TimelineRulerWidget ruler;
    ruler.setRulerMode(TimelineRulerWidget::BarsBeats);
    ruler.setBpm(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(ruler.scaleTicks(kWidth).isEmpty());
    ruler.setBpm(1e12);
    EXPECT_TRUE(ruler.scaleTicks(kWidth).isEmpty());
}

TEST(TimelineRulerWidget, MarkersAndPlayhead)
{
    TimelineRulerWidget ruler;
    ruler.setPlayheadPosition(-100);
    const QImage bare = paint(ruler);
    const QColor green(0, 200, 0);

    ruler.setMarkers({{0.5, {}, green}});
    QImage image = paint(ruler);
    EXPECT_EQ(QColor(image.pixel(50, 3)), green);   // the line
    EXPECT_EQ(QColor(image.pixel(50, 21)), green);  // the triangle
    EXPECT_EQ(QColor(image.pixel(44, 21)), ruler.backgroundColor);

    // A labelled marker 15 pixels left of the edge still shows its label; 25 pixels left, none.
    ruler.setMarkers({{-0.15, "Chorus one", green}});
    EXPECT_NE(paint(ruler), bare);
    ruler.setMarkers({{-0.25, "Chorus one", green}});
    EXPECT_EQ(paint(ruler), bare);

    ruler.setMarkers({});
    ruler.setPlayheadPosition(2.0);
    image = paint(ruler);
    EXPECT_EQ(QColor(image.pixel(200, 18)), ruler.playheadColor);
    ruler.setPlayheadPosition(-0.02);
    EXPECT_EQ(paint(ruler), bare);
}

TEST(TimelineRulerWidget, DoubleClickNearMarker)
{
    struct Case
    {
        double x;
        Qt::MouseButton button;
        int reported;  // -1: nothing
    } const cases[] = {
        {100, Qt::LeftButton, 0},  {103, Qt::LeftButton, 0},  {92, Qt::LeftButton, 0},
        {91.5, Qt::LeftButton, 0}, {91.4, Qt::LeftButton, -1}, {112, Qt::LeftButton, 1},
        {114, Qt::LeftButton, 1},  {115, Qt::LeftButton, -1}, {100, Qt::RightButton, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " button " << int(c.button));
        TimelineRulerWidget ruler;
        ruler.resize(kWidth, 24);
        ruler.setMarkers({{1.0, "A", Qt::red}, {1.06, "B", Qt::blue}});  // x 100 and 106
        QSignalSpy reported(&ruler, &TimelineRulerWidget::markerDoubleClicked);
        const QPointF at(c.x, 10);
        QMouseEvent event(QEvent::MouseButtonDblClick, at, ruler.mapToGlobal(at), c.button, c.button,
                          Qt::NoModifier);
        QApplication::sendEvent(&ruler, &event);
        if (c.reported < 0) {
            EXPECT_EQ(reported.count(), 0);
        } else {
            ASSERT_EQ(reported.count(), 1);
            EXPECT_EQ(reported.at(0).at(0).toInt(), c.reported);
        }
    }
}

}  // namespace
