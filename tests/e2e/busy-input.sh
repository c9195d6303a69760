#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb with real key presses while its blocking flows run:
# 1. the import file dialog and the failure box of a file that cannot be decoded speak
#    Chinese (Qt's own texts too), and no busy spinner turns behind the box;
# 2. reverb on a 10-minute file, and while it renders Space, Delete, Ctrl+Z, E, Return, Space
#    and a click on Play: none of it runs afterwards. Nothing plays (no stream on the sound
#    server) and the export holds the reverberated audio, not the source restored by Ctrl+Z;
# 3. undo and redo of the reverb, shown in the status;
# 4. the close question with Chinese buttons.
#
# Usage: busy-input.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: busy-input.sh PROGRAM [OUTPUT_DIR]}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Ten minutes of stereo tones, and a WAV header with nothing behind it.
sox -n -r 44100 -b 16 -c 2 "$work/long.wav" synth 600 sine 440 sine 660 gain -6
printf 'RIFF\x10\x00\x00\x00WAVE' >"$work/broken.wav"

our_streams() { pactl list short sink-inputs 2>/dev/null | wc -l; }

start_program busy
keys ctrl+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'

# 1. A failed import: Chinese dialog texts, no spinner behind the box.
main_keys alt+f i
wait_window '导入音频/视频' >/dev/null
sleep 0.5
shot 01-file-dialog
keys ctrl+a
xdotool type --delay 20 "$work/broken.wav"
keys Return
wait_window '导入失败' >/dev/null
sleep 1
shot 02-failure-box
! shows_busy "$shots/02-failure-box.png" || fail "the busy spinner shows behind the failure box"
keys Return
wait_gone '导入失败'

# 2. The long file, then reverb with keys and a click while it renders.
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/long.wav"
wait_idle "the import did not end"
sleep 1
shot 03-imported
streams_before=$(our_streams)

main_keys ctrl+shift+r
dialog=$(wait_window '混响')
sleep 0.5
shot 04-reverb-dialog
# "应用" sits left of "取消" in the dialog's bottom right corner.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + WIDTH - 108)) $((Y + HEIGHT - 32)) click 1
sleep 0.5
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --delay 80 space Delete ctrl+z e Return space
# The transport's Play button ("播放"), in the bar at the bottom of the page.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 108)) $((Y + HEIGHT - 81)) click 1
shot 05-input-while-busy
shows_busy "$shots/05-input-while-busy.png" || fail "the reverb ended before the keys were pressed, so they prove nothing"
wait_idle "the reverb did not end"
sleep 2
shot 06-after-reverb
[[ $(our_streams) -eq $streams_before ]] || fail "a key or the click queued during the reverb started playback"
# The status follows undo and redo instead of naming the step taken back.
main_keys ctrl+z
sleep 1
shot 07-undone
main_keys ctrl+shift+z
sleep 1
shot 08-redone

main_keys alt+f w
answer_file_dialog '导出WAV' "$work/out.wav"
wait_written "$work/out.wav" "the export was not written"

# 4. The close question, then save the project through it.
main_keys ctrl+q
wait_window '关闭项目' >/dev/null
sleep 0.5
shot 09-close-question
keys Return
answer_file_dialog '保存项目' "$work/kept.zqp"
for _ in $(seq 150); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not quit"
wait "$program_pid" || fail "the program exited with status $?"
[[ -s $work/kept.zqp ]] || fail "the project was not saved on the way out"

# The export, read by sox: as long as the source (Delete had no selection to remove) and not
# the source itself (Ctrl+Z did not take the reverb back).
/usr/bin/python3 - "$work" <<'EOF' || fail "the export does not hold the reverberated audio"
import subprocess, sys
import numpy as np

work = sys.argv[1]
def floats(name):
    raw = subprocess.run(["sox", f"{work}/{name}", "-t", "f32", "-"], capture_output=True, check=True).stdout
    return np.frombuffer(raw, dtype="<f4")
source, out = floats("long.wav"), floats("out.wav")
assert out.size == source.size, f"{out.size} values exported, the source has {source.size}"
difference = np.abs(out - source).max()
assert difference > 0.01, f"the export is the source (largest difference {difference})"
print(f"e2e: export differs from the source by up to {difference:.3f}: the reverb stayed")
EOF
passed=1
echo "e2e: screenshots in $shots"
