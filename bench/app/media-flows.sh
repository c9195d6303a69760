#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the import and export flows of the main window on a 10-minute stereo 44.1 kHz WAV,
# from the menu action to the file on disk, against the codec alone (audio-file-tool) and
# against sox and ffmpeg doing the same conversion. Run bench/build.sh first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench=$root/build-bench/bench
runs=${RUNS:-3}
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

for format in flac wav mp3; do
  echo "== $format"
  echo "flows:  $("$bench/media-flow-tool" in.wav "out.$format" "$runs" 2>/dev/null | grep -E '^(import|export)' | paste -sd ';')"
  for _ in $(seq "$runs"); do
    "$bench/audio-file-tool" convert in.wav "codec.$format" 16 2>&1 >/dev/null | grep -o 'load.*'
  done | paste -sd ';' | sed 's/^/codec:  /'
  case $format in
    flac) echo "sox:    $(best "sox in.wav sox.flac")"
          echo "ffmpeg: $(best "ffmpeg -v error -y -i in.wav ff.flac")" ;;
    wav)  echo "sox:    $(best "sox in.wav sox.wav")"
          echo "ffmpeg: $(best "ffmpeg -v error -y -i in.wav ff.wav")" ;;
    mp3)  echo "ffmpeg: $(best "ffmpeg -v error -y -i in.wav -b:a 192k ff.mp3")"
          echo "lame:   $(best "lame --silent -b 192 -q 2 in.wav lame.mp3")" ;;
  esac
done
