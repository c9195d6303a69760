#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the multitrack transport through the real window under Xvfb: a click track is
# imported and played with the play button while the null sink's monitor listens, stopped
# (the playhead returns to the start), then the track is armed and recorded onto while its
# own clip plays, take after take, at the sink's rate (48 kHz), at 44.1 kHz, where both
# streams are converted, and at 44.1 kHz again with every core busy. Each take is saved and
# then undone, so the next one does not hear it: every saved take must hold every click
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

takes=5
take_seconds=4

# A 10 ms 1 kHz beep every 0.5 s for 10 s, at each project rate.
for rate in 48000 44100; do
  sox -n -r $rate -e floating-point -b 32 -c 1 "$work/clicks-$rate.wav" synth 0.01 sine 1000 pad 0 0.49 repeat 19
done

# A new project at 44.1 kHz (the dialog's default) or, with $1 = 48000, at 48 kHz, with the
# click track of that rate imported.
new_project() {
  main_keys ctrl+shift+n
  wait_window '新建项目设置' >/dev/null
  [[ $1 == 48000 ]] && keys Down
  shot "00-new-project-$1"
  keys Return
  wait_gone '新建项目设置'
  main_keys alt+f i
  answer_file_dialog '导入音频/视频' "$work/clicks-$1.wav"
  sleep 1
}

# Records $takes takes of the armed track from the start, saving each as take-$1-$2N.zqp and
# undoing it; the project is saved as $work/take.zqp from the first save on.
saved_once=0
record_takes() {
  local n
  for n in $(seq "$takes"); do
    click_at "${record_button[@]}"
    sleep "$take_seconds"
    [[ $n == 1 ]] && shot "03-recording-$1"
    click_at "${record_button[@]}"
    sleep 1
    # Stop sets the playhead back to where the take began.
    click_at "${stop_button[@]}"
    # Saved to the same name after the first time: gone until the save has written it.
    rm -f "$work/take.zqp"
    main_keys ctrl+s
    if [[ $saved_once == 0 ]]; then
      answer_file_dialog '保存项目' "$work/take"
      saved_once=1
    fi
    wait_written "$work/take.zqp" "take $n at $1 was not saved"
    cp "$work/take.zqp" "$work/take-$1-${2:-}$n.zqp"
    main_keys ctrl+z
  done
}

start_program transport
# 48 kHz, the sink's rate first: playback is heard as it is mixed.
new_project 48000

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
record_takes 48000
shot 04-recorded
quit_program

# 3. The same at 44.1 kHz, in a fresh run of the program.
saved_once=0
rm -f "$work/take.zqp"
start_program transport-44k
new_project 44100
click_at "${arm_button[@]}"
record_takes 44100
quit_program

# 4. Again at 44.1 kHz with every core kept busy by spinning shells, stopped by their ids.
spinners=()
for _ in $(seq "$(nproc)"); do
  sh -c 'while :; do :; done' &
  spinners+=($!)
  pids+=($!)
done
# Longer takes: a busy machine starts the streams later.
take_seconds=5
saved_once=0
rm -f "$work/take.zqp"
start_program transport-busy
new_project 44100
click_at "${arm_button[@]}"
record_takes 44100 busy
quit_program
kill "${spinners[@]}"
wait "${spinners[@]}" 2>/dev/null || true

/usr/bin/python3 - "$work" "$takes" <<'PY' || fail "the playback or the take is not where the clicks are"
import base64, glob, json, os, sys
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

worst = {}
for path in sorted(glob.glob(f"{work}/take-*-*.zqp")):
    name = os.path.basename(path)[len("take-"):-len(".zqp")]
    project = json.load(open(path))
    clips = project["tracks"][0]["audioBlocks"]
    assert len(clips) == 2, f"{name}: the track holds {len(clips)} clips"
    take = clips[1]
    samples = np.frombuffer(base64.b64decode(take["audioData"]["channels"][0]), dtype="<f4")
    start = float(take["start"])
    take_rate = int(take["audioData"]["sampleRate"])
    assert take_rate == int(name.split("-")[0]), f"{name}: the take is at {take_rate} Hz"
    assert len(samples) > take_rate, f"{name}: the take holds only {len(samples)} samples"
    times = start + onsets(samples, 0.05, take_rate) / take_rate
    assert len(times) >= 2, f"{name}: the take holds {len(times)} clicks"
    errors = times - np.round(times * 2) / 2
    worst[name] = errors[np.argmax(np.abs(errors))]
    print(f"e2e: take {name}: {len(times)} clicks, worst {worst[name] * 1000:+.1f} ms")
assert len(worst) == 3 * int(sys.argv[2]), f"{len(worst)} takes saved"
tolerance = 0.010
bad = {name: error for name, error in worst.items() if abs(error) > tolerance}
assert not bad, f"take clicks off the beat by more than {tolerance * 1000:.1f} ms: " + ", ".join(
    f"{name} {error * 1000:+.1f} ms" for name, error in bad.items())
print(f"e2e: {len(beats)} clicks heard 0.5 s apart; {len(worst)} takes within "
      f"{max(abs(e) for e in worst.values()) * 1000:.1f} ms of the beat")
PY
passed=1
