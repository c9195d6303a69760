#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb through its menus, as a person would: a new multitrack
# project gets a MIDI track from an imported MIDI file, then Debian's ZamEQ2 bundle is
# imported through the Tools menu's dialog (the bundle folder typed in). The track's
# instrument list then offers "[VST3] ZamEQ2"; choosing it shows the VST3 button, whose
# presses open and close the plug-in's editor window, found by its title. The program must
# still quit while that window is open.
#
# Usage: plugin-instrument.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: plugin-instrument.sh PROGRAM [OUTPUT_DIR]}
bundle=/usr/lib/vst3/ZamEQ2.vst3
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

[[ -d $bundle ]] || fail "the plug-in $bundle is missing (zam-plugins)"

# One note at 120 BPM, the project's tempo, so the import asks no tempo question.
/usr/bin/python3 - "$work/tune.mid" <<'PY'
import sys, mido
f = mido.MidiFile(type=1, ticks_per_beat=480)
t = mido.MidiTrack(); f.tracks.append(t)
t.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(120)))
t.append(mido.MetaMessage('track_name', name='Tune'))
t.append(mido.Message('note_on', note=60, velocity=100, time=0))
t.append(mido.Message('note_off', note=60, velocity=0, time=960))
f.save(sys.argv[1])
PY

start_program plugin
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'
main_keys alt+f m m Return
answer_file_dialog '导入MIDI' "$work/tune.mid"
sleep 1

main_keys alt+t v
wait_window '导入VST3插件' >/dev/null
sleep 0.5
keys ctrl+a
xdotool type --delay 20 "$bundle"
shot 01-bundle-typed
keys Return
wait_gone '导入VST3插件'
# The module is tried in the probe helper first, then loaded.
wait_log 'AudioPluginBridge: Loaded plugin' "the program did not report loading the plug-in"
sleep 1
shot 02-imported

# The first track's header: its instrument list below the R/M/S row, the VST3 button at the
# end of that row (fixed places in the 180-pixel header column).
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 90)) $((Y + 155)) click 1
sleep 1
shot 03-instrument-list
keys Home Return
sleep 1
shot 04-plugin-chosen

xdotool mousemove $((X + 152)) $((Y + 122)) click 1
editor=$(wait_window '^ZamEQ2$')
sleep 0.5
shot 05-editor-open
eval "$(xdotool getwindowgeometry --shell "$editor")"
[[ $WIDTH == 800 && $HEIGHT == 600 ]] || fail "the editor window is ${WIDTH}x${HEIGHT}, not 800x600"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 152)) $((Y + 122)) click 1
wait_gone '^ZamEQ2$'
shot 06-editor-closed
xdotool mousemove $((X + 152)) $((Y + 122)) click 1
wait_window '^ZamEQ2$' >/dev/null

main_keys ctrl+s
answer_file_dialog '保存项目' "$work/song"
wait_file "$work/song.zqp" "song.zqp was not written"
quit_program
passed=1
echo "e2e: ZamEQ2 imported, chosen as the MIDI track's instrument, its editor window opened and closed"
echo "e2e: screenshots in $shots"
