#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb with real key presses and mouse drags, as a person
# would: a new single-track project, a 10 s stereo WAV imported, a selection deleted, FLAC
# and WAV exports, save, quit, restart, reopen (it opens in the multitrack editor), save as.
# Then checks the files with independent tools: both project files hold the same samples
# bit for bit, and each export decodes to the project's samples as 16-bit PCM.
#
# Usage: project-file-flows.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: project-file-flows.sh PROGRAM [OUTPUT_DIR]}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# A 10 s stereo WAV with different signals left and right, made by sox.
sox -n -r 44100 -b 16 -c 2 "$work/input.wav" synth 10 sine 440 sine 660 gain -6

# 1. A single-track project with the stereo WAV imported.
start_program first
shot 01-start-page
keys ctrl+n
wait_window '新建项目设置' >/dev/null
shot 02-new-project-dialog
keys Return
wait_gone '新建项目设置'
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/input.wav"
sleep 1
shot 03-imported

# 2. Drag a selection across the upper waveform and delete it.
eval "$(xdotool getwindowgeometry --shell "$main")"
y=$((Y + HEIGHT * 30 / 100))
xdotool mousemove $((X + WIDTH * 30 / 100)) $y mousedown 1
xdotool mousemove --sync $((X + WIDTH * 40 / 100)) $y
xdotool mousemove --sync $((X + WIDTH * 50 / 100)) $y mouseup 1
sleep 0.3
shot 04-selected
main_keys Delete
sleep 0.5
shot 05-deleted

main_keys alt+f f
answer_file_dialog '导出FLAC' "$work/edited.flac"
main_keys alt+f w
answer_file_dialog '导出WAV' "$work/edited.wav"
wait_file "$work/edited.flac" "edited.flac was not written"
wait_file "$work/edited.wav" "edited.wav was not written"

# 3. Save, quit, restart, reopen, save under a new name.
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/first"
wait_file "$work/first.zqp" "first.zqp was not written"
shot 06-saved
quit_program

start_program second
main_keys ctrl+o
answer_file_dialog '打开Zentriq项目' "$work/first.zqp"
sleep 1
shot 07-reopened
main_keys alt+f a
answer_file_dialog '保存项目' "$work/second.zqp"
wait_file "$work/second.zqp" "second.zqp was not written"
quit_program

# The files, checked with tools of their own.
/usr/bin/python3 - "$work" <<'EOF' || fail "the files do not hold the edited audio"
import base64, json, subprocess, sys
import numpy as np

work = sys.argv[1]

def channels(path):
    project = json.load(open(path, encoding="utf-8"))
    tracks = project["tracks"]
    assert len(tracks) == 1, f"{path}: {len(tracks)} tracks"
    data = tracks[0]["audioBlocks"][0]["audioData"]
    return [np.frombuffer(base64.b64decode(text), dtype="<f4") for text in data["channels"]]

first = channels(f"{work}/first.zqp")
second = channels(f"{work}/second.zqp")
assert len(first) == 3, f"first.zqp holds {len(first)} channel lists, expected mono, left and right"
for index, (a, b) in enumerate(zip(first, second)):
    assert a.tobytes() == b.tobytes(), f"channel list {index} differs between the project files"
assert len(first) == len(second)

original = subprocess.run(["sox", f"{work}/input.wav", "-t", "f32", "-"],
                          capture_output=True, check=True).stdout
original_frames = len(original) // 8
left, right = first[1], first[2]
assert 0 < left.size < original_frames, f"nothing was deleted: {left.size} of {original_frames} frames"
stereo = np.empty(2 * left.size, dtype=np.float32)
stereo[0::2], stereo[1::2] = left, right

expected = np.clip(np.round(stereo.astype(np.float64) * 32768), -32768, 32767).astype(np.int16)
for name in ("edited.flac", "edited.wav"):
    pcm = subprocess.run(["sox", f"{work}/{name}", "-t", "s16", "-"],
                         capture_output=True, check=True).stdout
    decoded = np.frombuffer(pcm, dtype="<i2")
    assert decoded.size == expected.size, f"{name}: {decoded.size} values, expected {expected.size}"
    assert np.array_equal(decoded, expected), f"{name}: {np.count_nonzero(decoded != expected)} values differ"
print(f"e2e: {left.size} of {original_frames} frames kept; exports and projects agree")
EOF
passed=1
echo "e2e: screenshots in $shots"
