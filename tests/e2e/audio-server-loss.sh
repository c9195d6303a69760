#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real program and an audio server that comes and goes, under Xvfb with a PulseAudio
# server of this script's own: started without a server, Play says why nothing plays; the
# server stopped during playback and during a recording ends the transport with one warning
# each, and the recording keeps its take; once the server is back, Play plays again without
# a restart. The saved project must hold the take. Screenshots show each warning.
#
# Usage: audio-server-loss.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: audio-server-loss.sh PROGRAM [OUTPUT_DIR]}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$here/lib.sh"

# The program's server, not the shared one; nothing starts one behind the script's back.
mkdir -p "$work/pulse"
export PULSE_SERVER=unix:$work/pulse/native PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse
export PULSE_NO_AUTOSPAWN=1 ZENTRIQ_AUDIO_API=pulse
pulse_pid=
start_pulse() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=nullsink rate=48000 channels=2" \
    -L "module-remap-source master=nullsink.monitor source_name=nullsource" \
    -L module-always-sink >>"$work/pulseaudio.log" 2>&1 &
  pulse_pid=$!
  pids+=($pulse_pid)
  for _ in $(seq 200); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || fail "PulseAudio did not start"
  pactl set-default-sink nullsink
  pactl set-default-source nullsource
}
stop_pulse() {
  kill "$pulse_pid"
  wait "$pulse_pid" 2>/dev/null || true
}
# Waits until the program has a stream of the given kind (sink-inputs, source-outputs) on the server.
wait_stream() {
  for _ in $(seq 200); do
    [[ -n $(pactl list short "$1" 2>/dev/null) ]] && return 0
    sleep 0.1
  done
  fail "no $1 stream on the server"
}
# Waits for the warning box, keeps a screenshot, checks that the program still runs and closes the box.
expect_warning() {
  wait_window '^错误$' >/dev/null
  shot "$1"
  kill -0 "$program_pid" 2>/dev/null || fail "the program died"
  keys Return
  wait_gone '^错误$'
}
playbacks() { grep -c 'MultiTrackAudioEngine: Playback started from' "$log" || true; }

# A 10 ms 1 kHz beep every 0.5 s for 20 s, at the sink's rate.
sox -n -r 48000 -e floating-point -b 32 -c 1 "$work/clicks.wav" synth 0.01 sine 1000 pad 0 0.49 repeat 39

start_program loss
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Down
keys Return
wait_gone '新建项目设置'
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/clicks.wav"
sleep 1

# 1. No server: Play says why nothing plays.
click_at "${play_button[@]}"
expect_warning 01-no-server

# 2. The server goes away during playback.
start_pulse
click_at "${play_button[@]}"
wait_stream sink-inputs
stop_pulse
expect_warning 02-lost-while-playing

# 3. ... and during a recording onto the armed track.
start_pulse
click_at "${arm_button[@]}"
click_at "${record_button[@]}"
wait_log 'MultiTrack: recording started on track' "the recording did not start"
wait_stream source-outputs
# Some audio to keep: the clicks play into the monitor that is recorded.
sleep 2
stop_pulse
expect_warning 03-lost-while-recording

# 4. Back again: Play plays without a restart.
start_pulse
before=$(playbacks)
click_at "${play_button[@]}"
wait_stream sink-inputs
[[ $(playbacks) -gt $before ]] || fail "Play did not start again"
shot 04-playing-again
click_at "${stop_button[@]}"
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/take"
wait_file "$work/take.zqp" "take.zqp was not written"
quit_program

/usr/bin/python3 - "$work" <<'PY' || fail "the take is missing"
import base64, json, sys
import numpy as np

project = json.load(open(f"{sys.argv[1]}/take.zqp"))
clips = project["tracks"][0]["audioBlocks"]
assert len(clips) == 2, f"the track holds {len(clips)} clips"
take = clips[1]
samples = np.frombuffer(base64.b64decode(take["audioData"]["channels"][0]), dtype="<f4")
rate = int(take["audioData"]["sampleRate"])
assert len(samples) > rate // 2, f"the take holds only {len(samples)} samples"
assert len(samples) < 60 * rate, f"the take holds {len(samples)} samples, more than was recorded"
assert np.abs(samples).max() > 0.05, "the take is silent"
print(f"e2e: take of {len(samples) / rate:.2f} s kept from {take['start']} s")
PY
passed=1
