// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse, wheel, gesture and view-state behaviour of the waveform view.
#include "editor/WaveformWidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGestureEvent>
#include <QImage>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPinchGesture>
#include <QPixmap>
#include <QPointingDevice>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// 256 pixels over 8 seconds: one pixel is exactly 1/32 s, so pixel arithmetic is exact.
constexpr int viewWidth = 256;
constexpr int viewHeight = 150;
constexpr int rate = 1000;
constexpr double duration = 8.0;
constexpr double pixel = duration / viewWidth;

QList<float> ramp()
{
    QList<float> samples(qsizetype(duration * rate));
    for (qsizetype i = 0; i < samples.size(); ++i)
        samples[i] = float(std::sin(i * 0.05));
    return samples;
}

struct Recorded
{
    QString name;
    double a;
    double b;
    bool operator==(const Recorded &) const = default;
};

void PrintTo(const Recorded &r, std::ostream *os)
{
    *os << r.name.toStdString() << "(" << r.a << ", " << r.b << ")";
}

class WaveformInput : public testing::Test
{
protected:
    void SetUp() override
    {
        widget.resize(viewWidth, viewHeight);
        widget.setAudioData(ramp(), rate, {});
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
        QObject::connect(&widget, &WaveformWidget::playheadMoved, [this](double t) { log.push_back({"playheadMoved", t, 0}); });
        QObject::connect(&widget, &WaveformWidget::clicked, [this](double t) { log.push_back({"clicked", t, 0}); });
        QObject::connect(&widget, &WaveformWidget::selectionChanged,
                         [this](double s, double e) { log.push_back({"selectionChanged", s, e}); });
    }

    void mouse(QEvent::Type type, double x, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPointF local(x, 40.0);
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, local, widget.mapToGlobal(local), type == QEvent::MouseMove ? Qt::NoButton : button,
                          held, Qt::NoModifier);
        QApplication::sendEvent(&widget, &event);
    }

    void wheel(double x, QPoint pixelDelta, QPoint angleDelta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF local(x, 40.0);
        QWheelEvent event(local, widget.mapToGlobal(local), pixelDelta, angleDelta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&widget, &event);
        EXPECT_TRUE(event.isAccepted());
    }

    // Time under pixel x for the current zoom and view start.
    double timeAt(double x) const
    {
        return widget.getViewStartSec() + x / viewWidth * duration / widget.getZoomLevel();
    }

    bool scrollBarShown() const
    {
        const auto *bar = widget.findChild<QScrollBar *>();
        return bar && bar->isVisibleTo(&widget);
    }

    WaveformWidget widget;
    std::vector<Recorded> log;
};

struct MouseCase
{
    const char *name;
    double pressX;
    std::vector<double> moves;
    double releaseX;
    std::vector<Recorded> signalsEmitted;
    bool selection;
    double selectionStart;
    double selectionEnd;
    double playhead;
};

TEST_F(WaveformInput, MouseTable)
{
    // The playhead starts at 2 s, which is pixel 64.
    const std::vector<MouseCase> cases = {
        {"7.9 px right of the playhead drags it", 71.9, {160}, 160, {{"playheadMoved", 5.0, 0}}, false, 0, 0, 5.0},
        {"7.9 px left of the playhead drags it", 56.1, {32}, 32, {{"playheadMoved", 1.0, 0}}, false, 0, 0, 1.0},
        {"8 px from the playhead selects", 72, {160}, 160, {{"selectionChanged", 72 * pixel, 5.0}}, true, 72 * pixel, 5.0, 2.0},
        {"a click seeks, then reports the click", 200, {}, 200,
         {{"playheadMoved", 200 * pixel, 0}, {"clicked", 200 * pixel, 0}}, false, 0, 0, 200 * pixel},
        {"a 2 px drag is a click at the release point", 200, {202}, 202,
         {{"playheadMoved", 202 * pixel, 0}, {"clicked", 202 * pixel, 0}}, false, 0, 0, 202 * pixel},
        {"a 3 px drag selects", 200, {203}, 203, {{"selectionChanged", 200 * pixel, 203 * pixel}}, true, 200 * pixel,
         203 * pixel, 2.0},
        {"a right-to-left drag gives start before end", 200, {150, 100}, 100,
         {{"selectionChanged", 150 * pixel, 200 * pixel}, {"selectionChanged", 100 * pixel, 200 * pixel}}, true,
         100 * pixel, 200 * pixel, 2.0},
        {"dragging back to the start is a click", 200, {240, 200}, 200,
         {{"selectionChanged", 200 * pixel, 240 * pixel}, {"playheadMoved", 200 * pixel, 0}, {"clicked", 200 * pixel, 0}},
         false, 200 * pixel, 200 * pixel, 200 * pixel},
    };
    for (const MouseCase &c : cases) {
        SCOPED_TRACE(c.name);
        widget.setPlayheadPosition(2.0);
        widget.clearSelection();
        log.clear();
        mouse(QEvent::MouseButtonPress, c.pressX);
        for (double x : c.moves)
            mouse(QEvent::MouseMove, x);
        mouse(QEvent::MouseButtonRelease, c.releaseX);
        EXPECT_EQ(log, c.signalsEmitted);
        EXPECT_EQ(widget.hasSelection(), c.selection);
        if (c.selection) {
            EXPECT_DOUBLE_EQ(widget.getSelectionStart(), c.selectionStart);
            EXPECT_DOUBLE_EQ(widget.getSelectionEnd(), c.selectionEnd);
        }
        EXPECT_DOUBLE_EQ(widget.getPlayheadPosition(), c.playhead);
    }
}

