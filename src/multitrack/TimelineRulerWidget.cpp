// SPDX-License-Identifier: GPL-3.0-or-later
// The time strip of the multitrack page: seconds or bars and beats, markers and the playhead.
#include "multitrack/TimelineRulerWidget.h"

#include "ui/TimeScale.h"
#include "ui/TimeViewport.h"

#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdint>

// Every tick is the k-th multiple of an integer step (milliseconds, or eighths of a beat) and
// its label comes from that integer: labels taken from a time accumulated in floating point
// read one bar, or one hundredth, too low wherever the sum lands just below the true value.

namespace {

// No scale this many steps from zero, so step index times step stays inside 64 bits.
constexpr double kMaxStepIndex = 1e13;

QString padded(std::int64_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
}

}  // namespace

TimelineRulerWidget::TimelineRulerWidget(QWidget *parent) : QWidget(parent)
{
    setFixedHeight(24);
    setMinimumWidth(200);
}

void TimelineRulerWidget::setViewStartSec(double seconds)
{
    viewStartSec = seconds;
    update();
}

void TimelineRulerWidget::setZoomLevel(double zoom)
{
    zoomLevel = std::clamp(zoom, 0.001, 512.0);
    update();
}

void TimelineRulerWidget::setDuration(double seconds)
{
    duration = seconds;
    update();
}

void TimelineRulerWidget::setPlayheadPosition(double seconds)
{
    playheadSec = seconds;
    update();
}

void TimelineRulerWidget::setRulerMode(RulerMode mode)
{
    rulerMode = mode;
    update();
}

void TimelineRulerWidget::setBpm(double bpm)
{
    if (bpm > 0)
        this->bpm = bpm;
    update();
}

void TimelineRulerWidget::setMarkers(const std::vector<TimelineMarker> &markers)
{
    if (&markers != &this->markers)
        this->markers = markers;
    update();
}

double TimelineRulerWidget::pixelOf(double t) const
{
    return std::trunc(TimelineScale::pixelOf(t, viewStartSec, zoomLevel));
}

int TimelineRulerWidget::secondsToX(double t) const
{
    return int(pixelOf(t));
}

QList<TimelineRulerWidget::Tick> TimelineRulerWidget::scaleTicks(int width) const
{
    return rulerMode == BarsBeats ? barsBeatsTicks(width) : timeTicks(width);
}

QList<TimelineRulerWidget::Tick> TimelineRulerWidget::timeTicks(int width) const
{
    const double pps = TimelineScale::pixelsPerSecond(zoomLevel);
    const double end = viewStartSec + width / pps;
    std::int64_t stepMs = 60000;
    for (std::int64_t candidate : {1, 5, 10, 50, 100, 500, 1000, 2000, 5000, 10000, 30000}) {
        if (pps * (candidate / 1000.0) >= 80) {
            stepMs = candidate;
            break;
        }
    }
    const double step = stepMs / 1000.0;
    if (pps * step < 40)
        return {};
    const bool labelled = pps * step >= 60;

    QList<Tick> ticks;
    for (const std::int64_t ms : TimeScale::tickMilliseconds(stepMs, viewStartSec, end)) {
        const double x = pixelOf(ms / 1000.0);
        if (!(x >= 0 && x <= width))
            continue;
        Tick tick{int(x), 4, 12, {}};
        if (labelled) {
            const std::int64_t s = ms / 1000;
            tick.label = stepMs >= 1000 ? QStringLiteral("%1:%2").arg(padded(s / 60, 2), padded(s % 60, 2))
                                        : TimeScale::subSecondLabel(ms, stepMs);
        }
        ticks.append(tick);
    }
    return ticks;
}

