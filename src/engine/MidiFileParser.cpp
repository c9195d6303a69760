// SPDX-License-Identifier: GPL-3.0-or-later
// Standard MIDI File reader: chunk walk, tempo map and note pairing, all bounded by the file.
#include "engine/MidiFileParser.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <climits>

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // 120 quarter notes per minute
constexpr std::uint64_t kMaxTick = UINT32_MAX;   // ticks are 32-bit; a walk beyond that is malformed

std::uint32_t readBigEndian32(const unsigned char *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::uint16_t readBigEndian16(const unsigned char *p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

// One event of a track chunk. `data`/`length` hold a meta event's payload.
struct TrackEvent
{
    enum class Kind { Channel, Meta, SystemExclusive, System };
    Kind kind = Kind::Channel;
    std::uint64_t tick = 0;
    unsigned char status = 0;
    unsigned char data1 = 0;
    unsigned char data2 = 0;
    unsigned char metaType = 0;
    const unsigned char *data = nullptr;
    std::uint32_t length = 0;
};

// Walks the events of one chunk in place. Every read is checked against the chunk end,
// which the caller has already cut to the file; a malformed event ends the walk.
class TrackEventReader
{
public:
    TrackEventReader(const unsigned char *bytes, std::int64_t begin, std::int64_t end)
        : bytes(bytes), pos(begin), end(end)
    {
    }

    // False at the end of the chunk or at the first malformed event.
    bool next(TrackEvent &event)
    {
        if (pos >= end)
            return false;
        std::uint32_t delta = 0;
        if (!readQuantity(delta) || tick + delta > kMaxTick)
            return false;
        tick += delta;
        event.tick = tick;
        if (pos >= end)
            return false;

        const unsigned char first = bytes[pos];
        if (first == 0xFF)
            return readMeta(event);
        if (first == 0xF0 || first == 0xF7)
            return readSystemExclusive(event);
        if (first > 0xF0)
            return readSystem(event);

        unsigned char status = first;
        if (first & 0x80) {
            ++pos;
        } else if (runningStatus != 0) {
            status = runningStatus;  // a data byte continues the running status
        } else {
            return false;  // data byte before any status
        }
        return readChannel(status, event);
    }

    std::uint64_t lastTick() const { return tick; }

private:
    // At most four bytes of seven bits; a fourth byte still asking for more is malformed.
    bool readQuantity(std::uint32_t &value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= end)
                return false;
            const unsigned char byte = bytes[pos++];
            value = (value << 7) | (byte & 0x7F);
            if (!(byte & 0x80))
                return true;
        }
        return false;
    }

    bool readMeta(TrackEvent &event)
    {
        ++pos;  // 0xFF
        if (pos >= end)
            return false;
        event.kind = TrackEvent::Kind::Meta;
        event.status = 0xFF;
        event.metaType = bytes[pos++];
        if (!readQuantity(event.length) || std::int64_t(event.length) > end - pos)
            return false;
        event.data = bytes + pos;
        pos += event.length;
        return true;
    }

    bool readSystemExclusive(TrackEvent &event)
    {
        event.kind = TrackEvent::Kind::SystemExclusive;
        event.status = bytes[pos++];
        std::uint32_t length = 0;
        if (!readQuantity(length) || std::int64_t(length) > end - pos)
            return false;
        pos += length;
        return true;
    }

    // System common and real-time bytes have no place in a file, yet some files carry them
    // and players skip them by their fixed lengths. The undefined F4, F5, F9 and FD have no
    // length to skip by and end the track. As on the wire, a system common message cancels
    // the running status and a real-time byte leaves it alone.
    bool readSystem(TrackEvent &event)
    {
        // Data bytes after F0 to FE; -1 where no such message exists (sysex is read elsewhere).
        static constexpr signed char dataBytes[15] = {
            -1, 1,  2, 1,   // F0 F1 F2 F3
            -1, -1, 0, -1,  // F4 F5 F6 F7
            0,  -1, 0, 0,   // F8 F9 FA FB
            0,  -1, 0};     // FC FD FE
        const unsigned char status = bytes[pos];
        const int length = dataBytes[status - 0xF0];
        if (length < 0 || !dataBytesFit(pos + 1, length))
            return false;
        pos += 1 + length;
        if (status < 0xF8)
            runningStatus = 0;
        event.kind = TrackEvent::Kind::System;
        event.status = status;
        return true;
    }

    // A data byte with its top bit set is not MIDI; taking it would give keys above 127.
    bool dataBytesFit(std::int64_t at, int count) const
    {
        if (end - at < count)
            return false;
        for (int i = 0; i < count; ++i)
            if (bytes[at + i] & 0x80)
                return false;
        return true;
    }

    bool readChannel(unsigned char status, TrackEvent &event)
    {
        int dataBytes = 0;
        switch (status & 0xF0) {
        case 0x80: case 0x90: case 0xA0: case 0xB0: case 0xE0: dataBytes = 2; break;
        case 0xC0: case 0xD0: dataBytes = 1; break;
        default: return false;
        }
        if (!dataBytesFit(pos, dataBytes))
            return false;
        runningStatus = status;
        event.kind = TrackEvent::Kind::Channel;
        event.status = status;
        event.data1 = bytes[pos];
        event.data2 = dataBytes == 2 ? bytes[pos + 1] : 0;
        pos += dataBytes;
        return true;
    }

    const unsigned char *bytes;
    std::int64_t pos;
    std::int64_t end;
    std::uint64_t tick = 0;
    unsigned char runningStatus = 0;
};