TEST_F(WaveformInput, PressAwayFromThePlayheadDropsTheSelectionAtOnce)
{
    mouse(QEvent::MouseButtonPress, 100);
    mouse(QEvent::MouseMove, 180);
    mouse(QEvent::MouseButtonRelease, 180);
    ASSERT_TRUE(widget.hasSelection());
    mouse(QEvent::MouseButtonPress, 20);
    EXPECT_FALSE(widget.hasSelection());
    mouse(QEvent::MouseButtonRelease, 20);

    // Other buttons neither select nor seek.
    log.clear();
    mouse(QEvent::MouseButtonPress, 150, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, 150, Qt::RightButton);
    EXPECT_TRUE(log.empty());
}

TEST_F(WaveformInput, ClickOnEmptyViewSeeksToZero)
{
    widget.clearAudioData();
    log.clear();
    mouse(QEvent::MouseButtonPress, 120);
    mouse(QEvent::MouseButtonRelease, 120);
    EXPECT_EQ(log, (std::vector<Recorded>{{"playheadMoved", 0, 0}, {"clicked", 0, 0}}));
}

struct WheelCase
{
    const char *name;
    double startZoom;
    double startView;
    double x;
    QPoint pixelDelta;
    QPoint angleDelta;
    Qt::KeyboardModifiers modifiers;
    double zoom;     // expected afterwards
    double viewShift; // expected view change in visible spans when the zoom stays (scrolling)
};

TEST_F(WaveformInput, WheelTable)
{
    const double in = 1.15;
    const double out = 1.0 / 1.15;
    const std::vector<WheelCase> cases = {
        {"Ctrl+wheel up zooms in", 1.0, 0.0, 100, {}, {0, 120}, Qt::ControlModifier, in, 0},
        {"Ctrl+wheel down zooms out", 4.0, 3.0, 200, {}, {0, -120}, Qt::ControlModifier, 4.0 * out, 0},
        {"Ctrl with a pixel delta follows the pixel delta", 4.0, 3.0, 30, {0, 3}, {0, -120}, Qt::ControlModifier, 4.0 * in, 0},
        {"touchpad pixel delta zooms without Ctrl", 4.0, 3.0, 128, {0, -4}, {0, -10}, Qt::NoModifier, 4.0 * out, 0},
        {"touchpad pixel delta up zooms in", 4.0, 3.0, 250, {0, 6}, {0, 30}, Qt::NoModifier, 4.0 * in, 0},
        {"a wheel notch with a pixel delta scrolls", 4.0, 3.0, 128, {0, 2}, {0, 120}, Qt::NoModifier, 4.0, -0.1},
        {"wheel down scrolls later", 4.0, 3.0, 128, {}, {0, -120}, Qt::NoModifier, 4.0, 0.1},
        {"a zero wheel event scrolls later", 4.0, 3.0, 128, {}, {}, Qt::NoModifier, 4.0, 0.1},
        {"zoom in stops at 512", 512.0, 1.0, 128, {}, {0, 120}, Qt::ControlModifier, 512.0, 0},
        {"zoom out stops at 1", 1.0, 0.0, 128, {}, {0, -120}, Qt::ControlModifier, 1.0, 0},
    };
    for (const WheelCase &c : cases) {
        SCOPED_TRACE(c.name);
        widget.setZoomLevel(c.startZoom);
        widget.setViewStartSec(c.startView);
        const double anchor = timeAt(c.x);
        const double viewBefore = widget.getViewStartSec();
        const double spanBefore = duration / widget.getZoomLevel();
        wheel(c.x, c.pixelDelta, c.angleDelta, c.modifiers);
        EXPECT_NEAR(widget.getZoomLevel(), c.zoom, 1e-9);
        if (c.viewShift != 0)
            EXPECT_NEAR(widget.getViewStartSec() - viewBefore, c.viewShift * spanBefore, 1e-9);
        else
            EXPECT_NEAR(timeAt(c.x), anchor, 1e-9) << "time under the pointer moved";
    }
}

