// SPDX-License-Identifier: GPL-3.0-or-later
#include "StandardMidiFileBytes.h"

#include <algorithm>
#include <cmath>

namespace {
QByteArray bigEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray variableLength(quint32 value)
{
    QByteArray out(1, char(value & 0x7F));
    while (value >>= 7)
        out.prepend(char((value & 0x7F) | 0x80));
    return out;
}
} // namespace

QByteArray standardMidiFile(const std::vector<MidiNote> &notes, int tailTicks)
{
    struct Event
    {
        int tick;
        bool on;
        int pitch, velocity;
    };
    std::vector<Event> events;
    for (const MidiNote &n : notes) {
        const int on = int(std::lround(n.start * midiTicksPerSecond));
        events.push_back({on, true, n.pitch, n.velocity});
        events.push_back({on + int(std::lround(n.duration * midiTicksPerSecond)), false, n.pitch, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event &a, const Event &b) { return a.tick < b.tick; });
    QByteArray track;
    int now = 0;
    for (const Event &e : events) {
        track += variableLength(quint32(e.tick - now)) + char(e.on ? 0x90 : 0x80) + char(e.pitch) + char(e.velocity);
        now = e.tick;
    }
    track += variableLength(quint32(tailTicks)) + QByteArray("\xFF\x2F\x00", 3);
    return "MThd" + bigEndian(6, 4) + bigEndian(0, 2) + bigEndian(1, 2) + bigEndian(480, 2) + "MTrk"
           + bigEndian(quint32(track.size()), 4) + track;
}
