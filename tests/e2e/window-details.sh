#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb through the details a user meets in the window: a MIDI
# file of ten tracks and then an audio file imported into a multitrack project (the new audio
# track, below the rows that fit, is scrolled into view), the MIDI device dialog with no
# device (Connect is off), and the About box with its component licences.
#
# Usage: window-details.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: window-details.sh PROGRAM [OUTPUT_DIR]}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Ten MIDI tracks of one note each at the project's tempo (no tempo question), and a second of audio.
/usr/bin/python3 - "$work/ten.mid" <<'PY'
import sys, mido
song = mido.MidiFile(type=1, ticks_per_beat=480)
for index in range(10):
    track = mido.MidiTrack()
    song.tracks.append(track)
    track.append(mido.MetaMessage('track_name', name=f'Part {index + 1}'))
    track.append(mido.Message('note_on', note=60 + index, velocity=90, time=0))
    track.append(mido.Message('note_off', note=60 + index, velocity=0, time=960))
song.save(sys.argv[1])
PY
sox -n -r 44100 -b 16 -c 1 "$work/Bass.wav" synth 1 sine 110 gain -6

start_program details
keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'

# File menu: three items share the mnemonic M; the second is the MIDI import.
main_keys alt+f m m Return
answer_file_dialog '导入MIDI' "$work/ten.mid"
wait_idle
shot 01-midi-imported
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/Bass.wav"
wait_idle
shot 02-audio-imported

main_keys alt+t m
wait_window 'MIDI 设备' >/dev/null
sleep 0.5
shot 03-midi-devices
keys Escape
wait_gone 'MIDI 设备'

main_keys alt+h a
wait_window '关于ZentriqStudio' >/dev/null
sleep 0.5
shot 04-about
keys Return
wait_gone '关于ZentriqStudio'

# Closing asks to save the imports; Discard is the middle button, reached by Tab.
main_keys ctrl+q
wait_window '关闭项目' >/dev/null
keys Tab space
for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not quit"
wait "$program_pid" || fail "the program exited with status $?"
passed=1
echo "e2e: screenshots in $shots"