// Converts ticks to seconds through the tempo map. Ticks must not decrease from call to call,
// so one walk over a track costs its events plus the tempo changes, not their product.
class TempoClock
{
public:
    TempoClock(const std::vector<TempoEntry> &tempoMap, int division) : tempoMap(tempoMap), division(division) {}

    double secondsAt(std::uint64_t tick)
    {
        while (next < tempoMap.size() && tempoMap[next].tick <= tick) {
            microseconds += segment(tempoMap[next].tick - previousTick);
            tempo = tempoMap[next].microsecondsPerQuarter;
            previousTick = tempoMap[next].tick;
            ++next;
        }
        return double(microseconds + segment(tick - previousTick)) / 1000000.0;
    }

private:
    // Whole microseconds per segment; ticks below 2^32 times a 24-bit tempo fit in 64 bits.
    std::uint64_t segment(std::uint64_t ticks) const { return ticks * tempo / std::uint64_t(division); }

    const std::vector<TempoEntry> &tempoMap;
    const int division;
    std::size_t next = 0;
    std::uint64_t previousTick = 0;
    std::uint64_t tempo = kDefaultTempo;
    std::uint64_t microseconds = 0;
};

struct PendingNote
{
    double startSeconds;
    int velocity;
};

// Held note-ons of one channel and key, oldest first; popping moves `head` so that a long
// run of repeated note-ons costs no shifting.
struct PendingKey
{
    std::vector<PendingNote> notes;
    std::size_t head = 0;

    bool empty() const { return head == notes.size(); }
    PendingNote popOldest()
    {
        const PendingNote oldest = notes[head++];
        if (empty()) {
            notes.clear();
            head = 0;
        }
        return oldest;
    }
};

// One track chunk of the file with its data cut to the file and to what parseTrack can address.
struct TrackChunk
{
    std::int64_t dataBegin;
    std::int64_t dataEnd;
    int index;  // among the track chunks, from 0
};

// Visits at most `maxTracks` "MTrk" chunks from `offset` on, while a chunk header fits in the
// file. Chunks of other types are skipped and not counted, as the file format asks of a
// reader: they belong to extensions it does not know. Offsets are 64-bit, so no stated
// length can wrap them.
template<typename Visit>
void forEachTrackChunk(const QByteArray &bytes, std::int64_t offset, int maxTracks, Visit visit)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const std::int64_t size = std::min<std::int64_t>(bytes.size(), INT_MAX);
    int index = 0;
    while (index < maxTracks && offset + 8 <= size) {
        const std::int64_t dataBegin = offset + 8;
        const std::int64_t statedEnd = dataBegin + readBigEndian32(data + offset + 4);
        if (std::equal(data + offset, data + offset + 4, "MTrk"))
            visit(TrackChunk{dataBegin, std::min(statedEnd, size), index++});
        offset = statedEnd;
    }
}

std::vector<TempoEntry> buildTempoMap(const QByteArray &bytes, std::int64_t firstChunk, int trackCount)
{
    std::vector<TempoEntry> tempoMap{{0, kDefaultTempo}};
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    forEachTrackChunk(bytes, firstChunk, trackCount, [&](const TrackChunk &chunk) {
        TrackEventReader reader(data, chunk.dataBegin, chunk.dataEnd);
        TrackEvent event;
        while (reader.next(event)) {
            if (event.kind == TrackEvent::Kind::Meta && event.metaType == 0x51 && event.length == 3) {
                const std::uint32_t tempo = (std::uint32_t(event.data[0]) << 16) | (event.data[1] << 8) | event.data[2];
                tempoMap.push_back({std::uint32_t(event.tick), tempo});
            }
        }
    });
    // Stable: a file's own tempo at tick 0 comes after the default and overrides it.
    std::stable_sort(tempoMap.begin(), tempoMap.end(),
                     [](const TempoEntry &a, const TempoEntry &b) { return a.tick < b.tick; });
    return tempoMap;
}

void logTrack(int trackIndex, const std::vector<MidiNote> &notes)
{
    if (notes.size() <= 5) {
        for (const MidiNote &note : notes)
            qDebug() << "  track" << trackIndex << "note pitch" << note.pitch << "start" << note.start << "dur"
                     << note.duration;
        return;
    }
    qDebug() << "  track" << trackIndex << "first note start" << notes.front().start << "last note end"
             << notes.back().start + notes.back().duration << "total notes" << notes.size();
}

} // namespace

