#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the real program under Xvfb as a person would: a new single-track project, a video
# imported through the File menu, its sound in the editor, and the preview window following
# playback: 1.5 s after Play it shows the second second's colour.
#
# Usage: video-import.sh PROGRAM [OUTPUT_DIR]   (screenshots land in OUTPUT_DIR)
set -euo pipefail

program=${1:?usage: video-import.sh PROGRAM [OUTPUT_DIR]}
work=$(mktemp -d /tmp/zentriq-e2e.XXXXXX)
shots=${2:-$PWD/e2e-shots}
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# 3 s of red, blue and lime at 25 fps with a 440 Hz stereo sine, made by ffmpeg.
ffmpeg -v error -y -f lavfi \
  -i "color=red:s=320x240:r=25:d=1[a];color=blue:s=320x240:r=25:d=1[b];color=lime:s=320x240:r=25:d=1[c];[a][b][c]concat=n=3:v=1:a=0,format=yuv420p" \
  -f lavfi -i "sine=f=440:r=48000:d=3" -ac 2 -c:v libx264 -g 25 -c:a aac -shortest "$work/b.mp4"
frames=$(ffmpeg -v error -i "$work/b.mp4" -map 0:a:0 -f f32le - | wc -c)
frames=$((frames / 8))

# The centre pixel of a screenshot as "r g b".
centre() { convert "$1" -gravity center -crop 1x1+0+0 +repage -depth 8 txt:- | sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | head -1; }

start_program video
keys ctrl+n
wait_window '新建项目设置' >/dev/null
keys Return
wait_gone '新建项目设置'
main_keys alt+f i
answer_file_dialog '导入音频/视频' "$work/b.mp4"
preview=$(wait_window '^视频预览$')
sleep 0.5
shot 01-imported

# The sound: as many stereo frames as ffmpeg decodes, in the editor.
grep -q "\[Import\] stereo samples: .* frames: $frames\$" "$work/program-video.log" \
  || fail "the editor did not get the video's $frames stereo frames"
import -window "$preview" "$shots/02-preview-first.png"
read -r r g b < <(centre "$shots/02-preview-first.png")
(( r > 200 && g < 60 && b < 60 )) || fail "the preview does not open on the red first picture ($r $g $b)"

# Play from the start with the editor's Space key; the preview follows the playhead.
# The clock starts when the audio engine does, which takes a moment after the key.
main_keys space
for _ in $(seq 100); do
  grep -q "AudioEngine: Playback started from sample 0" "$work/program-video.log" && break
  sleep 0.05
done
grep -q "AudioEngine: Playback started from sample 0" "$work/program-video.log" || fail "playback did not start"
# The sound server can hold a new stream back for a moment before audio flows, so the
# picture is polled: it must turn from red to blue (the second second), never skipping it.
seen=
for _ in $(seq 80); do
  sleep 0.1
  import -window "$preview" "$shots/03-preview-playing.png"
  read -r r g b < <(centre "$shots/03-preview-playing.png")
  if (( b > 200 && r < 60 && g < 60 )); then seen=blue; break; fi
  (( g > 200 && r < 60 && b < 60 )) && fail "the preview skipped the blue second ($r $g $b)"
done
shot 04-playing
[[ $seen == blue ]] || fail "the preview does not show blue within 8 s of playback ($r $g $b)"

main_keys space
# Saved, so quitting asks nothing; the project holds the video's sound.
main_keys ctrl+s
answer_file_dialog '保存项目' "$work/video"
wait_file "$work/video.zqp" "video.zqp was not written"
quit_program
passed=1
echo "e2e: video import passed; screenshots in $shots"
