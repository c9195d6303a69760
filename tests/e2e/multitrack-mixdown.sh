#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb through its menus, as a person would: a new 44.1 kHz
# multitrack project (32-bit float), three audio files imported (mono, stereo, 48 kHz
# stereo), a SoundFont loaded, a 150 BPM MIDI file imported keeping the project at 120 BPM,
# a WAV export; then save, quit, restart, reopen and export again.
# Checks with independent tools: the export equals a float64 numpy mix of the decoded inputs
# (tests/document/mixdown_oracle.py) within 1e-6 up to the first MIDI note, the MIDI note
# sounds where the tempo puts it, the length is round(project end x rate) with the MIDI end
# tempo-scaled, and the export after reopening is identical.
#
# Usage: multitrack-mixdown.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: multitrack-mixdown.sh PROGRAM [OUTPUT_DIR]}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
oracle=$here/../document/mixdown_oracle.py
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$here/lib.sh"

[[ -f $soundfont ]] || fail "the SoundFont $soundfont is missing (timgm6mb-soundfont)"

# Inputs as 32-bit float WAVs, so decoding them is exact; the MIDI file at 150 BPM holds one
# note from beat 8 to beat 10 (3.2 s to 4.0 s as stored, 4.0 s to 5.0 s at 120 BPM).
sox -n -r 44100 -e floating-point -b 32 -c 1 "$work/mono.wav" synth 3 sine 330 gain -8
sox -n -r 44100 -e floating-point -b 32 -c 2 "$work/stereo.wav" synth 2.5 sine 440 sine 550 gain -10
sox -n -r 48000 -e floating-point -b 32 -c 2 "$work/rate48k.wav" synth 2 pinknoise sine 1000 gain -12
/usr/bin/python3 - "$work/tune.mid" <<'EOF'
import sys, mido
f = mido.MidiFile(type=1, ticks_per_beat=480)
conductor = mido.MidiTrack(); f.tracks.append(conductor)
conductor.append(mido.MetaMessage('set_tempo', tempo=mido.bpm2tempo(150)))
t = mido.MidiTrack(); f.tracks.append(t)
t.append(mido.MetaMessage('track_name', name='Tune'))
t.append(mido.Message('note_on', note=72, velocity=110, time=8 * 480))
t.append(mido.Message('note_off', note=72, velocity=0, time=2 * 480))
f.save(sys.argv[1])
EOF

# 1. A new multitrack project at 44.1 kHz, 32-bit float, stereo.
start_program first
main_keys ctrl+shift+n
wait_window '新建项目设置' >/dev/null
keys Tab End
shot 01-new-project-32-bit
keys Return
wait_gone '新建项目设置'

for input in mono stereo rate48k; do
  main_keys alt+f i
  answer_file_dialog '导入音频/视频' "$work/$input.wav"
done
main_keys alt+t l
answer_file_dialog '加载 SF2 音色库' "$soundfont"
# File menu: the second item with the mnemonic M is 导入MIDI.
main_keys alt+f m m Return
# The file dialog and the tempo question that follows share the title 导入MIDI.
wait_window '导入MIDI' >/dev/null
sleep 0.5
keys ctrl+a
xdotool type --delay 20 "$work/tune.mid"
keys Return
sleep 2
wait_window '导入MIDI' >/dev/null
shot 02-tempo-question
keys alt+n  # No: the project stays at 120 BPM and the MIDI plays tempo-scaled
wait_gone '导入MIDI'
sleep 0.5
shot 03-imported

main_keys alt+f w
answer_file_dialog '导出WAV' "$work/first.wav"
wait_file "$work/first.wav" "first.wav was not written"
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/song"
wait_file "$work/song.zqp" "song.zqp was not written"
shot 04-saved
quit_program

# 2. Reopen in a new run and export again.
start_program second
main_keys ctrl+o
answer_file_dialog '打开Zentriq项目' "$work/song.zqp"
sleep 1
shot 05-reopened
main_keys alt+f w
answer_file_dialog '导出WAV' "$work/second.wav"
wait_file "$work/second.wav" "second.wav was not written"
quit_program

/usr/bin/python3 - "$work" "$oracle" <<'EOF' || fail "the export is not the mix of the inputs"
import json, subprocess, sys
import numpy as np

work, oracle = sys.argv[1], sys.argv[2]
rate = 44100

def decode(name, channels):
    raw = subprocess.run(["sox", f"{work}/{name}", "-t", "f32", "-"], capture_output=True, check=True).stdout
    return np.frombuffer(raw, dtype="<f4").reshape(-1, channels)

def mono_of(name, channels):
    frames = decode(name, channels)
    # The program keeps the left/right mean of stereo material in single precision.
    return frames[:, 0] if channels == 1 else (frames[:, 0] + frames[:, 1]) * np.float32(0.5)

tracks = []
for name, channels, clip_rate in (("mono.wav", 1, 44100), ("stereo.wav", 2, 44100), ("rate48k.wav", 2, 48000)):
    path = f"{work}/{name}.f32"
    mono_of(name, channels).astype("<f4").tofile(path)
    tracks.append({"volume": 0.8, "clips": [{"file": path, "sampleRate": clip_rate}]})
tracks.append({"volume": 0.8, "clips": [], "midiClips": [[0.0, 4.0]]})
project = {"rate": rate, "bpm": 120.0, "midiFileTempo": 150.0, "tracks": tracks}
json.dump(project, open(f"{work}/project.json", "w"))

def run(mode):
    out = subprocess.run(["/usr/bin/python3", oracle, mode, f"{work}/project.json"], capture_output=True, check=True)
    return np.frombuffer(out.stdout, dtype="<f8")

frames = int(run("frames")[0])
assert frames == round(5.0 * rate), f"the oracle's project end is {frames / rate} s"
expected = run("mix").reshape(-1, 2)

first = decode("first.wav", 2)
second = decode("second.wav", 2)
assert first.shape == (frames, 2), f"first.wav has {first.shape[0]} frames, expected {frames}"
assert np.array_equal(first, second), "the export after reopening differs"

note_start = round(4.0 * rate)
error = np.abs(first[:note_start].astype(np.float64) - expected[:note_start])
worst = int(np.argmax(error.max(axis=1)))
assert error.max() <= 1e-6, f"audio differs by {error.max():.3g} at frame {worst}"
assert np.all(first[round(3.0 * rate):note_start] == 0), "sound between the audio end and the MIDI note"
note = np.abs(first[note_start:]).max(axis=1)
assert note.max() > 1e-3, "the MIDI note is silent"
assert note[: rate // 10].max() > 1e-4, "the MIDI note does not start at 4.0 s"
assert note[-rate // 10:].max() > 1e-4, "the MIDI note was cut before 5.0 s"
print(f"e2e: {frames} frames; audio within {error.max():.2g} of numpy; MIDI note 4.0-5.0 s; re-export identical")
EOF
passed=1
echo "e2e: screenshots in $shots"
