// SPDX-License-Identifier: GPL-3.0-or-later
// Which stretch of a clip a time view shows, and the mapping between seconds and pixel columns.
#pragma once

// A plain value shared by every view drawn along time (waveform, spectrogram, clip lanes), so
// they agree on where a second lands. The zoom is the clip length over the visible span: 1
// shows the whole clip. The view start never leaves [0, duration - visible span] once set.
class TimeViewport
{
public:
    static constexpr double minZoom = 1.0;
    static constexpr double maxZoom = 512.0;

    // Leaves the view start alone: the next zoom or scroll brings it back into range.
    void setDuration(double seconds) { durationSec = seconds; }
    double duration() const { return durationSec; }

    // NaN gives the whole clip; other values are held to [minZoom, maxZoom].
    void setZoom(double zoom);
    double zoom() const { return zoomLevel; }

    // NaN and negatives give 0; past the end gives the last full view.
    void setViewStart(double seconds);
    double viewStart() const { return viewStartSec; }
    void scrollToEnd() { viewStartSec = maxViewStart(); }

    double visibleSpan() const { return durationSec / zoomLevel; }
    double maxViewStart() const;

    // The time under pixel column `x` of a view `widthPixels` wide, held to the clip.
    double secondsAt(int x, int widthPixels) const;
    // The column of `seconds`; off-view times give columns outside [0, widthPixels).
    int pixelAt(double seconds, int widthPixels) const;

    // Zooms by `factor` keeping the time under column `x` where it is.
    void zoomAround(double factor, int x, int widthPixels);
    // When zoomed in, scrolls just far enough to show `seconds`. True if the view moved.
    bool follow(double seconds);
    // The whole clip, from its start.
    void reset();

private:
    double durationSec = 0.0;
    double zoomLevel = minZoom;
    double viewStartSec = 0.0;
};

// Timelines drawn at a fixed scale rather than fitted to their width (the multitrack page and
// the pitch editor): 100 pixels a second at zoom 1, from a view start.
namespace TimelineScale {

constexpr double pixelsPerSecondAtZoom1 = 100.0;

inline double pixelsPerSecond(double zoom)
{
    return pixelsPerSecondAtZoom1 * zoom;
}

// Unrounded: each view rounds the way it draws.
inline double pixelOf(double seconds, double viewStart, double zoom)
{
    return (seconds - viewStart) * zoom * pixelsPerSecondAtZoom1;
}

inline double secondsAt(double x, double viewStart, double zoom)
{
    return x / pixelsPerSecond(zoom) + viewStart;
}

} // namespace TimelineScale
