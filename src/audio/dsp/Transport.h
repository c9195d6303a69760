// SPDX-License-Identifier: GPL-3.0-or-later
// Play position, tempo and callbacks scheduled at positions, fired as processing passes them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class Transport
{
public:
    struct ScheduledEvent
    {
        int id = 0;
        double time = 0.0; // seconds
        bool once = false;
        std::function<void(double)> callback; // may be empty
    };

    void setSampleRate(float rate) { sampleRate = rate; }
    void setBPM(float value); // 20..300; nothing here uses it
    float getBPM() const { return bpm; }

    void start() { running = true; }
    void pause() { running = false; }
    void stop();
    bool isRunning() const { return running; }
    void setPosition(double seconds); // negative and NaN give 0
    double getPosition() const { return position; }

    // Repeats whenever processing passes `time` again; returns the event's id.
    int schedule(std::function<void(double)> callback, double time);
    // Removed once it has fired.
    void scheduleOnce(std::function<void(double)> callback, double time);
    void cancel(int id);
    void cancelAll() { events.clear(); }

    // Advances by n samples while running. Callbacks run here, on the caller's thread, and may
    // schedule or cancel events; an event scheduled during a sample fires from the next one.
    void process(std::uint64_t n);

private:
    float sampleRate = 44100.0f;
    float bpm = 120.0f;
    bool running = false;
    double position = 0.0;
    std::vector<ScheduledEvent> events;
    int nextId = 1;
    std::vector<int> dueIds; // reused from sample to sample
};
