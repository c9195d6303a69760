#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Offline mix of 32 five-minute stems against `sox -m` and ffmpeg's amix, all on the same raw
# float stems with the same gain (0.8) per input: first the engine's offline render of the
# stems as they are, then the project document's renderMixdown, which also lays each stem out
# as two clips with fades and a 10 s crossfade (work the peers do not do).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
engine=$root/build-bench/bench/engine_mixdown
page=$root/build-bench/bench/multitrack_mixdown
work=$(mktemp -d /tmp/zentriq-mixdown.XXXXXX)
trap 'rm -rf "$work"' EXIT
rate=44100 tracks=32 seconds=300

stems=()
for i in $(seq -w 1 $tracks); do
  sox -n -r $rate -c 1 -t f32 "$work/s$i.raw" synth $seconds sine $((100 + 37 * 10#$i)) pinknoise vol 0.3
  stems+=("$work/s$i.raw")
done

soxInputs=() ffmpegInputs=()
for stem in "${stems[@]}"; do
  soxInputs+=(-v 0.8 -t f32 -r $rate -c 1 "$stem")
  ffmpegInputs+=(-f f32le -ar $rate -ac 1 -i "$stem")
done
weights=$(printf '0.8 %.0s' $(seq $tracks))
sox="sox -m ${soxInputs[*]} -t f32 $work/sox.raw"
ffmpeg="ffmpeg -nostdin -y -v error ${ffmpegInputs[*]} -filter_complex 'amix=inputs=$tracks:normalize=0:weights=$weights' -f f32le $work/ffmpeg.raw"

for ours in "$engine $work/ours.raw $rate ${stems[*]}" "$page $work/ours.raw $rate ${stems[*]}"; do
  echo "== ${ours%% *}"
  python3 "$root/bench/compare.py" "$ours" "$sox"
  python3 "$root/bench/compare.py" "$ours" "$ffmpeg"
done
# renderMixdown alone, from the records to the buffer, without reading or writing files.
"$page" "$work/ours.raw" $rate "${stems[@]}"
