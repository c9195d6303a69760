#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the import and export flows of the main window on a 10-minute stereo 44.1 kHz WAV,
# from the menu action to the file on disk, against the codec alone (audio-file-tool) and
# against sox and ffmpeg doing the same conversion. Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=$root/build-bench/bench
runs=${RUNS:-7}
work=$(mktemp -d /tmp/zentriq-flow-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/runtime && mkdir -m 700 "$XDG_RUNTIME_DIR"

sox -R -n -r 44100 -c 2 -b 16 in.wav synth 600 sine 440 sine 220 gain -3

# Best of $runs wall-clock runs of a shell command, timed by compare.py's own helper.
best() {
  python3 -c "import sys; sys.path.insert(0, sys.argv[1]); from compare import best_of
print(f'{best_of(sys.argv[3], int(sys.argv[2])) * 1000:.1f} ms')" "$root/bench" "$runs" "$1"
}

# The flows and the codec take turns, each in a fresh process as a user's first import and
# export would be; medians over the rounds. The flows are timed in total and after the file
# dialog was accepted, against the codec's load plus save of the same conversion.
flows_against_codec() {
  local format=$1
  for _ in $(seq "$runs"); do
    "$bench/media-flow-tool" in.wav "out.$format" 1 2>/dev/null | grep -E '^(import|export)' | paste -sd' '
    rm -f "codec.$format"  # the flow tool, too, writes a new file rather than replacing one
    "$bench/audio-file-tool" convert in.wav "codec.$format" 16 2>&1 >/dev/null | grep -o 'load.*'
  done | python3 -c '
import re, statistics, sys
flows, codec = [], []
for line in sys.stdin:
    numbers = [float(x) for x in re.findall(r"[\d.]+", line)]
    (flows if line.startswith("import") else codec).append(numbers)
median = lambda values: statistics.median(values)
total = median([f[0] + f[2] for f in flows])
after = median([f[1] + f[3] for f in flows])
both = median([c[0] + c[1] for c in codec])
print(f"flows:  import {median([f[0] for f in flows]):.1f} ms (after dialog {median([f[1] for f in flows]):.1f}),"
      f" export {median([f[2] for f in flows]):.1f} ms (after dialog {median([f[3] for f in flows]):.1f})")
print(f"codec:  load {median([c[0] for c in codec]):.1f} ms, save {median([c[1] for c in codec]):.1f} ms")
print(f"import + export: {total:.1f} ms, after the dialogs {after:.1f} ms; codec {both:.1f} ms;"
      f" ratio {total / both:.2f} ({after / both:.2f} after the dialogs)")
'
}

for format in flac wav mp3; do
  echo "== $format"
  flows_against_codec "$format"
  case $format in
    flac) echo "sox:    $(best "sox in.wav sox.flac")"
          echo "ffmpeg: $(best "ffmpeg -v error -y -i in.wav ff.flac")" ;;
    wav)  echo "sox:    $(best "sox in.wav sox.wav")"
          echo "ffmpeg: $(best "ffmpeg -v error -y -i in.wav ff.wav")" ;;
    mp3)  echo "ffmpeg: $(best "ffmpeg -v error -y -i in.wav -b:a 192k ff.mp3")"
          echo "lame:   $(best "lame --silent -b 192 -q 2 in.wav lame.mp3")" ;;
  esac
done