QList<TimelineRulerWidget::Tick> TimelineRulerWidget::barsBeatsTicks(int width) const
{
    constexpr std::int64_t kEighthsPerBeat = 8;
    constexpr std::int64_t kEighthsPerBar = 4 * kEighthsPerBeat;
    const double pps = TimelineScale::pixelsPerSecond(zoomLevel);
    const double end = viewStartSec + width / pps;
    const double bps = bpm / 60.0;
    std::int64_t gridEighths = 256;  // 32 beats
    for (std::int64_t candidate : {1, 2, 4, 8, 16, 32, 64, 128}) {
        if (pps * (double(candidate) / kEighthsPerBeat) / bps >= 80) {
            gridEighths = candidate;
            break;
        }
    }
    const double interval = double(gridEighths) / kEighthsPerBeat / bps;
    const double spacing = pps * interval;
    // Only a tempo far outside any real one packs ticks this densely; drawing them all would
    // stall the GUI.
    if (!(spacing >= 0.01))
        return {};
    const double first = std::max(0.0, std::ceil(viewStartSec / interval));
    if (!(first < kMaxStepIndex))
        return {};
    const bool wholeBeats = gridEighths >= kEighthsPerBeat;

    QList<Tick> ticks;
    for (auto k = std::int64_t(first);; ++k) {
        const std::int64_t eighths = k * gridEighths;
        const double t = double(eighths) / kEighthsPerBeat / bps;
        if (!(t <= end))
            break;
        const double x = pixelOf(t);
        if (!(x >= 0 && x <= width))
            continue;
        const std::int64_t bar = eighths / kEighthsPerBar + 1;
        const std::int64_t beat = eighths % kEighthsPerBar / kEighthsPerBeat + 1;
        const std::int64_t fraction = eighths % kEighthsPerBeat;
        const QString barBeat = QStringLiteral("%1.%2").arg(bar).arg(beat);
        Tick tick{int(x), 8, 14, {}};
        if (eighths % kEighthsPerBar == 0)
            tick = {int(x), 0, 16, wholeBeats ? QString::number(bar) : barBeat};
        else if (fraction == 0)
            tick = {int(x), 4, 14, barBeat};
        else if (!wholeBeats && spacing >= 30) {
            if (fraction == 4)
                tick.label = QStringLiteral("%1+").arg(beat);
            else if (fraction == 2)
                tick.label = QStringLiteral("%1e").arg(beat);
            else if (fraction == 6)
                tick.label = QStringLiteral("%1a").arg(beat);
        }
        ticks.append(tick);
    }
    return ticks;
}

void TimelineRulerWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), backgroundColor);
    painter.setPen(tickColor);
    painter.setFont(QFont(QStringLiteral("Courier New"), 8));

    for (const Tick &tick : scaleTicks(w)) {
        painter.drawLine(tick.x, tick.top, tick.x, tick.bottom);
        if (!tick.label.isEmpty())
            painter.drawText(tick.x + 2, 20, tick.label);
    }

    drawMarkers(painter, w);

    const double x = pixelOf(playheadSec);
    if (x >= 0 && x <= w) {
        painter.setPen(QPen(playheadColor, 2, Qt::SolidLine));
        painter.drawLine(int(x), 0, int(x), h);
    }
}

void TimelineRulerWidget::drawMarkers(QPainter &painter, int width)
{
    const int h = height();
    for (const TimelineMarker &marker : markers) {
        const double column = pixelOf(marker.time);
        if (!(column >= -20 && column <= width + 20))
            continue;
        const int x = int(column);
        painter.save();
        painter.setPen(QPen(marker.color, 1.5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.setBrush(marker.color);
        // Flag and label keep to the strip above the time labels, which they would cover.
        painter.drawPolygon(QPolygon({QPoint(x - 5, 0), QPoint(x + 5, 0), QPoint(x, 10)}));
        painter.drawLine(x, 10, x, h);
        if (!marker.label.isEmpty()) {
            QFont font = painter.font();
            font.setPixelSize(9);
            font.setBold(true);
            painter.setFont(font);
            const int labelWidth = QFontMetrics(font).horizontalAdvance(marker.label);
            const QRect box(x + 7, 0, labelWidth + 6, 11);
            QColor fill = marker.color;
            fill.setAlpha(160);
            painter.fillRect(box, fill);
            painter.setPen(Qt::white);
            painter.drawText(box, Qt::AlignCenter, marker.label);
        }
        painter.restore();
    }
}

void TimelineRulerWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const double mx = std::round(event->position().x());
        for (int i = 0; i < int(markers.size()); ++i) {
            if (std::abs(mx - pixelOf(markers[i].time)) <= 8) {
                emit markerDoubleClicked(i);
                event->accept();
                return;
            }
        }
    }
    QWidget::mouseDoubleClickEvent(event);
}
