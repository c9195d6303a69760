#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb with the mouse, as a person would: one audio file in a
# new multitrack project is dragged 1 s to the right with snapping off, split at the playhead
# with the scissor tool, and the split and then the drag are undone; a WAV is exported after
# each step. Checks with sox: every export after the drag equals the first export delayed by
# 1 s (sox pad), and the export after undoing both equals the first.
#
# Usage: clip-edits.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: clip-edits.sh PROGRAM [OUTPUT_DIR]}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$here/lib.sh"

sox -n -r 44100 -e floating-point -b 32 -c 1 "$work/tone.wav" synth 2 sine 220 sine 330 gain -6

export_wav() {
  main_keys alt+f w
  answer_file_dialog '导出WAV' "$work/$1.wav"
  wait_file "$work/$1.wav" "$1.wav was not written"
}

start_program run
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Tab End
keys Return
wait_gone '新建项目设置'
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/tone.wav"
sleep 1
shot 01-imported
export_wav original

# The window sits at the screen's origin. At zoom 1 a second is 100 pixels; the lanes begin
# right of the 188-pixel header column and the first lane spans y 79..198.
lane_x0=188
lane_y=140
mouse() { xdotool mousemove --sync "$1" "$2"; sleep 0.1; }

# Drag the clip's body 100 pixels (1 s) to the right; snapping is off in a new project.
mouse $((lane_x0 + 60)) $lane_y
xdotool mousedown 1
for dx in 10 40 70 100; do mouse $((lane_x0 + 60 + dx)) $lane_y; done
xdotool mouseup 1
sleep 0.5
shot 02-dragged-1s
export_wav dragged

# Playhead to 1.7 s by a click on the clip, then the scissor on the clip.
mouse $((lane_x0 + 170)) $lane_y
xdotool click 1
sleep 0.3
mouse 36 55
xdotool click 1
sleep 0.3
mouse $((lane_x0 + 250)) $lane_y
xdotool click 1
sleep 0.5
shot 03-split-at-1.7s
export_wav split

main_keys ctrl+z
sleep 0.5
shot 04-split-undone
export_wav split-undone
main_keys ctrl+z
sleep 0.5
shot 05-drag-undone
export_wav drag-undone
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/edits"
wait_file "$work/edits.zqp" "edits.zqp was not written"
quit_program

# sox does the arithmetic: the first export delayed by 1 s, and each export minus its
# expectation must be exactly silent.
sox "$work/original.wav" "$work/delayed.wav" pad 1
/usr/bin/python3 - "$work" <<'PY' || fail "an export differs from sox's arithmetic"
import subprocess, sys
import numpy as np

work = sys.argv[1]

def decode(name):
    raw = subprocess.run(["sox", f"{work}/{name}.wav", "-t", "f32", "-"], capture_output=True, check=True).stdout
    return np.frombuffer(raw, dtype="<f4").reshape(-1, 2)

original = decode("original")
delayed = decode("delayed")
assert np.abs(original).max() > 0.1, "the first export is silent"
for name, expected in (("dragged", delayed), ("split", delayed), ("split-undone", delayed), ("drag-undone", original)):
    got = decode(name)
    assert got.shape == expected.shape, f"{name}: {got.shape[0]} frames, expected {expected.shape[0]}"
    worst = np.abs(got.astype(np.float64) - expected).max()
    assert worst == 0.0, f"{name}: differs by up to {worst:.3g}"
print(f"e2e: {len(original)} frames before, {len(delayed)} after the drag; every export bit-exact to sox")
PY
passed=1
echo "e2e: screenshots in $shots"
