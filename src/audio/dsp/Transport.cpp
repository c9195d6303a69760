// SPDX-License-Identifier: GPL-3.0-or-later
// Play position, tempo and callbacks scheduled at positions, fired as processing passes them.
#include "audio/dsp/Transport.h"

#include "audio/dsp/DspParameter.h"

#include <algorithm>
#include <cmath>
#include <utility>

void Transport::setBPM(float value)
{
    bpm = clampParameter(value, 20.0f, 300.0f);
}

void Transport::stop()
{
    running = false;
    position = 0.0;
}

void Transport::setPosition(double seconds)
{
    position = std::isnan(seconds) ? 0.0 : std::max(seconds, 0.0);
}

int Transport::schedule(std::function<void(double)> callback, double time)
{
    const int id = nextId++;
    events.push_back({id, time, false, std::move(callback)});
    return id;
}

void Transport::scheduleOnce(std::function<void(double)> callback, double time)
{
    events.push_back({nextId++, time, true, std::move(callback)});
}

void Transport::cancel(int id)
{
    std::erase_if(events, [id](const ScheduledEvent &event) { return event.id == id; });
}

void Transport::process(std::uint64_t n)
{
    if (!running)
        return;
    const double step = 1.0 / static_cast<double>(sampleRate);
    for (std::uint64_t i = 0; i < n; ++i) {
        const double from = position;
        const double to = from + step;
        // Collect first: a callback may grow or shrink the list while it runs.
        dueIds.clear();
        for (const ScheduledEvent &event : events) {
            if (from <= event.time && event.time < to)
                dueIds.push_back(event.id);
        }
        for (const int id : dueIds) {
            const auto event = std::find_if(events.begin(), events.end(),
                                            [id](const ScheduledEvent &e) { return e.id == id; });
            if (event == events.end())
                continue; // cancelled by an earlier callback of this sample
            const double time = event->time;
            const bool once = event->once;
            // A copy, so a callback that cancels its own event does not destroy itself.
            const std::function<void(double)> callback = event->callback;
            if (once)
                events.erase(event);
            if (callback)
                callback(time);
        }
        position = to;
    }
}
