// SPDX-License-Identifier: GPL-3.0-or-later
// Which stretch of a clip a time view shows, and the mapping between seconds and pixel columns.
#include "ui/TimeViewport.h"

#include <algorithm>
#include <cmath>

void TimeViewport::setZoom(double zoom)
{
    zoomLevel = std::isnan(zoom) ? minZoom : std::clamp(zoom, minZoom, maxZoom);
    setViewStart(viewStartSec);
}

void TimeViewport::setViewStart(double seconds)
{
    viewStartSec = durationSec > 0.0 && seconds > 0.0 ? std::min(seconds, maxViewStart()) : 0.0;
}

double TimeViewport::maxViewStart() const
{
    return std::max(0.0, durationSec - visibleSpan());
}

double TimeViewport::secondsAt(int x, int widthPixels) const
{
    if (widthPixels <= 0 || durationSec <= 0.0)
        return 0.0;
    return std::clamp(double(x) / widthPixels * visibleSpan() + viewStartSec, 0.0, durationSec);
}

int TimeViewport::pixelAt(double seconds, int widthPixels) const
{
    const double span = visibleSpan();
    if (!(span > 0.0))
        return 0;
    const double x = (seconds - viewStartSec) / span * widthPixels;
    return std::isnan(x) ? 0 : int(std::clamp(x, -1.0e9, 1.0e9));
}

void TimeViewport::zoomAround(double factor, int x, int widthPixels)
{
    const double anchor = secondsAt(x, widthPixels);
    setZoom(zoomLevel * factor);
    setViewStart(viewStartSec + anchor - secondsAt(x, widthPixels));
}

bool TimeViewport::follow(double seconds)
{
    if (zoomLevel <= minZoom || durationSec <= 0.0)
        return false;
    if (seconds < viewStartSec)
        setViewStart(seconds);
    else if (seconds > viewStartSec + visibleSpan())
        setViewStart(seconds - visibleSpan());
    else
        return false;
    return true;
}

void TimeViewport::reset()
{
    zoomLevel = minZoom;
    viewStartSec = 0.0;
}
