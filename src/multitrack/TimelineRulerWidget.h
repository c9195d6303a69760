// SPDX-License-Identifier: GPL-3.0-or-later
// The time strip of the multitrack page: seconds or bars and beats, markers and the playhead.
#pragma once

#include "project/TimelineMarker.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <vector>

class QPainter;

// GUI thread only. Draws what the page hands to it and keeps no link to the page; a time t
// is drawn at x = int((t - viewStartSec) * zoomLevel * 100).
class TimelineRulerWidget : public QWidget
{
    Q_OBJECT

public:
    enum RulerMode { Time = 0, BarsBeats = 1 };

    // One tick of the scale: a line from (x, top) to (x, bottom), and a label at (x + 2, 20)
    // when `label` is not empty.
    struct Tick
    {
        int x = 0;
        int top = 0;
        int bottom = 0;
        QString label;

        bool operator==(const Tick &) const = default;
    };

    explicit TimelineRulerWidget(QWidget *parent = nullptr);

    void setViewStartSec(double seconds);
    void setZoomLevel(double zoom);  // clamped to 0.001..512
    void setDuration(double seconds);
    void setPlayheadPosition(double seconds);
    void setRulerMode(RulerMode mode);
    void setBpm(double bpm);  // ignored unless positive
    void setMarkers(const std::vector<TimelineMarker> &markers);

    int secondsToX(double t) const;
    // The scale of the current mode for a strip `width` pixels wide, as paintEvent draws it.
    QList<Tick> scaleTicks(int width) const;

    double viewStartSec = 0.0;
    double zoomLevel = 1.0;
    double duration = 300.0;
    double playheadSec = 0.0;
    RulerMode rulerMode = Time;
    double bpm = 120.0;
    std::vector<TimelineMarker> markers;
    QColor backgroundColor = QColor(30, 30, 40);
    QColor tickColor = QColor(80, 80, 80);
    QColor playheadColor = QColor(255, 0, 85);

signals:
    void markerDoubleClicked(int index);
    void markerClicked(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void drawMarkers(QPainter &painter, int width);
    // Truncated pixel column of time t, kept in double so far-off times never overflow an int.
    double pixelOf(double t) const;
    QList<Tick> timeTicks(int width) const;
    QList<Tick> barsBeatsTicks(int width) const;
};