TEST_F(WaveformInput, RepeatedAnchoredZoomKeepsTheTimeUnderThePointer)
{
    widget.setZoomLevel(2.0);
    widget.setViewStartSec(1.7);
    const double anchor = timeAt(77);
    for (int i = 0; i < 40; ++i) {
        wheel(77, {}, {0, 120}, Qt::ControlModifier);
        ASSERT_NEAR(timeAt(77), anchor, 1e-9) << "after zoom step " << i;
    }
    EXPECT_DOUBLE_EQ(widget.getZoomLevel(), 512.0);
    // Zooming all the way out is stopped by the start of the clip.
    for (int i = 0; i < 60; ++i)
        wheel(77, {}, {0, -120}, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(widget.getZoomLevel(), 1.0);
    EXPECT_DOUBLE_EQ(widget.getViewStartSec(), 0.0);
}

TEST_F(WaveformInput, ZoomIsClampedAndScrollBarShowsOnlyAboveOne)
{
    const struct
    {
        double requested;
        double zoom;
        bool scrollBar;
    } cases[] = {{0.5, 1.0, false}, {1.0, 1.0, false}, {1.15, 1.15, true}, {1000.0, 512.0, true},
                 {std::numeric_limits<double>::quiet_NaN(), 1.0, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.requested);
        widget.setZoomLevel(c.requested);
        EXPECT_DOUBLE_EQ(widget.getZoomLevel(), c.zoom);
        EXPECT_EQ(scrollBarShown(), c.scrollBar);
    }

    // Dragging the bar moves the view by its millisecond value.
    widget.setZoomLevel(4.0);
    auto *bar = widget.findChild<QScrollBar *>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->pageStep(), 2000);
    EXPECT_EQ(bar->maximum(), 6000);
    bar->setValue(2500);
    EXPECT_DOUBLE_EQ(widget.getViewStartSec(), 2.5);
}

TEST_F(WaveformInput, GesturesZoomAroundTheirPoint)
{
    const QPointingDevice *device = QPointingDevice::primaryPointingDevice();
    const struct
    {
        const char *name;
        Qt::NativeGestureType type;
        double value;
        double factor;
    } nativeCases[] = {{"zoom gesture", Qt::ZoomNativeGesture, 0.5, 1.5},
                       {"smart zoom", Qt::SmartZoomNativeGesture, 1.0, 2.0},
                       {"zoom out gesture", Qt::ZoomNativeGesture, -0.2, 0.8},
                       {"rotation is not a zoom", Qt::RotateNativeGesture, 1.0, 1.0}};
    for (const auto &c : nativeCases) {
        SCOPED_TRACE(c.name);
        widget.setZoomLevel(3.0);
        widget.setViewStartSec(2.0);
        const QPointF at(99.6, 30.0); // rounds to pixel 100
        const double anchor = timeAt(100);
        QNativeGestureEvent event(c.type, device, 2, at, at, widget.mapToGlobal(at), c.value, {});
        const bool handled = QApplication::sendEvent(&widget, &event);
        EXPECT_EQ(handled, c.factor != 1.0);
        EXPECT_NEAR(widget.getZoomLevel(), 3.0 * c.factor, 1e-9);
        EXPECT_NEAR(timeAt(100), anchor, 1e-9);
    }

    widget.setZoomLevel(3.0);
    widget.setViewStartSec(2.0);
    const double anchor = timeAt(120);
    QPinchGesture pinch;
    pinch.setScaleFactor(2.0);
    pinch.setCenterPoint(widget.mapToGlobal(QPointF(120.4, 50.0)));
    QGestureEvent gestureEvent({&pinch});
    EXPECT_TRUE(QApplication::sendEvent(&widget, &gestureEvent));
    EXPECT_NEAR(widget.getZoomLevel(), 6.0, 1e-9);
    EXPECT_NEAR(timeAt(120), anchor, 1e-9);
}

TEST_F(WaveformInput, PlayheadFollowTable)
{
    const struct
    {
        double zoom;
        double view;
        double requested;
        double playhead;
        double viewAfter;
    } cases[] = {
        {4.0, 3.0, 6.0, 6.0, 4.0},    // right of the view: it ends at the playhead
        {4.0, 3.0, 1.0, 1.0, 1.0},    // left of the view: it starts at the playhead
        {4.0, 3.0, 5.0, 5.0, 3.0},    // on the right edge: nothing moves
        {4.0, 3.0, 100.0, 8.0, 6.0},  // past the end
        {1.0, 0.0, 100.0, 8.0, 0.0},  // no scrolling at zoom 1
        {4.0, 3.0, -2.0, 0.0, 0.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " to " << c.requested);
        widget.setZoomLevel(c.zoom);
        widget.setViewStartSec(c.view);
        log.clear();
        widget.setPlayheadPosition(c.requested);
        EXPECT_DOUBLE_EQ(widget.getPlayheadPosition(), c.playhead);
        EXPECT_DOUBLE_EQ(widget.getViewStartSec(), c.viewAfter);
        EXPECT_TRUE(log.empty());
    }
}

