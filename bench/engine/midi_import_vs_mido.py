#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times our MIDI file import against python3-mido reading the same file and prints the ratio.

Usage: bench/engine/midi_import_vs_mido.py [build-bench/bench/midi_file_bench]
The file: format 1, a tempo track with 10,000 tempo changes and 10 tracks of 100,000 notes
each (1 million notes), written byte by byte here so making it takes seconds."""
import json
import os
import struct
import subprocess
import sys
import tempfile
import time

import mido

NOTES_PER_TRACK = 100_000
NOTE_TRACKS = 10
TEMPO_CHANGES = 10_000
DIVISION = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def chunk(kind, data):
    return kind + struct.pack('>I', len(data)) + data


def tempo_track():
    data = bytearray()
    for i in range(TEMPO_CHANGES):
        tempo = 400000 + (i * 7919) % 400000
        data += vlq(0 if i == 0 else 480) + b'\xff\x51\x03' + tempo.to_bytes(3, 'big')
    return chunk(b'MTrk', bytes(data + b'\x00\xff\x2f\x00'))


def note_track(index):
    data = bytearray(b'\x00\xff\x03' + vlq(len(b'Track')) + b'Track')
    channel = index % 16
    for i in range(NOTES_PER_TRACK):
        key = 36 + (i * 5 + index) % 60
        data += vlq(24) + bytes([0x90 | channel, key, 64 + i % 60])
        data += vlq(24) + bytes([key, 0])  # running status, velocity 0 as note-off
    return chunk(b'MTrk', bytes(data + b'\x00\xff\x2f\x00'))


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else 'build-bench/bench/midi_file_bench'
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, 'million.mid')
        header = chunk(b'MThd', struct.pack('>HHH', 1, NOTE_TRACKS + 1, DIVISION))
        with open(path, 'wb') as f:
            f.write(header + tempo_track() + b''.join(note_track(i) for i in range(NOTE_TRACKS)))

        run = subprocess.run([binary, '--benchmark_format=json', '--benchmark_repetitions=3',
                              '--benchmark_report_aggregates_only=true'],
                             env=dict(os.environ, ZENTRIQ_MIDI_BENCH_FILE=path),
                             check=True, capture_output=True, text=True)
        results = json.loads(run.stdout)['benchmarks']
        ours = min(b['real_time'] for b in results if b.get('aggregate_name') == 'median') / 1000.0

        peer = float('inf')
        for _ in range(2):
            start = time.perf_counter()
            notes = sum(1 for track in mido.MidiFile(path).tracks for m in track
                        if m.type == 'note_on' and m.velocity > 0)
            peer = min(peer, time.perf_counter() - start)
        print(f'notes: {notes}\nours: {ours:.4f} s\nmido: {peer:.4f} s\nratio mido/ours: {peer / ours:.1f}')


if __name__ == '__main__':
    main()
