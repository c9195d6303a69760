#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb as a person would: a new multitrack project, a MIDI
# file imported, its clip double-clicked to open the piano roll, a piano key pressed and
# dragged off the key before the release; then the mixer shown and a fader moved up.
# Checks with sox on a recording of the null sink's monitor: the key is heard, and it is
# silent again one second after the release (a note released off its key must not hang);
# the saved project holds the volume the fader set.
#
# Usage: piano-roll-preview.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: piano-roll-preview.sh PROGRAM [OUTPUT_DIR]}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$here/lib.sh"

command -v parec >/dev/null || fail "parec is missing (pulseaudio-utils)"
pactl info >/dev/null 2>&1 || fail "no PulseAudio server: run through scripts/test.sh"

# One note at 120 BPM, so the import asks no tempo question.
/usr/bin/python3 - "$work/tune.mid" <<'PY'
import sys, mido
f = mido.MidiFile(type=1, ticks_per_beat=480)
conductor = mido.MidiTrack(); f.tracks.append(conductor)
conductor.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(120)))
t = mido.MidiTrack(); f.tracks.append(t)
t.append(mido.MetaMessage('track_name', name='Tune'))
t.append(mido.Message('note_on', note=60, velocity=100, time=0))
t.append(mido.Message('note_off', note=60, velocity=0, time=4 * 480))
f.save(sys.argv[1])
PY

start_program run
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'
main_keys alt+f m m Return
answer_file_dialog '导入MIDI' "$work/tune.mid"
sleep 1
shot 01-imported

# The MIDI clip lies at the start of the first lane: right of the 188-pixel header column,
# below the tool bar.
eval "$(xdotool getwindowgeometry --shell "$main")"
lane_x=$((X + 188 + 60))
lane_y=$((Y + ${ZENTRIQ_E2E_LANE_TOP:-44} + 60))
xdotool mousemove "$lane_x" "$lane_y" click --repeat 2 --delay 80 1
roll=$(wait_window '^Piano Roll$')
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$roll")"
# Plain wheel steps over the grid scroll 40 pixels each: 25 bring A4 (pitch 69) into view.
xdotool mousemove $((X + 400)) $((Y + 200))
for _ in $(seq 25); do xdotool click 5; done
sleep 0.3
shot 02-piano-roll
key_y=$((Y + (119 - 69) * 24 + 32 - 25 * 40 + 12))

parec -d @DEFAULT_MONITOR@ --raw --format=float32le --rate=48000 --channels=1 --latency-msec=20 >"$work/heard.raw" &
recorder=$!
pids+=($recorder)
sleep 1.5
xdotool mousemove $((X + 20)) "$key_y" mousedown 1
sleep 1
# Off the key and over the grid before letting go.
xdotool mousemove $((X + 400)) $((key_y - 120))
sleep 0.2
xdotool mouseup 1
sleep 2.5
kill "$recorder"
wait "$recorder" 2>/dev/null || true
shot 03-after-release

sox -t f32 -r 48000 -c 1 "$work/heard.raw" "$work/heard.wav"
# Where the key begins: the first sample above -40 dBFS.
onset=$(/usr/bin/python3 - "$work/heard.raw" <<'PY'
import sys, numpy as np
x = np.fromfile(sys.argv[1], dtype="<f4")
loud = np.flatnonzero(np.abs(x) > 0.01)
print(f"{loud[0] / 48000:.3f}" if loud.size else "none")
PY
)
[[ $onset != none ]] || fail "the key was not heard"
peak() { sox "$work/heard.wav" -n trim "$1" "$2" stat 2>&1 | awk '/Maximum amplitude/ {print $3}'; }
held=$(peak "$onset" 0.8)
# Held 1 s, then moved and released (0.2 s): one second after the release is onset + 2.2 s.
after=$(peak "$(echo "$onset + 2.2" | bc)" 0.5)
echo "e2e: key heard from ${onset}s, peak while held $held, one second after the release $after"
awk -v p="$held" 'BEGIN { exit !(p > 0.05) }' || fail "the held key is too quiet ($held)"
awk -v p="$after" 'BEGIN { exit !(p < 0.001) }' || fail "still sounding after the release ($after)"

# The piano roll closes with Escape; in the mixer the track's fader is moved up.
xdotool windowfocus --sync "$roll" 2>/dev/null || true
keys Escape
wait_gone '^Piano Roll$'
main_keys ctrl+shift+m
sleep 0.5
shot 04-mixer
eval "$(xdotool getwindowgeometry --shell "$main")"
# A click on the first strip's fader groove above its handle (at 80) moves it up one step.
xdotool mousemove $((X + ${ZENTRIQ_E2E_FADER_X:-83})) $((Y + ${ZENTRIQ_E2E_FADER_Y:-640})) click 1
sleep 0.3
shot 05-fader-moved
main_keys ctrl+shift+m
sleep 0.5
shot 06-header-follows
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/song"
wait_file "$work/song.zqp" "song.zqp was not written"
/usr/bin/python3 - "$work/song.zqp" <<'PY' || fail "the fader did not change the track's volume"
import json, sys
volume = json.load(open(sys.argv[1]))["tracks"][0]["volume"]
print(f"e2e: track volume after the fader click {volume}")
sys.exit(0 if abs(volume - 0.9) < 1e-6 else 1)
PY
quit_program
passed=1
