#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the seeds of the wav, mp3 and ogg readers that reach their less travelled paths: MP3
# streams that change channel count or rate part-way or hold a damaged frame, WAV samples in
# slots wider than their bits and a WAV cut short, Ogg files with two interleaved streams,
# junk between pages, a chained change of rate and a chain whose third link breaks off.
# Small on purpose: libFuzzer mutates them.
#   fuzz/corpus/make-audio-seeds.sh   (needs sox, lame, ffmpeg, python3)
set -euo pipefail

corpus=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

tone() { sox -R -n -r "$1" -c "$2" -b 16 "$3" synth "$4" sine 440 sine 1234 gain -6; }

# MP3: tagless lame streams joined frame to frame, and one frame's header and side
# information inverted.
tone 44100 1 "$tmp/m.wav" 0.2
tone 44100 2 "$tmp/s.wav" 0.2
tone 48000 2 "$tmp/s48.wav" 0.3
# lame would resample a low bit rate's input; the rates must stay as they are.
lame --silent -t -b 64 --resample 44.1 "$tmp/m.wav" "$tmp/m.mp3"
lame --silent -t -b 64 --resample 44.1 "$tmp/s.wav" "$tmp/s.mp3"
lame --silent -t -b 64 --resample 48 "$tmp/s48.wav" "$tmp/s48.mp3"
cat "$tmp/m.mp3" "$tmp/s.mp3" >"$corpus/mp3/mono-then-stereo.mp3"
cat "$tmp/s.mp3" "$tmp/s48.mp3" >"$corpus/mp3/rate-change.mp3"
tone 44100 2 "$tmp/long.wav" 0.6
lame --silent -b 64 --resample 44.1 "$tmp/long.wav" "$tmp/long.mp3"
python3 - "$tmp/long.mp3" "$corpus/mp3/damaged-frame.mp3" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
rates = [44100, 48000, 32000]
frames, pos = [], 0
while pos + 4 <= len(data) and data[pos] == 0xFF and data[pos + 1] & 0xE0 == 0xE0:
    frames.append(pos)
    pos += 144000 * kbps[data[pos + 2] >> 4] // rates[(data[pos + 2] >> 2) & 3] + ((data[pos + 2] >> 1) & 1)
damaged = frames[len(frames) // 3]
for i in range(damaged + 2, damaged + 36):
    data[i] ^= 0xFF
open(sys.argv[2], 'wb').write(data)
PY

# WAV: 24-bit samples in 4-byte slots at the low end (arecord -f S24_LE) and at the high end
# under the extensible header, 12-bit samples in 2-byte slots, and a data chunk claiming more
# than the file holds.
python3 - "$corpus/wav" <<'PY'
import math, struct, sys
out = sys.argv[1]
def wav(name, fmt, data, claimed=None):
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt
    body += b'data' + struct.pack('<I', len(data) if claimed is None else claimed) + data
    open(f'{out}/{name}', 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
def samples(bits, count=64):
    top = (1 << (bits - 1)) - 1
    return [0, 0] + [int(top * 0.8 * math.sin(2 * math.pi * i / 16)) for i in range(count)]
guid = bytes.fromhex('0100000000001000800000aa00389b71')
def extensible(channels, container, valid):
    align = channels * container // 8
    return struct.pack('<HHIIHHHHI', 0xFFFE, channels, 48000, 48000 * align, align, container, 22, valid, 3) + guid
wav('s24-low-in-four-bytes.wav', struct.pack('<HHIIHH', 1, 2, 48000, 48000 * 8, 8, 24),
    b''.join(struct.pack('<I', v & 0xFFFFFF) for v in samples(24)))
wav('extensible-24-of-32.wav', extensible(2, 32, 24), b''.join(struct.pack('<i', v << 8) for v in samples(24)))
wav('pcm12-in-two-bytes.wav', struct.pack('<HHIIHH', 1, 1, 8000, 16000, 2, 12),
    b''.join(struct.pack('<h', v << 4) for v in samples(12)))
wav('cut-short.wav', struct.pack('<HHIIHH', 1, 1, 8000, 16000, 2, 16),
    b''.join(struct.pack('<h', v) for v in samples(16)), claimed=100000)
PY

# Ogg: two Vorbis streams as ffmpeg interleaves them, junk between two pages of a sox file,
# and two sox files chained at different rates.
tone 22050 1 "$tmp/a.wav" 0.5
tone 22050 1 "$tmp/b.wav" 0.5
ffmpeg -v error -y -fflags +bitexact -i "$tmp/a.wav" -i "$tmp/b.wav" -map 0 -map 1 -c:a libvorbis -q:a 0 \
  -fflags +bitexact "$corpus/ogg/interleaved-two-streams.ogg"
sox -R -n -r 22050 -c 1 "$tmp/c.ogg" synth 0.5 sine 440
python3 - "$tmp/c.ogg" "$corpus/ogg/junk-between-pages.ogg" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
pos, pages = 0, []
while pos + 27 <= len(data):
    segments = data[pos + 26]
    size = 27 + segments + sum(data[pos + 27:pos + 27 + segments])
    pages.append(data[pos:pos + size])
    pos += size
open(sys.argv[2], 'wb').write(b''.join(pages[:2]) + b'\0junk\xff' + b''.join(pages[2:]))
PY
sox -R -n -r 16000 -c 1 "$tmp/d.ogg" synth 0.3 sine 440
# A chained file's links have serial numbers of their own; sox gives every file the same.
python3 - "$tmp/c.ogg" "$tmp/d.ogg" "$corpus/ogg/chained-rate-change.ogg" "$corpus/ogg/chained-third-link-broken.ogg" <<'PY'
import struct, sys
def crc(page):
    value = 0
    for byte in page:
        value ^= byte << 24
        for _ in range(8):
            value = ((value << 1) ^ 0x04C11DB7 if value & 0x80000000 else value << 1) & 0xFFFFFFFF
    return value
second = bytearray(open(sys.argv[2], 'rb').read())
pos = 0
while pos + 27 <= len(second):
    segments = second[pos + 26]
    size = 27 + segments + sum(second[pos + 27:pos + 27 + segments])
    second[pos + 14:pos + 18] = struct.pack('<I', 0xC0FFEE)
    second[pos + 22:pos + 26] = bytes(4)
    second[pos + 22:pos + 26] = struct.pack('<I', crc(second[pos:pos + size]))
    pos += size
chained = open(sys.argv[1], 'rb').read() + second
open(sys.argv[3], 'wb').write(chained)
# A third link that breaks off after its first page: libvorbisfile's open loses memory.
third = bytearray(chained[:27 + chained[26] + sum(chained[27:27 + chained[26]])])
third[14:18] = struct.pack('<I', 0x5EC0D11C)
third[22:26] = bytes(4)
third[22:26] = struct.pack('<I', crc(third))
open(sys.argv[4], 'wb').write(chained + third)
PY
echo "seeds written under $corpus/{mp3,wav,ogg}"