void parseTrack(const unsigned char *data, int start, int length, int division,
                const std::vector<TempoEntry> &tempoMap, int trackIndex, ImportedMidiTrack &track,
                double &durationSeconds)
{
    if (!data || start < 0 || length <= 0 || division <= 0)
        return;

    TrackEventReader reader(data, start, std::int64_t(start) + length);
    TempoClock clock(tempoMap, division);
    // Note-offs pair with note-ons of the same channel and key: overlapping notes of one key
    // on two channels must not close each other. Index: key * 16 + channel; sized at the
    // first note-on so chunks without notes cost nothing.
    std::vector<PendingKey> pending;
    std::vector<MidiNote> notes;
    double lastEnd = 0.0;
    QString name;

    auto close = [&](const PendingNote &on, int key, std::uint64_t tick) {
        const double end = clock.secondsAt(tick);
        notes.push_back({key, on.startSeconds, std::max(0.001, end - on.startSeconds), on.velocity});
        lastEnd = std::max(lastEnd, end);
    };

    TrackEvent event;
    while (reader.next(event)) {
        if (event.kind == TrackEvent::Kind::Meta) {
            if (event.metaType == 0x03 && event.length > 0)
                name = QString::fromUtf8(reinterpret_cast<const char *>(event.data), qsizetype(event.length));
            continue;
        }
        if (event.kind != TrackEvent::Kind::Channel)
            continue;
        const int type = event.status & 0xF0;
        if (type != 0x80 && type != 0x90)
            continue;
        const int key = event.data1;
        if (pending.empty())
            pending.resize(128 * 16);
        auto &held = pending[std::size_t(key * 16 + (event.status & 0x0F))];
        if (type == 0x90 && event.data2 > 0)
            held.notes.push_back({clock.secondsAt(event.tick), event.data2});
        else if (!held.empty())
            close(held.popOldest(), key, event.tick);
    }

    // Notes never switched off last until the last tick the walk reached.
    for (std::size_t slot = 0; slot < pending.size(); ++slot)
        while (!pending[slot].empty())
            close(pending[slot].popOldest(), int(slot / 16), reader.lastTick());

    if (notes.empty())
        return;
    track.name = name.isEmpty() ? QStringLiteral("Track %1").arg(trackIndex + 1) : name;
    durationSeconds = lastEnd;
    track.notes.insert(track.notes.end(), notes.begin(), notes.end());
    logTrack(trackIndex, notes);
}

bool parseMidiData(const QByteArray &bytes, QList<ImportedMidiTrack> &tracks, double &durationSeconds, double &bpm)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const std::int64_t size = bytes.size();
    if (size < 14)
        return false;
    if (!bytes.startsWith("MThd")) {
        qWarning() << "MidiFileParser: not a MIDI file (no MThd)";
        return false;
    }
    const std::int64_t headerLength = readBigEndian32(data + 4);
    if (headerLength < 6 || headerLength + 7 >= size)
        return false;
    const int format = readBigEndian16(data + 8);
    const int trackCount = readBigEndian16(data + 10);
    const int division = readBigEndian16(data + 12);
    if (division == 0 || (division & 0x8000)) {
        qWarning() << "MidiFileParser: SMPTE timing not supported";
        return false;
    }

    const std::int64_t firstChunk = headerLength + 8;
    // Every announced track chunk is read, whatever the format says: a format-0 file with
    // several tracks is invalid, but its later tracks are still part of the music. Format 0
    // always has its one track, even when the count says none.
    const int trackChunks = format == 0 ? std::max(trackCount, 1) : trackCount;
    const std::vector<TempoEntry> tempoMap = buildTempoMap(bytes, firstChunk, trackChunks);
    tracks.clear();
    durationSeconds = 0.0;

    forEachTrackChunk(bytes, firstChunk, trackChunks, [&](const TrackChunk &chunk) {
        ImportedMidiTrack track;
        double trackSeconds = 0.0;
        parseTrack(data, int(chunk.dataBegin), int(chunk.dataEnd - chunk.dataBegin), division, tempoMap, chunk.index,
                   track, trackSeconds);
        if (track.notes.empty())
            return;
        tracks.append(std::move(track));
        durationSeconds = std::max(durationSeconds, trackSeconds);
    });

    bpm = 120.0;
    for (const TempoEntry &entry : tempoMap) {
        if (entry.tick != 0)
            break;
        if (entry.microsecondsPerQuarter != 0 && entry.microsecondsPerQuarter != kDefaultTempo) {
            bpm = 60000000.0 / entry.microsecondsPerQuarter;
            break;
        }
    }

    qInfo() << "MidiFileParser: imported" << tracks.size() << "track(s)," << durationSeconds << "s, format" << format
            << "ticksPerBeat" << division << "bpm" << bpm;
    return !tracks.isEmpty();
}

bool parseMidiFile(const QString &path, QList<ImportedMidiTrack> &tracks, double &durationSeconds, double &bpm)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "MidiFileParser: cannot open" << path;
        return false;
    }
    return parseMidiData(file.readAll(), tracks, durationSeconds, bpm);
}