TEST_F(WaveformInput, NewDataKeepsZoomAndViewButDropsTheSelection)
{
    widget.setZoomLevel(4.0);
    widget.setViewStartSec(3.0);
    mouse(QEvent::MouseButtonPress, 100);
    mouse(QEvent::MouseMove, 180);
    mouse(QEvent::MouseButtonRelease, 180);
    ASSERT_TRUE(widget.hasSelection());
    widget.setAudioData(ramp(), rate, {});
    EXPECT_DOUBLE_EQ(widget.getZoomLevel(), 4.0);
    EXPECT_DOUBLE_EQ(widget.getViewStartSec(), 3.0);
    EXPECT_FALSE(widget.hasSelection());
}

TEST_F(WaveformInput, AppendedAudioStaysInViewAndIsDrawn)
{
    widget.setZoomLevel(4.0);
    widget.setViewStartSec(0.0);
    // Programmatic view changes must not count as the user taking over the scroll bar.
    for (int block = 0; block < 3; ++block) {
        QList<float> tail(1000, 0.0f);
        tail[999] = -1.0f; // one full-scale sample at the very end
        widget.appendAudioData(tail, rate);
        const double newDuration = duration + block + 1;
        EXPECT_DOUBLE_EQ(widget.getViewStartSec(), newDuration - newDuration / 4.0);
    }
    // The spike of the last block is in the last column and reaches the area's bottom row.
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int areaBottom = viewHeight - 19;
    const QRgb cyan = qRgb(0x00, 0xf2, 0xff);
    const QRgb pink = qRgb(0xff, 0x00, 0x55);
    const QRgb bottomPixel = image.pixel(viewWidth - 1, areaBottom);
    EXPECT_TRUE(bottomPixel == cyan || bottomPixel == pink);

    // After the user scrolls the view no longer jumps to the end.
    wheel(128, {}, {0, 120});
    const double view = widget.getViewStartSec();
    widget.appendAudioData(QList<float>(500, 0.1f), rate);
    EXPECT_DOUBLE_EQ(widget.getViewStartSec(), view);
}

TEST_F(WaveformInput, PlayedPartSelectionAndPlayheadAreDrawnInTheirColours)
{
    // A constant level draws a single row, leaving the rows above it as plain background.
    widget.setAudioData(QList<float>(qsizetype(duration * rate), 0.5f), rate, {});
    widget.setPlayheadPosition(4.0); // pixel 128
    mouse(QEvent::MouseButtonPress, 160);
    mouse(QEvent::MouseMove, 220);
    mouse(QEvent::MouseButtonRelease, 220);
    ASSERT_TRUE(widget.hasSelection());
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);

    const int centre = viewHeight / 2;
    const int row = centre - int(0.5f * float(centre));
    const QRgb background = qRgb(0x14, 0x14, 0x1e);
    const struct
    {
        const char *what;
        int x;
        int y;
        QRgb colour;
    } pixels[] = {
        {"played column", 50, row, qRgb(0xff, 0x00, 0x55)},
        {"column ahead of the playhead", 140, row, qRgb(0x00, 0xf2, 0xff)},
        {"centre line", 50, centre, qRgb(0x3c, 0x3c, 0x50)},
        {"playhead line", 128, centre + 30, qRgb(0xff, 0xff, 0xff)},
        {"playhead triangle", 124, 1, qRgb(0xff, 0xff, 0xff)},
        {"background outside the selection", 100, 20, background},
        {"background beyond the playhead triangle", 121, 1, background},
    };
    for (const auto &p : pixels) {
        SCOPED_TRACE(p.what);
        EXPECT_EQ(image.pixel(p.x, p.y), p.colour);
    }
    // The selection lightens what lies under it and is edged by brighter lines.
    const QRgb inside = image.pixel(190, 20);
    const QRgb edge = image.pixel(160, 20);
    EXPECT_GT(qRed(inside), qRed(background));
    EXPECT_GT(qRed(edge), qRed(inside));
    EXPECT_EQ(image.pixel(190, row), image.pixel(200, row));
}

TEST_F(WaveformInput, EmptyViewShowsOnlyTheHint)
{
    widget.clearAudioData();
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int hint = 0;
    int other = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (p == qRgb(0x14, 0x14, 0x1e))
                continue;
            // Text edges blend the hint colour into the background.
            (qRed(p) <= 0x64 && qBlue(p) <= 0x78 && qRed(p) == qGreen(p) ? hint : other)++;
        }
    }
    EXPECT_GT(hint, 20);
    EXPECT_EQ(other, 0);
}

} // namespace
