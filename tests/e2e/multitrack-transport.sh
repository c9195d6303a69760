#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the multitrack transport through the real window under Xvfb: a click track is
# imported and played with the play button while the null sink's monitor listens, stopped
# (the playhead returns to the start), then the track is armed and recorded onto for a few
# seconds while its own clip plays. The saved project must hold the take with every click
# within 10 ms of where it was played, and the monitor must have heard the clicks on the
# beat. Screenshots show the playhead while playing, after Stop and while recording.
#
# Usage: multitrack-transport.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: multitrack-transport.sh PROGRAM [OUTPUT_DIR]}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$here/lib.sh"

# A 10 ms 1 kHz beep every 0.5 s for 6 s, at the sink's rate.
sox -n -r 48000 -e floating-point -b 32 -c 1 "$work/clicks.wav" synth 0.01 sine 1000 pad 0 0.49 repeat 11

# The transport bar's buttons, in screen pixels of the 1920x1080 window.
click_at() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }
play_button=(146 1030)
stop_button=(232 1030)
record_button=(413 1030)
arm_button=(25 121)

start_program transport
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
# 48 kHz, the sink's rate: the streams' clocks then see every frame between them.
keys Down
shot 00-new-project-48k
keys Return
wait_gone '新建项目设置'
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/clicks.wav"
sleep 1

# 1. Play for a while, listening on the monitor, then Stop.
parec --device=@DEFAULT_SOURCE@ --format=float32le --rate=48000 --channels=1 --latency-msec=20 \
  >"$work/heard.raw" 2>"$work/parec.log" &
parec_pid=$!
pids+=($parec_pid)
sleep 1
click_at "${play_button[@]}"
sleep 4
shot 01-playing
click_at "${stop_button[@]}"
sleep 0.5
shot 02-stopped
kill "$parec_pid"; wait "$parec_pid" 2>/dev/null || true

# 2. Arm the track and record onto it while its clip plays.
click_at "${arm_button[@]}"
click_at "${record_button[@]}"
sleep 5
shot 03-recording
click_at "${record_button[@]}"
sleep 1
shot 04-recorded
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/take"
wait_file "$work/take.zqp" "take.zqp was not written"
quit_program

/usr/bin/python3 - "$work" <<'PY' || fail "the playback or the take is not where the clicks are"
import base64, json, sys
import numpy as np

work = sys.argv[1]
rate = 48000

def onsets(x, threshold, rate=rate):
    found, i = [], 0
    while i < len(x):
        if abs(x[i]) > threshold:
            found.append(i)
            i += rate // 4
        else:
            i += 1
    return np.array(found)

heard = np.fromfile(f"{work}/heard.raw", dtype="<f4")
beats = onsets(heard, 0.05)
assert len(beats) >= 4, f"the monitor heard {len(beats)} clicks while playing"
gaps = np.diff(beats) / rate
assert np.all(np.abs(gaps - 0.5) < 0.01), f"clicks heard {gaps} s apart"

project = json.load(open(f"{work}/take.zqp"))
clips = project["tracks"][0]["audioBlocks"]
assert len(clips) == 2, f"the track holds {len(clips)} clips"
take = clips[1]
samples = np.frombuffer(base64.b64decode(take["audioData"]["channels"][0]), dtype="<f4")
start = float(take["start"])
take_rate = int(take["audioData"]["sampleRate"])
assert len(samples) > take_rate, f"the take holds only {len(samples)} samples"
times = start + onsets(samples, 0.05, take_rate) / take_rate
assert len(times) >= 2, f"the take holds {len(times)} clicks"
errors = np.abs(times - np.round(times * 2) / 2)
assert errors.max() <= 0.010, f"take clicks off the beat by {errors.max() * 1000:.1f} ms"
print(f"e2e: {len(beats)} clicks heard 0.5 s apart; take of {len(samples) / take_rate:.2f} s from {start} s, "
      f"{len(times)} clicks within {errors.max() * 1000:.1f} ms of the beat")
PY
passed=1
