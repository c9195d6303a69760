#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes Standard MIDI Files with mido and prints, as JSON, what an importer must read from them.

Usage: midi_fixtures.py <folder>
Expected times come from mido.tick2second over a tempo map gathered from every track, so
they are independent of the importer under test. Tempos are multiples of the division, which
makes every tempo segment a whole number of microseconds. Byte patterns mido will not write
(real-time bytes in a track, a format-0 file with two tracks, chunks of unknown types) are
patched into its output and read back by mido. Debian's mido 1.2 refuses a chunk of an
unknown type where it expects a track, so it reads those files with such chunks cut out,
which is what the file format asks of a reader."""
import io
import json
import os
import sys

import mido
from mido import Message, MetaMessage, MidiFile, MidiTrack


def track(*events):
    """Builds a track from (delta, message) pairs."""
    t = MidiTrack()
    for delta, msg in events:
        t.append(msg.copy(time=delta))
    return t


def on(key, vel=100, ch=0):
    return Message('note_on', note=key, velocity=vel, channel=ch)


def off(key, ch=0, as_note_on=False):
    if as_note_on:
        return Message('note_on', note=key, velocity=0, channel=ch)
    return Message('note_off', note=key, velocity=64, channel=ch)


def tempo(us):
    return MetaMessage('set_tempo', tempo=us)


def name(text):
    return MetaMessage('track_name', name=text)


def scale(title, channel=0):
    """A C-major scale with a text marker while the third note sounds."""
    events = [(0, name(title))]
    for index, key in enumerate((60, 62, 64, 65, 67, 69, 71, 72)):
        events.append((0, on(key, 80 + index, ch=channel)))
        if index == 2:
            events.append((120, MARKER))
            events.append((120, off(key, ch=channel)))
        else:
            events.append((240, off(key, ch=channel)))
    return track(*events)


MARKER = MetaMessage('text', text='SYS')
MARKER_BYTES = b'\xff\x01\x03SYS'

# System common and real-time messages with their data bytes, which a player skips.
SYSTEM_MESSAGES = {
    'f1': b'\xf1\x12', 'f2': b'\xf2\x10\x20', 'f3': b'\xf3\x05', 'f6': b'\xf6', 'f8': b'\xf8',
    'fa': b'\xfa', 'fb': b'\xfb', 'fc': b'\xfc', 'fe': b'\xfe',
}


def with_marker_replaced(data, replacement):
    """Puts `replacement` where the marker's bytes were and corrects that track's length."""
    at = data.index(MARKER_BYTES)
    chunk = data.rindex(b'MTrk', 0, at)
    length = int.from_bytes(data[chunk + 4:chunk + 8], 'big') - len(MARKER_BYTES) + len(replacement)
    return (data[:chunk + 4] + length.to_bytes(4, 'big') + data[chunk + 8:at] + replacement
            + data[at + len(MARKER_BYTES):])


def as_format0(data):
    return data[:8] + b'\x00\x00' + data[10:]


def chunks(data):
    """(offset, type, end) of each chunk after the header."""
    at = 8 + int.from_bytes(data[4:8], 'big')
    while at + 8 <= len(data):
        end = at + 8 + int.from_bytes(data[at + 4:at + 8], 'big')
        yield at, data[at:at + 4], end
        at = end


FOREIGN_CHUNK = b'Junk' + (5).to_bytes(4, 'big') + b'\x00MTrk'


def with_foreign_chunks(data):
    """A chunk of an unknown type (odd-sized, holding "MTrk") before every track and at the end."""
    out = data[:8 + int.from_bytes(data[4:8], 'big')]
    for at, _, end in chunks(data):
        out += FOREIGN_CHUNK + data[at:end]
    return out + FOREIGN_CHUNK


def without_foreign_chunks(data):
    out = data[:8 + int.from_bytes(data[4:8], 'big')]
    for at, kind, end in chunks(data):
        if kind == b'MTrk':
            out += data[at:end]
    return out


def fixtures():
    """File name -> (division, format, tracks, patch applied to the written bytes or None)."""
    files = {}

    # Format 0: a tempo change in the middle, running status (mido writes repeated statuses
    # once), note-on velocity 0 as note-off, one key overlapping on two channels, a note
    # never switched off, a controller and a program change to read over.
    files['format0.mid'] = (480, 0, [track(
        (0, name('钢琴 Piano')),
        (0, tempo(600000)),
        (0, Message('program_change', program=5, channel=0)),
        (0, on(60)), (0, on(64)), (0, on(67)),
        (480, off(60, as_note_on=True)), (0, off(64, as_note_on=True)), (0, off(67, as_note_on=True)),
        (0, on(62, 90, ch=1)),
        (240, on(62, 70, ch=2)),
        (240, off(62, ch=2)),
        (0, Message('control_change', control=7, value=100, channel=0)),
        (120, tempo(480000)),
        (240, off(62, ch=1)),
        (0, on(72, 50)),
        (960, on(48, 80, ch=9)),
        (480, off(72)),
        (720, MetaMessage('end_of_track')),
    )], None)

    # Format 1: a tempo track, two named tracks, an unnamed one, and a tempo change that
    # only the last track carries but that times every track.
    files['format1.mid'] = (480, 1, [
        track((0, name('Tempo')), (0, tempo(480000)), (1920, tempo(960000))),
        track((0, name('Melody')),
              (0, on(72)), (480, off(72)),
              (0, on(74, 110)), (960, off(74)),
              (480, on(76, 64)), (1440, off(76))),
        track((0, name('Bass')),
              (0, on(36, 120)), (3840, off(36)),
              (0, on(38, 120)), (240, on(38, 60)), (240, off(38)), (240, off(38))),
        track((480, on(50)), (2880, off(50))),
        track((0, tempo(432000)), (2400, tempo(600000)), (0, on(40)), (10, off(40))),
    ], None)

    # No tempo at all: 120 BPM, division 96; a note at an odd tick truncates once.
    files['notempo.mid'] = (96, 1, [
        track((0, name('Solo')), (0, on(60)), (96, off(60)), (10, on(61)), (86, off(61))),
    ], None)

    for status, message in SYSTEM_MESSAGES.items():
        files['system-%s.mid' % status] = (
            480, 0, [scale('Scale')], lambda data, message=message: with_marker_replaced(data, message))

    # Two track chunks under a format-0 header: invalid, but both are read.
    files['format0-two-tracks.mid'] = (480, 1, [scale('Right'), scale('Left', channel=1)], as_format0)

    # Chunks of an unknown type are skipped and do not count as tracks: the header's count
    # still reaches every track, and an unnamed track is named by its place among the tracks.
    files['foreign-chunk-format0.mid'] = (480, 0, [scale('Scale')], with_foreign_chunks)
    files['foreign-chunks-format1.mid'] = (
        96, 1, [scale('Right'), track((0, tempo(400000)), (0, on(50)), (96, off(50)))], with_foreign_chunks)
    return files


def tempo_map(mid):
    entries = [(0, 500000)]
    for t in mid.tracks:
        tick = 0
        for msg in t:
            tick += msg.time
            if msg.type == 'set_tempo':
                entries.append((tick, msg.tempo))
    return sorted(entries, key=lambda e: e[0])


def seconds(tick, entries, division):
    total, prev, current = 0.0, 0, 500000
    for at, us in entries:
        if at > tick:
            break
        total += mido.tick2second(at - prev, division, current)
        prev, current = at, us
    return total + mido.tick2second(tick - prev, division, current)


def expected(mid):
    entries = tempo_map(mid)
    tracks, duration = [], 0.0
    for index, t in enumerate(mid.tracks):
        tick, held, notes, title = 0, {}, [], ''
        for msg in t:
            tick += msg.time
            if msg.type == 'track_name':
                title = msg.name
            elif msg.type == 'note_on' and msg.velocity > 0:
                held.setdefault((msg.note, msg.channel), []).append((tick, msg.velocity))
            elif msg.type in ('note_on', 'note_off') and held.get((msg.note, msg.channel)):
                start, vel = held[(msg.note, msg.channel)].pop(0)
                notes.append((msg.note, start, tick, vel))
        for key in sorted(held):
            for start, vel in held[key]:
                notes.append((key[0], start, tick, vel))
        if not notes:
            continue
        out = []
        for key, start, end, vel in notes:
            s, e = seconds(start, entries, mid.ticks_per_beat), seconds(end, entries, mid.ticks_per_beat)
            out.append([key, s, max(0.001, e - s), vel])
            duration = max(duration, e)
        tracks.append({'name': title or 'Track %d' % (index + 1), 'notes': out})
    first = [us for at, us in entries if at == 0 and us not in (0, 500000)]
    bpm = 60000000.0 / first[0] if first else 120.0
    return {'tracks': tracks, 'duration': duration, 'bpm': bpm}


def main():
    folder = sys.argv[1]
    result = {}
    for filename, (division, fmt, tracks, patch) in fixtures().items():
        mid = MidiFile(type=fmt, ticks_per_beat=division, charset='utf-8')
        mid.tracks.extend(tracks)
        path = os.path.join(folder, filename)
        mid.save(path)
        if patch:
            with open(path, 'rb') as f:
                data = patch(f.read())
            with open(path, 'wb') as f:
                f.write(data)
        with open(path, 'rb') as f:
            readable = without_foreign_chunks(f.read())
        result[filename] = expected(MidiFile(file=io.BytesIO(readable), charset='utf-8'))
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == '__main__':
    main()
