#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the 88 built-in piano recordings (A0.mp3 ... C8.mp3) from Debian's
# FluidR3_GM SoundFont (fluid-soundfont-gm, MIT licence). Output is byte-reproducible
# with the same fluidsynth, sox and lame versions: no dither, no random seeds.
# Usage: resources/piano/make-piano.sh [SoundFont]   (writes next to this script)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
soundfont=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
rate=44100
velocity=100
spacing=5      # seconds between note-ons, long enough for the release to die away
hold=2.6       # seconds the key is held
length=3.0     # seconds kept per recording
fade=0.25      # seconds of fade-out at the end of a recording

for tool in fluidsynth sox lame python3; do
  command -v "$tool" >/dev/null || { echo "make-piano: $tool is missing" >&2; exit 1; }
done
[[ -f $soundfont ]] || { echo "make-piano: no SoundFont at $soundfont" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One MIDI file plays every key in turn on preset 0 (acoustic grand), A0 (21) to C8 (108).
python3 - "$work/keys.mid" "$spacing" "$hold" "$velocity" <<'PY'
import struct, sys
path, spacing, hold, velocity = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
ticks_per_second = 960  # 480 ticks per beat at the default 120 BPM

def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)

events, now = bytearray(), 0
for i, key in enumerate(range(21, 109)):
    on = round(i * spacing * ticks_per_second)
    off = round((i * spacing + hold) * ticks_per_second)
    events += vlq(on - now) + bytes([0x90, key, velocity]); now = on
    events += vlq(off - now) + bytes([0x80, key, 0]); now = off
events += vlq(round(spacing * ticks_per_second)) + b"\xff\x2f\x00"
with open(path, "wb") as f:
    f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
    f.write(b"MTrk" + struct.pack(">I", len(events)) + events)
PY

# Reverb and chorus off: the sampler plays the dry note. Gain 3.0 (fifteen times the
# default) brings the peaks near half scale.
fluidsynth -n -i -q -R 0 -C 0 -g 3.0 -r "$rate" -O float -T wav -F "$work/keys.wav" \
  "$soundfont" "$work/keys.mid" >/dev/null

names=(C Csharp D Dsharp E F Fsharp G Gsharp A Asharp B)
for i in $(seq 0 87); do
  key=$((21 + i))
  name=${names[key % 12]}$((key / 12 - 1))
  sox -V1 -R -D "$work/keys.wav" -b 16 "$work/$name.wav" \
    trim "$((i * spacing))" "$length" remix - fade t 0 "$length" "$fade"
  lame --quiet --noreplaygain -m m -b 96 -q 2 "$work/$name.wav" "$here/$name.mp3"
done

# The resource file that builds them into the program under ":/piano".
{
  echo '<!DOCTYPE RCC><RCC version="1.0">'
  echo '<qresource prefix="/piano">'
  for f in $(cd "$here" && ls *.mp3 | LC_ALL=C sort); do echo "  <file>$f</file>"; done
  echo '</qresource>'
  echo '</RCC>'
} >"$here/piano.qrc"
echo "make-piano: wrote 88 recordings and piano.qrc to $here"
